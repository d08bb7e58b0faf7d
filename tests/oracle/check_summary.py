#!/usr/bin/env python3
"""Checks m2vhdr --summary against ffprobe on streams whose parameters change.

    check_summary.py M2VHDR DATA_DIR

ffmpeg (FFMPEG) encodes pieces of known size, aspect ratio, rate, scan and
GOP; the pieces are joined with `cat` into elementary streams and, as a
broadcast recording switches from 1440x1080 to 720x480, into a transport
stream (the second file's counters start again where the first's left off,
in the middle of a PES packet's packets). A film piece is made by m2vhdr --pulldown 3:2 from a 23.976 fps
encode (as check_pulldown.py does). Each piece's display time comes from
ffprobe's frames: the time stamps of a transport stream's frames, or in an
elementary stream each frame's fields (2 + repeat_pict) at the piece's
rate. Each segment boundary must fall where the pieces before it end, and
each segment must have its piece's parameters, picture types (ffprobe's
pict_type), bytes (the piece's size), GOP and cadence; the text lines are
checked byte for byte in English and, as Shift_JIS, in the C locale. The
samples of DATA_DIR are one segment each, as long as ffprobe's packets.
Shares no code with the tool.
"""

import json
import os
import subprocess
import sys
import tempfile
from fractions import Fraction

FFMPEG = os.environ.get("FFMPEG", "ffmpeg")
FFPROBE = os.environ.get("FFPROBE", "ffprobe")
failures = []


def expect(label, expected, actual):
    if expected != actual:
        failures.append("%s: expected %r, the tool %r" % (label, expected, actual))


# name, size, aspect, rate, seconds, flags, GOP, B pictures, cadence
PIECES = {
    "ntsc": ((720, 480), "4:3", Fraction(30000, 1001), 1, ["-flags", "+ilme+ildct"], 15, 2, "interlaced"),
    "ntsc_wide": ((720, 480), "16:9", Fraction(30000, 1001), 0.6, ["-flags", "+ilme+ildct"], 9, 2, "interlaced"),
    "pal": ((352, 288), "16:9", Fraction(25), 1.2, [], 12, 0, "progressive"),
    "pal_wide": ((704, 576), "16:9", Fraction(25), 0.8, ["-flags", "+ilme+ildct"], 6, 1, "interlaced"),
    "film": ((720, 480), "4:3", Fraction(24000, 1001), 1, [], 12, 2, "film"),
    "hd": ((1440, 1080), "16:9", Fraction(30000, 1001), 1, ["-flags", "+ilme+ildct"], 15, 2, "interlaced"),
    "sd": ((720, 480), "4:3", Fraction(30000, 1001), 1.5, [], 15, 2, "progressive"),
}
ASPECT_CODES = {"4:3": 2, "16:9": 3}


def run(args, **kw):
    return subprocess.run(args, capture_output=True, check=True, **kw).stdout


def make(m2vhdr, work, name, container):
    size, aspect, rate, seconds, flags, gop, b, cadence = PIECES[name]
    path = os.path.join(work, name + (".ts" if container else ".m2v"))
    run([FFMPEG, "-v", "error", "-y", "-f", "lavfi", "-i",
         "testsrc=size=%dx%d:rate=%s" % (size[0], size[1], rate), "-t", str(seconds),
         "-c:v", "mpeg2video", "-b:v", "3M", "-g", str(gop), "-bf", str(b), "-aspect", aspect]
        + flags + (["-f", "mpegts"] if container else []) + [path])
    if cadence == "film":
        run([m2vhdr, "-q", "--pulldown", "3:2", path])
    return path


def frames(path):
    out = run([FFPROBE, "-v", "error", "-select_streams", "v:0", "-show_entries",
               "frame=pts_time,repeat_pict,pict_type", "-of", "json", path])
    return json.loads(out)["frames"]


def piece_duration(name, path, container):
    """Display time of the piece from ffprobe's frames, as a fraction of a second."""
    rate = PIECES[name][2] * (Fraction(5, 4) if PIECES[name][7] == "film" else 1)
    fs = frames(path)
    if container:
        times = sorted(Fraction(f["pts_time"]) for f in fs)
        return times[-1] - times[0] + 1 / rate
    return sum(Fraction(2 + int(f.get("repeat_pict", 0)), 2) / rate for f in fs)


def picture_types(path):
    counts = {"I": 0, "P": 0, "B": 0, "D": 0}
    for f in frames(path):
        counts[f["pict_type"]] += 1
    return counts


def summary(m2vhdr, path, *options, env=None):
    done = subprocess.run([m2vhdr, "--summary", *options, path], capture_output=True, env=env)
    return done.returncode, done.stdout, done.stderr


