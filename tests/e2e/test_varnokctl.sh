#!/bin/bash
# varnokctl.exe under Wine on the simulated installation (installation.reg,
# devices.txt: COM3, COM11 and COM12 attached, COM10 held open by another
# program): what `list --json` shows against the registry, `set --all`, and a
# settings document carried from one installation to another.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

EXE=varnokctl.exe
ENUM='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS'

# Runs varnokctl with the arguments given; standard output (without CRs) in
# CTL_OUT, standard error in $CASE_DIR/ctl.err, the exit status in CTL_STATUS.
ctl() {
    CTL_STATUS=0
    (
        cd "$CASE_DIR/app"
        VARNOK_SIM_DEVICES=$(e2e_winpath "$SIM_DEVICES") VARNOK_SIM_LOG=$(e2e_winpath "$SIM_LOG") \
            exec timeout 60 wine "$APP_EXE" "$@"
    ) >"$CASE_DIR/ctl.out" 2>"$CASE_DIR/ctl.err" || CTL_STATUS=$?
    CTL_OUT=$(tr -d '\r' <"$CASE_DIR/ctl.out")
}

params() { printf '%s\\%s\\0000\\Device Parameters' "$ENUM" "$1"; }

# Every instance key's LatencyTimer, "key value" per line.
latencies() {
    local k
    for k in VID_0403+PID_6001+A1B2C3D4A VID_0403+PID_6001+B7C8D9E0A VID_0403+PID_6001+C0FFEE01A \
             VID_0403+PID_6015+DN04K2JRA VID_0403+PID_6010+FT5X7Q2LA VID_0403+PID_6010+FT5X7Q2LB; do
        echo "$k $(e2e_reg_value "$(params "$k")" LatencyTimer || echo absent)"
    done
}

# `list --json` names the attached ports with the values the registry holds;
# `set --all latency-timer=1` writes 1 into exactly those ports and reloads
# the driver once; a value out of range is refused with status 4.
case_list_and_set_all() {
    e2e_install
    e2e_app "$EXE"
    ctl --json list
    (( CTL_STATUS == 0 )) || fail "list: status $CTL_STATUS: $(cat "$CASE_DIR/ctl.err")"
    printf '%s\n' "$CTL_OUT" >"$CASE_DIR/list.json"
    local want k v
    python3 - "$CASE_DIR/list.json" >"$CASE_DIR/ports.txt" <<'PY' || fail "list --json: $(cat "$CASE_DIR/ports.txt")"
import json, sys
ports = json.load(open(sys.argv[1]))
names = [p["port"] for p in ports]
assert names == ["COM3", "COM11", "COM12"], names
com3 = ports[0]
assert com3["serial"] == "A1B2C3D4A" and com3["description"] == "FT232R USB UART", com3
assert com3["deviceId"] == "0x04036001" and com3["locationId"] == "0x00000011", com3
assert com3["attached"] is True and com3["settings"]["serialEnumerator"] is True, com3
for p in ports:
    key = "VID_%s+PID_%s+%s" % (p["deviceId"][2:6], p["deviceId"][6:10], p["serial"])
    s = p["settings"]
    print(key, s["minReadTimeout"], s["minWriteTimeout"], s["pollingPeriod"], s["latencyTimer"])
PY
    while read -r k mr mw pp lt; do
        for v in "MinReadTimeout $mr" "MinWriteTimeout $mw" "PollingPeriod $pp" "LatencyTimer $lt"; do
            want=$(printf '0x%x' "${v#* }")
            [[ $(e2e_reg_value "$(params "$k")" "${v% *}") == "$want" ]] \
                || fail "$k ${v% *}: list shows ${v#* }, the registry $(e2e_reg_value "$(params "$k")" "${v% *}")"
        done
    done <"$CASE_DIR/ports.txt"

    latencies >"$CASE_DIR/before.txt"
    ctl set --all latency-timer=1
    (( CTL_STATUS == 0 )) || fail "set --all: status $CTL_STATUS: $(cat "$CASE_DIR/ctl.err")"
    [[ $CTL_OUT == *"COM3 latencyTimer 16 -> 1"* ]] || fail "set --all printed: $CTL_OUT"
    latencies >"$CASE_DIR/after.txt"
    # The attached ports' keys hold 1 (COM12's held it already), the others
    # what they held.
    sed -E 's/^(VID_0403\+PID_6001\+A1B2C3D4A|VID_0403\+PID_6010\+FT5X7Q2L[AB]) .*/\1 0x1/' \
        "$CASE_DIR/before.txt" >"$CASE_DIR/expected.txt"
    diff "$CASE_DIR/expected.txt" "$CASE_DIR/after.txt" >"$CASE_DIR/set.diff" \
        || fail "set --all: $(tr '\n' ' ' <"$CASE_DIR/set.diff")"
    [[ $CTL_OUT != *COM12* ]] || fail "COM12 already had 1: $CTL_OUT"
    [[ $(find "$WINEPREFIX/drive_c/users" -path '*/Varnok Plus/Backups/*.reg' | wc -l) == 1 ]] \
        || fail "no backup before the write"
    [[ $(e2e_sim_log | grep -c 'FT_Reload') == 1 ]] || fail "reloads: $(e2e_sim_log | tr '\n' ' ')"

    ctl set COM3 latency-timer=256
    (( CTL_STATUS == 4 )) || fail "latency 256: status $CTL_STATUS"
    grep -q 'latency-timer' "$CASE_DIR/ctl.err" || fail "latency 256: $(cat "$CASE_DIR/ctl.err")"
    ctl set COM42 latency-timer=1
    (( CTL_STATUS == 3 )) || fail "COM42: status $CTL_STATUS"
    [[ $(e2e_sim_log | grep -c 'FT_Reload') == 1 ]] || fail "a refused command reloaded"
}

