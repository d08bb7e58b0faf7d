#!/usr/bin/env bash
# Makes small DVD-Video discs with ffmpeg and dvdauthor for the disc tests,
# in a scratch folder (nothing here is committed):
#
#   tests/data/make_discs.sh OUTPUT_DIR
#
# OUTPUT_DIR/NAME/VIDEO_TS for each NAME below. Every stream is one second of
# a test pattern. Each TV system is encoded once (-target ntsc-dvd or
# pal-dvd, 4:3); the 4:3 and 16:9 sources are that one encode remuxed the
# same way with only aspect_ratio_information set (mpeg2_metadata), so the
# two discs authored from them differ only where the aspect ratio is said:
#
#   ntsc_43, ntsc_169, pal_43, pal_169     one title
#   menus_43, menus_169                    NTSC, a VMG menu, a title set menu
#                                          and a title
#   two_sets_43, two_sets_169, two_sets_mixed
#                                          PAL, two title sets with a title
#                                          each (mixed: set 1 4:3, set 2 16:9)
#   sif_captions                           NTSC 352x240, closed captions said
#                                          to be in field 2
set -euo pipefail

out=${1:?usage: make_discs.sh OUTPUT_DIR}
mkdir -p "$out"
src="$out/sources"
mkdir -p "$src"

ffmpeg_quiet() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# source SYSTEM: SYSTEM_43.mpg and SYSTEM_169.mpg in $src.
source() {
    local system=$1 size rate
    if [ "$system" = ntsc ]; then size=720x480 rate=30000/1001; else size=720x576 rate=25; fi
    ffmpeg_quiet -f lavfi -i "testsrc=size=$size:rate=$rate" -t 1 -an \
        -fflags +bitexact -flags +bitexact -threads 1 \
        -target "$system-dvd" -aspect 4:3 "$src/${system}_encode.mpg"
    for aspect in 4/3:43 16/9:169; do
        ffmpeg_quiet -i "$src/${system}_encode.mpg" -c copy -fflags +bitexact \
            -bsf:v "mpeg2_metadata=display_aspect_ratio=${aspect%:*}" \
            -target "$system-dvd" "$src/${system}_${aspect#*:}.mpg"
    done
}

# author SYSTEM NAME XML: runs dvdauthor on the project XML (its dest is set
# here); SYSTEM is the TV system of menus that have no video of their own.
author() {
    local system=$1 name=$2 xml=$3
    rm -rf "${out:?}/$name"
    printf '%s\n' "<dvdauthor dest=\"$out/$name\">" "$xml" "</dvdauthor>" >"$src/$name.xml"
    VIDEO_FORMAT=${system^^} dvdauthor -x "$src/$name.xml" >"$src/$name.log" 2>&1 || {
        cat "$src/$name.log" >&2
        exit 1
    }
}

title() { echo "<titles><pgc><vob file=\"$src/$1.mpg\"/></pgc></titles>"; }
menu() { echo "<menus><pgc><vob file=\"$src/$1.mpg\"/></pgc></menus>"; }

source ntsc
source pal

for system in ntsc pal; do
    for aspect in 43 169; do
        author "$system" "${system}_$aspect" "<vmgm/><titleset>$(title "${system}_$aspect")</titleset>"
    done
done
for aspect in 43 169; do
    author ntsc "menus_$aspect" \
        "<vmgm>$(menu "ntsc_$aspect")</vmgm><titleset>$(menu "ntsc_$aspect")$(title "ntsc_$aspect")</titleset>"
    author pal "two_sets_$aspect" \
        "<vmgm/><titleset>$(title "pal_$aspect")</titleset><titleset>$(title "pal_$aspect")</titleset>"
done
author pal two_sets_mixed \
    "<vmgm/><titleset>$(title pal_43)</titleset><titleset>$(title pal_169)</titleset>"

ffmpeg_quiet -f lavfi -i "testsrc=size=352x240:rate=30000/1001" -t 1 -an \
    -fflags +bitexact -flags +bitexact -threads 1 \
    -target ntsc-dvd -s 352x240 -aspect 4:3 "$src/sif.mpg"
author ntsc sif_captions \
    "<vmgm/><titleset><titles><video caption=\"field2\"/><pgc><vob file=\"$src/sif.mpg\"/></pgc></titles></titleset>"
