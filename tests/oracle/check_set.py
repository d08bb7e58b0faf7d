#!/usr/bin/env python3
"""Checks `m2vhdr --set` on the sample streams against ffprobe and ffmpeg.

    check_set.py M2VHDR DATA_DIR

Each case sets a value other than the one the sample holds, on a copy, and
checks the exact bytes (the original with the set bits written at the
places m2v_report.py's own parse finds, the bit positions worked out here
by hand), what ffprobe reads (display_aspect_ratio, r_frame_rate, the CPB
buffer size, the colour description) and that ffmpeg decodes the same
pictures (-f framemd5). FFPROBE and FFMPEG name the tools. Exit status 0
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
                if kind == "sequence_header" and not mpeg2 and (name == "aspect_ratio_information" or value >> 10):
                    continue  # an MPEG-1 sequence takes neither
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
    if any(x.get("colour_description") for x in oracle.parse_stream(original)):
        found.append((COLOUR, [(k, "bt709", lambda s, k=k: s.get(k))
                               for k in ("color_primaries", "color_transfer", "color_space")]))
    return found


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
                values = {n: NAMES.get((n, v)) or int(v) for n, v in (s.split("=") for s in settings)}
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
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
