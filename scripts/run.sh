#!/usr/bin/env bash
# Sets everything up, lays out a fresh program folder (once) and starts Korvane on it.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/setup.sh"
HOME_DIR="${KV_HOME:-$ROOT/korvane-home}"
if [ ! -f "$HOME_DIR/Data/files.dat" ]; then
  "$BUILD/src/korvane" --init-home "$HOME_DIR"
fi
exec "$BUILD/src/korvane" --home "$HOME_DIR" "$@"
