#include "GLUTViewer.h"

#include "ZevPng.h"

#include <GL/freeglut.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

TGLUTViewer* CurrentViewer = nullptr;

namespace {

TGLUTTestOptions TestOptions;
int DisplayedFrames = 0;

void WriteSnapshot(const std::string& path)
{
    const int w = glutGet(GLUT_WINDOW_WIDTH);
    const int h = glutGet(GLUT_WINDOW_HEIGHT);
    if (w <= 0 || h <= 0)
        return;
    std::vector<std::uint8_t> pixels(size_t(w) * size_t(h) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    // OpenGL gives the bottom row first; the file wants the top row first.
    std::vector<std::uint8_t> rows(pixels.size());
    const size_t row = size_t(w) * 3;
    for (int y = 0; y < h; ++y)
        std::copy(pixels.begin() + long(row * size_t(y)), pixels.begin() + long(row * size_t(y + 1)),
                  rows.begin() + long(row * size_t(h - 1 - y)));
    std::error_code ignored;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty())
        std::filesystem::create_directories(parent, ignored);
    // Written aside and then renamed, so whoever waits for the file never reads half of it.
    const std::string part = path + ".part";
    if (!ZevWritePngRGB(part, w, h, rows) || (std::filesystem::rename(part, path, ignored), ignored))
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
}

void DisplayCallback()
{
    if (!CurrentViewer)
        return;
    CurrentViewer->Draw();
    ++DisplayedFrames;
    if (DisplayedFrames == TestOptions.SnapshotFrame)
        WriteSnapshot(TestOptions.SnapshotAt);
    if (TestOptions.ExitFrames > 0 && DisplayedFrames >= TestOptions.ExitFrames) {
        if (!TestOptions.Snapshot.empty())
            WriteSnapshot(TestOptions.Snapshot);
        TestOptions.ExitFrames = 0;
        glutLeaveMainLoop();
    }
}

void IdleCallback()
{
    if (!CurrentViewer)
        return;
    CurrentViewer->RedrawOpenMenus();
    if (CurrentViewer->GetIdleFlag())
        CurrentViewer->Idle();
}

void MenuStatusCallback(int status, int, int)
{
    if (CurrentViewer)
        CurrentViewer->SetMenuInUse(status == GLUT_MENU_IN_USE);
}

void MouseCallback(int button, int state, int x, int y)
{
    if (CurrentViewer)
        CurrentViewer->Mouse(button, state, x, y);
}

void MotionCallback(int x, int y)
{
    if (CurrentViewer)
        CurrentViewer->Motion(x, y);
}

void KeyboardCallback(unsigned char key, int x, int y)
{
    if (CurrentViewer)
        CurrentViewer->Keyboard(GlutKeyToVirtualKey(key), x, y);
}

void SpecialCallback(int key, int x, int y)
{
    const int code = GlutSpecialToVirtualKey(key);
    if (CurrentViewer && code)
        CurrentViewer->Keyboard(code, x, y);
}

void ReshapeCallback(int w, int h)
{
    if (!CurrentViewer)
        return;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(30.0, ViewerAspect(w, h), 1.0, 1000.0);
    glViewport(0, 0, w, h);
}

void FilesMenuCallback(int value)
{
    if (CurrentViewer)
        CurrentViewer->OnFilesMenu(value);
}

void RootMenuCallback(int value)
{
    if (CurrentViewer)
        CurrentViewer->OnRootMenu(value);
}

// GLUT's fatal errors (no display above all) end the program with a line that says what failed. Nothing of the
// engine exists yet when the display is opened, so nothing is left behind.
void GlutErrorCallback(const char* format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr, "OGLPomu: cannot open the window: %s (DISPLAY is %s%s%s)\n", text,
                 display ? "\"" : "not set", display ? display : "", display ? "\"" : "");
    std::exit(1);
}

} // namespace

void GlutInitOnce(int* argc, char** argv)
{
    if (glutGet(GLUT_INIT_STATE))
        return;
    glutInitErrorFunc(GlutErrorCallback);
    glutInit(argc, argv);
}

