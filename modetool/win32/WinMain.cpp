// Entry point of VarnokCfg: the real seams, the tool's state, and dialog
// 1000 run modally with no owner, with the busy panels painted under the
// two lists.
#include <windows.h>

#include "common/win32/DialogHelpers.h"
#include "common/win32/DialogHost.h"
#include "common/win32/RealDevices.h"
#include "modetool/ModeDialog.h"
#include "modetool/ModeTool.h"
#include "resources/ModeToolIds.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    using namespace varnok;
    win32::StartDialogProgram(instance);
    win32::OnRealDevices<mode::ModeTool> tool;

    win32::DialogHostOptions options;
    options.busyPanels[0] = {IDB_PANEL_LOGO, IDC_DEVICE_LIST, IDB_PANEL_LOGO_2X};
    options.busyPanels[1] = {IDB_PANEL_PRODUCT, IDC_PORT_LIST_MT, IDB_PANEL_PRODUCT_2X};
    const win32::DialogHostConfig config = {{IDD_MODE, options}};

    mode::ThreadExecutor executor;
    mode::ModeDialog dialog(tool.state, executor);
    win32::RunHostedDialog(nullptr, IDD_MODE, dialog, config);
    return 0;
}
