#include "TestForm.h"

#include "ZevApplication.h"
#include "ZevBitmap.h"
#include "ZevDXGMWin.h"
#include "ZevFilterForm.h"
#include "ZevFlightScene.h"
#include "ZevFloatKeyList.h"
#include "ZevGMLoop.h"
#include "ZevForm1.h"
#include "ZevGrid3D.h"
#include "ZevNurbs.h"
#include "ZevThread.h"

#include <cmath>
#include <cstdlib>
#include <mutex>
#include <new>

TZevClassRecord TTestFormClassRecord;
TZevSortRecord SortRecords[SortRecordCount];

TZevLSObj* CreateTTestForm() { return ZevCreateRegistered<TTestForm>(&TTestFormClassRecord); }

void TZevSortRecord::Set(float key)
{
    Key = key;
    Text = TZevString(key);
}

namespace {

// The texts are heap strings of the counting allocator: they go before the counts are written at exit.
void FreeSortRecords()
{
    for (TZevSortRecord& record : SortRecords)
        record.Text = TZevString();
}

float RandomKey() { return static_cast<float>(std::rand() % 10); }

// A text of a number of milliseconds.
TZevString Milliseconds(double ms)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", ms);
    return TZevString(text);
}

} // namespace

TZevSortTiming ZevSortTestArray(float* sortedKeys)
{
    TZevSortTiming timing;
    const double t0 = GetElapsedMilliseconds();
    auto* pairs = static_cast<TZevFloatKeyNode*>(ZevAlloc(sizeof(TZevFloatKeyNode) * SortRecordCount));
    auto* order = static_cast<TZevFloatKeyRecord**>(ZevAlloc(sizeof(TZevFloatKeyRecord*) * SortRecordCount));
    if (pairs == nullptr || order == nullptr) {
        ZevFree(pairs);
        ZevFree(order);
        return timing;
    }
    for (std::int32_t i = 0; i < SortRecordCount; ++i) {
        TZevSortRecord& record = SortRecords[i];
        record.Set(RandomKey());
        new (&pairs[i]) TZevFloatKeyNode;
        pairs[i].Key = record.Key;
        pairs[i].Item = &record;
        order[i] = &pairs[i];
    }
    timing.FillMilliseconds = GetElapsedMilliseconds() - t0;
    const double t1 = GetElapsedMilliseconds();
    TZevFloatKeyList::SortArray(order, SortRecordCount);
    timing.SortMilliseconds = GetElapsedMilliseconds() - t1;
    if (sortedKeys != nullptr)
        for (std::int32_t i = 0; i < SortRecordCount; ++i)
            sortedKeys[i] = static_cast<TZevSortRecord*>(static_cast<TZevFloatKeyNode*>(order[i])->Item)->Key;
    ZevFree(order);
    ZevFree(pairs);
    return timing;
}

TZevSortTiming ZevSortTestList(float* sortedKeys)
{
    TZevSortTiming timing;
    const double t0 = GetElapsedMilliseconds();
    TZevFloatKeyList list;
    for (TZevSortRecord& record : SortRecords) {
        record.Set(RandomKey());
        if (list.AddItem(record.Key, &record) == nullptr)
            return TZevSortTiming();
    }
    timing.FillMilliseconds = GetElapsedMilliseconds() - t0;
    const double t1 = GetElapsedMilliseconds();
    list.BuildSorted();
    timing.SortMilliseconds = GetElapsedMilliseconds() - t1;
    if (sortedKeys != nullptr) {
        std::int32_t i = 0;
        for (const TZevFloatKeyRecord* r = list.First(); r != list.End() && i < SortRecordCount; r = r->Next)
            sortedKeys[i++] = static_cast<TZevSortRecord*>(static_cast<const TZevFloatKeyNode*>(r)->Item)->Key;
    }
    return timing; // the list gives its nodes back
}

