#!/bin/bash
# Runs the umockdev tests of varnokctl: run_umockdev.sh VARNOKCTL ADAPTER.
# Status 77 (skipped) when umockdev or its Python bindings are missing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
py=/usr/bin/python3  # Debian's own: the gi bindings live there
if ! command -v umockdev-wrapper >/dev/null || [[ ! -x $py ]] ||
   ! "$py" -c "import gi; gi.require_version('UMockdev', '1.0'); from gi.repository import UMockdev" 2>/dev/null; then
    echo "umockdev or its Python bindings are missing: skipped"
    exit 77
fi
exec umockdev-wrapper "$py" "$here/test_umockdev.py" "$@"
