#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from what .clang-format makes of it, and names the files.
#   scripts/check-format.sh          check every tracked C++ file
#   scripts/check-format.sh --fix    rewrite them in place instead
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- '*.h' '*.cpp' '*.cc' '*.inc')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  printf 'not formatted (run scripts/check-format.sh --fix):\n' >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "all ${#files[@]} C++ files formatted"
