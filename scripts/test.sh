#!/usr/bin/env bash
# Builds and runs every test in three configurations: plain RelWithDebInfo,
# AddressSanitizer+UndefinedBehaviorSanitizer, and ThreadSanitizer.
#   scripts/test.sh           all three
#   scripts/test.sh --quick   the plain one only (day-to-day work)
#   scripts/test.sh asan      the named configurations only
set -euo pipefail
cd "$(dirname "$0")/.."

presets=(default asan tsan)
if [ "${1:-}" = "--quick" ]; then
  presets=(default)
elif [ $# -gt 0 ]; then
  presets=("$@")
fi

scripts/install-deps.sh

for preset in "${presets[@]}"; do
  echo "=== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "=== ${preset}: test"
  ctest --preset "$preset"
done
echo "=== all tests passed in: ${presets[*]}"