# Settings changed on one installation, exported, and imported into a second
# freshly seeded one give the same `list --json` there.
case_export_import() {
    e2e_install
    e2e_app "$EXE"
    ctl set COM3 latency-timer=1 polling-period=5 serial-enumerator=off serial-printer=on
    (( CTL_STATUS == 0 )) || fail "set: status $CTL_STATUS: $(cat "$CASE_DIR/ctl.err")"
    ctl buffered COM11 on size=2048
    (( CTL_STATUS == 0 )) || fail "buffered: status $CTL_STATUS: $(cat "$CASE_DIR/ctl.err")"
    ctl export "$(e2e_winpath "$CASE_DIR/site.json")"
    (( CTL_STATUS == 0 )) || fail "export: status $CTL_STATUS: $(cat "$CASE_DIR/ctl.err")"
    ctl --json list
    printf '%s\n' "$CTL_OUT" >"$CASE_DIR/first.json"

    e2e_wine_stop
    export WINEPREFIX=$CASE_DIR/prefix2
    e2e_copy_prefix "$WINEPREFIX"
    e2e_install
    e2e_install_testdll
    : >"$SIM_LOG"
    ctl import "$(e2e_winpath "$CASE_DIR/site.json")"
    (( CTL_STATUS == 0 )) || fail "import: status $CTL_STATUS: $(cat "$CASE_DIR/ctl.err")"
    [[ $(e2e_sim_log | grep -c 'FT_Reload') == 1 ]] || fail "import reloads: $(e2e_sim_log | tr '\n' ' ')"
    ctl --json list
    printf '%s\n' "$CTL_OUT" >"$CASE_DIR/second.json"
    python3 -c 'import json,sys; a,b=(json.load(open(f)) for f in sys.argv[1:]); sys.exit(a != b)' \
        "$CASE_DIR/first.json" "$CASE_DIR/second.json" \
        || fail "the imported installation lists differently (first.json, second.json)"
    [[ $(e2e_reg_value "$(params VID_0403+PID_6010+FT5X7Q2LA)" WriteBufferSize) == 0x800 ]] \
        || fail "COM11 WriteBufferSize not imported"

    printf '{"format": "varnokplus-settings", "version": 2, "ports": []}' >"$CASE_DIR/v2.json"
    ctl import "$(e2e_winpath "$CASE_DIR/v2.json")"
    (( CTL_STATUS == 4 )) || fail "a version 2 document: status $CTL_STATUS"
    e2e_wine_stop
    rm -rf "$CASE_DIR/prefix2"
}

e2e_begin
e2e_case "varnokctl list --json and set --all latency-timer=1" case_list_and_set_all
e2e_case "varnokctl export from one installation, import into another" case_export_import
e2e_end
