// The Buffered Writes dialog (resource 107) for the selected port.
#pragma once
#include "common/platform/DialogView.h"
#include "configurator/app/Configurator.h"
#include "configurator/settings/BufferedWrites.h"

namespace varnok::cfg {

class BufferedWritesDialog : public ui::DialogLogic {
public:
    explicit BufferedWritesDialog(Configurator& app) : app_(app) {}
    void onInit(ui::DialogView& view) override;
    void onCommand(ui::DialogView& view, int id, ui::Event event) override;

private:
    // False when the user chose not to write without a backup.
    bool write(ui::DialogView& view, PortEntry& entry);

    Configurator& app_;
};

}  // namespace varnok::cfg
