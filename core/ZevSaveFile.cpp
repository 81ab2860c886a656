#include "ZevSaveFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A name for the temporary file beside `target` that no other save uses at the same time.
std::string TemporaryName(const std::string& target, unsigned attempt)
{
    static std::atomic<unsigned> serial{0};
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    // Short enough that the folder's name limit holds whenever the target's own name fits.
    const std::string base = target.substr(folder.size()).substr(0, 200);
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%ld-%u-%lx%u.tmp", static_cast<long>(getpid()), serial++,
                  static_cast<unsigned long>(now.tv_nsec), attempt);
    return folder + "." + base + suffix;
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
        std::fclose(handle);
        handle = nullptr;
    }
    if (!temporary.empty()) {
        unlink(temporary.c_str());
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
    target = name;
    // Saving through a symbolic link replaces the file it names, not the link.
    struct stat st{};
    if (lstat(name, &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = realpath(name, nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    const bool update = mode[1] == '+' || (mode[1] != 0 && mode[2] == '+');
    const bool exists = stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe cannot be replaced: it is written directly, as an open would.
        return TZevFile::Open(target.c_str(), mode);
    }
    // A file that may not be written must not be replaced either.
    if (exists && access(target.c_str(), W_OK) != 0) {
        ZevLogOpenFailure(name);
        return 0;
    }
    int fd = -1;
    for (unsigned attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = TemporaryName(target, attempt);
        fd = open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        temporary.clear();
        ZevLogOpenFailure(name);
        return 0;
    }
    // The new file keeps the permissions of the one it replaces.
    if (exists)
        (void)fchmod(fd, st.st_mode & 07777);
    handle = fdopen(fd, update ? "w+b" : "wb");
    if (!handle) {
        close(fd);
        Discard();
        ZevLogOpenFailure(name);
        return 0;
    }
    return 1;
}

int TZevSaveFile::Commit()
{
    if (!handle)
        return 0;
    bool ok = std::fflush(handle) == 0 && !std::ferror(handle);
    // On the disk before the rename, so that a crash cannot leave the target empty.
    if (ok && !temporary.empty())
        ok = fsync(fileno(handle)) == 0;
    ok = std::fclose(handle) == 0 && ok;
    handle = nullptr;
    if (ok && !temporary.empty())
        ok = std::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok)
        LogFailedSave(target);
    if (!temporary.empty()) {
        if (!ok)
            unlink(temporary.c_str());
        temporary.clear();
    }
    return ok ? 1 : 0;
}
