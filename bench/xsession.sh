# Shared part of the real-program benchmark scripts (keys.sh, open.sh,
# startup.sh), sourced by each: a temporary folder with a copy of MMEdit's
# program folder, a private runtime folder, an X display (Xvfb with fluxbox)
# when one is asked for, the clean-up of everything started, and the loop
# that runs MMEdit and its peer by turns.
#
#   bench_prepare BIN [always_runtime]
#       Makes the temporary folder $bench_folder, removed at exit, and copies
#       the program and its data files from BIN into it (MMEdit writes its
#       settings file beside itself). XDG_RUNTIME_DIR becomes a private folder
#       in it when it is unset (with always_runtime: in every case).
#   bench_keep_pid PID
#       The process is killed at exit.
#   bench_start_x DISPLAY_NUMBER
#       Starts Xvfb on :DISPLAY_NUMBER (1280x1024x24, no TCP) and fluxbox
#       on it, waits until the display answers and the window manager has
#       had a second to settle, and exports DISPLAY.
#   bench_take_turns RUNS FIRST FIRST_OUT [SECOND SECOND_OUT]
#       Runs the command FIRST, then SECOND, RUNS times by turns, so that
#       both meet the same machine, each appending what it prints to its
#       file (emptied first). Without SECOND only FIRST runs.
# Each script keeps its own usage, environment and output.

bench_folder=
bench_pids=()

bench_cleanup() {
  local p
  for p in "${bench_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -n "$bench_folder" ] && rm -rf "$bench_folder"
  return 0
}
trap bench_cleanup EXIT

bench_keep_pid() {
  bench_pids+=("$1")
}

bench_prepare() {
  local bin=$1 always=${2:-}
  bench_folder=$(mktemp -d)
  cp -r "$bin/mmedit" "$bin/help" "$bin/link.dat" "$bin/waku.edt" "$bin/face.edt" "$bench_folder/"
  if [ -n "$always" ] || [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$bench_folder/runtime
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    export XDG_RUNTIME_DIR
  fi
}

bench_start_x() {
  local display=$1 tool
  for tool in Xvfb fluxbox xdotool; do
    command -v $tool >/dev/null || { echo "$(basename "$0"): $tool is missing (scripts/setup.sh)" >&2; exit 1; }
  done
  Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  bench_keep_pid $!
  export DISPLAY=:$display
  for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
  fluxbox >/dev/null 2>&1 &
  bench_keep_pid $!
  sleep 1
}

bench_take_turns() {
  local runs=$1 first=$2 first_out=$3 second=${4:-} second_out=${5:-}
  : >"$first_out"
  [ -n "$second" ] && : >"$second_out"
  for _ in $(seq "$runs"); do
    $first >>"$first_out"
    [ -n "$second" ] && $second >>"$second_out"
  done
  return 0
}
