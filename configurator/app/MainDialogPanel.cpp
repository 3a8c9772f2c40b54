#include "configurator/app/MainDialogPanel.h"

#include <string>

#include "configurator/app/DialogCommon.h"
#include "resources/ConfiguratorIds.h"

namespace varnok::cfg {

namespace {

const int kLabels[] = {IDC_LABEL_MIN_READ, IDC_LABEL_MIN_WRITE, IDC_LABEL_POLLING,
                       IDC_LABEL_LATENCY};

int CheckOf(bool on) { return on ? ui::kChecked : ui::kUnchecked; }

// The panel's boxes, joined to the model's settings by name.
struct NumberBox {
    int id;
    const PanelNumber& setting;
};
struct OptionBox {
    int id;
    const PanelOption& setting;
};
const PanelNumber& Number(const char* name) { return *PanelNumberNamed(name); }
const PanelOption& Option(const char* name) { return *PanelOptionNamed(name); }
const NumberBox kNumberBoxes[] = {
    {IDC_MIN_READ_TIMEOUT, Number("minReadTimeout")},
    {IDC_MIN_WRITE_TIMEOUT, Number("minWriteTimeout")},
    {IDC_POLLING_PERIOD, Number("pollingPeriod")},
    {IDC_LATENCY, Number("latencyTimer")},
};
const OptionBox kOptionBoxes[] = {
    {IDC_SERIAL_PRINTER, Option("serialPrinter")},
    {IDC_CANCEL_IF_POWER_OFF, Option("cancelIfPowerOff")},
    {IDC_EVENT_ON_SURPRISE_REMOVAL, Option("eventOnSurpriseRemoval")},
    {IDC_SET_RTS_ON_CLOSE, Option("setRtsOnClose")},
    {IDC_DISABLE_MODEM_CTRL, Option("disableModemCtrlAtStartup")},
};

// The number and option boxes, and the Serial Enumerator box when `enumerator`.
void ShowValues(ui::DialogView& view, const PortEntry& e, bool enumerator) {
    for (const auto& box : kNumberBoxes)
        view.setText(box.id, std::to_string(e.*box.setting.field));
    for (const auto& box : kOptionBoxes)
        view.setCheckState(box.id, CheckOf(HasOption(e.configData, box.setting.bit)));
    if (enumerator) view.setCheckState(IDC_SERIAL_ENUMERATOR, CheckOf(e.serialEnumeratorOn()));
}

}  // namespace

void EnablePortSettings(ui::DialogView& view, bool enabled) {
    for (int id : kLabels) view.enable(id, enabled);
    for (const auto& box : kNumberBoxes) view.enable(box.id, enabled);
    for (const auto& box : kOptionBoxes) view.enable(box.id, enabled);
    view.enable(IDC_SERIAL_ENUMERATOR, enabled);
}

void ClearPortSettings(ui::DialogView& view) {
    for (const auto& box : kNumberBoxes) view.setText(box.id, "");
    for (const auto& box : kOptionBoxes) view.setCheckState(box.id, ui::kUnchecked);
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
    for (const auto& box : kOptionBoxes)
        SetOption(options, box.setting.bit, view.checkState(box.id) == ui::kChecked);
    ChangeConfigData(view, *e, options);

    for (const auto& box : kNumberBoxes) {
        if (!TakePanelNumber(*e, box.setting, view.text(box.id)))
            view.setText(box.id, std::to_string(e->*box.setting.field));
    }
}

bool PanelValueInRange(int boxId, uint32_t value) {
    for (const auto& box : kNumberBoxes)
        if (box.id == boxId) return value >= box.setting.low && value <= box.setting.high;
    return false;
}

void ApplyPresetToPanel(Configurator& app, ui::DialogView& view, Preset preset) {
    PortEntry* e = app.table.selected();
    if (e == nullptr) return;
    ApplyPreset(*e, preset);
    ShowValues(view, *e, PresetSetsSerialEnumerator(preset));
}

}  // namespace varnok::cfg
