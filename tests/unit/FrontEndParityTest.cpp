// The dialogs and varnokctl write through the same change set: each kind of
// change, made once through the configurator's dialogs and once through
// varnokctl on the same installation, leaves the same registry values and
// the same backup.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "FtdiFixture.h"
#include "cli/CommandLine.h"
#include "cli/ConfigCommands.h"
#include "configurator/backup/BackupJournal.h"
#include "sim/MemFileStore.h"

using namespace varnok;
using sim::FakeDialogView;

namespace {

// Two attached ports (COM5 first in the list), one unplugged, the flag key
// and the COM name database.
struct Site {
    test::FtdiFixture f;
    sim::MemFileStore backups;
    sim::FixedLocalTime time;
    cfg::backup::BackupJournal journal{f.registry, backups, time};

    Site() {
        f.threePortSite();
    }

    void dialog(const std::function<void(FakeDialogView&)>& steps) {
        f.app.backup = &journal;
        f.startDialog();
        f.view.selectRow(IDC_PORT_LIST, 0);
        steps(f.view);
    }
    cli::ExitStatus varnokctl(const std::vector<std::string>& args, std::string* err) {
        const cli::ParseResult parsed = cli::ParseCommandLine(args, cli::Platform::Windows);
        if (!parsed.command) return parsed.status;
        cli::ConfigSeams seams(f.registry, f.d2xx, f.serialPorts, f.clock);
        seams.backupFolder = &backups;
        seams.localTime = &time;
        std::ostringstream out, e;
        const cli::ExitStatus status = cli::RunConfigCommand(*parsed.command, seams, out, e);
        *err = e.str();
        return status;
    }

    // Every value of the tree, one line each.
    std::string values() const {
        std::string out;
        std::function<void(const sim::MemRegistry::Node&, const std::string&)> walk =
            [&](const sim::MemRegistry::Node& n, const std::string& path) {
                for (const auto& [name, v] : n.values) {
                    out += path + "|" + name + " " + std::to_string(v.type) + ":";
                    for (uint8_t b : v.data) out += " " + std::to_string(b);
                    out += "\n";
                }
                for (const auto& [name, kid] : n.kids) walk(*kid, path + "\\" + kid->name);
            };
        walk(*f.registry.node("SYSTEM"), "SYSTEM");
        return out;
    }
    std::string backup() const {
        return backups.files.empty() ? std::string() : backups.files.begin()->second;
    }
};

// Runs a sub-dialog from main-dialog button `button`, doing `steps` in it.
void InSubDialog(FakeDialogView& main, int button, int resource,
                 std::function<void(FakeDialogView&, ui::DialogLogic&)> steps) {
    main.modalScripts[resource] = std::move(steps);
    main.click(button);
}

void Press(FakeDialogView& v, ui::DialogLogic& logic, int id) {
    logic.onCommand(v, id, ui::Event::Clicked);
}

std::string FileOf(const std::string& name, const std::vector<uint8_t>& bytes) {
    const auto path = std::filesystem::temp_directory_path() / ("varnok_parity_" + name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

TEST(FrontEndParity, EachKindOfChangeWritesTheSameValuesAndBackup) {
    std::vector<uint8_t> file(84, 0);
    file[64] = 9;  // min read time-out
    file[66] = 1;  // latency timer
    for (std::size_t i = 0; i < 8; ++i) file[67 + i] = "serenum\0evil"[i];
    const std::string loaded = FileOf("load.dat", file);

    struct Kind {
        const char* what;
        std::function<void(FakeDialogView&)> dialog;
        std::vector<std::string> varnokctl;
    };
    const Kind kinds[] = {
        {"latency timer of 1",
         [](FakeDialogView& v) {
             v.setText(IDC_LATENCY, "1");
             v.click(IDC_APPLY);
         },
         {"set", "COM5", "latency-timer=1"}},
        {"serial enumerator and an option",
         [](FakeDialogView& v) {
             v.setCheckState(IDC_SERIAL_ENUMERATOR, ui::kUnchecked);
             v.setCheckState(IDC_SERIAL_PRINTER, ui::kChecked);
             v.click(IDC_APPLY);
         },
         {"set", "COM5", "serial-enumerator=off", "serial-printer=on"}},
        {"preset",
         [](FakeDialogView& v) {
             v.click(IDC_OPTIMIZE_BRIVANE);
             v.click(IDC_APPLY);
         },
         {"set", "COM5", "preset=brivane"}},
        {"buffered writes",
         [](FakeDialogView& v) {
             InSubDialog(v, IDC_BUFFERED_WRITES, IDD_BUFFERED_WRITES,
                         [](FakeDialogView& s, ui::DialogLogic& logic) {
                             s.setCheckState(IDC_BW_ACTIVE, ui::kChecked);
                             s.setText(IDC_BW_SIZE, "2048");
                             Press(s, logic, ui::kIdOk);
                         });
         },
         {"buffered", "COM5", "on", "size=2048"}},
        {"baud alias",
         [](FakeDialogView& v) {
             InSubDialog(v, IDC_BAUD_MAPPINGS, IDD_BAUD_MAPPING,
                         [](FakeDialogView& s, ui::DialogLogic& logic) {
                             s.setText(IDC_BAUD_DESIRED, "2000000");
                             Press(s, logic, IDC_BAUD_GENERATE);
                             s.selectRows(IDC_BAUD_LIST, {12});
                             Press(s, logic, IDC_BAUD_ADD);
                             Press(s, logic, IDC_BAUD_OK);
                         });
         },
         {"alias", "COM5", "921600=2000000"}},
        {"rename",
         [](FakeDialogView& v) {
             InSubDialog(v, IDC_RENAME_COM_PORT, IDD_COM_ASSIGNMENT,
                         [](FakeDialogView& s, ui::DialogLogic& logic) {
                             s.type(IDC_CA_NUMBER, "9");
                             Press(s, logic, ui::kIdOk);
                         });
         },
         {"rename", "COM5", "COM9"}},
        {"ignore serial number",
         [](FakeDialogView& v) {
             v.setCheckState(IDC_IGNORE_SERIAL, ui::kChecked);
             v.click(IDC_APPLY);
         },
         {"ignore-serial", "on"}},
        {"loaded file",
         [&](FakeDialogView& v) {
             v.openAnswers.push_back(loaded);
             v.click(IDM_LOAD_CONFIG);
             v.click(IDC_APPLY);
         },
         {"load", "COM5", loaded}},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.what);
        Site byDialog, byCli;
        const std::string before = byDialog.values();
        byDialog.dialog(kind.dialog);
        EXPECT_TRUE(byDialog.f.view.boxes.empty()) << byDialog.f.view.boxes[0].text;
        std::string err;
        EXPECT_EQ(byCli.varnokctl(kind.varnokctl, &err), cli::ExitStatus::Done) << err;
        EXPECT_NE(byDialog.values(), before);
        EXPECT_EQ(byDialog.values(), byCli.values());
        EXPECT_FALSE(byDialog.backup().empty());
        EXPECT_EQ(byDialog.backup(), byCli.backup());
    }
    std::filesystem::remove(loaded);
}

}  // namespace
