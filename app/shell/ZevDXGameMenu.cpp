#include "ZevDXGameMenu.h"

#include "ZevApplication.h"
#include "ZevDXGMWin.h"
#include "ZevEasyTestScene.h"
#include "ZevGMDemo.h"
#include "ZevGMLoop10.h"
#include "ZevGMLoop11.h"
#include "ZevGMLoop12.h"
#include "ZevGrabScene.h"
#include "ZevLispGMLoop.h"
#include "ZevMenu.h"
#include "ZevSlideTestScene.h"
#include "ZevSpinScene.h"
#include "ZevThread.h"
#include "ZevVehicleScene.h"
#include "qe.h"

#include <string>

TZevClassRecord TZevDXGameMenuClassRecord;

namespace {

template <class S> TZevGMBase* Make() { return new S; }

// The sprite demo plays the program's own command file.
TZevGMBase* MakeSpriteDemo()
{
    auto* demo = new TZevGMDemo;
    demo->CommandFileName = "democmd2.txt";
    return demo;
}

// The sliding test measures frames that follow each other: its thread does not wait for the timer.
void WithoutTimer(TZevDXGMWin* view) { view->TimerFlag = 0; }

using K = TZevDemoEntryKind;
constexpr const char* Engine = "Orvelle_Physics_Engine";
constexpr const char* Demos = "Orvelle_Physics_Engine_Demo";
constexpr const char* Extra = "ExtraDemo";
constexpr const char* Experiments = "実験用(Dont Touch)";

} // namespace

const std::vector<TZevDemoMenuEntry>& DemoMenuTable()
{
    static const std::vector<TZevDemoMenuEntry> table = {
        {"Files", "Close", K::Close},
        {"SetUp", "FullScreen", K::FullScreen},
        {"SetUp", "Shadow", K::Shadow},
        {Engine, "Default Orvelle Physics World", K::ScriptScene, "DefaultWorld.lsp"},
        {Engine, "Load Orvelle Physics Lisp File", K::ScriptScene, "LoadWorld.lsp"},
        {Demos, "AllDemo", K::ScriptScene, "pomudemo.lsp"},
        {Demos, "Two Leg(incomplete)", K::ScriptScene, "TwoLegTest.lsp"},
        {Demos, "Crane Car", K::ScriptScene, "LispCraneAutoTest2.lsp"},
        {Demos, "Land Car", K::ScriptScene, "LispAutoMobileLand.lsp"},
        {Demos, "Palace Car", K::ScriptScene, "LispAutoMobilePalace.lsp"},
        {Demos, "Crab Walk", K::ScriptScene, "LispCrabWalk.lsp"},
        {Demos, "Crab Crane", K::ScriptScene, "LispCrabCrane.lsp"},
        {Demos, "Crab Crane(Heavy)", K::ScriptScene, "LispCrabCraneHeavy.lsp"},
        {Demos, "Stack Objects", K::ScriptScene, "stackobjects.lsp"},
        {Demos, "Demo Block", K::ScriptScene, "Blocks.lsp"},
        {Demos, "Inverse Pendrum", K::ScriptScene, "v1_0_2/inverse_pendulum_test4.lsp"},
        {Extra, "Deform Test Implement", K::ScriptScene, "LispDeformTest.lsp"},
        {Extra, "Demo Crane", K::CodeScene, nullptr, Make<TZevGrabScene>},
        {Extra, "Demo Car", K::CodeScene, nullptr, Make<TZevVehicleScene>},
        {Extra, "Demo Flight", K::CodeScene, nullptr, Make<TZevGMLoop>},
        {Experiments, "2DDemo", K::CodeScene, nullptr, MakeSpriteDemo},
        {Experiments, "Form1 test", K::TestWindow},
        {Experiments, "GM Bench", K::CodeScene, nullptr, Make<TZevSpinScene>},
        {Experiments, "GM9Test", K::CodeScene, nullptr, Make<TZevSlideTestScene>, WithoutTimer},
        {Experiments, "GM10Test", K::CodeScene, nullptr, Make<TZevGMLoop10>},
        {Experiments, "GM11Test", K::CodeScene, nullptr, Make<TZevGMLoop11>},
        {Experiments, "GM12Test", K::CodeScene, nullptr, Make<TZevGMLoop12>},
        {Experiments, "Easy Test", K::CodeScene, nullptr, Make<TZevEasyTestScene>},
        {"Help", "Reference", K::Reference},
        {"Help", "About", K::About},
    };
    return table;
}

