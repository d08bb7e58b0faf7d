#!/usr/bin/env python3
"""Checks `m2vhdr --set` on the sample streams against ffprobe and ffmpeg.

    check_set.py M2VHDR DATA_DIR

Each case copies a sample, runs M2VHDR --set ... on the copy, and checks:

  * the exact bytes: the copy must equal the original with the set fields'
    bits written at the places that m2v_report.py's own parse finds (the
    offsets of the headers, colour_description) and the bit positions of the
    syntax, worked out here by hand; nothing else may differ;
  * what ffprobe reads from the copy: display_aspect_ratio, r_frame_rate,
    the VBV buffer size of the CPB properties, the colour description;
  * that ffmpeg decodes the same pictures (-f framemd5) as from the original.

FFPROBE and FFMPEG in the environment name the tools (default: the PATH's).
Exit status 0 when every case holds, 1 otherwise.
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

# Bits counted from the first bit of the start code's 00 byte: (first, width,
# which bits of the value). Display sizes move 24 bits on after the colour
# fields.
SEQUENCE_HEADER_BITS = {"aspect_ratio_information": (56, 4, 0), "frame_rate_code": (60, 4, 0),
                        "vbv_buffer_size": (83, 10, 0)}
SEQUENCE_EXTENSION_BITS = {"vbv_buffer_size": (64, 8, 10), "frame_rate_extension_n": (73, 2, 0),
                           "frame_rate_extension_d": (75, 5, 0)}
DISPLAY_BITS = {"video_format": (36, 3, 0), "colour_primaries": (40, 8, 0),
                "transfer_characteristics": (48, 8, 0), "matrix_coefficients": (56, 8, 0),
                "display_horizontal_size": (40, 14, 0), "display_vertical_size": (55, 14, 0)}
COLOUR = ("colour_primaries", "transfer_characteristics", "matrix_coefficients")
NAMES = {("aspect_ratio_information", "4:3"): 2, ("aspect_ratio_information", "16:9"): 3,
         ("frame_rate_code", "24"): 2, ("frame_rate_code", "25"): 3, ("frame_rate_code", "30"): 5,
         ("video_format", "PAL"): 1}


def put_bits(data, first_bit, width, value):
    for k in range(width):
        bit = first_bit + k
        mask = 0x80 >> (bit % 8)
        if (value >> (width - 1 - k)) & 1:
            data[bit // 8] |= mask
        else:
            data[bit // 8] &= ~mask


def expected_bytes(original, settings):
    """The original with `settings` ({element: value}) written into every
    sequence that can take them."""
    data = bytearray(original)
    headers = oracle.parse_stream(original)
    for i, h in enumerate(headers):
        base = h["offset"] * 8
        if h["kind"] == "sequence_header":
            mpeg2 = i + 1 < len(headers) and headers[i + 1]["kind"] == "sequence_extension"
            for name, (first, width, shift) in SEQUENCE_HEADER_BITS.items():
                value = settings.get(name)
                if value is None or (not mpeg2 and (name == "aspect_ratio_information" or value >> width)):
                    continue
                put_bits(data, base + first, width, (value >> shift) & ((1 << width) - 1))
        elif h["kind"] == "sequence_extension":
            for name, (first, width, shift) in SEQUENCE_EXTENSION_BITS.items():
                if name in settings:
                    put_bits(data, base + first, width, (settings[name] >> shift) & ((1 << width) - 1))
        elif h["kind"] == "sequence_display_extension":
            colour = h["colour_description"]
            for name, (first, width, shift) in DISPLAY_BITS.items():
                if name not in settings or (name in COLOUR and not colour):
                    continue
                moved = 24 if colour and name.startswith("display_") else 0
                put_bits(data, base + first + moved, width, settings[name])
    return bytes(data)


def probe(path):
    command = [os.environ.get("FFPROBE", "ffprobe"), "-v", "error", "-show_streams", "-of", "json", path]
    return json.loads(subprocess.run(command, capture_output=True, check=True).stdout)["streams"][0]


def frame_md5s(path):
    command = [os.environ.get("FFMPEG", "ffmpeg"), "-v", "error", "-threads", "1", "-i", path,
               "-f", "framemd5", "-"]
    out = subprocess.run(command, capture_output=True, check=True).stdout.decode()
    return [line for line in out.splitlines() if not line.startswith("#")]


def buffer_size(stream):
    return [s["buffer_size"] for s in stream.get("side_data_list", [])
            if s["side_data_type"] == "CPB properties"]


def first(original, kind):
    return next(h for h in oracle.parse_stream(original) if h["kind"] == kind)


def frame_rate(original, rate):
    """What r_frame_rate must read after frame_rate_code=RATE."""
    headers = oracle.parse_stream(original)
    ext = [h for h in headers if h["kind"] == "sequence_extension"]
    if not ext:
        return Fraction(rate)
    return Fraction(rate) * (ext[0]["frame_rate_extension_n"] + 1) / (ext[0]["frame_rate_extension_d"] + 1)


# Each case: the sample, the settings as typed given its original bytes (a
# value other than the one the sample holds, so that bits change), the exit
# status, and the checks on ffprobe's stream.
def aspect_setting(o):
    return ["aspect_ratio_information=" + ("4:3" if first(o, "sequence_header")["aspect_ratio_information"] == 3
                                           else "16:9")]


def rate_setting(o):
    return ["frame_rate_code=" + ("30" if first(o, "sequence_header")["frame_rate_code"] == 3 else "25")]


def vbv_setting(o):
    return ["vbv_buffer_size=" + ("20" if first(o, "sequence_header")["vbv_buffer_size_value"] == 112 else "112")]


def value_of(settings, name):
    return [s.split("=")[1] for s in settings if s.startswith(name + "=")][0]


CASES = []
for _sample in ("ntsc_43_interlaced.m2v", "pal_169_progressive.m2v", "pal_422_bottom_first.m2v",
                "hd422_high_rate.m2v", "custom_matrices.m2v", "closed_gops_coding_tools.m2v"):
    CASES += [
        (_sample, aspect_setting, 0,
         lambda s, o, a: [("display_aspect_ratio", value_of(a, "aspect_ratio_information"),
                           s["display_aspect_ratio"])]),
        (_sample, rate_setting, 0,
         lambda s, o, a: [("r_frame_rate", frame_rate(o, int(value_of(a, "frame_rate_code"))),
                           Fraction(s["r_frame_rate"]))]),
        (_sample, vbv_setting, 0,
         lambda s, o, a: [("buffer_size", [int(value_of(a, "vbv_buffer_size")) * 16384], buffer_size(s))]),
    ]
for _sample in ("ntsc_43_interlaced.m2v", "pal_422_bottom_first.m2v", "hd422_high_rate.m2v"):
    CASES.append((_sample, lambda o: ["colour_primaries=1", "transfer_characteristics=1",
                                      "matrix_coefficients=1", "video_format=PAL",
                                      "display_horizontal_size=640", "display_vertical_size=360"], 0,
                  lambda s, o, a: [(k, "bt709", s.get(k)) for k in ("color_primaries", "color_transfer",
                                                                     "color_space")]))
CASES += [
    ("mpeg1_qcif.m1v", lambda o: ["frame_rate_code=24", "vbv_buffer_size=30"], 0,
     lambda s, o, a: [("r_frame_rate", Fraction(24), Fraction(s["r_frame_rate"]))]),
    # Its aspect codes are pel aspect ratios: left alone, and the run fails.
    ("mpeg1_qcif.m1v", lambda o: ["aspect_ratio_information=16:9"], 1, lambda s, o, a: []),
]


def run_case(tool, data_dir, scratch, case):
    sample, make_settings, status, checks = case
    with open(os.path.join(data_dir, sample), "rb") as f:
        original = f.read()
    settings = make_settings(original)
    label = "%s %s" % (sample, " ".join(settings))
    failures = []
    copy = os.path.join(scratch, sample)
    shutil.copyfile(os.path.join(data_dir, sample), copy)
    command = [tool]
    for s in settings:
        command += ["--set", s]
    done = subprocess.run(command + [copy], capture_output=True)
    if done.returncode != status:
        failures.append("status %d, not %d: %r" % (done.returncode, status, done.stderr))
    values = {}
    for s in settings:
        name, value = s.split("=")
        values[name] = NAMES.get((name, value), None) or int(value)
    with open(copy, "rb") as f:
        after = f.read()
    expected = expected_bytes(original, values)
    changed = sum(1 for a, b in zip(original, after) if a != b)
    if (changed == 0) != (status != 0):
        failures.append("%d bytes changed" % changed)
    if after != expected:
        wrong = [i for i in range(min(len(after), len(expected))) if after[i] != expected[i]]
        failures.append("bytes differ from the expected at %s (length %d, expected %d)"
                        % (wrong[:5], len(after), len(expected)))
    stream = probe(copy)
    for what, want, got in checks(stream, original, settings):
        if want != got:
            failures.append("%s: expected %r, ffprobe %r" % (what, want, got))
    if frame_md5s(copy) != frame_md5s(os.path.join(data_dir, sample)):
        failures.append("the decoded pictures differ")
    return label, changed, failures


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    tool, data_dir = argv[1], argv[2]
    failed = False
    with tempfile.TemporaryDirectory() as scratch:
        for case in CASES:
            label, changed, failures = run_case(tool, data_dir, scratch, case)
            for failure in failures:
                print("%s: %s" % (label, failure))
            print("%s: %d bytes changed, %s" % (label, changed, "FAILED" if failures else "ok"))
            failed = failed or bool(failures)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
