#!/bin/bash
# The pictures of docs/USER-GUIDE.md: every dialog of both programs, each
# checked by its caption and a few of its controls, then saved cropped to the
# dialog's window into $E2E_SCREENSHOTS/guide/. tools/update-guide-images.sh
# copies them into docs/images/. test_dpi.sh runs the same cases at other
# screen resolutions (GUIDE_DPI).
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/adapters.sh"

GUIDE=${GUIDE:-$E2E_SCREENSHOTS/guide}
GUIDE_DPI=${GUIDE_DPI:-96}
CONFIGURATOR=VarnokPlus_Configurator.exe
MODETOOL=VarnokCfg.exe
MODETOOL_CAPTION="Tarnel VarnokCfg v2.3"

# Saves the current window as guide/<name>.png, without metadata (the
# pictures are committed, so they should change only when the dialog does).
guide_shot() {  # name
    local file=$GUIDE/$1.png
    e2e_screenshot "$file"
    timeout 20 convert "$file" -strip -define png:compression-level=9 "$file" \
        || fail "re-encoding $file failed"
    local w h
    read -r w h < <(timeout 20 identify -format '%w %h\n' "$file") || fail "cannot read $file"
    (( w > 100 && h > 50 )) || fail "$1.png is only ${w}x${h} pixels"
}

# The case's prefix runs at GUIDE_DPI: LogPixels is read when Wine starts,
# so this comes before the first program of the case, with the case's
# wineserver stopped while its registry file is edited.
guide_dpi() {
    (( GUIDE_DPI == 96 )) && return 0
    local hex reg=$WINEPREFIX/user.reg
    e2e_wine_stop
    hex=$(printf '%08x' "$GUIDE_DPI")
    awk -v v="\"LogPixels\"=dword:$hex" '
        { print }
        /^\[Control Panel\\\\Desktop\] / { desk = 1; next }
        desk && /^#time=/ { print v; desk = 0 }' "$reg" >"$reg.new" && mv "$reg.new" "$reg"
    grep -q "^\"LogPixels\"=dword:$hex" "$reg" || fail "LogPixels was not set in user.reg"
    e2e_wine_keep
}

# A size designed at 96 dpi, at GUIDE_DPI (rounded like the programs do).
at_dpi() { echo $(( ($1 * GUIDE_DPI + 48) / 96 )); }

start_configurator() {
    guide_dpi
    e2e_install
    e2e_app "$CONFIGURATOR"
    e2e_launch
    e2e_wait_main
}

# Opens a sub-dialog of the main dialog with button $1 and makes it current.
open_dialog() {  # button caption
    ok "wait-window $MAIN_CAPTION 2000"
    ok "click $1"
    ok "wait-window $2 10000"
}

# Closes the current sub-dialog with button $1 and returns to the main dialog.
close_dialog() {  # button caption
    ok "click $1"
    ok "wait-gone $2 5000"
    e2e_wait_main "" 5000
}

# The main dialog with COM3 selected, then with "Show disconnected devices".
case_configurator_main() {
    start_configurator
    ok "list-select 1006 1"  # COM3; the FT230X without a name comes first
    expect "get-text 1001" 16
    expect "is-enabled 1004" 1
    # Owner-drawn rows grow with the screen's resolution.
    ok "list-item-height 1006"
    (( V >= $(at_dpi 16) )) || fail "port rows are $V pixels high at $GUIDE_DPI dpi"
    ok "get-text 40019"
    [[ $V == " FT232R USB UART, SN: "* ]] || fail "status line: '$V'"
    guide_shot configurator-main

    ok "send-click 1017"
    expect "get-check 1017" 1
    expect "list-count 1006" 6
    expect "is-enabled 1004" 0
    guide_shot configurator-disconnected
}

# Baud Rate Mapping, Buffered Writes, COM Port Assignment and About, each
# opened from the main dialog for COM3 and closed without a change.
case_configurator_dialogs() {
    start_configurator
    ok "list-select 1006 1"

    open_dialog 1015 "Baud Rate Mapping"
    expect "get-class 1002" SysListView32
    expect "listview-count 1002" 14
    expect "listview-text 1002 0 0" 300
    expect "listview-col-width 1002 0" "$(at_dpi 80)"
    expect "get-text 1009" Generate
    # A computed rate in the "Custom Baud Rate" group, as after Generate.
    ok "set-text 1007 2000000"
    ok "send-click 1009"
    expect "get-text 1006" 2000000
    guide_shot configurator-baud-rate-mapping
    close_dialog 1001 "Baud Rate Mapping"

    open_dialog 40002 "Buffered Writes Configuration"
    expect "get-text 1008" "  Aktivate Buffered Writess"
    # Switched on in the dialog only (Cancel below writes nothing).
    ok "send-click 1008"
    expect "get-check 1008" 1
    expect "is-enabled 40000" 1
    expect "get-text 1007" 4096
    guide_shot configurator-buffered-writes
    close_dialog 2 "Buffered Writes Configuration"

    open_dialog 40004 "COM Port Assignment"
    expect "get-text 40007" COM3
    expect "get-text 1004" 3
    ok "list-count 40006"
    (( V > 0 )) || fail "no free COM numbers listed"
    guide_shot configurator-com-port-assignment
    close_dialog 2 "COM Port Assignment"

    ok "menu 40001"
    ok "wait-window About 5000"
    ok "get-text 40000"
    [[ -n $V ]] || fail "About shows no first link"
    guide_shot configurator-about
    ok "menu 2"
    ok "wait-gone About 5000"
    [[ -z $(e2e_sim_log) ]] || fail "looking at the dialogs changed something: $(e2e_sim_log)"
}

