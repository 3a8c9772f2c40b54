#include "configurator/settings/Panel.h"

#include "common/platform/Parse.h"

namespace varnok::cfg {

const std::array<PanelNumber, 4> kPanelNumbers = {{
    {"minReadTimeout", &PortEntry::minReadTimeout, kFieldMinReadTimeout, 0, 10000},
    {"minWriteTimeout", &PortEntry::minWriteTimeout, kFieldMinWriteTimeout, 0, 10000},
    {"pollingPeriod", &PortEntry::pollingPeriod, kFieldPollingPeriod, 0, 255},
    {"latencyTimer", &PortEntry::latencyTimer, kFieldLatencyTimer, 1, 255},
}};

const std::array<PanelOption, 5> kPanelOptions = {{
    {"serialPrinter", kOptSerialPrinter},
    {"cancelIfPowerOff", kOptCancelIfPowerOff},
    {"eventOnSurpriseRemoval", kOptEventOnSurpriseRemoval},
    {"setRtsOnClose", kOptSetRtsOnClose},
    {"disableModemCtrlAtStartup", kOptDisableModemCtrl},
}};

const char* const kSerialEnumeratorSetting = "serialEnumerator";

const PanelNumber* PanelNumberNamed(const std::string& name) {
    for (const auto& box : kPanelNumbers)
        if (name == box.name) return &box;
    return nullptr;
}

const PanelOption* PanelOptionNamed(const std::string& name) {
    for (const auto& box : kPanelOptions)
        if (name == box.name) return &box;
    return nullptr;
}

bool IsSerialEnumeratorSetting(const std::string& name) { return name == kSerialEnumeratorSetting; }

namespace {

constexpr std::size_t kMaxNumberLength = 5;

struct PresetValues {
    int32_t numbers[4];  // in kPanelNumbers order
    bool eventOnSurpriseRemoval;
    bool serialEnumerator;
    const ConfigBytes* table;
};

PresetValues ValuesOf(Preset p) {
    switch (p) {
        case Preset::Varnok: return {{0, 0, 0, 2}, true, false, &kStandardDivisorTable};
        case Preset::Brivane: return {{0, 0, 0, 2}, true, false, &kBrivaneDivisorTable};
        case Preset::Default: break;
    }
    return {{0, 0, 0, 16}, false, true, &kStandardDivisorTable};
}

}  // namespace

std::optional<uint32_t> ParsePanelNumber(const std::string& text) {
    if (text.size() > kMaxNumberLength) return std::nullopt;
    return parse::LeadingUnsigned(text);
}

bool TakePanelNumber(PortEntry& e, const PanelNumber& box, const std::string& text) {
    const std::optional<uint32_t> value = ParsePanelNumber(text);
    if (!value || *value < box.low || *value > box.high) return false;
    const auto v = static_cast<int32_t>(*value);
    if (e.*box.field != v) {
        e.*box.field = v;
        e.knownFields |= box.known;
    }
    return true;
}

void TakeSerialEnumerator(PortEntry& e, bool on) {
    if (on == e.serialEnumeratorOn()) return;
    e.upperFilters = on ? kSerenumOn : kSerenumOff;
    e.knownFields |= kFieldUpperFilters;
}

bool PresetSetsSerialEnumerator(Preset preset) { return preset != Preset::Brivane; }

void ApplyPreset(PortEntry& e, Preset preset) {
    const PresetValues p = ValuesOf(preset);
    for (std::size_t i = 0; i < kPanelNumbers.size(); ++i) {
        e.*kPanelNumbers[i].field = p.numbers[i];
        e.knownFields |= kPanelNumbers[i].known;
    }
    for (const auto& box : kPanelOptions)
        SetOption(e.configData, box.bit,
                  &box == PanelOptionNamed("eventOnSurpriseRemoval") && p.eventOnSurpriseRemoval);
    if (PresetSetsSerialEnumerator(preset)) {
        e.upperFilters = p.serialEnumerator ? kSerenumOn : kSerenumOff;
        e.knownFields |= kFieldUpperFilters;
    }
    CopyDivisorTable(e.configData, *p.table);
    e.knownFields |= kFieldConfigData;
}

}  // namespace varnok::cfg
