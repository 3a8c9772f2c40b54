// A message box compared whole (text, caption, icon and buttons) and printed
// readably when it differs: EXPECT_EQ(view.boxes[0], (Box{text, caption, icon, buttons})).
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "sim/FakeDialogView.h"

namespace varnok::sim {

inline bool operator==(const FakeDialogView::MessageBoxCall& a,
                       const FakeDialogView::MessageBoxCall& b) {
    return a.text == b.text && a.caption == b.caption && a.icon == b.icon &&
           a.buttons == b.buttons;
}

inline void PrintTo(const FakeDialogView::MessageBoxCall& b, std::ostream* os) {
    *os << "{\"" << b.text << "\", \"" << b.caption << "\", icon " << static_cast<int>(b.icon)
        << ", buttons " << static_cast<int>(b.buttons) << "}";
}

}  // namespace varnok::sim

namespace varnok::test {
using Box = sim::FakeDialogView::MessageBoxCall;

// One box for each text, all with the same caption, icon and buttons.
inline std::vector<Box> Boxes(const std::vector<std::string>& texts, const std::string& caption,
                              ui::Icon icon, ui::Buttons buttons = ui::Buttons::Ok) {
    std::vector<Box> out;
    for (const auto& t : texts) out.push_back({t, caption, icon, buttons});
    return out;
}
}  // namespace varnok::test
