// Windows, their messages and the message loop on the in-memory backend: what a form's handlers see for a person's
// input, closing and deferred deletion, the quit message, posting across threads, and command identifiers.
#include "WinUITestSupport.h"

#include <atomic>
#include <chrono>
#include <thread>

TEST_F(WinUITest, FormGetsCreateSizeAndPaintThenInputInClientCoordinates)
{
    TRecordForm* form = NewForm();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->GetCommandId(), 1);
    EXPECT_EQ(form->Log.front(), "create");
    form->SetBounds(50, 60, 300, 200);
    Pump(App);
    EXPECT_EQ(form->GetWidth(), 300);
    EXPECT_FALSE(form->Only({"size"}).empty());
    EXPECT_FALSE(form->Only({"paint"}).empty());
    form->Log.clear();

    // The caption lies above the client area: the handler gets client coordinates, not outer ones.
    Click(form->Handle, 12, 34);
    EXPECT_EQ(form->Only({"mouse"}), (std::vector<std::string>{"mousedown 12 34", "mouseup 12 34"}));

    Key('A', 'a');
    Key(VK_RETURN, '\r');
    EXPECT_EQ(form->Only({"key", "char"}), (std::vector<std::string>{"keydown 65", "char 97", "keyup 65",
                                                                      "keydown 13", "char 13", "keyup 13"}));
}

TEST_F(WinUITest, ClosingTheMainFormEndsTheLoopWithCodeZeroAndDeletesEveryWindow)
{
    TRecordForm* form = NewForm();
    bool deleted = false;
    std::vector<std::string> log;
    form->Deleted = &deleted;
    form->KeepLog = &log;
    ZevInputClose(form->Handle); // the close box
    EXPECT_EQ(App->Run(), 0);
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
              (std::vector<std::string>{"closequery", "close", "destroy"}));
    EXPECT_TRUE(deleted);
    EXPECT_EQ(WindowTable[0], nullptr);
    EXPECT_EQ(WindowTable[1], nullptr);
}

TEST_F(WinUITest, RefusedCloseKeepsTheWindowAndAsksAgainNextTime)
{
    TRecordForm* form = NewForm();
    TZevWin* child = nullptr;
    form->CreateChild(&child, "TRecordForm");
    auto* refusing = static_cast<TRecordForm*>(child);
    refusing->RefuseClose = true;
    EXPECT_EQ(form->CanClose(), 0);
    // The refusal below must not leave this window's flag set, or the next request would pass unasked.
    EXPECT_EQ(form->CloseFlag, 0);
    EXPECT_EQ(form->CanClose(), 0);
    ZevInputClose(form->Handle);
    Pump(App);
    EXPECT_TRUE(IsWindow(form->Handle));
    refusing->RefuseClose = false;
    EXPECT_EQ(form->CanClose(), 1);
}

// A form that destroys itself from its own key handler and checks that it still exists when the handler returns.
class TSelfDestroyingForm : public TRecordForm {
public:
    void OnKeyDown(WPARAM) override
    {
        Destroy();
        AliveAfterDestroy = !*Deleted;
        Log.push_back("still running");
    }
    bool AliveAfterDestroy = false;
};

TEST_F(WinUITest, WindowDestroyedInsideItsHandlerIsDeletedAfterTheHandlerReturns)
{
    static TZevClassRecord record;
    RegisterClassRecord(&record, "TSelfDestroyingForm", "TZevWin",
                        [] { return ZevCreateRegistered<TSelfDestroyingForm>(&record); });
    TRecordForm* main = NewForm();
    (void)main;
    TZevWin* w = nullptr;
    ASSERT_TRUE(App->CreateForm(&w, "TSelfDestroyingForm"));
    auto* form = static_cast<TSelfDestroyingForm*>(w);
    bool deleted = false;
    form->Deleted = &deleted;
    SetFocus(form->Handle);
    ZevInputKey('X', 'x', true);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    DispatchMessageA(&msg);
    EXPECT_TRUE(form->AliveAfterDestroy);
    EXPECT_FALSE(deleted); // waits in the deferred-deletion tree
    App->DeleteDeferred();
    EXPECT_TRUE(deleted);
}

