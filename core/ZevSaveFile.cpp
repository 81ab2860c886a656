#include "ZevSaveFile.h"

#include "ZevFileReplace.h"

#include <cstdio>

namespace {

void LogRemovedTemporary(const std::string& path)
{
    const std::string line = "ZevSaveFile: removed \"" + path + "\", left by a save that never ended\n";
    ZevDebugLog(line.c_str());
}

void LogFailedSave(const std::string& target)
{
    std::string line = "ZevSaveFile: \"" + target + "\" could not be written whole; the old file is kept\n";
    ZevDebugLog(line.c_str());
}

} // namespace

TZevSaveFile::TZevSaveFile(const char* name, const char* mode)
{
    TZevSaveFile::Open(name, mode);
}

TZevSaveFile::~TZevSaveFile()
{
    Discard();
}

void TZevSaveFile::Discard()
{
    if (handle) {
        // A device written directly gets what it was given, as closing it would have; what the write window of
        // a temporary file held is dropped with the file.
        if (temporary.empty())
            FlushWrites();
        // A writer that gives up after a failed write (a full disk) has its failure in the log.
        if (std::ferror(handle))
            LogFailedSave(target);
        std::fclose(handle);
        handle = nullptr;
    }
    TZevFile::Close(); // forgets what it knew of the file
    if (!temporary.empty()) {
        std::remove(temporary.c_str());
        temporary.clear();
    }
}

void TZevSaveFile::Close()
{
    Discard();
}

int TZevSaveFile::Open(const char* name, const char* mode)
{
    Discard();
    target.clear();
    if (!name || !*name || !mode || mode[0] != 'w') {
        ZevLogOpenFailure(name);
        return 0;
    }
    const TZevReplaceTarget replaced = ZevLookAtReplaceTarget(name);
    target = replaced.Path;
    const bool update = mode[1] == '+' || (mode[1] != 0 && mode[2] == '+');
    if (replaced.Exists && !replaced.Regular) {
        // A device or a pipe cannot be replaced: it is written directly, as an open would.
        return TZevFile::Open(target.c_str(), mode);
    }
    // A file that may not be written must not be replaced either.
    if (replaced.Exists && !replaced.Writable) {
        ZevLogOpenFailure(name);
        return 0;
    }
    ZevRemoveStaleReplacements(target, LogRemovedTemporary);
    handle = ZevCreateReplacement(replaced, update, &temporary);
    if (!handle) {
        ZevLogOpenFailure(name);
        return 0;
    }
    if (!update)
        UseWriteWindow();
    return 1;
}

int TZevSaveFile::Commit()
{
    if (!handle)
        return 0;
    bool ok = FlushWrites() && std::fflush(handle) == 0 && !std::ferror(handle);
    // On the disk before the rename, so that a crash cannot leave the target empty.
    if (ok && !temporary.empty())
        ok = ZevSyncToDisk(handle);
    ok = std::fclose(handle) == 0 && ok;
    handle = nullptr;
    TZevFile::Close();
    if (ok && !temporary.empty())
        ok = std::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok)
        LogFailedSave(target);
    if (!temporary.empty()) {
        if (!ok)
            std::remove(temporary.c_str());
        temporary.clear();
    }
    return ok ? 1 : 0;
}
