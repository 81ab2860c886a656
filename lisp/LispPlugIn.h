// Scripting plug-in libraries: shared libraries with the C entry points "Init", "Final", "About" and "Call",
// loaded by a script, called through "QLPlugInCall", and finalised and released exactly once: by their wrapper
// or, for all of them together, when a scene ends (UnloadAllQLPlugIns).
#pragma once

#include "ZevTree.h"

typedef int (*TQLPlugInInitFunc)(const char* host);
typedef void (*TQLPlugInFinalFunc)();
typedef const char* (*TQLPlugInAboutFunc)();
typedef const char* (*TQLPlugInCallFunc)(const char* text);

// The text every library's "Init" receives.
extern const char* const QLPlugInHostName;

class TQLPlugIn : public TZevStringTree {
public:
    // Enters QLPlugInList.
    TQLPlugIn();
    // Unload, and out of QLPlugInList, so the list never hands on a destroyed plug-in.
    ~TQLPlugIn() override;

    // Loads the library (a name without a folder from the working folder first) and looks up its entry points;
    // what is missing stays null.
    // False when the library cannot be loaded.
    bool LoadLibrary(const char* path);
    // "Final" when the library has it, then the library released; a second call does nothing.
    virtual void Unload();

    void* Module = nullptr;
    TQLPlugInInitFunc Init = nullptr;
    TQLPlugInFinalFunc Final = nullptr;
    TQLPlugInAboutFunc About = nullptr;
    TQLPlugInCallFunc Call = nullptr;
};

extern TZevClassRecord TQLPlugInClassRecord;
TZevLSObj* CreateTQLPlugIn();

// Every plug-in object that is alive and not yet unloaded by UnloadAllQLPlugIns, in order of construction; the
// list does not own them.
TZevList* GetQLPlugInList();
// Unloads every listed plug-in and empties the list; the objects stay with their wrappers.
void UnloadAllQLPlugIns();

// Start-up of this file: the class record, the plug-in list and the builtins "QLPlugInTest", "LoadQLPlugIn" and
// "QLPlugInCall". Runs once; later calls do nothing.
void QLPlugInInit();
// Unloads what is left and frees the plug-in list (at shutdown).
void QLPlugInFree();