TEST_F(WinUITest, QuitPostedFromAnotherThreadWakesABlockedLoopWithItsCode)
{
    NewForm();
    Pump(App); // nothing waits any more: the next GetMessageA blocks
    const HWND root = GetRootWindow()->Handle;
    std::thread poster([root] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        PostMessageA(root, WM_USER + 1, 7, 0);
    });
    MSG msg{};
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1); // blocks until the other thread posts
    poster.join();
    EXPECT_EQ(msg.message, WM_USER + 1);
    EXPECT_EQ(msg.wParam, 7u);

    PostQuitMessage(42);
    EXPECT_EQ(App->Run(), 42);
}

TEST_F(WinUITest, ProcessMessagesInsideAHandlerLeavesTheQuitForTheLoop)
{
    NewForm();
    PostQuitMessage(5);
    EXPECT_EQ(App->ProcessMessages(), 5);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 5u);
}

TEST_F(WinUITest, IdleFunctionRunsWithoutBlockingUntilQuit)
{
    NewForm();
    static int calls = 0;
    calls = 0;
    App->IdleFunction = [](TZevApplication*) {
        if (++calls == 50)
            PostQuitMessage(3);
    };
    EXPECT_EQ(App->Run(), 3);
    EXPECT_EQ(calls, 50);
}

TEST_F(WinUITest, IdentifiersRiseWrapOnceAndFailCleanlyWhenTheTableIsFull)
{
    NewForm();
    TZevControl a, b;
    WindowTableCursor = WindowTableSize - 1;
    ASSERT_TRUE(a.AssignId());
    EXPECT_EQ(a.CommandId, WindowTableSize - 1);
    ASSERT_TRUE(b.AssignId()); // wraps to the first free slot after the root window and the form
    EXPECT_EQ(b.CommandId, 2);
    // A new identifier frees the old one.
    const std::int32_t old = b.CommandId;
    ASSERT_TRUE(b.AssignId());
    EXPECT_EQ(WindowTable[old], nullptr);

    // Fill every slot: the next request fails instead of searching forever.
    std::vector<TZevControl*> fillers;
    for (;;) {
        auto* c = new TZevControl();
        if (!c->AssignId()) {
            EXPECT_EQ(c->CommandId, -1);
            delete c;
            break;
        }
        fillers.push_back(c);
    }
    TZevWin* form = nullptr;
    EXPECT_FALSE(App->CreateForm(&form, "TRecordForm"));
    EXPECT_EQ(form, nullptr);
    for (TZevControl* c : fillers)
        delete c;
}

TEST_F(WinUITest, CommandForAnEmptyIdentifierIsIgnored)
{
    TRecordForm* form = NewForm();
    TZevMenu* bar = NewMenuBar();
    TZevMenuItem* item = bar->AddPopupMenu("File")->AddMenuItem("Go");
    static int chosen = 0;
    chosen = 0;
    item->Handler = [](void*) { ++chosen; };
    form->AddControl(bar);
    const WPARAM id = static_cast<WPARAM>(item->CommandId);
    SendMessageA(form->Handle, WM_COMMAND, id, 0);
    EXPECT_EQ(chosen, 1);
    delete item;
    SendMessageA(form->Handle, WM_COMMAND, id, 0); // no crash, no call
    SendMessageA(form->Handle, WM_COMMAND, 60000, 0);
    EXPECT_EQ(chosen, 1);
}

TEST_F(WinUITest, DestroyingAWindowClosesAndDestroysEachChildOnce)
{
    TRecordForm* form = NewForm();
    TZevWin* a = nullptr;
    TZevWin* b = nullptr;
    form->CreateChild(&a, "TRecordForm");
    form->CreateChild(&b, "TRecordForm");
    form->Destroy();
    for (TZevWin* w : {a, b}) {
        auto* r = static_cast<TRecordForm*>(w);
        EXPECT_EQ(r->Only({"destroy"}).size(), 1u);
        EXPECT_EQ(r->Only({"close"}), (std::vector<std::string>{"closequery", "close"}));
    }
    // WM_DESTROY arriving again runs nothing.
    form->HandleMessage(WM_DESTROY, 0, 0);
    EXPECT_EQ(form->Only({"destroy"}).size(), 1u);
}
