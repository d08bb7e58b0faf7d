#!/usr/bin/env python3
"""Checks m2v_report.py's reading of sample streams against ffmpeg.

    check_ffprobe.py [--reports] FILE...

For each FILE the values that m2v_report.py decodes are compared with two
views of the same file that ffmpeg's own MPEG-1/2 decoder gives:

  * ffprobe -show_streams / -show_frames: picture size, display aspect ratio,
    frame rate, profile, level, chroma format, maximum bit rate and VBV buffer
    size; and, picture by picture in display order, the picture type, the
    position in coded order, interlacing, top field first, repeat_pict, the
    colour description and the GOP time codes;
  * the decoder's header trace (-debug pict): every sequence header (bit rate,
    VBV size, aspect code), sequence extension (profile and level codes,
    progressive_sequence, chroma_format, the completed bit rate and VBV
    size), sequence display extension (display size), GOP header (time code,
    drop frame, closed GOP, broken link), picture header (temporal reference,
    type, VBV delay) and picture coding extension (DC precision, picture
    structure, frame_pred_frame_dct, concealment vectors, q_scale_type, intra
    VLC format, alternate scan, top field first, repeat first field,
    chroma_420_type, progressive frame), in file order.

It also checks that each sample has what it was made for (the table SAMPLES
below), and with --reports that FILE's committed expected report, the file
NAME.report beside it, is exactly what m2v_report.py writes. Exit status 0
when everything agrees, 1 otherwise. FFPROBE in the environment names the
ffprobe to run (default: the one on the PATH).
"""

import json
import os
import re
import subprocess
import sys
from fractions import Fraction

# The oracle sits beside this script; no byte code is left in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import m2v_report as oracle  # noqa: E402


class Check:
    def __init__(self, label):
        self.label = label
        self.compared = 0
        self.failures = []

    def equal(self, what, expected, actual):
        self.compared += 1
        if expected != actual:
            self.failures.append("%s: %s: oracle %r, ffmpeg %r" % (self.label, what, expected, actual))

    def true(self, what, condition):
        self.compared += 1
        if not condition:
            self.failures.append("%s: not as made: %s" % (self.label, what))


# --- what ffmpeg says ----------------------------------------------------------

def run_ffprobe(path):
    command = [os.environ.get("FFPROBE", "ffprobe"), "-hide_banner", "-loglevel", "repeat+debug", "-debug", "pict",
               "-threads", "1", "-show_streams", "-show_frames", "-of", "json", path]
    done = subprocess.run(command, capture_output=True, check=True)
    return json.loads(done.stdout), done.stderr.decode("utf-8", "replace").splitlines()


TRACE_PATTERNS = [
    ("sequence_header", re.compile(r"vbv buffer: (\d+), bitrate:(\d+), aspect_ratio_info: (\d+)")),
    ("sequence_extension", re.compile(
        r"profile: (\d+), level: (\d+) ps: (\d+) cf:(\d+) vbv buffer: (\d+), bitrate:(\d+)")),
    ("sequence_display_extension", re.compile(r"sde w:(\d+), h:(\d+)")),
    ("group_of_pictures_header", re.compile(
        r"GOP \((\d+):(\d+):(\d+)([:;])(\d+)\) closed_gop=(\d+) broken_link=(\d+)")),
    ("picture_header", re.compile(r"vbv_delay (\d+), ref (\d+) type:(\d+)")),
    ("picture_coding", re.compile(
        r"qp:\s*\d+ fc:.{8} (\S) (.*?)\s*dc:(\d+) pstruct:(\d+) fdct:(\d+) cmv:(\d+) "
        r"qtype:(\d+) ivlc:(\d+) rff:(\d+) ?(420)?\s*$")),
]


