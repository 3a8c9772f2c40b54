// Entry point of VarnokPlus_Configurator: the real seams, the configurator's
// state, and dialog 100 run modally with no owner.
#include <windows.h>
#include <commctrl.h>

#include "common/win32/DialogHelpers.h"
#include "common/win32/DialogHost.h"
#include "common/win32/SystemClock.h"
#include "common/win32/Win32FileStore.h"
#include "common/win32/Win32D2xx.h"
#include "common/win32/Win32Registry.h"
#include "common/win32/Win32Serial.h"
#include "configurator/app/Configurator.h"
#include "configurator/app/MainDialog.h"
#include "configurator/backup/BackupJournal.h"
#include "resources/ConfiguratorIds.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    using namespace varnok;
    // Before anything can load a library: the system folder only.
    win32::RestrictLibrarySearchToSystem();
    win32::SetProgramInstance(instance);

    INITCOMMONCONTROLSEX icc;
    icc.dwSize = sizeof icc;
    icc.dwICC = 0x827;  // list-view, tree-view, bar/tooltip, progress, internet classes
    InitCommonControlsEx(&icc);

    win32::Win32Registry registry;
    win32::Win32D2xx d2xx;
    win32::Win32SerialPorts serialPorts;
    win32::SystemClock clock;
    cfg::Configurator app(registry, d2xx, serialPorts, clock);
    app.d2xxAvailable = d2xx.loaded();
    app.d2xxLoadError = d2xx.loadError();

    // Every run that changes the registry first saves what it changes.
    win32::Win32FileStore backupFolder(
        win32::Win32FileStore::LocalAppDataFolder(L"Varnok Plus\\Backups"));
    win32::Win32LocalTime localTime;
    cfg::backup::BackupJournal backup(registry, backupFolder, localTime);
    app.backup = &backup;

    win32::DialogHostOptions mainOptions;
    mainOptions.whiteBrush = true;
    mainOptions.placedMessageBoxes = true;
    mainOptions.ownerDrawList = IDC_PORT_LIST;
    win32::DialogHostOptions white;
    white.whiteBrush = true;
    win32::DialogHostOptions about = white;
    about.picture = {IDB_ABOUT_LOGO, IDB_ABOUT_LOGO_2X};
    const win32::DialogHostConfig config = {
        {IDD_MAIN, mainOptions},           {IDD_ABOUT, about},
        {IDD_BAUD_MAPPING, white},         {IDD_BUFFERED_WRITES, white},
        {IDD_COM_ASSIGNMENT, white},
    };

    cfg::MainDialog dialog(app);
    win32::RunHostedDialog(nullptr, IDD_MAIN, dialog, config);
    return 0;
}
