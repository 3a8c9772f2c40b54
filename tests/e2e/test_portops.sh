#!/bin/bash
# VarnokPlus_Configurator.exe under Wine: the operations on one port that
# write the registry or a file: renaming the COM port, the global "Ignore
# Hardware Serial Number" flag, the Buffered Writes dialog, and saving a
# configuration file from one port and loading it into another.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

EXE=VarnokPlus_Configurator.exe
ENUM='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS'
ARBITER='HKLM\SYSTEM\CurrentControlSet\Control\COM Name Arbiter'
USBFLAGS='HKLM\SYSTEM\CurrentControlSet\Control\UsbFlags'

start_portops() {  # [devices file]: installation.reg with portops.reg on top
    e2e_install
    e2e_install "$E2E_DATA/portops.reg"
    e2e_app "$EXE" "${1:-$E2E_DATA/portops-devices.txt}"
    e2e_launch
    e2e_wait_main
}

# Selects the row whose status line names serial $1; prints the row.
select_serial() {
    local n row
    ok "list-count 1006"
    n=$V
    for (( row = 0; row < n; row++ )); do
        ok "list-select 1006 $row"
        ok "get-text 40019"
        if [[ $V == *", SN: $1,  ID: "* ]]; then
            echo "$row"
            return 0
        fi
    done
    fail "no row for serial $1"
}

# COM5 renamed to COM7 through the number field (after a first opening in
# which a typed taken number overrides a clicked free one): the instance key's
# FriendlyName, PortName and the COM name database change, every other
# reservation stays, and after the refresh the device's row is named COM7
# (it now sorts after COM6).
case_rename() {
    start_portops
    local key=$ENUM'\VID_0403+PID_6001+FT9C0M5QA\0000'
    expect "list-count 1006" 3
    [[ $(select_serial FT9C0M5QA) == 1 ]] || fail "COM5 is not the second row"

    # The first opening of the run: a free number clicked in the list, then
    # a taken one typed (COM3): the typed number wins, OK warns and renames
    # nothing.
    ok "click 40004"
    ok "wait-window COM Port Assignment 5000"
    ok "list-select 40006 1"
    expect "list-sel 40006" 1
    ok "set-text 1004 3"
    expect "list-sel 40006" -1
    ok "click 1"
    e2e_box Error "Selected COM Port Number is reserved" 1
    ok "wait-gone COM Port Assignment 5000"
    e2e_wait_main "" 2000
    [[ $(e2e_reg_value "$key" FriendlyName) != "USB Serial Port (COM7)" ]] || fail "renamed after the warning"
    [[ $(e2e_reg_value "$key\Device Parameters" PortName) == COM5 ]] || fail "PortName changed after the warning"
    [[ $(select_serial FT9C0M5QA) == 1 ]] || fail "COM5 is not the second row"

    ok "click 40004"
    ok "wait-window COM Port Assignment 5000"
    expect "get-text 40007" COM5
    expect "get-text 1004" 5
    # 256 numbers less the eight reserved ones, in ascending order.
    expect "list-count 40006" 248
    expect "list-text 40006 0" COM2
    expect "list-text 40006 1" COM7
    expect "list-sel 40006" -1
    ok "set-text 1004 7"
    expect "list-sel 40006" 1
    e2e_screenshot "$E2E_SCREENSHOTS/com-port-assignment.png"
    ok "click 1"
    ok "wait-gone COM Port Assignment 5000"
    e2e_wait_main "" 2000

    [[ $(e2e_reg_value "$key" FriendlyName) == "USB Serial Port (COM7)" ]] \
        || fail "FriendlyName: '$(e2e_reg_value "$key" FriendlyName)'"
    [[ $(e2e_reg_value "$key\Device Parameters" PortName) == COM7 ]] \
        || fail "PortName: '$(e2e_reg_value "$key\Device Parameters" PortName)'"
    # Byte 0 was 0x3D (COM1, COM3 to COM6): COM7 (0x40) in, COM5 (0x10) out.
    local comdb
    comdb=$(e2e_reg_value "$ARBITER" ComDB) || fail "ComDB is gone"
    [[ $comdb == 6D0E$(printf '0%.0s' {1..60}) ]] || fail "ComDB: $comdb"
    [[ $(e2e_reg_value "$ENUM\VID_0403+PID_6001+FT9C0M6QA\0000\Device Parameters" PortName) == COM6 ]] \
        || fail "the COM6 device was renamed too"

    # The list was refreshed: no selection, and the renamed device is the
    # last row now, with COM7 as its name.
    expect "list-sel 1006" -1
    expect "list-count 1006" 3
    [[ $(select_serial FT9C0M5QA) == 2 ]] || fail "the renamed port is not the last row"
    ok "click 40004"
    ok "wait-window COM Port Assignment 5000"
    expect "get-text 40007" COM7
    expect "get-text 1004" 7
    expect "list-count 40006" 248
    expect "list-text 40006 1" COM5
    expect "list-text 40006 2" COM8
    ok "click 2"
    ok "wait-gone COM Port Assignment 5000"
    e2e_wait_main "" 2000
}

