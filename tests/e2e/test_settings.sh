#!/bin/bash
# VarnokPlus_Configurator.exe under Wine: the port list's order, the settings
# panel, Apply (by Enter) and the Baud Rate Mapping dialog, against
# com5-installation.reg and com5-devices.txt (COM2, COM5 and COM10 attached,
# an unplugged COM7).
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

EXE=VarnokPlus_Configurator.exe
ENUM='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS'
KEY_COM2=VID_0403+PID_6001+AA000002A
KEY_COM5=VID_0403+PID_6001+AA000005A
KEY_COM7=VID_0403+PID_6001+DD000007A
KEY_COM10=VID_0403+PID_6015+CC000010A
PARAMS_COM5="$ENUM\\$KEY_COM5\\0000\\Device Parameters"
# Seeded ConfigData of COM5: option bits 0x49 0x02, then the standard table.
CONFIG_COM5=49023F3F1027000088130000C4090000E204000071020000384100009C8000004EC00000340000001A0000000D000000064000000380000000000000D0800000
STATUS_COM2=" FT232R USB UART, SN: AA000002A,  ID: 4036001, LocalID: 43; Open COM Ports: 0"
STATUS_COM5=" FT232R USB UART, SN: AA000005A,  ID: 4036001, LocalID: 42; Open COM Ports: 0"
STATUS_COM10=" FT230X Basic UART, SN: CC000010A,  ID: 4036015, LocalID: 41; Open COM Ports: 0"

start_configurator() {
    e2e_install "$E2E_DATA/com5-installation.reg"
    e2e_app "$EXE" "$E2E_DATA/com5-devices.txt"
    e2e_launch
    e2e_wait_main
}

# Everything `wine reg query /s` shows of one instance key.
reg_dump() {  # subkey-name
    e2e_reg_query "$ENUM\\$1" /s
}

# Selects the list row that shows the port whose status line is $2.
select_port() {  # row status
    ok "list-select 1006 $1"
    expect "get-text 40019" "$2"
}

# Waits up to 5 s for the test ftd2xx.dll to log something.
wait_sim_log() {
    local i
    for i in $(seq 50); do
        [[ -n $(e2e_sim_log) ]] && return 0
        sleep 0.1
    done
}

config_com5() {
    e2e_reg_value "$PARAMS_COM5" ConfigData | tr 'a-f' 'A-F'
}

# The library lists COM10, COM5, COM2; the list shows them sorted by COM
# name, COM2 before COM10.
case_port_order() {
    start_configurator
    expect "list-count 1006" 3
    expect "get-text 40019" "Open COM Ports: 0"
    select_port 0 "$STATUS_COM2"
    select_port 1 "$STATUS_COM5"
    select_port 2 "$STATUS_COM10"
}

# The Overview's example: select COM5, type 4 into "Latency Timer:", press
# Enter. Only COM5's LatencyTimer changes; every other record is written back
# as it was (COM10's foreign filter list and its latency of 1 included), and
# the driver is reloaded for vendor 0x0403.
case_latency_by_enter() {
    e2e_install "$E2E_DATA/com5-installation.reg"
    local k
    for k in "$KEY_COM2" "$KEY_COM5" "$KEY_COM7" "$KEY_COM10"; do
        reg_dump "$k" >"$CASE_DIR/before-$k.txt" || fail "reg query of $k failed"
    done
    e2e_app "$EXE" "$E2E_DATA/com5-devices.txt"
    e2e_launch
    e2e_wait_main
    select_port 1 "$STATUS_COM5"
    expect "get-text 1001" 16
    ok "set-text 1001 4"
    ok "key 1001 0x0D"
    wait_sim_log
    [[ $(e2e_sim_log) == "FT_Reload 0x0403 0x0000" ]] || fail "sim log after Enter: '$(e2e_sim_log)'"
    [[ $(e2e_reg_value "$PARAMS_COM5" LatencyTimer) == 0x4 ]] \
        || fail "COM5 LatencyTimer: $(e2e_reg_value "$PARAMS_COM5" LatencyTimer)"
    for k in "$KEY_COM2" "$KEY_COM7" "$KEY_COM10"; do
        reg_dump "$k" >"$CASE_DIR/after-$k.txt" || fail "reg query of $k failed"
        cmp -s "$CASE_DIR/before-$k.txt" "$CASE_DIR/after-$k.txt" \
            || fail "$k changed: $(diff "$CASE_DIR/before-$k.txt" "$CASE_DIR/after-$k.txt" | tr '\n' ' ')"
    done
    # COM5 itself: nothing but the latency timer.
    reg_dump "$KEY_COM5" >"$CASE_DIR/after-$KEY_COM5.txt"
    diff <(grep -v LatencyTimer "$CASE_DIR/before-$KEY_COM5.txt") \
         <(grep -v LatencyTimer "$CASE_DIR/after-$KEY_COM5.txt") >"$CASE_DIR/com5.diff" \
        || fail "COM5 changed beyond LatencyTimer: $(tr '\n' ' ' <"$CASE_DIR/com5.diff")"
    expect "get-text 1001" 4
    expect "list-count 1006" 3
    expect "get-text 40019" "$STATUS_COM5"
}

