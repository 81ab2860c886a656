// Shared libraries: the one place that loads them, finds their procedures and releases them. Library names are
// written as on Windows by the data and scripts of old, so a name ending in ".dll" is looked up with ".so" in its
// place.
#pragma once

// Where a name without a folder is looked for.
enum class TZevLibrarySearch {
    System,             // the dynamic loader's own search
    WorkingFolderFirst, // the working folder, then the loader's search (as the Windows loader does)
};

// The loaded library, or null when it cannot be loaded. A null or empty name loads nothing: the dynamic loader
// would take it for the program itself, and every library the program uses would answer for it.
void* ZevOpenSharedLibrary(const char* name, TZevLibrarySearch search = TZevLibrarySearch::System);
// Releases a library opened above; null does nothing.
void ZevCloseSharedLibrary(void* library);
// The address of the exported symbol, or null (null library or name, or no such symbol).
void* ZevFindLibrarySymbol(void* library, const char* name);
