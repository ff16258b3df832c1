#!/usr/bin/env bash
# The main job: installs what is missing, builds, runs the window host as
# the product would (see scripts/demo-window-host.sh), then the examples.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

build=build/default
echo
echo "=== TARVEXWindow: start-up, endpoint, window, shutdown on SIGTERM"
scripts/demo-window-host.sh "$build"

echo
echo "=== libvesk: primitives"
"$build/examples/vesk_primitives_example"

echo
echo "=== libactivitytrack: activity from two threads, overall state"
"$build/examples/activity_tracking_example"

echo
echo "=== libvesk: signals across threads"
"$build/examples/vesk_signals_example"