def decoder_trace(lines):
    """The header events that the decoder of the frame-reading pass logged, in
    order. Lines from the stream probing before it are left out: they come
    from another decoder instance, told apart by its address."""
    start = max(i for i, line in enumerate(lines) if "After avformat_find_stream_info" in line)
    lines = lines[start:]
    decoder = None
    for line in lines:
        if " qp:" in line:
            decoder = line.split("] ", 1)[0]
            break
    events = []
    for line in lines:
        prefix, _, text = line.partition("] ")
        if prefix != decoder:
            continue
        for kind, pattern in TRACE_PATTERNS:
            match = pattern.search(text)
            if match:
                groups = list(match.groups())
                if kind == "picture_coding":  # the flags, blank when unset
                    groups[1] = " ".join(groups[1].split())
                events.append(tuple([kind] + groups))
                break
    return events


# --- the same events from the oracle's parse -------------------------------------

def expected_trace(headers):
    events = []
    mpeg2 = any(h["kind"] == "sequence_extension" for h in headers)
    sequence = oracle.Sequence()
    progressive_sequence = 0
    picture = None

    def picture_coding(p, pce):
        if pce is None:  # MPEG-1: progressive frame pictures
            pce = {"intra_dc_precision": 0, "picture_structure": 3, "frame_pred_frame_dct": 1,
                   "concealment_motion_vectors": 0, "q_scale_type": 0, "intra_vlc_format": 0,
                   "repeat_first_field": 0, "chroma_420_type": 0, "progressive_frame": 1,
                   "alternate_scan": 0, "top_field_first": 0}
            ps = 1
        else:
            ps = progressive_sequence
        flags = [name for name, on in (("ps", ps), ("pf", pce["progressive_frame"]),
                                       ("alt", pce["alternate_scan"]),
                                       ("top", pce["top_field_first"])) if on]
        return ("picture_coding", "?IPBD"[p["picture_coding_type"]], " ".join(flags),
                str(pce["intra_dc_precision"]), str(pce["picture_structure"]),
                str(pce["frame_pred_frame_dct"]), str(pce["concealment_motion_vectors"]),
                str(pce["q_scale_type"]), str(pce["intra_vlc_format"]),
                str(pce["repeat_first_field"]), "420" if pce["chroma_420_type"] else None)

    for h in headers:
        kind = h["kind"]
        if kind == "sequence_header":
            sequence.header = h
            events.append(("sequence_header", str(h["vbv_buffer_size_value"] * 16384),
                           str(h["bit_rate_value"] * 400), str(h["aspect_ratio_information"])))
        elif kind == "sequence_extension":
            v = sequence.complete(h)
            progressive_sequence = h["progressive_sequence"]
            pli = h["profile_and_level_indication"]
            events.append(("sequence_extension", str((pli >> 4) & 7), str(pli & 15),
                           str(h["progressive_sequence"]), str(h["chroma_format"]),
                           str(v["vbv_buffer_size"] * 16384), str(v["bit_rate"] * 400)))
        elif kind == "sequence_display_extension":
            events.append(("sequence_display_extension", str(h["display_horizontal_size"]),
                           str(h["display_vertical_size"])))
        elif kind == "group_of_pictures_header":
            events.append(("group_of_pictures_header", "%02d" % h["time_code_hours"],
                           "%02d" % h["time_code_minutes"], "%02d" % h["time_code_seconds"],
                           ";" if h["drop_frame_flag"] else ":", "%02d" % h["time_code_pictures"],
                           str(h["closed_gop"]), str(h["broken_link"])))
        elif kind == "picture_header":
            events.append(("picture_header", str(h["vbv_delay"]), str(h["temporal_reference"]),
                           str(h["picture_coding_type"])))
            picture = h
            if not mpeg2:
                events.append(picture_coding(h, None))
        elif kind == "picture_coding_extension" and picture is not None:  # its picture
            events.append(picture_coding(picture, h))
    return events


