#!/usr/bin/env bash
# Start-up stress: launches the built program under Xvfb many times, under conditions a
# real launch meets, and keeps everything about every launch that ends badly.
#
# Each launch waits for the about box, closes it with Enter (or, when several programs
# share a server at once, with its close button), waits for the main window and ends the
# program, alternately as a window manager closes a window (WM_DELETE_WINDOW; the program
# must then exit with status 0) and by SIGTERM. A launch ends badly when the program dies
# of a signal it was not sent, exits with a non-zero status, or no about box or main
# window comes up in time. Its folder keeps the program's stdout and stderr, the X
# server's log, the core and gdb's backtrace of every thread; a hang is backtraced live,
# with the program's windows and a screenshot.
#
# Conditions (-c, comma separated, taken in turn launch by launch):
#   fresh     a fresh `xvfb-run -a` for the launch, with the end-to-end tests' server
#             arguments (-noreset), the program started the moment the server is ready
#   reset     as fresh, but the server resets when its last client leaves (the X server's
#             default): a connection being made then is dropped, and the program must say
#             it could not start and exit with status 1
#   churn     as fresh, while another client connects and leaves in a loop (as a harness
#             looking for the program's windows does)
#   resetchurn  as churn on a server that resets: reproduces the reset race often
#   shared    one Xvfb (-noreset) for the whole run, shared by these launches
#   parshared -j launches at once on that shared server
#   parreset  -j launches at once on a shared server that resets when its last client leaves
#   coldfc    as fresh; fontconfig with an empty cache folder of its own, so that the
#             program scans every font (as on a machine where nothing has built the caches)
#   xdg       as fresh; XDG_RUNTIME_DIR set to a private folder (otherwise it is unset)
#   load      as fresh; two busy loops compete for the cores during the launch
#   parallel  -j launches at once, each with its own `xvfb-run -a`
#   early     the program started the moment its Xvfb is spawned, before the server is
#             ready (what a harness that does not wait for the server does); not in the
#             default list: the program mostly has no display to use, and must say so
#
# Not part of the test suite (it takes minutes). Usage:
#   stress_startup.sh [-n launches] [-c conditions] [-j parallel] [-o folder] <program>
set -uo pipefail

title="Quendral Fast Image Processor 1.0"
screen="-screen 0 1280x1024x24"
server_args="$screen -noreset"   # as the end-to-end tests start their server
self=$(readlink -f "$0")

# ---- one launch, run with DISPLAY set (or, for "early", without a ready server) -------------

