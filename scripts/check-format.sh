#!/usr/bin/env bash
# Checks that every C++ file follows .clang-format; names the files that do
# not. `bash scripts/check-format.sh --fix` rewrites them instead.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
if ! command -v clang-format >/dev/null; then
  echo "korvane: clang-format is not installed (scripts/setup.sh installs it)" >&2
  exit 1
fi
mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'tests/*.cxx' 'bench/*.cpp' 'bench/*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
wrong=()
for f in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then wrong+=("$f"); fi
done
if [ "${#wrong[@]}" -gt 0 ]; then
  echo "korvane: not formatted as .clang-format says (bash scripts/check-format.sh --fix):" >&2
  printf '  %s\n' "${wrong[@]}" >&2
  exit 1
fi
echo "korvane: formatting checked (${#files[@]} files)"
