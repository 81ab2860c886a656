#include "ZevWinApi.h"

#include <spawn.h>
#include <sys/wait.h>

#include <string>

extern char** environ;

bool ZevShellOpen(const char* file, const char* parameters)
{
    if (!file || !*file)
        return false;
    std::string target = file;
    char* argv[] = {const_cast<char*>("xdg-open"), target.data(), nullptr};
    (void)parameters; // the desktop opener takes the document alone
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0)
        return false;
    // The opener hands the document on and ends; do not leave it as a zombie.
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
