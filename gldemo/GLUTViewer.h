// The base of the demo's scenes: one GLUT window whose callbacks go to the virtual operations of the one live
// viewer, a default camera, a list of drawable children, a line and the frame-rate text.
#ifndef GLUT_VIEWER_H
#define GLUT_VIEWER_H

#include <string>
#include <vector>

class TGLUTViewer;

class TGLUTDrawable {
public:
    virtual ~TGLUTDrawable() = default;
    virtual void Draw(TGLUTViewer* viewer, int flag) = 0;
};

class TGLUTDrawList {
public:
    virtual ~TGLUTDrawList();
    virtual void Draw(TGLUTViewer* viewer, int flag);
    void Add(TGLUTDrawable* child) { Children.push_back(child); } // owned from now on

private:
    std::vector<TGLUTDrawable*> Children;
};

class TGLUTMouseHandler {
public:
    virtual ~TGLUTMouseHandler() = default;
    virtual void Mouse(TGLUTViewer* viewer, int button, int state, int x, int y) = 0;
    virtual void Motion(TGLUTViewer* viewer, int x, int y) = 0;
};

class TGLUTViewer {
public:
    TGLUTViewer();
    virtual ~TGLUTViewer();
    TGLUTViewer(const TGLUTViewer&) = delete;
    TGLUTViewer& operator=(const TGLUTViewer&) = delete;

    virtual void Init(int argc, char** argv);
    virtual void Run();
    virtual void Draw();
    virtual void OnRootMenu(int value);
    virtual void OnFilesMenu(int value);
    virtual void Idle();
    virtual void AddFilesMenuEntries() {}
    virtual void AddRootMenuEntries() {}
    virtual void Mouse(int button, int state, int x, int y);
    virtual void Motion(int x, int y);
    // key is a Windows virtual-key code (GlutKeyToVirtualKey).
    virtual void Keyboard(int key, int x, int y);
    virtual void DrawLine(float x1, float y1, float z1, float x2, float y2, float z2, float r, float g, float b,
                          float a);
    virtual void DrawFps();

    const float* CameraMatrix() const { return Camera; }
    TGLUTDrawList* GetDrawList() const { return DrawList; }
    void SetMouseHandler(TGLUTMouseHandler* handler);
    void SetIdleFlag(int flag) { IdleFlag = flag; }
    int GetIdleFlag() const { return IdleFlag; }
    void SetDoubleBuffer(int flag) { DoubleBuffer = flag; }
    int RootMenu() const { return RootMenuId; }
    // While a menu of the window is open (GLUT's menu status), its windows are drawn again on each idle pass.
    void SetMenuInUse(bool inUse) { MenuInUse = inUse; }
    void RedrawOpenMenus();
    int FilesMenu() const { return FilesMenuId; }
    // The text DrawFps shows: "fps = %f" of the rate of the last whole second (0 in the first second).
    std::string FpsText() const;
    float ShownRate() const { return Rate; }

    // Advances the frame-rate count as DrawFps does at calendar second `now` (DrawFps passes time()).
    void CountFrame(long long now);

private:
    float Camera[16];
    TGLUTDrawList* DrawList;
    int DoubleBuffer = 1;
    int IdleFlag = 1;
    int WindowId = 0;
    int RootMenuId = 0;
    int FilesMenuId = 0;
    int MenuWindowCount = 0;
    bool MenuInUse = false;
    TGLUTMouseHandler* MouseHandler = nullptr;
    // frame-rate count
    bool FpsStarted = false;
    long long FpsStart = 0;
    int FpsFrames = 0;
    float Rate = 0.0f;
};

extern TGLUTViewer* CurrentViewer;

// glutInit once per program. A display that cannot be opened ends the program with code 1 and a line that says so.
void GlutInitOnce(int* argc, char** argv);

// The aspect ratio of a w x h window; a window of height 0 counts as height 1.
double ViewerAspect(int width, int height);
// Windows virtual-key code of a GLUT character key (letters upper case; keys without a code give 0).
int GlutKeyToVirtualKey(unsigned char key);
// Virtual-key code of a GLUT special key (arrows, function keys, ...), 0 when it has none.
int GlutSpecialToVirtualKey(int key);

// A hidden test aid, read from the environment by Init: OGLPOMU_EXIT_FRAMES=N ends the main loop after N
// displayed frames; OGLPOMU_SNAPSHOT=file.png writes the last of them (read back from the frame buffer) as PNG;
// OGLPOMU_SNAPSHOT_AT=N:file.png writes frame N as well.
struct TGLUTTestOptions {
    int ExitFrames = 0;
    std::string Snapshot;
    int SnapshotFrame = 0;
    std::string SnapshotAt;
};
TGLUTTestOptions ReadGlutTestOptions();

#endif
