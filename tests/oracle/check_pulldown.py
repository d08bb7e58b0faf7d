#!/usr/bin/env python3
"""Checks m2vhdr --pulldown on streams made by ffmpeg, with ffprobe and ffmpeg.

    check_pulldown.py M2VHDR

For film at 23.976 and at 24 fps (B pictures, GOPs of 15 pictures, the
first GOP's time code 00:00:59:10 so that drop-frame counting crosses a
minute):
  * after --pulldown 3:2, ffprobe shows in display order repeat_pict and
    top_field_first following the cadence, the decoded pictures (framemd5)
    are those of the film, and the GOP time codes are those counted here,
    label by label, from the fields each picture shows;
  * the summary line names the picture count ffprobe finds and the number
    of headers whose bytes differ;
  * a second run changes nothing; --pulldown none gives back ffmpeg's file
    byte for byte;
  * a run interrupted in either of its patch passes (emulated by splicing the
    converted and the original file) is completed by the same command;
  * streams it must refuse leave the file untouched with the exact message;
  * mpeg2enc's soft-telecined film (-p), and the same cut and joined so that
    the cadence changes phase, lose their pulldown with every picture
    decoded as before, and the closing line gives the durations summed
    here from ffprobe's repeat_pict.
FFMPEG and FFPROBE in the environment name the tools (default: the PATH).
Exit status 0 when everything holds, 1 otherwise.
"""

import json
import os
import pathlib
import subprocess
import sys
import tempfile
from fractions import Fraction

FFMPEG = os.environ.get("FFMPEG", "ffmpeg")
FFPROBE = os.environ.get("FFPROBE", "ffprobe")
MPEG2ENC = os.environ.get("MPEG2ENC", "mpeg2enc")
CADENCE = [(1, 1), (0, 0), (0, 1), (1, 0)]  # (top_field_first, repeat_pict), display order
FIELDS_SHOWN = [3, 2, 3, 2]
PICTURES = 75
START_LABEL = (0, 0, 59, 10)
failures = []


def expect(what, expected, actual):
    if expected != actual:
        failures.append("%s: expected %r, got %r" % (what, expected, actual))


def make(path, rate, *flags, codec="mpeg2video"):
    subprocess.run([FFMPEG, "-v", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc=size=176x144:rate=" + rate, "-frames:v", str(PICTURES),
                    "-c:v", codec, "-g", "15", "-bf", "2", "-q:v", "5", *flags,
                    "-f", codec, path], check=True)


def frames(path):
    out = subprocess.run([FFPROBE, "-v", "error", "-show_frames", "-of", "json", path],
                         check=True, capture_output=True).stdout
    return json.loads(out)["frames"]


def decoded(path):
    out = subprocess.run([FFMPEG, "-v", "error", "-i", path, "-f", "framemd5", "-"],
                         check=True, capture_output=True, text=True).stdout
    # size and hash; the time stamps follow the flagged rate
    return [line.split(",")[-2:] for line in out.splitlines() if not line.startswith("#")]


def gop_time_codes(fs):
    return [s["timecode"] for f in fs for s in f.get("side_data_list", [])
            if s.get("side_data_type") == "GOP timecode"]


def advance(label, count, rate, drop):
    """The label `count` pictures after `label`, one picture at a time."""
    h, m, s, p = label
    for _ in range(count):
        p += 1
        if p == rate:
            p, s = 0, s + 1
            if s == 60:
                s, m = 0, m + 1
                if m == 60:
                    m, h = 0, h + 1
                if drop and m % 10:
                    p = 2
    return (h, m, s, p)


def text(label, drop):
    return "%02d:%02d:%02d%s%02d" % (label[0], label[1], label[2], ";" if drop else ":", label[3])


def count_24(code):
    h, m, s, p = (int(x) for x in code.replace(";", ":").split(":"))
    return ((h * 60 + m) * 60 + s) * 24 + p


