// Reading a number typed into an edit box the way the C library's atoi does:
// leading white space, an optional sign, then decimal digits up to the first
// other character; no digits gives 0. Saturates instead of overflowing.
#pragma once
#include <string>

namespace varnok::cfg {

int ReadLeadingDecimal(const std::string& text);

}  // namespace varnok::cfg
