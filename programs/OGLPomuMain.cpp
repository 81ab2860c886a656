// OGLPomu: a console menu of four scenes, each simulated by the engine and shown in an OpenGL window.
#include "OGLPomuScenes.h"

#include <cstdio>

int main(int argc, char** argv)
{
    const int choice = AskSceneChoice(stdin, stdout);
    return choice != 0 ? RunScene(choice, argc, argv) : 0;
}
