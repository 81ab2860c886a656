// Start-up of the window framework: its classes and the "WBMP" chunk reader, in a fixed order.
#include "ZevApplication.h"
#include "ZevControls.h"
#include "ZevDX7Form.h"
#include "ZevFilterForm.h"
#include "ZevMenu.h"
#include "ZevWinBmp.h"

#include <mutex>

namespace {

template <class T> TZevLSObj* Make(TZevClassRecord* record) { return ZevCreateRegistered<T>(record); }

#define QE_FACTORY(T)                                                                                           \
    TZevLSObj* Create##T() { return Make<T>(&T##ClassRecord); }
QE_FACTORY(TZevControl)
QE_FACTORY(TZevVWin)
QE_FACTORY(TZevWin)
QE_FACTORY(TZevChildWin)
QE_FACTORY(TZevButton)
QE_FACTORY(TZevEdit)
QE_FACTORY(TZevMemo)
QE_FACTORY(TZevPanel)
QE_FACTORY(TZevNFPanel)
QE_FACTORY(TZevVMenu)
QE_FACTORY(TZevMenu)
QE_FACTORY(TZevPopupMenu)
QE_FACTORY(TZevMenuItem)
QE_FACTORY(TZevWinBmp)
QE_FACTORY(TZevBmpPanel)
QE_FACTORY(TZevFilterForm)
QE_FACTORY(TZevFilterPanel)
#undef QE_FACTORY

} // namespace

void ZevWinUIInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        ZevCoreInit();
        RegisterClassRecord(&TZevControlClassRecord, "TZevControl", "TZevStringTree", CreateTZevControl);
        RegisterClassRecord(&TZevVWinClassRecord, "TZevVWin", "TZevControl", CreateTZevVWin);
        RegisterClassRecord(&TZevWinClassRecord, "TZevWin", "TZevVWin", CreateTZevWin);
        RegisterClassRecord(&TZevChildWinClassRecord, "TZevChildWin", "TZevWin", CreateTZevChildWin);
        RegisterClassRecord(&TZevButtonClassRecord, "TZevButton", "TZevChildWin", CreateTZevButton);
        RegisterClassRecord(&TZevEditClassRecord, "TZevEdit", "TZevChildWin", CreateTZevEdit);
        RegisterClassRecord(&TZevMemoClassRecord, "TZevMemo", "TZevChildWin", CreateTZevMemo);
        RegisterClassRecord(&TZevPanelClassRecord, "TZevPanel", "TZevChildWin", CreateTZevPanel);
        RegisterClassRecord(&TZevNFPanelClassRecord, "TZevNFPanel", "TZevChildWin", CreateTZevNFPanel);
        RegisterClassRecord(&TZevVMenuClassRecord, "TZevVMenu", "TZevControl", CreateTZevVMenu);
        RegisterClassRecord(&TZevMenuClassRecord, "TZevMenu", "TZevVMenu", CreateTZevMenu);
        RegisterClassRecord(&TZevPopupMenuClassRecord, "TZevPopupMenu", "TZevVMenu", CreateTZevPopupMenu);
        RegisterClassRecord(&TZevMenuItemClassRecord, "TZevMenuItem", "TZevControl", CreateTZevMenuItem);
        RegisterClassRecord(&TZevWinBmpClassRecord, "TZevWinBmp", "TZevVBitmap", CreateTZevWinBmp);
        RegisterClassRecord(&TZevBmpPanelClassRecord, "TZevBmpPanel", "TZevNFPanel", CreateTZevBmpPanel);
        RegisterClassRecord(&TZevFilterFormClassRecord, "TZevFilterForm", "TZevWin", CreateTZevFilterForm);
        RegisterClassRecord(&TZevFilterPanelClassRecord, "TZevFilterPanel", "TZevBmpPanel", CreateTZevFilterPanel);
        RegisterClassRecord(&TZevDX7PanelClassRecord, "TZevDX7Panel", "TZevPanel", CreateTZevDX7Panel);
        RegisterClassRecord(&TZevDX7FormClassRecord, "TZevDX7Form", "TZevPanel", CreateTZevDX7Form);
        RegisterChunkReader("WBMP", ReadWinBmpChunk);
    });
}
