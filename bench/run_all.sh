#!/usr/bin/env bash
# Builds the benchmark programs (Release), runs them all and prints a compact
# table at the end: MMEdit next to its peer (QPlainTextEdit, Qt's text layout
# and document, iconv, a plain Qt main window for the start-up) and the
# reference lines (ICU's line breaker, a byte loop, wc -l).
#
# Usage: bench/run_all.sh [BUILD_DIR]        (default: build-bench)
#   MMEDIT_BENCH_NO_BUILD=1  run the programs already built in BUILD_DIR
#   MMEDIT_BENCH_JOBS=N      build jobs (default 1)
#   MMEDIT_BENCH_FILTER=RE   only the benchmarks matching RE (bench_layout, bench_editor)
#   MMEDIT_BENCH_LIMIT=S     time limit of one child process of bench_editor (keys in
#                            the pathological texts), default 120 seconds
# The outputs stay in BUILD_DIR/bench-results (JSON of each benchmark
# program, the memory lines, the command timings); the 100 MB text file is
# written once to the temporary folder (TMPDIR, else /tmp).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-bench}
if [ -z "${MMEDIT_BENCH_NO_BUILD:-}" ]; then
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DMMEDIT_TESTS=OFF -DMMEDIT_BENCH=ON >/dev/null
  cmake --build "$dir" -j"${MMEDIT_BENCH_JOBS:-1}" \
        --target bench_layout bench_editor bench_memory bench_find bench_mailcheck bench_recovery \
                 mmedit-cli \
                 mmedit bench_startup_peer
fi
bin=$dir/bin
out=$dir/bench-results
mkdir -p "$out"
export QT_QPA_PLATFORM=offscreen
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d)
  export XDG_RUNTIME_DIR
fi
filter=${MMEDIT_BENCH_FILTER:-.}
tmp=${TMPDIR:-/tmp}
file=$tmp/mmedit-bench-100MB.txt

echo "== bench_layout"
"$bin/bench_layout" --benchmark_filter="$filter" \
  --benchmark_out="$out/layout.json" --benchmark_out_format=json
echo
echo "== bench_editor"
"$bin/bench_editor" --benchmark_filter="$filter" \
  --benchmark_out="$out/editor.json" --benchmark_out_format=json
echo

echo "== bench_find"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$bin/bench_find" --benchmark_filter="$filter" \
  --benchmark_out="$out/find.json" --benchmark_out_format=json
echo
echo "== bench_recovery"
"$bin/bench_recovery" --benchmark_filter="$filter" \
  --benchmark_out="$out/recovery.json" --benchmark_out_format=json
echo
echo "== bench_mailcheck"
"$bin/bench_mailcheck" --benchmark_filter="$filter" \
  --benchmark_out="$out/mailcheck.json" --benchmark_out_format=json
echo

[ -f "$file" ] || "$bin/bench_memory" write 100 "$file"
echo "== bench_memory (one process each, 100 MB)"
: >"$out/memory.txt"
for who in mmedit peer; do
  "$bin/bench_memory" "$who" 100 "$file" | tee -a "$out/memory.txt"
done
echo

echo "== start-up to the main window shown (31 runs each, taking turns)"
bench/startup.sh "$dir" 31 | tee "$out/startup.txt"
echo

# Seconds of the fastest and the median of 5 runs of a command.
time_runs() {
  local times=() start end
  for _ in 1 2 3 4 5; do
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')")
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { printf "%s %s\n", t[1], t[3] }'
}
echo "== commands on the 100 MB file (fastest and median of 5 runs, seconds)"
cat "$file" >/dev/null # in the page cache for every command
{
  echo "mmedit-cli-count $(time_runs "$bin/mmedit-cli" count --width 70 "$file")"
  echo "iconv-cp932-utf8 $(time_runs iconv -f CP932 -t UTF-8 "$file")"
  echo "wc-l $(time_runs wc -l "$file")"
} | tee "$out/commands.txt"
"$bin/mmedit-cli" count --width 70 "$file"
echo

