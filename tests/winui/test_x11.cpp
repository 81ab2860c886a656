// The window framework on a real X server: a form with a button, an edit box, a memo and a menu bar, driven by
// real X input from xdotool on an Xvfb display of this test's own, as a person would use it.
#include "X11TestSupport.h"
#include "ZevFont.h"

namespace {

int gClicks = 0;
int gChosen = 0;
std::vector<WPARAM> gMemoKeys;

} // namespace

TEST_F(X11Test, FormTakesClicksTypingPasteMenuAndTheCloseBox)
{
    TRecordForm* form = NewForm();
    std::vector<std::string> log;
    form->KeepLog = &log;
    form->SetBounds(20, 20, 520, 380);
    form->SetText("テスト フォーム 実験用");
    TZevWin* w = nullptr;
    auto* button = static_cast<TZevButton*>(form->CreateChild(&w, "TZevButton"));
    TZevWin* edit = form->CreateChild(&w, "TZevEdit");
    TZevWin* memo = form->CreateChild(&w, "TZevMemo");
    button->SetBounds(10, 10, 100, 28);
    button->SetText("Press");
    edit->SetBounds(120, 10, 200, 26);
    edit->SetText("");
    memo->SetBounds(10, 50, 310, 150);
    memo->SetText("");
    gClicks = 0;
    button->ClickArg = &gClicks;
    button->ClickHandler = [](void* a) { ++*static_cast<int*>(a); };
    gMemoKeys.clear();
    memo->KeyUpCallback.Fn = [](void*, WPARAM key) { gMemoKeys.push_back(key); };
    TZevMenu* bar = NewMenuBar();
    TZevPopupMenu* file = bar->AddPopupMenu("File");
    file->AddMenuItem("New");
    TZevMenuItem* choose = file->AddMenuItem("Choose");
    gChosen = 0;
    choose->Handler = [](void*) { ++gChosen; };
    form->AddControl(bar);
    Drive({"true"});

    ClickAt(button->Handle, 50, 14);
    EXPECT_EQ(gClicks, 1);

    ClickAt(edit->Handle, 20, 12);
    Drive({"xdotool", "type", "--delay", "10", "hellp"});
    Drive({"xdotool", "key", "BackSpace", "o"});
    EXPECT_STREQ(edit->GetText().CStr(), "hello");

    ClickAt(memo->Handle, 20, 20);
    Drive({"xdotool", "type", "--delay", "10", "ab"});
    Drive({"xdotool", "key", "Return"});
    if (OnPath("xclip")) {
        Drive({"sh", "-c", "printf 'pasted' | xclip -selection clipboard"});
        Drive({"xdotool", "key", "ctrl+v"});
        EXPECT_STREQ(memo->GetText().CStr(), "ab\r\npasted");
    }
    ASSERT_GE(gMemoKeys.size(), 3u);
    EXPECT_EQ(std::vector<WPARAM>(gMemoKeys.begin(), gMemoKeys.begin() + 3),
              (std::vector<WPARAM>{'A', 'B', VK_RETURN}));

    // Keys and a click on the form itself: virtual-key codes, the typed character, client coordinates.
    SetFocus(form->Handle);
    form->Log.clear();
    Drive({"xdotool", "key", "a"});
    ClickAt(form->Handle, 400, 250);
    EXPECT_EQ(form->Only({"key", "char", "mouse"}),
              (std::vector<std::string>{"keydown 65", "char 97", "keyup 65", "mousedown 400 250",
                                        "mouseup 400 250"}));

    // The menu: a click on the bar opens the drop-down, a click on its second entry chooses it.
    ChooseFromMenu(form->Handle, 4, 1);
    EXPECT_EQ(gChosen, 1);

    // Japanese text draws as glyphs: a CJK face is found, and two different characters do not draw the same box.
    TZevFontDesc desc;
    EXPECT_TRUE(ZevFontHasGlyph(desc, 0x5B9F));
    TZevTextCoverage a, b;
    ASSERT_TRUE(ZevRenderText(desc, "実", 3, &a));
    ASSERT_TRUE(ZevRenderText(desc, "験", 3, &b));
    EXPECT_NE(a.alpha, b.alpha);

    RECT r;
    GetWindowRect(form->Handle, &r);
    std::int32_t sw = 0, sh = 0;
    std::uint32_t* shot = nullptr;
    ASSERT_TRUE(ZevCaptureScreen(&sw, &sh, &shot));
    EXPECT_TRUE(ZevWritePng(QE_SCREENSHOT_DIR "/winui_form.png", shot, sw, sh));
    // The caption bar is drawn (dark blue) with white text in it.
    int white = 0;
    for (std::int32_t x = r.left; x < r.left + 200; ++x)
        for (std::int32_t y = r.top + 4; y < r.top + 18; ++y)
            white += (shot[static_cast<std::size_t>(y * sw + x)] & 0xC0C0C0) == 0xC0C0C0; // text is smoothed
    EXPECT_GT(white, 20);
    ZevFreeCapture(shot);

    // The close box: closequery, close, destroy, then the loop ends with code 0.
    const POINT closeBox = CloseBoxOf(form->Handle);
    Drive({"xdotool", "mousemove", std::to_string(closeBox.x), std::to_string(closeBox.y), "click", "1"});
    EXPECT_EQ(App->Run(), 0);
    form = nullptr;
    std::vector<std::string> closing;
    for (const auto& line : log)
        if (line == "closequery" || line == "close" || line == "destroy")
            closing.push_back(line);
    EXPECT_EQ(closing, (std::vector<std::string>{"closequery", "close", "destroy"}));
}
