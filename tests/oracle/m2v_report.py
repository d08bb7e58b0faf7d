#!/usr/bin/env python3
"""Expected header report of an MPEG-1/MPEG-2 video elementary stream.

An oracle for the end-to-end tests, written apart from m2vhdr and sharing no
code with it: the stream is parsed by the syntax of ISO/IEC 13818-2 with a
generic most-significant-bit-first bit reader (field after field, each of its
own width, matrices and optional fields read as the flags before them say),
not from fixed byte offsets, and the report is then written in m2vhdr's text
format.

    m2v_report.py FILE            print the expected report of FILE
    m2v_report.py FILE -o OUT     write it to OUT
    m2v_report.py --json FILE     print the expected `m2vhdr --json FILE`
                                  document (as a Python-made JSON text)

Extensions outside their layer are listed on standard error as they would
make m2vhdr warn (in English here); the exit status is 0 unless the stream
breaks the syntax where this parser can tell (a marker bit of 0, non-zero
stuffing before a start code, a header cut short, a system start code).

The module is also imported by check_ffprobe.py, which compares the decoded
values with what ffprobe and ffmpeg's decoder say about the same file.
"""

import struct
import sys
from decimal import ROUND_HALF_UP, Decimal
from fractions import Fraction


class SyntaxProblem(Exception):
    pass


