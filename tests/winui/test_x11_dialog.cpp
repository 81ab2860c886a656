// The open-file dialog on a real X server, used with real X input from xdotool: it lists only what its filter
// takes, walks into a folder by a double click and back by keys, scrolls by the wheel, returns the file clicked,
// and its close box cancels it, a typed name notwithstanding. The image-filter window's save onto a full disk is
// said in a message box. The dialog runs its own modal loop on the test's
// thread, so a driver thread gives the input and waits for what the dialog shows, reading it through messages
// (answered on the dialog's thread).
#include "X11TestSupport.h"

#include "../common/TestFiles.h"
#include "ZevFilterForm.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr UINT kCaptureMessage = WM_USER + 1;

// The screen as the dialog shows it, taken on the windows' thread when the driver asks for it.
struct Shot {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> pixels;
};
Shot gShot;

LRESULT ShotProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != kCaptureMessage)
        return DefWindowProcA(window, message, wParam, lParam);
    // Whatever waits for painting is painted first.
    MSG m;
    while (PeekMessageA(&m, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE))
        DispatchMessageA(&m);
    ZevSync();
    std::uint32_t* pixels = nullptr;
    if (ZevCaptureScreen(&gShot.width, &gShot.height, &pixels)) {
        gShot.pixels.assign(pixels, pixels + static_cast<std::size_t>(gShot.width) * gShot.height);
        ZevFreeCapture(pixels);
    }
    return 1;
}

// Waits (a generous while) until `done` holds; false, with what was never seen in `failure`, otherwise.
bool WaitToSee(const char* what, const std::function<bool()>& done, std::string* failure)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) {
            *failure = std::string("never saw ") + what;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A window's text, read through a message answered on the windows' thread.
std::string TextOf(HWND window)
{
    char buffer[512] = {};
    SendMessageA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

// A hidden window whose message takes the screen's picture (into gShot) on the windows' thread.
HWND NewShotWindow()
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = ShotProc;
    wc.lpszClassName = "#TestShot";
    RegisterClassA(&wc); // refused, harmlessly, when a test before made it
    return CreateWindowExA(0, "#TestShot", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
}

struct DialogDriver {
    // Filled on the windows' thread when the dialog opens.
    HWND dialog = nullptr;
    HWND list = nullptr;
    HWND folder = nullptr;
    HWND name = nullptr;
    POINT listOrigin{};
    POINT openButton{};
    POINT closeBox{};
    HWND shotWindow = nullptr;
    bool cancel = false; // only close the dialog
    std::string scratch;

    std::vector<std::string> top, sub, back;
    RECT chosenRow{}; // screen rectangle of the row clicked last
    std::string failure;
    std::atomic<bool> finished{false};
    std::thread thread;

    std::string Text(HWND window) const { return TextOf(window); }
    std::vector<std::string> Listed() const
    {
        std::vector<std::string> out;
        const LRESULT n = SendMessageA(list, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            char text[512] = {};
            SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            out.push_back(text);
        }
        return out;
    }
    bool WaitFor(const char* what, const std::function<bool()>& done) { return WaitToSee(what, done, &failure); }
    // A click (or two) on the middle of the row that shows `entry`.
    bool ClickRow(const std::string& entry, int clicks)
    {
        const std::vector<std::string> rows = Listed();
        const auto at = std::find(rows.begin(), rows.end(), entry);
        const auto index = static_cast<WPARAM>(at - rows.begin());
        RECT r{};
        if (at == rows.end() || SendMessageA(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r)) != 1) {
            failure = "no row " + entry;
            return false;
        }
        chosenRow = {listOrigin.x + r.left, listOrigin.y + r.top, listOrigin.x + r.right, listOrigin.y + r.bottom};
        return Xdotool({"mousemove", std::to_string(listOrigin.x + r.left + 20),
                        std::to_string(listOrigin.y + (r.top + r.bottom) / 2), "click", "--repeat",
                        std::to_string(clicks), "--delay", "60", "1"});
    }
    bool Xdotool(std::vector<std::string> args)
    {
        args.insert(args.begin(), "xdotool");
        if (RunToEnd(args))
            return true;
        failure = "xdotool failed";
        return false;
    }
    bool ClickAt(POINT p) { return Xdotool({"mousemove", std::to_string(p.x), std::to_string(p.y), "click", "1"}); }

    void Run()
    {
        if (!WaitFor("its list", [&] { return SendMessageA(list, LB_GETCOUNT, 0, 0) > 0; }))
            return;
        if (cancel) {
            // A name typed at once (the name field has the keyboard) is not taken when the box closes.
            if (Xdotool({"type", "b.lsp"}) && WaitFor("the name typed", [&] { return Text(name) == "b.lsp"; }))
                ClickAt(closeBox);
            return;
        }
        top = Listed();
        if (!ClickRow("[sub]", 2) || !WaitFor("the subfolder", [&] { return Text(folder) == scratch + "/sub"; }))
            return;
        sub = Listed();
        // Back by keys: the first entry, "..", opened with Return.
        if (!Xdotool({"key", "Home", "Return"}) ||
            !WaitFor("the folder again", [&] { return Text(folder) == scratch; }))
            return;
        back = Listed();
        // More entries than rows: a notch of the wheel scrolls the list by three.
        RECT first{};
        POINT middle{listOrigin.x + 100, listOrigin.y + 100};
        if (!Xdotool({"mousemove", std::to_string(middle.x), std::to_string(middle.y), "click", "5"}) ||
            !WaitFor("its rows scrolled", [&] {
                return SendMessageA(list, LB_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&first)) == 1 && first.top == 2;
            }))
            return;
        if (!ClickRow("b.lsp", 1) || !WaitFor("the name chosen", [&] { return Text(name) == "b.lsp"; }))
            return;
        SendMessageA(shotWindow, kCaptureMessage, 0, 0);
        ClickAt(openButton);
    }
    void Start()
    {
        thread = std::thread([this] {
            Run();
            if (!failure.empty())
                PostMessageA(dialog, WM_CLOSE, 0, 0); // never leave the test waiting on the dialog
            finished = true;
        });
    }
};

