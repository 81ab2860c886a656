#include "ZevFilterForm.h"

#include "ZevApplication.h"

#include <cstdlib>
#include <string>

TZevClassRecord TZevFilterFormClassRecord;
TZevClassRecord TZevFilterPanelClassRecord;

namespace {

constexpr char kBmpFilter[] = "*.bmp\0*.bmp\0*.*\0*.*\0";

TZevFilterPanel* PanelOf(void* form) { return static_cast<TZevFilterForm*>(form)->Panel; }

const TZevKernel3x3 kGaussian{{0, 1, 0, 1, 4, 1, 0, 1, 0}, 8, 0};
const TZevKernel3x3 kLaplacian{{0, -1, 0, -1, 4, -1, 0, -1, 0}, 1, 127};
const TZevKernel3x3 kSobelX{{-1, 0, 1, -2, 0, 2, -1, 0, 1}, 1, 127};
const TZevKernel3x3 kSobelY{{-1, -2, -1, 0, 0, 0, 1, 2, 1}, 1, 127};
const TZevKernel3x3 kMean{{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9, 0};

// A file the window could not read or write: said in the log and in a message box over the window.
void ShowFileFailure(TZevFilterForm* form, const char* what, const char* path, const char* caption)
{
    const std::string text = std::string(what) + "\n" + path;
    ZevDebugLog(("filter: " + std::string(what) + " \"" + path + "\"\n").c_str());
    MessageBoxA(form->Handle, text.c_str(), caption, MB_OK);
}

void OnLoad(void* form)
{
    char path[256];
    auto* f = static_cast<TZevFilterForm*>(form);
    if (ShowOpenFileDialog(f->Handle, AppInstance, path, kBmpFilter) && !f->Panel->LoadImage(path))
        ShowFileFailure(f, "This file could not be read as a BMP image:", path, "Load");
}

void OnSave(void* form)
{
    char path[256];
    auto* f = static_cast<TZevFilterForm*>(form);
    if (ShowSaveFileDialog(f->Handle, AppInstance, path, kBmpFilter) && !f->Panel->SaveImage(path))
        ShowFileFailure(f, "The image could not be saved to this file:", path, "Save");
}

void OnCloseForm(void* form) { static_cast<TZevFilterForm*>(form)->Destroy(); }
void OnGaussian(void* form) { PanelOf(form)->Convolve(kGaussian); }
void OnLaplacian(void* form) { PanelOf(form)->Convolve(kLaplacian); }
void OnSobelX(void* form) { PanelOf(form)->Convolve(kSobelX); }
void OnSobelY(void* form) { PanelOf(form)->Convolve(kSobelY); }
void OnMedian(void* form) { PanelOf(form)->Median(); }
void OnGrayScale(void* form) { PanelOf(form)->GrayScale(); }
void OnHeikin(void* form) { PanelOf(form)->Convolve(kMean); }
void OnHalf(void* form) { PanelOf(form)->Half(); }
void OnEdgeDetect(void* form) { PanelOf(form)->EdgeDetect(); }
void OnEdgeDetect2(void* form) { PanelOf(form)->EdgeDetect2(); }

} // namespace

void TZevFilterForm::OnCreate()
{
    TZevWin* panel = nullptr;
    CreateChild(&panel, "TZevFilterPanel");
    Panel = static_cast<TZevFilterPanel*>(panel);
    if (Panel)
        Panel->SetBounds(0, 0, 0, 0);
    MenuBar = NewMenuBar();
    FilesMenu = MenuBar->AddPopupMenu("Files");
    Items[0] = FilesMenu->AddMenuItem("Load");
    Items[1] = FilesMenu->AddMenuItem("Save");
    Items[2] = FilesMenu->AddMenuItem("Close");
    FilterMenu = MenuBar->AddPopupMenu("Filter");
    const char* names[] = {"Gaussian", "Laplacian", "SobelX", "SobelY", "Median",
                           "GrayScale", "Heikin", "Half", "EdgeDetect", "EdgeDetect2"};
    for (int i = 0; i < 10; ++i)
        Items[3 + i] = FilterMenu->AddMenuItem(names[i]);
    AddControl(MenuBar);
    const TZevMenuHandler handlers[13] = {OnLoad,    OnSave,      OnCloseForm,   OnGaussian, OnLaplacian,
                                          OnSobelX,  OnSobelY,    OnMedian,  OnGrayScale, OnHeikin,
                                          OnHalf,    OnEdgeDetect, OnEdgeDetect2};
    for (int i = 0; i < 13; ++i) {
        if (Items[i]) {
            Items[i]->HandlerArg = this;
            Items[i]->Handler = handlers[i];
        }
    }
}

TZevFilterPanel::~TZevFilterPanel() { FreeImages(); }

void TZevFilterPanel::OnCreate()
{
    SetBounds(0, 0, 8, 8);
    NewImage(8, 8);
}

void TZevFilterPanel::OnDestroy() { FreeImages(); }

void TZevFilterPanel::FreeImages()
{
    Bitmap = nullptr;
    delete WorkBitmap;
    delete DisplayBitmap;
    WorkBitmap = nullptr;
    DisplayBitmap = nullptr;
}

void TZevFilterPanel::EnsureBitmaps()
{
    if (!DisplayBitmap)
        DisplayBitmap = static_cast<TZevWinBmp*>(CreateObjectByName("TZevWinBmp"));
    if (!WorkBitmap)
        WorkBitmap = static_cast<TZevMargin1Bmp2*>(CreateObjectByName("TZevMargin1Bmp2"));
}

void TZevFilterPanel::NewImage(std::int32_t width, std::int32_t height)
{
    EnsureBitmaps();
    DisplayBitmap->Create(width, height, 24);
    WorkBitmap->SetSource(DisplayBitmap);
    SetBitmap(DisplayBitmap);
    Redraw();
}

bool TZevFilterPanel::LoadImage(const char* path)
{
    EnsureBitmaps();
    // Read into a fresh bitmap, so that a file that cannot be read leaves the image as it was.
    auto* loaded = static_cast<TZevWinBmp*>(CreateObjectByName("TZevWinBmp"));
    if (!loaded || !loaded->LoadFromFile(path)) {
        delete loaded;
        return false;
    }
    delete DisplayBitmap;
    DisplayBitmap = loaded;
    WorkBitmap->SetSource(DisplayBitmap);
    SetBitmap(DisplayBitmap);
    Redraw();
    return true;
}

bool TZevFilterPanel::SaveImage(const char* path) { return DisplayBitmap && DisplayBitmap->SaveToFile(path); }

void TZevFilterPanel::ShowWorkImage()
{
    if (!DisplayBitmap || !WorkBitmap)
        return;
    WorkBitmap->SetSource(DisplayBitmap);
    SetBitmap(DisplayBitmap);
    Redraw();
}

void TZevFilterPanel::Finish()
{
    WorkBitmap->WriteBack();
    Redraw();
}

void TZevFilterPanel::Convolve(const TZevKernel3x3& kernel)
{
    if (!WorkBitmap)
        return;
    WorkBitmap->Convolve3x3(kernel);
    Finish();
}

void TZevFilterPanel::Median()
{
    if (!WorkBitmap)
        return;
    WorkBitmap->Median();
    Finish();
}

void TZevFilterPanel::GrayScale()
{
    if (!WorkBitmap)
        return;
    WorkBitmap->GrayScale();
    Finish();
}

void TZevFilterPanel::EdgeDetect()
{
    if (!WorkBitmap)
        return;
    WorkBitmap->GrayScale();
    WorkBitmap->Median();
    WorkBitmap->Convolve3x3(TZevKernel3x3{{-1, -1, -1, -1, 8, -1, -1, -1, -1}, 1, 127});
    WorkBitmap->MarkZeroCrossings(1024);
    Finish();
}

void TZevFilterPanel::EdgeDetect2()
{
    if (!WorkBitmap)
        return;
    WorkBitmap->EdgeDetect2();
    Finish();
}

void TZevFilterPanel::Half()
{
    if (!DisplayBitmap || !WorkBitmap)
        return;
    const std::int32_t w = DisplayBitmap->GetWidth();
    const std::int32_t h = std::abs(DisplayBitmap->GetHeight());
    if (w <= 1 || h <= 1)
        return;
    auto* full = static_cast<TZevBitmap*>(CreateObjectByName("TZevBitmap"));
    auto* half = static_cast<TZevBitmap*>(CreateObjectByName("TZevBitmap"));
    full->CreateByDepth(w, h, 32);
    half->CreateByDepth(w / 2, h / 2, 32);
    full->Blit(0, 0, DisplayBitmap, 0, 0, w, h);
    const float matrix[9] = {0.5f, 0, 0, 0, 0.5f, 0, 0, 0, 1};
    half->DrawAffine(TZevIntRect{0, 0, w / 2, h / 2}, full, matrix);
    DisplayBitmap->Create(w / 2, h / 2, DisplayBitmap->GetBitCount());
    DisplayBitmap->Blit(0, 0, half, 0, 0, w / 2, h / 2);
    delete full;
    delete half;
    WorkBitmap->SetSource(DisplayBitmap);
    SetBitmap(DisplayBitmap);
    Redraw();
}
