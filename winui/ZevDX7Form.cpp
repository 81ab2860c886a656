#include "ZevDX7Form.h"

TZevClassRecord TZevDX7PanelClassRecord;
TZevClassRecord TZevDX7FormClassRecord;

TZevLSObj* CreateTZevDX7Panel()
{
    return ZevCreateRegistered<TZevDX7Panel>(&TZevDX7PanelClassRecord);
}

TZevLSObj* CreateTZevDX7Form()
{
    return ZevCreateRegistered<TZevDX7Form>(&TZevDX7FormClassRecord);
}

void TZevDX7Panel::OnDestroy()
{
    Renderer.Release();
    TZevPanel::OnDestroy();
}

void TZevDX7Panel::ResetRenderer()
{
    Renderer.Release();
    Renderer.SetFullScreen(0);
    Renderer.InitFromWindow(Handle);
}

void TZevDX7Form::OnCreate()
{
    TZevWin* panel = nullptr;
    Panel = dynamic_cast<TZevDX7Panel*>(CreateChild(&panel, "TZevDX7Panel"));
    if (Panel) {
        Panel->SetBounds(0, 0, 640, 480);
        Panel->SetSize(640, 480);
    }
    SetBounds(100, 100, 300, 300);
    SetSize(650, 510);
}

void TZevDX7Form::ResetRenderer()
{
    if (Panel)
        Panel->ResetRenderer();
}

void TZevDX7Form::SetClientSize(std::int32_t width, std::int32_t height)
{
    if (!Panel)
        return;
    Panel->SetSize(width, height);
    Panel->ResetRenderer();
}
