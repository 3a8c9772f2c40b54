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
#include "cli/ConfigCommands.h"
#include "cli/ModesCommands.h"
#include "cli/Watch.h"
#include "cli/win32/ConsoleStop.h"
#include "cli/win32/RealConfigSeams.h"
#include "cli/win32/Service.h"
#include "common/win32/D2xxLibrary.h"
#include "common/win32/FileNames.h"
#include "common/win32/Handles.h"
#include "common/win32/RealDevices.h"
#include "common/win32/Win32FileStore.h"
#include "common/win32/Win32Registry.h"
#include "modetool/Engine.h"
#include "modetool/ModeTool.h"

namespace {

using namespace varnok;

std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    int count = 0;
    const win32::unique_local_ptr<LPWSTR*> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!argv) return args;
    for (int i = 1; i < count; ++i) args.push_back(win32::Utf8FromWide(argv.get()[i]));
    return args;
}

// Ctrl-C, Ctrl-Break and closing the console let the exchanges under way
// end (status 130).
int RunModes(const cli::Command& command) {
    cli::ConsoleStop console;
    win32::OnRealDevices<mode::ModeTool> tool;
    mode::ThreadExecutor executor;
    const cli::ExitStatus status =
        cli::RunModesCommand(command, tool.state, executor, std::cout, std::cerr, console.flag());
    console.finished();
    return cli::ToInt(status);
}

// The configurator's backup folder, which the commands share with it.
std::wstring BackupFolder() {
    return win32::Win32FileStore::LocalAppDataFolder(L"Varnok Plus\\Backups");
}

// The configuration commands on the real registry, D2XX library and COM
// ports; backups go to the same folder the configurator uses.
int RunConfig(const cli::Command& command) {
    cli::RealConfigSeams real(BackupFolder());
    real.seams().input = &std::cin;
    return cli::ToInt(cli::RunConfigCommand(command, real.seams(), std::cout, std::cerr));
}

// The watch on the real seams until Ctrl-C, Ctrl-Break or the console
// closes (status 130); each event's line is flushed at once.
int RunWatchCommand(const cli::Command& command, const cli::WatchCommand& watch) {
    cli::ConsoleStop console;
    cli::RealConfigSeams real(BackupFolder());
    cli::ConfigSeams& seams = real.seams();
    if (!seams.d2xxAvailable)
        std::cerr << cli::ErrorLine("warning: " + d2xx::LibraryMissingText(seams.d2xxLoadError) +
                                    " New ports are written but not restarted.");
    const cli::WatchOutput output{
        [](const std::string& line) { std::cout << line << std::endl; },
        [](const std::string& line) { std::cerr << line << std::endl; }};
    const cli::ExitStatus status =
        cli::RunWatch(command, watch.profile, seams, output, console.flag());
    console.finished();
    return cli::ToInt(status);
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
    if (std::holds_alternative<cli::ModesListCommand>(command.action) ||
        std::holds_alternative<cli::ModesSetCommand>(command.action)) {
        status = RunModes(command);
    } else if (const auto* watch = std::get_if<cli::WatchCommand>(&command.action)) {
        status = RunWatchCommand(command, *watch);
    } else if (const auto* service = std::get_if<cli::ServiceCommand>(&command.action)) {
        status = cli::RunServiceCommand(command, *service);
    } else {
        status = RunConfig(command);
    }
    std::cout.flush();
    return status;
}
