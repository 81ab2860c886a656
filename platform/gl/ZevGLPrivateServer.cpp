#include "ZevGLPrivateServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

TZevXServer gServer;

void StopServer()
{
    gServer.Stop(SIGTERM);
}

bool Start()
{
    if (!gServer.Start())
        return false;
    std::atexit(StopServer);
    setenv("DISPLAY", gServer.Display.c_str(), 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    return true;
}

} // namespace

bool ZevGLStartPrivateServer()
{
    static std::once_flag once;
    static bool running = false;
    std::call_once(once, [] { running = Start(); });
    return running;
}

bool TZevXServer::Start()
{
    int channel[2];
    if (pipe(channel) != 0)
        return false;
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        return false;
    }
    if (child == 0) {
        close(channel[0]);
        const int quiet = open("/dev/null", O_WRONLY);
        if (quiet >= 0) {
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
        }
        const std::string fd = std::to_string(channel[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(channel[1]);
    // The server writes its display number and a newline once it accepts clients.
    std::string number;
    pollfd waiting{channel[0], POLLIN, 0};
    while (poll(&waiting, 1, 20000) > 0) {
        char c = 0;
        if (read(channel[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    close(channel[0]);
    if (number.empty()) {
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
        return false;
    }
    Pid = child;
    Display = ":" + number;
    return true;
}

void TZevXServer::Stop(int signal)
{
    if (Pid > 0) {
        kill(Pid, signal);
        waitpid(Pid, nullptr, 0);
    }
    Pid = -1;
}
