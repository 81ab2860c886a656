// General builtins: a value's printed form as a string, string concatenation, hexadecimal formatting, a block
// over an association list held in a variable, sequential evaluation, list indexing and the script search path;
// and the start-up of the interpreter's outer parts (values in streams and text files, engine-object wrappers,
// argument marshalling, plug-ins).
#pragma once

// Registers "PrintString", "strcat", "PrintHexa", "with", "progn", "select" and "AddLispPath".
void LispGeneralInit();

// Start-up of the outer parts, in their fixed order: the wrapper class and its builtins, the value-stream
// functions and builtins, the marshalling test builtins, "SaveAtom" and "LoadAtom", the general builtins, the
// plug-in loader. Runs once, after the core builtins; later calls do nothing.
void LispRegisterOuterParts();
// Shut-down of the outer parts, after the symbol table is freed: pooled wrappers, the load-hold list, the
// plug-in list.
void LispShutdownOuterParts();