# find_window <pid> <seconds> <about|main>: prints the id of the program's visible about
# box (a utility window) or main window (a normal one), both titled as the program's
# windows are; fails when the program ends first or the time runs out.
find_window() {
  local pid=$1 end=$((SECONDS + $2)) type id
  type=$([ "$3" = about ] && echo _NET_WM_WINDOW_TYPE_UTILITY || echo _NET_WM_WINDOW_TYPE_NORMAL)
  while [ $SECONDS -lt $end ]; do
    for id in $(xdotool search --all --onlyvisible --pid "$pid" --name "^$title\$" 2>/dev/null); do
      xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q "= $type\b" && { echo "$id"; return 0; }
    done
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

# Sends WM_DELETE_WINDOW to a window, as a window manager's close button does.
close_window() {
  python3 - "$1" <<'EOF'
import ctypes, sys
from ctypes import Structure, Union, byref, c_char_p, c_int, c_long, c_ulong, c_void_p
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = c_void_p
x.XOpenDisplay.argtypes = [c_char_p]
x.XInternAtom.restype = c_ulong
x.XInternAtom.argtypes = [c_void_p, c_char_p, c_int]
x.XSendEvent.argtypes = [c_void_p, c_ulong, c_int, c_long, c_void_p]
x.XFlush.argtypes = [c_void_p]
x.XCloseDisplay.argtypes = [c_void_p]
class ClientMessage(Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int), ("display", c_void_p),
                ("window", c_ulong), ("message_type", c_ulong), ("format", c_int), ("l", c_long * 5)]
class Event(Union):
    _fields_ = [("xclient", ClientMessage), ("pad", c_long * 24)]
d = x.XOpenDisplay(None)
if not d:
    sys.exit(1)
e = Event()
e.xclient.type = 33  # ClientMessage
e.xclient.window = int(sys.argv[1])
e.xclient.message_type = x.XInternAtom(d, b"WM_PROTOCOLS", 0)
e.xclient.format = 32
e.xclient.l[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
x.XSendEvent(d, int(sys.argv[1]), 0, 0, byref(e))
x.XFlush(d)
x.XCloseDisplay(d)
EOF
}

# Writes a fontconfig configuration with the system's fonts and rules but only an empty
# cache folder of its own.
cold_fontconfig() {
  local dir=$1
  mkdir -p "$dir/fc-cache"
  cat > "$dir/fonts.conf" <<EOF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <dir>/usr/share/fonts</dir>
  <dir>/usr/local/share/fonts</dir>
  <cachedir>$dir/fc-cache</cachedir>
  <include ignore_missing="yes">/etc/fonts/conf.d</include>
</fontconfig>
EOF
  echo "$dir/fonts.conf"
}

# one_launch <folder> <condition> <end: close|term>: writes "<outcome> <status> <seconds to
# the about box>" to <folder>/result.
one_launch() {
  local dir=$1 condition=$2 ending=$3 pid about main outcome="ok" status start=$SECONDS burners=()
  cd "$dir" || exit 1
  ulimit -c unlimited
  case $condition in
    coldfc) export FONTCONFIG_FILE; FONTCONFIG_FILE=$(cold_fontconfig "$dir") ;;
    xdg) export XDG_RUNTIME_DIR="$dir/runtime"; mkdir -m 700 -p "$XDG_RUNTIME_DIR" ;;
    load) for _ in 1 2; do (while :; do :; done) & burners+=($!); done ;;
    churn|resetchurn) (while :; do xdotool getmouselocation > /dev/null 2>&1; done) & burners+=($!) ;;
  esac
  if [ "$condition" = early ]; then
    # A server of our own, started in the background and not waited for.
    local n=200
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    XAUTHORITY="$dir/Xauthority" xauth add ":$n" . "$(mcookie)" 2>/dev/null
    Xvfb ":$n" $server_args -nolisten tcp -auth "$dir/Xauthority" > xvfb.log 2>&1 &
    local server=$!
    export DISPLAY=":$n" XAUTHORITY="$dir/Xauthority"
  fi

  env | grep -E '^(DISPLAY|XAUTHORITY|XDG_|FONTCONFIG_|QT_|DBUS_)' > environment
  "$program" > stdout 2> stderr &
  pid=$!
  echo "$pid" > pid
  if about=$(find_window "$pid" 30 about); then
    echo "about box after $((SECONDS - start)) s" > timeline
    if [ "$condition" = parshared ] || [ "$condition" = parreset ]; then
      # The programs started with this one take the focus in turn (there is no window
      # manager), so a key could close another's box: the box is closed by its frame's
      # close button, as OK does. (A key sent to the window, `key --window`, is no good:
      # xdotool may press it through XTEST and fail to release it once the box is gone,
      # leaving the key repeating on the server for every later launch.)
      close_window "$about"
    else
      xdotool windowfocus --sync "$about" 2>/dev/null
      xdotool key Return
    fi
    if main=$(find_window "$pid" 20 main); then
      if [ "$ending" = close ]; then
        close_window "$main" || kill -TERM "$pid"
      else
        kill -TERM "$pid"
      fi
    else
      outcome="no-main-window"
    fi
  else
    outcome="no-about-box"
  fi
  if [ "$outcome" != ok ] && kill -0 "$pid" 2>/dev/null; then
    # What the program shows: its windows (id, map state, title) and the screen.
    for id in $(xdotool search --all --pid "$pid" --name "" 2>/dev/null); do
      echo "$id $(xwininfo -id "$id" 2>/dev/null | sed -n 's/.*Map State: //p') $(xdotool getwindowname "$id" 2>/dev/null)"
    done > windows.txt
    import -window root screen.png 2>/dev/null
  fi
  # Ended, or told to end: it gets 20 s; a program still there is backtraced and killed.
  local end=$((SECONDS + 20))
  while kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $end ]; do sleep 0.05; done
  if kill -0 "$pid" 2>/dev/null; then
    gdb -batch -p "$pid" -ex "thread apply all bt" > backtrace.txt 2>&1
    kill -KILL "$pid"
    [ "$outcome" = ok ] && outcome="hang-at-end"
  fi
  wait "$pid"
  status=$?
  for b in "${burners[@]}"; do kill "$b" 2>/dev/null; done
  if [ "$condition" = early ]; then kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; fi

  if [ $status -eq 1 ] && grep -q "^quendral: cannot start:" stderr; then
    outcome="could-not-start"
  elif [ "$outcome" = ok ] && [ "$ending" = term ] && [ $status -eq $((128 + 15)) ]; then
    :  # ended by the SIGTERM it was sent
  elif [ "$outcome" = ok ] && [ $status -ne 0 ]; then
    outcome=$([ $status -gt 128 ] && echo "signal-$(kill -l $((status - 128)))" || echo "exit-$status")
  elif [ "$outcome" != ok ]; then
    outcome="$outcome,$([ $status -gt 128 ] && echo "signal-$(kill -l $((status - 128)))" || echo "exit-$status")"
  fi
  local core
  core=$(ls core core.* 2>/dev/null | head -1)
  if [ -n "$core" ]; then
    gdb -batch -ex "thread apply all bt" "$program" "$core" > backtrace.txt 2>&1
  fi
  echo "$outcome $status $((SECONDS - start))" > result
}

