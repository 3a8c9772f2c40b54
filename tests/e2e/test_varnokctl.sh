#!/bin/bash
# varnokctl.exe under Wine on the simulated installation (installation.reg,
# devices.txt: COM3, COM11 and COM12 attached, COM10 held open by another
# program): what `list --json` shows against the registry and against the
# configurator's dialog, `set --all`, and a settings document carried from one
# installation to another. Every --json output is judged by the schema in
# docs/ (tests/validate_json.py).
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

# The last output as the schema's $defs/KIND.
schema() {
    printf '%s\n' "$CTL_OUT" >"$CASE_DIR/$1.json"
    python3 "$E2E_ROOT/tests/validate_json.py" "$1" "$CASE_DIR/$1.json" >"$CASE_DIR/schema.txt" 2>&1 ||
        fail "$2 does not match the schema: $(cat "$CASE_DIR/schema.txt")"
}

# The "changed" of the last output.
changed() { jq -r .changed <<<"$CTL_OUT"; }

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
# `set --all latency-timer=1` writes 1 into exactly those ports (also the one
# another program holds open) and reloads the driver once, and says so in
# its --json result; a value out of range is refused with status 4.
case_list_and_set_all() {
    e2e_install
    e2e_app "$EXE"
    ctl --json list
    (( CTL_STATUS == 0 )) || fail "list: status $CTL_STATUS: $(cat "$CASE_DIR/ctl.err")"
    printf '%s\n' "$CTL_OUT" >"$CASE_DIR/list.json"
    schema portList "list --json"
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
    ctl --json --dry-run set --all latency-timer=1
    (( CTL_STATUS == 0 )) || fail "set --all --dry-run: status $CTL_STATUS: $(cat "$CASE_DIR/ctl.err")"
    schema writeResult "set --all --dry-run --json"
    [[ $(changed) == true ]] || fail "the dry run would change nothing: $CTL_OUT"
    ctl --json set --all latency-timer=1
    (( CTL_STATUS == 0 )) || fail "set --all: status $CTL_STATUS: $(cat "$CASE_DIR/ctl.err")"
    schema writeResult "set --all --json"
    # COM12 held 1 already.
    jq -e '.changed and .reloaded and (.backup | test("Backups\\\\[0-9]{8}-[0-9]{6}\\.reg$"))
           and ([.changes[] | select(.setting == "latencyTimer") | .port] == ["COM3", "COM10", "COM11"])' \
        <<<"$CTL_OUT" >/dev/null || fail "set --all --json printed: $CTL_OUT"
    ctl --json set --all latency-timer=1
    [[ $CTL_STATUS == 0 && $(changed) == false ]] || fail "set --all again: $CTL_STATUS $CTL_OUT"
    latencies >"$CASE_DIR/after.txt"
    # The attached ports' keys hold 1 (COM12's held it already), the others
    # what they held.
    sed -E 's/^(VID_0403\+PID_6001\+A1B2C3D4A|VID_0403\+PID_6015\+DN04K2JRA|VID_0403\+PID_6010\+FT5X7Q2L[AB]) .*/\1 0x1/' \
        "$CASE_DIR/before.txt" >"$CASE_DIR/expected.txt"
    diff "$CASE_DIR/expected.txt" "$CASE_DIR/after.txt" >"$CASE_DIR/set.diff" \
        || fail "set --all: $(tr '\n' ' ' <"$CASE_DIR/set.diff")"
    ctl --json --version
    schema version "--version --json"
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
    ctl export -
    schema settingsDocument "export -"
    ctl --json list
    printf '%s\n' "$CTL_OUT" >"$CASE_DIR/first.json"

    e2e_wine_stop
    export WINEPREFIX=$CASE_DIR/prefix2
    e2e_copy_prefix "$WINEPREFIX"
    e2e_install
    e2e_install_testdll
    : >"$SIM_LOG"
    ctl --json import "$(e2e_winpath "$CASE_DIR/site.json")"
    (( CTL_STATUS == 0 )) || fail "import: status $CTL_STATUS: $(cat "$CASE_DIR/ctl.err")"
    schema writeResult "import --json"
    [[ $(changed) == true ]] || fail "import changed nothing: $CTL_OUT"
    [[ $(e2e_sim_log | grep -c 'FT_Reload') == 1 ]] || fail "import reloads: $(e2e_sim_log | tr '\n' ' ')"
    ctl --json import "$(e2e_winpath "$CASE_DIR/site.json")"
    [[ $CTL_STATUS == 0 && $(changed) == false ]] || fail "import again: $CTL_STATUS $CTL_OUT"
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

# The configurator's port row, status line and panel, read for every row
# the dialog lists, against the same installation's `list --json`: the same
# attached ports by COM name (read from the "COM Port Assignment" dialog,
# since the rows are drawn), and for each the description, serial, ids, the
# four numbers and the six check boxes. The FT230X held open by another
# program has a row without a COM name and zeros the dialog did not read:
# `list` must not report it as an attached port.
case_list_matches_dialog() {
    e2e_install
    e2e_app "$EXE"
    ctl --json list
    (( CTL_STATUS == 0 )) || fail "list: status $CTL_STATUS: $(cat "$CASE_DIR/ctl.err")"
    printf '%s\n' "$CTL_OUT" >"$CASE_DIR/list.json"

    e2e_app VarnokPlus_Configurator.exe
    e2e_launch
    e2e_wait_main
    # The rows of start-up: status line and panel of each, "status|values".
    local rows row id values status name open
    ok "list-count 1006"
    rows=$V
    (( rows > 0 )) || fail "the dialog lists no port"
    : >"$CASE_DIR/panel.txt"
    for (( row = 0; row < rows; row++ )); do
        ok "list-select 1006 $row"
        ok "get-text 40019"
        status=$V
        values=
        for id in 1004 1005 1007 1001; do ok "get-text $id"; values+="$V "; done
        for id in 1014 1008 1009 1010 1011 1012; do ok "get-check $id"; values+="$V "; done
        printf '%s|%s\n' "$status" "${values% }" >>"$CASE_DIR/panel.txt"
    done
    open=$(sed -n '1s/.*; Open COM Ports: \([0-9]*\)|.*/\1/p' "$CASE_DIR/panel.txt")
    [[ -n $open ]] || fail "no 'Open COM Ports' in the status line: $(head -n 1 "$CASE_DIR/panel.txt")"

    # Refresh keeps the rows that have a COM name; the name of each is the
    # one the rename dialog shows (its Cancel refreshes the list again).
    ok "send-click 1000"
    ok "list-count 1006"
    rows=$V
    : >"$CASE_DIR/named.txt"
    for (( row = 0; row < rows; row++ )); do
        ok "list-select 1006 $row"
        ok "get-text 40019"
        status=$V
        ok "click 40004"
        ok "wait-window COM Port Assignment 5000"
        ok "get-text 40007"
        name=$V
        ok "click 2"
        ok "wait-gone COM Port Assignment 5000"
        e2e_wait_main
        [[ $name == COM* ]] || fail "row $row ($status) has the name '$name'"
        grep -qF -- "$status|" "$CASE_DIR/panel.txt" || fail "row $row after Refresh was not listed at start-up: $status"
        printf '%s|%s\n' "$name" "$status" >>"$CASE_DIR/named.txt"
    done

    # The same ports on both sides, in the same order.
    local json_ports dialog_ports
    json_ports=$(jq -r '[.[] | select(.attached) | .port] | join(" ")' "$CASE_DIR/list.json")
    dialog_ports=$(cut -d'|' -f1 "$CASE_DIR/named.txt" | paste -sd' ')
    [[ $json_ports == "$dialog_ports" ]] || fail "list shows '$json_ports', the dialog '$dialog_ports'"
    [[ $(jq 'length' "$CASE_DIR/list.json") == "$rows" ]] || fail "list shows ports that are not attached"

    # Each port's values as the dialog would show them, from its JSON entry;
    # a null (a value that could not be read) shows as "null" and differs.
    local want got
    while IFS='|' read -r name status; do
        want=$(jq -r --arg p "$name" --arg open "$open" '
            def n: if . == null then "null" else tostring end;
            def b: if . == null then "null" elif . then "1" else "0" end;
            def hex: if . == null then "null" else ascii_downcase | sub("^0x0*"; "") | if . == "" then "0" else . end end;
            .[] | select(.port == $p) |
            " \(.description), SN: \(.serial),  ID: \(.deviceId | hex), LocalID: \(.locationId | hex); Open COM Ports: \($open)|" +
            ([.settings | (.minReadTimeout, .minWriteTimeout, .pollingPeriod, .latencyTimer | n),
              (.serialEnumerator, .serialPrinter, .cancelIfPowerOff, .eventOnSurpriseRemoval,
               .setRtsOnClose, .disableModemCtrlAtStartup | b)] | join(" "))' "$CASE_DIR/list.json")
        got=$(grep -F -- "$status|" "$CASE_DIR/panel.txt" | head -n 1)
        [[ $want == "$got" ]] || fail "$name: list shows '$want', the dialog '$got'"
    done <"$CASE_DIR/named.txt"

    # Rows of start-up without a COM name: not attached ports in the list.
    local location unnamed=0
    while IFS='|' read -r status values; do
        grep -qF -- "|$status" "$CASE_DIR/named.txt" && continue
        unnamed=$((unnamed + 1))
        location=$(sed -n 's/.*LocalID: \([0-9a-f]*\);.*/\1/p' <<<"$status")
        [[ -n $location ]] || fail "a row without a COM name and a location: $status"
        [[ $(jq --arg l "$location" '[.[] | select(.locationId != null) |
                  select(.locationId | ascii_downcase | sub("^0x0*"; "") == $l)] | length' \
              "$CASE_DIR/list.json") == 0 ]] || fail "list reports the unnamed row's device as attached: $status"
    done <"$CASE_DIR/panel.txt"
    (( unnamed == 1 )) || fail "$unnamed rows without a COM name at start-up, expected the FT230X's"
    [[ -z $(e2e_sim_log) ]] || fail "reading changed something: $(e2e_sim_log)"
}

e2e_begin
e2e_case "varnokctl list --json and set --all latency-timer=1" case_list_and_set_all
e2e_case "varnokctl list --json agrees with the configurator's dialog" case_list_matches_dialog
e2e_case "varnokctl export from one installation, import into another" case_export_import
e2e_end
