#!/usr/bin/env bash
# Start-up time: MMEdit from process start to its main window shown (its
# MMEDIT_REPORT_STARTUP hook), next to the peer (bench_startup_peer: a plain
# Qt main window with a menu, a QPlainTextEdit and a status bar), the two
# taking turns so that both meet the same machine. Prints the fastest, the
# median and the slowest of N runs (default 31) in milliseconds, for the hook
# and for the whole process (from its start to its end, as the shell sees it).
#
# Usage: bench/startup.sh [BUILD_DIR] [N]     (default: build-bench 31)
# Environment: PLATFORM=xcb runs both on an X display of their own (Xvfb with
# fluxbox on DISPLAY_NUMBER, default 87); QT_QPA_PLATFORM=xcb with DISPLAY
# set runs them on that display; otherwise they run offscreen.
# SESSION_BUS=1 runs both inside a D-Bus session bus of their own
# (dbus-run-session), as on a desktop. Without one, Qt's accessibility
# bridge has libdbus run dbus-launch at every start, which on an X display
# costs both programs tens of milliseconds before their first window shows.
# MMEdit runs from a copy of its program folder in a temporary folder (it
# writes its settings file there at its first start, which is not timed).
set -euo pipefail
if [ "${SESSION_BUS:-}" = 1 ] && [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
  exec dbus-run-session -- "$0" "$@"
fi
cd "$(dirname "$0")/.."
dir=${1:-build-bench}
runs=${2:-31}
bin=$dir/bin
source bench/xsession.sh
bench_prepare "$bin"
folder=$bench_folder
if [ "${PLATFORM:-}" = xcb ]; then
  bench_start_x "${DISPLAY_NUMBER:-87}"
  export QT_QPA_PLATFORM=xcb
fi
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
shown() { sed -n 's/^main window shown after \([0-9]*\) ms$/\1/p'; }
MMEDIT_REPORT_STARTUP=1 "$folder/mmedit" 2>/dev/null >/dev/null || true # first start: settings file
now() { date +%s%N; }
# One run of a program: the hook's figure goes to its file, the whole
# process's is printed.
run() { # program hook-file
  local t0 t1
  t0=$(now)
  MMEDIT_REPORT_STARTUP=1 "$1" 2>"$folder/err.txt" >/dev/null || true
  t1=$(now)
  shown <"$folder/err.txt" >>"$2"
  echo $(((t1 - t0) / 1000000))
}
run_mmedit() { run "$folder/mmedit" "$folder/mmedit.txt"; }
run_peer() { run "$bin/bench_startup_peer" "$folder/peer.txt"; }
: >"$folder/mmedit.txt"
: >"$folder/peer.txt"
bench_take_turns "$runs" run_mmedit "$folder/mmedit-whole.txt" run_peer "$folder/peer-whole.txt"
summary() {
  sort -n "$1" | awk -v who="$2" '{ t[NR] = $1 }
    END { printf "startup %s fastest_ms=%s median_ms=%s slowest_ms=%s runs=%d\n", who, t[1], t[int((NR + 1) / 2)], t[NR], NR }'
}
summary "$folder/mmedit.txt" mmedit
summary "$folder/peer.txt" peer
summary "$folder/mmedit-whole.txt" mmedit-whole-process
summary "$folder/peer-whole.txt" peer-whole-process