def start_codes(data, code):
    at, found = data.find(b"\x00\x00\x01" + bytes([code])), []
    while at >= 0:
        found.append(at)
        at = data.find(b"\x00\x00\x01" + bytes([code]), at + 1)
    return found


def changed_headers(a, b):
    """Start codes whose header bytes (up to the next start code) differ."""
    at = sorted(i for i in range(len(a) - 2) if a[i:i + 3] == b"\x00\x00\x01")
    return sum(1 for i, j in zip(at, at[1:] + [len(a)]) if a[i:j] != b[i:j])


def tool(m2vhdr, path, mode):
    # Its messages in English: a locale of another language, named whether
    # installed or not.
    r = subprocess.run([m2vhdr, "--pulldown", mode, path], capture_output=True,
                       env=dict(os.environ, LC_ALL="en_US.UTF-8"))
    return r.returncode, r.stdout.decode(), r.stderr.decode()


def read(path):
    return pathlib.Path(path).read_bytes()


def write(path, data):
    pathlib.Path(path).write_bytes(data)


def clock(fields, rate):
    """h:mm:ss.mmm of `fields` fields at `rate` frames per second (a name)."""
    per_second = {"23.976": Fraction(24000, 1001), "24": 24, "29.97": Fraction(30000, 1001), "30": 30}[rate]
    ms = round(Fraction(fields, 2) / per_second * 1000)
    return "%d:%02d:%02d.%03d" % (ms // 3600000, ms // 60000 % 60, ms // 1000 % 60, ms % 1000)


def check_encoder_film(m2vhdr, work):
    """mpeg2enc's soft-telecined film, alone and cut and joined to itself at
    a GOP where the cadence stands at another phase: removal takes both,
    leaves every picture shown once at 23.976 fps, decoded as before."""
    film = os.path.join(work, "enc.m2v")
    y4m = subprocess.run([FFMPEG, "-v", "error", "-f", "lavfi", "-i", "testsrc=size=352x480:rate=24000/1001",
                          "-frames:v", "48", "-pix_fmt", "yuv420p", "-f", "yuv4mpegpipe", "-"],
                         check=True, capture_output=True).stdout
    subprocess.run([MPEG2ENC, "-v", "0", "-f", "3", "-b", "2000", "-F", "1", "-p", "-o", film], input=y4m,
                   check=True, capture_output=True)
    whole = read(film)
    second_gop = start_codes(whole, 0xB8)[1]
    joined = whole[:second_gop] + whole  # the second part starts at phase 0 again
    for name, data in (("mpeg2enc film", whole), ("mpeg2enc film cut and joined", joined)):
        path = os.path.join(work, "enc_removed.m2v")
        write(path, data)
        before = frames(path)
        fields = sum(2 + f["repeat_pict"] for f in before)
        status, out, err = tool(m2vhdr, path, "none")
        after = frames(path)
        expect(name + ": repeats in film's share", True, 0.4 <= sum(f["repeat_pict"] for f in before) / len(before) <= 0.6)
        expect(name + ": removal", (0, "", "3:2 pulldown removed: %d pictures, 29.97 -> 23.976 fps, %d headers "
                                    "changed, duration %s -> %s\n" % (len(before), changed_headers(data, read(path)),
                                                                      clock(fields, "29.97"), clock(2 * len(before), "23.976"))),
               (status, err, out))
        expect(name + ": flags after", [(0, 0)] * len(before), [(f["top_field_first"], f["repeat_pict"]) for f in after])
        copy = os.path.join(work, "enc_copy.m2v")
        write(copy, data)
        expect(name + ": decoded pictures", decoded(copy), decoded(path))
        removed = read(path)
        expect(name + ": second removal", (0, removed), (tool(m2vhdr, path, "none")[0], read(path)))


def check_film(m2vhdr, work, rate, film, video, drop):
    label = "%s fps" % film
    original = os.path.join(work, "film.m2v")
    make(original, rate, "-timecode", "%02d:%02d:%02d:%02d" % START_LABEL)
    source = read(original)
    path = os.path.join(work, "pulled.m2v")
    write(path, source)

    # A dry run lists exactly the bytes the real run then writes.
    dry = subprocess.run([m2vhdr, "--dry-run", "--pulldown", "3:2", path], capture_output=True,
                         env=dict(os.environ, LC_ALL="en_US.UTF-8"))
    listed = bytearray(source)
    for line in dry.stdout.decode().splitlines()[:-1]:
        offset, change = line.split(": ")
        old, new = (bytes.fromhex(side) for side in change.split(" -> "))
        at = int(offset, 16)
        expect(label + ": dry run's old bytes at " + offset, bytes(listed[at:at + len(old)]), old)
        listed[at:at + len(new)] = new
    expect(label + ": dry run leaves the file", (0, True), (dry.returncode, read(path) == source))
    expect(label + ": dry run's closing line", True,
           dry.stdout.decode().splitlines()[-1].startswith("3:2 pulldown would be applied: "))

    status, out, err = tool(m2vhdr, path, "3:2")
    pulled = read(path)
    expect(label + ": dry run lists the real run's bytes", True, bytes(listed) == pulled)
    # --json lists the same patches as the lines of the dry run.
    write(path, source)
    document = json.loads(subprocess.run([m2vhdr, "--json", "--pulldown", "3:2", path],
                                         capture_output=True, check=True).stdout)
    lines = ["%08x: %s -> %s" % (p["offset"], " ".join(p["old"][i:i + 2] for i in range(0, len(p["old"]), 2)),
                                 " ".join(p["new"][i:i + 2] for i in range(0, len(p["new"]), 2)))
             for p in document["patches"]]
    expect(label + ": JSON patches", dry.stdout.decode().splitlines()[:-1], lines)
    expect(label + ": JSON run's file", True, read(path) == pulled)
    fs = frames(path)
    expect(label + ": apply status", (0, ""), (status, err))
    expect(label + ": apply output", "3:2 pulldown applied: %d pictures, %s -> %s fps, "
           "%d headers changed, duration %s -> %s\n"
           % (len(fs), film, video, changed_headers(source, pulled), clock(PICTURES * 2, film),
              clock(sum(FIELDS_SHOWN[i % 4] for i in range(PICTURES)), video)), out)
    expect(label + ": pictures", PICTURES, len(fs))
    expect(label + ": flags in display order", [CADENCE[i % 4] for i in range(len(fs))],
           [(f["top_field_first"], f["repeat_pict"]) for f in fs])
    expect(label + ": progressive pictures", [0] * len(fs), [f["interlaced_frame"] for f in fs])
    expect(label + ": decoded pictures", decoded(original), decoded(path))

    # Each GOP starts where ffmpeg's film time code says; the new code counts
    # the whole frames the fields before it fill, from the first code on.
    film_codes = gop_time_codes(frames(original))
    starts = [count_24(c) - count_24(film_codes[0]) for c in film_codes]
    shown = [sum(FIELDS_SHOWN[i % 4] for i in range(k)) // 2 for k in starts]
    expect(label + ": time codes", [text(advance(START_LABEL, n, 30, drop), drop) for n in shown],
           gop_time_codes(fs))

    # --stats names the cadence afterwards, and the duration stays: 2.5
    # fields a picture on average, so a count of pictures that is not a
    # multiple of 4 ends at most half a field from the film's end.
    figures = [json.loads(subprocess.run([m2vhdr, "--stats", "--json", p], capture_output=True,
                                         check=True).stdout) for p in (original, path)]
    expect(label + ": stats pulldown", (None, "3:2"), tuple(f["pulldown"] for f in figures))
    half_field = 1 / (4 * float(video))
    expect(label + ": stats duration within half a field", True,
           abs(figures[0]["duration"] - figures[1]["duration"]) <= half_field + 1e-6)

    status, out = tool(m2vhdr, path, "3:2")[:2]
    expect(label + ": second apply", (0, True, pulled),
           (status, " 0 headers changed, " in out, read(path)))

    # Interrupted runs: apply writes the flags, then the rates; remove the
    # rates, then the flags. Each pass goes front to back; an interruption
    # half way leaves the bytes before the middle done.
    rates = [at + 7 for at in start_codes(source, 0xB3)]

    def state(done, todo, flags_upto, rates_upto):
        mixed = bytearray(done[:flags_upto] + todo[flags_upto:])
        for at in rates:
            mixed[at] = (done if at < rates_upto else todo)[at]
        return bytes(mixed)

    half, end = len(source) // 2, len(source)
    for mode, done, todo, interrupted in (
            ("3:2", pulled, source, [("flags", half, 0), ("rates", end, half)]),
            ("none", source, pulled, [("rates", 0, half), ("flags", half, end)])):
        for name, flags_upto, rates_upto in interrupted:
            write(path, state(done, todo, flags_upto, rates_upto))
            expect("%s: %s interrupted in the %s pass" % (label, mode, name), (0, done),
                   (tool(m2vhdr, path, mode)[0], read(path)))

    write(path, pulled)
    status, out, err = tool(m2vhdr, path, "none")
    expect(label + ": remove status", (0, ""), (status, err))
    expect(label + ": remove output", "3:2 pulldown removed: %d pictures, %s -> %s fps, "
           "%d headers changed, duration %s -> %s\n"
           % (PICTURES, video, film, changed_headers(pulled, source),
              clock(sum(FIELDS_SHOWN[i % 4] for i in range(PICTURES)), video), clock(PICTURES * 2, film)), out)
    expect(label + ": apply then remove", True, read(path) == source)


def first_coding_extension(data):
    return next(at for at in start_codes(data, 0xB5) if data[at + 4] >> 4 == 8)


def check_refusals(m2vhdr, work):
    path = os.path.join(work, "refused.m2v")
    interlaced = ("-flags", "+ilme+ildct", "-top", "1")
    cases = [  # mode, ffmpeg's rate and flags, where, reason
        ("3:2", ("24000/1001", *interlaced), first_coding_extension,
         "interlaced picture (progressive_frame 0)"),
        ("none", ("30000/1001", *interlaced), first_coding_extension,
         "interlaced picture (progressive_frame 0)"),
        ("3:2", ("25",), lambda data: 0,
         "frame rate 25 fps (3:2 pulldown applies to 23.976 or 24 fps)"),
        ("none", ("25",), lambda data: 0,
         "frame rate 25 fps (3:2 pulldown is removed from 29.97 or 30 fps)"),
        ("3:2", ("30000/1001",), first_coding_extension,
         "picture without the 3:2 cadence in a stream flagged 29.97 fps (not 23.976 or 24 fps film)"),
        # 29.97 progressive video without repeats: no film to take back.
        ("none", ("30000/1001",), lambda data: start_codes(data, 0xB5)[0],
         "progressive_sequence 1 in a stream flagged 29.97 fps (no pulldown to remove)"),
        ("3:2", ("24000/1001", "MPEG-1"), lambda data: start_codes(data, 0x00)[0],
         "picture without a picture coding extension (MPEG-1)"),
    ]
    for mode, made, where, reason in cases:
        if made[-1] == "MPEG-1":
            make(path, made[0], codec="mpeg1video")
        else:
            make(path, *made)
        before = read(path)
        message = "cannot %s 3:2 pulldown: %s%s; the file is unchanged\n" % (
            "apply" if mode == "3:2" else "remove", "offset 0x%08x: " % where(before) if where else "", reason)
        expect("refused %s %s" % (mode, made), (1, "", message, before),
               tool(m2vhdr, path, mode) + (read(path),))


def main():
    m2vhdr = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as work:
        check_film(m2vhdr, work, "24000/1001", "23.976", "29.97", True)
        check_film(m2vhdr, work, "24", "24", "30", False)
        check_refusals(m2vhdr, work)
        check_encoder_film(m2vhdr, work)
    for f in failures:
        print(f)
    print("check_pulldown: %s" % ("FAILED" if failures else "ok"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