POINT ScreenCentre(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void StartDriver(HWND dialog, void* user)
{
    auto* d = static_cast<DialogDriver*>(user);
    d->dialog = dialog;
    d->list = GetDlgItem(dialog, ZevDialogListId);
    d->folder = GetDlgItem(dialog, ZevDialogFolderId);
    d->name = GetDlgItem(dialog, ZevDialogNameId);
    ClientToScreen(d->list, &d->listOrigin);
    d->openButton = ScreenCentre(GetDlgItem(dialog, IDOK));
    d->closeBox = CloseBoxOf(dialog);
    ZevSync(); // the dialog is on the screen before any click aims at it
    d->Start();
}

// Lets the dialog's thread answer the driver until the driver is done, then joins it.
void Finish(TZevApplication* app, DialogDriver* d)
{
    if (!d->thread.joinable())
        return; // the dialog never opened
    while (!d->finished) {
        Pump(app);
        ZevWaitForMessages(10);
    }
    d->thread.join();
}

} // namespace

TEST_F(X11Test, FileDialogFiltersWalksFoldersScrollsReturnsTheClickedFileAndCancelsByItsCloseBox)
{
    const fs::path scratch = fs::absolute("dialog_x11");
    fs::remove_all(scratch);
    fs::create_directories(scratch / "sub");
    std::vector<std::string> topList{"[..]", "[sub]", "a.lsp", "b.lsp"};
    for (int i = 10; i < 25; ++i)
        topList.push_back("f" + std::to_string(i) + ".lsp"); // more than the list shows at once
    for (const std::string& f : topList)
        if (f[0] != '[')
            std::ofstream(scratch / f) << "x";
    for (const char* f : {"notes.txt", "pic.bmp", "sub/c.lsp", "sub/d.bmp"})
        std::ofstream(scratch / f) << "x";

    TRecordForm* form = NewForm();
    form->SetBounds(60, 40, 640, 480);
    form->SetText("Owner");
    HWND shotWindow = NewShotWindow();
    Drive({"true"});

    DialogDriver open;
    open.scratch = scratch.string();
    open.shotWindow = shotWindow;
    ZevSetModalHook(StartDriver, &open);
    char path[256] = "junk";
    const std::int32_t chosen = ShowOpenFileDialog(form->Handle, nullptr, path, open.scratch.c_str(),
                                                   "Lisp scripts (*.lsp)\0*.lsp\0All files\0*.*\0");
    Finish(App, &open);
    EXPECT_EQ(open.failure, "");
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(fs::path(path), scratch / "b.lsp");
    EXPECT_EQ(open.top, topList);
    EXPECT_EQ(open.sub, (std::vector<std::string>{"[..]", "c.lsp"}));
    EXPECT_EQ(open.back, topList);
    EXPECT_TRUE(IsWindowEnabled(form->Handle));

    // The screenshot: the row chosen is highlighted; the two rows below it carry dark text on white.
    ASSERT_FALSE(gShot.pixels.empty());
    EXPECT_TRUE(ZevWritePng(QE_SCREENSHOT_DIR "/winui_file_dialog.png", gShot.pixels.data(), gShot.width,
                            gShot.height));
    const RECT row = open.chosenRow;
    auto count = [&](std::int32_t top, std::int32_t bottom, bool (*test)(std::uint32_t)) {
        int n = 0;
        for (std::int32_t y = top; y < bottom; ++y)
            for (std::int32_t x = row.left; x < row.right; ++x)
                n += test(gShot.pixels[static_cast<std::size_t>(y) * gShot.width + x]);
        return n;
    };
    const std::int32_t width = row.right - row.left;
    const std::int32_t below = row.bottom + 2 * (row.bottom - row.top);
    EXPECT_GT(count(row.top, row.bottom, [](std::uint32_t p) { return p == 0x3366CC; }), width * 8);
    EXPECT_GT(count(row.bottom, below, [](std::uint32_t p) { return p == 0xFFFFFF; }), width * 16);
    EXPECT_GT(count(row.bottom, below, [](std::uint32_t p) {
                  return ((p >> 16) & 0xFF) < 0x60 && ((p >> 8) & 0xFF) < 0x60 && (p & 0xFF) < 0x60;
              }),
              20);

    // Cancelled by the close box: 0 and an empty buffer.
    DialogDriver closer;
    closer.cancel = true;
    ZevSetModalHook(StartDriver, &closer);
    std::strcpy(path, "junk");
    EXPECT_EQ(ShowOpenFileDialog(form->Handle, nullptr, path, open.scratch.c_str(), "Lisp\0*.lsp\0"), 0);
    Finish(App, &closer);
    EXPECT_EQ(closer.failure, "");
    EXPECT_EQ(path[0], 0);
    ZevSetModalHook(nullptr, nullptr);
    DestroyWindow(shotWindow);
}

