// Stored values that the user did not change survive every door of the main
// dialog: another driver's short UpperFilters list, and a ConfigData value
// that could not be read (missing, or not 64 bytes long).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "configurator/baud/ConfigDataRecord.h"
#include "configurator/settings/RegistrySettings.h"
#include "tests/unit/FtdiFixture.h"

using namespace varnok;
using namespace varnok::cfg;
using namespace varnok::test;
using sim::FakeDialogView;

namespace {

const std::string kInst = FtdiFixture::InstancePath(kId232R, "A1B2C3D4A");
const std::string kParams = FtdiFixture::ParamsPath(kId232R, "A1B2C3D4A");

// One attached COM5 port, the main dialog started and the port selected.
struct Installed {
    FtdiFixture f;
    explicit Installed(const std::function<void(sim::MemRegistry&)>& seed) {
        f.singlePort("A1B2C3D4", 5, 0x21);
        seed(f.registry);
        f.startDialog();
        f.view.boxes.clear();
        f.view.selectRow(IDC_PORT_LIST, 0);
    }
    const sim::MemValue* stored(const std::string& key, const char* name) {
        return f.registry.value(key, name);
    }
};

void RemoveValue(sim::MemRegistry& r, const std::string& path, const char* name) {
    std::unique_ptr<reg::RegistryKey> key;
    ASSERT_EQ(r.openKey(path, reg::kKeyAllAccess, &key), reg::kSuccess);
    key->deleteValue(name);
}

std::vector<uint8_t> Bytes(const ConfigBytes& b) { return {b.begin(), b.end()}; }

int Count(const std::vector<FakeDialogView::MessageBoxCall>& boxes, const std::string& text) {
    return static_cast<int>(std::count_if(boxes.begin(), boxes.end(),
                                          [&](const auto& b) { return b.text == text; }));
}

}  // namespace

TEST(StoredValues, ForeignFilterListChangesOnlyWithTheSerialEnumeratorBox) {
    struct Case {
        const char* what;
        std::vector<uint8_t> list;
        bool tick;                      // the user ticks "Serial Enumerator"
        std::vector<uint8_t> expected;  // empty: the value is deleted
    };
    const std::vector<uint8_t> vfilter = {'v', 'f', 'i', 'l', 't', 'e', 'r', 0, 0};
    const std::vector<uint8_t> sixteen = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h',
                                          'i', 'j', 'k', 'l', 'm', 'n', 0,   0};
    const std::vector<uint8_t> serenum(kSerenumOn.begin(), kSerenumOn.end());
    const Case cases[] = {
        {"vfilter, box left alone", vfilter, false, vfilter},
        {"16-byte list, box left alone", sixteen, false, sixteen},
        {"vfilter, box ticked", vfilter, true, serenum},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Installed p([&](sim::MemRegistry& r) {
            r.setRaw(kInst, "UpperFilters", reg::kMultiSz, c.list);
        });
        EXPECT_EQ(p.f.view.checkState(IDC_SERIAL_ENUMERATOR), ui::kUnchecked);
        if (c.tick) p.f.view.setCheckState(IDC_SERIAL_ENUMERATOR, ui::kChecked);
        p.f.view.click(IDC_APPLY);
        const sim::MemValue* v = p.stored(kInst, "UpperFilters");
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->data, c.expected);
    }
}

