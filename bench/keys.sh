#!/usr/bin/env bash
# Keys in the real program: MMEdit as its entry builds it (send check,
# recovery and status bar on), the text opened through its command line, and
# the peer (bench_keys_peer: a QPlainTextEdit window, the file read by iconv)
# at the same place of the same text, both running at once on one X display
# (Xvfb with fluxbox) and typed into by turns, a block of keys each (the one
# that goes first changes from block to block), so that both meet the
# machine as it is at the same moments. Each figure is the CPU time of the
# whole process (every thread, from /proc/PID/task/*/schedstat) over N keys
# typed by xdotool ("a" and BackSpace by turns, so that the text stays as it
# was), each block counted until the process is idle again, less its idle
# CPU over the same time, divided by N: the key with every piece of work it
# schedules (layout, paints, the send check, the recovery journal). The
# floor (bench_keys_floor: a window that only fills one character cell per
# key) is typed into by turns with them: what a key costs any Qt program on
# this machine and display. Prints, per text and place, the fastest and the
# median of R runs in microseconds for each program.
#
# Usage: bench/keys.sh [BUILD_DIR] [RUNS] [CASES...]
#   BUILD_DIR  default build-bench (Release, -DMMEDIT_BENCH=ON)
#   RUNS       default 5
#   CASES      KIND:MEGABYTES:PLACE[:alone], default the newsletter text at 1,
#              10 and 100 MB at start, middle and end, and 10 MB of 」 (start)
#              and of tabs (end), these two without the peer (a QPlainTextEdit
#              takes minutes to open a paragraph of 10 MB); KIND
#              newsletter|brackets|tabs, PLACE start|middle|end, alone: MMEdit
#              only
# Environment: KEYS (default 200), BLOCKS (default 5), DISPLAY_NUMBER
# (default 85), PLATFORM (xcb, or offscreen to run without a display: keys
# go in through the program's own event queue there, so only xcb is
# supported by this script).
set -uo pipefail # a step that fails leaves its figure out, not the run
cd "$(dirname "$0")/.."
dir=${1:-build-bench}
runs=${2:-5}
shift $(($# > 2 ? 2 : $#))
cases=("$@")
if [ ${#cases[@]} -eq 0 ]; then
  cases=(newsletter:1:start newsletter:1:middle newsletter:1:end
         newsletter:10:start newsletter:10:middle newsletter:10:end
         newsletter:100:start newsletter:100:middle newsletter:100:end
         brackets:10:start:alone tabs:10:end:alone)
fi
keys=${KEYS:-200}
blocks=${BLOCKS:-5}
display=${DISPLAY_NUMBER:-85}
bin=$dir/bin
source bench/xsession.sh
bench_prepare "$bin" always
work=$bench_folder
bench_start_x "$display"
export QT_QPA_PLATFORM=xcb

# CPU nanoseconds of every thread of a process (printed as a float: mawk's
# %d stops at 2^31, 2.1 s, which a peer that loaded 100 MB has long passed).
cpu() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f\n", s }'; }
now() { date +%s%N; }
# True while the process runs (an ended child stays a zombie until waited for).
alive() { [ -r /proc/"$1"/stat ] && [ "$(awk '{ print $3 }' /proc/"$1"/stat 2>/dev/null)" != Z ]; }
# Waits until the process has used under 1 % of a CPU for 0.6 s (for as
# long as it lives: a peer may take minutes to lay out a huge text).
wait_idle() {
  local pid=$1 quiet=0 a b
  while alive "$pid"; do
    a=$(cpu "$pid"); sleep 0.3; b=$(cpu "$pid")
    if [ $((b - a)) -lt 3000000 ]; then quiet=$((quiet + 1)); else quiet=0; fi
    [ $quiet -ge 2 ] && return 0
  done
  echo "keys.sh: process $pid ended before it became idle" >&2
  return 1
}
# The largest visible window of a process (the main window, not the splash
# window or the notification-area icon), waited for as long as the process
# lives (the peer reads and lays out the whole text before it shows its
# window: minutes at 100 MB).
window_of() {
  local pid=$1 w best="" area=0 WIDTH HEIGHT
  while alive "$pid"; do
    for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null || true); do
      WIDTH=0 HEIGHT=0
      eval "$(xdotool getwindowgeometry --shell "$w" 2>/dev/null | grep -E '^(WIDTH|HEIGHT)=')"
      if [ $((WIDTH * HEIGHT)) -gt $area ] && [ "$WIDTH" -gt 300 ]; then
        area=$((WIDTH * HEIGHT)); best=$w
      fi
    done
    [ -n "$best" ] && break
    sleep 0.1
  done
  echo "$best"
}
# Puts the caret at the start, in the middle or at the end of the text.
place() {
  local win=$1 where=$2
  xdotool windowactivate --sync "$win" >/dev/null 2>&1 || true
  xdotool windowfocus --sync "$win" >/dev/null 2>&1 || true
  case $where in
    start) xdotool key --window "$win" ctrl+Home ;;
    end) xdotool key --window "$win" ctrl+End ;;
    middle)
      # A middle click on the vertical scroll bar halfway down, then a click
      # in the text there.
      local WIDTH=0 HEIGHT=0
      eval "$(xdotool getwindowgeometry --shell "$win")"
      xdotool mousemove --window "$win" $((WIDTH - 8)) $((HEIGHT / 2)) click 2
      sleep 0.3
      xdotool mousemove --window "$win" $((WIDTH / 3)) $((HEIGHT / 2)) click 1
      xdotool mousemove --window "$win" $((WIDTH / 3)) $((HEIGHT - 5))
      ;;
  esac
}
# Starts one program on the file and waits until it is idle with its main
# window shown; sets pid_WHO and win_WHO.
start_one() {
  local who=$1 file=$2 pid win
  if [ "$who" = mmedit ]; then
    # The copy that crash recovery kept of the run before (ended with kill)
    # would be offered first.
    rm -f "$work"/MMEdit-recovery-*
    "$work/mmedit" "$file" >/dev/null 2>&1 &
  elif [ "$who" = peer ]; then
    "$bin/bench_keys_peer" "$file" >/dev/null 2>&1 &
  else
    "$bin/bench_keys_floor" >/dev/null 2>&1 &
  fi
  pid=$!
  bench_keep_pid $pid
  printf -v "pid_$who" %s "$pid"
  win=$(window_of "$pid")
  [ -n "$win" ] || { echo "keys.sh: $who ended before it showed its window" >&2; return 1; }
  wait_idle "$pid" || return 1
  # Once idle, again: the first window seen may have been a splash window
  # (on a loaded machine it can be the largest one shown for a while).
  win=$(window_of "$pid")
  [ -n "$win" ] || { echo "keys.sh: $who ended before it was idle" >&2; return 1; }
  printf -v "win_$who" %s "$win"
}
# Brings the window to the front with the keyboard's focus and waits until
# its process has painted what that asks for.
to_front() {
  xdotool windowactivate --sync "$2" >/dev/null 2>&1 || true
  xdotool windowfocus --sync "$2" >/dev/null 2>&1 || true
  wait_idle "$1"
}
# One run: MMEdit and, unless alone, the peer on the same file, both
# running at once, the caret at the same place in each, and the floor
# window; then BLOCKS blocks of keys by turns (the first to type changes
# from block to block), so that all meet the machine as it is at the same
# moments. A block counts the process's CPU from its first key until it is
# idle again, less its idle CPU (measured first, all idle) over the same
# time. Sets turn_out to microseconds per key: MMEdit's, the floor's, then
# the peer's.
run_side_by_side() {
  local file=$1 where=$2 alone=$3 who list=(mmedit floor) b c0 c1 t0 t1 pid win
  [ -z "$alone" ] && list+=(peer)
  for who in "${list[@]}"; do start_one "$who" "$file" || return 1; done
  declare -A base used
  for who in "${list[@]}"; do
    pid=pid_$who win=win_$who
    to_front "${!pid}" "${!win}" || return 1
    place "${!win}" "$where"
    wait_idle "${!pid}" || return 1
    xdotool key --window "${!win}" a BackSpace # the caret's line comes into view
    wait_idle "${!pid}" || return 1
    used[$who]=0
  done
  local -A cs0 cs1
  for who in "${list[@]}"; do pid=pid_$who; cs0[$who]=$(cpu "${!pid}"); done
  t0=$(now); sleep 2; t1=$(now)
  for who in "${list[@]}"; do
    pid=pid_$who; cs1[$who]=$(cpu "${!pid}")
    base[$who]=$(awk -v c=$((cs1[$who] - cs0[$who])) -v t=$((t1 - t0)) 'BEGIN { printf "%.9f\n", c / t }')
  done
  local per=$((keys / blocks)) seq=()
  for _ in $(seq $((per / 2))); do seq+=(a BackSpace); done
  for b in $(seq "$blocks"); do
    local n=${#list[@]} order=() i
    for i in $(seq 0 $((n - 1))); do order+=("${list[$(((i + b) % n))]}"); done
    for who in "${order[@]}"; do
      pid=pid_$who win=win_$who
      to_front "${!pid}" "${!win}" || return 1
      c0=$(cpu "${!pid}"); t0=$(now)
      xdotool key --delay 12 "${seq[@]}"
      wait_idle "${!pid}" || return 1
      c1=$(cpu "${!pid}"); t1=$(now)
      used[$who]=$(awk -v u="${used[$who]}" -v c=$((c1 - c0)) -v t=$((t1 - t0)) -v b="${base[$who]}" \
        'BEGIN { printf "%.0f\n", u + c - b * t }')
    done
  done
  if [ -n "${SCREENSHOT:-}" ]; then import -window root "$SCREENSHOT.png"; fi
  turn_out=
  for who in "${list[@]}"; do
    turn_out+=$(awk -v u="${used[$who]}" -v n=$((per / 2 * 2 * blocks)) 'BEGIN { printf "%.0f ", u / n / 1000 }')
  done
}
# Ends the programs of a run, also of one that failed half-way.
end_programs() {
  local p
  for p in "${pid_mmedit:-}" "${pid_peer:-}" "${pid_floor:-}"; do
    [ -n "$p" ] || continue
    kill -9 "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  pid_mmedit= pid_peer= pid_floor=
}
summary() {
  sort -n | awk '{ t[NR] = $1 } END { printf "fastest %6s median %6s", t[1], t[int((NR + 1) / 2)] }'
}

# The first start writes the settings file (not timed).
"$work/mmedit" >/dev/null 2>&1 &
first=$!
bench_keep_pid $first
window_of "$first" >/dev/null
wait_idle "$first" || true
kill -9 "$first" 2>/dev/null || true

echo "keys: $keys per figure, $runs runs, $(nproc) CPUs, load $(cut -d' ' -f1-3 /proc/loadavg)"
for c in "${cases[@]}"; do
  IFS=: read -r kind mb where alone <<<"$c"
  file=$work/$kind-$mb.txt
  [ -f "$file" ] || "$bin/bench_write_sample" "$kind" "$mb" "$file"
  : >"$work/m.txt"
  : >"$work/p.txt"
  : >"$work/f.txt"
  for _ in $(seq "$runs"); do
    turn_out=
    run_side_by_side "$file" "$where" "$alone"
    end_programs
    read -r m f p <<<"$turn_out"
    [ -n "${m:-}" ] && echo "$m" >>"$work/m.txt"
    [ -n "${f:-}" ] && echo "$f" >>"$work/f.txt"
    [ -n "${p:-}" ] && echo "$p" >>"$work/p.txt"
  done
  peer="(not run)"
  if [ -z "$alone" ]; then
    # Runs where MMEdit used less CPU per key than the peer beside it.
    lower=$(paste -d' ' "$work/m.txt" "$work/p.txt" |
      awk 'NF == 2 { n++; if ($1 < $2) k++ } END { printf "%d of %d", k, n }')
    peer="$(summary <"$work/p.txt")   lower in $lower runs"
  fi
  printf "%-24s us/key  mmedit %s   peer %s   floor %s\n" "$kind/${mb}MB/$where" \
    "$(summary <"$work/m.txt")" "$peer" "$(summary <"$work/f.txt")"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
