// The model's calls as the main dialog makes them: each problem shown on the
// given view the way the main dialog shows it, so that tests can keep
// asserting the messages a user sees.
#pragma once
#include "common/platform/RegistryValues.h"
#include "configurator/app/DialogCommon.h"
#include "configurator/app/MainDialog.h"
#include "configurator/changes/ChangePlanners.h"
#include "configurator/comnames/ComDb.h"
#include "configurator/discovery/AccessRights.h"
#include "configurator/discovery/Discovery.h"
#include "configurator/settings/IgnoreSerial.h"
#include "configurator/settings/RegistrySettings.h"
#include "resources/ConfiguratorIds.h"

namespace varnok::test {

template <class Call>
bool Shown(ui::DialogView& view, Call call) {
    cfg::Problems problems;
    const bool ok = call(problems);
    cfg::ShowProblems(view, problems);
    return ok;
}

inline bool EnablePrivilege(cfg::Configurator& app, ui::DialogView& view, const std::string& p,
                            bool enable) {
    return Shown(view, [&](cfg::Problems& s) { return cfg::EnablePrivilege(app, p, enable, s); });
}
inline bool GrantEnumeratorAccess(cfg::Configurator& app, ui::DialogView& view) {
    return Shown(view, [&](cfg::Problems& s) { return cfg::GrantEnumeratorAccess(app, s); });
}
inline bool GrantInstanceKeyAccess(cfg::Configurator& app, ui::DialogView& view) {
    return Shown(view, [&](cfg::Problems& s) { return cfg::GrantInstanceKeyAccess(app, s); });
}
inline bool ReadPortSettings(cfg::Configurator& app, ui::DialogView& view) {
    return Shown(view, [&](cfg::Problems& s) { return cfg::ReadPortSettings(app, s); });
}
// Enumeration as the main dialog follows it: "No active FTDI devices found"
// after a pass that left nothing to show.
inline bool EnumerateD2xxDevices(cfg::Configurator& app, ui::DialogView& view) {
    const bool ok =
        Shown(view, [&](cfg::Problems& s) { return cfg::EnumerateD2xxDevices(app, s); });
    if (ok) cfg::ReportNoDevices(app.table, view);
    return ok;
}
inline bool BuildTableFromRegistry(cfg::Configurator& app, ui::DialogView& view,
                                   reg::RegistryKey& key) {
    return Shown(view,
                 [&](cfg::Problems& s) { return cfg::BuildTableFromRegistry(app, key, s); });
}
// The ignore flag read into check box 1013 and applied from it.
inline void ReadIgnoreSerialFlag(cfg::Configurator& app, ui::DialogView& view) {
    view.setCheckState(IDC_IGNORE_SERIAL,
                       cfg::ReadIgnoreSerialFlag(app) ? ui::kChecked : ui::kUnchecked);
}
inline void ApplyIgnoreSerialFlag(cfg::Configurator& app, ui::DialogView& view) {
    (void)cfg::ApplyFromDialog(
        app, view,
        cfg::PlanIgnoreSerial(app, view.checkState(IDC_IGNORE_SERIAL) == ui::kChecked));
}
inline bool ReadComDb(cfg::Configurator& app, ui::DialogView& view, cfg::PortEntry& entry) {
    const Outcome read = cfg::ReadComDb(app, entry);
    cfg::ShowFailure(view, read);
    return read.ok();
}

}  // namespace varnok::test
