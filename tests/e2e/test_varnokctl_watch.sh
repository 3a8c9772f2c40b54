#!/bin/bash
# varnokctl watch and the profile watcher service under Wine, on the
# simulated installation: a device "plugged in" while it runs is a new
# instance key with the driver's defaults (reg import) and a new line in the
# test ftd2xx.dll's device file, which the library reads again on each list.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

EXE=varnokctl.exe
ENUM='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS'
PROFILE_JSON='{"format": "varnokplus-settings", "version": 1, "ports": [
  {"match": "*", "settings": {"latencyTimer": 2, "serialEnumerator": false}}]}'

inst() { printf '%s\\VID_0403+PID_6001+%s\\0000' "$ENUM" "$1"; }

# Plugs in a single-port FT232R: chip serial $1 (its key serial gets the
# port letter A), COM $2, location $3, with "flags=1 open=0" as $4 when a
# program holds it open. The driver's defaults: latency 16, serial
# enumerator on.
plug_in() {
    printf 'device id=04036001 loc=%s serial=%s com=%s type=5 %s desc=FT232R USB UART\n' \
        "$3" "$1" "$2" "${4:-}" >>"$SIM_DEVICES"
    cat >"$CASE_DIR/plug-$1.reg" <<EOF
REGEDIT4

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+${1}A\\0000]
"ConfigFlags"=dword:00000000
"UpperFilters"=hex(7):73,65,72,65,6e,75,6d,00,00

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+${1}A\\0000\\Device Parameters]
"PortName"="COM$2"
"MinReadTimeout"=dword:00000000
"MinWriteTimeout"=dword:00000000
"PollingPeriod"=dword:00000000
"LatencyTimer"=dword:00000010
EOF
    e2e_reg_import "$CASE_DIR/plug-$1.reg" || fail "reg import of $1 failed"
}

# "2 off" when the port of key serial $1 follows the profile, "16 on" with
# the driver's defaults.
values_of() {
    local lt filters=off
    lt=$(e2e_reg_value "$(inst "$1")\\Device Parameters" LatencyTimer) || lt=absent
    e2e_reg_value "$(inst "$1")" UpperFilters >/dev/null && filters=on
    echo "$((lt)) $filters"
}

# Waits up to $2 ms until the port of key serial $1 follows the profile;
# prints how long it took.
wait_profile() {
    local t0 deadline
    t0=$(e2e_now_ms)
    deadline=$((t0 + $2))
    until [[ $(values_of "$1") == "2 off" ]]; do
        (( $(e2e_now_ms) > deadline )) && fail "$1 does not follow the profile after $2 ms: $(values_of "$1")"
        sleep 0.1
    done
    echo $(( $(e2e_now_ms) - t0 ))
}

# Waits up to $3 ms for a line matching $2 in file $1.
wait_line() {
    local deadline=$(( $(e2e_now_ms) + $3 ))
    until tr -d '\r' <"$1" 2>/dev/null | grep -q -- "$2"; do
        (( $(e2e_now_ms) > deadline )) && fail "no line '$2' in $(basename "$1"): $(tr '\r\n' ' |' <"$1" 2>/dev/null)"
        sleep 0.1
    done
}

cycles() { e2e_sim_log | grep -c '^FT_CyclePort' || true; }

# The backups of the case, oldest first.
backups() { find "$WINEPREFIX/drive_c" -path '*Varnok Plus/Backups/*.reg' -printf '%f %p\n' | sort | cut -d' ' -f2-; }