// Every door with nothing changed leaves an unread ConfigData as it was; a
// change of part of it starts from the standard image and says so once.
TEST(StoredValues, UnreadConfigDataIsNeverZeroedAndChangesStartFromTheStandardImage) {
    struct Stored {
        const char* what;
        std::function<void(sim::MemRegistry&)> seed;
    };
    const std::vector<uint8_t> shortValue(20, 0x55);
    const Stored storedForms[] = {
        {"missing", [](sim::MemRegistry& r) { RemoveValue(r, kParams, "ConfigData"); }},
        {"20 bytes", [&](sim::MemRegistry& r) { r.setBinary(kParams, "ConfigData", shortValue); }},
    };

    ConfigBytes printer = kStandardDivisorTable;
    SetOption(printer, kOptSerialPrinter, true);
    ConfigBytes buffered = kStandardDivisorTable;
    SetOption(buffered, kOptBufferedWrites, true);
    ConfigBytes alias = kStandardDivisorTable;
    WriteSlotCode(alias, 13, 1);  // "921600" runs at 2,000,000 baud

    struct Door {
        const char* what;
        std::function<void(FtdiFixture&, std::vector<FakeDialogView::MessageBoxCall>&)> walk;
        const ConfigBytes* written;  // null: nothing written
    };
    auto bufferedWrites = [](bool tick) {
        return [tick](FtdiFixture& f, std::vector<FakeDialogView::MessageBoxCall>& boxes) {
            f.view.modalScripts[IDD_BUFFERED_WRITES] = [&, tick](FakeDialogView& v,
                                                                 ui::DialogLogic&) {
                EXPECT_EQ(v.checkState(IDC_BW_ACTIVE), ui::kUnchecked);
                if (tick) v.setCheckState(IDC_BW_ACTIVE, ui::kChecked);
                v.click(ui::kIdOk);
                boxes.insert(boxes.end(), v.boxes.begin(), v.boxes.end());
            };
            f.view.click(IDC_BUFFERED_WRITES);
        };
    };
    auto baudMapping = [](bool add) {
        return [add](FtdiFixture& f, std::vector<FakeDialogView::MessageBoxCall>& boxes) {
            f.view.modalScripts[IDD_BAUD_MAPPING] = [&, add](FakeDialogView& v, ui::DialogLogic&) {
                // The standard table, not fifteen rows of 3000000.
                EXPECT_EQ(v.listViewCell(IDC_BAUD_LIST, 0, 1), "300");
                EXPECT_EQ(v.listViewCell(IDC_BAUD_LIST, 9, 1), "115385");
                EXPECT_EQ(v.listViewCell(IDC_BAUD_LIST, 13, 2), "208.250");
                if (add) {
                    v.type(IDC_BAUD_DESIRED, "2000000");
                    v.click(IDC_BAUD_GENERATE);
                    v.selectRows(IDC_BAUD_LIST, {12});
                    v.click(IDC_BAUD_ADD);
                }
                v.click(IDC_BAUD_OK);
                boxes.insert(boxes.end(), v.boxes.begin(), v.boxes.end());
            };
            f.view.click(IDC_BAUD_MAPPINGS);
        };
    };
    auto panel = [](bool tick) {
        return [tick](FtdiFixture& f, std::vector<FakeDialogView::MessageBoxCall>&) {
            EXPECT_EQ(f.view.checkState(IDC_SERIAL_PRINTER), ui::kUnchecked);
            if (tick) f.view.setCheckState(IDC_SERIAL_PRINTER, ui::kChecked);
            f.view.click(IDC_APPLY);
        };
    };
    const Door doors[] = {
        {"Buffered Writes OK", bufferedWrites(false), nullptr},
        {"Baud Rate Mapping OK", baudMapping(false), nullptr},
        {"Apply", panel(false), nullptr},
        {"Buffered Writes ticked, OK", bufferedWrites(true), &buffered},
        {"Baud Rate Mapping alias added, OK", baudMapping(true), &alias},
        {"Serial Printer ticked, Apply", panel(true), &printer},
    };

    for (const Stored& s : storedForms) {
        for (const Door& d : doors) {
            SCOPED_TRACE(std::string(s.what) + " / " + d.what);
            Installed p(s.seed);
            const sim::MemValue* before = p.stored(kParams, "ConfigData");
            const std::vector<uint8_t> original = before ? before->data : std::vector<uint8_t>{};
            std::vector<FakeDialogView::MessageBoxCall> subBoxes;
            d.walk(p.f, subBoxes);
            const std::string notice = ConfigDataFromStandardText(p.f.app.table.entries[0]);
            const sim::MemValue* after = p.stored(kParams, "ConfigData");
            int notices = Count(subBoxes, notice) + Count(p.f.view.boxes, notice);
            if (d.written == nullptr) {
                EXPECT_EQ(after != nullptr, before != nullptr);
                if (after != nullptr) {
                    EXPECT_EQ(after->data, original);
                }
                EXPECT_EQ(notices, 0);
                EXPECT_FALSE(p.f.registry.hasValue(kParams, "WriteBufferSize"));
            } else {
                ASSERT_NE(after, nullptr);
                EXPECT_EQ(after->data, Bytes(*d.written));
                EXPECT_EQ(notices, 1);
                // Told once: the port's ConfigData is whole from now on.
                p.f.view.click(IDC_APPLY);
                notices = Count(subBoxes, notice) + Count(p.f.view.boxes, notice);
                EXPECT_EQ(notices, 1);
                EXPECT_EQ(p.f.registry.value(kParams, "ConfigData")->data, Bytes(*d.written));
            }
        }
    }
}
