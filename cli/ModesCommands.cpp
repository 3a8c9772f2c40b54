#include "cli/ModesCommands.h"

namespace varnok::cli {

ExitStatus RunModesCommand(const Command&, mode::ModeTool&, mode::Executor&, std::ostream&,
                           std::ostream& err) {
    err << ErrorLine("the modes commands are not available in this build");
    return ExitStatus::Failed;
}

}  // namespace varnok::cli