void ZevDrawNurbsTest(TZevFilterPanel* panel)
{
    constexpr std::int32_t width = 600, height = 400, points = 8, samples = 2800;
    panel->NewImage(width, height);
    if (panel->DisplayBitmap == nullptr || panel->DisplayBitmap->GetBits() == nullptr)
        return;
    {
        TZevWinBmpDC dc(panel->DisplayBitmap);
        dc.FillRect(0, 0, width, height, 0xffffff);
    }
    TZevNurbsCurve curve;
    if (!curve.SetUp(points, 4))
        return;
    {
        TZevBitmapAccess access(panel->DisplayBitmap);
        const std::uint32_t pointColour = access.MakePixel(255, 0, 0, 255);
        const std::uint32_t curveColour = access.MakePixel(0, 0, 255, 255);
        auto plot = [&](double x, double y, std::uint32_t colour) {
            if (!(x >= 0.0 && y >= 0.0 && x < width && y < std::abs(access.height)))
                return;
            access.WritePixel(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), colour);
        };
        for (std::int32_t i = 0; i < points; ++i) {
            const double xy[2] = {static_cast<double>(std::rand() % width), static_cast<double>(std::rand() % height)};
            curve.SetPoint(i, xy, 2);
            plot(xy[0], xy[1], pointColour);
        }
        const float step = 1.0f / 2799.0f;
        for (std::int32_t i = 0; i < samples; ++i) {
            double x = 0.0, y = 0.0;
            if (curve.PointAt(static_cast<double>(static_cast<float>(i) * step), &x, &y))
                plot(x, y, curveColour);
        }
    }
    curve.FreePoints();
    panel->ShowWorkImage();
}

// ---- The form --------------------------------------------------------------------------------------------------

namespace {

TTestForm* FormOf(void* arg) { return static_cast<TTestForm*>(arg); }

void OnFloor(void* arg) { FormOf(arg)->FloorCheck(); }
void OnGrid(void* arg) { FormOf(arg)->GridCheck(); }
void OnSortList(void* arg) { FormOf(arg)->ListSortTest(); }
void OnSortArray(void* arg) { FormOf(arg)->ArraySortTest(); }
void OnNurbs(void* arg) { FormOf(arg)->NurbsTest(); }
void OnGame1(void* arg) { FormOf(arg)->OpenGame(1); }
void OnGame2(void* arg) { FormOf(arg)->OpenGame(2); }

template <class T> T* MakeChild(TZevWin* parent, const char* className)
{
    TZevWin* child = nullptr;
    parent->CreateChild(&child, className);
    return static_cast<T*>(child);
}

} // namespace

void TTestForm::OnCreate()
{
    Button1 = MakeChild<TZevButton>(this, "TZevButton");
    Edit = MakeChild<TZevEdit>(this, "TZevEdit");
    Button2 = MakeChild<TZevButton>(this, "TZevButton");
    Button3 = MakeChild<TZevButton>(this, "TZevButton");
    Memo = MakeChild<TZevMemo>(this, "TZevMemo");
    const struct {
        TZevWin* Window;
        const char* Caption;
        std::int32_t X, Y, W, H;
    } layout[] = {{Button1, "Button1", 128, 8, 64, 24},
                  {Edit, nullptr, 8, 8, 120, 24},
                  {Button2, "Button2", 128, 40, 64, 24},
                  {Button3, "Button3", 128, 72, 64, 24},
                  {Memo, nullptr, 8, 40, 120, 120}};
    for (const auto& c : layout) {
        if (c.Window == nullptr)
            continue;
        c.Window->SetBounds(c.X, c.Y, c.W, c.H);
        if (c.Caption)
            c.Window->SetText(c.Caption);
    }
    if (Button1) {
        Button1->ClickArg = this;
        Button1->ClickHandler = OnFloor;
    }
    if (Button2) {
        Button2->ClickArg = this;
        Button2->ClickHandler = OnGrid;
    }

    MenuBar = NewMenuBar();
    TestMenu = MenuBar->AddPopupMenu("Test");
    GMTestMenu = MenuBar->AddPopupMenu("GMTest");
    const char* testNames[] = {"SortTest", "SortTest2", "Test3", "Test4"};
    const char* gameNames[] = {"Atari", "Atari2", "Alpha Test", "Atari3", "Game1", "Game2"};
    for (int i = 0; i < 4; ++i)
        Items[i] = TestMenu ? TestMenu->AddMenuItem(testNames[i]) : nullptr;
    for (int i = 0; i < 6; ++i)
        Items[4 + i] = GMTestMenu ? GMTestMenu->AddMenuItem(gameNames[i]) : nullptr;
    AddControl(MenuBar);
    // "Test4", "Atari", "Atari2", "Alpha Test" and "Atari3" do nothing.
    const TZevMenuHandler handlers[10] = {OnSortList, OnSortArray, OnNurbs, nullptr, nullptr,
                                          nullptr,    nullptr,     nullptr, OnGame1, OnGame2};
    for (int i = 0; i < 10; ++i) {
        if (Items[i]) {
            Items[i]->HandlerArg = this;
            Items[i]->Handler = handlers[i];
        }
    }
}

