// OGLPomu: a console menu of four scenes, each simulated by the engine and shown in an OpenGL window.
#include "OGLPomuScenes.h"

#include <cstdio>

int main(int argc, char** argv)
{
    std::fputs(SceneMenuText, stdout);
    std::fflush(stdout);
    int choice = 0;
    if (std::scanf("%d", &choice) != 1)
        choice = 0;
    return RunScene(choice, argc, argv);
}
