// Replacing a file whole: a new file is written beside the target and renamed over it once it is complete. These
// are the system's calls for it; what to log, and when to give up, is the caller's.
#pragma once

#include <cstdio>
#include <string>

// What stands where a save goes.
struct TZevReplaceTarget {
    std::string Path;      // the file to replace: a symbolic link resolved to the file it names
    bool Exists = false;
    bool Regular = false;  // a plain file; a device or a pipe cannot be replaced, only written
    bool Writable = false;
    unsigned Mode = 0;     // the permission bits of an existing file, which the new one keeps
};

TZevReplaceTarget ZevLookAtReplaceTarget(const char* name);

// A save killed half-way leaves its temporary file behind. Those of the target that were last written before this
// process started and whose process is no longer running are removed, and `removed` is called with each path; a
// save of another running program is left alone.
void ZevRemoveStaleReplacements(const std::string& target, void (*removed)(const std::string& path));

// A new, empty temporary file beside the target, that no other save uses at the same time, open for writing (and
// reading when `update`), with the permissions of an existing target. Null when none can be made.
std::FILE* ZevCreateReplacement(const TZevReplaceTarget& target, bool update, std::string* temporary);

// Whether the file's written bytes reached the disk (before the rename, so that a crash cannot leave the target
// empty).
bool ZevSyncToDisk(std::FILE* file);
