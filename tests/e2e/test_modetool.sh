#!/bin/bash
# VarnokCfg.exe under Wine against simulated adapters: the adapter firmware
# runs natively on a pseudo-terminal (sim/adapter_main.cpp, program `adapter`)
# that the prefix maps to a COM port, and the test ftd2xx.dll reports the
# matching FTDI interfaces.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/adapters.sh"

EXE=VarnokCfg.exe
CAPTION="Tarnel VarnokCfg v2.3"
NO_DEVICE_TEXT='Only for "Apex" series:\r\nPlease activate the configuration mode of the desired devices.\r\nTherefore you must press the config button for two seconds until the button will light.'

# Bytes the adapter received, as one line of hex pairs.
received() { awk '$2 == "recv" { $1 = ""; $2 = ""; printf "%s", $0 }' "$1" | tr -s ' ' | sed 's/^ //'; }

hex_of() { printf '%b' "$1" | od -An -tx1 -v | tr 'a-f' 'A-F' | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }

start_tool() {  # devices-file
    e2e_app "$EXE" "$1"
    e2e_launch
    e2e_wait_main "$CAPTION" 20000
}

# No adapter: about 100 ms after opening the lists give way to the panels and
# "No device found" is shown; afterwards only "Search Devices" is enabled.
case_no_adapter() {
    cat >"$CASE_DIR/devices.in" <<'EOF'
device id=04036001 loc=22 serial=F0REIGN1 com=40 desc=FT232R USB UART
EOF
    start_tool "$CASE_DIR/devices.in"
    e2e_box "No device found" "$NO_DEVICE_TEXT"
    expect "is-visible 1001" 0
    expect "is-visible 1003" 0
    e2e_screenshot "$E2E_SCREENSHOTS/modetool-no-device.png"
    ok "answer-box No device found 1"
    expect "is-enabled 1002" 1
    local id
    for id in 1001 1003 1005 1012 1014 1019; do
        expect "is-enabled $id" 0
    done
}

# A "Varnok Plus" adapter with four ports and an "Apex" adapter (reduced
# model) on its first data port: both listed, ports with their COM names,
# settings shown; a mode change committed reaches the adapter byte for byte.
case_adapters_and_commit() {
    start_plus_and_apex
    start_tool "$CASE_DIR/devices.in"
    wait_value "list-count 1001" 2 15000
    wait_value "is-visible 1001" 1 5000
    expect "list-text 1001 0" "Varnok Plus 4 (7)"
    expect "list-text 1001 1" "Apex 2"
    expect "list-sel-rows 1001" "0"
    expect "list-count 1003" 4
    local k
    for k in 1 2 3 4; do
        expect "list-text 1003 $((k - 1))" "Port $k   (COM2$k)"
    done
    # The simulated firmware starts port k in mode k with bits k-1.
    expect "get-check 1005" 1
    expect "get-text 1012" "RS232"
    ok "list-multi-select 1003 1"
    expect "get-check 1006" 1
    expect "get-check 1014" 1
    expect "get-check 1015" 0
    expect "is-enabled 1014" 1
    e2e_screenshot "$E2E_SCREENSHOTS/modetool-adapters.png"

    # The Apex adapter: reduced labels, ports without COM names.
    ok "list-multi-select 1001 1"
    expect "list-count 1003" 2
    expect "list-text 1003 0" "Port 1"
    expect "get-text 1005" "RS485 4-wire"
    expect "get-text 1014" "Termination"
    expect "is-visible 1009" 0

    # Port 2 of the first adapter to RS422, then commit.
    ok "list-multi-select 1001 0"
    ok "list-multi-select 1003 1"
    ok "send-click 1011"
    ok "click 1019"
    local deadline=$(( $(e2e_now_ms) + 10000 ))
    until grep -q ' store ' "$CASE_DIR/plus.log"; do
        (( $(e2e_now_ms) > deadline )) && fail "the commit did not reach the adapter"
        sleep 0.1
    done
    wait_value "is-visible 1001" 1 5000
    local settings='\r\n1\r\n1\r\n0\r\n\r\n2\r\n7\r\n1\r\n\r\n3\r\n3\r\n2\r\n\r\n4\r\n4\r\n3\r\n'
    local want
    want="$(hex_of '0\r0\r0\r0\r\r\r96\r98\r') $(hex_of "\r97\r$settings\r99\r98\r")"
    sleep 0.2  # the leave command follows the store
    [[ $(received "$CASE_DIR/plus.log") == "$want" ]] ||
        fail "byte stream: got '$(received "$CASE_DIR/plus.log")', expected '$want'"
    grep -q ' ports 1:1/0 2:7/1 3:3/2 4:4/3$' "$CASE_DIR/plus.log" || fail "stored settings: $(grep ' ports ' "$CASE_DIR/plus.log" | tail -n 1)"
    grep -q ' store ' "$CASE_DIR/apex.log" && fail "the unchanged adapter was written"
    expect "get-check 1005" 1  # shown again from the array: adapter 1, port 1
    ok "list-multi-select 1003 1"
    expect "get-check 1011" 1

    # Real-time cost against the pauses the protocol demands (between the
    # first and the last byte received: query 650 ms, commit of one piece 700 ms).
    awk '
        $2 == "recv" && !qs { qs = $1 }
        $2 == "event" && $3 == "leave" && !ql { ql = $1; next }
        $2 == "recv" && ql && !cs { cs = $1 }
        $2 == "event" && $3 == "leave" && ql { cl = $1 }
        END {
            printf "query: %d ms for 650 ms of pauses (%.3f); commit: %d ms for 700 ms of pauses (%.3f)\n",
                   ql - qs, (ql - qs) / 650, cl - cs, (cl - cs) / 700
        }' "$CASE_DIR/plus.log" | tee "$CASE_DIR/timing.txt" >&2
    [[ -n $E2E_SCREENSHOTS ]] && cp "$CASE_DIR/timing.txt" "$E2E_SCREENSHOTS/modetool-timing.txt"
}

