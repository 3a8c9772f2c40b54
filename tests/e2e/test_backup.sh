#!/bin/bash
# VarnokPlus_Configurator.exe under Wine: the backup a run writes before its
# first registry write, restored with `reg import`. Against
# com5-installation.reg and com5-devices.txt (COM2, COM5 and COM10 attached).
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

EXE=VarnokPlus_Configurator.exe
ENUM='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS'
USBFLAGS='HKLM\SYSTEM\CurrentControlSet\Control\UsbFlags'
KEY_COM2=VID_0403+PID_6001+AA000002A
KEY_COM5=VID_0403+PID_6001+AA000005A
KEY_COM10=VID_0403+PID_6015+CC000010A
PARAMS_COM2="$ENUM\\$KEY_COM2\\0000\\Device Parameters"
PARAMS_COM5="$ENUM\\$KEY_COM5\\0000\\Device Parameters"

# Every value under the keys of the ports changed and of COM10 (another
# driver's filter list, a multi-string), and UsbFlags, one "key | value" line
# each, sorted (values rewritten in place may change their order).
state() {
    local k
    {
        for k in "$ENUM\\$KEY_COM2" "$ENUM\\$KEY_COM5" "$ENUM\\$KEY_COM10" "$USBFLAGS"; do
            e2e_reg_query "$k" /s || true  # a key that is not there lists nothing
        done
    } | tr -d '\r' | awk '/^HKEY/ { key = $0; next } NF { sub(/^ +/, ""); print key " | " $0 }' | sort
}

# Waits up to 5 s for the test ftd2xx.dll to have logged $1 lines.
wait_reloads() {
    local i
    for i in $(seq 50); do
        (( $(e2e_sim_log | grep -c FT_Reload) >= $1 )) && return 0
        sleep 0.1
    done
    fail "no driver reload after Apply number $1"
}

backups() {
    find "$WINEPREFIX/drive_c/users" -path '*/Varnok Plus/Backups/*.reg' -type f 2>/dev/null | sort
}

# Several values on COM2 and COM5 (COM2's filter list and the four UsbFlags
# values did not exist), over two Applies and OK. One backup file; importing
# it gives back every seeded value and removes the created ones.
case_apply_then_restore() {
    e2e_install "$E2E_DATA/com5-installation.reg"
    state >"$CASE_DIR/seeded.txt"
    grep -q 'LatencyTimer' "$CASE_DIR/seeded.txt" || fail "seeded state unreadable"
    grep -q "$KEY_COM2\\\\0000 | UpperFilters" "$CASE_DIR/seeded.txt" && fail "COM2 seeded with a filter list"
    e2e_app "$EXE" "$E2E_DATA/com5-devices.txt"
    e2e_launch
    e2e_wait_main
    [[ -z $(backups) ]] || fail "a backup before any write: $(backups)"

    ok "list-select 1006 0"
    expect "get-text 1001" 16
    ok "set-text 1001 4"
    ok "set-text 1004 100"
    ok "send-click 1014"
    ok "list-select 1006 1"
    expect "get-text 1004" 1234
    ok "set-text 1001 8"
    ok "set-text 1005 99"
    ok "send-click 1008"
    ok "send-click 1013"
    ok "send-click 1003"
    wait_reloads 1
    [[ $(e2e_reg_value "$PARAMS_COM2" LatencyTimer) == 0x4 ]] || fail "COM2 latency not written"
    [[ $(e2e_reg_value "$PARAMS_COM5" MinWriteTimeout) == 0x63 ]] || fail "COM5 write time-out not written"
    e2e_reg_value "$ENUM\\$KEY_COM2\\0000" UpperFilters >/dev/null || fail "COM2 filter list not created"
    e2e_reg_value "$USBFLAGS" IgnoreHWSerNum04036001 >/dev/null || fail "flag not set"
    [[ $(backups | wc -l) == 1 ]] || fail "backups after the first Apply: $(backups)"

    # A second write of the run keeps the one file and its first state.
    ok "list-select 1006 1"
    ok "set-text 1001 9"
    ok "send-click 1003"
    wait_reloads 2
    [[ $(e2e_reg_value "$PARAMS_COM5" LatencyTimer) == 0x9 ]] || fail "COM5 latency not written"
    ok "send-click 1"
    e2e_wait_exit
    local files
    files=$(backups)
    [[ $(wc -l <<<"$files") == 1 ]] || fail "backups of one run: $files"
    cp "$files" "$CASE_DIR/backup.reg"
    head -c 10 "$files" | grep -q '^REGEDIT4' || fail "backup header: $(head -c 20 "$files")"
    [[ $(basename "$files") =~ ^[0-9]{8}-[0-9]{6}\.reg$ ]] || fail "backup name: $(basename "$files")"

    e2e_reg_import "$files" || fail "reg import of the backup failed"
    state >"$CASE_DIR/restored.txt"
    diff "$CASE_DIR/seeded.txt" "$CASE_DIR/restored.txt" >"$CASE_DIR/restore.diff" \
        || fail "restored state differs: $(tr '\n' ' ' <"$CASE_DIR/restore.diff")"
}

e2e_begin
e2e_case "Apply on two ports, the run's backup restores every value" case_apply_then_restore
e2e_end
