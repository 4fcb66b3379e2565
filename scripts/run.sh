#!/usr/bin/env bash
# Sets everything up, builds the program alone (no tests, no benchmarks),
# lays out a fresh program folder (once) and starts Korvane on it.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/setup.sh"
kv_build korvane
HOME_DIR="${KV_HOME:-$ROOT/korvane-home}"
if [ ! -f "$HOME_DIR/Data/files.dat" ]; then
  echo "korvane: laying out a fresh program folder in $HOME_DIR"
  "$BUILD/src/korvane" --init-home "$HOME_DIR"
fi
echo "korvane: starting on $HOME_DIR (log in as Admin, empty password)"
exec "$BUILD/src/korvane" --home "$HOME_DIR" "$@"
