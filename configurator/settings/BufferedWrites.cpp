#include "configurator/settings/BufferedWrites.h"

#include <memory>
#include <string>

#include "configurator/backup/BackupBeforeWrite.h"
#include "configurator/settings/LeadingDecimal.h"
#include "configurator/settings/RegistrySettings.h"
#include "resources/ConfiguratorIds.h"

namespace varnok::cfg {

const char* const kWriteBufferSizeValue = "WriteBufferSize";
const char* const kWriteBufferThresholdValue = "WriteBufferThreshold";
const char* const kWriteLatencyValue = "WriteLatency";

namespace {

// Only this many characters of a box count.
constexpr std::size_t kBoxCharacters = 4;

bool BufferedWritesOn(const PortEntry& e) {
    return (e.configData[kBufferedWritesByte] & kBufferedWritesBit) != 0;
}

void ShowNumber(ui::DialogView& view, int id, uint32_t value) {
    view.setText(id, std::to_string(static_cast<int32_t>(value)));  // "%d"
}

void SetEditable(ui::DialogView& view, bool on) {
    for (int box : {IDC_BW_SIZE, IDC_BW_THRESHOLD, IDC_BW_LATENCY}) view.setReadOnly(box, !on);
    for (int label : {IDC_BW_LABEL_SIZE, IDC_BW_LABEL_THRESHOLD, IDC_BW_LABEL_LATENCY})
        view.enable(label, on);
}

// Takes box `id` into `field` when its number lies in 1..max; otherwise the
// box shows the field again.
void TakeBox(ui::DialogView& view, int id, uint32_t max, uint32_t& field) {
    const int v = ReadLeadingDecimal(view.text(id).substr(0, kBoxCharacters));
    if (v >= 1 && static_cast<uint32_t>(v) <= max)
        field = static_cast<uint32_t>(v);
    else
        ShowNumber(view, id, field);
}

void SetDword(reg::RegistryKey& key, const char* name, uint32_t v) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                              static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    key.setValue(name, reg::kDword, bytes, sizeof bytes);
}

}  // namespace

void WriteBufferedWriteSettings(Configurator& app, ui::DialogView& view) {
    PortEntry* e = app.table.selected();
    // A ConfigData that was neither read nor changed is not written, and
    // without it the on/off state is unknown: the three values stay too.
    if (e == nullptr || !e->writesBack(kFieldConfigData)) return;
    std::unique_ptr<reg::RegistryKey> key;
    if (app.registry.openKey(DeviceParametersKeyPath(*e), reg::kKeyAllAccess, &key) !=
        reg::kSuccess)
        return;
    if (key->setValue(kValueConfigData, reg::kBinary, e->configData.data(), e->configData.size()) !=
        reg::kSuccess)
        return;
    if (BufferedWritesOn(*e)) {
        TakeBox(view, IDC_BW_SIZE, kMaxWriteBufferSize, e->writeBufferSize);
        TakeBox(view, IDC_BW_LATENCY, kMaxWriteLatency, e->writeLatency);
        TakeBox(view, IDC_BW_THRESHOLD, kMaxWriteBufferThreshold, e->writeBufferThreshold);
        SetDword(*key, kWriteBufferSizeValue, e->writeBufferSize);
        SetDword(*key, kWriteBufferThresholdValue, e->writeBufferThreshold);
        SetDword(*key, kWriteLatencyValue, e->writeLatency);
    } else {
        key->deleteValue(kWriteBufferSizeValue);
        key->deleteValue(kWriteBufferThresholdValue);
        key->deleteValue(kWriteLatencyValue);
    }
}

void BufferedWritesDialog::onInit(ui::DialogView& view) {
    PortEntry* e = app_.table.selected();
    if (e == nullptr) {
        view.endDialog(1);
        return;
    }
    e->writeBufferSize = kDefaultWriteBufferSize;
    e->writeBufferThreshold = kDefaultWriteBufferThreshold;
    e->writeLatency = kDefaultWriteLatency;
    if (BufferedWritesOn(*e)) {
        view.setCheckState(IDC_BW_ACTIVE, ui::kChecked);
        SetEditable(view, true);
        std::unique_ptr<reg::RegistryKey> key;
        if (app_.registry.openKey(DeviceParametersKeyPath(*e), reg::kKeyRead, &key) ==
            reg::kSuccess) {
            // A missing value keeps its default.
            reg::QueryIntoField(*key, kWriteBufferSizeValue, &e->writeBufferSize, 4);
            reg::QueryIntoField(*key, kWriteLatencyValue, &e->writeLatency, 4);
            reg::QueryIntoField(*key, kWriteBufferThresholdValue, &e->writeBufferThreshold, 4);
        }
    } else {
        view.setCheckState(IDC_BW_ACTIVE, ui::kUnchecked);
        SetEditable(view, false);
    }
    ShowNumber(view, IDC_BW_SIZE, e->writeBufferSize);
    ShowNumber(view, IDC_BW_LATENCY, e->writeLatency);
    ShowNumber(view, IDC_BW_THRESHOLD, e->writeBufferThreshold);
}

void BufferedWritesDialog::onCommand(ui::DialogView& view, int id, ui::Event event) {
    switch (id) {
        case IDC_BW_ACTIVE:
            if (event == ui::Event::Clicked) SetEditable(view, view.checkState(IDC_BW_ACTIVE) == ui::kChecked);
            return;
        case ui::kIdOk:
        case IDC_BW_APPLY: {
            if (!BackUpSelectedPort(app_, view, BufferedWritesValues)) return;
            PortEntry* e = app_.table.selected();
            if (e != nullptr) {
                ConfigBytes next = e->configData;
                SetOption(next, kOptBufferedWrites,
                          view.checkState(IDC_BW_ACTIVE) == ui::kChecked);
                if (e->changeConfigData(next) == ConfigDataChange::FromStandard)
                    view.messageBox(ConfigDataFromStandardText(*e), "Warning",
                                    kConfigDataFromStandardIcon);
                WriteBufferedWriteSettings(app_, view);
            }
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
