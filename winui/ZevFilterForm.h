// The image-filter window: loads a BMP, applies 3x3 filters and the halving to it, and saves the result. The form
// carries the menus; its panel shows the display bitmap and keeps the working copy with a one-pixel margin.
#pragma once

#include "ZevBitmapFilter.h"
#include "ZevMenu.h"
#include "ZevWinBmp.h"

class TZevFilterPanel : public TZevBmpPanel {
public:
    ~TZevFilterPanel() override;
    void OnCreate() override;
    void OnDestroy() override;
    virtual void FreeImages();

    // A new black image (24 bits).
    void NewImage(std::int32_t width, std::int32_t height);
    // False, the image unchanged, when the file cannot be read.
    bool LoadImage(const char* path);
    bool SaveImage(const char* path);
    void ShowWorkImage();
    // The filters of the menu; each ends by writing the working copy back and redrawing.
    void Convolve(const TZevKernel3x3& kernel);
    void Median();
    void GrayScale();
    void EdgeDetect();
    void EdgeDetect2();
    // Halves the image (nothing when a side is 1 pixel or less).
    void Half();

    TZevMargin1Bmp2* WorkBitmap = nullptr;
    TZevWinBmp* DisplayBitmap = nullptr;

private:
    void EnsureBitmaps();
    void Finish();
};

class TZevFilterForm : public TZevWin {
public:
    void OnCreate() override;

    TZevFilterPanel* Panel = nullptr;
    TZevMenu* MenuBar = nullptr;
    TZevPopupMenu* FilesMenu = nullptr;
    TZevPopupMenu* FilterMenu = nullptr;
    TZevMenuItem* Items[13] = {};
};

extern TZevClassRecord TZevFilterFormClassRecord;
extern TZevClassRecord TZevFilterPanelClassRecord;