IGNORE_VALUES="IgnoreHWSerNum04036001 IgnoreHWSerNum04036010 IgnoreHWSerNum04036011 IgnoreHWSerNum04036015"

# "Ignore Hardware Serial Number" is global: Apply without a selected port
# creates the four values holding the one byte 01, and after unchecking,
# Apply deletes them; the box shows what Apply read back.
case_ignore_serial() {
    start_portops
    local name
    expect "get-check 1013" 0
    for name in $IGNORE_VALUES; do
        e2e_reg_value "$USBFLAGS" "$name" >/dev/null && fail "$name exists before the test"
    done
    expect "list-sel 1006" -1
    ok "send-click 1013"
    ok "send-click 1003"
    expect "get-check 1013" 1
    for name in $IGNORE_VALUES; do
        [[ $(e2e_reg_value "$USBFLAGS" "$name") == 01 ]] \
            || fail "$name after Apply: '$(e2e_reg_value "$USBFLAGS" "$name")'"
        [[ $(e2e_reg_query "$USBFLAGS" /v "$name") =~ $name\ +REG_BINARY ]] \
            || fail "$name is not REG_BINARY"
    done
    ok "send-click 1013"
    expect "get-check 1013" 0
    ok "send-click 1003"
    expect "get-check 1013" 0
    for name in $IGNORE_VALUES; do
        e2e_reg_value "$USBFLAGS" "$name" >/dev/null && fail "$name left after unchecking and Apply"
    done
    return 0
}

BW_CAPTION="Buffered Writes Configuration"

# The Buffered Writes dialog of COM5: Apply writes the three values and bit
# 0x04 of ConfigData byte 1 (the rest of ConfigData as it was) and keeps the
# dialog; reopened it shows the stored values; unchecking and OK delete them.
case_buffered_writes() {
    start_portops
    local params=$ENUM'\VID_0403+PID_6001+FT9C0M5QA\0000\Device Parameters' before after
    before=$(e2e_reg_value "$params" ConfigData) || fail "no ConfigData"
    [[ ${before:2:2} == 00 ]] || fail "ConfigData byte 1 before: ${before:2:2}"
    [[ $(select_serial FT9C0M5QA) == 1 ]] || fail "COM5 is not the second row"
    ok "click 40002"
    ok "wait-window $BW_CAPTION 5000"
    expect "get-check 1008" 0
    expect "get-text 1007" 4096
    expect "get-text 1004" 20
    expect "get-text 1005" 1
    expect "is-enabled 40000" 0
    ok "send-click 1008"
    expect "get-check 1008" 1
    expect "is-enabled 40000" 1
    ok "set-text 1007 2048"
    ok "set-text 1004 10"
    ok "set-text 1005 4"
    ok "send-click 1003"
    e2e_screenshot "$E2E_SCREENSHOTS/buffered-writes.png"
    [[ $(e2e_reg_value "$params" WriteBufferSize) == 0x800 ]] \
        || fail "WriteBufferSize: '$(e2e_reg_value "$params" WriteBufferSize)'"
    [[ $(e2e_reg_value "$params" WriteBufferThreshold) == 0xa ]] \
        || fail "WriteBufferThreshold: '$(e2e_reg_value "$params" WriteBufferThreshold)'"
    [[ $(e2e_reg_value "$params" WriteLatency) == 0x4 ]] \
        || fail "WriteLatency: '$(e2e_reg_value "$params" WriteLatency)'"
    after=$(e2e_reg_value "$params" ConfigData)
    [[ $after == "${before:0:2}04${before:4}" ]] || fail "ConfigData after Apply: $after (before: $before)"
    [[ $(e2e_sim_log) == "" ]] || fail "the dialog reloaded the driver: $(e2e_sim_log)"
    ok "click 2"
    ok "wait-gone $BW_CAPTION 5000"
    e2e_wait_main "" 2000

    ok "click 40002"
    ok "wait-window $BW_CAPTION 5000"
    expect "get-check 1008" 1
    expect "get-text 1007" 2048
    expect "get-text 1004" 10
    expect "get-text 1005" 4
    ok "send-click 1008"
    ok "click 1"
    ok "wait-gone $BW_CAPTION 5000"
    e2e_wait_main "" 2000
    local name
    for name in WriteBufferSize WriteBufferThreshold WriteLatency; do
        e2e_reg_value "$params" "$name" >/dev/null && fail "$name left after unchecking and OK"
    done
    [[ $(e2e_reg_value "$params" ConfigData) == "$before" ]] || fail "ConfigData after OK: $(e2e_reg_value "$params" ConfigData)"
}

# Types a Windows path into the file name box of the system's file dialog
# $1 ("Save As" or "Open") and presses its default button.
file_dialog() {  # caption unix-path
    local win
    win=$(e2e_winpath "$2")
    ok "wait-window $1 5000"
    ok "set-text 1148 ${win//\\/\\\\}"
    ok "click 1"
    ok "wait-gone $1 5000"
    e2e_wait_main "" 2000
    # The program writes or reads the file after the dialog has gone; a sent
    # message is answered only once that handler has returned.
    ok "get-text 40019"
}

