// What the hosts of the demo write and test of Lisp text: load forms and whether a typed text is complete.
#pragma once

#include <string>

// What a typed text is ready for: more typing, evaluation, or being refused.
enum class TZevLispTextState {
    Incomplete, // empty, a "(" not yet closed, or a string still open
    Complete,   // its "(" and ")" tokens balance and no string is open
    Unbalanced, // a ")" that closes nothing: no more typing can make the text whole
};
TZevLispTextState ZevLispTextStateOf(const char* text);
// Whether a text is complete (ZevLispTextStateOf gives Complete).
bool ZevLispTextComplete(const char* text);
// The answer to a text with a ")" that closes nothing, as the interpreter prints an error: the message and the
// text quoted. Makes a script value: called under GlobalLock.
std::string ZevLispUnbalancedAnswer(const char* text);
// The load form of a file: (load "path"), with every backslash and double quote of the path escaped, so that the
// reader gives the path back as it is.
std::string ZevLispLoadForm(const char* path);
