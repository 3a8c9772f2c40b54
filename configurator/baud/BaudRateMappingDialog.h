// The Baud Rate Mapping dialog (resource 105) for the selected port.
#pragma once
#include <array>

#include "common/platform/DialogView.h"
#include "configurator/app/Configurator.h"
#include "configurator/app/DialogCommon.h"
#include "configurator/baud/ConfigDataRecord.h"

namespace varnok::cfg {

class BaudRateMappingDialog : public ui::DialogLogic {
public:
    BaudRateMappingDialog(Configurator& app, DialogRunState& run) : app_(app), run_(run) {}
    void onInit(ui::DialogView& view) override;
    void onCommand(ui::DialogView& view, int id, ui::Event event) override;

    // Effective divisor the list holds for alias slot 1..15.
    double rowDivisor(int slot) const { return divisors_[static_cast<std::size_t>(slot - 1)]; }

private:
    void fillList(ui::DialogView& view);
    void showRow(ui::DialogView& view, int row);
    void generate(ui::DialogView& view);
    void add(ui::DialogView& view);
    // False when the user chose not to write without a backup.
    bool apply(ui::DialogView& view);
    void loadTable(ui::DialogView& view, const ConfigBytes& table);
    void rejectInput(ui::DialogView& view);

    Configurator& app_;
    DialogRunState& run_;
    // Row divisors of slots 1..15, rebuilt from the port's ConfigData at every
    // opening and after a built-in table is loaded. The generated rate of a
    // row is always 3,000,000 / its divisor, so it is computed when shown.
    std::array<double, kSlotCount> divisors_{};
};

}  // namespace varnok::cfg