# --- the table -------------------------------------------------------------------
echo "== summary (times are per iteration: per key for Key and Edit, per text otherwise)"
fmt='%-34s %14s %14s %12s\n'
printf "$fmt" "figure" "MMEdit" "peer" "peer/MMEdit"
jq -r -s '
  def secs: .real_time * ({"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1}[.time_unit]);
  def num: if . >= 100 then (. | round | tostring)
           elif . >= 10 then ((. * 10 | round) / 10 | tostring)
           elif . >= 1 then ((. * 100 | round) / 100 | tostring)
           else ((. * 1000 | round) / 1000 | tostring) end;
  def human: if . < 1e-3 then (. * 1e6 | num) + " us"
             elif . < 1 then (. * 1e3 | num) + " ms" else (num) + " s" end;
  def show: if .error_occurred then "skipped" else (secs | human) end;
  def pad($n): tostring | if length < $n then . + (" " * ($n - length)) else . end;
  def lpad($n): tostring | if length < $n then (" " * ($n - length)) + . else . end;
  [.[].benchmarks[] | select(.run_type == "iteration")
   | . as $b
   | ($b.name | sub("/(iterations|real_time|manual_time|min_time).*$"; "") | split("/")) as $p
   | (if ($p[1] == "MMEdit" or $p[1] == "LineView") then "m"
      elif ($p[1] == "Peer" or $p[1] == "QTextLayout" or $p[1] == "QTextDocument") then "p"
      else "r" end) as $col
   | {key: (if $col == "r" then ($p | join(" ")) else ([$p[0]] + $p[2:] | join(" ")) end),
      col: $col, b: $b, who: $p[1]}]
  | reduce .[] as $r ({order: [], rows: {}};
      (if .rows[$r.key] == null then .order += [$r.key] else . end)
      | .rows[$r.key][$r.col] = $r)
  | . as $t
  | $t.order[]
  | $t.rows[.] as $row
  | if $row.r != null then
      (. | pad(34)) + " " + ("" | lpad(14)) + " " + ("" | lpad(14)) + " "
      + ("reference: " + ($row.r.b | show)
         + (if $row.r.b.bytes_per_second then ", " + ($row.r.b.bytes_per_second / 1048576 | num) + " MB/s" else "" end))
    else
      (if $row.p != null and $row.p.who != "Peer" then . + " (" + $row.p.who + ")" else . end) as $name
      | ($name | pad(34)) + " "
      + ((if $row.m then ($row.m.b | show) else "-" end) | lpad(14)) + " "
      + ((if $row.p then ($row.p.b | show) else "-" end) | lpad(14)) + " "
      + ((if ($row.m and $row.p and ($row.m.b.error_occurred | not) and ($row.p.b.error_occurred | not))
          then (($row.p.b | secs) / ($row.m.b | secs) | num) else "" end) | lpad(12))
    end
' "$out"/layout.json "$out"/editor.json

awk -v fmt="$fmt" '
  $1 == "memory" {
    for (i = 3; i <= NF; i++) { split($i, kv, "="); v[$2, kv[1]] = kv[2] }
  }
  END {
    f = v["mmedit", "file_mb"]
    printf fmt, "Memory 100MB peak (x file)", sprintf("%.2f", v["mmedit", "peak_mb"] / f),
           sprintf("%.2f", v["peer", "peak_mb"] / f), sprintf("%.2f", v["peer", "peak_mb"] / v["mmedit", "peak_mb"])
    printf fmt, "Memory 100MB at rest (x file)", sprintf("%.2f", v["mmedit", "rest_mb"] / f),
           sprintf("%.2f", v["peer", "rest_mb"] / f), sprintf("%.2f", v["peer", "rest_mb"] / v["mmedit", "rest_mb"])
    printf fmt, "Memory before opening (MB)", v["mmedit", "before_mb"], v["peer", "before_mb"], ""
  }' "$out/memory.txt"
awk -v fmt="$fmt" '
  $1 == "startup" {
    for (i = 3; i <= NF; i++) { split($i, kv, "="); v[$2, kv[1]] = kv[2] }
  }
  END {
    printf fmt, "Start-up median (fastest)", v["mmedit", "median_ms"] " ms (" v["mmedit", "fastest_ms"] ")",
           v["peer", "median_ms"] " ms (" v["peer", "fastest_ms"] ")",
           sprintf("%.2f", v["peer", "median_ms"] / v["mmedit", "median_ms"])
  }' "$out/startup.txt"
awk -v fmt="$fmt" '
  { best[$1] = $2; median[$1] = $3 }
  END {
    printf fmt, "count 100MB (mmedit-cli / iconv)", best["mmedit-cli-count"] " s",
           best["iconv-cp932-utf8"] " s", sprintf("%.2f", best["iconv-cp932-utf8"] / best["mmedit-cli-count"])
    printf fmt, "wc -l 100MB", "", "", "reference: " best["wc-l"] " s"
  }' "$out/commands.txt"
echo
echo "Skipped figures:"
jq -r -s '[.[].benchmarks[] | select(.error_occurred) | "  " + .name + ": " + .error_message] | if length == 0 then "  none" else .[] end' \
  "$out"/layout.json "$out"/editor.json
