// What the hosts of the demo write and test of Lisp text: load forms and whether a typed text is complete.
#pragma once

#include <string>

// Whether a text is complete: not empty, its "(" and ")" tokens balance, and no string is left open.
bool ZevLispTextComplete(const char* text);
// The load form of a file: (load "path"), with every backslash and double quote of the path escaped, so that the
// reader gives the path back as it is.
std::string ZevLispLoadForm(const char* path);
