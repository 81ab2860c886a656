#include "ZevWinApi.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <string>

extern char** environ;

namespace {

bool Fail(std::string* why, const std::string& reason)
{
    if (why)
        *why = reason;
    return false;
}

} // namespace

bool ZevShellOpen(const char* file, const char* parameters, std::string* why)
{
    if (!file || !*file)
        return Fail(why, "no file was named");
    // A document named by its path must be there; an address ("scheme://...") is the opener's to judge.
    struct stat info{};
    if (std::strstr(file, "://") == nullptr && stat(file, &info) != 0)
        return Fail(why, std::string("the file cannot be found (") + std::strerror(errno) + ")");
    std::string target = file;
    char* argv[] = {const_cast<char*>("xdg-open"), target.data(), nullptr};
    (void)parameters; // the desktop opener takes the document alone
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ);
    if (spawned == ENOENT)
        return Fail(why, "xdg-open, the desktop's opener, is not installed (it comes with xdg-utils)");
    if (spawned != 0)
        return Fail(why, std::string("xdg-open cannot be started (") + std::strerror(spawned) + ")");
    // The opener hands the document on and ends; do not leave it as a zombie.
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return Fail(why, std::string("xdg-open was lost (") + std::strerror(errno) + ")");
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    if (!WIFEXITED(status))
        return Fail(why, "xdg-open was ended by signal " + std::to_string(WTERMSIG(status)));
    // The opener's own exit codes.
    switch (WEXITSTATUS(status)) {
    case 2: return Fail(why, "xdg-open cannot find the file");
    case 3: return Fail(why, "xdg-open finds no program that opens this kind of file");
    case 4: return Fail(why, "the program xdg-open chose failed to open it");
    default: return Fail(why, "xdg-open ended with code " + std::to_string(WEXITSTATUS(status)));
    }
}
