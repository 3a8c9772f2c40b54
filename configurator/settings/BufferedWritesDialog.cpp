#include "configurator/settings/BufferedWritesDialog.h"

#include <string>

#include "configurator/app/DialogCommon.h"
#include "configurator/changes/ChangePlanners.h"
#include "resources/ConfiguratorIds.h"

namespace varnok::cfg {

namespace {

void ShowNumber(ui::DialogView& view, int id, uint32_t value) {
    view.setText(id, std::to_string(static_cast<int32_t>(value)));  // "%d"
}

void SetEditable(ui::DialogView& view, bool on) {
    for (int box : {IDC_BW_SIZE, IDC_BW_THRESHOLD, IDC_BW_LATENCY}) view.setReadOnly(box, !on);
    for (int label : {IDC_BW_LABEL_SIZE, IDC_BW_LABEL_THRESHOLD, IDC_BW_LABEL_LATENCY})
        view.enable(label, on);
}

}  // namespace

void BufferedWritesDialog::onInit(ui::DialogView& view) {
    PortEntry* e = app_.table.selected();
    if (e == nullptr) {
        view.endDialog(1);
        return;
    }
    LoadBufferedWriteValues(app_, *e);
    const bool on = BufferedWritesOn(*e);
    view.setCheckState(IDC_BW_ACTIVE, on ? ui::kChecked : ui::kUnchecked);
    SetEditable(view, on);
    ShowNumber(view, IDC_BW_SIZE, e->writeBufferSize);
    ShowNumber(view, IDC_BW_LATENCY, e->writeLatency);
    ShowNumber(view, IDC_BW_THRESHOLD, e->writeBufferThreshold);
}

bool BufferedWritesDialog::write(ui::DialogView& view, PortEntry& e) {
    ConfigBytes next = e.configData;
    SetOption(next, kOptBufferedWrites, view.checkState(IDC_BW_ACTIVE) == ui::kChecked);
    ChangeConfigData(view, e, next);
    const BufferedWriteRefusals refused = TakeBufferedWriteBoxes(
        e, {view.text(IDC_BW_SIZE), view.text(IDC_BW_LATENCY), view.text(IDC_BW_THRESHOLD)});
    // A refused box shows the value in force again.
    if (refused.size) ShowNumber(view, IDC_BW_SIZE, e.writeBufferSize);
    if (refused.latency) ShowNumber(view, IDC_BW_LATENCY, e.writeLatency);
    if (refused.threshold) ShowNumber(view, IDC_BW_THRESHOLD, e.writeBufferThreshold);
    // This dialog writes its own values only: ConfigData (which holds the
    // on/off bit) and the three numbers. Without a ConfigData that was read
    // or set, the on/off state is unknown and nothing is written.
    const ChangeSet changes = PlanPortChanges(e, nullptr, kFieldConfigData | kBufferedWriteFields);
    const ApplyReport report = ApplyFromDialog(app_, view, changes);
    TakeWrittenAsRead(e, changes, report);
    return report.backup.ok() || report.tried();
}

void BufferedWritesDialog::onCommand(ui::DialogView& view, int id, ui::Event event) {
    switch (id) {
        case IDC_BW_ACTIVE:
            if (event == ui::Event::Clicked)
                SetEditable(view, view.checkState(IDC_BW_ACTIVE) == ui::kChecked);
            return;
        case ui::kIdOk:
        case IDC_BW_APPLY: {
            PortEntry* e = app_.table.selected();
            if (e != nullptr && !write(view, *e)) return;
            if (id == ui::kIdOk) view.endDialog(1);
            return;
        }
        case ui::kIdCancel:
            view.endDialog(2);
            return;
        default:
            return;
    }
}

}  // namespace varnok::cfg