# Selecting a port shows its registry values in the panel; each port its own.
case_panel_shows_port() {
    start_configurator
    expect "is-enabled 1004" 0
    select_port 1 "$STATUS_COM5"
    local id id_want
    for id_want in 1004=1234 1005=567 1007=8 1001=16; do
        expect "get-text ${id_want%=*}" "${id_want#*=}"
    done
    # ConfigData 0x49 0x02: Cancel If Power Off, Set RTS On Close, Disable
    # Modem Ctrl; "serenum" filter.
    for id_want in 1014=1 1008=0 1009=1 1010=0 1011=1 1012=1; do
        expect "get-check ${id_want%=*}" "${id_want#*=}"
    done
    for id in 40000 40001 40003 40005 1004 1005 1007 1001 1014 1008 1009 1010 1011 1012; do
        expect "is-enabled $id" 1
    done
    # ConfigData 0xA1 0x00: Serial Printer, Event On Surprise Removal; no filter.
    select_port 0 "$STATUS_COM2"
    for id_want in 1004=0 1005=0 1007=0 1001=16; do
        expect "get-text ${id_want%=*}" "${id_want#*=}"
    done
    for id_want in 1014=0 1008=1 1009=0 1010=1 1011=0 1012=0; do
        expect "get-check ${id_want%=*}" "${id_want#*=}"
    done
    # Another driver's filter list is not the serial enumerator.
    select_port 2 "$STATUS_COM10"
    expect "get-check 1014" 0
    expect "get-text 1001" 1
    [[ -z $(e2e_sim_log) ]] || fail "selecting changed something: $(e2e_sim_log)"
}

# Out-of-range and over-long numbers are refused silently: the box shows the
# value in force again and the registry keeps it; the valid boxes are stored.
case_rejected_timeout() {
    start_configurator
    select_port 1 "$STATUS_COM5"
    ok "set-text 1004 10001"
    ok "set-text 1005 300"
    ok "set-text 1007 000100"
    ok "send-click 1003"
    drv "wait-box ERROR 200"
    [[ $R == "ERR timeout" ]] || fail "a box after Apply: $R"
    expect "get-text 1004" 1234
    expect "get-text 1005" 300
    expect "get-text 1007" 8
    [[ $(e2e_reg_value "$PARAMS_COM5" MinReadTimeout) == 0x4d2 ]] \
        || fail "MinReadTimeout: $(e2e_reg_value "$PARAMS_COM5" MinReadTimeout)"
    [[ $(e2e_reg_value "$PARAMS_COM5" MinWriteTimeout) == 0x12c ]] \
        || fail "MinWriteTimeout: $(e2e_reg_value "$PARAMS_COM5" MinWriteTimeout)"
    [[ $(e2e_reg_value "$PARAMS_COM5" PollingPeriod) == 0x8 ]] \
        || fail "PollingPeriod: $(e2e_reg_value "$PARAMS_COM5" PollingPeriod)"
    [[ $(e2e_sim_log) == "FT_Reload 0x0403 0x0000" ]] || fail "sim log after Apply: '$(e2e_sim_log)'"
}

# Row of the list view whose "Virtual Baud" is $1; the row number is in V.
baud_row() {
    local row
    for row in $(seq 0 13); do
        ok "listview-text 1002 $row 0"
        [[ $V == "$1" ]] && { V=$row; return 0; }
    done
    fail "no row '$1' in the Baud Rate Mapping list"
}

expect_baud_row() {  # row generated divisor
    expect "listview-text 1002 $1 1" "$2"
    expect "listview-text 1002 $1 2" "$3"
}

