// OGLPomu: a console menu of four scenes, each simulated by the engine and shown in an OpenGL window.
#include "OGLPomuScenes.h"

#include "qe.h"

#include <algorithm>
#include <cstdio>
#include <thread>

int main(int argc, char** argv)
{
    // The physics step uses the machine's cores.
    QE_SetWorkerThreads(static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u)));
    const int choice = AskSceneChoice(stdin, stdout);
    return choice != 0 ? RunScene(choice, argc, argv) : 0;
}
