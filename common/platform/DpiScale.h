// Converting pixel sizes between screen resolutions (dots per inch). Every
// size the programs draw themselves is designed at 96 dpi, the resolution of
// 100 % display scaling, and converted for the window's resolution.
#pragma once
#include <cstdint>

namespace varnok::ui {

constexpr int kBaseDpi = 96;

// A resolution no screen has (zero, negative, absurdly large) counts as 96.
constexpr int SaneDpi(int dpi) { return dpi >= 24 && dpi <= 1920 ? dpi : kBaseDpi; }

// `value` at `fromDpi` expressed at `toDpi`, rounded to the nearest pixel
// (halves away from zero), so that 96 -> 144 -> 96 gives the value back.
constexpr int ConvertDpi(int value, int fromDpi, int toDpi) {
    const int64_t from = SaneDpi(fromDpi);
    const int64_t scaled = static_cast<int64_t>(value) * SaneDpi(toDpi);
    const int64_t half = from / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / from : -((-scaled + half) / from));
}

// A size designed at 96 dpi, for `dpi`.
constexpr int ScaleForDpi(int value, int dpi) { return ConvertDpi(value, kBaseDpi, dpi); }

// A control's rectangle: its edges are converted one by one, so controls
// that touch or line up at one resolution still do at another.
struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
};
constexpr Box ConvertBox(const Box& b, int fromDpi, int toDpi) {
    return {ConvertDpi(b.left, fromDpi, toDpi), ConvertDpi(b.top, fromDpi, toDpi),
            ConvertDpi(b.right, fromDpi, toDpi), ConvertDpi(b.bottom, fromDpi, toDpi)};
}

}  // namespace varnok::ui
