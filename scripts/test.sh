#!/usr/bin/env bash
# Sets everything up, builds the program and the test suites, and runs every
# test class (one CTest entry each). Arguments go to ctest, e.g.
#   bash scripts/test.sh -R archive.EditPanelTest
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/setup.sh"
SUITES=()
for dir in "$ROOT"/tests/*/; do
  sub="$(basename "$dir")"
  if [ "$sub" != common ] && ls "$dir"*.cpp >/dev/null 2>&1; then SUITES+=("test_$sub"); fi
done
kv_build korvane "${SUITES[@]}"
cd "$BUILD"
echo "korvane: running the tests"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure "$@"
