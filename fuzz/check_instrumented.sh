#!/bin/bash
# Fails unless every library given carries libFuzzer's coverage hooks and
# ASan's checks: a fuzz build must instrument the code it drives, not only
# the harness files.
status=0
for lib in "$@"; do
    syms=$(nm -A "$lib" 2>/dev/null)
    if ! grep -q '__sanitizer_cov_trace' <<<"$syms"; then
        echo "$lib: no coverage instrumentation"
        status=1
    fi
    if ! grep -q '__asan_' <<<"$syms"; then
        echo "$lib: no AddressSanitizer instrumentation"
        status=1
    fi
done
exit $status