TGLUTTestOptions ReadGlutTestOptions()
{
    TGLUTTestOptions options;
    if (const char* frames = std::getenv("OGLPOMU_EXIT_FRAMES")) {
        char* end = nullptr;
        const long n = std::strtol(frames, &end, 10);
        if (end != frames && n > 0 && n <= 1000000)
            options.ExitFrames = int(n);
    }
    if (const char* snapshot = std::getenv("OGLPOMU_SNAPSHOT"))
        options.Snapshot = snapshot;
    if (const char* at = std::getenv("OGLPOMU_SNAPSHOT_AT")) {
        char* end = nullptr;
        const long n = std::strtol(at, &end, 10);
        if (end != at && *end == ':' && end[1] && n > 0 && n <= 1000000) {
            options.SnapshotFrame = int(n);
            options.SnapshotAt = end + 1;
        }
    }
    return options;
}

double ViewerAspect(int width, int height)
{
    return double(width) / double(height > 0 ? height : 1);
}

int GlutKeyToVirtualKey(unsigned char key)
{
    if (key >= 'a' && key <= 'z')
        return key - 'a' + 'A';
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9') || key == ' ')
        return key;
    switch (key) {
    case 8: return 0x08;   // back space
    case 9: return 0x09;   // tab
    case 13: return 0x0D;  // return
    case 27: return 0x1B;  // escape
    case 127: return 0x2E; // delete
    case ';': return 0xBA;
    case '=': return 0xBB;
    case ',': return 0xBC;
    case '-': return 0xBD;
    case '.': return 0xBE;
    case '/': return 0xBF;
    case '`': return 0xC0;
    case '[': return 0xDB;
    case '\\': return 0xDC;
    case ']': return 0xDD;
    case '\'': return 0xDE;
    default: return 0;
    }
}

int GlutSpecialToVirtualKey(int key)
{
    if (key >= GLUT_KEY_F1 && key <= GLUT_KEY_F12)
        return 0x70 + (key - GLUT_KEY_F1);
    switch (key) {
    case GLUT_KEY_LEFT: return 0x25;
    case GLUT_KEY_UP: return 0x26;
    case GLUT_KEY_RIGHT: return 0x27;
    case GLUT_KEY_DOWN: return 0x28;
    case GLUT_KEY_PAGE_UP: return 0x21;
    case GLUT_KEY_PAGE_DOWN: return 0x22;
    case GLUT_KEY_HOME: return 0x24;
    case GLUT_KEY_END: return 0x23;
    case GLUT_KEY_INSERT: return 0x2D;
    default: return 0;
    }
}

TGLUTDrawList::~TGLUTDrawList()
{
    for (TGLUTDrawable* child : Children)
        delete child;
}

void TGLUTDrawList::Draw(TGLUTViewer* viewer, int flag)
{
    for (TGLUTDrawable* child : Children)
        child->Draw(viewer, flag);
}

TGLUTViewer::TGLUTViewer() : DrawList(new TGLUTDrawList)
{
    for (float& f : Camera)
        f = 0.0f;
    CurrentViewer = this;
}

TGLUTViewer::~TGLUTViewer()
{
    if (CurrentViewer == this)
        CurrentViewer = nullptr;
    delete MouseHandler;
    delete DrawList;
}

void TGLUTViewer::SetMouseHandler(TGLUTMouseHandler* handler)
{
    if (handler != MouseHandler)
        delete MouseHandler;
    MouseHandler = handler;
}

