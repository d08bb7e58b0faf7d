#!/usr/bin/env python3
"""Checks `m2vhdr --set` on the sample streams against ffprobe and ffmpeg.

    check_set.py M2VHDR DATA_DIR

Each case sets a value other than the one the sample holds, on a copy, and
checks the exact bytes (the original with the set bits written at the
places m2v_report.py's own parse finds, the bit positions worked out here
by hand), what ffprobe reads (display_aspect_ratio, r_frame_rate, the CPB
buffer size, the colour description) and that ffmpeg decodes the same
pictures (-f framemd5). `bit_rate` is checked against ffprobe's bit_rate
of the sequence header, in MPEG-1 streams too (a VCD's 1150000 bit/s), on
the samples and on streams ffmpeg makes here, alone and in an MPEG-1
program stream (--demux). FFPROBE and FFMPEG name the tools. Exit status 0
when every case holds.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
from fractions import Fraction

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import m2v_report as oracle  # noqa: E402

# (header kind, first bit from the start code's 00 byte, width, value shift);
# the display sizes move 24 bits on after the colour fields.
BITS = {
    "aspect_ratio_information": [("sequence_header", 56, 4, 0)],
    "frame_rate_code": [("sequence_header", 60, 4, 0)],
    "vbv_buffer_size": [("sequence_header", 83, 10, 0), ("sequence_extension", 64, 8, 10)],
    "video_format": [("sequence_display_extension", 36, 3, 0)],
    "colour_primaries": [("sequence_display_extension", 40, 8, 0)],
    "transfer_characteristics": [("sequence_display_extension", 48, 8, 0)],
    "matrix_coefficients": [("sequence_display_extension", 56, 8, 0)],
    "display_horizontal_size": [("sequence_display_extension", 40, 14, 0)],
    "display_vertical_size": [("sequence_display_extension", 55, 14, 0)],
    "bit_rate": [("sequence_header", 64, 18, 0), ("sequence_extension", 51, 12, 18)],
}
NAMES = {("aspect_ratio_information", "4:3"): 2, ("aspect_ratio_information", "16:9"): 3,
         ("frame_rate_code", "25"): 3, ("frame_rate_code", "30"): 5, ("video_format", "PAL"): 1}
COLOUR = ["colour_primaries=1", "transfer_characteristics=1", "matrix_coefficients=1",
          "video_format=PAL", "display_horizontal_size=640", "display_vertical_size=360"]


def expected_bytes(original, values):
    data = bytearray(original)
    headers = oracle.parse_stream(original)
    for i, h in enumerate(headers):
        mpeg2 = i + 1 < len(headers) and headers[i + 1]["kind"] == "sequence_extension"
        colour = h.get("colour_description", 0)
        for name, value in values.items():
            for kind, first, width, shift in BITS[name]:
                if kind != h["kind"] or (name in COLOUR[0:3] and not colour):
                    continue
                if kind == "sequence_header" and not mpeg2 and (name == "aspect_ratio_information" or (name == "vbv_buffer_size" and value >> 10)):
                    continue  # an MPEG-1 sequence takes neither
                if kind == "sequence_header" and not mpeg2 and name == "bit_rate" and value >= 0x3FFFF:
                    continue  # nor a rate past its 18 bits, nor 0x3FFFF (a variable rate)
                first += h["offset"] * 8 + (24 if colour and name.startswith("display_") else 0)
                for k in range(width):
                    mask = 0x80 >> ((first + k) % 8)
                    data[(first + k) // 8] &= ~mask
                    if (value >> shift >> (width - 1 - k)) & 1:
                        data[(first + k) // 8] |= mask
    return bytes(data)


def run(command):
    return subprocess.run(command, capture_output=True, check=True).stdout


def probe(path):
    return json.loads(run([os.environ.get("FFPROBE", "ffprobe"), "-v", "error", "-show_streams",
                           "-of", "json", path]))["streams"][0]


def pictures(path):
    out = run([os.environ.get("FFMPEG", "ffmpeg"), "-v", "error", "-threads", "1", "-i", path,
               "-f", "framemd5", "-"]).decode()
    return [line for line in out.splitlines() if not line.startswith("#")]


def cases(original):
    """(settings, [(what, expected, ffprobe's stream -> value)]) for a sample."""
    h = next(x for x in oracle.parse_stream(original) if x["kind"] == "sequence_header")
    e = [x for x in oracle.parse_stream(original) if x["kind"] == "sequence_extension"][:1]
    aspect = "4:3" if h["aspect_ratio_information"] == 3 else "16:9"
    rate = 30 if h["frame_rate_code"] == 3 else 25
    scale = Fraction(e[0]["frame_rate_extension_n"] + 1, e[0]["frame_rate_extension_d"] + 1) if e else 1
    vbv = 20 if h["vbv_buffer_size_value"] == 112 else 112
    cpb = lambda s: [d["buffer_size"] for d in s.get("side_data_list", []) if d["side_data_type"] == "CPB properties"]
    found = [(["frame_rate_code=%d" % rate], [("r_frame_rate", rate * scale, lambda s: Fraction(s["r_frame_rate"]))])]
    if e:
        found += [(["aspect_ratio_information=" + aspect], [("DAR", aspect, lambda s: s["display_aspect_ratio"])]),
                  (["vbv_buffer_size=%d" % vbv], [("buffer size", [vbv * 16384], cpb)])]
    found += [(["bit_rate=1150000"], [("bit_rate", 1150000, header_rate)]),
              (["bit_rate=9.8M"], [("bit_rate", 9800000, header_rate)])]
    if any(x.get("colour_description") for x in oracle.parse_stream(original)):
        found.append((COLOUR, [(k, "bt709", lambda s, k=k: s.get(k))
                               for k in ("color_primaries", "color_transfer", "color_space")]))
    return found


def header_rate(stream):
    """The sequence header's rate as ffprobe reads it: the CPB properties'
    max_bitrate of an MPEG-2 stream, bit_rate of an MPEG-1 one."""
    cpb = [d["max_bitrate"] for d in stream.get("side_data_list", [])
           if d["side_data_type"] == "CPB properties"]
    return int(cpb[0]) if cpb else int(stream.get("bit_rate", 0))


def rate_units(name, value):
    """The value as stored: bit_rate in units of 400 bit/s, from bit/s with a
    decimal SI prefix."""
    if name != "bit_rate":
        return int(value)
    scale = {"k": 1000, "M": 1000000}.get(value[-1:], 1)
    return int(Fraction(value.rstrip("kM")) * scale) // 400


def made_streams(scratch):
    """MPEG-1 streams ffmpeg makes: an elementary stream at another rate than
    VCD's, and the same in an MPEG-1 program stream."""
    es = os.path.join(scratch, "made.m1v")
    ps = os.path.join(scratch, "made.mpg")
    ffmpeg = os.environ.get("FFMPEG", "ffmpeg")
    run([ffmpeg, "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=352x240:rate=30000/1001",
         "-t", "1.5", "-c:v", "mpeg1video", "-g", "15", "-b:v", "900k", "-maxrate", "2000k",
         "-bufsize", "327680", "-f", "mpeg", ps])
    run([ffmpeg, "-v", "error", "-y", "-i", ps, "-c", "copy", "-f", "mpeg1video", es])
    return es, ps


def video_of(path):
    """The video elementary stream of a program stream, as ffmpeg copies it."""
    return run([os.environ.get("FFMPEG", "ffmpeg"), "-v", "error", "-i", path, "-c", "copy",
                "-f", "mpeg1video", "-"])


def check_made(tool, scratch):
    """bit_rate=1150000 and bit_rate=auto on MPEG-1 streams ffmpeg made: the
    rate ffprobe reads, the exact bytes, and, in the program stream, the
    video as it would be in the elementary stream."""
    es, ps = made_streams(scratch)
    failures = []
    with open(es, "rb") as f:
        original = f.read()
    for path, demux in ((es, []), (ps, ["--demux"])):
        for rate in ("1150000", "auto"):
            copy = path + ".copy"
            shutil.copyfile(path, copy)
            done = subprocess.run([tool] + demux + ["--set", "bit_rate=" + rate, copy],
                                  capture_output=True, env=dict(os.environ, LC_ALL="en_US.UTF-8"))
            if done.returncode != 0:
                failures.append("%s %s: status %d" % (path, rate, done.returncode))
                continue
            want = int(rate) if rate != "auto" else int(done.stdout.split(b"bit rate: ")[1].split()[0])
            got = header_rate(probe(copy))
            after = video_of(copy) if demux else open(copy, "rb").read()
            expected = expected_bytes(original, {"bit_rate": want // 400})
            ok = got == want and after == expected and after != original
            print("%s %s%s: ffprobe bit_rate %s, expected %d%s" % (
                os.path.basename(path), " ".join(demux + ["bit_rate=" + rate]), "",
                got, want, "" if ok else "\n  FAILED"))
            if not ok:
                failures.append("%s %s" % (path, rate))
    return failures


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    tool, data_dir = argv[1:]
    failed = False
    with tempfile.TemporaryDirectory() as scratch:
        for sample in sorted(f for f in os.listdir(data_dir) if f.endswith((".m2v", ".m1v"))):
            source = os.path.join(data_dir, sample)
            with open(source, "rb") as f:
                original = f.read()
            for settings, checks in cases(original):
                copy = os.path.join(scratch, sample)
                shutil.copyfile(source, copy)
                done = subprocess.run([tool] + sum((["--set", s] for s in settings), []) + [copy],
                                      capture_output=True)
                with open(copy, "rb") as f:
                    after = f.read()
                values = {n: NAMES.get((n, v)) or rate_units(n, v) for n, v in (s.split("=") for s in settings)}
                failures = [] if done.returncode == 0 else ["status %d" % done.returncode]
                if after == original or after != expected_bytes(original, values):
                    failures.append("not the expected bytes")
                stream = probe(copy)
                failures += ["%s: expected %r, ffprobe %r" % (what, want, get(stream))
                             for what, want, get in checks if want != get(stream)]
                if pictures(copy) != pictures(source):
                    failures.append("the decoded pictures differ")
                changed = sum(a != b for a, b in zip(original, after))
                print("%s %s: %d bytes changed%s" % (sample, " ".join(settings), changed,
                                                     "".join("\n  " + f for f in failures)))
                failed = failed or bool(failures)
        failed = bool(check_made(tool, scratch)) or failed
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
