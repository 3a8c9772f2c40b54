// What went wrong during an operation of the model, in the words the user
// reads, in the order it happened. The model never shows anything; a front
// end shows each problem (the main dialog as a message box captioned
// "ERROR", with the warning icon for a warning and none otherwise).
#pragma once
#include <string>
#include <vector>

namespace varnok::cfg {

struct Problem {
    std::string text;
    bool warning = false;
};
using Problems = std::vector<Problem>;

}  // namespace varnok::cfg
