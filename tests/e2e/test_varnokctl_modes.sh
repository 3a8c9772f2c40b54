#!/bin/bash
# varnokctl.exe's `modes list` and `modes set` under Wine against the
# simulated adapters of the VarnokCfg cases (adapter firmware on
# pseudo-terminals mapped to COM ports, the test ftd2xx.dll): what it lists,
# what a dry run leaves alone, and that a set puts the same bytes on the wire
# as VarnokCfg's "Commit Changes" of the same change.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/adapters.sh"

CTL=varnokctl.exe
CFG_CAPTION="Tarnel VarnokCfg v2.3"

# Bytes the adapter received from log line $2 on, as one line of hex pairs.
received_from() {  # log first-line
    tail -n "+$2" "$1" | awk '$2 == "recv" { $1 = ""; $2 = ""; printf "%s", $0 }' | tr -s ' ' | sed 's/^ //'
}
log_lines() { wc -l <"$1"; }
leaves() { grep -c ' event leave$' "$1" || true; }

# Waits until adapter log $1 holds at least $2 "leave" events.
wait_leaves() {  # log count
    local deadline=$(( $(e2e_now_ms) + 10000 ))
    until (( $(leaves "$1") >= $2 )); do
        (( $(e2e_now_ms) > deadline )) && fail "$1: $(leaves "$1") leave events, expected $2"
        sleep 0.05
    done
}

# Runs varnokctl with the case's devices; its output (without CR) in OUT and
# ERR, its exit status in STATUS.
ctl() {
    STATUS=0
    local t0
    t0=$(e2e_now_ms)
    (
        cd "$CASE_DIR/app"
        VARNOK_SIM_DEVICES=$(e2e_winpath "$SIM_DEVICES") VARNOK_SIM_LOG=$(e2e_winpath "$SIM_LOG") \
            timeout 60 wine "$APP_EXE" "$@"
    ) >"$CASE_DIR/ctl.out" 2>"$CASE_DIR/ctl.err" || STATUS=$?
    OUT=$(tr -d '\r' <"$CASE_DIR/ctl.out")
    ERR=$(tr -d '\r' <"$CASE_DIR/ctl.err")
    printf '$ varnokctl %s\n%s\n%s\n(status %s, %d ms)\n' "$*" "$OUT" "$ERR" "$STATUS" \
        $(( $(e2e_now_ms) - t0 )) >>"$CASE_DIR/ctl.txt"
}

expect_status() {  # status what
    [[ $STATUS == "$1" ]] || fail "$2: status $STATUS, expected $1 (stderr: $ERR)"
}

