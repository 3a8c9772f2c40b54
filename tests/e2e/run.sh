#!/bin/bash
# Runs every tests/e2e/test_*.sh (or those named) in E2E_JOBS lanes side by
# side, each under an Xvfb of its own, and prints the closing line
# "N passed, N failed". Needs the Windows build (build-win, or $E2E_WIN_BUILD).
# Exit status: 0 when every case passed.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

mkdir -p "$E2E_OUT"
export E2E_RESULTS=$E2E_OUT/results.txt
: >"$E2E_RESULTS"

t0=$(e2e_now_ms)
e2e_make_template || { echo "0 passed, 1 failed"; exit 1; }

tests=()
for test in "$E2E_ROOT"/tests/e2e/test_*.sh; do
    [[ $# -gt 0 && ! " $* " == *" $(basename "$test" .sh) "* ]] && continue
    tests+=("$test")
done

# One lane runs its files one after another under an X server of its own;
# every case has a Wine prefix of its own, so lanes share nothing but the
# results file, to which each case appends one line.
run_lane() {  # lane files...
    local lane=$1 test status before after
    shift
    export E2E_LANE=$lane
    e2e_start_xvfb || { echo "FAIL lane $lane: Xvfb did not start" | tee -a "$E2E_RESULTS"; return; }
    trap e2e_stop_xvfb EXIT
    export E2E_DISPLAY=$DISPLAY
    for test in "$@"; do
        before=$(grep -c . "$E2E_RESULTS")
        echo "== $(basename "$test")"
        # A whole file gets ten minutes; each case bounds its own waits.
        timeout 600 bash "$test" | grep -v ' passed, .* failed$'
        status=${PIPESTATUS[0]}
        after=$(grep -c . "$E2E_RESULTS")
        if (( status != 0 && status != 1 )) || (( after == before && status != 0 )); then
            echo "FAIL $(basename "$test"): ended with status $status" | tee -a "$E2E_RESULTS"
        fi
    done
}

# E2E_JOBS lanes (default 2, one per core), the files dealt out longest
# first by their number of cases, each lane's output shown whole when it
# ends.
jobs=${E2E_JOBS:-2}
mapfile -t order < <(for t in "${tests[@]}"; do
                         printf '%s %s\n' "$(grep -c 'e2e_case ' "$t")" "$t"
                     done | sort -rn | awk '{ print $2 }')
declare -a lanes
for i in "${!order[@]}"; do
    lanes[i % jobs]+="${order[i]} "
done
pids=()
for ((lane = 0; lane < jobs; lane++)); do
    [[ -n ${lanes[lane]:-} ]] || continue
    # shellcheck disable=SC2086
    run_lane "$lane" ${lanes[lane]} >"$E2E_OUT/lane$lane.log" 2>&1 &
    pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid"; done
for ((lane = 0; lane < jobs; lane++)); do
    [[ -f $E2E_OUT/lane$lane.log ]] && cat "$E2E_OUT/lane$lane.log"
done

passed=$(grep -c '^PASS ' "$E2E_RESULTS")
failed=$(grep -c '^FAIL ' "$E2E_RESULTS")
echo "e2e run: $(( ($(e2e_now_ms) - t0) / 1000 )) s in $jobs lanes; screenshots in $E2E_SCREENSHOTS"
echo "$passed passed, $failed failed"
(( failed == 0 && ${#tests[@]} > 0 ))