namespace {

// A person saving the filter window's image: types a name into the save dialog and presses Return, reads the
// message box that follows (its picture is taken) and closes it with Return.
struct SaveDriver {
    std::string path;
    HWND shotWindow = nullptr;
    HWND list = nullptr, name = nullptr; // of the save dialog
    std::atomic<HWND> box{nullptr};
    HWND boxText = nullptr;
    RECT boxRect{};
    std::string shown, failure;
    std::atomic<bool> finished{false};
    std::thread thread;

    bool WaitFor(const char* what, const std::function<bool()>& done) { return WaitToSee(what, done, &failure); }
    void Run()
    {
        if (!WaitFor("the save dialog", [&] { return SendMessageA(list, LB_GETCOUNT, 0, 0) > 0; }) ||
            !RunToEnd({"xdotool", "type", "--delay", "10", path}) ||
            !WaitFor("the name typed", [&] { return TextOf(name) == path; }) ||
            !RunToEnd({"xdotool", "key", "Return"}) || !WaitFor("a message box", [&] { return box != nullptr; }))
            return;
        shown = TextOf(box) + "\n" + TextOf(boxText);
        SendMessageA(shotWindow, kCaptureMessage, 0, 0);
        if (!RunToEnd({"xdotool", "key", "Return"}))
            failure = "xdotool failed";
    }
};

void DriveSave(HWND dialog, void* user)
{
    auto* d = static_cast<SaveDriver*>(user);
    ZevSync();
    if (HWND name = GetDlgItem(dialog, ZevDialogNameId)) {
        d->name = name;
        d->list = GetDlgItem(dialog, ZevDialogListId);
        d->thread = std::thread([d] {
            d->Run();
            d->finished = true;
        });
        return;
    }
    d->boxText = GetDlgItem(dialog, 0);
    GetWindowRect(dialog, &d->boxRect);
    d->box = dialog;
}

} // namespace