class BitReader:
    """Reads fields most significant bit first from a byte string."""

    def __init__(self, data, byte_offset):
        self.data = data
        self.bit = byte_offset * 8

    def read(self, width):
        end = self.bit + width
        if end > len(self.data) * 8:
            raise SyntaxProblem("header cut short at byte %d" % (self.bit // 8))
        value = 0
        while self.bit < end:
            byte = self.data[self.bit // 8]
            take = min(8 - self.bit % 8, end - self.bit)
            shift = 8 - self.bit % 8 - take
            value = (value << take) | ((byte >> shift) & ((1 << take) - 1))
            self.bit += take
        return value

    def flag(self):
        return self.read(1)

    def marker(self, name):
        if self.read(1) != 1:
            raise SyntaxProblem("%s is 0 before bit %d" % (name, self.bit))

    def peek(self, width):
        saved = self.bit
        value = self.read(width)
        self.bit = saved
        return value

    def aligned_byte(self):
        """Byte offset after the last bit read, rounded up to a byte."""
        return (self.bit + 7) // 8


# Start code values (the byte after 00 00 01).
PICTURE = 0x00
SLICE_FIRST, SLICE_LAST = 0x01, 0xAF
USER_DATA = 0xB2
SEQUENCE_HEADER = 0xB3
EXTENSION = 0xB5
SEQUENCE_END = 0xB7
GROUP = 0xB8
PACK = 0xBA
SYSTEM_HEADER = 0xBB

# extension_start_code_identifier values.
SEQUENCE_EXTENSION = 1
SEQUENCE_DISPLAY_EXTENSION = 2
QUANT_MATRIX_EXTENSION = 3
COPYRIGHT_EXTENSION = 4
PICTURE_DISPLAY_EXTENSION = 7
PICTURE_CODING_EXTENSION = 8


def find_start_code(data, start):
    """Offset of the next 00 00 01 at or after `start`, or -1."""
    return data.find(b"\x00\x00\x01", start)


def next_start_code(data, reader):
    """Where the next start code begins after a header: the rest of the last
    byte and any stuffing bytes up to it must be zero."""
    if reader.bit % 8 and reader.read(8 - reader.bit % 8) != 0:
        raise SyntaxProblem("non-zero bits after a header at byte %d" % (reader.bit // 8))
    at = reader.bit // 8
    found = find_start_code(data, at)
    end = found if found >= 0 else len(data)
    if any(data[at:end]):
        raise SyntaxProblem("non-zero bytes between a header and the next start code at %d" % at)
    return end


# --- the headers, field by field -------------------------------------------

def parse_sequence_header(r):
    h = {}
    h["horizontal_size_value"] = r.read(12)
    h["vertical_size_value"] = r.read(12)
    h["aspect_ratio_information"] = r.read(4)
    h["frame_rate_code"] = r.read(4)
    h["bit_rate_value"] = r.read(18)
    r.marker("marker_bit")
    h["vbv_buffer_size_value"] = r.read(10)
    h["constrained_parameters_flag"] = r.flag()
    h["load_intra_quantiser_matrix"] = r.flag()
    if h["load_intra_quantiser_matrix"]:
        h["intra_quantiser_matrix"] = [r.read(8) for _ in range(64)]
    h["load_non_intra_quantiser_matrix"] = r.flag()
    if h["load_non_intra_quantiser_matrix"]:
        h["non_intra_quantiser_matrix"] = [r.read(8) for _ in range(64)]
    return h


def parse_sequence_extension(r):
    e = {}
    e["profile_and_level_indication"] = r.read(8)
    e["progressive_sequence"] = r.flag()
    e["chroma_format"] = r.read(2)
    e["horizontal_size_extension"] = r.read(2)
    e["vertical_size_extension"] = r.read(2)
    e["bit_rate_extension"] = r.read(12)
    r.marker("marker_bit")
    e["vbv_buffer_size_extension"] = r.read(8)
    e["low_delay"] = r.flag()
    e["frame_rate_extension_n"] = r.read(2)
    e["frame_rate_extension_d"] = r.read(5)
    return e


def parse_sequence_display_extension(r):
    e = {}
    e["video_format"] = r.read(3)
    e["colour_description"] = r.flag()
    if e["colour_description"]:
        e["colour_primaries"] = r.read(8)
        e["transfer_characteristics"] = r.read(8)
        e["matrix_coefficients"] = r.read(8)
    e["display_horizontal_size"] = r.read(14)
    r.marker("marker_bit")
    e["display_vertical_size"] = r.read(14)
    return e


def parse_quant_matrix_extension(r):
    e = {}
    for name in ("intra", "non_intra", "chroma_intra", "chroma_non_intra"):
        e["load_%s_quantiser_matrix" % name] = r.flag()
        if e["load_%s_quantiser_matrix" % name]:
            e["%s_quantiser_matrix" % name] = [r.read(8) for _ in range(64)]
    return e


def parse_copyright_extension(r):
    e = {}
    e["copyright_flag"] = r.flag()
    e["copyright_identifier"] = r.read(8)
    e["original_or_copy"] = r.flag()
    r.read(7)  # reserved
    r.marker("marker_bit")
    e["copyright_number_1"] = r.read(20)
    r.marker("marker_bit")
    e["copyright_number_2"] = r.read(22)
    r.marker("marker_bit")
    e["copyright_number_3"] = r.read(22)
    return e


def number_of_frame_centre_offsets(state):
    if state["progressive_sequence"]:
        if state["repeat_first_field"]:
            return 3 if state["top_field_first"] else 2
        return 1
    if state["picture_structure"] != 3:
        return 1
    return 3 if state["repeat_first_field"] else 2


def parse_picture_display_extension(r, state):
    offsets = []
    for _ in range(number_of_frame_centre_offsets(state)):
        horizontal = r.read(16)
        r.marker("marker_bit")
        vertical = r.read(16)
        r.marker("marker_bit")
        offsets.append((horizontal, vertical))
    return {"frame_centre_offsets": offsets}


def parse_picture_coding_extension(r):
    e = {}
    e["f_code"] = [[r.read(4), r.read(4)], [r.read(4), r.read(4)]]
    for name, width in (("intra_dc_precision", 2), ("picture_structure", 2),
                        ("top_field_first", 1), ("frame_pred_frame_dct", 1),
                        ("concealment_motion_vectors", 1), ("q_scale_type", 1),
                        ("intra_vlc_format", 1), ("alternate_scan", 1),
                        ("repeat_first_field", 1), ("chroma_420_type", 1),
                        ("progressive_frame", 1), ("composite_display_flag", 1)):
        e[name] = r.read(width)
    if e["composite_display_flag"]:
        e["v_axis"] = r.flag()
        e["field_sequence"] = r.read(3)
        e["sub_carrier"] = r.flag()
        e["burst_amplitude"] = r.read(7)
        e["sub_carrier_phase"] = r.read(8)
    return e


def parse_group_of_pictures_header(r):
    g = {}
    g["drop_frame_flag"] = r.flag()
    g["time_code_hours"] = r.read(5)
    g["time_code_minutes"] = r.read(6)
    r.marker("marker_bit")
    g["time_code_seconds"] = r.read(6)
    g["time_code_pictures"] = r.read(6)
    g["closed_gop"] = r.flag()
    g["broken_link"] = r.flag()
    return g


def parse_picture_header(r):
    p = {}
    p["temporal_reference"] = r.read(10)
    p["picture_coding_type"] = r.read(3)
    p["vbv_delay"] = r.read(16)
    if p["picture_coding_type"] in (2, 3):
        p["full_pel_forward_vector"] = r.flag()
        p["forward_f_code"] = r.read(3)
    if p["picture_coding_type"] == 3:
        p["full_pel_backward_vector"] = r.flag()
        p["backward_f_code"] = r.read(3)
    extra = []
    while r.read(1):  # extra_bit_picture
        extra.append(r.read(8))
    p["extra_information_picture"] = extra
    return p


EXTENSION_PARSERS = {
    SEQUENCE_EXTENSION: ("sequence_extension", parse_sequence_extension),
    SEQUENCE_DISPLAY_EXTENSION: ("sequence_display_extension", parse_sequence_display_extension),
    QUANT_MATRIX_EXTENSION: ("quant_matrix_extension", parse_quant_matrix_extension),
    COPYRIGHT_EXTENSION: ("copyright_extension", parse_copyright_extension),
    PICTURE_CODING_EXTENSION: ("picture_coding_extension", parse_picture_coding_extension),
}


def parse_stream(data):
    """Every start code of the stream in file order, as dicts with `kind`,
    `offset` (of the 00 of the start code), `code` and the decoded fields."""
    headers = []
    # What a picture display extension's length depends on.
    state = {"progressive_sequence": 0, "picture_structure": 0,
             "top_field_first": 0, "repeat_first_field": 0}
    at = find_start_code(data, 0)
    while 0 <= at and at + 4 <= len(data):
        code = data[at + 3]
        r = BitReader(data, at + 4)
        item = {"offset": at, "code": code}
        if code == SEQUENCE_HEADER:
            item.update(kind="sequence_header", **parse_sequence_header(r))
        elif code == EXTENSION:
            identifier = r.read(4)
            item["extension_start_code_identifier"] = identifier
            if identifier == PICTURE_DISPLAY_EXTENSION:
                item.update(kind="picture_display_extension",
                            **parse_picture_display_extension(r, state))
            elif identifier in EXTENSION_PARSERS:
                kind, parse = EXTENSION_PARSERS[identifier]
                item.update(kind=kind, **parse(r))
            else:
                item["kind"] = "other_extension"
            if identifier == SEQUENCE_EXTENSION:
                state["progressive_sequence"] = item["progressive_sequence"]
            if identifier == PICTURE_CODING_EXTENSION:
                for name in ("picture_structure", "top_field_first", "repeat_first_field"):
                    state[name] = item[name]
        elif code == GROUP:
            item.update(kind="group_of_pictures_header", **parse_group_of_pictures_header(r))
        elif code == PICTURE:
            item.update(kind="picture_header", **parse_picture_header(r))
        elif code == USER_DATA:
            item["kind"] = "user_data"
        elif code == SEQUENCE_END:
            item["kind"] = "sequence_end"
        elif SLICE_FIRST <= code <= SLICE_LAST:
            item["kind"] = "slice"
        elif code in (PACK, SYSTEM_HEADER):
            raise SyntaxProblem("system start code at %d: not an elementary stream" % at)
        else:
            item["kind"] = "other"
        headers.append(item)
        if item["kind"] in ("user_data", "slice", "other", "other_extension", "sequence_end"):
            # Their bytes run to the next start code.
            at = find_start_code(data, at + 4)
        else:
            at = next_start_code(data, r)
    return headers


# --- the report text ---------------------------------------------------------

ASPECT_RATIO = {0: "", 1: "1:1", 2: "4:3", 3: "16:9", 4: "2.21:1"}  # others reserved
CHROMA_FORMAT = ["", "4:2:0", "4:2:2", "4:4:4"]
PROFILE = ["", "HP", "Spartial", "SNR", "MP", "SP", "", ""]
LEVEL = {4: "HL", 5: "HL", 6: "H-1440", 7: "H-1440", 8: "ML", 9: "ML", 10: "LL"}
ESCAPED_PROFILE_AND_LEVEL = {0x82: "422P@HL", 0x85: "422P@ML", 0x8A: "MVP@HL",
                             0x8B: "MVP@H-1440", 0x8D: "MVP@ML", 0x8E: "MVP@LL"}
PICTURE_CODING_TYPE = ["", "I", "P", "B", "D", "reserved", "reserved", "reserved"]
VIDEO_FORMAT = ["component", "PAL", "NTSC", "SECAM", "MAC", "unspecified", "", ""]
COLOUR_COMMON = ["(forbidden)", "ITU-R BT.709", "unspecified", "reserved"]
COLOUR_PRIMARIES = COLOUR_COMMON + ["ITU-R BT.470-2 System M", "ITU-R BT.470-2 System B, G",
                                    "SMPTE 170M", "SMPTE 240M (1987)"]
TRANSFER_CHARACTERISTICS = COLOUR_PRIMARIES + ["linear"]
MATRIX_COEFFICIENTS = COLOUR_COMMON + ["FCC", "ITU-R BT.470-2 System B, G",
                                       "SMPTE 170M", "SMPTE 240M (1987)"]
PICTURE_STRUCTURE = ["", "top field", "bottom field", "frame"]

# frame_rate_code: the exact rates; 9 to 15 are reserved and print as -1.
FRAME_RATE = {0: Fraction(0), 1: Fraction(24000, 1001), 2: Fraction(24), 3: Fraction(25),
              4: Fraction(30000, 1001), 5: Fraction(30), 6: Fraction(50),
              7: Fraction(60000, 1001), 8: Fraction(60)}


def name(table, code, beyond="reserved"):
    return table[code] if 0 <= code < len(table) else beyond


def yes_no(flag):
    return "yes" if flag else "no"


def frame_rate_text(frame_rate_code, n, d):
    """The rate as m2vhdr prints it: the nearest double of the code's rate,
    times n + 1, divided by d + 1 (each step rounded to double), kept in single
    precision, then written with two decimals, an exact half rounded away from
    zero."""
    base = FRAME_RATE.get(frame_rate_code, Fraction(-1))
    rate = base.numerator / base.denominator  # correctly rounded, like 24000.0 / 1001.0
    rate = rate * (n + 1) / (d + 1)
    single = struct.unpack("<f", struct.pack("<f", rate))[0]
    return str(Decimal(single).quantize(Decimal("0.01"), rounding=ROUND_HALF_UP))


def profile_and_level_text(indication):
    if indication & 0x80:
        return ESCAPED_PROFILE_AND_LEVEL.get(indication, "unknown profile")
    return "%s@%s" % (PROFILE[(indication >> 4) & 7], LEVEL.get(indication & 0x0F, "unknown"))


class Sequence:
    """The values a sequence extension completes: those of the last sequence
    header before it (zero before any), with the extension's high bits."""

    def __init__(self):
        self.header = {"horizontal_size_value": 0, "vertical_size_value": 0,
                       "aspect_ratio_information": 0, "frame_rate_code": 0,
                       "bit_rate_value": 0, "vbv_buffer_size_value": 0,
                       "constrained_parameters_flag": 0}

    def complete(self, ext):
        h = self.header
        return {
            "horizontal_size": ext["horizontal_size_extension"] << 12 | h["horizontal_size_value"],
            "vertical_size": ext["vertical_size_extension"] << 12 | h["vertical_size_value"],
            "bit_rate": ext["bit_rate_extension"] << 18 | h["bit_rate_value"],
            "vbv_buffer_size": ext["vbv_buffer_size_extension"] << 10 | h["vbv_buffer_size_value"],
        }


SEQUENCE_LAYER_WARNING = "sequence extension code found outside the sequence layer"
PICTURE_LAYER_WARNING = "picture extension code found outside the picture layer"


def layer_warning(item, last_code):
    """The warning an extension outside its layer draws, or None."""
    kind = item["kind"]
    if kind in ("sequence_extension", "sequence_display_extension") \
            and last_code != SEQUENCE_HEADER:
        return SEQUENCE_LAYER_WARNING
    if kind in ("quant_matrix_extension", "picture_display_extension",
                "picture_coding_extension") and last_code != PICTURE:
        return PICTURE_LAYER_WARNING
    return None


def report(headers):
    """The report text and the list of layer warnings, in file order."""
    out = []
    warnings = []
    sequence = Sequence()
    last_code = None  # last start code other than extension and user data

    def block(item, title):
        out.append("%08x: %s\n" % (item["offset"], title))

    for item in headers:
        kind = item["kind"]
        if item["code"] not in (EXTENSION, USER_DATA):
            last_code = item["code"]
        warning = layer_warning(item, last_code)
        if warning:
            warnings.append((item["offset"], warning))

        if kind == "sequence_header":
            sequence.header = item
            block(item, "SEQUENCE_HEADER_CODE")
        elif kind == "sequence_extension":
            v = sequence.complete(item)
            h = sequence.header
            block(item, "SEQUENCE_EXTENSION")
            out.append("    %s %dx%d (%s) %sfps/nominal bitrate=%dbps/VBV buffer=%d\n" % (
                profile_and_level_text(item["profile_and_level_indication"]),
                v["horizontal_size"], v["vertical_size"],
                ASPECT_RATIO.get(h["aspect_ratio_information"], "reserved"),
                frame_rate_text(h["frame_rate_code"], item["frame_rate_extension_n"],
                                item["frame_rate_extension_d"]),
                v["bit_rate"] * 400, v["vbv_buffer_size"]))
            out.append("    frame type=%s/chroma=%s/constrained=%s/low delay=%s\n" % (
                "progressive" if item["progressive_sequence"] else "interlaced",
                CHROMA_FORMAT[item["chroma_format"]],
                yes_no(h["constrained_parameters_flag"]), yes_no(item["low_delay"])))
        elif kind == "sequence_display_extension":
            block(item, "SEQUENCE_DISPLAY_EXTENSION")
            out.append("    video format=%s/display size=%dx%d/color description=%s\n" % (
                VIDEO_FORMAT[item["video_format"]], item["display_horizontal_size"],
                item["display_vertical_size"], yes_no(item["colour_description"])))
            if item["colour_description"]:
                out.append("    color primaries=%s\n" % name(COLOUR_PRIMARIES, item["colour_primaries"]))
                out.append("    transfer characteristics=%s\n"
                           % name(TRANSFER_CHARACTERISTICS, item["transfer_characteristics"]))
                out.append("    matrix coefficients=%s\n"
                           % name(MATRIX_COEFFICIENTS, item["matrix_coefficients"]))
        elif kind == "copyright_extension":
            block(item, "COPYRIGHT_EXTENSION")
        elif kind == "group_of_pictures_header":
            block(item, "GROUP_START_CODE")
            out.append("    TC=%02d:%02d:%02d:%02d (%s)/closed GOP=%s/broken link=%s\n" % (
                item["time_code_hours"], item["time_code_minutes"], item["time_code_seconds"],
                item["time_code_pictures"],
                "drop frame" if item["drop_frame_flag"] else "non drop frame",
                yes_no(item["closed_gop"]), yes_no(item["broken_link"])))
        elif kind == "picture_header":
            block(item, "PICTURE_START_CODE")
            delay = "VBR" if item["vbv_delay"] == 0xFFFF else "%d" % item["vbv_delay"]
            out.append("    temporal reference=%d/picture type=%s/VBV delay=%s\n" % (
                item["temporal_reference"], PICTURE_CODING_TYPE[item["picture_coding_type"]],
                delay))
        elif kind == "picture_coding_extension":
            block(item, "PICTURE_CODING_EXTENSION")
            out.append("    DC precision=%d/picture structure=%s/top field first=%s/DCT type=%s\n" % (
                item["intra_dc_precision"] + 8, PICTURE_STRUCTURE[item["picture_structure"]],
                yes_no(item["top_field_first"]),
                "frame" if item["frame_pred_frame_dct"] else "field"))
            out.append("    MV in intra MB=%s/quant scale type=%d/intra vlc format=%d/scan type=%s\n" % (
                yes_no(item["concealment_motion_vectors"]), item["q_scale_type"],
                item["intra_vlc_format"], "alternate" if item["alternate_scan"] else "zigzag"))
            out.append("    repeat first field=%s/chroma420 type=%s/progressive frame=%s\n" % (
                yes_no(item["repeat_first_field"]), yes_no(item["chroma_420_type"]),
                yes_no(item["progressive_frame"])))
            out.append("    composite display flag=%s\n" % yes_no(item["composite_display_flag"]))
            if item["composite_display_flag"]:
                out.append("    v_axis=%s/field sequence=%d/sub carrier=%s/burst amp.=%d/"
                           "sub carrier phase=%d\n" % (
                               yes_no(item["v_axis"]), item["field_sequence"],
                               yes_no(item["sub_carrier"]), item["burst_amplitude"],
                               item["sub_carrier_phase"]))
        elif kind == "user_data":
            block(item, "USER_DATA_START_CODE")
        elif kind == "sequence_end":
            block(item, "SEQUENCE_END_CODE")
    return "".join(out), warnings


# --- the JSON document --------------------------------------------------------

JSON_NAMES = {
    "sequence_header": "SEQUENCE_HEADER_CODE",
    "sequence_extension": "SEQUENCE_EXTENSION",
    "sequence_display_extension": "SEQUENCE_DISPLAY_EXTENSION",
    "quant_matrix_extension": "QUANT_MATRIX_EXTENSION",
    "copyright_extension": "COPYRIGHT_EXTENSION",
    "picture_display_extension": "PICTURE_DISPLAY_EXTENSION",
    "group_of_pictures_header": "GROUP_START_CODE",
    "picture_header": "PICTURE_START_CODE",
    "picture_coding_extension": "PICTURE_CODING_EXTENSION",
    "user_data": "USER_DATA_START_CODE",
    "sequence_end": "SEQUENCE_END_CODE",
}
# Decoded but not listed: the matrices' values, the picture's extra bytes.
NOT_LISTED = ("kind", "code", "offset", "extension_start_code_identifier",
              "intra_quantiser_matrix", "non_intra_quantiser_matrix",
              "chroma_intra_quantiser_matrix", "chroma_non_intra_quantiser_matrix",
              "extra_information_picture", "frame_centre_offsets")
DISPLAY_ASPECT_RATIO = {2: "4:3", 3: "16:9", 4: "221:100"}


def signed16(value):
    return value - 0x10000 if value & 0x8000 else value


def derived_values(header, ext, complete):
    """The sequence's derived values: `ext` is its extension, None for MPEG-1."""
    n = ext["frame_rate_extension_n"] if ext else 0
    d = ext["frame_rate_extension_d"] if ext else 0
    base = FRAME_RATE.get(header["frame_rate_code"], Fraction(0))
    v = {"width": complete["horizontal_size"], "height": complete["vertical_size"]}
    if ext:
        code = header["aspect_ratio_information"]
        if code == 1 and v["height"]:
            shape = Fraction(v["width"], v["height"])
            v["display_aspect_ratio"] = "%d:%d" % (shape.numerator, shape.denominator)
        else:
            v["display_aspect_ratio"] = DISPLAY_ASPECT_RATIO.get(code)
    rate = base * (n + 1) / (d + 1)
    v["r_frame_rate"] = "%d/%d" % (rate.numerator, rate.denominator) if rate else None
    v["bit_rate"] = complete["bit_rate"] * 400
    v["vbv_buffer_size"] = complete["vbv_buffer_size"] * 16384
    if ext:
        indication = ext["profile_and_level_indication"]
        if indication & 0x80:
            pair = ESCAPED_PROFILE_AND_LEVEL.get(indication, "unknown@unknown")
            v["profile"], v["level"] = pair.split("@")
        else:
            v["profile"] = PROFILE[(indication >> 4) & 7] or "unknown"
            v["level"] = LEVEL.get(indication & 0x0F, "unknown")
        v["chroma_format_name"] = CHROMA_FORMAT[ext["chroma_format"]] or None
    else:
        v["chroma_format_name"] = "4:2:0"
    return v


def json_document(headers, path, size):
    """The document `m2vhdr --json` writes for a stream read to its end."""
    entries = []
    warnings = []
    sequence = Sequence()
    last_code = None
    for i, item in enumerate(headers):
        if item["code"] not in (EXTENSION, USER_DATA):
            last_code = item["code"]
        kind = item["kind"]
        if kind not in JSON_NAMES:
            continue
        warning = layer_warning(item, last_code)
        if warning:
            warnings.append({"offset": item["offset"], "message": warning})
        entry = {"offset": item["offset"], "name": JSON_NAMES[kind]}
        entry.update((k, v) for k, v in item.items() if k not in NOT_LISTED)
        if kind == "picture_display_extension":
            entry["frame_centre_horizontal_offset"] = [signed16(h) for h, _ in item["frame_centre_offsets"]]
            entry["frame_centre_vertical_offset"] = [signed16(v) for _, v in item["frame_centre_offsets"]]
        if kind == "sequence_header":
            sequence.header = item
            following = headers[i + 1]["kind"] if i + 1 < len(headers) else None
            if following != "sequence_extension":  # MPEG-1
                no_extension = {"horizontal_size_extension": 0, "vertical_size_extension": 0,
                                "bit_rate_extension": 0, "vbv_buffer_size_extension": 0}
                entry.update(derived_values(item, None, sequence.complete(no_extension)))
        if kind == "sequence_extension":
            entry.update(derived_values(sequence.header, item, sequence.complete(item)))
        entries.append(entry)
    return {"file": path, "size": size, "headers": entries, "warnings": warnings,
            "warnings_omitted": 0, "status": "complete"}


def main(argv):
    args = argv[1:]
    if len(args) == 2 and args[0] == "--json":
        import json
        with open(args[1], "rb") as f:
            data = f.read()
        document = json_document(parse_stream(data), args[1], len(data))
        sys.stdout.write(json.dumps(document, indent=1) + "\n")
        return 0
    output = None
    if len(args) == 3 and args[1] == "-o":
        output = args[2]
        args = args[:1]
    if len(args) != 1:
        sys.stderr.write(__doc__)
        return 2
    with open(args[0], "rb") as f:
        data = f.read()
    try:
        text, warnings = report(parse_stream(data))
    except SyntaxProblem as problem:
        sys.stderr.write("%s: %s\n" % (args[0], problem))
        return 1
    for offset, warning in warnings:
        sys.stderr.write("%08x: warning: %s\n" % (offset, warning))
    if output:
        with open(output, "w", encoding="ascii", newline="\n") as f:
            f.write(text)
    else:
        sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
