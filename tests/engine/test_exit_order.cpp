// The program's end with script values still holding engine objects: the exit handlers release them while the
// world and the physics pools they touch are still there.
#include "QEContext.h"
#include "QEInit.h"
#include "ZevLisp.h"
#include "qe.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// Runs `scene` in a child process that then leaves through exit(), so that every exit handler runs; the child's
// exit status (a sanitizer report ends it with a non-zero status).
template <class Scene> int ExitStatusAfter(Scene scene)
{
    const pid_t pid = fork();
    if (pid == 0) {
        scene();
        std::exit(0);
    }
    int status = -1;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(ExitOrder, ALandInContactHeldByAVariableIsReleasedBeforeThePoolsGo)
{
    const int status = ExitStatusAfter([] {
#if defined(__SANITIZE_ADDRESS__)
        // The world this scene leaves running is never freed; only the release of the script values is checked.
        __lsan_disable();
#endif
        ZevEngineInit();
        QE_PhOnlyInit();
        QEAddObjectPath(QE_DATA_DIR "/objects/");
        auto* host = new TZevLispTextInterpreter();
        host->Init();
        LispHost = host;
        // A box resting on the land: both keep body boxes of their contact.
        host->SendCommand("(def l (XPhLoadLand \"blue.BMP\" \"blue.BMP\"))"
                          "(SetXPhLandMat l '((1 0 0) (0 1 0) (0 0 1) (-16 -1 -16)))"
                          "(def b (LoadXPhBody \"lbox.x\"))");
        for (int i = 0; i < 50; ++i)
            QE_PhOnlyStep();
        // The program ends without ending the world or the interpreter.
    });
    EXPECT_EQ(status, 0);
}

} // namespace
