// A file saved whole or not at all.
//
// A save that fails half-way must not leave the previous good file overwritten with a fragment. TZevSaveFile
// writes into a new temporary file in the target's folder; Commit flushes it to the disk and renames it over the
// target in one step. Closing or destroying it without a Commit removes the temporary file and leaves the target
// as it was. Writers open it, write (as long as they like: a measurement file may stay open for a whole run), and
// Commit only when every write succeeded. A save whose write failed (a full disk) is logged, committed or not.
// A save killed half-way leaves its temporary file; the next save of the same target by a program started after
// that removes it.
#pragma once

#include "ZevStream.h"

#include <string>

class TZevSaveFile : public TZevFile {
public:
    TZevSaveFile() = default;
    // Opens at once as Open does.
    TZevSaveFile(const char* name, const char* mode);
    // Discards a write that was not committed.
    ~TZevSaveFile() override;

    // Starts a new save of `name`; `mode` is a writing mode ("w", "wb", "wt", "w+b"...). Any save in progress is
    // discarded. Temporary files of the target that a process no longer running last wrote before this process
    // started are removed. Refused like an open of the target would be (missing folder, a target that cannot be written):
    // 0 and the open-failure line in the debug log.
    int Open(const char* name, const char* mode) override;
    // Discards the save in progress: the target keeps its old contents.
    void Close() override;
    // Ends the save: 1 when every write reached the disk and the target now holds exactly what was written; 0 (and
    // a line in the debug log) otherwise, with the target as it was before Open.
    int Commit();

    const char* GetTargetName() const { return target.c_str(); }

private:
    void Discard();

    std::string target;    // the file being replaced (a symbolic link resolved to the file it names)
    std::string temporary; // the file being written, in the target's folder
};
