#include "ZevSaveFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folder part of `target` (with its slash; empty for the working folder) and the start of the names of its
// temporary files: "." and the target's name, short enough that the folder's name limit holds whenever the
// target's own name fits.
std::string FolderOf(const std::string& target)
{
    const std::size_t slash = target.rfind('/');
    return slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
}

std::string TemporaryPrefix(const std::string& target)
{
    return "." + target.substr(FolderOf(target).size()).substr(0, 200) + ".";
}

// A name for the temporary file beside `target` that no other save uses at the same time: the prefix, then
// "<pid>-<serial>-<hex clock><attempt>.tmp".
std::string TemporaryName(const std::string& target, unsigned attempt)
{
    static std::atomic<unsigned> serial{0};
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, "%ld-%u-%lx%u.tmp", static_cast<long>(getpid()), serial++,
                  static_cast<unsigned long>(now.tv_nsec), attempt);
    return FolderOf(target) + TemporaryPrefix(target) + suffix;
}

// The process id in the part of a temporary file's name after its prefix, or 0 when that part does not have the
// form TemporaryName gives it.
long TemporaryOwner(const char* rest)
{
    const char* p = rest;
    long pid = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (pid > 100000000)
            return 0;
        pid = pid * 10 + (*p - '0');
    }
    if (p == rest || *p++ != '-')
        return 0;
    const char* serial = p;
    while (*p >= '0' && *p <= '9')
        ++p;
    if (p == serial || *p++ != '-')
        return 0;
    const char* clock = p;
    while ((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f'))
        ++p;
    if (p == clock || std::string(p) != ".tmp")
        return 0;
    return pid;
}

// When this process started, by the real-time clock; 0 when it cannot be told.
timespec ProcessStart()
{
    // Field 22 of /proc/self/stat: clock ticks from the boot to the start. The name in field 2 may hold blanks
    // and parentheses: the fields are counted after its last ')'.
    std::ifstream in("/proc/self/stat");
    std::stringstream text;
    text << in.rdbuf();
    const std::string stat = text.str();
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return {};
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    unsigned long long ticks = 0;
    for (int i = 3; i <= 22 && fields >> field; ++i)
        if (i == 22)
            ticks = std::strtoull(field.c_str(), nullptr, 10);
    const long perSecond = sysconf(_SC_CLK_TCK);
    timespec sinceBoot{}, now{};
    if (ticks == 0 || perSecond <= 0 || clock_gettime(CLOCK_BOOTTIME, &sinceBoot) != 0 ||
        clock_gettime(CLOCK_REALTIME, &now) != 0)
        return {};
    // Now minus the age of the process.
    const long double age = static_cast<long double>(sinceBoot.tv_sec) + sinceBoot.tv_nsec / 1e9L -
                            static_cast<long double>(ticks) / static_cast<long double>(perSecond);
    const long double start = static_cast<long double>(now.tv_sec) + now.tv_nsec / 1e9L - age;
    if (start <= 0)
        return {};
    timespec result{};
    result.tv_sec = static_cast<time_t>(start);
    result.tv_nsec = static_cast<long>((start - static_cast<long double>(result.tv_sec)) * 1e9L);
    return result;
}

bool Before(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// A save killed half-way (the process gone at once) leaves its temporary file behind. Those of `target` that were
// last written before this process started and whose process is no longer running are removed; a save of another
// running program is left alone.
void RemoveStaleTemporaries(const std::string& target)
{
    // Read each time: a forked child is a process of its own.
    const timespec started = ProcessStart();
    if (started.tv_sec == 0)
        return;
    const std::string folder = FolderOf(target);
    const std::string prefix = TemporaryPrefix(target);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.empty() ? "." : folder.c_str()), closedir);
    if (!dir)
        return;
    while (const dirent* entry = readdir(dir.get())) {
        if (std::string(entry->d_name).compare(0, prefix.size(), prefix) != 0)
            continue;
        const long owner = TemporaryOwner(entry->d_name + prefix.size());
        const std::string path = folder + entry->d_name;
        struct stat st{};
        if (owner <= 0 || lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !Before(st.st_mtim, started))
            continue;
        // Its owner is this process only when the number was used again after the other one ended.
        if (owner != static_cast<long>(getpid()) && !(kill(static_cast<pid_t>(owner), 0) != 0 && errno == ESRCH))
            continue;
        if (unlink(path.c_str()) == 0) {
            const std::string line = "ZevSaveFile: removed \"" + path + "\", left by a save that never ended\n";
            ZevDebugLog(line.c_str());
        }
    }
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
    RemoveStaleTemporaries(target);
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
        ok = fsync(fileno(handle)) == 0;
    ok = std::fclose(handle) == 0 && ok;
    handle = nullptr;
    TZevFile::Close();
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
