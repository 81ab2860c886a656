// Script values in object streams: any value, lists and engine-object wrappers included, written as a
// shared-object reference, so a value met twice in one save (a shared sub-list) is written once and read back as
// one value. Pairs that form a cycle (no script can make one) are refused on reading: they could never be freed. Each value kind has a named writer ("TP_SF", ...) and a named reader ("TP_LF", ...)
// registered as stream functions; the reader's name is what the stream carries.
#pragma once

#include "ZevLSObj.h"
#include "ZevLispObj.h"

#include <cstdint>

// Writes one value (the empty handle as the null reference) with the id table of the current save.
// 1 on success; 0 when a write failed or the value nests deeper than a stream may hold.
int LispSaveValue(TZevObjectIdTable* table, TZevStream* stream, const TZevLispRef* value);
// Reads one value into `out` (the empty handle for the null reference). 1 on success; 0 for a damaged or
// truncated stream or pairs that form a cycle, whose partial values are dropped: `out` is left unchanged then. Every reader registered as a
// stream function makes a TZevLSObj (value kinds and engine objects alike): that is how a value is told from an
// engine object that a damaged stream puts in its place.
int LispLoadValue(TZevObjectIdTable* table, TZevStream* stream, TZevLispRef* out);

// Holds every value made while a load runs; empty whenever no load runs.
extern TZevLispRefList* LispLoadHoldList;
// Releases what the hold list holds: the end of an outermost load (the saved-body reader calls it at its end).
void LispReleaseLoadHolds();

// Called once at the end of each outermost load with its outcome (1 or 0), before the load's values are let go:
// what a load put aside (bodies waiting to enter the world) is kept or undone here as a whole.
extern void (*LispLoadEndHook)(int ok);
// Readers whose objects may not be held by a script value: the parts of a larger object (a body's frames, parts
// and callback items), which the load of that object owns and may destroy. A stream that names one for a wrapper
// is refused. Set by the physics layer.
extern bool (*LispWrapperReaderRefused)(std::uintptr_t reader);
// Whether a value load is running (on this thread's loads, under the program-wide lock).
bool LispLoadInProgress();

// Whether a stream object is a script value (one of the value classes), told by its class record.
bool LispIsValueObject(const TZevLSObj* object);

// Writers and readers of the value kinds, as the object stream calls them.
int LispSavePair(TZevObjectIdTable* table, TZevStream* stream, void* value);
int LispLoadPair(TZevObjectIdTable* table, TZevStream* stream, void** slot);

// Registers the named writers and readers and the builtins "SaveLispObject" and "LoadLispObject"; makes the
// hold list.
void LispStreamInit();
// Frees the hold list (at shutdown).
void LispStreamFree();
