// Entry point of VarnokCfg: the real seams, the tool's state, and dialog
// 1000 run modally with no owner, with the busy panels painted under the
// two lists.
#include <windows.h>
#include <commctrl.h>

#include "common/win32/DialogHelpers.h"
#include "common/win32/DialogHost.h"
#include "common/win32/SystemClock.h"
#include "common/win32/Win32D2xx.h"
#include "common/win32/Win32Serial.h"
#include "modetool/ModeDialog.h"
#include "modetool/ModeTool.h"
#include "resources/ModeToolIds.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    using namespace varnok;
    // Before anything can load a library: the system folder only.
    win32::RestrictLibrarySearchToSystem();
    win32::SetProgramInstance(instance);

    INITCOMMONCONTROLSEX icc;
    icc.dwSize = sizeof icc;
    icc.dwICC = 0x827;
    InitCommonControlsEx(&icc);

    win32::Win32D2xx d2xx;
    win32::Win32SerialPorts serialPorts;
    win32::SystemClock clock;
    mode::ModeTool tool(d2xx, serialPorts, clock);
    tool.d2xxAvailable = d2xx.loaded();
    tool.d2xxLoadError = d2xx.loadError();

    win32::DialogHostOptions options;
    options.busyPanels[0] = {IDB_PANEL_LOGO, IDC_DEVICE_LIST, IDB_PANEL_LOGO_2X};
    options.busyPanels[1] = {IDB_PANEL_PRODUCT, IDC_PORT_LIST_MT, IDB_PANEL_PRODUCT_2X};
    const win32::DialogHostConfig config = {{IDD_MODE, options}};

    mode::ThreadExecutor executor;
    mode::ModeDialog dialog(tool, executor);
    win32::RunHostedDialog(nullptr, IDD_MODE, dialog, config);
    return 0;
}
