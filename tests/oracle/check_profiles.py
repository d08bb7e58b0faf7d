#!/usr/bin/env python3
"""Checks `m2vhdr --check dvd|bluray` on streams that ffmpeg makes.

    check_profiles.py M2VHDR

One stream per rule broken and one that meets every rule of each profile.
The expected lines come from what ffmpeg was asked to write, the offsets
from a search for the start codes here, and the VBV figures (underflows,
where the first one is, the lowest safe rate) from the simulation over
ffprobe's packets in check_stats.py. For each stream: the exact standard
output, an empty standard error and the exit status, the same findings in
--json (each fix also as "fix_argv", the words sh makes of it), and then each printed fix run through the shell on a copy, after
which the stream must be compliant. A few of them are muxed into program
and transport streams and checked there with --demux: the same findings at
the file offsets of the same headers, fixes that read the container (no
pulldown there), each run and then passing. FFMPEG and FFPROBE name the
tools.
"""

import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_stats  # noqa: E402

FFMPEG = os.environ.get("FFMPEG", "ffmpeg")
DVD_BUFFER, HL_BUFFER = 112 * 16384, 597 * 16384
failures = []


def make(path, size, rate, frames, *flags, codec="mpeg2video"):
    subprocess.run([FFMPEG, "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=%s:rate=%s" % (size, rate),
                    "-frames:v", str(frames), "-c:v", codec, *flags, "-f", codec, path], check=True)


def starts(data, code):
    marker, found = b"\x00\x00\x01" + bytes([code]), []
    at = data.find(marker)
    while at >= 0:
        found.append(at)
        at = data.find(marker, at + 1)
    return found


def drop_repeated_sequence_header(data):
    """The second sequence header and its extension cut out, up to its GOP."""
    second = starts(data, 0xB3)[1]
    return data[:second] + data[data.find(b"\x00\x00\x01\xb8", second):]


def set_nominal_rate(data, rate):
    """bit_rate_value of every sequence header (bit_rate_extension stays 0)."""
    out, value = bytearray(data), rate // 400
    for at in starts(data, 0xB3):
        out[at + 8], out[at + 9] = value >> 10, (value >> 2) & 0xFF
        out[at + 10] = (value & 3) << 6 | (out[at + 10] & 0x3F)
    return bytes(out)


def vbv(path, rate, buffer):
    pics = check_stats.packets(path)
    under, first = check_stats.vbv(pics, rate, buffer)
    return under, first, check_stats.lowest_safe(pics, buffer)


SD = ("-maxrate", "8M", "-bufsize", str(DVD_BUFFER), "-b:v", "4M")
HD = ("-maxrate", "30M", "-bufsize", str(HL_BUFFER), "-b:v", "20M", "-aspect", "16:9", "-profile:v", "4", "-level:v", "4")
INTERLACED = ("-flags", "+ilme+ildct")

