#include "configurator/backup/BackupBeforeWrite.h"

namespace varnok::cfg {

Outcome BackUpValues(Configurator& app, const std::vector<backup::ValueRef>& values) {
    if (app.backup == nullptr) return {};
    std::string problem;
    if (app.backup->save(values, &problem)) return {};
    return Outcome::Fail(0, problem);
}

}  // namespace varnok::cfg