# watch applies the profile at its start and to each device that appears
# (within 2 s, its old values in one backup of its own, FT_CyclePort for it
# alone); a device a program holds open is written, not restarted, and its
# line says so; Ctrl-C ends the run with 130.
case_watch() {
    e2e_install
    e2e_app "$EXE"
    printf '%s\n' "$PROFILE_JSON" >"$CASE_DIR/profile.json"
    (
        cd "$CASE_DIR/app"
        VARNOK_SIM_DEVICES=$(e2e_winpath "$SIM_DEVICES") VARNOK_SIM_LOG=$(e2e_winpath "$SIM_LOG") \
            exec wine "$APP_EXE" watch "$(e2e_winpath "$CASE_DIR/profile.json")"
    ) >"$CASE_DIR/watch.out" 2>"$CASE_DIR/watch.err" &
    APP_PID=$!
    wait_line "$CASE_DIR/watch.out" '^installed ports: COM3 latencyTimer 16 -> 2' 20000
    [[ $(backups | wc -l) == 1 ]] || fail "backups after the start: $(backups)"
    [[ $(cycles) == 0 ]] || fail "a device was restarted at the start: $(e2e_sim_log)"

    plug_in NEW00001 20 41
    e2e_log "NEW00001 followed the profile after $(wait_profile NEW00001A 2000) ms"
    wait_line "$CASE_DIR/watch.out" '^COM20 (new): latencyTimer 16 -> 2, serialEnumerator on -> off; backup .*; restarted$' 2000
    [[ $(e2e_sim_log | grep '^FT_CyclePort') == 'FT_CyclePort loc=0x41 serial=NEW00001' ]] \
        || fail "restarts: $(e2e_sim_log | tr '\n' '|')"
    [[ $(backups | wc -l) == 2 ]] || fail "backups: $(backups)"
    local backup
    backup=$(backups | tail -n 1)
    tr -d '\0' <"$backup" >"$CASE_DIR/new-backup.reg"
    grep -q 'NEW00001A\\0000\\Device Parameters\]' "$CASE_DIR/new-backup.reg" &&
        grep -q '"LatencyTimer"=dword:00000010' "$CASE_DIR/new-backup.reg" &&
        grep -q '"UpperFilters"=hex(7):73,65,72,65,6e,75,6d,00,00' "$CASE_DIR/new-backup.reg" ||
        fail "the backup does not hold NEW00001A's values as they were: $(tr '\r\n' '  ' <"$CASE_DIR/new-backup.reg")"
    grep -q 'A1B2C3D4A' "$CASE_DIR/new-backup.reg" && fail "the new port's backup holds other ports"

    plug_in HELD0001 21 42 'flags=1 open=0'
    wait_profile HELD0001A 2000 >/dev/null
    wait_line "$CASE_DIR/watch.out" '^COM21 (new): .*; held open by a program: the values take effect at the next plug-in$' 2000
    [[ $(cycles) == 1 ]] || fail "the held device was restarted: $(e2e_sim_log | tr '\n' '|')"

    # Ctrl-C while it waits ends the wait at once (a port under way would
    # be finished first: the unit tests stop it in the middle of one).
    sleep 0.5
    kill -INT "$APP_PID"
    e2e_wait_pid "$APP_PID" 3000 || fail "watch did not end within 3 s of Ctrl-C"
    local status=0
    wait "$APP_PID" || status=$?
    APP_PID=
    (( status == 130 )) || fail "Ctrl-C: status $status: $(cat "$CASE_DIR/watch.err")"
    [[ -z $(tail -c 1 "$CASE_DIR/watch.out" | tr -d '\r\n') ]] || fail "the last line was cut"
    [[ ! -s $CASE_DIR/watch.err ]] || fail "watch said on standard error: $(cat "$CASE_DIR/watch.err")"
}

# The service: installed with a profile it copies to ProgramData, running,
# writing a device that appears and logging it, stopped and removed.
case_service() {
    e2e_install
    e2e_app "$EXE"
    # The service manager gives a service the system's environment as it
    # was when the manager started: the test library's files are named
    # there, then the prefix starts again.
    local v
    for v in "VARNOK_SIM_DEVICES $SIM_DEVICES" "VARNOK_SIM_LOG $SIM_LOG"; do
        timeout 30 wine reg add 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' \
            /v "${v%% *}" /t REG_SZ /d "$(e2e_winpath "${v#* }")" /f >/dev/null 2>&1 \
            || fail "reg add ${v%% *} failed"
    done
    e2e_wine_stop
    e2e_wine_keep
    printf '%s\n' "$PROFILE_JSON" >"$CASE_DIR/profile.json"
    local data="$WINEPREFIX/drive_c/ProgramData/Varnok Plus" status
    # Output into files: the service manager, which the first program
    # starts, keeps what that program had open (a pipe would never end).
    ctl service install "$(e2e_winpath "$CASE_DIR/profile.json")" || fail "service install: $(cat "$CASE_DIR/ctl.out")"
    cmp -s "$CASE_DIR/profile.json" "$data/profile.json" || fail "the profile was not copied"
    timeout 30 wine sc query VarnokPlusWatch >"$CASE_DIR/sc.out" 2>&1
    grep -q 'STATE *: 4 *RUNNING' "$CASE_DIR/sc.out" || fail "sc query: $(cat "$CASE_DIR/sc.out")"
    wait_line "$data/watch.log" ' installed ports: COM3 latencyTimer 16 -> 2' 20000

    plug_in NEW00001 20 41
    e2e_log "the service wrote NEW00001 after $(wait_profile NEW00001A 2000) ms"
    wait_line "$data/watch.log" ' COM20 (new): latencyTimer 16 -> 2, serialEnumerator on -> off; backup .*; restarted' 2000
    [[ $(e2e_sim_log | grep '^FT_CyclePort') == 'FT_CyclePort loc=0x41 serial=NEW00001' ]] \
        || fail "restarts: $(e2e_sim_log | tr '\n' '|')"
    [[ -n $(find "$data/Backups" -name '*.reg') ]] || fail "no backup beside the service's log"

    timeout 30 wine net stop VarnokPlusWatch >"$CASE_DIR/net.out" 2>&1 || fail "net stop: $(cat "$CASE_DIR/net.out")"
    wait_line "$data/watch.log" ' stopped$' 5000
    ctl service uninstall || fail "service uninstall: $(cat "$CASE_DIR/ctl.out")"
    status=0
    ctl service status || status=$?
    (( status == 3 )) && grep -q "not installed" "$CASE_DIR/ctl.out" \
        || fail "after uninstall: status $status: $(cat "$CASE_DIR/ctl.out")"
}

# varnokctl with the arguments given, output in $CASE_DIR/ctl.out.
ctl() {
    (cd "$CASE_DIR/app" && timeout 60 wine "$APP_EXE" "$@") >"$CASE_DIR/ctl.out" 2>&1
}

e2e_begin
e2e_case "varnokctl watch: a device that appears gets the profile; held open; Ctrl-C" case_watch
e2e_case "varnokctl service: install, a device that appears, stop, uninstall" case_service
e2e_end