# (file name, profile, (size, rate, frames, ffmpeg flags...), change to the
# bytes, expected findings: (rule, found, offset, count, fix)). In the
# findings, "{seq}" and "{ext}" stand for the first sequence header and
# extension, "{gop1}" for the second GOP header, "{file}" for the file as
# the fix names it; a function of the stream works out the rest.
CASES = [
    ("dvd.m2v", "dvd", ("720x480", "30000/1001", 4, *SD, *INTERLACED, "-aspect", "16:9"), None, []),
    ("pal half.m2v", "dvd", ("352x288", "25", 4, *SD, "-aspect", "4:3"), None, []),
    ("vcd.m1v", "dvd", ("352x240", "30000/1001", 4, "-maxrate", "1150k", "-bufsize", "327680", "-b:v", "1150k",
                        "codec:mpeg1video"), None, []),
    ("size.m2v", "dvd", ("640x480", "30000/1001", 3, *SD, "-aspect", "4:3"), None,
     [("picture_size", "640x480", "{seq}", 1, None)]),
    ("rate.m2v", "dvd", ("720x576", "25", 3, "-maxrate", "12M", "-bufsize", str(DVD_BUFFER), "-aspect", "4:3"), None,
     [("bit_rate", "12000000 bit/s, above 9800000", "{seq}", 1, "m2vhdr {file} {safe}")]),
    # 16:9 at a width no DVD format has: both rules broken, and no aspect
    # fix before the size is one of DVD's.
    ("wide 716.m2v", "dvd", ("716x480", "30000/1001", 3, *SD, "-aspect", "16:9"), None,
     [("picture_size", "716x480", "{seq}", 1, None), ("aspect_ratio", "16:9 at 716x480", "{seq}", 1, None)]),
    ("it's square.m2v", "dvd", ("720x480", "30000/1001", 3, *SD, "-aspect", "3:2"), None,
     [("aspect_ratio", "1:1 at 720x480", "{seq}", 1, "m2vhdr --set aspect_ratio_information=4:3 {file}")]),
    ("narrow.m2v", "dvd", ("352x480", "30000/1001", 3, *SD, "-aspect", "16:9"), None,
     [("aspect_ratio", "16:9 at 352x480", "{seq}", 1, "m2vhdr --set aspect_ratio_information=4:3 {file}")]),
    ("gop.m2v", "dvd", ("352x240", "30000/1001", 19, *SD, "-aspect", "4:3", "-g", "19"), None,
     [("gop_length", "a GOP of 19 frames (field pictures count as half), at most 18", "{gop0}", 1, None)]),
    ("gop25.m2v", "dvd", ("352x288", "25", 16, *SD, "-aspect", "4:3", "-g", "16"), None,
     [("gop_length", "a GOP of 16 frames (field pictures count as half), at most 15", "{gop0}", 1, None)]),
    ("buffer.m2v", "dvd", ("720x480", "30000/1001", 3, "-maxrate", "8M", "-bufsize", str(2 * DVD_BUFFER),
                           "-aspect", "4:3"), None,
     [("vbv_buffer_size", "224 (3670016 bits), above 112", "{seq}", 1, "m2vhdr --set vbv_buffer_size=112 {file}")]),
    ("no header.m2v", "dvd", ("352x240", "30000/1001", 9, *SD, "-aspect", "4:3", "-g", "3"),
     drop_repeated_sequence_header,
     [("gop_sequence_header", "a GOP header without a sequence header before it", "{gop1}", 1, None)]),
    ("-film.m2v", "dvd", ("720x480", "24000/1001", 4, *SD, "-aspect", "16:9"), None,
     [("frame_rate", "720x480 progressive at 23.976 fps", "{seq}", 1, "m2vhdr --pulldown 3:2 {file}")]),
    ("low delay.m2v", "dvd", ("720x480", "30000/1001", 3, *SD, "-aspect", "4:3", "-flags", "+low_delay"), None,
     [("low_delay", "low_delay 1", "{ext}", 1, None)]),
    ("422.m2v", "dvd", ("720x480", "30000/1001", 3, *SD, "-aspect", "4:3", "-pix_fmt", "yuv422p"), None,
     [("profile_level", "422P@ML", "{ext}", 1, None), ("chroma_format", "4:2:2", "{ext}", 1, None)]),
    # ffmpeg keeps the VBV at 2 Mbit/s; the header then says 1 Mbit/s.
    ("vbv.m2v", "dvd", ("352x240", "30000/1001", 60, "-g", "1", "-q:v", "2", "-maxrate", "2M",
                        "-bufsize", str(DVD_BUFFER), "-aspect", "4:3"),
     lambda data: set_nominal_rate(data, 1000000),
     [("vbv_underflow", "VBV underflow at 1000000 bit/s with a buffer of 1835008 bits", "{under}", "{unders}",
       "m2vhdr {file} {safe}")]),
    ("vcd rate.m1v", "dvd", ("352x240", "30000/1001", 3, "-maxrate", "2M", "-bufsize", "327680", "-b:v", "1M",
                             "codec:mpeg1video"), None,
     [("bit_rate", "2000000 bit/s, above 1856000", "{seq}", 1, None)]),
    ("hd.m2v", "bluray", ("1920x1080", "30000/1001", 2, *HD, *INTERLACED), None, []),
    ("720p.m2v", "bluray", ("1280x720", "60000/1001", 2, *HD), None, []),
    ("hd 4x3.m2v", "bluray", ("1920x1080", "25", 2, *HD, *INTERLACED, "-aspect", "4:3"), None,
     [("aspect_ratio", "4:3 at 1920x1080", "{seq}", 1, "m2vhdr --set aspect_ratio_information=16:9 {file}")]),
    ("720p30.m2v", "bluray", ("1280x720", "30000/1001", 2, *HD), None,
     [("frame_rate", "1280x720 progressive at 29.97 fps", "{seq}", 1, None)]),
    ("sd film.m2v", "bluray", ("720x480", "24000/1001", 3, *SD, "-aspect", "4:3"), None,
     [("frame_rate", "720x480 progressive at 23.976 fps", "{seq}", 1, "m2vhdr --pulldown 3:2 {file}")]),
    ("fast.m2v", "bluray", ("1920x1080", "24", 2, "-maxrate", "45M", "-bufsize", str(HL_BUFFER), "-b:v", "20M",
                            "-aspect", "16:9"), None,
     [("bit_rate", "45000000 bit/s, above 40000000", "{seq}", 1, "m2vhdr {file} {safe}")]),
    ("big buffer.m2v", "bluray", ("720x576", "25", 3, "-maxrate", "8M", "-bufsize", str(HL_BUFFER),
                                  "-aspect", "16:9", *INTERLACED), None,
     [("vbv_buffer_size", "597 (9781248 bits), above 112", "{seq}", 1, "m2vhdr --set vbv_buffer_size=112 {file}")]),
    ("mpeg1.m1v", "bluray", ("720x480", "30000/1001", 2, "-maxrate", "8M", "-bufsize", str(DVD_BUFFER),
                             "codec:mpeg1video"), None,
     [("profile_level", "MPEG-1", "{seq}", 1, None), ("frame_rate", "720x480 at 29.97 fps", "{seq}", 1, None)]),
]


