#!/bin/bash
# Fuzzes every libFuzzer target (fuzz/*_fuzz.cpp) for SECONDS each (default
# 600), in a clang build that instruments all the code (coverage, ASan,
# UBSan): build-fuzz. Before fuzzing, ctest replays every target's seeds.
# Inputs that reach new code are merged into fuzz/seeds/<target>/: commit
# them. Prints per target its coverage (libFuzzer's cov:), runs and runs/s.
# A crash (or a timeout or out-of-memory) fails the run and names the input
# libFuzzer wrote to build-fuzz/artifacts/; the other targets still run.
# Targets run side by side, FUZZ_JOBS at a time (default: one per core).
# tools/test.sh runs this for FUZZ_SECONDS (10) as its fuzzing step.
#
# Usage: tools/fuzz.sh [SECONDS] [TARGET...]   (TARGET: e.g. comdb_fuzz)
# Exit status: 0 when every target ran without a crash, 1 otherwise.
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT" || exit 1

secs=${1:-600}
shift $(( $# > 0 ? 1 : 0 ))
[[ $secs =~ ^[1-9][0-9]*$ ]] || { echo "usage: tools/fuzz.sh [SECONDS] [TARGET...]" >&2; exit 2; }

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DVARNOK_FUZZ=ON >/dev/null &&
    cmake --build build-fuzz -j2 --target fuzz_targets varnok_sim &&
    ctest --test-dir build-fuzz -R fuzz --output-on-failure || exit 1

targets=()
if (( $# )); then
    for name in "$@"; do
        [[ -x build-fuzz/$name ]] || { echo "no fuzz target $name" >&2; exit 2; }
        targets+=("build-fuzz/$name")
    done
else
    targets=(build-fuzz/*_fuzz)
fi

mkdir -p build-fuzz/artifacts build-fuzz/corpus

# One target: fuzz, then merge what reached new code into its seeds. The
# report goes to build-fuzz/<target>.report; status 1 on a crash.
fuzz_one() {
    local t=$1 name new log input
    name=$(basename "$t")
    new=build-fuzz/corpus/$name
    log=build-fuzz/$name.log
    rm -rf "$new"
    mkdir -p "$new" "fuzz/seeds/$name"
    exec >"build-fuzz/$name.report"
    # New inputs go to $new first; the merge keeps those that add coverage.
    if ! "$t" -max_total_time="$secs" -print_final_stats=1 \
            -artifact_prefix="build-fuzz/artifacts/$name-" "$new" "fuzz/seeds/$name" >"$log" 2>&1; then
        input=$(sed -n 's/^.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
        echo "$name: FAILED, input ${input:-(none written)}, log $log"
        grep -A 12 'ERROR:' "$log" | head -n 20
        return 1
    fi
    "$t" -merge=1 "fuzz/seeds/$name" "$new" >"$log.merge" 2>&1 ||
        { echo "$name: merge failed, see $log.merge"; return 1; }
    awk -v n="$name" '/^#[0-9]+.*(DONE|pulse|NEW|REDUCE|INITED)/ { cov = $0 }
        /stat::number_of_executed_units/ { execs = $2 }
        /stat::average_exec_per_sec/ { rate = $2 }
        END { sub(/^.*cov: /, "", cov); sub(/ .*/, "", cov)
              printf "%s: cov %s, %s runs, %s/s\n", n, cov, execs, rate }' "$log"
}

# FUZZ_JOBS targets at a time (default: one per core), reports in name order.
jobs=${FUZZ_JOBS:-$(nproc)}
status=0
running=()
for t in "${targets[@]}"; do
    if (( ${#running[@]} >= jobs )); then
        wait "${running[0]}" || status=1
        running=("${running[@]:1}")
    fi
    fuzz_one "$t" &
    running+=($!)
done
for pid in "${running[@]}"; do wait "$pid" || status=1; done
for t in "${targets[@]}"; do cat "build-fuzz/$(basename "$t").report"; done
exit $status