def clock(t):
    ms = int(t * 1000 + Fraction(1, 2))
    return "%d:%02d:%02d.%03d" % (ms // 3600000, ms // 60000 % 60, ms // 1000 % 60, ms % 1000)


def check_joined(m2vhdr, work, names, container):
    paths = [make(m2vhdr, work, n, container) for n in names]
    joined = os.path.join(work, "+".join(names) + (".ts" if container else ".m2v"))
    with open(joined, "wb") as out:
        for p in paths:
            with open(p, "rb") as f:
                data = f.read()
            out.write(data)
    code, out, err = summary(m2vhdr, joined, "--json")
    label = os.path.basename(joined)
    expect(label + " exit status", 0, code)
    doc = json.loads(out)
    expect(label + " status", "complete", doc["status"])
    expect(label + " stream", "transport" if container else None,
           doc["stream"] and doc["stream"]["container"])
    segments = doc["segments"]
    expect(label + " segments", len(names), len(segments))
    start = Fraction(0)
    lines = []
    for i, (name, path, g) in enumerate(zip(names, paths, segments)):
        size, aspect, rate, _, _, gop, b, cadence = PIECES[name]
        end = start + piece_duration(name, path, container)
        where = "%s segment %d (%s)" % (label, i, name)
        # A boundary within a microsecond of ffprobe's frame times.
        for what, want in (("start", start), ("end", end)):
            if abs(Fraction(str(g[what])) - want) > Fraction(1, 1000000):
                failures.append("%s %s: ffprobe %s s, the tool %s" % (where, what, float(want), g[what]))
        expect(where + " size", size, (g["horizontal_size"], g["vertical_size"]))
        expect(where + " aspect", ASPECT_CODES[aspect], g["aspect_ratio_information"])
        coded = rate * (Fraction(5, 4) if cadence == "film" else 1)
        expect(where + " frame rate", round(float(coded), 3), g["frame_rate"])
        expect(where + " cadence", cadence, g["cadence"])
        types = picture_types(path)
        expect(where + " picture types", types, g["picture_types"])
        expect(where + " GOP length", gop, g["gop_length"])
        expect(where + " anchor distance", b + 1, g["anchor_distance"])
        if not container:
            expect(where + " bytes", os.path.getsize(path), g["bytes"])
            rate_bits = int(Fraction(os.path.getsize(path) * 8) / (end - start))
            expect(where + " average rate", rate_bits, g["average_bit_rate"])
        cad = {"film": "film (3:2 pulldown)"}.get(cadence, cadence)
        # The times as the document gives them, checked against ffprobe above
        # (its 90 kHz time stamps may round the other way at a millisecond).
        lines.append("  %s-%s %s; %s; GOP N=%d M=%d closed %s; I %d P %d B %d D %d; average %d bit/s\n"
                     % (clock(Fraction(str(g["start"]))), clock(Fraction(str(g["end"]))), parameters(g), cad, gop, b + 1, g["closed"],
                        types["I"], types["P"], types["B"], types["D"], g["average_bit_rate"]))
        start = end
    check_text(m2vhdr, joined, doc, lines)


def parameters(g):
    """The sequence line as the report writes it, from the document's raw values."""
    names = {1: "4:2:0", 2: "4:2:2", 3: "4:4:4"}
    return ("%s %dx%d (%s) %.2ffps/nominal bitrate=%dbps/VBV buffer=%d/frame type=%s/chroma=%s/low delay=%s"
            % (g["profile_and_level"], g["horizontal_size"], g["vertical_size"], g["aspect_ratio"],
               g["frame_rate"], g["nominal_bit_rate"], g["vbv_buffer_size"],
               "progressive" if g["progressive_sequence"] else "interlaced", names[g["chroma_format"]],
               "yes" if g["low_delay"] else "no"))


def check_text(m2vhdr, path, doc, lines):
    name = os.path.basename(path)
    if doc["stream"]:
        head = "%s: transport stream, %d-byte packets, PID 0x%04x\n" % (path, doc["stream"]["packet_size"],
                                                                       doc["stream"]["pid"])
    else:
        head = "%s: elementary stream\n" % path
    english = dict(os.environ, LC_ALL="en_US.UTF-8")
    code, out, _ = summary(m2vhdr, path, env=english)
    expect(name + " exit status (text)", 0, code)
    expect(name + " text", head + "".join(lines), out.decode("ascii", "replace"))
    # The C locale: Japanese, in Shift_JIS.
    words = [("elementary stream", "エレメンタリストリーム"), ("film (3:2 pulldown)", "フィルム (3:2 プルダウン)"),
             ("; interlaced;", "; インターレース;"), ("; progressive;", "; プログレッシブ;"),
             (" closed all;", " クローズド すべて;"), (" closed some;", " クローズド 一部;"),
             (" closed none;", " クローズド なし;"), ("; average ", "; 平均 ")]
    japanese = head + "".join(lines)
    for a, b in words:
        japanese = japanese.replace(a, b)
    code, out, _ = summary(m2vhdr, path, env=dict(os.environ, LC_ALL="C"))
    expected = run(["iconv", "-f", "UTF-8", "-t", "CP932"], input=japanese.encode("utf-8"))
    expect(name + " text in the C locale", expected, out)


def check_sample(m2vhdr, path):
    """A sample is one segment, as long as ffprobe's packets say."""
    out = run([FFPROBE, "-v", "error", "-show_entries", "stream=time_base:packet=duration", "-of", "json", path])
    probe = json.loads(out)
    base = Fraction(probe["streams"][0]["time_base"])
    duration = sum(int(p["duration"]) * base for p in probe["packets"])
    code, out, _ = summary(m2vhdr, path, "--json")
    doc = json.loads(out)
    label = os.path.basename(path)
    expect(label + " segments", 1, len(doc["segments"]))
    g = doc["segments"][0]
    expect(label + " start", 0, g["start"])
    expect(label + " end", round(float(duration), 6), g["end"])
    expect(label + " bytes", os.path.getsize(path), g["bytes"])


def main():
    m2vhdr, data = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as work:
        check_joined(m2vhdr, work, ["ntsc", "pal", "pal_wide", "film", "ntsc_wide"], False)
        check_joined(m2vhdr, work, ["hd", "sd"], True)
    for name in sorted(os.listdir(data)):
        if name.endswith((".m2v", ".m1v")):
            check_sample(m2vhdr, os.path.join(data, name))
    for f in failures:
        print(f)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
