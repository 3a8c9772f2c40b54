// Not built yet: COM renaming, the serial-number flag, buffered writes,
// configuration files and closing ports. This file goes away when they
// arrive; until then these do nothing.
#include "configurator/comnames/ComPortAssignmentDialog.h"
#include "configurator/discovery/ClosePorts.h"
#include "configurator/settings/BufferedWrites.h"
#include "configurator/settings/ConfigFiles.h"
#include "configurator/settings/IgnoreSerial.h"

namespace varnok::cfg {

void ReadIgnoreSerialFlag(Configurator&, ui::DialogView&) {}
void ApplyIgnoreSerialFlag(Configurator&, ui::DialogView&) {}
void SaveConfigurationFile(Configurator&, int) {}
void LoadConfigurationFile(Configurator&, int) {}
int CloseAllPorts(Configurator&) { return 1; }
void BufferedWritesDialog::onInit(ui::DialogView& view) { view.endDialog(1); }
void BufferedWritesDialog::onCommand(ui::DialogView& view, int, int) { view.endDialog(1); }
void ComPortAssignmentDialog::onInit(ui::DialogView& view) { view.endDialog(1); }
void ComPortAssignmentDialog::onCommand(ui::DialogView& view, int, int) { view.endDialog(1); }
bool ComPortAssignmentDialog::onUpDownDelta(ui::DialogView&, int, int, int) { return false; }

}  // namespace varnok::cfg
