#!/bin/sh
# build-windows/qvn.exe under Wine, as one program: an engine path for tools/match.py.
exec "$(dirname "$0")/wine.sh" "$(cd "$(dirname "$0")/../.." && pwd)/build-windows/qvn.exe" "$@"
