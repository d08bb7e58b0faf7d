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
# every 1.3 KiB, a report of 7.5 MB per GiB). The same video muxed by ffmpeg
# (when installed) into a transport stream and into a DVD program stream
# gives two more files. For each file in turn, held in the page cache, each
# repetition times:
#   cat FILE >/dev/null
#   m2vhdr FILE                      the report
#   m2vhdr --stats FILE              the statistics (one pass, then the VBV search)
#   m2vhdr --summary FILE            one line per segment (one pass, no VBV search)
#   m2vhdr --check dvd FILE          the DVD rules
#   m2vhdr --dry-run FILE RATE       the patches a rewrite would write
#   m2vhdr COPY RATE                 a durable rewrite of a copy: the rate
#                                    alternates, so every run writes and flushes
#   m2vhdr FILE, mapped              the report with the file mapped instead of
#                                    read (M2VHDR_BENCH_READING=mapped, which
#                                    only this build honours): the tool reads,
#                                    as the faster of the two here
# (with --demux for the containers), and for the elementary stream the JSON
# report and the statistics as JSON; then ffprobe's packet listing,
# PEER_RUNS times (default 2), when installed. Each figure is printed beside
# cat of the same file.
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
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DM2VHDR_TESTS=OFF -DM2VHDR_BENCH_READING=ON >/dev/null
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

# name -> "seconds kib cpu_seconds" lines
declare -A runs
time_it() {  # NAME COMMAND...
  local line
  line=$("$timer" "${@:2}")
  runs[$1]+="$line"$'\n'
}
# The same for a command whose exit status says what it found (--check).
time_it_any_status() {  # NAME COMMAND...
  local line
  line=$("$timer" "${@:2}" 2>/dev/null) || true
  [ -n "$line" ] || { echo "cannot run: ${*:2}" >&2; exit 1; }
  runs[$1]+="$line"$'\n'
}

# The containers: the elementary stream itself, and the same video muxed by
# ffmpeg into a transport stream and into a DVD program stream.
containers=(es)
if command -v ffmpeg >/dev/null; then
  containers+=(ts ps)
  ffmpeg -nostdin -loglevel error -fflags +genpts -r 30000/1001 -i "$file" -map 0:v -c copy \
    -f mpegts "$work/stream.ts"
  ffmpeg -nostdin -loglevel error -fflags +genpts -r 30000/1001 -i "$file" -map 0:v -c copy \
    -f vob "$work/stream.vob"
