#!/usr/bin/env bash
# Times m2vhdr on a large stream held in the page cache, side by side with
# `cat` (the cost of reading the file at all) and ffprobe (a peer that also
# walks the stream), and prints the median of several runs of each.
#
#   bench/run.sh [-r REPETITIONS] [-s SIZE_MIB] [-p PEER_RUNS] [--standin] [--micro]
#
# Builds the release binary in build-bench/, makes the stream by repeating
# the sample streams tests/data/*.m2v in a temporary folder that is removed
# afterwards. The samples are short and coded at low rates, so they hold a
# start code every 60 to 300 bytes and make a report of about 85 MB per GiB;
# --standin (or an empty tests/data) uses two streams made with ffmpeg at
# DVD and broadcast rates instead (8 Mbit/s SD, 25 Mbit/s HD: a start code
# every 1.3 KiB, a report of 7.5 MB per GiB). It reads the stream once to
# warm the page cache, then in each repetition times:
#   cat FILE >/dev/null
#   m2vhdr FILE >/dev/null            the report
#   m2vhdr --json FILE >/dev/null     the report as JSON (at most 1.5x the report)
#   m2vhdr COPY RATE >/dev/null       the rewrite of a copy, always to the rate it holds
#                                     (writes nothing: at most the report's cost)
#   m2vhdr --stats FILE >/dev/null    the statistics (one pass, then the VBV search)
#   m2vhdr --stats --json FILE        the same as JSON
# and ffprobe's packet listing, PEER_RUNS times (default 2), when installed.
# The same stream muxed into a transport stream by ffmpeg (when installed)
# gives three more: cat of it, `m2vhdr --demux` of it (within 2x cat, and
# with peak memory under 8 MiB) and `ffprobe -show_packets` of it.
# --micro also builds and runs the search micro-benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."

reps=7
size_mib=1024
peer_runs=2
micro=0
standin=0
rate=15000000
while [ $# -gt 0 ]; do
  case "$1" in
    -r) reps=$2; shift 2 ;;
    -s) size_mib=$2; shift 2 ;;
    -p) peer_runs=$2; shift 2 ;;
    --micro) micro=1; shift ;;
    --standin) standin=1; shift ;;
    *) echo "usage: $0 [-r REPETITIONS] [-s SIZE_MIB] [-p PEER_RUNS] [--standin] [--micro]" >&2; exit 2 ;;
  esac
done

build=build-bench
targets=(m2vhdr m2vhdr_time_command)
[ "$micro" = 1 ] && targets+=(find_start_code_bench)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DM2VHDR_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null
tool=$PWD/$build/m2vhdr
timer=$PWD/$build/bench/m2vhdr_time_command

