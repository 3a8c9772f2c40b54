#!/bin/bash
# Installs what is needed, builds natively with GCC (warnings as errors) and
# runs the unit tests and fuzz seeds, then once more in one clang build with
# ASan, UBSan and libFuzzer's coverage (its warnings too as errors), tests
# varnokctl for Linux on a fake device tree and its Debian package, fuzzes
# every parser for a fixed time (growing fuzz/seeds/), cross-builds the Windows
# programs and the unit tests with mingw-w64 and runs the end-to-end tests and
# those unit tests under Wine, then builds the release (tools/release.sh: zip,
# installer, MSI package and varnokctl's .deb in dist/), installs, starts and
# uninstalls both installers under Wine (tests/e2e/release/test_installer.sh,
# test_msi.sh) and has lintian judge the .deb, which it installs, runs and
# purges with dpkg in a temporary root (tests/linux/test_deb.sh).
# Every build goes through ccache, so that a second run on the same machine
# compiles only what changed. Each step's time and the total are printed.
# Exit status: non-zero when any step failed.
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
started=$SECONDS

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
        ctest --test-dir "$dir" -j2 --output-on-failure -LE linux
}

# varnokctl for Linux (built by the native step): its tests on a fake
# udev/sysfs tree under umockdev, and its Debian package.
linux() {
    cmake --build build -j2 --target varnokctl adapter &&
        ctest --test-dir build --output-on-failure -L linux
}

# The same with clang, ASan and UBSan in the build the fuzz step then uses:
# clang's warnings and its reading of the language join GCC's, and every
# unit test runs with the sanitizers.
clang_sanitized() {
    (export CC=clang CXX=clang++ && native build-fuzz -DVARNOK_WERROR=ON -DVARNOK_FUZZ=ON)
}

# libFuzzer on every fuzz target for FUZZ_SECONDS (default 10) each, in a
# clang build that instruments all the code (coverage, ASan, UBSan):
# tools/fuzz.sh, which also runs on its own for longer. Inputs that reach new
# code are merged into fuzz/seeds/<target>/: commit them. A crash fails the
# step; its input is in build-fuzz/artifacts/.
fuzz() {
    "$ROOT/tools/fuzz.sh" "${FUZZ_SECONDS:-10}"
}

windows() {
    forget_stale_windows_build build-win
    cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
          -DVARNOK_WERROR=ON >/dev/null &&
        cmake --build build-win -j2 && cmake --build build-win -j2 --target unit_tests || return 1
    # The programs import Windows system DLLs only; ftd2xx.dll is loaded at run time.
    local exe dll ok=0
    [[ -f build-win/tests/unit_tests.exe ]] || { echo "the mingw unit tests were not built"; return 1; }
    for exe in build-win/VarnokPlus_Configurator.exe build-win/VarnokCfg.exe build-win/varnokctl.exe; do
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
        build-win/VarnokCfg.exe=asInvoker build-win/varnokctl.exe=asInvoker || ok=1
    return $ok
}

# The unit tests built with mingw-w64, run under Wine: the widths the programs
# ship with (long is 32 bits). Uses a copy of the end-to-end template prefix.
wine_unit_tests() {
    (
        # shellcheck source=../tests/e2e/lib.sh
        source "$ROOT/tests/e2e/lib.sh"
        e2e_make_template || exit 1
        export WINEPREFIX=$E2E_OUT/unit-tests-prefix
        e2e_copy_prefix "$WINEPREFIX"
        timeout 600 wine "$ROOT/build-win/tests/unit_tests.exe" --gtest_brief=1
        status=$?
        e2e_wine_stop
        rm -rf "$WINEPREFIX"
        exit $status
    )
}

# The release as it would be published: its installers under Wine, its
# Debian package through lintian and dpkg.
release() {
    local out setup msi deb status=0
    out=$(NO_INSTALL=1 "$ROOT/tools/release.sh") || return 1
    setup=$(grep -- '-setup\.exe$' <<<"$out")
    msi=$(grep -- '-x64\.msi$' <<<"$out")
    deb=$(grep -- '_amd64\.deb$' <<<"$out")
    [[ -f $setup ]] || { echo "tools/release.sh named no installer: $out"; return 1; }
    [[ -f $msi ]] || { echo "tools/release.sh named no MSI package: $out"; return 1; }
    [[ -f $deb ]] || { echo "tools/release.sh named no Debian package: $out"; return 1; }
    "$ROOT/tests/e2e/release/test_installer.sh" "$setup" || status=1
    "$ROOT/tests/e2e/release/test_msi.sh" "$msi" || status=1
    "$ROOT/tests/linux/test_deb.sh" "$deb" || status=1
    return $status
}

# shellcheck source=stale-build.sh
source "$ROOT/tools/stale-build.sh"
"$ROOT/tools/setup.sh" || { echo "set-up failed"; exit 1; }
# CMake takes these as the compiler launchers of every build it configures.
export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
step "native build and unit tests" native build -DVARNOK_WERROR=ON
step "clang build with ASan+UBSan: unit tests and fuzz seeds" clang_sanitized
step "linux: varnokctl on a fake device tree, Debian package" linux
step "fuzzing (libFuzzer, ${FUZZ_SECONDS:-10} s per target, one per core at a time)" fuzz
step "Windows build (mingw-w64)" windows
if [[ " ${failed[*]} " == *" Windows build (mingw-w64) "* ]]; then
    echo "=== end-to-end tests skipped: no Windows build"
    failed+=("end-to-end tests")
else
    step "end-to-end tests under Wine" "$ROOT/tests/e2e/run.sh"
    step "unit tests under Wine (mingw-w64 build)" wine_unit_tests
    echo "Screenshots: $ROOT/build-e2e/screenshots/"
fi
step "release packaging, installer and package tests" release

echo "=== total: $((SECONDS - started)) s"
if (( ${#failed[@]} )); then
    echo "FAILED: ${failed[*]}"
    exit 1
fi
echo "All steps passed."
