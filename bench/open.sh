#!/usr/bin/env bash
# Opening a file in the real program: MMEdit as its main builds it (the send
# check on, crash recovery on, the status bar shown), the file given on the
# command line and opened through the open path, next to the peer
# (bench_open_peer: a QPlainTextEdit window reading the file with iconv), the
# two taking turns so that both meet the same machine.
#
# Times come from the MMEDIT_REPORT_STARTUP hook (file shown: its first
# screen painted; layout complete), memory from MMEDIT_REPORT_MEMORY: the
# peak (VmHWM since the opening began) and the resident size at rest (VmRSS a
# second after the layout and the send check are complete), both above the footprint before the
# file was opened and as multiples of the file's size, and the whole
# process's resident size at rest beside them.
#
# Usage: bench/open.sh [BUILD_DIR] [RUNS] [SIZES_MB...]
#        (default: build-bench 5 1 10 100 500)
#   MMEDIT_BENCH_PLATFORMS="offscreen xcb"  platforms (xcb under Xvfb with fluxbox)
#   MMEDIT_BENCH_DISPLAY=N                   the Xvfb display for xcb (default 81)
# Prints one line per program, platform and size: fastest and median of the
# runs. The texts are written once to the temporary folder (TMPDIR, else /tmp).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-bench}
runs=${2:-5}
shift $(($# > 2 ? 2 : $#))
sizes=${*:-1 10 100 500}
bin=$dir/bin
tmp=${TMPDIR:-/tmp}
source bench/xsession.sh
bench_prepare "$bin"
folder=$bench_folder
platforms=${MMEDIT_BENCH_PLATFORMS:-offscreen xcb}
display=${MMEDIT_BENCH_DISPLAY:-81}
if [[ " $platforms " == *" xcb "* ]]; then
  bench_start_x "$display"
  unset DISPLAY # each run names its display
fi
# The first start writes the settings file: not measured.
QT_QPA_PLATFORM=offscreen MMEDIT_REPORT_STARTUP=1 "$folder/mmedit" >/dev/null 2>&1 || true

# One run: the program's report as "shown layout before peak rest" (ms, ms, KiB...).
figures() {
  awk '/^file shown after/ { shown = $4 }
       /^layout complete after/ { laid = $4 }
       /^memory before opening/ { before = $5 }
       /^memory at rest/ { rest = $5; peak = $8 }
       END { print shown, laid, before, peak, rest }'
}
run() { # platform program file
  local platform=$1 program=$2 file=$3
  local env=(QT_QPA_PLATFORM="$platform")
  [ "$platform" = xcb ] && env+=(DISPLAY=":$display")
  if [ "$program" = mmedit ]; then
    env "${env[@]}" MMEDIT_REPORT_STARTUP=1 MMEDIT_REPORT_MEMORY=1 "$folder/mmedit" "$file" 2>&1 \
      >/dev/null | figures
  else
    env "${env[@]}" "$bin/bench_open_peer" "$file" 2>&1 >/dev/null | figures
  fi
}
run_mmedit() { run "$platform" mmedit "$file"; }
run_peer() { run "$platform" peer "$file"; }
summary() { # results-file program platform size
  awk -v who="$2" -v platform="$3" -v mb="$4" '
    function sorted(col,   i, j, t) {
      for (i = 1; i <= NR; ++i) v[i] = f[i, col]
      for (i = 2; i <= NR; ++i) for (j = i; j > 1 && v[j - 1] > v[j]; --j) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    }
    function minmed(col, scale,   m) {
      sorted(col); m = v[int((NR + 1) / 2)]
      return sprintf(scale ? "%.2f/%.2f" : "%d/%d", scale ? v[1] / scale : v[1], scale ? m / scale : m)
    }
    { for (i = 1; i <= 5; ++i) f[NR, i] = $i; f[NR, 6] = $4 - $3; f[NR, 7] = $5 - $3 }
    END {
      kib = mb * 1024
      printf "open %-6s %-9s %4d MB  shown_ms %s  layout_ms %s  peak_x %s  rest_x %s  whole_rest_x %s  (min/median of %d)\n",
        who, platform, mb, minmed(1, 0), minmed(2, 0), minmed(6, kib), minmed(7, kib), minmed(5, kib), NR
    }' "$1"
}

for mb in $sizes; do
  file=$tmp/mmedit-bench-${mb}MB.txt
  [ -f "$file" ] || "$bin/bench_memory" write "$mb" "$file" >/dev/null
  for platform in $platforms; do
    bench_take_turns "$runs" run_mmedit "$folder/mmedit.txt" run_peer "$folder/peer.txt"
    summary "$folder/mmedit.txt" mmedit "$platform" "$mb"
    summary "$folder/peer.txt" peer "$platform" "$mb"
  done
done