work=$(mktemp -d "${TMPDIR:-/tmp}/m2vhdr-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The streams to repeat.
shopt -s nullglob
samples=(tests/data/*.m2v)
source_note="${#samples[@]} sample streams from tests/data"
if [ "$standin" = 1 ] || [ ${#samples[@]} -eq 0 ]; then
  command -v ffmpeg >/dev/null || { echo "no tests/data/*.m2v and no ffmpeg to make stand-ins" >&2; exit 1; }
  ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i testsrc2=size=720x480:rate=30000/1001 \
    -t 20 -c:v mpeg2video -b:v 8M -f mpeg2video "$work/standin_sd.m2v"
  ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i testsrc2=size=1920x1080:rate=25 \
    -t 10 -c:v mpeg2video -b:v 25M -flags +ildct+ilme -f mpeg2video "$work/standin_hd.m2v"
  samples=("$work/standin_sd.m2v" "$work/standin_hd.m2v")
  source_note="2 stand-in streams made with ffmpeg (8 Mbit/s SD, 25 Mbit/s HD)"
fi

# Repeat them, doubling, until the size is reached; cut to the exact size.
bytes=$((size_mib * 1024 * 1024))
file=$work/stream.m2v
cat "${samples[@]}" >"$file"
while [ "$(stat -c %s "$file")" -lt "$bytes" ]; do
  cat "$file" "$file" >"$work/double.m2v"
  mv "$work/double.m2v" "$file"
done
truncate -s "$bytes" "$file"
copy=$work/copy.m2v
cp "$file" "$copy"

# Warm the page cache, and rewrite the copy once so that every timed run
# writes the bytes that are already there.
for f in "$file" "$copy"; do cat "$f" >/dev/null; cat "$f" >/dev/null; done
"$tool" "$copy" "$rate" >/dev/null
sync "$copy"

# name -> "seconds kib cpu_seconds" lines
declare -A runs
time_it() {  # NAME COMMAND...
  local line
  line=$("$timer" "${@:2}")
  runs[$1]+="$line"$'\n'
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for ((r = 0; r < reps; r++)); do
  time_it cat cat "$file"
  time_it report "$tool" "$file"
  time_it json "$tool" --json "$file"
  time_it rewrite "$tool" "$copy" "$rate"
  time_it stats "$tool" --stats "$file"
  time_it stats_json "$tool" --stats --json "$file"
  sync "$copy"  # the flusher must not write back during the next runs
done
peer=0
if command -v ffprobe >/dev/null; then
  peer=1
  for ((r = 0; r < peer_runs; r++)); do
    time_it ffprobe ffprobe -v error -show_entries packet=pos -of csv "$file"
  done
fi
# The transport stream: the report through the demultiplexer.
ts_runs=0
if command -v ffmpeg >/dev/null; then
  ts_runs=$reps
  ts=$work/stream.ts
  ffmpeg -nostdin -loglevel error -fflags +genpts -r 30000/1001 -i "$file" -map 0:v -c copy \
    -f mpegts "$ts"
  rm -f "$copy"  # room in the temporary folder
  cat "$ts" >/dev/null; cat "$ts" >/dev/null
  for ((r = 0; r < reps; r++)); do
    time_it ts_cat cat "$ts"
    time_it ts_report "$tool" --demux "$ts"
  done
  [ "$peer" = 1 ] && time_it ts_ffprobe ffprobe -v error -show_packets "$ts"
fi
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
seconds_of() { printf '%s' "${runs[$1]}" | awk '{ print $1 }'; }
cpu_of() { printf '%s' "${runs[$1]}" | awk '{ print $3 }'; }
peak_of() { printf '%s' "${runs[$1]}" | awk '$2 > m { m = $2 } END { print m }'; }

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
echo "processor: $cpu, $(nproc) cores; load average $load_before before, $load_after after"
echo "stream: $bytes bytes, $source_note, in the page cache"
echo "runs: $reps of cat, report, JSON report, rewrite and stats (interleaved), $peer_runs of ffprobe"
echo "wall: median wall-clock seconds; cpu: median user + system seconds, the"
echo "steadier figure when other processes share the cores"
echo
cat_median=$(seconds_of cat | median)
cat_cpu=$(cpu_of cat | median)
printf '%-34s %9s %7s %7s %9s %7s %10s\n' "command" "wall" "x cat" "GB/s" "cpu" "x cat" "peak RSS"
row() {  # NAME LABEL SHOW_RSS
  local m c rss
  m=$(seconds_of "$1" | median)
  c=$(cpu_of "$1" | median)
  rss="-"
  [ "$3" = 1 ] && rss=$(awk -v k="$(peak_of "$1")" 'BEGIN { printf "%.1f MiB", k / 1024 }')
  awk -v label="$2" -v m="$m" -v cm="$cat_median" -v c="$c" -v cc="$cat_cpu" -v b="$bytes" -v rss="$rss" \
    'BEGIN { printf "%-34s %9.4f %7.2f %7.2f %9.4f %7.2f %10s\n", label, m, m / cm, b / m / 1e9, c, c / cc, rss }'
}
row cat "cat FILE >/dev/null" 0
row report "m2vhdr FILE >/dev/null" 1
row json "m2vhdr --json FILE >/dev/null" 1
row rewrite "m2vhdr COPY $rate >/dev/null" 1
row stats "m2vhdr --stats FILE >/dev/null" 1
row stats_json "m2vhdr --stats --json FILE" 1
report_median=$(seconds_of report | median)
for name in stats stats_json; do
  awk -v n="$name" -v m="$(seconds_of $name | median)" -v r="$report_median" \
    'BEGIN { printf "%s: %.2f x the report'"'"'s wall time (the budget is 1.5)\n", n, m / r }' >&2
done
[ "$peer" = 1 ] && row ffprobe "ffprobe -show_entries packet=pos" 0
awk -v j="$(seconds_of json | median)" -v r="$(seconds_of report | median)" \
  -v jc="$(cpu_of json | median)" -v rc="$(cpu_of report | median)" \
  'BEGIN { printf "JSON report / report: %.2f wall, %.2f cpu\n", j / r, jc / rc }'
# The copy already holds the rate: the rewrite writes and flushes nothing,
# and costs no more than the report.
awk -v w="$(seconds_of rewrite | median)" -v r="$(seconds_of report | median)" \
  -v wc="$(cpu_of rewrite | median)" -v rc="$(cpu_of report | median)" \
  'BEGIN { printf "rewrite to the rate already there / report: %.2f wall, %.2f cpu (the budget is 1.0)\n", w / r, wc / rc }'
if [ "$ts_runs" -gt 0 ]; then
  echo
  echo "transport stream: $(stat -c %s "$ts") bytes (ffmpeg -c copy -f mpegts of the stream)"
  ts_cat=$(seconds_of ts_cat | median)
  ts_report=$(seconds_of ts_report | median)
  awk -v r="$ts_report" -v c="$ts_cat" -v k="$(peak_of ts_report)" \
    'BEGIN { printf "m2vhdr --demux TS: %.4f s, %.2f x cat of it (the budget is 2), peak RSS %.1f MiB (under 8)\n", r, r / c, k / 1024 }'
  if [ -n "${runs[ts_ffprobe]:-}" ]; then
    awk -v p="$(seconds_of ts_ffprobe | median)" -v r="$ts_report" \
      'BEGIN { printf "ffprobe -show_packets TS: %.4f s, %.1f x m2vhdr --demux (at least 5)\n", p, p / r }'
  fi
fi
echo
echo "every run (wall seconds/cpu seconds/peak RSS KiB):"
for name in cat report json rewrite stats stats_json ffprobe ts_cat ts_report ts_ffprobe; do
  [ -n "${runs[$name]:-}" ] || continue
  printf '  %-8s %s\n' "$name" "$(printf '%s' "${runs[$name]}" | awk '{ printf "%s%.4f/%.4f/%d", (NR > 1 ? " " : ""), $1, $3, $2 }')"
done

if [ "$micro" = 1 ]; then
  echo
  "$build/bench/find_start_code_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
fi