# One case walks the doors in turn: list (text, JSON), a dry run, a set,
# VarnokCfg's commit of the same change, bad input, no D2XX library.
case_modes_list_and_set() {
    start_plus_and_apex
    e2e_app "$CTL" "$CASE_DIR/devices.in"
    local plus=$CASE_DIR/plus.log apex=$CASE_DIR/apex.log

    # The list: the lines VarnokCfg shows, every port's mode and bits.
    ctl modes list
    expect_status 0 "modes list"
    local want_list
    want_list=$(cat <<'EOF'
1  Varnok Plus 4 (7)  via COM20  (standard model)
   port 1 (COM21): rs485-rts-4w, bias off, txterm off, rxterm off
   port 2 (COM22): rs485-rts-2w, bias on, txterm off, rxterm off
   port 3 (COM23): rs485-rts-2w-echo, bias off, txterm on, rxterm off
   port 4 (COM24): rs485-auto-4w, bias on, txterm on, rxterm off
2  Apex 2  via COM30  (reduced model)
   port 1: rs485-4w, termination off
   port 2: rs485-2w, termination on
EOF
)
    [[ $OUT == "$want_list" ]] || fail "modes list printed '$OUT'"
    wait_leaves "$plus" 1

    ctl --json modes list
    expect_status 0 "modes list --json"
    jq -e '.[0].adapter == "Varnok Plus 4 (7)" and .[0].via == "COM20" and .[0].model == "standard"
           and .[0].ports[1] == {"number": 2, "port": "COM22", "mode": 2, "modeName": "rs485-rts-2w",
                                 "bias": true, "txterm": false, "rxterm": false}
           and .[1].adapter == "Apex 2" and .[1].model == "reduced" and .[1].ports[1].termination
           and (.[1].ports[0] | has("bias") | not)' <<<"$OUT" >/dev/null ||
        fail "modes list --json printed '$OUT'"
    wait_leaves "$plus" 2

    # A dry run searches and sends nothing else.
    local from
    from=$(( $(log_lines "$plus") + 1 ))
    ctl --dry-run modes set 1 2 rs422
    expect_status 0 "dry run"
    [[ $OUT == "Varnok Plus 4 (7) port 2 mode rs485-rts-2w -> rs422" ]] || fail "dry run printed '$OUT'"
    wait_leaves "$plus" 3
    local search
    search="$(hex_of '0\r0\r0\r0\r\r\r96\r98\r')"
    sleep 0.2
    [[ $(received_from "$plus" "$from") == "$search" ]] ||
        fail "the dry run sent '$(received_from "$plus" "$from")'"

    # The set: search and commit of the one adapter.
    from=$(( $(log_lines "$plus") + 1 ))
    local apex_from=$(( $(log_lines "$apex") + 1 ))
    ctl modes set "Varnok Plus 4 (7)" 2 rs422
    expect_status 0 "modes set"
    [[ $OUT == "Varnok Plus 4 (7) port 2 mode rs485-rts-2w -> rs422" ]] || fail "modes set printed '$OUT'"
    wait_leaves "$plus" 5
    sleep 0.2
    local by_ctl
    by_ctl=$(received_from "$plus" "$from")
    grep -q ' ports 1:1/0 2:7/1 3:3/2 4:4/3$' "$plus" || fail "stored: $(grep ' ports ' "$plus" | tail -n 1)"
    received_from "$apex" "$apex_from" | grep -q "$(hex_of '97\r')" && fail "the Apex adapter was written"

    # VarnokCfg, the same change: port 2 of the first adapter to RS422, committed.
    local exe_ctl=$APP_EXE
    e2e_app VarnokCfg.exe "$CASE_DIR/devices.in"
    from=$(( $(log_lines "$plus") + 1 ))
    e2e_launch
    e2e_wait_main "$CFG_CAPTION" 20000
    wait_value "list-count 1001" 2 15000
    wait_value "is-visible 1001" 1 5000
    ok "list-multi-select 1001 0"
    ok "list-multi-select 1003 1"
    ok "send-click 1011"
    ok "click 1019"
    wait_leaves "$plus" 7
    sleep 0.2
    local by_dialog
    by_dialog=$(received_from "$plus" "$from")
    [[ $by_ctl == "$by_dialog" ]] || fail "varnokctl sent '$by_ctl', VarnokCfg '$by_dialog'"
    local settings='\r\n1\r\n1\r\n0\r\n\r\n2\r\n7\r\n1\r\n\r\n3\r\n3\r\n2\r\n\r\n4\r\n4\r\n3\r\n'
    [[ $by_ctl == "$search $(hex_of "\r97\r$settings\r99\r98\r")" ]] || fail "unexpected stream '$by_ctl'"
    APP_EXE=$exe_ctl  # VarnokCfg stays open, idle, until the case ends

    # Bad input: its status, nothing written.
    from=$(( $(log_lines "$plus") + 1 ))
    ctl modes set 3 1 rs422
    expect_status 3 "an adapter that is not there"
    [[ $ERR == *"adapter 3 not found"* ]] || fail "unknown adapter said '$ERR'"
    ctl modes set COM20 1 rs232 bias=on
    expect_status 4 "bits in RS232"
    sleep 0.2
    received_from "$plus" "$from" | grep -q "$(hex_of '97\r')" && fail "bad input reached the adapter"

    # Without the D2XX library: its reason, status 1.
    rm -f "$(e2e_system32)/ftd2xx.dll"
    ctl modes list
    expect_status 1 "no ftd2xx.dll"
    [[ $ERR == "varnokctl: The FTDI D2XX library (ftd2xx.dll) could not be loaded"* ]] ||
        fail "no library said '$ERR'"
}

hex_of() { printf '%b' "$1" | od -An -tx1 -v | tr 'a-f' 'A-F' | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }

e2e_begin
e2e_case "varnokctl: modes list and set send what VarnokCfg's commit sends" case_modes_list_and_set
e2e_end
