#!/usr/bin/env bash
# A start-up that can't open the window system ends with a message and exit status 1,
# never with SIGABRT: with DISPLAY not set, with a DISPLAY no server answers, and with an
# X server that refuses the program's connection (as one resetting when its last client
# leaves drops a connection being made).
# Usage: run_startup_failure.sh <path of the quendral program>
set -euo pipefail
program=$(readlink -f "$1")
for tool in Xvfb xauth mcookie; do
  command -v "$tool" > /dev/null || { echo "$tool is not installed (scripts/install-deps.sh)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/qfip-startup.XXXXXX)
server=""
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
failures=0

# expect_clean_failure <case> <command...>: the program ran by the command must exit with
# status 1 and say it could not start.
expect_clean_failure() {
  local name=$1 status=0
  shift
  timeout 60 "$@" > "$work/out" 2> "$work/err" || status=$?
  if [ $status -ne 1 ] || ! grep -q "^quendral: cannot start: the window system could not be opened" "$work/err"; then
    echo "FAILED: $name: exit status $status (expected 1 with the start-up message)" >&2
    [ $status -gt 128 ] && echo "  (killed by signal $(kill -l $((status - 128))))" >&2
    echo "--- stderr:" >&2
    cat "$work/err" >&2
    failures=$((failures + 1))
  else
    echo "ok: $name: $(tail -n 1 "$work/err")"
  fi
}

expect_clean_failure "DISPLAY not set" env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$program"
expect_clean_failure "no server at DISPLAY" env QT_QPA_PLATFORM=xcb DISPLAY=:999999 "$program"

# An X server whose authority file holds a cookie the program doesn't have (the server
# takes every cookie in its file, whatever display the entry names).
touch "$work/server-authority"
XAUTHORITY="$work/server-authority" xauth -q add :0 . "$(mcookie)"
started=$SECONDS
Xvfb -displayfd 3 -nolisten tcp -auth "$work/server-authority" 3> "$work/display" > "$work/xvfb.log" 2>&1 &
server=$!
# Waited for as long as a busy machine may take (30 s), not a count of tries.
until [ -s "$work/display" ] || ((SECONDS >= 30 + started)); do sleep 0.1; done
[ -s "$work/display" ] || { echo "FAILED: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
display=":$(cat "$work/display")"
: > "$work/program-authority"
expect_clean_failure "server refuses the connection" \
  env QT_QPA_PLATFORM=xcb DISPLAY="$display" XAUTHORITY="$work/program-authority" "$program"

[ $failures -eq 0 ] || exit 1
echo "start-up failures: every case ended with its message and exit status 1"