def pictures_in_display_order(headers):
    """(picture header, its coding extension or None, coded index), GOP after
    GOP, each GOP's pictures sorted by temporal_reference."""
    gops = [[]]
    coded = []
    for h in headers:
        if h["kind"] == "group_of_pictures_header":
            gops.append([])
        elif h["kind"] == "picture_header":
            entry = [h, None, len(coded)]
            coded.append(entry)
            gops[-1].append(entry)
        elif h["kind"] == "picture_coding_extension" and coded:
            coded[-1][1] = h
    order = []
    for gop in gops:
        order += sorted(gop, key=lambda e: e[0]["temporal_reference"])
    return order


# --- ffmpeg's names for coded values ----------------------------------------------

FFMPEG_PROFILE = {0: "4:2:2", 1: "High", 2: "Spatially Scalable", 3: "SNR Scalable",
                  4: "Main", 5: "Simple"}
FFMPEG_PIX_FMT = {1: "yuv420p", 2: "yuv422p", 3: "yuv444p"}
FFMPEG_PRIMARIES = {1: "bt709", 2: "unknown", 4: "bt470m", 5: "bt470bg", 6: "smpte170m",
                    7: "smpte240m"}
FFMPEG_TRANSFER = {1: "bt709", 2: "unknown", 4: "bt470m", 5: "bt470bg", 6: "smpte170m",
                   7: "smpte240m", 8: "linear"}
FFMPEG_MATRIX = {1: "bt709", 2: "unknown", 4: "fcc", 5: "bt470bg", 6: "smpte170m",
                 7: "smpte240m"}
DISPLAY_ASPECT = {2: Fraction(4, 3), 3: Fraction(16, 9), 4: Fraction(221, 100)}


def ratio(text):
    a, b = text.split(":") if ":" in text else text.split("/")
    return Fraction(int(a), int(b))


