#!/bin/bash
# Copies the user guide's pictures, which the Wine end-to-end run saves
# (tests/e2e/test_guide_screenshots.sh; the 150 % picture from test_dpi.sh),
# into docs/images/. Run it after
#   tests/e2e/run.sh test_guide_screenshots test_dpi    (or tools/test.sh)
# and commit docs/images/ when the pictures changed.
# Environment: E2E_OUT (default build-e2e), as for the end-to-end run.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SRC=${E2E_OUT:-$ROOT/build-e2e}/screenshots/guide
DEST=$ROOT/docs/images

# Every picture the guide links to; the run must have made all of them.
IMAGES=(configurator-main configurator-disconnected configurator-baud-rate-mapping
        configurator-buffered-writes configurator-com-port-assignment configurator-about
        modetool-one-adapter modetool-several-adapters modetool-busy-panels modetool-searching
        configurator-main-150)
# Pictures taken at another resolution: name=folder/file under screenshots/.
declare -A FROM=([configurator-main-150]=guide-144/configurator-main)
source_of() { echo "$SRC/../${FROM[$1]:-guide/$1}.png"; }

missing=()
for name in "${IMAGES[@]}"; do
    [[ -s $(source_of "$name") ]] || missing+=("$name.png")
done
if (( ${#missing[@]} )); then
    echo "update-guide-images: not in $SRC: ${missing[*]}" >&2
    echo "run tests/e2e/run.sh test_guide_screenshots test_dpi first" >&2
    exit 1
fi

# The guide must show each picture.
guide=$ROOT/docs/USER-GUIDE.md
for name in "${IMAGES[@]}"; do
    grep -q "(images/$name.png)" "$guide" || { echo "update-guide-images: $guide does not show $name.png" >&2; exit 1; }
done

mkdir -p "$DEST"
changed=0
for name in "${IMAGES[@]}"; do
    if ! cmp -s "$(source_of "$name")" "$DEST/$name.png"; then
        cp "$(source_of "$name")" "$DEST/$name.png"
        echo "updated docs/images/$name.png"
        changed=$((changed + 1))
    fi
done
echo "update-guide-images: $changed of ${#IMAGES[@]} pictures changed"