# Registry values of a port, one "name=data" line each, for comparisons. The
# filter list by its strings: the seeded "serenum" and the program's own
# 16-byte form of it are the same list.
port_values() {  # serial part of the instance key
    local key=$ENUM'\VID_0403+PID_6010+'$1'\0000' name filters
    for name in ConfigData MinReadTimeout MinWriteTimeout LatencyTimer PollingPeriod; do
        echo "$name=$(e2e_reg_value "$key\Device Parameters" "$name")"
    done
    filters=$(e2e_reg_value "$key" UpperFilters)
    echo "UpperFilters=${filters%%\\0*}"
}

# A configuration saved from COM11 through the save dialog is a real 84-byte
# file with the record's layout; loaded into COM12 through the open dialog
# and applied, COM12's driver values equal COM11's while its name stays.
# Folder and file name $1 and $2 (UTF-8) reach the file system as typed.
config_file_roundtrip() {  # folder file
    e2e_install
    e2e_app "$EXE"
    e2e_launch
    e2e_wait_main
    local dir=$CASE_DIR/$1 name=$2
    local file=$dir/$name keyB=$ENUM'\VID_0403+PID_6010+FT5X7Q2LB\0000'
    mkdir -p "$dir"
    [[ $(select_serial FT5X7Q2LA) == 2 ]] || fail "COM11 is not the third row"
    # A polling period that differs from COM12's, through the panel.
    ok "set-text 1007 40"
    ok "send-click 1003"
    expect "get-text 1007" 40
    local a
    a=$(port_values FT5X7Q2LA)
    [[ $a == *"PollingPeriod=0x28"* && $a == *"UpperFilters=serenum"* ]] || fail "COM11 before saving: $(tr '\n' ' ' <<<"$a")"
    [[ $a != "$(port_values FT5X7Q2LB)" ]] || fail "COM11 and COM12 hold the same values already"

    ok "menu 40003"
    ok "wait-window Save As 5000"
    expect "get-text 1148" Config_COM11
    file_dialog "Save As" "$file"
    [[ -f $file ]] || fail "no file saved (folder: $(ls "$dir" | tr '\n' ' '); case folder: $(ls "$CASE_DIR" | tr '\n' ' '))"
    [[ $(stat -c %s "$file") == 84 ]] || fail "the file has $(stat -c %s "$file") bytes"
    [[ $(ls -A "$dir") == "$name" ]] || fail "files beside: $(ls -A "$dir")"
    # ConfigData, MinReadTimeout 100, MinWriteTimeout 200, LatencyTimer 2,
    # "serenum" and nine NUL bytes, PollingPeriod 40.
    local config expected
    config=$(e2e_reg_value "$ENUM\VID_0403+PID_6010+FT5X7Q2LA\0000\Device Parameters" ConfigData)
    expected="${config^^}64C802$(printf serenum | xxd -p | tr a-f A-F)$(printf '00%.0s' {1..9})28"
    [[ $(xxd -p "$file" | tr -d '\n' | tr a-f A-F) == "$expected" ]] \
        || fail "file content: $(xxd -p "$file" | tr -d '\n'), expected $expected"

    [[ $(select_serial FT5X7Q2LB) == 3 ]] || fail "COM12 is not the fourth row"
    expect "get-check 1014" 0
    ok "menu 40014"
    file_dialog Open "$file"
    expect "get-text 1004" 100
    expect "get-text 1005" 200
    expect "get-text 1001" 2
    expect "get-text 1007" 40
    expect "get-check 1014" 1
    ok "send-click 1003"
    local b
    b=$(port_values FT5X7Q2LB)
    [[ $b == "$a" ]] || fail "COM12 after loading and Apply: $(tr '\n' ' ' <<<"$b") (COM11: $(tr '\n' ' ' <<<"$a"))"
    [[ $(port_values FT5X7Q2LA) == "$a" ]] || fail "COM11 changed: $(port_values FT5X7Q2LA | tr '\n' ' ')"
    [[ $(e2e_reg_value "$keyB\Device Parameters" PortName) == COM12 ]] || fail "COM12's PortName changed"
    [[ $(e2e_reg_value "$keyB" FriendlyName) == "USB Serial Port (COM12)" ]] || fail "COM12's FriendlyName changed"
}

case_config_file_roundtrip() { config_file_roundtrip files com11.dat; }
case_config_file_wide_names() { config_file_roundtrip "Профили Zażółć €" "порт COM11 €.dat"; }

e2e_begin
e2e_case "renaming COM5 to COM7" case_rename
e2e_case "Ignore Hardware Serial Number is applied" case_ignore_serial
e2e_case "Buffered Writes dialog writes its values" case_buffered_writes
e2e_case "a configuration file round-trips between ports" case_config_file_roundtrip
e2e_case "a configuration file round-trips under Cyrillic, Polish and € names" case_config_file_wide_names
e2e_end
