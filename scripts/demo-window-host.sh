#!/usr/bin/env bash
# Runs TARVEXWindow the way the product does, for a person to watch: under a
# private Xvfb display when there is no display, with a product session id,
# an endpoint folder and a log file. It waits for the published process-group
# id and the window, saves a screenshot of the window into the build folder,
# sends SIGTERM to the process group, and shows the exit code, the log and
# that the publication is gone.
#   scripts/demo-window-host.sh [build-folder]   (default: build/default)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/default}
exe=$build/host/TARVEXWindow
url=https://www.debian.org/
work=$build/window-host-demo
screenshot=$build/tarvexwindow-screenshot.png
rm -rf "$work"
mkdir -p "$work"

session=$(cat /proc/sys/kernel/random/uuid)
export TARVEX_SESSION_ID=$session
export TARVEX_ENDPOINT_DIR=$PWD/$work/endpoints
export ORV_DIAGNOSTIC_DEST=$PWD/$work/host.log
endpoint=$TARVEX_ENDPOINT_DIR/$session/ZelWindowHostPosixGroupId

xvfb_pid=
host_pid=
cleanup() {
  if [ -n "$host_pid" ] && kill -0 "$host_pid" 2>/dev/null; then
    kill -KILL "$host_pid" 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

# Waits up to $1 seconds for the command in the other arguments to succeed.
wait_for() {
  local seconds=$1
  shift
  local tries=$((seconds * 10))
  until "$@"; do
    tries=$((tries - 1))
    if [ "$tries" -le 0 ]; then return 1; fi
    sleep 0.1
  done
}

if [ -z "${DISPLAY:-}" ]; then
  # Xvfb picks a free display and writes its number to fd 3.
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 \
    3>"$work/display" >"$work/xvfb.txt" 2>&1 &
  xvfb_pid=$!
  wait_for 30 grep -q . "$work/display" || {
    echo "Xvfb did not start:"; cat "$work/xvfb.txt"; exit 1; }
  export DISPLAY=:$(head -n1 "$work/display")
  echo "no display: started Xvfb on $DISPLAY"
fi

echo "starting: TARVEXWindow --url=$url --position=40,40,720,420 --visible=1"
echo "  session $session"
"$exe" --url="$url" --position=40,40,720,420 --visible=1 \
  >"$work/output.txt" 2>&1 &
host_pid=$!

window_shown() {
  xwininfo -name "$url" 2>/dev/null | grep -q 'Map State: IsViewable'
}
if ! wait_for 60 test -s "$endpoint"; then
  echo "no endpoint was published; output:"; cat "$work/output.txt"; exit 1
fi
group=$(cat "$endpoint")
echo "published group id $group under $endpoint (process $host_pid)"
if wait_for 30 window_shown; then
  window=$(xwininfo -name "$url" | awk '/Window id:/ {print $4}')
  import -window "$window" "$screenshot"
  echo "window shown; screenshot saved to $screenshot"
else
  echo "the window did not appear"
fi

echo "sending SIGTERM to process group $group"
kill -TERM -- "-$group"
exit_code=0
wait "$host_pid" || exit_code=$?
host_pid=
echo "TARVEXWindow exited with code $exit_code"

echo
echo "--- log ($ORV_DIAGNOSTIC_DEST): time, channel, severity, text"
cat "$ORV_DIAGNOSTIC_DEST"
echo "---"
if [ -e "$endpoint" ]; then
  echo "endpoint still published: $endpoint"
  exit 1
fi
echo "endpoint released: $endpoint is gone"
[ "$exit_code" -eq 0 ]
