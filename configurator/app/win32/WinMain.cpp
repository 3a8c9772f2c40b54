// Entry point of VarnokPlus_Configurator: the real seams, the configurator's
// state, and dialog 100 run modally with no owner.
#include <windows.h>

#include "common/win32/DialogHelpers.h"
#include "common/win32/DialogHost.h"
#include "common/win32/RealDevices.h"
#include "common/win32/Win32FileStore.h"
#include "common/win32/Win32Registry.h"
#include "configurator/app/Configurator.h"
#include "configurator/app/MainDialog.h"
#include "configurator/backup/BackupJournal.h"
#include "resources/ConfiguratorIds.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    using namespace varnok;
    win32::StartDialogProgram(instance);
    win32::Win32Registry registry;
    win32::OnRealDevices<cfg::Configurator> app(registry);

    // Every run that changes the registry first saves what it changes.
    win32::Win32FileStore backupFolder(
        win32::Win32FileStore::LocalAppDataFolder(L"Varnok Plus\\Backups"));
    win32::Win32LocalTime localTime;
    cfg::backup::BackupJournal backup(registry, backupFolder, localTime);
    app.state.backup = &backup;

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

    cfg::MainDialog dialog(app.state);
    win32::RunHostedDialog(nullptr, IDD_MAIN, dialog, config);
    return 0;
}
