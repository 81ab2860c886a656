// The interpreter's start-up and shut-down, and its registration functions in their fixed order.
#pragma once

#include "ZevLispInterpreter.h"
#include "ZevLispObj.h"
#include "ZevLispPrinter.h"
#include "ZevLispSymbols.h"
#include "ZevLispValues.h"

// Start-up of the interpreter (after the core library's): value classes, symbol table, builtins of every family in
// their fixed order, the cached builtins. Runs once; later calls do nothing. Shut-down is arranged at exit.
void LispInitialize();
// Releases the global values, the symbol table and the pooled values (run at exit; callable earlier by a program
// that ends its scripting for good).
void LispShutdown();

// Registration functions of the builtin families, called by LispInitialize in this order.
void LispRegisterCoreBuiltins();
void LispRegisterMathBuiltins();