def compare_stream(check, headers, stream, frames):
    seq_headers = [h for h in headers if h["kind"] == "sequence_header"]
    extensions = [h for h in headers if h["kind"] == "sequence_extension"]
    displays = [h for h in headers if h["kind"] == "sequence_display_extension"]
    first = seq_headers[0]
    mpeg2 = bool(extensions)
    check.equal("codec", "mpeg2video" if mpeg2 else "mpeg1video", stream["codec_name"])

    if mpeg2:
        sequence = oracle.Sequence()
        sequence.header = first
        v = sequence.complete(extensions[0])
        ext = extensions[0]
        check.equal("width", v["horizontal_size"], stream["width"])
        check.equal("height", v["vertical_size"], stream["height"])
        rate = oracle.FRAME_RATE[first["frame_rate_code"]] * (ext["frame_rate_extension_n"] + 1) \
            / (ext["frame_rate_extension_d"] + 1)
        pli = ext["profile_and_level_indication"]
        check.equal("profile", FFMPEG_PROFILE[(pli >> 4) & 7], stream["profile"])
        check.equal("level", pli & 15, stream["level"])
        check.equal("pix_fmt", FFMPEG_PIX_FMT[ext["chroma_format"]], stream["pix_fmt"])
        check.equal("has_b_frames (not low_delay)", 0 if ext["low_delay"] else 1,
                    stream["has_b_frames"])
        aspect = first["aspect_ratio_information"]
        if aspect == 1:
            check.equal("sample aspect ratio", Fraction(1), ratio(stream["sample_aspect_ratio"]))
        else:
            check.equal("display aspect ratio", DISPLAY_ASPECT[aspect],
                        ratio(stream["display_aspect_ratio"]))
        cpb = [s for s in stream.get("side_data_list", []) if s["side_data_type"] == "CPB properties"]
        check.equal("max bit rate", v["bit_rate"] * 400, cpb[0]["max_bitrate"])
        check.equal("VBV buffer size", v["vbv_buffer_size"] * 16384, cpb[0]["buffer_size"])
        first_pce = next(h for h in headers if h["kind"] == "picture_coding_extension")
        order = "progressive" if first_pce["progressive_frame"] else \
            ("tt" if first_pce["top_field_first"] else "bb")
        check.equal("field order", order, stream["field_order"])
        if displays and displays[0]["colour_description"]:
            d = displays[0]
            check.equal("colour primaries", FFMPEG_PRIMARIES[d["colour_primaries"]],
                        stream["color_primaries"])
            check.equal("transfer", FFMPEG_TRANSFER[d["transfer_characteristics"]],
                        stream["color_transfer"])
            check.equal("matrix", FFMPEG_MATRIX[d["matrix_coefficients"]], stream["color_space"])
        else:
            for key in ("color_primaries", "color_transfer", "color_space"):
                check.equal(key, "unknown", stream.get(key, "unknown"))
    else:
        check.equal("width", first["horizontal_size_value"], stream["width"])
        check.equal("height", first["vertical_size_value"], stream["height"])
        rate = oracle.FRAME_RATE[first["frame_rate_code"]]
        if first["aspect_ratio_information"] == 1:  # pel aspect ratio 1.0
            check.equal("sample aspect ratio", Fraction(1), ratio(stream["sample_aspect_ratio"]))
    check.equal("frame rate", rate, ratio(stream["r_frame_rate"]))

    # Picture by picture, in display order.
    pictures = pictures_in_display_order(headers)
    check.equal("picture count", len(pictures), len(frames))
    progressive_sequence = extensions[0]["progressive_sequence"] if mpeg2 else 1
    for i, ((p, pce, coded), frame) in enumerate(zip(pictures, frames)):
        what = "frame %d" % i
        check.equal(what + " type", "?IPBD"[p["picture_coding_type"]], frame["pict_type"])
        check.equal(what + " coded index", coded, frame["coded_picture_number"])
        if pce is None:
            continue
        check.equal(what + " interlaced",
                    int(not pce["progressive_frame"] and not progressive_sequence),
                    frame["interlaced_frame"])
        check.equal(what + " top field first", pce["top_field_first"], frame["top_field_first"])
        repeat = 0
        if pce["repeat_first_field"]:
            if progressive_sequence:
                repeat = 4 if pce["top_field_first"] else 2
            elif pce["progressive_frame"]:
                repeat = 1
        check.equal(what + " repeat_pict", repeat, frame["repeat_pict"])
        if displays and displays[0]["colour_description"]:
            d = displays[0]
            check.equal(what + " primaries", FFMPEG_PRIMARIES[d["colour_primaries"]],
                        frame.get("color_primaries"))
            check.equal(what + " transfer", FFMPEG_TRANSFER[d["transfer_characteristics"]],
                        frame.get("color_transfer"))
            check.equal(what + " matrix", FFMPEG_MATRIX[d["matrix_coefficients"]],
                        frame.get("color_space"))

    # The GOP time codes, in the order the frames carry them.
    expected = ["%02d:%02d:%02d%s%02d" % (g["time_code_hours"], g["time_code_minutes"],
                                           g["time_code_seconds"],
                                           ";" if g["drop_frame_flag"] else ":",
                                           g["time_code_pictures"])
                for g in headers if g["kind"] == "group_of_pictures_header"]
    carried = [s["timecode"] for f in frames for s in f.get("side_data_list", [])
               if s.get("side_data_type") == "GOP timecode"]
    check.equal("GOP time codes", expected, carried)


# --- what each sample was made to show ---------------------------------------------

def kinds(headers, kind):
    return [h for h in headers if h["kind"] == kind]


def every_gop_repeats_the_sequence_header(headers):
    """Every GOP header comes right after a sequence header and its extensions."""
    previous = None
    for h in headers:
        if h["kind"] == "group_of_pictures_header" and previous != oracle.SEQUENCE_HEADER:
            return False
        if h["code"] != oracle.EXTENSION:
            previous = h["code"]
    return True


def header_length(data, header):
    return oracle.find_start_code(data, header["offset"] + 4) - header["offset"]


