#!/bin/bash
# Runs every tests/e2e/test_*.sh under one Xvfb and prints the closing line
# "N passed, N failed". Needs the Windows build (build-win, or $E2E_WIN_BUILD).
# Exit status: 0 when every case passed.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

mkdir -p "$E2E_OUT"
export E2E_RESULTS=$E2E_OUT/results.txt
: >"$E2E_RESULTS"

e2e_start_xvfb || { echo "0 passed, 1 failed"; exit 1; }
trap e2e_stop_xvfb EXIT
export E2E_DISPLAY=$DISPLAY

t0=$(e2e_now_ms)
e2e_make_template || { echo "0 passed, 1 failed"; exit 1; }

files=0
broken=0
for test in "$E2E_ROOT"/tests/e2e/test_*.sh; do
    [[ $# -gt 0 && ! " $* " == *" $(basename "$test" .sh) "* ]] && continue
    files=$((files + 1))
    before=$(wc -l <"$E2E_RESULTS")
    echo "== $(basename "$test")"
    # A whole file gets ten minutes; each case bounds its own waits.
    timeout 600 bash "$test" | grep -v ' passed, .* failed$'
    status=${PIPESTATUS[0]}
    after=$(wc -l <"$E2E_RESULTS")
    if (( status != 0 && status != 1 )) || (( after == before && status != 0 )); then
        echo "FAIL $(basename "$test"): ended with status $status" | tee -a "$E2E_RESULTS"
        broken=$((broken + 1))
    fi
done

passed=$(grep -c '^PASS ' "$E2E_RESULTS")
failed=$(grep -c '^FAIL ' "$E2E_RESULTS")
echo "e2e run: $(( ($(e2e_now_ms) - t0) / 1000 )) s; screenshots in $E2E_SCREENSHOTS"
echo "$passed passed, $failed failed"
(( failed == 0 && files > 0 ))
