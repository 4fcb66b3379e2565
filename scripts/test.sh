#!/usr/bin/env bash
# Sets everything up, builds, and runs every test suite.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/setup.sh"
cd "$BUILD"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure "$@"