def pce_all(headers, **values):
    pces = kinds(headers, "picture_coding_extension")
    return bool(pces) and all(all(p[k] == v for k, v in values.items()) for p in pces)


def first_gop_tc(headers):
    g = kinds(headers, "group_of_pictures_header")[0]
    return (g["drop_frame_flag"], g["time_code_hours"], g["time_code_minutes"],
            g["time_code_seconds"], g["time_code_pictures"])


SAMPLES = {
    "ntsc_43_interlaced.m2v": [
        ("720x480", lambda h, d: (h[0]["horizontal_size_value"], h[0]["vertical_size_value"]) == (720, 480)),
        ("4:3, frame_rate_code 4 (29.97)", lambda h, d: (h[0]["aspect_ratio_information"], h[0]["frame_rate_code"]) == (2, 4)),
        ("MP@ML", lambda h, d: kinds(h, "sequence_extension")[0]["profile_and_level_indication"] == 0x48),
        ("interlaced, top field first", lambda h, d: kinds(h, "sequence_extension")[0]["progressive_sequence"] == 0
            and pce_all(h, top_field_first=1, progressive_frame=0, picture_structure=3)),
        ("I, P and B pictures", lambda h, d: {p["picture_coding_type"] for p in kinds(h, "picture_header")} == {1, 2, 3}),
        ("several GOPs", lambda h, d: len(kinds(h, "group_of_pictures_header")) >= 2),
        ("time code 01:02:03;04", lambda h, d: first_gop_tc(h) == (1, 1, 2, 3, 4)),
        ("NTSC, SMPTE 170M colours", lambda h, d: [(x["video_format"], x["colour_primaries"], x["transfer_characteristics"], x["matrix_coefficients"]) for x in kinds(h, "sequence_display_extension")][0] == (2, 6, 6, 6)),
    ],
    "pal_169_progressive.m2v": [
        ("16:9, 25 fps", lambda h, d: (h[0]["aspect_ratio_information"], h[0]["frame_rate_code"]) == (3, 3)),
        ("progressive", lambda h, d: kinds(h, "sequence_extension")[0]["progressive_sequence"] == 1
            and pce_all(h, progressive_frame=1)),
        ("user data", lambda h, d: len(kinds(h, "user_data")) > 0),
        ("numeric VBV delays", lambda h, d: all(p["vbv_delay"] != 0xFFFF for p in kinds(h, "picture_header"))),
        ("no display extension", lambda h, d: not kinds(h, "sequence_display_extension")),
    ],
    "pal_422_bottom_first.m2v": [
        ("422P@ML, 4:2:2", lambda h, d: [(e["profile_and_level_indication"], e["chroma_format"]) for e in kinds(h, "sequence_extension")][0] == (0x85, 2)),
        ("interlaced, bottom field first", lambda h, d: kinds(h, "sequence_extension")[0]["progressive_sequence"] == 0
            and pce_all(h, top_field_first=0, progressive_frame=0, picture_structure=3)),
        ("PAL video format", lambda h, d: kinds(h, "sequence_display_extension")[0]["video_format"] == 1),
    ],
    "hd422_high_rate.m2v": [
        ("422P@HL, 4:2:2", lambda h, d: [(e["profile_and_level_indication"], e["chroma_format"]) for e in kinds(h, "sequence_extension")][0] == (0x82, 2)),
        ("bit_rate_extension non-zero, peak above 104857600 bit/s", lambda h, d: all(e["bit_rate_extension"] != 0 for e in kinds(h, "sequence_extension"))
            and (kinds(h, "sequence_extension")[0]["bit_rate_extension"] << 18 | h[0]["bit_rate_value"]) * 400 > 104857600),
        ("vbv_buffer_size_extension non-zero", lambda h, d: kinds(h, "sequence_extension")[0]["vbv_buffer_size_extension"] != 0),
        ("16:9", lambda h, d: h[0]["aspect_ratio_information"] == 3),
    ],
    "custom_matrices.m2v": [
        ("both matrices in every sequence header, 140 bytes long", lambda h, d: all(
            s["load_intra_quantiser_matrix"] and s["load_non_intra_quantiser_matrix"] and header_length(d, s) == 140
            for s in kinds(h, "sequence_header"))),
        ("15 fps through a frame rate extension", lambda h, d: (
            kinds(h, "sequence_extension")[0]["frame_rate_extension_n"],
            kinds(h, "sequence_extension")[0]["frame_rate_extension_d"]) != (0, 0)),
        ("progressive", lambda h, d: kinds(h, "sequence_extension")[0]["progressive_sequence"] == 1),
    ],
    "closed_gops_coding_tools.m2v": [
        ("five or more GOPs, all closed", lambda h, d: len(kinds(h, "group_of_pictures_header")) >= 5
            and all(g["closed_gop"] for g in kinds(h, "group_of_pictures_header"))),
        ("drop-frame time code from 00:00:59;26", lambda h, d: first_gop_tc(h) == (1, 0, 0, 59, 26)),
        ("alternate scan, intra VLC, q_scale_type 1, DC precision 10", lambda h, d: pce_all(
            h, alternate_scan=1, intra_vlc_format=1, q_scale_type=1, intra_dc_precision=2)),
        ("ends without a sequence end code", lambda h, d: h[-1]["kind"] != "sequence_end"),
    ],
    "mpeg1_qcif.m1v": [
        ("MPEG-1: no sequence extension", lambda h, d: not kinds(h, "sequence_extension")),
    ],
}

