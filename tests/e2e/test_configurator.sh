#!/bin/bash
# VarnokPlus_Configurator.exe under Wine: the main dialog, its confirmations,
# OK and "Reload Driver" against the test ftd2xx.dll, About, a planted and a
# missing ftd2xx.dll.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

EXE=VarnokPlus_Configurator.exe
ABORT_TEXT='Abort Configuration?\nUnsaved Data will be lost'
EXIT_TEXT='Abort Configuration??\nUnsaved Data will be lost'

start_configurator() {  # [devices file]
    e2e_install
    e2e_app "$EXE" "${1:-}"
    e2e_launch
    e2e_wait_main
}

# Every control of dialog 100 at its id with its text, the panel disabled
# until a port is selected, and the attached ports in the list.
case_main_dialog() {
    start_configurator
    local id text
    while IFS='|' read -r id text; do
        expect "get-text $id" "$text"
    done <<'EOF'
1017|Show disconnected devices
40000|Min. Read Timeout (ms):
40001|Min. Write Timeout (ms):
40003|Polling Period:
40005|Latency Timer:
1013|Ignore Hardware Serial Number
1020|Default Settings
1016|Optimize for Varnok
40017|Optimize for Brivane
1015|Baud Rate Mappings
40002|Buffered Writes
40004|Rename COM Port
40006|Reload Driver
1018|Close All Ports
1000|Refresh
1|OK
2|Cancel
1003|Apply
EOF
    # Check boxes whose texts are padded so that their boxes line up.
    for id_text in "1014|Serial Enumerator" "1008|Serial Printer" "1009|Cancel If Power Off" \
                   "1010|Event On Surprise Removal" "1011|Set RTS On Close" \
                   "1012|Disable Modem Ctrl At Startup"; do
        id=${id_text%%|*}
        text=${id_text#*|}
        ok "get-text $id"
        [[ ${V%"${V##*[! ]}"} == "$text" ]] || fail "control $id says '$V', expected '$text'"
        expect "is-enabled $id" 0
    done
    for id in 40000 40001 40003 40005 1004 1005 1007 1001 40019; do
        expect "is-enabled $id" 0
    done
    for id in 1006 1017 1013 1000 1 2 1003 40006; do
        expect "is-enabled $id" 1
    done
    # Menu 106 (from the program's resources; menu 40001 below shows it is live).
    expect "menu-text 106 40003" "Save Configuration..."
    expect "menu-text 106 40014" "Load Configuration..."
    expect "menu-text 106 40000" "Exit"
    expect "menu-text 106 40012" "View Help"
    expect "menu-text 106 40001" "About"
    expect "get-class 1006" "ListBox"
    expect "get-class 40019" "Edit"
    e2e_screenshot "$E2E_SCREENSHOTS/main.png"
}

# COM3, COM11 and COM12 are attached; the FT230X is held open by another
# program, so it has no COM name and counts as an open port. Start-up adds a
# row for every record, sorted by name (the FT230X's row has no name, so it
# comes first); Refresh only for records named COMn. "Show disconnected
# devices" lists every installed port.
case_ports_listed() {
    start_configurator
    expect "list-count 1006" 4
    expect "get-text 40019" "Open COM Ports: 1"
    drv "list-text 1006 0"
    [[ $R == "ERR owner-drawn list without texts" ]] || fail "port list rows carry texts: $R"
    local row
    for row in 0 1 2 3; do
        expect "list-data 1006 $row" "$row"
    done
    ok "list-select 1006 0"
    expect "get-text 40019" " FT230X Basic UART, SN: DN04K2JR,  ID: 4036015, LocalID: 31; Open COM Ports: 1"

    ok "send-click 1000"
    expect "list-count 1006" 3
    expect "list-sel 1006" -1
    expect "is-enabled 1004" 0

    ok "send-click 1017"
    expect "get-check 1017" 1
    expect "list-count 1006" 6
    # Attached ports are drawn in pure green, the others in pure red.
    local shot=$E2E_SCREENSHOTS/disconnected.png green red
    e2e_screenshot "$shot"
    green=$(e2e_pixels "$shot" '#00FF00')
    red=$(e2e_pixels "$shot" '#FF0000')
    (( green > 50 && red > 50 )) || fail "row colours: $green green and $red red pixels"
    ok "list-select 1006 0"
    ok "get-text 40019"
    [[ $V == " SN: "*",  ID: 40360"* ]] || fail "status line in disconnected mode: '$V'"
    ok "send-click 1017"
    expect "list-count 1006" 3
    shot=$CASE_DIR/connected.png
    e2e_screenshot "$shot"
    (( $(e2e_pixels "$shot" '#00FF00') + $(e2e_pixels "$shot" '#FF0000') == 0 )) \
        || fail "coloured rows with disconnected devices hidden"
    [[ -z $(e2e_sim_log) ]] || fail "listing changed something: $(e2e_sim_log)"
}

# Selecting a row shows the port's record: status line and panel.
case_select_port() {
    start_configurator
    ok "list-select 1006 2"
    expect "get-text 40019" " Dual RS232 A, SN: FT5X7Q2LA,  ID: 4036010, LocalID: 21; Open COM Ports: 1"
    expect "get-text 1004" 100
    expect "get-text 1005" 200
    expect "get-text 1001" 2
    expect "get-check 1014" 1
    expect "get-check 1008" 1
    expect "is-enabled 1004" 1
    ok "list-select 1006 1"
    expect "get-text 40019" " FT232R USB UART, SN: A1B2C3D4A,  ID: 4036001, LocalID: 11; Open COM Ports: 1"
    expect "get-text 1001" 16
    e2e_screenshot "$E2E_SCREENSHOTS/selected.png"
}

# Apply writes the panel into the registry, keeps the dialog and reloads the
# driver; values not changed (COM12's latency timer of 1) are not written.
case_apply_writes() {
    start_configurator
    local key='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\VID_0403+PID_6010+FT5X7Q2LA\0000\Device Parameters'
    local keyB='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\VID_0403+PID_6010+FT5X7Q2LB\0000\Device Parameters'
    ok "list-select 1006 2"
    ok "set-text 1001 5"
    ok "set-text 1004 250"
    ok "send-click 1003"
    expect "get-text 1001" 5
    expect "list-count 1006" 4
    [[ $(e2e_sim_log) == "FT_Reload 0x0403 0x0000" ]] || fail "sim log after Apply: '$(e2e_sim_log)'"
    [[ $(e2e_reg_value "$key" LatencyTimer) == 0x5 ]] || fail "LatencyTimer: $(e2e_reg_value "$key" LatencyTimer)"
    [[ $(e2e_reg_value "$key" MinReadTimeout) == 0xfa ]] || fail "MinReadTimeout: $(e2e_reg_value "$key" MinReadTimeout)"
    [[ $(e2e_reg_value "$keyB" LatencyTimer) == 0x1 ]] || fail "COM12 latency changed: $(e2e_reg_value "$keyB" LatencyTimer)"
    e2e_wait_main "" 1000
}

# Enter in an edit box means Apply (the default button); Esc means Cancel.
case_enter_applies() {
    start_configurator
    local key='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\VID_0403+PID_6001+A1B2C3D4A\0000\Device Parameters'
    ok "list-select 1006 1"
    ok "set-text 1001 7"
    ok "key 1001 0x0D"
    local i
    for i in $(seq 50); do
        [[ -n $(e2e_sim_log) ]] && break
        sleep 0.1
    done
    [[ $(e2e_sim_log) == "FT_Reload 0x0403 0x0000" ]] || fail "sim log after Enter: '$(e2e_sim_log)'"
    [[ $(e2e_reg_value "$key" LatencyTimer) == 0x7 ]] || fail "LatencyTimer: $(e2e_reg_value "$key" LatencyTimer)"
    ok "key 1001 0x1B"
    e2e_box Warning "$ABORT_TEXT" 2
    e2e_wait_main "" 1000
}

# Cancel asks; answering Cancel keeps the dialog, OK ends the program.
case_cancel_asks() {
    start_configurator
    ok "click 2"
    e2e_box Warning "$ABORT_TEXT" 2
    ok "wait-window $MAIN_CAPTION 2000"
    expect "is-visible 1006" 1
    ok "click 2"
    e2e_box Warning "$ABORT_TEXT" 1
    e2e_wait_exit 10000
    (( APP_STATUS == 0 )) || fail "exit status $APP_STATUS after Cancel"
    [[ -z $(e2e_sim_log) ]] || fail "Cancel changed something: $(e2e_sim_log)"
}

# File > Exit asks the question with two question marks; OK ends the program.
case_exit_asks() {
    start_configurator
    ok "menu 40000"
    e2e_box Warning "$EXIT_TEXT" 1
    e2e_wait_exit 10000
    (( APP_STATUS == 0 )) || fail "exit status $APP_STATUS after Exit"
}

case_about() {
    start_configurator
    ok "menu 40001"
    ok "wait-window About 5000"
    expect "get-class 40000" Static
    ok "get-text 40000"
    [[ -n $V ]] || fail "About shows no first link"
    ok "get-text 40001"
    [[ -n $V ]] || fail "About shows no second link"
    ok "menu 2"
    ok "wait-gone About 5000"
    e2e_wait_main "" 2000
}

# OK writes, reloads the driver for vendor 0x0403 and ends the program.
case_ok_reloads() {
    start_configurator
    ok "click 1"
    e2e_wait_exit 10000
    (( APP_STATUS == 0 )) || fail "exit status $APP_STATUS after OK"
    [[ $(e2e_sim_log) == "FT_Reload 0x0403 0x0000" ]] || fail "sim log after OK: '$(e2e_sim_log)'"
}

# A failing reload on OK keeps the dialog open.
case_ok_reload_fails() {
    local devices=$CASE_DIR/failing.txt
    { cat "$E2E_DATA/devices.txt"; echo "reload 4"; } >"$devices"
    start_configurator "$devices"
    ok "click 1"
    e2e_box Error "Reload Driver failed!" 1
    e2e_wait_main "" 2000
    kill -0 "$APP_PID" 2>/dev/null || fail "the program ended after a failed reload"
    [[ $(e2e_sim_log) == "FT_Reload 0x0403 0x0000" ]] || fail "sim log: '$(e2e_sim_log)'"
}

# "Reload Driver" reloads every vendor's devices and says nothing on success.
case_reload_driver() {
    start_configurator
    ok "send-click 40006"
    drv "wait-box Error 300"
    [[ $R == "ERR timeout" ]] || fail "a box after a successful reload: $R"
    [[ $(e2e_sim_log) == "FT_Reload 0x0000 0x0000" ]] || fail "sim log: '$(e2e_sim_log)'"
}

# Only the system folder's ftd2xx.dll is loaded: a planted copy beside the
# program (and in the working folder) never is, and the system's serves the
# port list.
case_planted_library() {
    e2e_install
    e2e_app "$EXE"
    cp "$E2E_PLANTEDDLL" "$CASE_DIR/app/"
    e2e_launch
    e2e_wait_main
    expect "list-count 1006" 4
    [[ ! -e $SIM_LOG.planted ]] || fail "the ftd2xx.dll beside the program was loaded"
}

# Without ftd2xx.dll in the system folder the program still starts, names
# the path it looked at and loads no other copy.
case_no_library() {
    E2E_NO_DLL=1 e2e_app "$EXE"
    e2e_install
    mkdir -p "$CASE_DIR/elsewhere"
    cp "$E2E_PLANTEDDLL" "$CASE_DIR/app/"
    cp "$E2E_PLANTEDDLL" "$CASE_DIR/elsewhere/"
    e2e_launch "$CASE_DIR/elsewhere"
    ok "wait-box ERROR 15000"
    [[ ${V,,} == *'looked for c:\\windows\\system32\\ftd2xx.dll only'* ]] ||
        fail "the ERROR box does not name the system folder's ftd2xx.dll: '$V'"
    [[ ! -e $SIM_LOG.planted ]] || fail "a planted ftd2xx.dll was loaded"
    ok "answer-box ERROR 1"
    # Further boxes (no devices) may follow; answer what comes, then the dialog is there.
    local i
    for i in 1 2 3; do
        drv "wait-window $MAIN_CAPTION 500"
        [[ $R == OK ]] && break
        drv "wait-box WARNING 500"
        [[ $R == OK* ]] && ok "answer-box WARNING 1"
        drv "wait-box ERROR 200"
        [[ $R == OK* ]] && ok "answer-box ERROR 1"
    done
    e2e_wait_main "" 5000
    expect "is-visible 1006" 1
}

e2e_begin
e2e_case "main dialog shows its controls" case_main_dialog
e2e_case "attached ports are listed" case_ports_listed
e2e_case "selecting a port shows its record" case_select_port
e2e_case "Apply writes the registry and reloads" case_apply_writes
e2e_case "Enter applies, Esc cancels" case_enter_applies
e2e_case "Cancel asks and Cancel keeps the dialog" case_cancel_asks
e2e_case "File Exit asks and OK ends the program" case_exit_asks
e2e_case "About opens and closes" case_about
e2e_case "OK reloads the driver and ends" case_ok_reloads
e2e_case "a failing reload keeps the dialog" case_ok_reload_fails
e2e_case "Reload Driver reloads all vendors" case_reload_driver
e2e_case "only the system folder's ftd2xx.dll is loaded" case_planted_library
e2e_case "missing ftd2xx.dll is reported" case_no_library
e2e_end
