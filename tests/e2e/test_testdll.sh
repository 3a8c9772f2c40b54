#!/bin/bash
# The test ftd2xx.dll under Wine, called through its exports the way the
# programs call them (LoadLibrary, GetProcAddress, WINAPI): the device file,
# the log, a missing or broken device file.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

probe() {  # devices-file-or-empty args... ; output in OUT
    mkdir -p "$CASE_DIR/app"
    cp "$E2E_D2XXPROBE" "$CASE_DIR/app/"
    e2e_install_testdll
    SIM_LOG=$CASE_DIR/sim.log
    local devices=$1
    shift
    OUT=$(cd "$CASE_DIR/app" &&
          VARNOK_SIM_DEVICES=${devices:+$(e2e_winpath "$devices")} VARNOK_SIM_LOG=$(e2e_winpath "$SIM_LOG") \
          timeout 60 wine d2xxprobe.exe "$@" | tr -d '\r') || fail "d2xxprobe $* failed: $OUT"
}

case_lists_devices() {
    probe "$E2E_DATA/devices.txt" list
    local want
    want=$(cat <<'EOF2'
count 0 4
device 0 status=0 flags=0 type=5 id=04036001 loc=11 serial=A1B2C3D4 desc=FT232R USB UART
  com 0 3 ua 0 0
  close 0
device 1 status=0 flags=0 type=4 id=04036010 loc=21 serial=FT5X7Q2LA desc=Dual RS232 A
  com 0 11 ua 0 0
  close 0
device 2 status=0 flags=0 type=4 id=04036010 loc=22 serial=FT5X7Q2LB desc=Dual RS232 B
  com 0 12 ua 0 0
  close 0
device 3 status=0 flags=1 type=12 id=04036015 loc=31 serial=DN04K2JR desc=FT230X Basic UART
  open 3
open-index-0 0
EOF2
)
    [[ $OUT == "$want" ]] || fail "probe output differs: $(diff <(echo "$want") <(echo "$OUT") | tr '\n' ' ')"
    [[ ! -s $SIM_LOG ]] || fail "reading changed something: $(cat "$SIM_LOG")"
}

case_node_list_and_user_area() {
    printf 'device id=04036001 loc=5 serial=0123456789ABCDEF ua="1,25" com=7 desc=Full serial\n' \
        >"$CASE_DIR/dev.txt"
    probe "$CASE_DIR/dev.txt" nodes
    [[ $OUT == *"node 0 flags=0 type=5 id=04036001 loc=5 serial=0123456789ABCDEF desc=Full serial"* ]] \
        || fail "node list: $OUT"
    probe "$CASE_DIR/dev.txt" list
    [[ $OUT == *"uaread 0 4 ,152"* ]] || fail "user area: $OUT"
}

case_reload_is_logged() {
    probe "$E2E_DATA/devices.txt" reload 0403 0000
    [[ $OUT == "reload 0" ]] || fail "reload answered: $OUT"
    probe "$E2E_DATA/devices.txt" reload 0 0
    [[ $(tr -d '\r' <"$SIM_LOG") == $'FT_Reload 0x0403 0x0000\nFT_Reload 0x0000 0x0000' ]] \
        || fail "log: $(cat "$SIM_LOG")"
}

case_bad_device_file() {
    printf 'device id=04036001 loc=1 com=3\ndevice com=999\n' >"$CASE_DIR/bad.txt"
    probe "$CASE_DIR/bad.txt" list
    [[ $OUT == "count 0 0"* ]] || fail "a broken file still lists devices: $OUT"
    grep -q 'bad.txt: line 2: bad COM number; no devices' "$SIM_LOG" || fail "log: $(cat "$SIM_LOG")"
    probe "" list
    [[ $OUT == "count 0 0"* ]] || fail "no file still lists devices: $OUT"
    probe "$CASE_DIR/missing.txt" list
    [[ $OUT == "count 0 0"* ]] || fail "a missing file lists devices: $OUT"
    grep -q 'cannot read .*missing.txt; no devices' "$SIM_LOG" || fail "log: $(cat "$SIM_LOG")"
}

e2e_begin
e2e_case "test DLL lists the device file" case_lists_devices
e2e_case "test DLL node list and user area" case_node_list_and_user_area
e2e_case "test DLL logs reloads" case_reload_is_logged
e2e_case "test DLL with a bad device file has no devices" case_bad_device_file
e2e_end