fi
declare -A path options
path[es]=$file; options[es]=""
path[ts]=$work/stream.ts; options[ts]="--demux"
path[ps]=$work/stream.vob; options[ps]="--demux"
other_rate=$((rate - 400))

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
peer=0
command -v ffprobe >/dev/null && peer=1
for c in "${containers[@]}"; do
  f=${path[$c]}
  copy=$work/copy.$c
  cp "$f" "$copy"
  # Warm the page cache.
  for g in "$f" "$copy"; do cat "$g" >/dev/null; cat "$g" >/dev/null; done
  # shellcheck disable=SC2086
  for ((r = 0; r < reps; r++)); do
    time_it "$c.cat" cat "$f"
    time_it "$c.report" "$tool" ${options[$c]} "$f"
    export M2VHDR_BENCH_READING=mapped
    time_it "$c.mapped" "$tool" ${options[$c]} "$f"
    unset M2VHDR_BENCH_READING
    time_it "$c.stats" "$tool" ${options[$c]} --stats "$f"
    time_it "$c.summary" "$tool" --summary "$f"
    time_it_any_status "$c.check" "$tool" ${options[$c]} --check dvd "$f"
    time_it "$c.dry_run" "$tool" ${options[$c]} --dry-run "$f" "$other_rate"
    # Every durable rewrite changes the rate of every sequence, so each one
    # writes and flushes: the rates alternate.
    time_it "$c.rewrite" "$tool" ${options[$c]} "$copy" "$(( r % 2 ? rate : other_rate ))"
    if [ "$c" = es ]; then
      time_it json "$tool" --json "$f"
      time_it stats_json "$tool" --stats --json "$f"
    fi
    sync "$copy"  # the flusher must not write back during the next runs
  done
  if [ "$peer" = 1 ]; then
    for ((r = 0; r < peer_runs; r++)); do
      time_it "$c.ffprobe" ffprobe -v error -show_entries packet=pos -of csv "$f"
    done
  fi
  rm -f "$copy"
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
seconds_of() { printf '%s' "${runs[$1]}" | awk '{ print $1 }'; }
cpu_of() { printf '%s' "${runs[$1]}" | awk '{ print $3 }'; }
peak_of() { printf '%s' "${runs[$1]}" | awk '$2 > m { m = $2 } END { print m }'; }

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
echo "processor: $cpu, $(nproc) cores; load average $load_before before, $load_after after"
echo "stream: $bytes bytes of video, $source_note, in the page cache"
echo "runs: $reps of each m2vhdr command and of cat (interleaved), $peer_runs of ffprobe"
echo "wall: median wall-clock seconds; cpu: median user + system seconds, the"
echo "steadier figure when other processes share the cores; x cat: against cat"
echo "of the same file"
declare -A title
title[es]="elementary stream"
title[ts]="transport stream (ffmpeg -c copy -f mpegts)"
title[ps]="program stream (ffmpeg -c copy -f vob)"
for c in "${containers[@]}"; do
  f=${path[$c]}
  size=$(stat -c %s "$f")
  cat_median=$(seconds_of "$c.cat" | median)
  cat_cpu=$(cpu_of "$c.cat" | median)
  opt=${options[$c]:+${options[$c]} }
  echo
  echo "${title[$c]}: $size bytes"
  printf '%-44s %9s %7s %7s %9s %7s %10s\n' "command" "wall" "x cat" "GB/s" "cpu" "x cat" "peak RSS"
  row() {  # NAME LABEL
    local m c2 rss
    m=$(seconds_of "$1" | median)
    c2=$(cpu_of "$1" | median)
    rss=$(awk -v k="$(peak_of "$1")" 'BEGIN { printf "%.1f MiB", k / 1024 }')
    awk -v label="$2" -v m="$m" -v cm="$cat_median" -v c="$c2" -v cc="$cat_cpu" -v b="$size" -v rss="$rss" \
      'BEGIN { printf "%-44s %9.4f %7.2f %7.2f %9.4f %7.2f %10s\n", label, m, m / cm, b / m / 1e9, c, c / cc, rss }'
  }
  row "$c.cat" "cat FILE"
  row "$c.report" "m2vhdr ${opt}FILE"
  row "$c.mapped" "m2vhdr ${opt}FILE, mapped"
  row "$c.stats" "m2vhdr ${opt}--stats FILE"
  row "$c.summary" "m2vhdr --summary FILE"
  row "$c.check" "m2vhdr ${opt}--check dvd FILE"
  row "$c.dry_run" "m2vhdr ${opt}--dry-run FILE RATE"
  row "$c.rewrite" "m2vhdr ${opt}COPY RATE (durable)"
  if [ "$c" = es ]; then
    row json "m2vhdr --json FILE"
    row stats_json "m2vhdr --stats --json FILE"
  fi
  [ -n "${runs[$c.ffprobe]:-}" ] && row "$c.ffprobe" "ffprobe -show_entries packet=pos -of csv"
  if [ -n "${runs[$c.ffprobe]:-}" ]; then
    awk -v p="$(seconds_of "$c.ffprobe" | median)" -v r="$(seconds_of "$c.report" | median)" \
      'BEGIN { printf "ffprobe / report: %.1f x\n", p / r }'
  fi
done
echo
echo "every run (wall seconds/cpu seconds/peak RSS KiB):"
for name in $(printf '%s\n' "${!runs[@]}" | sort); do
  printf '  %-12s %s\n' "$name" "$(printf '%s' "${runs[$name]}" | awk '{ printf "%s%.4f/%.4f/%d", (NR > 1 ? " " : ""), $1, $3, $2 }')"
done

if [ "$micro" = 1 ]; then
  echo
  "$build/bench/find_start_code_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
fi
