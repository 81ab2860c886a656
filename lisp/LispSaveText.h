// Values kept in text files in their printed form: "SaveAtom" writes a value's printed text, "LoadAtom" reads
// exactly one datum back with the reader, without evaluating anything, so a saved file can never run code.
#pragma once

#include "ZevLispObj.h"

class TZevLispTextInterpreter;

// The variable that "LoadAtom" defines with the datum it read.
extern const char* const LispLoadAtomVariable;

// Reads `text` as the quoted datum of one form (what follows a quote character), through the host's reader and
// without evaluating it; a number or a string standing alone reads as that number or string (after a quote
// character it would read as an atom named by its text), so that what "SaveAtom" wrote comes back as it was.
// False, with `out` untouched, when the text does not read as exactly one datum (an error, nothing at all, or
// text after the datum). The host's pending input is left as it was.
bool LispReadQuotedDatum(TZevLispTextInterpreter* host, const char* text, TZevLispRef& out);

// Registers "SaveAtom" and "LoadAtom".
void LispSaveTextInit();
