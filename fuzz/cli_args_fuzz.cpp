// Fuzz target: varnokctl's command line. The input is split at NUL bytes
// into arguments; the first byte picks Windows or Linux. Every input ends in
// a command or in a message and a documented exit status.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/CommandLine.h"

using namespace varnok::cli;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const Platform platform = (data[0] & 1) ? Platform::Linux : Platform::Windows;
    std::vector<std::string> args(1);
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == 0) args.emplace_back();
        else args.back() += static_cast<char>(data[i]);
    }
    const ParseResult r = ParseCommandLine(args, platform);
    switch (r.status) {
    case ExitStatus::Done:
        if (!r.command && r.out.empty()) std::abort();  // help printed, or a command
        break;
    case ExitStatus::Usage:
    case ExitStatus::Refused:
        if (r.command || r.err.empty()) std::abort();
        break;
    default: std::abort();  // parsing never finds or fails anything
    }
    return 0;
}