open_baud_dialog() {
    ok "click 1015"
    ok "wait-window Baud Rate Mapping 5000"
    expect "listview-count 1002" 14
}

close_baud_dialog() {
    ok "click 1001"
    ok "wait-gone Baud Rate Mapping 5000"
    e2e_wait_main "" 2000
}

# Generate 2000000, Add to the row "921600", Apply: slot 13 of COM5's
# ConfigData holds code 1, every other byte stays. Reopened, the row shows the
# alias; Brivane Standard fills every row but "115200" with 3000000; Cancel
# writes nothing.
case_baud_mapping() {
    start_configurator
    select_port 1 "$STATUS_COM5"
    [[ $(config_com5) == "$CONFIG_COM5" ]] || fail "seeded ConfigData reads $(config_com5)"
    open_baud_dialog
    local r921 r115 row
    baud_row 921600; r921=$V
    baud_row 115200; r115=$V
    expect_baud_row "$r921" 923077 3.250
    expect_baud_row "$r115" 115385 26.000
    ok "set-text 1007 2000000"
    ok "send-click 1009"
    expect "get-text 1006" 2000000
    expect "get-text 1008" "0.000%"
    ok "listview-select 1002 $r921"
    expect "listview-sel-rows 1002" "$r921"
    ok "send-click 1003"
    expect_baud_row "$r921" 2000000 1.500
    expect_baud_row "$r115" 115385 26.000
    e2e_screenshot "$E2E_SCREENSHOTS/baud-rate-mapping.png"
    ok "send-click 1004"
    # Bytes 52..55 (slot 13) become 01 00 00 00; nothing else moves.
    local want=${CONFIG_COM5:0:104}01000000${CONFIG_COM5:112}
    [[ $(config_com5) == "$want" ]] || fail "ConfigData after Apply: $(config_com5), expected $want"
    expect "get-text 1006" 2000000
    close_baud_dialog

    open_baud_dialog
    expect_baud_row "$r921" 2000000 1.500
    expect "get-text 1006" ""
    expect "get-text 1008" ""
    ok "send-click 1019"
    expect "listview-count 1002" 14
    for row in $(seq 0 13); do
        if (( row == r115 )); then
            expect_baud_row "$row" 115385 26.000
        else
            expect_baud_row "$row" 3000000 1.000
        fi
    done
    close_baud_dialog
    [[ $(config_com5) == "$want" ]] || fail "Cancel wrote ConfigData: $(config_com5)"
    expect "get-text 40019" "$STATUS_COM5"
    [[ -z $(e2e_sim_log) ]] || fail "the dialog reloaded the driver: $(e2e_sim_log)"
}

# --- stored values the user did not change (kept-values.reg) -----------------

STD_TABLE=1027000088130000C4090000E204000071020000384100009C8000004EC00000340000001A0000000D000000064000000380000000000000D0800000
NOTICE_TAIL=" had no readable baud-rate table (its stored ConfigData value is missing or damaged).\\nIt now gets the standard baud-rate table and standard driver options, with your change on top."

kv_key() { echo "VID_0403+PID_6001+KV0000$1A"; }  # com
kv_params() { echo "$ENUM\\$(kv_key "$1")\\0000\\Device Parameters"; }
kv_status() { echo " FT232R USB UART, SN: KV0000$1A,  ID: 4036001, LocalID: $(( $1 - 21 + 51 )); Open COM Ports: 0"; }
kv_config() { e2e_reg_value "$(kv_params "$1")" ConfigData | tr 'a-f' 'A-F'; }

# Answers the "Config not found" box of each of $1 ports whose ConfigData
# cannot be read (at start-up and on every Apply).
answer_config_not_found() {
    local i
    for (( i = 0; i < $1; i++ )); do e2e_box ERROR "Config not found" 1; done
}

kv_dump_all() {  # file-prefix
    local com
    for com in 21 22 23 24; do
        reg_dump "$(kv_key "$com")" >"$CASE_DIR/$1-$com.txt" || fail "reg query of COM$com failed"
    done
}

kv_same_as_before() {
    local com
    kv_dump_all after
    for com in 21 22 23 24; do
        cmp -s "$CASE_DIR/before-$com.txt" "$CASE_DIR/after-$com.txt" \
            || fail "COM$com changed: $(diff "$CASE_DIR/before-$com.txt" "$CASE_DIR/after-$com.txt" | tr '\n' ' ')"
    done
}

