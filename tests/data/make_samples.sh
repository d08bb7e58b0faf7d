#!/usr/bin/env bash
# Makes the sample streams that the end-to-end tests read, with ffmpeg's
# MPEG-2 (and one MPEG-1) video encoder from Debian's ffmpeg package, and
# appends the sequence_end_code that ffmpeg leaves out to all but one of them.
#
#   tests/data/make_samples.sh [OUTPUT_DIR]     (default: this script's folder)
#
# Each stream is about a second of a test pattern at a small size and a low
# average rate, so the whole folder stays small. -fflags/-flags +bitexact and
# one thread keep the encoder's output free of version strings and the same
# from run to run on the same ffmpeg, except for alternate scan: ffmpeg 5.1
# codes the pictures of closed_gops_coding_tools.m2v a little differently on
# each run (its headers stay the same, picture offsets move). The committed
# streams are the reference; the expected reports (NAME.report) are
# written from them by tests/oracle/m2v_report.py and checked against ffprobe by
# tests/oracle/check_ffprobe.py; after running this script, regenerate and
# check them from the repository's top folder with
#   for f in tests/data/*.m?v; do
#       tests/oracle/m2v_report.py "$f" -o "${f%.*}.report"; done
#   tests/oracle/check_ffprobe.py --reports tests/data/*.m?v
set -euo pipefail

out=${1:-$(dirname "$0")}
mkdir -p "$out"

# encode NAME LAVFI_SOURCE CODEC_FLAGS [OPTIONS...]: CODEC_FLAGS are added to
# +bitexact in the one -flags option (a second -flags would replace the first).
# NAME is MPEG-2 video unless the options name another codec and format
# (a later option wins).
encode() {
    local name=$1 source=$2 flags=$3
    shift 3
    ffmpeg -nostdin -hide_banner -loglevel error -y \
        -f lavfi -i "$source" -an -map_metadata -1 \
        -threads 1 -fflags +bitexact -flags "+bitexact$flags" \
        -c:v mpeg2video -f mpeg2video "$@" "$out/$name"
}

# The encoder stops after the last slice; a stream ends in a sequence_end_code.
end_sequence() { printf '\000\000\001\267' >>"$out/$1"; }

# The README's sample: NTSC 720x480 4:3, 29.97 fps, interlaced, top field
# first, Main Profile at Main Level; GOPs of 15 pictures with I, P and B
# pictures, each GOP opened by a repeated sequence header; a drop-frame time
# code; a sequence display extension with NTSC colours.
encode ntsc_43_interlaced.m2v testsrc=size=720x480:rate=30000/1001:duration=1 +ildct+ilme \
    -pix_fmt yuv420p -top 1 -aspect 4:3 \
    -g 15 -bf 2 -b:v 1500k -maxrate 8000k -bufsize 1835008 \
    -timecode '01:02:03;04' \
    -seq_disp_ext always -video_format ntsc \
    -color_primaries smpte170m -color_trc smpte170m -colorspace smpte170m
end_sequence ntsc_43_interlaced.m2v

# 16:9 progressive 25 fps (CIF shape), no display extension, the SVCD
# scan-offset user data after every picture coding extension, and a constant
# bit rate, so that the picture headers carry real VBV delays (a buffer small
# enough for the delay to fit in 16 bits).
encode pal_169_progressive.m2v testsrc=size=352x288:rate=25:duration=1 "" \
    -pix_fmt yuv420p -aspect 16:9 -g 12 -bf 2 -b:v 600k -minrate 600k \
    -maxrate 600k -bufsize 327680 -seq_disp_ext never -scan_offset 1
end_sequence pal_169_progressive.m2v

# 4:2:2 at Main Level (escape profile code 0x85), PAL 720x576 4:3,
# interlaced with the bottom field first.
encode pal_422_bottom_first.m2v smptebars=size=720x576:rate=25:duration=1 +ildct+ilme \
    -pix_fmt yuv422p -top 0 -aspect 4:3 \
    -g 12 -bf 2 -b:v 1200k -maxrate 15000k -bufsize 9437184 \
    -seq_disp_ext always -video_format pal \
    -color_primaries bt470bg -color_trc gamma28 -colorspace bt470bg
end_sequence pal_422_bottom_first.m2v

# 4:2:2 at High Level (escape code 0x82), 1920x1080 16:9, with a peak rate
# of 120 Mbit/s: bit_rate_value holds the low 18 bits of 300000 and
# bit_rate_extension is 1; a VBV buffer of 2880 units needs
# vbv_buffer_size_extension 2. Half a second keeps it small.
encode hd422_high_rate.m2v smptehdbars=size=1920x1080:rate=25:duration=0.48 +ildct+ilme \
    -pix_fmt yuv422p -top 1 -aspect 16:9 -profile:v 0 -level:v 2 \
    -g 6 -bf 2 -b:v 1000k -maxrate 120000000 -bufsize 47185920 \
    -seq_disp_ext always -video_format component \
    -color_primaries bt709 -color_trc bt709 -colorspace bt709
end_sequence hd422_high_rate.m2v

# Custom quantiser matrices in every sequence header (a 140-byte header);
# 15 fps, which ffmpeg codes as frame_rate_code 3 (25 fps) times
# (frame_rate_extension_n + 1) / (frame_rate_extension_d + 1) = 3/5.
intra=8,16,19,22,26,27,29,34,16,16,22,24,27,29,34,37,19,22,26,27,29,34,34,38
intra=$intra,22,22,26,27,29,34,37,40,22,26,27,29,32,35,40,48,26,27,29,32,35
intra=$intra,40,48,58,26,27,29,34,38,46,56,69,27,29,35,38,46,56,69,83
inter=16,17,18,19,20,21,22,23,17,18,19,20,21,22,23,24,18,19,20,21,22,23,24,25
inter=$inter,19,20,21,22,23,24,26,27,20,21,22,23,25,26,27,28,21,22,23,24,26
inter=$inter,27,28,30,22,23,24,26,27,28,30,31,23,24,25,27,28,30,31,33
encode custom_matrices.m2v testsrc=size=352x240:rate=15:duration=1 "" \
    -pix_fmt yuv420p -aspect 4:3 -g 15 -bf 0 -b:v 400k \
    -maxrate 2000k -bufsize 1835008 \
    -intra_matrix "$intra" -inter_matrix "$inter"
end_sequence custom_matrices.m2v

# Closed GOPs of 6 pictures, so five GOPs each repeating the sequence header
# and extension; a drop-frame time code that crosses a minute; alternate
# scan, the intra VLC table, the non-linear quantiser scale and 10-bit intra
# DC precision. Left as the encoder wrote it: no sequence_end_code.
encode closed_gops_coding_tools.m2v testsrc=size=352x240:rate=30000/1001:duration=1 +cgop \
    -pix_fmt yuv420p -aspect 4:3 -g 6 -bf 2 -sc_threshold 1000000000 -b:v 800k \
    -maxrate 4000k -bufsize 1835008 -timecode '00:00:59;26' \
    -alternate_scan 1 -intra_vlc 1 -non_linear_quant 1 -qmax 28 -dc 10

# MPEG-1 video (no sequence extension): reported by its sequence headers,
# GOPs and pictures only; a rewrite must leave it untouched.
encode mpeg1_qcif.m1v testsrc=size=176x144:rate=25:duration=1 "" \
    -pix_fmt yuv420p -g 12 -bf 2 -b:v 200k -c:v mpeg1video -f mpeg1video
end_sequence mpeg1_qcif.m1v