void TGLUTViewer::Init(int argc, char** argv)
{
    TestOptions = ReadGlutTestOptions();
    DisplayedFrames = 0;
    GlutInitOnce(&argc, argv);
    // Quit and closing the window return from the main loop, so the scene is destroyed before the program ends.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    glutInitDisplayMode(DoubleBuffer > 0 ? GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH : GLUT_RGB | GLUT_DEPTH);
    glutInitWindowSize(640, 480);
    // The program's name, not the path it was started by.
    WindowId = glutCreateWindow("OGLPomu");
    glutDisplayFunc(DisplayCallback);

    FilesMenuId = glutCreateMenu(FilesMenuCallback);
    glutAddMenuEntry("Quit", 0);
    AddFilesMenuEntries();
    RootMenuId = glutCreateMenu(RootMenuCallback);
    glutAddSubMenu("Files", FilesMenuId);
    AddRootMenuEntries();
    glutAttachMenu(GLUT_RIGHT_BUTTON);
    // GLUT gives each menu a window of its own as it makes the menu, numbered on from this window, as the menus are.
    MenuWindowCount = RootMenuId - FilesMenuId + 1;
    glutMenuStatusFunc(MenuStatusCallback);

    glutIdleFunc(IdleCallback);
    glutMouseFunc(MouseCallback);
    glutMotionFunc(MotionCallback);
    glutKeyboardFunc(KeyboardCallback);
    glutSpecialFunc(SpecialCallback);
    glutReshapeFunc(ReshapeCallback);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -10.0f);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    const GLfloat localViewer[1] = {0.0f};
    glLightModelfv(GL_LIGHT_MODEL_LOCAL_VIEWER, localViewer);
    glFrontFace(GL_CW);
    glEnable(GL_LIGHT0);
    glEnable(GL_NORMALIZE);

    // R x T: tilt about x by 0.5 radian, then move by (0, 2, -20).
    const float c = std::cos(0.5f), s = std::sin(0.5f);
    for (float& f : Camera)
        f = 0.0f;
    Camera[0] = 1.0f;
    Camera[5] = c;
    Camera[6] = s;
    Camera[9] = -s;
    Camera[10] = c;
    Camera[15] = 1.0f;
    // Row-vector product: the translation row of R x T is T's, since R's translation row is (0, 0, 0, 1).
    Camera[12] = 0.0f;
    Camera[13] = 2.0f;
    Camera[14] = -20.0f;
}

void TGLUTViewer::Run()
{
    glutMainLoop();
}

void TGLUTViewer::Draw()
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadMatrixf(Camera);
    const GLfloat light[4] = {1.0f, 1.0f, -1.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    DrawList->Draw(this, 0);
    glPopMatrix();
    glFlush();
    // The clear comes last: a scene draws after calling this, and the idle callback presents the frame.
    glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void TGLUTViewer::OnRootMenu(int) {}

void TGLUTViewer::OnFilesMenu(int value)
{
    if (value != 0)
        return;
    // "Quit": the main loop returns and the program ends with 0 once the scene is gone; without a main loop there
    // is nothing to unwind.
    if (glutGet(GLUT_INIT_STATE))
        glutLeaveMainLoop();
    else
        std::exit(0);
}

void TGLUTViewer::Idle()
{
    glutPostRedisplay();
    glutSwapBuffers();
}

void TGLUTViewer::RedrawOpenMenus()
{
    // A menu's first drawing is made before the X server shows its window and is lost (it stayed black until the
    // pointer passed over each entry): while a menu is open, its windows are drawn again with every pass.
    if (!MenuInUse)
        return;
    for (int i = 1; i <= MenuWindowCount; ++i)
        glutPostWindowRedisplay(WindowId + i);
}

void TGLUTViewer::Mouse(int button, int state, int x, int y)
{
    if (MouseHandler)
        MouseHandler->Mouse(this, button, state, x, y);
}

void TGLUTViewer::Motion(int x, int y)
{
    if (MouseHandler)
        MouseHandler->Motion(this, x, y);
}

void TGLUTViewer::Keyboard(int, int, int) {}

void TGLUTViewer::DrawLine(float x1, float y1, float z1, float x2, float y2, float z2, float r, float g, float b,
                           float a)
{
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glPushMatrix();
    glLoadMatrixf(Camera);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glBegin(GL_LINES);
    glColor4f(r, g, b, a);
    glVertex3f(x1, y1, z1);
    glVertex3f(x2, y2, z2);
    glEnd();
    glPopMatrix();
}

void TGLUTViewer::CountFrame(long long now)
{
    ++FpsFrames;
    if (!FpsStarted) {
        FpsStarted = true;
        FpsStart = now;
    }
    if (now > FpsStart) {
        const long long rate = FpsFrames / (now - FpsStart);
        FpsStart = now;
        FpsFrames = 0;
        Rate = float(rate);
    }
}

std::string TGLUTViewer::FpsText() const
{
    char text[64];
    std::snprintf(text, sizeof text, "fps = %f", double(Rate));
    return text;
}

void TGLUTViewer::DrawFps()
{
    CountFrame((long long)std::time(nullptr));
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0.0, 640.0, 0.0, 480.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glColor3d(1.0, 0.0, 1.0);
    const std::string text = FpsText();
    for (size_t i = 0; i < text.size(); ++i) {
        glRasterPos2d(8.0 * double(i) + 8.0, 13.0);
        glutBitmapCharacter(GLUT_BITMAP_8_BY_13, text[i]);
    }
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
}
