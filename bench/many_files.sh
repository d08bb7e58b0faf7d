#!/usr/bin/env bash
# Times m2vhdr on many files at once, held in the page cache, beside `cat`
# of them all, with one job and with two, and prints the median of several
# runs of each.
#
#   bench/many_files.sh [-r REPETITIONS] [-n FILES] [-s SIZE_MIB] [--links] [--mode MODE]
#
# Makes one stream of SIZE_MIB (default 4) by repeating the sample streams
# tests/data/*.m2v, and FILES (default 1000) files of it in a temporary
# folder (copies; --links: hard links, which share their pages in the
# cache and spare the disk). Each repetition times, interleaved:
#   cat FOLDER/*
#   m2vhdr MODE -j 1 FOLDER
#   m2vhdr MODE -j 2 FOLDER
# MODE is --stats unless given (--summary, once there is one, --check dvd).
# It prints the load average before and after: the figures are only as
# steady as the machine is idle.
set -euo pipefail
cd "$(dirname "$0")/.."

reps=5
count=1000
size_mib=4
links=0
mode=--stats
while [ $# -gt 0 ]; do
  case "$1" in
    -r) reps=$2; shift 2 ;;
    -n) count=$2; shift 2 ;;
    -s) size_mib=$2; shift 2 ;;
    --links) links=1; shift ;;
    --mode) mode=$2; shift 2 ;;
    *) echo "usage: $0 [-r REPETITIONS] [-n FILES] [-s SIZE_MIB] [--links] [--mode MODE]" >&2; exit 2 ;;
  esac
done

build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DM2VHDR_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target m2vhdr m2vhdr_time_command >/dev/null
tool=$PWD/$build/m2vhdr
timer=$PWD/$build/bench/m2vhdr_time_command

work=$(mktemp -d "${TMPDIR:-/tmp}/m2vhdr-many-XXXXXX")
trap 'rm -rf "$work"' EXIT

bytes=$((size_mib * 1024 * 1024))
one=$work/one.m2v
cat tests/data/*.m2v >"$one"
while [ "$(stat -c %s "$one")" -lt "$bytes" ]; do cat "$one" "$one" >"$work/d" && mv "$work/d" "$one"; done
truncate -s "$bytes" "$one"
mkdir "$work/files"
for ((i = 0; i < count; i++)); do
  name=$(printf '%s/files/%04d.m2v' "$work" "$i")
  if [ "$links" = 1 ]; then ln "$one" "$name"; else cp "$one" "$name"; fi
done
files=("$work"/files/*.m2v)
cat "${files[@]}" >/dev/null
cat "${files[@]}" >/dev/null

declare -A runs
time_it() {  # NAME COMMAND...
  local line
  line=$("$timer" "${@:2}" 2>/dev/null) || true
  [ -n "$line" ] || { echo "cannot run: ${*:2}" >&2; exit 1; }
  runs[$1]+="$line"$'\n'
}
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
# shellcheck disable=SC2086
for ((r = 0; r < reps; r++)); do
  time_it cat cat "${files[@]}"
  time_it j1 "$tool" $mode -j 1 "$work/files"
  time_it j2 "$tool" $mode -j 2 "$work/files"
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
column_of() { printf '%s' "${runs[$1]}" | awk -v c="$2" '{ print $c }'; }
cat_wall=$(column_of cat 1 | median)
j1_wall=$(column_of j1 1 | median)
echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores"
echo "load average: $load_before before, $load_after after"
echo "files: $count of $bytes bytes ($([ "$links" = 1 ] && echo "hard links" || echo "copies")), in the page cache; $reps runs each"
printf '%-34s %9s %8s %9s %10s\n' "command" "wall" "x cat" "cpu" "peak RSS"
for n in cat j1 j2; do
  case $n in cat) label="cat FILES" ;; j1) label="m2vhdr $mode -j 1 FOLDER" ;; j2) label="m2vhdr $mode -j 2 FOLDER" ;; esac
  awk -v l="$label" -v w="$(column_of $n 1 | median)" -v c="$cat_wall" -v cpu="$(column_of $n 3 | median)" \
    -v k="$(column_of $n 2 | sort -g | tail -1)" \
    'BEGIN { printf "%-34s %9.3f %8.2f %9.3f %6.1f MiB\n", l, w, w / c, cpu, k / 1024 }'
done
awk -v a="$j1_wall" -v b="$(column_of j2 1 | median)" 'BEGIN { printf "-j 2 is %.2f x faster than -j 1\n", a / b }'
echo
echo "every run (wall seconds, peak RSS KiB, cpu seconds):"
for n in cat j1 j2; do printf '%s:\n%s' "$n" "${runs[$n]}"; done