# Every sample has its sequence header repeated before each GOP, and all but
# closed_gops_coding_tools.m2v end in a sequence end code.
COMMON = [
    ("every GOP repeats the sequence header", lambda h, d: every_gop_repeats_the_sequence_header(h)),
]
ENDS_WITH_SEQUENCE_END = ("ends with a sequence end code", lambda h, d: h[-1]["kind"] == "sequence_end")
for _name, _checks in SAMPLES.items():
    if _name != "closed_gops_coding_tools.m2v":
        _checks.append(ENDS_WITH_SEQUENCE_END)


def check_file(path, reports):
    label = os.path.basename(path)
    check = Check(label)
    with open(path, "rb") as f:
        data = f.read()
    headers = oracle.parse_stream(data)
    text, warnings = oracle.report(headers)
    check.equal("layer warnings", [], warnings)

    probe, log = run_ffprobe(path)
    compare_stream(check, headers, probe["streams"][0], probe["frames"])
    # ffmpeg keeps the first sequence header and its extensions as the stream's
    # extradata, and its decoder reads them from there once before the file.
    leading = 1
    while leading < len(headers) and headers[leading]["code"] == oracle.EXTENSION:
        leading += 1
    expected = expected_trace(headers[:leading]) + expected_trace(headers)
    actual = decoder_trace(log)
    check.equal("trace length", len(expected), len(actual))
    for i, (e, a) in enumerate(zip(expected, actual)):
        check.equal("trace event %d (%s)" % (i, e[0]), e, a)

    for what, test in SAMPLES.get(label, []) + COMMON:
        check.true(what, test(headers, data))

    if reports:
        report_path = os.path.splitext(path)[0] + ".report"
        with open(report_path, "r", encoding="ascii", newline="") as f:
            check.equal("committed report", text, f.read())
    return check


def main(argv):
    args = argv[1:]
    reports = "--reports" in args
    files = [a for a in args if a != "--reports"]
    if not files:
        sys.stderr.write(__doc__)
        return 2
    failed = False
    for path in files:
        check = check_file(path, reports)
        for failure in check.failures:
            print(failure)
        print("%s: %d values compared, %d differ" % (check.label, check.compared,
                                                     len(check.failures)))
        failed = failed or bool(check.failures)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