# An adapter that does not answer and one whose settings are out of sequence
# are both left out: "No device found".
case_misbehaving_adapters() {
    start_adapter silent --family config --ports 2 --misbehave silent
    local silent_pty=$PTY
    start_adapter wrong --family config --ports 3 --misbehave wrong-port
    local wrong_pty=$PTY
    map_ports COM20 "$silent_pty" COM21 "$wrong_pty"
    cat >"$CASE_DIR/devices.in" <<'EOF'
device id=04036011 loc=15 serial=VP000001 com=20 desc=Varnok Plus - Config
device id=04036011 loc=25 serial=VP000002 com=21 desc=Varnok Plus - Config
EOF
    start_tool "$CASE_DIR/devices.in"
    e2e_box "No device found" "$NO_DEVICE_TEXT" 1
    received "$CASE_DIR/wrong.log" | grep -q "$(hex_of '96\r98\r')$" ||
        fail "the adapter with the wrong settings was not left in order: $(received "$CASE_DIR/wrong.log")"
}

# No ftd2xx.dll in the system folder: the reason (with the path looked at)
# is named once, then the search fails with -1; "Search Devices" stays
# usable. Copies beside the program and in the working folder are not loaded.
case_no_library() {
    E2E_NO_DLL=1 e2e_app "$EXE"
    mkdir -p "$CASE_DIR/elsewhere"
    cp "$E2E_PLANTEDDLL" "$CASE_DIR/app/"
    cp "$E2E_PLANTEDDLL" "$CASE_DIR/elsewhere/"
    e2e_launch "$CASE_DIR/elsewhere"
    ok "wait-box Error 15000"
    [[ $V == "The FTDI D2XX library (ftd2xx.dll) could not be loaded"* ]] || fail "first box says '$V'"
    [[ ${V,,} == *'system32\\ftd2xx.dll only'* ]] || fail "first box names no path: '$V'"
    [[ ! -e $SIM_LOG.planted ]] || fail "a planted ftd2xx.dll was loaded"
    ok "answer-box Error 1"
    e2e_box Error "EnumVarnokDevices failed (-1)" 1
    e2e_wait_main "$CAPTION" 5000
    expect "is-enabled 1002" 1
    expect "is-enabled 1019" 0
}


# Four adapters searched side by side. Throughout a search started with
# "Search Devices" the UI driver asks the window every 20 ms whether it
# answers (WM_NULL, 100 ms at most each); the adapters come back in the
# order of the device list (not of their COM numbers), and every one has left
# configuration mode. Prints the time from the click to the list and the
# longest time the window did not answer.
case_parallel_search() {
    local order=(22 20 23 21) com k args=()
    for com in "${order[@]}"; do
        start_adapter "com$com" --family config --ports 2 --name "Rack $com"
        args+=("COM$com" "$PTY")
    done
    map_ports "${args[@]}"
    : >"$CASE_DIR/devices.in"
    for k in 0 1 2 3; do
        printf 'device id=04036011 loc=%d serial=VR00000%d com=%d ua="id 1,%d" desc=Varnok Plus - Config\n' \
            $((16 * k + 21)) $((k + 1)) "${order[k]}" $((k + 1)) >>"$CASE_DIR/devices.in"
    done
    start_tool "$CASE_DIR/devices.in"
    wait_value "list-count 1001" 4 15000
    wait_value "is-visible 1001" 1 5000

    ok "watch-search 1002 1001 4 15000"
    local click longest pings missed
    read -r click longest pings missed <<<"$V"
    for k in 0 1 2 3; do
        expect "list-text 1001 $k" "Rack ${order[k]} ($((k + 1)))"
    done
    for com in "${order[@]}"; do
        received "$CASE_DIR/com$com.log" | grep -q "$(hex_of '96\r98\r')$" ||
            fail "COM$com was not left in order: $(received "$CASE_DIR/com$com.log")"
    done
    awk -v c="$click" -v l="$longest" -v p="$pings" -v m="$missed" 'BEGIN {
        printf "search of 4 adapters: %d ms from the click to the list (%.2f x 660 ms); " \
               "longest non-answer %d ms (%d messages, %d not answered in 100 ms)\n", c, c / 660, l, p, m
    }' | tee "$CASE_DIR/parallel.txt" >&2
    [[ -n $E2E_SCREENSHOTS ]] && mkdir -p "$E2E_SCREENSHOTS" && cp "$CASE_DIR/parallel.txt" "$E2E_SCREENSHOTS/modetool-parallel.txt"
    # Bounds with room for a loaded machine; one after another the four take
    # about 3 s, and the window would not answer for as long.
    (( click <= PARALLEL_MAX_CLICK_MS )) || fail "the search took $click ms"
    (( longest <= PARALLEL_MAX_SILENCE_MS )) || fail "the window did not answer for $longest ms"
}

PARALLEL_MAX_CLICK_MS=${PARALLEL_MAX_CLICK_MS:-1650}
PARALLEL_MAX_SILENCE_MS=${PARALLEL_MAX_SILENCE_MS:-500}

e2e_begin
e2e_case "VarnokCfg: no adapter, No device found" case_no_adapter
e2e_case "VarnokCfg: adapters listed, a mode committed" case_adapters_and_commit
e2e_case "VarnokCfg: silent and out-of-sequence adapters are left out" case_misbehaving_adapters
e2e_case "VarnokCfg: missing ftd2xx.dll" case_no_library
e2e_case "VarnokCfg: four adapters searched side by side, the window answers" case_parallel_search
e2e_end
