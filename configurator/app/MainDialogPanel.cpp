#include "configurator/app/MainDialogPanel.h"

#include <string>

#include "configurator/app/DialogCommon.h"
#include "resources/ConfiguratorIds.h"

namespace varnok::cfg {

namespace {

const int kLabels[] = {IDC_LABEL_MIN_READ, IDC_LABEL_MIN_WRITE, IDC_LABEL_POLLING,
                       IDC_LABEL_LATENCY};

int CheckOf(bool on) { return on ? ui::kChecked : ui::kUnchecked; }

// The number and option boxes, and the Serial Enumerator box when `enumerator`.
void ShowValues(ui::DialogView& view, const PortEntry& e, bool enumerator) {
    for (const auto& box : kPanelNumbers) view.setText(box.boxId, std::to_string(e.*box.field));
    for (const auto& box : kPanelOptions)
        view.setCheckState(box.boxId, CheckOf(HasOption(e.configData, box.bit)));
    if (enumerator) view.setCheckState(IDC_SERIAL_ENUMERATOR, CheckOf(e.serialEnumeratorOn()));
}

}  // namespace

void EnablePortSettings(ui::DialogView& view, bool enabled) {
    for (int id : kLabels) view.enable(id, enabled);
    for (const auto& box : kPanelNumbers) view.enable(box.boxId, enabled);
    for (const auto& box : kPanelOptions) view.enable(box.boxId, enabled);
    view.enable(IDC_SERIAL_ENUMERATOR, enabled);
}

void ClearPortSettings(ui::DialogView& view) {
    for (const auto& box : kPanelNumbers) view.setText(box.boxId, "");
    for (const auto& box : kPanelOptions) view.setCheckState(box.boxId, ui::kUnchecked);
    view.setCheckState(IDC_SERIAL_ENUMERATOR, ui::kUnchecked);
}

void ShowPortSettings(Configurator& app, ui::DialogView& view) {
    const PortEntry* e = app.table.selected();
    if (e == nullptr) return;
    EnablePortSettings(view, true);
    ShowValues(view, *e, true);
}

void StorePortSettings(Configurator& app, ui::DialogView& view) {
    PortEntry* e = app.table.selected();
    if (e == nullptr) return;
    // A field counts as set by the user only when the panel changes it, so a
    // value the registry could not give is not written back from what the
    // panel merely showed.
    TakeSerialEnumerator(*e, view.checkState(IDC_SERIAL_ENUMERATOR) == ui::kChecked);

    ConfigBytes options = e->configData;
    for (const auto& box : kPanelOptions)
        SetOption(options, box.bit, view.checkState(box.boxId) == ui::kChecked);
    ChangeConfigData(view, *e, options);

    for (const auto& box : kPanelNumbers) {
        if (!TakePanelNumber(*e, box, view.text(box.boxId)))
            view.setText(box.boxId, std::to_string(e->*box.field));
    }
}

void ApplyPresetToPanel(Configurator& app, ui::DialogView& view, Preset preset) {
    PortEntry* e = app.table.selected();
    if (e == nullptr) return;
    ApplyPreset(*e, preset);
    ShowValues(view, *e, PresetSetsSerialEnumerator(preset));
}

}  // namespace varnok::cfg