const char* ZevDemoAboutText()
{
    static const std::string text = std::string(QE_About()) +
                                    " \nA real-time rigid-body physics engine with a Lisp of its own.\n"
                                    "Choose a scene from the menus; type Lisp into the console beside it.";
    return text.c_str();
}

TZevDXGameMenu::~TZevDXGameMenu()
{
    // The view may outlive this object's fields (it is a child in the window tree): it must not write back.
    if (ViewWindow != nullptr && ViewWindow->OwnerSlot == &ViewWindow)
        ViewWindow->OwnerSlot = nullptr;
    ForgetTestForm();
}

void TZevDXGameMenu::OnDestroy()
{
    ForgetTestForm();
    if (ViewWindow != nullptr && ViewWindow->OwnerSlot == &ViewWindow)
        ViewWindow->OwnerSlot = nullptr;
    ViewWindow = nullptr;
}

void TZevDXGameMenu::OnCreate()
{
    SetBounds(0, 0, 640, 480);
    MenuBar = NewMenuBar();
    const auto& table = DemoMenuTable();
    Choices.reserve(table.size()); // the items keep pointers into it
    TZevPopupMenu* popup = nullptr;
    const char* popupName = nullptr;
    for (const TZevDemoMenuEntry& entry : table) {
        if (popupName == nullptr || std::string(popupName) != entry.Popup) {
            popup = MenuBar->AddPopupMenu(entry.Popup);
            popupName = entry.Popup;
        }
        TZevMenuItem* item = popup != nullptr ? popup->AddMenuItem(entry.Caption) : nullptr;
        Items.push_back(item);
        Choices.push_back({this, &entry});
        if (item == nullptr)
            continue;
        if (entry.Kind == K::FullScreen)
            FullScreenItem = item;
        else if (entry.Kind == K::Shadow)
            ShadowItem = item;
    }
    AddControl(MenuBar);
    for (std::size_t i = 0; i < Items.size(); ++i) {
        if (Items[i] == nullptr)
            continue;
        Items[i]->HandlerArg = &Choices[i];
        Items[i]->Handler = [](void* arg) {
            const auto* choice = static_cast<const TChoice*>(arg);
            choice->Form->Choose(*choice->Entry);
        };
    }
    SetText("Orvelle Physics Engine Demo");
    if (TZevWin* root = GetRootWindow())
        root->SetText("Orvelle Physics Engine Demo");
    FullScreenFlag = 0;
    ShadowFlag = 0;
    ViewWindow = nullptr;
}

void TZevDXGameMenu::Choose(const TZevDemoMenuEntry& entry)
{
    switch (entry.Kind) {
    case K::Close: CloseRootWindow(); break;
    case K::FullScreen: ToggleFullScreen(); break;
    case K::Shadow: ToggleShadow(); break;
    case K::ScriptScene: OpenScene(new TZevLispGMLoop, entry.Script, entry.Prepare); break;
    case K::CodeScene:
        if (entry.MakeScene != nullptr)
            OpenScene(entry.MakeScene(), nullptr, entry.Prepare);
        break;
    case K::TestWindow: OpenTestWindow(); break;
    case K::Reference: OpenReference(); break;
    case K::About: ShowAbout(); break;
    }
}