TEST_F(X11Test, TheFilterWindowSaysInAMessageBoxThatItsImageCouldNotBeSaved)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    // A name that leads to a full disk.
    fs::remove("full.bmp");
    fs::create_symlink("/dev/full", "full.bmp");
    TZevWin* w = nullptr;
    ASSERT_TRUE(App->CreateForm(&w, "TZevFilterForm"));
    auto* form = static_cast<TZevFilterForm*>(w);
    form->SetBounds(40, 40, 640, 480);
    form->Panel->NewImage(128, 128); // larger than the writer's buffer: the write itself fails
    HWND shotWindow = NewShotWindow();
    Drive({"true"});

    SaveDriver person;
    person.path = fs::absolute("full.bmp").string();
    person.shotWindow = shotWindow;
    ZevSetModalHook(DriveSave, &person);
    gShot = {};
    // Files > Save, by two clicks.
    ChooseFromMenu(form->Handle, 4, 1);
    ASSERT_TRUE(person.thread.joinable()) << "the save dialog did not open";
    while (!person.finished) {
        Pump(App);
        ZevWaitForMessages(10);
    }
    person.thread.join();
    ZevSetModalHook(nullptr, nullptr);
    EXPECT_EQ(person.failure, "");
    EXPECT_EQ(person.shown, "Save\nThe image could not be saved to this file:\n" + person.path);
    EXPECT_EQ(person.box.load() != nullptr && IsWindow(person.box.load()), false) << "Return closes the box";
    const std::string log = ReadFile("ZevDebug.txt");
    EXPECT_NE(log.find("filter: The image could not be saved to this file: \"" + person.path + "\""),
              std::string::npos);
    EXPECT_NE(log.find("ZevSaveFile: \"/dev/full\" could not be written whole"), std::string::npos);

    // The picture: the box on the screen, grey with dark text.
    ASSERT_FALSE(gShot.pixels.empty());
    EXPECT_TRUE(ZevWritePng(QE_SCREENSHOT_DIR "/winui_filter_save_failed.png", gShot.pixels.data(), gShot.width,
                            gShot.height));
    int grey = 0, dark = 0;
    for (std::int32_t y = person.boxRect.top + 24; y < person.boxRect.bottom; ++y)
        for (std::int32_t x = person.boxRect.left; x < person.boxRect.right; ++x) {
            const std::uint32_t p = gShot.pixels[static_cast<std::size_t>(y) * gShot.width + x];
            grey += p == 0xD4D0C8;
            dark += ((p >> 16) & 0xFF) < 0x60 && ((p >> 8) & 0xFF) < 0x60 && (p & 0xFF) < 0x60;
        }
    const int area = (person.boxRect.right - person.boxRect.left) * (person.boxRect.bottom - person.boxRect.top - 24);
    EXPECT_GT(grey, area / 2);
    EXPECT_GT(dark, 100);
    DestroyWindow(shotWindow);
}
