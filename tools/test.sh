#!/bin/bash
# Installs what is needed, builds natively (warnings as errors) and runs the
# unit tests and fuzz seeds, again with ASan and UBSan, cross-builds the Windows
# programs with mingw-w64 and runs the end-to-end tests under Wine, then builds
# the release (tools/release.sh: zip and installer in dist/) and installs,
# starts and uninstalls it under Wine (tests/e2e/release/test_installer.sh).
# Exit status: non-zero when any step failed.
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

failed=()
step() {  # name command...
    local name=$1 t0=$SECONDS
    shift
    echo "=== $name"
    if "$@"; then
        echo "=== $name: ok ($((SECONDS - t0)) s)"
    else
        echo "=== $name: FAILED ($((SECONDS - t0)) s)"
        failed+=("$name")
    fi
}

native() {  # build-dir cmake-options...
    local dir=$1
    shift
    cmake -S . -B "$dir" "$@" >/dev/null &&
        cmake --build "$dir" -j2 &&
        ctest --test-dir "$dir" -j2 --output-on-failure
}

windows() {
    cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
          -DVARNOK_WERROR=ON >/dev/null &&
        cmake --build build-win -j2 || return 1
    # The programs import Windows system DLLs only; ftd2xx.dll is loaded at run time.
    local exe dll ok=0
    for exe in build-win/VarnokPlus_Configurator.exe build-win/VarnokCfg.exe; do
        [[ -f $exe ]] || { echo "$exe was not built"; ok=1; continue; }
        while read -r dll; do
            case ${dll,,} in
                kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|comdlg32.dll|shell32.dll|advapi32.dll|msvcrt.dll|api-ms-win-*) ;;
                *) echo "$exe imports $dll"; ok=1 ;;
            esac
        done < <(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { print $3 }')
    done
    # Their manifests: DPI awareness, supported systems, execution level.
    python3 "$ROOT/tools/check-manifests.py" build-win/VarnokPlus_Configurator.exe=requireAdministrator \
        build-win/VarnokCfg.exe=asInvoker || ok=1
    return $ok
}

# The release as it would be published, and its installer under Wine.
release() {
    local out setup
    out=$(NO_INSTALL=1 "$ROOT/tools/release.sh") || return 1
    setup=$(grep -- '-setup\.exe$' <<<"$out")
    [[ -f $setup ]] || { echo "tools/release.sh named no installer: $out"; return 1; }
    "$ROOT/tests/e2e/release/test_installer.sh" "$setup"
}

"$ROOT/tools/setup.sh" || { echo "set-up failed"; exit 1; }
step "native build and unit tests" native build -DVARNOK_WERROR=ON
step "ASan+UBSan build and unit tests" native build-asan -DVARNOK_WERROR=ON -DVARNOK_SANITIZE=ON
step "Windows build (mingw-w64)" windows
if [[ " ${failed[*]} " == *" Windows build (mingw-w64) "* ]]; then
    echo "=== end-to-end tests skipped: no Windows build"
    failed+=("end-to-end tests")
else
    step "end-to-end tests under Wine" "$ROOT/tests/e2e/run.sh"
    echo "Screenshots: $ROOT/build-e2e/screenshots/"
fi
step "release packaging and installer test" release

if (( ${#failed[@]} )); then
    echo "FAILED: ${failed[*]}"
    exit 1
fi
echo "All steps passed."