void TTestForm::OnDestroy()
{
    if (LastViewWindow != nullptr && LastViewWindow->OwnerSlot == &LastViewWindow)
        LastViewWindow->OwnerSlot = nullptr;
    LastViewWindow = nullptr;
    if (EndsProgram)
        CloseRootWindow();
}

void TTestForm::FloorCheck()
{
    if (Edit)
        Edit->SetText(TZevString(static_cast<int>(std::floor(-1.5))).CStr());
}

void TTestForm::GridCheck()
{
    struct Named {
        const char* Name;
        TZevBox Box;
    };
    Named records[3] = {{"0", {}}, {"1", {}}, {"2", {}}};
    records[0].Box.Set(TZevVector(-1.0f, -1.0f, -1.0f), TZevVector(1.0f, 1.0f, 1.0f));
    records[1].Box.Set(TZevVector(0.0f, 0.0f, 0.0f), TZevVector(8.0f, 8.0f, 8.0f));
    records[2].Box.Set(TZevVector(0.0f, 4.0f, 0.0f), TZevVector(4.0f, 16.0f, 4.0f));
    TZevGrid3D grid;
    if (!grid.SetUp(8, 8, 8, TZevVector(-32.0f, -32.0f, -32.0f), TZevVector(32.0f, 32.0f, 32.0f)))
        return;
    for (Named& r : records)
        grid.Insert(r.Box, &r);
    grid.Remove(records[1].Box, &records[1]);
    TZevString text("");
    while (void* item = grid.Next())
        text = text + TZevString(static_cast<Named*>(item)->Name) + TZevString("\r\n");
    if (Memo)
        Memo->SetText(text.CStr());
}

void TTestForm::ArraySortTest()
{
    const TZevSortTiming timing = ZevSortTestArray(nullptr);
    SetText(Milliseconds(timing.FillMilliseconds).CStr());
    if (Edit)
        Edit->SetText(Milliseconds(timing.SortMilliseconds).CStr());
}

void TTestForm::ListSortTest()
{
    const TZevSortTiming timing = ZevSortTestList(nullptr);
    SetText(Milliseconds(timing.FillMilliseconds).CStr());
    if (Edit)
        Edit->SetText(Milliseconds(timing.SortMilliseconds).CStr());
}

void TTestForm::NurbsTest()
{
    if (CurrentForm1 != nullptr && CurrentForm1->FilterForm != nullptr && CurrentForm1->FilterForm->Panel != nullptr)
        ZevDrawNurbsTest(CurrentForm1->FilterForm->Panel);
}

void TTestForm::OpenGame(int which)
{
    TZevWin* made = nullptr;
    CreateChild(&made, "TZevDXGMWin");
    auto* view = dynamic_cast<TZevDXGMWin*>(made);
    if (view == nullptr)
        return;
    view->SetBounds(0, 0, 651, 510);
    view->FullScreen = 0;
    view->SetScene(which == 2 ? static_cast<TZevGMBase*>(new TZevFlightScene) : new TZevGMLoop);
    // An earlier view stays open; only the last one is remembered (and forgets this form when it goes).
    LastViewWindow = view;
    view->OwnerSlot = &LastViewWindow;
    view->Start();
}

void ZevTestFormInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterClassRecord(&TTestFormClassRecord, "TTestForm", "TZevWin", CreateTTestForm);
        std::atexit(FreeSortRecords);
    });
}
