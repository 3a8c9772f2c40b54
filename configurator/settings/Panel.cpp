#include "configurator/settings/Panel.h"

#include <cstdio>

#include "configurator/baud/ConfigDataRecord.h"
#include "configurator/settings/RegistrySettings.h"
#include "resources/ConfiguratorIds.h"

namespace varnok::cfg {

namespace {

constexpr std::size_t kMaxNumberLength = 5;

struct NumberBox {
    int id;
    int32_t PortEntry::*field;
    uint32_t known;
    uint32_t low, high;
};

// In the order the panel is stored.
const NumberBox kNumberBoxes[] = {
    {IDC_MIN_READ_TIMEOUT, &PortEntry::minReadTimeout, kFieldMinReadTimeout, 0, 10000},
    {IDC_MIN_WRITE_TIMEOUT, &PortEntry::minWriteTimeout, kFieldMinWriteTimeout, 0, 10000},
    {IDC_POLLING_PERIOD, &PortEntry::pollingPeriod, kFieldPollingPeriod, 0, 255},
    {IDC_LATENCY, &PortEntry::latencyTimer, kFieldLatencyTimer, 1, 255},
};

struct OptionBox {
    int id;
    OptionBit bit;
};

const OptionBox kOptionBoxes[] = {
    {IDC_SERIAL_PRINTER, kOptSerialPrinter},
    {IDC_CANCEL_IF_POWER_OFF, kOptCancelIfPowerOff},
    {IDC_EVENT_ON_SURPRISE_REMOVAL, kOptEventOnSurpriseRemoval},
    {IDC_SET_RTS_ON_CLOSE, kOptSetRtsOnClose},
    {IDC_DISABLE_MODEM_CTRL, kOptDisableModemCtrl},
};

const int kLabels[] = {IDC_LABEL_MIN_READ, IDC_LABEL_MIN_WRITE, IDC_LABEL_POLLING,
                       IDC_LABEL_LATENCY};

std::string Decimal(int32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d", static_cast<int>(value));
    return buf;
}

int CheckOf(bool on) { return on ? ui::kChecked : ui::kUnchecked; }

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

struct Preset {
    int32_t minReadTimeout, minWriteTimeout, pollingPeriod, latencyTimer;
    bool eventOnSurpriseRemoval;
    enum class Enumerator { Off, On, Unchanged } serialEnumerator;
    const ConfigBytes* table;
};

void ApplyPreset(Configurator& app, ui::DialogView& view, const Preset& p) {
    PortEntry* e = app.table.selected();
    if (e == nullptr) return;

    const int32_t values[] = {p.minReadTimeout, p.minWriteTimeout, p.pollingPeriod,
                              p.latencyTimer};
    for (std::size_t i = 0; i < 4; ++i) {
        e->*kNumberBoxes[i].field = values[i];
        e->knownFields |= kNumberBoxes[i].known;
        view.setText(kNumberBoxes[i].id, Decimal(values[i]));
    }

    for (const auto& box : kOptionBoxes) {
        const bool on = box.id == IDC_EVENT_ON_SURPRISE_REMOVAL && p.eventOnSurpriseRemoval;
        SetOption(e->configData, box.bit, on);
        view.setCheckState(box.id, CheckOf(on));
    }

    if (p.serialEnumerator != Preset::Enumerator::Unchanged) {
        const bool on = p.serialEnumerator == Preset::Enumerator::On;
        e->upperFilters = on ? kSerenumOn : kSerenumOff;
        e->knownFields |= kFieldUpperFilters;
        view.setCheckState(IDC_SERIAL_ENUMERATOR, CheckOf(on));
    }

    CopyDivisorTable(e->configData, *p.table);
    e->knownFields |= kFieldConfigData;
}

}  // namespace

std::optional<uint32_t> ParsePanelNumber(const std::string& text) {
    if (text.size() > kMaxNumberLength) return std::nullopt;
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint32_t value = 0;  // at most five digits: no overflow
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10 + static_cast<uint32_t>(text[i] - '0');
    return negative ? 0u - value : value;
}

bool PanelValueInRange(int boxId, uint32_t value) {
    for (const auto& box : kNumberBoxes)
        if (box.id == boxId) return value >= box.low && value <= box.high;
    return false;
}

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

    for (const auto& box : kNumberBoxes) view.setText(box.id, Decimal(e->*box.field));
    for (const auto& box : kOptionBoxes)
        view.setCheckState(box.id, CheckOf(HasOption(e->configData, box.bit)));
    view.setCheckState(IDC_SERIAL_ENUMERATOR, CheckOf(e->serialEnumeratorOn()));
}

void StorePortSettings(Configurator& app, ui::DialogView& view) {
    PortEntry* e = app.table.selected();
    if (e == nullptr) return;

    // A field counts as set by the user only when the panel changes it, so a
    // value the registry could not give is not written back from what the
    // panel merely showed.
    //
    // The filter list changes only when the box's state differs from the
    // state the record shows: another driver's list (the box shows it as
    // off) survives a store with the box left as it was.
    const bool enumerator = view.checkState(IDC_SERIAL_ENUMERATOR) == ui::kChecked;
    if (enumerator != e->serialEnumeratorOn()) {
        e->upperFilters = enumerator ? kSerenumOn : kSerenumOff;
        e->knownFields |= kFieldUpperFilters;
    }

    ConfigBytes options = e->configData;
    for (const auto& box : kOptionBoxes)
        SetOption(options, box.bit, view.checkState(box.id) == ui::kChecked);
    if (e->changeConfigData(options) == ConfigDataChange::FromStandard)
        PlacedMessage(app, ConfigDataFromStandardText(*e), "Warning",
                      kConfigDataFromStandardIcon);

    for (const auto& box : kNumberBoxes) {
        const std::optional<uint32_t> value = ParsePanelNumber(view.text(box.id));
        if (value && PanelValueInRange(box.id, *value)) {
            const auto v = static_cast<int32_t>(*value);
            if (e->*box.field != v) {
                e->*box.field = v;
                e->knownFields |= box.known;
            }
        } else {
            view.setText(box.id, Decimal(e->*box.field));
        }
    }
}

void ApplyVarnokPreset(Configurator& app, ui::DialogView& view) {
    ApplyPreset(app, view, {0, 0, 0, 2, true, Preset::Enumerator::Off, &kStandardDivisorTable});
}

void ApplyBrivanePreset(Configurator& app, ui::DialogView& view) {
    ApplyPreset(app, view,
                {0, 0, 0, 2, true, Preset::Enumerator::Unchanged, &kBrivaneDivisorTable});
}

void ApplyDefaultSettings(Configurator& app, ui::DialogView& view) {
    ApplyPreset(app, view, {0, 0, 0, 16, false, Preset::Enumerator::On, &kStandardDivisorTable});
}

}  // namespace varnok::cfg
