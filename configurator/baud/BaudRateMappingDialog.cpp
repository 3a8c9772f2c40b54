#include "configurator/baud/BaudRateMappingDialog.h"

#include <optional>

#include "configurator/app/DialogCommon.h"
#include "configurator/changes/ChangePlanners.h"
#include "configurator/baud/DivisorMath.h"
#include "configurator/settings/RegistrySettings.h"
#include "resources/ConfiguratorIds.h"

namespace varnok::cfg {

namespace {

struct Column {
    const char* title;
    int width;
};
const Column kColumns[] = {{"Virtual Baud", 80}, {"Generated Baud", 100}, {"Divisor", 100}};

}  // namespace

void BaudRateMappingDialog::onInit(ui::DialogView& view) {
    for (int c = 0; c < 3; ++c) {
        if (!view.listViewInsertColumn(IDC_BAUD_LIST, c, kColumns[c].title, kColumns[c].width,
                                       true))
            break;
    }
    for (int id : {IDC_BAUD_DESIRED, IDC_BAUD_CLOSEST, IDC_BAUD_ERROR}) view.setText(id, "");
    fillList(view);
}

void BaudRateMappingDialog::fillList(ui::DialogView& view) {
    const PortEntry* e = app_.table.selected();
    if (e == nullptr) return;
    for (int slot = 1; slot <= kSlotCount; ++slot)
        divisors_[static_cast<std::size_t>(slot - 1)] =
            DecodeDivisor(ReadSlotCode(e->configData, slot));
    for (int row = 0; row < kBaudRowCount; ++row) {
        if (view.listViewInsertRow(IDC_BAUD_LIST, row, RowLabel(row)) < 0) return;
        showRow(view, row);
    }
}

void BaudRateMappingDialog::showRow(ui::DialogView& view, int row) {
    const double divisor = rowDivisor(SlotOfRow(row));
    view.listViewSetCell(IDC_BAUD_LIST, row, 1, FormatClosestRate(divisor));
    view.listViewSetCell(IDC_BAUD_LIST, row, 2, FormatDivisor(divisor));
}

void BaudRateMappingDialog::rejectInput(ui::DialogView& view) {
    view.messageBox("Not Valid Input   ", "Warning", ui::Icon::Warning);
    view.setText(IDC_BAUD_DESIRED, "");
}

void BaudRateMappingDialog::generate(ui::DialogView& view) {
    const double desired = ParseDesiredRate(view.text(IDC_BAUD_DESIRED));
    view.selectAllText(IDC_BAUD_DESIRED);
    const std::optional<double> divisor = FindClosestDivisor(desired);
    if (!divisor) {
        rejectInput(view);
        return;
    }
    run_.pendingDivisor = *divisor;
    view.setText(IDC_BAUD_CLOSEST, FormatClosestRate(*divisor));
    view.setText(IDC_BAUD_ERROR, FormatDivisorError(desired, *divisor));
}

void BaudRateMappingDialog::add(ui::DialogView& view) {
    if (run_.pendingDivisor == 0.0) {
        rejectInput(view);
        return;
    }
    for (int row : view.listViewSelectedRows(IDC_BAUD_LIST)) {
        const int slot = SlotOfRow(row);
        if (slot == 0) continue;
        divisors_[static_cast<std::size_t>(slot - 1)] = run_.pendingDivisor;
        showRow(view, row);
    }
}

bool BaudRateMappingDialog::apply(ui::DialogView& view) {
    PortEntry* e = app_.table.selected();
    if (e == nullptr) return true;
    ConfigBytes next = e->configData;
    StoreRowDivisors(next, [&](int row) -> std::optional<double> {
        return rowDivisor(SlotOfRow(row));
    });
    ChangeConfigData(view, *e, next);
    // Written when read or set by the user and different from what was read
    // (nothing, for a value that was not read and is left as it was); a
    // failure is told and leaves the new table in memory only.
    const ChangeSet changes = PlanPortChanges(*e, nullptr, kFieldConfigData);
    const ApplyReport report = ApplyFromDialog(app_, view, changes);
    TakeWrittenAsRead(*e, changes, report);
    return report.backup.ok() || report.tried();
}

void BaudRateMappingDialog::loadTable(ui::DialogView& view, const ConfigBytes& table) {
    PortEntry* e = app_.table.selected();
    if (e == nullptr) return;
    CopyDivisorTable(e->configData, table);
    e->knownFields |= kFieldConfigData;
    view.listViewDeleteAll(IDC_BAUD_LIST);
    fillList(view);
}

void BaudRateMappingDialog::onCommand(ui::DialogView& view, int id, ui::Event) {
    switch (id) {
        case IDC_BAUD_GENERATE:
            generate(view);
            return;
        case IDC_BAUD_ADD:
            add(view);
            return;
        case IDC_BAUD_APPLY:
        case IDC_BAUD_OK:
            if (apply(view) && id == IDC_BAUD_OK) view.endDialog(1);
            return;
        case IDC_BAUD_CANCEL:
        case ui::kIdCancel:  // Esc
            view.endDialog(1);
            return;
        case IDC_BAUD_RESTORE_DEFAULTS:
            loadTable(view, kStandardDivisorTable);
            return;
        case IDC_BAUD_BRIVANE:
            loadTable(view, kBrivaneDivisorTable);
            return;
        default:
            return;
    }
}

}  // namespace varnok::cfg