# COM21 holds another driver's filter list "vfilter"; the ConfigData of
# COM22 (20 bytes), COM23 (missing) and COM24 (80 bytes) cannot be read.
# Selecting, the Buffered Writes and Baud Rate Mapping dialogs' OK and Apply
# with nothing changed leave every value as it was. Then one change through
# each door (buffered writes on COM22, an alias on COM23, "Serial Printer" on
# COM24) writes the standard 64-byte image with that change, and says so.
case_kept_values() {
    e2e_install
    e2e_install "$E2E_DATA/kept-values.reg"
    kv_dump_all before
    grep -q 'UpperFilters.*vfilter' "$CASE_DIR/before-21.txt" || fail "seeded filter list: $(cat "$CASE_DIR/before-21.txt")"
    e2e_app "$EXE" "$E2E_DATA/kept-values-devices.txt"
    e2e_launch
    answer_config_not_found 3
    e2e_wait_main
    expect "list-count 1006" 4

    # Nothing changed.
    select_port 0 "$(kv_status 21)"
    expect "get-check 1014" 0
    ok "click 1003"
    answer_config_not_found 3
    select_port 1 "$(kv_status 22)"
    ok "click 40002"
    ok "wait-window Buffered Writes Configuration 5000"
    expect "get-check 1008" 0
    ok "click 1"
    ok "wait-gone Buffered Writes Configuration 5000"
    e2e_wait_main "" 2000
    open_baud_dialog  # the standard table, not fourteen rows of 3000000
    expect_baud_row 0 300 10000.000
    expect_baud_row 9 115385 26.000
    expect_baud_row 13 14406 208.250
    ok "click 1000"
    ok "wait-gone Baud Rate Mapping 5000"
    e2e_wait_main "" 2000
    ok "click 1003"
    answer_config_not_found 3
    kv_same_as_before

    # One change through each door.
    select_port 1 "$(kv_status 22)"
    ok "click 40002"
    ok "wait-window Buffered Writes Configuration 5000"
    ok "send-click 1008"
    ok "click 1"
    e2e_box Warning "COM22$NOTICE_TAIL" 1
    ok "wait-gone Buffered Writes Configuration 5000"
    e2e_wait_main "" 2000
    [[ $(kv_config 22) == 00040000$STD_TABLE ]] || fail "COM22 ConfigData: $(kv_config 22)"
    [[ $(e2e_reg_value "$(kv_params 22)" WriteBufferSize) == 0x1000 ]] || fail "COM22 WriteBufferSize missing"

    select_port 2 "$(kv_status 23)"
    open_baud_dialog
    ok "set-text 1007 2000000"
    ok "send-click 1009"
    ok "listview-select 1002 12"
    ok "send-click 1003"
    ok "click 1000"
    e2e_box Warning "COM23$NOTICE_TAIL" 1
    ok "wait-gone Baud Rate Mapping 5000"
    e2e_wait_main "" 2000
    [[ $(kv_config 23) == 00000000${STD_TABLE:0:96}01000000${STD_TABLE:104} ]] \
        || fail "COM23 ConfigData: $(kv_config 23)"

    select_port 3 "$(kv_status 24)"
    expect "get-check 1008" 0
    ok "send-click 1008"
    ok "click 1003"
    e2e_box Warning "COM24$NOTICE_TAIL" 1
    e2e_wait_main "" 2000
    expect "get-check 1008" 1  # read back after Apply: no "Config not found" any more
    [[ $(kv_config 24) == 80000000$STD_TABLE ]] || fail "COM24 ConfigData: $(kv_config 24)"
    [[ $(e2e_reg_value "$ENUM\\$(kv_key 21)\\0000" UpperFilters) == vfilter* ]] \
        || fail "COM21 filter list: $(e2e_reg_value "$ENUM\\$(kv_key 21)\\0000" UpperFilters)"
}

e2e_begin
e2e_case "ports are listed in COM-name order" case_port_order
e2e_case "latency of COM5 set by Enter, other records kept" case_latency_by_enter
e2e_case "selecting a port shows its values" case_panel_shows_port
e2e_case "rejected numbers keep the value in force" case_rejected_timeout
e2e_case "Baud Rate Mapping aliases 921600 to 2000000" case_baud_mapping
e2e_case "values the user did not change are kept" case_kept_values
e2e_end
