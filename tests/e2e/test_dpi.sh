#!/bin/bash
# The programs at 150 % and 200 % display scaling (144 and 192 dpi, the
# prefix's LogPixels): every dialog of the user guide again, saved into
# $E2E_SCREENSHOTS/guide-<dpi>/, with rows, list view columns and the
# pictures grown with the dialogs; and a window that moves to a screen of
# another resolution (WM_DPICHANGED) laid out again for it.
source "$(dirname "${BASH_SOURCE[0]}")/test_guide_screenshots.sh"

# Pixels of the pictures' blue in a dialog drawn at GUIDE_DPI against the
# same dialog at 96 dpi (docs/images): the flat areas grow with the picture's
# area, give or take the smoothed edges.
expect_picture_scaled() {  # name area-factor-numerator area-factor-denominator
    local now then
    now=$(e2e_pixels "$GUIDE/$1.png" "#1F4E8C")
    then=$(e2e_pixels "$E2E_ROOT/docs/images/$1.png" "#1F4E8C")
    (( then > 100 )) || fail "$1.png at 96 dpi shows no picture"
    local want=$(( then * $2 / $3 ))
    (( now * 4 >= want * 3 && now * 4 <= want * 5 )) ||
        fail "$1.png: $now picture pixels at $GUIDE_DPI dpi, $then at 96 dpi (expected about $want)"
}

case_about_picture() {
    start_configurator
    ok "menu 40001"
    ok "wait-window About 5000"
    guide_shot configurator-about
    expect_picture_scaled configurator-about $(( GUIDE_DPI * GUIDE_DPI )) $(( 96 * 96 ))
}

# The panels cover their lists (141 x 244 pixels at 96 dpi), which grow
# with the tool's bitmap font in steps.
case_panels_picture() {
    case_modetool_panels
    ok "ctl-size 1001"
    local w h
    read -r w h <<<"$V"
    (( w > 141 && h > 244 )) || fail "the device list is ${w}x${h} at $GUIDE_DPI dpi"
    expect_picture_scaled modetool-busy-panels $(( w * h )) $(( 141 * 244 ))
}

# At 96 dpi the main dialog hears that it now is on a 144-dpi screen: the
# window takes the suggested size, controls, rows and columns follow.
case_moved_to_other_screen() {
    start_configurator
    ok "list-select 1006 1"  # COM3; the FT230X without a name comes first
    ok "ctl-size 1003"
    local w96 h96
    read -r w96 h96 <<<"$V"
    ok "dpi-changed 144"
    ok "ctl-size 1003"
    local w h
    read -r w h <<<"$V"
    (( w == (w96 * 3 + 1) / 2 && h == (h96 * 3 + 1) / 2 )) ||
        fail "Apply is ${w}x${h} at 144 dpi, ${w96}x${h96} at 96 dpi"
    expect "list-item-height 1006" 24
    guide_shot configurator-main-moved-144
    ok "dpi-changed 96"
    expect "ctl-size 1003" "$w96 $h96"
    expect "list-item-height 1006" 16
    expect "get-text 1001" 16
}

e2e_begin
for GUIDE_DPI in 144 192; do
    GUIDE=$E2E_SCREENSHOTS/guide-$GUIDE_DPI
    rm -f "$GUIDE"/*.png
    e2e_case "dpi $GUIDE_DPI: configurator main dialog" case_configurator_main
    e2e_case "dpi $GUIDE_DPI: configurator dialogs" case_configurator_dialogs
    e2e_case "dpi $GUIDE_DPI: About picture" case_about_picture
    e2e_case "dpi $GUIDE_DPI: VarnokCfg adapters" case_modetool_adapters
    e2e_case "dpi $GUIDE_DPI: VarnokCfg busy panels" case_panels_picture
done
GUIDE_DPI=96
GUIDE=$E2E_SCREENSHOTS/guide-moved
e2e_case "dpi: main dialog moved to a 144-dpi screen" case_moved_to_other_screen
e2e_end