def shell_word(name):
    word = ("-- " if name.startswith("-") else "")
    plain = all(c.isalnum() or c in "_@%+=:,./-" for c in name)
    return word + (name if plain else "'" + name.replace("'", "'\\''") + "'")


def expected(case, path, data):
    name, profile, _, _, findings = case
    cap = 40000000 if profile == "bluray" else (1856000 if name.endswith(".m1v") else 9800000)
    sizes = {"seq": starts(data, 0xB3)[0], "ext": (starts(data, 0xB5) + [None])[0], "file": shell_word(name)}
    for i, at in enumerate(starts(data, 0xB8)[:2]):
        sizes["gop%d" % i] = at
    rows = []
    for rule, found, offset, count, fix in findings:
        if "{safe}" in (fix or "") or rule == "vbv_underflow":
            nominal = int(found.split()[3]) if rule == "vbv_underflow" else int(found.split()[0])
            under, first, safe = vbv(path, min(nominal, cap), HL_BUFFER if profile == "bluray" else DVD_BUFFER)
            sizes.update(under=first, unders=under, safe=safe)
        offset, count = (int(str(v).format(**sizes)) for v in (offset, count))
        rows.append({"rule": rule, "offset": offset, "count": count, "found": found,
                     "fix": fix.format(**sizes) if fix else None})
    return rows


def run(tool, *args, cwd=None):
    done = subprocess.run([tool, *args], capture_output=True, cwd=cwd, env=dict(os.environ, LC_ALL="C"))
    return done.returncode, done.stdout.decode(), done.stderr.decode()


def text_of(profile, rows):
    lines = ["FAIL %s: %s (first at 0x%08x, %d times)%s\n"
             % (r["rule"], r["found"], r["offset"], r["count"],
                " - fix: " + r["fix"] if r["fix"] else "") for r in rows]
    last = "compliant" if not rows else "1 rule broken" if len(rows) == 1 else "%d rules broken" % len(rows)
    return "".join(lines) + "%s: %s\n" % (profile, last)


def build(case, scratch):
    """The stream of `case` written in `scratch`: its path and bytes."""
    name, _, (size, rate, frames, *flags), change, _ = case
    codec = [f[6:] for f in flags if f.startswith("codec:")] or ["mpeg2video"]
    path = os.path.join(scratch, name)
    make(path, size, rate, frames, *[f for f in flags if not f.startswith("codec:")], codec=codec[0])
    with open(path, "rb") as f:
        data = f.read()
    if change:
        data = change(data)
        with open(path, "wb") as f:
            f.write(data)
    return path, data


