#!/usr/bin/env bash
# Start-up time: MMEdit from process start to its main window shown (its
# MMEDIT_REPORT_STARTUP hook), next to the peer (bench_startup_peer: a plain
# Qt main window with a menu, a QPlainTextEdit and a status bar), the two
# taking turns so that both meet the same machine. Prints the fastest, the
# median and the slowest of N runs (default 31) in milliseconds, for the hook
# and for the whole process (from its start to its end, as the shell sees it).
# On a real display: DISPLAY=:N QT_QPA_PLATFORM=xcb bench/startup.sh.
#
# Usage: bench/startup.sh [BUILD_DIR] [N]     (default: build-bench 31)
# MMEdit runs from a copy of its program folder in a temporary folder (it
# writes its settings file there at its first start, which is not timed).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-bench}
runs=${2:-31}
bin=$dir/bin
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cp -r "$bin/mmedit" "$bin/help" "$bin/link.dat" "$bin/waku.edt" "$bin/face.edt" "$folder/"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$folder/runtime
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  export XDG_RUNTIME_DIR
fi
shown() { sed -n 's/^main window shown after \([0-9]*\) ms$/\1/p'; }
MMEDIT_REPORT_STARTUP=1 "$folder/mmedit" 2>/dev/null >/dev/null || true # first start: settings file
: >"$folder/mmedit.txt"
: >"$folder/peer.txt"
: >"$folder/mmedit-whole.txt"
: >"$folder/peer-whole.txt"
now() { date +%s%N; }
for _ in $(seq "$runs"); do
  t0=$(now)
  MMEDIT_REPORT_STARTUP=1 "$folder/mmedit" 2>"$folder/err.txt" >/dev/null || true
  t1=$(now)
  shown <"$folder/err.txt" >>"$folder/mmedit.txt"
  echo $(((t1 - t0) / 1000000)) >>"$folder/mmedit-whole.txt"
  t0=$(now)
  "$bin/bench_startup_peer" 2>"$folder/err.txt" >/dev/null || true
  t1=$(now)
  shown <"$folder/err.txt" >>"$folder/peer.txt"
  echo $(((t1 - t0) / 1000000)) >>"$folder/peer-whole.txt"
done
summary() {
  sort -n "$1" | awk -v who="$2" '{ t[NR] = $1 }
    END { printf "startup %s fastest_ms=%s median_ms=%s slowest_ms=%s runs=%d\n", who, t[1], t[int((NR + 1) / 2)], t[NR], NR }'
}
summary "$folder/mmedit.txt" mmedit
summary "$folder/peer.txt" peer
summary "$folder/mmedit-whole.txt" mmedit-whole-process
summary "$folder/peer-whole.txt" peer-whole-process