TZevDXGMWin* TZevDXGameMenu::OpenScene(TZevGMBase* scene, const char* script, void (*prepare)(TZevDXGMWin* view))
{
    if (ViewWindow != nullptr) {
        TZevDXGMWin* previous = ViewWindow;
        ViewWindow = nullptr;
        previous->OwnerSlot = nullptr;
        previous->Close();
    }
    TZevWin* made = nullptr;
    CreateChild(&made, "TZevDXGMWin");
    ViewWindow = dynamic_cast<TZevDXGMWin*>(made);
    if (ViewWindow == nullptr) {
        delete scene;
        return nullptr;
    }
    ViewWindow->SetBounds(GetScreenLeft(), GetScreenTop(), GetWidth(), GetHeight());
    ViewWindow->OwnerSlot = &ViewWindow;
    ViewWindow->FullScreen = FullScreenFlag;
    ViewWindow->Shadow = ShadowFlag;
    ViewWindow->SetScene(scene);
    if (prepare != nullptr)
        prepare(ViewWindow);
    // Before Start: the render thread takes the file at its first frame.
    if (script != nullptr)
        ViewWindow->SetPendingScript(script);
    TZevDXGMWin* view = ViewWindow;
    view->Start();
    return ViewWindow == view ? view : nullptr;
}

TZevWin* TZevDXGameMenu::OpenTestWindow()
{
    // An earlier launcher stays open but is no longer this form's to forget.
    ForgetTestForm();
    TZevWin* launcher = nullptr;
    if (CreateChild(&launcher, "TZevForm1") == nullptr)
        return nullptr;
    TestForm = launcher;
    // The launcher can close on its own: the pointer must not outlive it.
    launcher->DestroyCallback.Arg = this;
    launcher->DestroyCallback.Fn = [](void* arg) { static_cast<TZevDXGameMenu*>(arg)->TestForm = nullptr; };
    return launcher;
}

void TZevDXGameMenu::ForgetTestForm()
{
    if (TestForm != nullptr && TestForm->DestroyCallback.Arg == this)
        TestForm->DestroyCallback = {};
    TestForm = nullptr;
}

void TZevDXGameMenu::ToggleFullScreen()
{
    FullScreenFlag = !FullScreenFlag;
    if (MenuBar != nullptr && FullScreenItem != nullptr)
        CheckMenuItem(MenuBar->MenuHandle, static_cast<UINT>(FullScreenItem->CommandId),
                      FullScreenFlag ? MF_CHECKED : MF_UNCHECKED);
}

void TZevDXGameMenu::ToggleShadow()
{
    ShadowFlag = !ShadowFlag;
    if (MenuBar != nullptr && ShadowItem != nullptr)
        CheckMenuItem(MenuBar->MenuHandle, static_cast<UINT>(ShadowItem->CommandId),
                      ShadowFlag ? MF_CHECKED : MF_UNCHECKED);
}

void TZevDXGameMenu::OpenReference()
{
    const std::string page = std::string(AppDirectory.CStr() != nullptr ? AppDirectory.CStr() : "") +
                             ReferencePageName;
    std::string why;
    if (ZevShellOpen(page.c_str(), "", &why))
        return;
    ZevDebugLog(("demo: cannot open \"" + page + "\": " + why + "\n").c_str());
    // Said on screen too: nothing else shows that the choice was taken. A long path is broken before a '/' so
    // that the box shows all of it.
    std::string shown;
    std::size_t lineStart = 0;
    for (char c : page) {
        if (c == '/' && shown.size() - lineStart > 80) {
            shown += '\n';
            lineStart = shown.size();
        }
        shown += c;
    }
    const std::string text = "The language reference cannot be opened:\n" + shown + "\n\n" + why +
                             ".\n\nOpen the page in a web browser.";
    MessageBoxA(Handle, text.c_str(), "Reference", MB_OK);
}

void TZevDXGameMenu::ShowAbout()
{
    MessageBoxA(Handle, ZevDemoAboutText(), QE_About(), MB_OK);
}

TZevMenuItem* TZevDXGameMenu::FindItem(const char* caption) const
{
    const auto& table = DemoMenuTable();
    for (std::size_t i = 0; i < table.size() && i < Items.size(); ++i)
        if (std::string(table[i].Caption) == caption)
            return Items[i];
    return nullptr;
}