if [ "${1:-}" = "--one" ]; then
  program=$2
  one_launch "$3" "$4" "$5"
  exit 0
fi

# ---- the run -----------------------------------------------------------------------------

launches=300
conditions="fresh,reset,churn,resetchurn,shared,parshared,parreset,coldfc,xdg,load,parallel"
parallel=4
out=""
while getopts "n:c:j:o:" option; do
  case $option in
    n) launches=$OPTARG ;;
    c) conditions=$OPTARG ;;
    j) parallel=$OPTARG ;;
    o) out=$OPTARG ;;
    *) echo "usage: $0 [-n launches] [-c conditions] [-j parallel] [-o folder] <program>" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 1 ] || { echo "usage: $0 [-n launches] [-c conditions] [-j parallel] [-o folder] <program>" >&2; exit 2; }
program=$(readlink -f "$1")
[ -x "$program" ] || { echo "not a program: $1" >&2; exit 2; }
for tool in xvfb-run Xvfb xauth mcookie xdotool xprop xwininfo import gdb python3; do
  command -v "$tool" > /dev/null || { echo "$tool is not installed" >&2; exit 2; }
done
[ -n "$out" ] || out="$(dirname "$program")/../stress-startup-$(date +%Y%m%d-%H%M%S)"
mkdir -p "$out"
out=$(readlink -f "$out")
IFS=, read -r -a condition_list <<< "$conditions"