# VarnokCfg with a four-port "Varnok Plus" adapter and a two-port "Apex"
# adapter: one adapter selected (its ports listed), then both.
case_modetool_adapters() {
    guide_dpi
    start_plus_and_apex
    e2e_app "$MODETOOL" "$E2E_DATA/modetool-devices.txt"
    e2e_launch
    e2e_wait_main "$MODETOOL_CAPTION" 20000
    wait_value "list-count 1001" 2 15000
    wait_value "is-visible 1001" 1 5000
    expect "list-text 1001 0" "Varnok Plus 4 (7)"
    expect "list-sel-rows 1001" 0
    expect "list-count 1003" 4
    expect "list-sel-rows 1003" 0
    expect "get-check 1005" 1
    guide_shot modetool-one-adapter

    # Both adapters, as with Ctrl+click: the port list gives way to its panel
    # and the settings shown cover every port of both.
    ok "list-multi-select 1001 0,1"
    expect "list-sel-rows 1001" 0,1
    expect "is-visible 1003" 0
    expect "get-text 1005" "RS485 by RTS, 4-wire"
    guide_shot modetool-several-adapters
}

# No adapter answers: the lists stay replaced by the two panels that a search
# or a commit shows, and only "Search Devices" is usable.
case_modetool_panels() {
    guide_dpi
    cat >"$CASE_DIR/devices.in" <<'EOF'
device id=04036001 loc=22 serial=F0REIGN1 com=40 desc=FT232R USB UART
EOF
    e2e_app "$MODETOOL" "$CASE_DIR/devices.in"
    e2e_launch
    e2e_wait_main "$MODETOOL_CAPTION" 20000
    ok "wait-box No device found 15000"
    ok "answer-box No device found 1"
    e2e_wait_main "$MODETOOL_CAPTION" 2000
    expect "is-visible 1001" 0
    expect "is-visible 1003" 0
    expect "is-enabled 1002" 1
    expect "is-enabled 1019" 0
    guide_shot modetool-busy-panels
}

# A search under way, with its progress line over the busy panels: twenty
# adapters, so that the first sixteen have answered while the last four are
# still being asked. The picture is taken during a search started with
# "Search Devices", and kept only if the lists were still hidden after it.
case_modetool_progress() {
    guide_dpi
    local k args=()
    : >"$CASE_DIR/devices.in"
    for k in $(seq 1 20); do
        start_adapter "a$k" --family config --ports 2 --name "Varnok Plus 2"
        args+=("COM$((19 + k))" "$PTY")
        printf 'device id=04036011 loc=%d serial=VP1%05d com=%d ua="id 1,%d" desc=Varnok Plus - Config\n' \
            $((16 * k + 5)) "$k" $((19 + k)) "$k" >>"$CASE_DIR/devices.in"
    done
    map_ports "${args[@]}"
    e2e_app "$MODETOOL" "$CASE_DIR/devices.in"
    e2e_launch
    e2e_wait_main "$MODETOOL_CAPTION" 20000
    wait_value "list-count 1001" 20 20000
    wait_value "is-visible 1001" 1 5000
    local attempt file=$GUIDE/modetool-searching.png x y w h
    for attempt in 1 2 3; do
        ok "click 1002"
        wait_value "is-visible 1001" 0 2000
        sleep 0.8  # the first sixteen take about 0.7 s
        ok "settle 50"
        ok "rect"
        read -r x y w h <<<"$V"
        mkdir -p "$GUIDE"
        timeout 20 import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$file" \
            || fail "screenshot failed"
        drv "is-visible 1001"
        local during=$R
        wait_value "list-count 1001" 20 10000
        wait_value "is-visible 1001" 1 5000
        [[ $during == "OK 0" ]] && break
        rm -f "$file"
    done
    [[ -f $file ]] || fail "no picture caught the search under way"
    timeout 20 convert "$file" -strip -define png:compression-level=9 "$file" \
        || fail "re-encoding $file failed"
}

# Names the pictures of docs/images/ that this run drew differently, so that
# the guide does not fall behind the programs unnoticed (a note, not a
# failure: tools/update-guide-images.sh brings them up to date).
note_stale_images() {
    local shot stale=()
    for shot in "$GUIDE"/*.png; do
        [[ -f $shot ]] || continue
        cmp -s "$shot" "$E2E_ROOT/docs/images/$(basename "$shot")" || stale+=("$(basename "$shot")")
    done
    if (( ${#stale[@]} )); then
        echo "NOTE: docs/images/ differs from this run in ${stale[*]}: run tools/update-guide-images.sh"
    fi
    return 0
}

# Sourced by test_dpi.sh for the cases only.
[[ ${BASH_SOURCE[0]} == "$0" ]] || return 0

e2e_begin
rm -f "$GUIDE"/*.png
e2e_case "guide: configurator main dialog and disconnected devices" case_configurator_main
e2e_case "guide: configurator dialogs" case_configurator_dialogs
e2e_case "guide: VarnokCfg with one and with several adapters" case_modetool_adapters
e2e_case "guide: VarnokCfg busy panels" case_modetool_panels
e2e_case "guide: VarnokCfg searching, with its progress line" case_modetool_progress
note_stale_images
e2e_end