def check_output(tool, label, profile, name, rows, scratch, options=()):
    """The exact lines and JSON of --check on `name`, then each fix run."""
    want = (3 if rows else 0, text_of(profile, rows), "")
    got = run(tool, "--check", profile, *options, "--", name, cwd=scratch)
    if got != want:
        failures.append("%s: expected %r, got %r" % (label, want, got))
    status, out, err = run(tool, "--json", "--check", profile, *options, "--", name, cwd=scratch)
    # Each fix also as its arguments: the words sh makes of the line.
    violations = [dict(r, fix_argv=shlex.split(r["fix"]) if r["fix"] else None) for r in rows]
    doc = {"file": name, "profile": profile, "status": "noncompliant" if rows else "compliant",
           "violations": violations}
    if status != want[0] or err or json.loads(out) != doc:
        failures.append("%s --json: expected %r, got %r" % (label, doc, out))
    for row in rows:
        if not row["fix"]:
            continue
        subprocess.run(row["fix"].replace("m2vhdr", tool, 1), shell=True, cwd=scratch, check=True,
                       capture_output=True)
        again = run(tool, "--check", profile, *options, "--", name, cwd=scratch)
        if again != (0, "%s: compliant\n" % profile, ""):
            failures.append("%s after %s: %r" % (label, row["fix"], again))


def check_case(tool, case, scratch):
    path, data = build(case, scratch)
    check_output(tool, case[0], case[1], case[0], expected(case, path, data), scratch)


# Streams of CASES muxed by ffmpeg: (name, ffmpeg's format, extension,
# --demux and the options given, the options each fix must carry). The
# container breaks the same rules as often as the stream, first at the file
# offsets of the same headers; the fixes read the container, and none
# applies pulldown there.
CONTAINED = [
    ("rate.m2v", ["-f", "mpegts"], "ts", ["--demux", "--stream", "256"], "--demux --stream 0x0100 "),
    ("vbv.m2v", ["-f", "vob"], "vob", ["--demux"], "--demux "),
    ("-film.m2v", ["-f", "mpegts", "-mpegts_m2ts_mode", "1"], "m2ts", ["--demux"], "--demux "),
    ("it's square.m2v", ["-f", "dvd"], "mpg", ["--demux", "--stream", "0xE0"], "--demux --stream 0xe0 "),
]


def header_offsets(tool, *args):
    return [int(m.group(1), 16) for m in re.finditer(r"^([0-9a-f]{8,}): ", run(tool, *args)[1], re.M)]


def check_contained(tool, contained, scratch):
    name, fmt, ext, options, fix_options = contained
    case = next(c for c in CASES if c[0] == name)
    path, data = build(case, scratch)
    rows = expected(case, path, data)
    muxed = path + "." + ext
    subprocess.run([FFMPEG, "-v", "error", "-y", "-fflags", "+genpts", "-r", case[2][1], "-i", path,
                    "-c", "copy", *fmt, muxed], check=True, capture_output=True)
    # The report puts the same headers, in the same order, at file offsets.
    at_file = dict(zip(header_offsets(tool, path), header_offsets(tool, "--demux", muxed)))
    for row in rows:
        row["offset"] = at_file.get(row["offset"])
        if row["fix"]:
            row["fix"] = None if row["rule"] == "frame_rate" else row["fix"].replace(
                "m2vhdr ", "m2vhdr " + fix_options, 1).replace(shell_word(name), shell_word(name + "." + ext))
    check_output(tool, os.path.basename(muxed), case[1], name + "." + ext, rows, scratch, options)


def main(argv):
    tool = os.path.abspath(argv[1])
    scratch = tempfile.mkdtemp()
    try:
        for case in CASES:
            check_case(tool, case, scratch)
        for contained in CONTAINED:
            check_contained(tool, contained, scratch)
    finally:
        shutil.rmtree(scratch)
    for failure in failures:
        print(failure)
    print("%d streams checked, %d failures" % (len(CASES) + len(CONTAINED), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
