// Entry point of varnokctl.exe: the command line as UTF-8 (from the wide
// one, so file names outside the code page survive), the real seams, and
// the command's runner. Output is UTF-8.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/ModesCommands.h"
#include "common/win32/D2xxLibrary.h"
#include "common/win32/FileNames.h"
#include "common/win32/SystemClock.h"
#include "common/win32/Win32D2xx.h"
#include "common/win32/Win32Serial.h"
#include "modetool/Engine.h"
#include "modetool/ModeTool.h"

namespace {

using namespace varnok;

std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr) return args;
    for (int i = 1; i < count; ++i) args.push_back(win32::Utf8FromWide(argv[i]));
    LocalFree(argv);
    return args;
}

bool IsModesCommand(const cli::Action& action) {
    return std::holds_alternative<cli::ModesListCommand>(action) ||
           std::holds_alternative<cli::ModesSetCommand>(action);
}

int RunModes(const cli::Command& command) {
    win32::Win32D2xx d2xx;
    win32::Win32SerialPorts serialPorts;
    win32::SystemClock clock;
    mode::ModeTool tool(d2xx, serialPorts, clock);
    tool.d2xxAvailable = d2xx.loaded();
    tool.d2xxLoadError = d2xx.loadError();
    mode::ThreadExecutor executor;
    return cli::ToInt(cli::RunModesCommand(command, tool, executor, std::cout, std::cerr));
}

}  // namespace

int main() {
    // Before anything can load a library: the system folder only.
    win32::RestrictLibrarySearchToSystem();
    SetConsoleOutputCP(CP_UTF8);

    const cli::ParseResult parsed = cli::ParseCommandLine(Arguments());
    std::fputs(parsed.out.c_str(), stdout);
    std::fputs(parsed.err.c_str(), stderr);
    if (!parsed.command) return cli::ToInt(parsed.status);

    const cli::Command& command = *parsed.command;
    int status = 0;
    if (IsModesCommand(command.action)) {
        status = RunModes(command);
    } else {
        std::cerr << cli::ErrorLine("this command is not available in this build");
        status = cli::ToInt(cli::ExitStatus::Failed);
    }
    std::cout.flush();
    return status;
}
