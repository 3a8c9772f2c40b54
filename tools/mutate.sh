#!/bin/bash
# Hand-made faults against the unit tests: tools/mutate.py, which see.
# Usage: tools/mutate.sh [--build-dir DIR] [--list] [NAME|NUMBER ...]
exec python3 "$(dirname "${BASH_SOURCE[0]}")/mutate.py" "$@"