servers=()
cleanup() {
  [ ${#servers[@]} -gt 0 ] && kill "${servers[@]}" 2>/dev/null
}
trap cleanup EXIT

# start_server <name> <Xvfb arguments...>: a server for the whole run; its display is
# written to the variable <name>_display once it accepts clients (-displayfd).
start_server() {
  local name=$1 fifo="$out/$1-displayfd" n
  shift
  rm -f "$fifo"
  mkfifo "$fifo"
  Xvfb -displayfd 3 "$@" -nolisten tcp 3> "$fifo" > "$out/$name-xvfb.log" 2>&1 &
  servers+=($!)
  read -r n < "$fifo"
  rm -f "$fifo"
  printf -v "${name}_display" ':%s' "$n"
}

count=0
summary="$out/summary.txt"
: > "$summary"

# start_launch <condition> <end>: one launch in the background, in a folder of its own
# (added to dirs), its process to launch_pids.
start_launch() {
  local condition=$1 ending=$2 dir
  count=$((count + 1))
  dir=$(printf '%s/launch-%04d-%s' "$out" "$count" "$condition")
  mkdir -p "$dir"
  dirs+=("$dir")
  case $condition in
    shared|parshared|parreset)
      local display=$shared_display
      [ "$condition" = parreset ] && display=$resetting_display
      env -u XAUTHORITY DISPLAY="$display" bash "$self" --one "$program" "$dir" "$condition" "$ending" &
      ;;
    early)
      bash "$self" --one "$program" "$dir" "$condition" "$ending" &
      ;;
    *)
      local args=$server_args
      [ "$condition" = reset ] || [ "$condition" = resetchurn ] && args=$screen
      xvfb-run -a -e "$dir/xvfb.log" -s "$args" bash "$self" --one "$program" "$dir" "$condition" "$ending" \
        > "$dir/xvfb-run.out" 2>&1 &
      ;;
  esac
  launch_pids+=($!)
}

# finish <folder>: records the launch's result; a good launch's folder is removed.
finish() {
  local dir=$1 outcome status seconds
  if [ -f "$dir/result" ]; then
    read -r outcome status seconds < "$dir/result"
  else
    outcome="no-result"; status="?"; seconds="?"
  fi
  printf '%s %s %s %s\n' "$(basename "$dir")" "$outcome" "$status" "$seconds" >> "$summary"
  if [ "$outcome" = ok ]; then
    rm -rf "$dir"
  else
    echo "$(basename "$dir"): $outcome (status $status)"
  fi
}

shared_display=""
resetting_display=""
for condition in "${condition_list[@]}"; do
  case $condition in
    shared|parshared) [ -n "$shared_display" ] || start_server shared $server_args ;;
    parreset) [ -n "$resetting_display" ] || start_server resetting $screen ;;
    fresh|reset|churn|resetchurn|coldfc|xdg|load|parallel|early) ;;
    *) echo "unknown condition: $condition" >&2; exit 2 ;;
  esac
done

echo "launching $launches times ($conditions) into $out"
turn=0
while [ $count -lt "$launches" ]; do
  condition=${condition_list[$((turn % ${#condition_list[@]}))]}
  ending=$([ $((turn / ${#condition_list[@]} % 2)) -eq 0 ] && echo close || echo term)
  turn=$((turn + 1))
  dirs=()
  launch_pids=()
  if [ "$condition" = parallel ] || [ "$condition" = parshared ] || [ "$condition" = parreset ]; then
    for _ in $(seq 1 "$parallel"); do
      [ $count -lt "$launches" ] || break
      start_launch "$condition" "$ending"
    done
  else
    start_launch "$condition" "$ending"
  fi
  wait "${launch_pids[@]}"
  for dir in "${dirs[@]}"; do finish "$dir"; done
done

echo "--- $count launches:"
awk '{ split($1, p, "-"); c = p[3]; n[c]++
       if ($2 == "ok") ok[c]++; else if ($2 == "could-not-start") ns[c]++; else if ($2 ~ /ABRT/) ab[c]++; else other[c]++ }
     END { for (c in n) printf "  %-10s %4d launches: %4d about box up and ended well, %3d could not start (message, status 1), %3d aborted, %3d other bad ends\n",
                                c, n[c], ok[c], ns[c], ab[c], other[c] }' "$summary"
bad=$(awk '$2 != "ok"' "$summary" | wc -l)
aborts=$(awk '$2 ~ /ABRT/' "$summary" | wc -l)
echo "  total: $count launches, $aborts aborted, $bad not ok (kept in $out)"
[ "$bad" -eq 0 ]
