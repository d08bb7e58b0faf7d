#!/usr/bin/env python3
"""Checks `m2vhdr --demux` on program and transport streams that ffmpeg muxes.

    check_demux.py M2VHDR DATA_DIR

Each sample is muxed with a tone beside it in every container ffmpeg writes
(-f mpegts, with 192-byte packets too, vob, dvd, mpeg, svcd), and in what
mjpegtools' mplex writes (-f 0, 3, 8; MPLEX names it, and tools/install-deps
installs it). Inside each:
the report's line naming the stream agrees with ffprobe, and its blocks
equal, block for block, the report of the elementary stream that
`ffmpeg -c copy -f mpeg2video` demuxes, each at a file offset that holds the
start code; a rewrite and --set give, demuxed by ffmpeg, exactly the bytes
the same command gives on that elementary stream, change no other byte of the
file, write what --dry-run listed, leave ffprobe and the decoded frames as
they were, and change nothing when run again. Two transport streams of one
programme joined, its video on another PID in each, read as the two video
streams one after the other. FFPROBE and FFMPEG name the tools. Exit status 0
when every case holds.
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_stats  # noqa: E402

FFMPEG = os.environ.get("FFMPEG", "ffmpeg")
FFPROBE = os.environ.get("FFPROBE", "ffprobe")
FORMATS = [("ts", ["-f", "mpegts"]), ("m2ts", ["-f", "mpegts", "-mpegts_m2ts_mode", "1"]),
           ("vob", ["-f", "vob"]), ("dvd", ["-f", "dvd"]), ("mpg", ["-f", "mpeg"]),
           ("svcd", ["-f", "svcd"])]
# mjpegtools' mplex: an MPEG-1 system stream whose video packets mostly carry
# the STD buffer field in their PES headers (ffmpeg's muxer never writes it),
# and MPEG-2 program streams (generic, DVD with navigation packs).
MPLEX = os.environ.get("MPLEX", "mplex")
MPLEX_FORMATS = [("mplex0.mpg", ["-f", "0"]), ("mplex3.mpg", ["-f", "3"]), ("mplex8.vob", ["-f", "8"])]
CODES = {"SEQUENCE_HEADER_CODE": 0xB3, "GROUP_START_CODE": 0xB8, "PICTURE_START_CODE": 0x00}
COMMAND = ["--set", "aspect_ratio_information=16:9", "--set", "vbv_buffer_size=100"]
failures = []
PACKETS = {}


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def run(args, **kw):
    # m2vhdr's messages in English: a locale of another language, by name.
    return subprocess.run(args, capture_output=True, env=dict(os.environ, LC_ALL="en_US.UTF-8"), **kw)


def blocks(report):
    """[(offset, text without offset)] of a report."""
    out = []
    for line in report.splitlines(keepends=True):
        m = re.match(r"^([0-9a-f]{8,}): (.*)", line, re.S)
        if m:
            out.append([int(m.group(1), 16), m.group(2)])
        elif out:
            out[-1][1] += line
    return out


def demuxed(path, out):
    run([FFMPEG, "-v", "error", "-y", "-i", path, "-map", "0:v", "-c", "copy", "-f", "mpeg2video",
         out], check=True)
    return open(out, "rb").read()


def frames(path):
    """The decoded frames' checksums; the aspect ratio set changes only "#sar"."""
    text = run([FFMPEG, "-v", "error", "-i", path, "-map", "0", "-f", "framemd5", "-"],
               check=True, text=True).stdout
    return [line for line in text.splitlines() if not line.startswith("#sar")]


def differing(a, b):
    return [i for i in range(len(a)) if a[i] != b[i]]


def expected_line(path, ext):
    video = json.loads(run([FFPROBE, "-v", "error", "-select_streams", "v", "-show_streams",
                            "-of", "json", path], check=True).stdout)["streams"][0]
    ident = int(video["id"], 16)
    if ext in ("ts", "m2ts"):
        return "stream: transport stream, %d-byte packets, PID 0x%04x\n" % (
            192 if ext == "m2ts" else 188, ident), ident
    form = "MPEG-1" if ext in ("mpg", "mplex0.mpg") else "MPEG-2"
    return "stream: program stream (%s), stream_id 0x%02x\n" % (form, ident & 0xFF), ident


def check_container(tool, tmp, sample, ext, fmt):
    name = "%s.%s" % (os.path.basename(sample), ext)
    path = os.path.join(tmp, name)
    if ext.startswith("mplex"):
        tone = os.path.join(tmp, "tone.mp2")
        run([FFMPEG, "-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=1",
             "-c:a", "mp2", "-ar", "44100", tone], check=True)
        run([MPLEX, "-v", "0"] + fmt + ["-o", path, sample, tone], check=True)
    else:
        run([FFMPEG, "-v", "error", "-y", "-fflags", "+genpts", "-r", "30000/1001", "-i", sample,
             "-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-map", "0:v", "-map", "1:a",
             "-c:v", "copy", "-c:a", "mp2"] + fmt + [path], check=True)
    original = open(path, "rb").read()
    es_path = path + ".m2v"
    es = demuxed(path, es_path)

    # The report, block for block, at offsets that hold the start codes.
    line, ident = expected_line(path, ext)
    r = run([tool, "--demux", path], text=True)
    es_report = run([tool, es_path], text=True).stdout
    check(r.returncode == 0 and r.stderr == "", name + ": report runs clean")
    check(r.stdout.startswith(line), name + ": stream line " + r.stdout.split("\n")[0])
    got, want = blocks(r.stdout), blocks(es_report)
    check([b[1] for b in got] == [b[1] for b in want], name + ": blocks equal the ES's")
    split = 0
    for offset, text in got:
        code = CODES.get(text.split("\n")[0].strip())
        whole = code is not None and original[offset:offset + 4] == bytes([0, 0, 1, code])
        split += not whole and code is not None
        check(original[offset] == 0, name + ": offset %x holds 00" % offset)
    check(split * 10 <= len(got), name + ": start codes in one piece at most offsets")
    j = json.loads(run([tool, "--demux", "--json", path], check=True).stdout)
    key = "pid" if ext in ("ts", "m2ts") else "stream_id"
    check(j["stream"][key] == (ident if key == "pid" else ident & 0xFF), name + ": json stream")
    check([h["offset"] for h in j["headers"]] == [b[0] for b in got], name + ": json offsets")

    # The rewrite against the same command on the demuxed stream.
    work, es_work = path + ".work", es_path + ".work"
    shutil.copy(path, work)
    shutil.copy(es_path, es_work)
    dry = run([tool, "--demux", "--dry-run"] + COMMAND + [work, "7000000"], text=True)
    w = run([tool, "--demux"] + COMMAND + [work, "7000000"])
    e = run([tool] + COMMAND + [es_work, "7000000"])
    check(w.returncode == 0 and e.returncode == 0, name + ": rewrites succeed")
    after, es_after = open(work, "rb").read(), open(es_work, "rb").read()
    check(demuxed(work, work + ".m2v") == es_after, name + ": demuxed rewrite equals the ES's")
    changed = differing(original, after)
    check(len(after) == len(original) and len(changed) == len(differing(es, es_after)),
          name + ": no byte outside the video payload changed")
    listed = set()
    for m in re.finditer(r"^([0-9a-f]+):((?: [0-9a-f]{2})+) ->((?: [0-9a-f]{2})+)$", dry.stdout, re.M):
        at, old, new = int(m.group(1), 16), bytes.fromhex(m.group(2)), bytes.fromhex(m.group(3))
        check(original[at:at + len(old)] == old and after[at:at + len(new)] == new,
              name + ": dry-run patch at %x" % at)
        listed.update(i for i in range(at, at + len(old)) if old[i - at] != new[i - at])
    check(listed == set(changed), name + ": dry run lists every changed byte")
    check(run([FFPROBE, "-v", "error", work]).returncode == 0, name + ": ffprobe opens it")
    check(frames(work) == frames(path), name + ": decoded frames unchanged")
    run([tool, "--demux"] + COMMAND + [work, "7000000"])
    check(open(work, "rb").read() == after, name + ": a second run changes nothing")

    # --stats at a rate that underflows: the figures of the demuxed stream,
    # the first underflow at the file offset of the header that starts the
    # picture there (ffprobe's packets and the simulation of check_stats.py
    # place it in the elementary stream; the blocks map it to the file).
    seq = es.find(b"\x00\x00\x01\xb3")
    units = (es[seq + 10] & 0x1F) << 5 | es[seq + 11] >> 3
    ext = es.find(b"\x00\x00\x01\xb5", seq)
    if es.find(b"\x00\x00\x01", seq + 4) == ext and es[ext + 4] >> 4 == 1:
        units |= es[ext + 8] << 10  # vbv_buffer_size_extension
    buffer = units * 16384
    if es not in PACKETS:  # the containers of a sample mostly demux to the same stream
        PACKETS[es] = check_stats.packets(es_path)
    pics = PACKETS[es]
    rate = check_stats.lowest_safe(pics, buffer) // 800 * 400
    under, first = check_stats.vbv(pics, rate, buffer)
    low, es_low = path + ".low", es_path + ".low"
    shutil.copy(path, low)
    shutil.copy(es_path, es_low)
    run([tool, "--demux", low, str(rate)], check=True)
    run([tool, es_low, str(rate)], check=True)
    at_file = dict((e[0], g[0]) for e, g in zip(want, got))
    stats = json.loads(run([tool, "--stats", "--json", "--demux", low], check=True).stdout)
    es_stats = json.loads(run([tool, "--stats", "--json", es_low], check=True).stdout)
    check(first > pics[0][0] and stats["vbv_underflows"] == under and
          stats["first_underflow_offset"] == at_file[first], name + ": --stats underflow offset")
    stats.update(file=es_low, first_underflow_offset=first)
    check(stats == es_stats, name + ": --stats figures equal the ES's")
    text = run([tool, "--stats", "--demux", low], text=True).stdout
    es_text = run([tool, "--stats", es_low], text=True).stdout
    check(text == es_text.replace("the first at %08x" % first, "the first at %08x" % at_file[first]) and
          "the first at %08x" % at_file[first] in text, name + ": --stats text")

    # Refusals: without --demux, a missing stream, pulldown.
    check(run([tool, path]).returncode == 1, name + ": refused without --demux")
    m = run([tool, "--demux", "--stream", "0x1f", path], text=True)
    if key == "pid":  # each video PID with its program_number
        programs = json.loads(run([FFPROBE, "-v", "error", "-show_programs", "-of", "json", path],
                                  check=True).stdout)["programs"]
        held = ", ".join("0x%04x (program %d)" % (int(st["id"], 16), pr["program_num"])
                         for pr in programs for st in pr["streams"] if st["codec_type"] == "video")
    else:
        held = "0x%02x" % (ident & 0xFF)
    want_err = "m2vhdr: the file holds no video stream 0x1f; it holds: %s\n" % held
    check(m.returncode == 1 and m.stderr == want_err and m.stdout == "", name + ": missing stream")
    p = run([tool, "--demux", "--pulldown", "3:2", work])
    check(p.returncode == 1 and open(work, "rb").read() == after, name + ": pulldown refused")


def check_programme_change(tool, tmp, samples):
    """Two transport streams of programme 1 joined, the video on PID 0x1248
    in the first and on 0x1256 (PMT version 1) in the second, as broadcast
    recordings switch: the tool's stream is the two video streams one after
    the other, as ffmpeg demuxes each part."""
    parts, streams = [], []
    for k, (sample, pid) in enumerate(zip(samples, (0x1248, 0x1256))):
        path = os.path.join(tmp, "part%d.ts" % k)
        run([FFMPEG, "-v", "error", "-y", "-fflags", "+genpts", "-r", "30000/1001", "-i", sample,
             "-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-map", "0:v", "-map", "1:a",
             "-c:v", "copy", "-c:a", "mp2", "-f", "mpegts", "-streamid", "0:%d" % pid,
             "-tables_version", str(k), path], check=True)
        parts.append(open(path, "rb").read())
        streams.append(demuxed(path, path + ".m2v"))
    joined, es_path = os.path.join(tmp, "joined.ts"), os.path.join(tmp, "joined.m2v")
    open(joined, "wb").write(parts[0] + parts[1])
    open(es_path, "wb").write(streams[0] + streams[1])
    # The second part's first PMT packet (PID 0x1000, as ffmpeg writes it).
    pmt = next(i for i in range(0, len(parts[1]), 188)
               if (parts[1][i + 1] & 0x1F) << 8 | parts[1][i + 2] == 0x1000)
    change = "%08x: video continues on PID 0x1256 (program 1, PMT version 1)\n" % (len(parts[0]) + pmt)
    r = run([tool, "--demux", joined], text=True)
    check(r.returncode == 0 and r.stderr == "", "joined: report runs clean " + r.stderr)
    lines = r.stdout.splitlines(keepends=True)
    check(lines[0] == "stream: transport stream, 188-byte packets, PID 0x1248\n" and
          lines.count(change) == 1, "joined: stream line and the change line")
    got = blocks("".join(line for line in lines if line != change))
    want = blocks(run([tool, es_path], text=True).stdout)
    check([b[1] for b in got] == [b[1] for b in want], "joined: blocks equal the two ES's")
    first_after = next((b[0] for b in got if b[0] > len(parts[0])), None)
    check(change in lines and first_after is not None and
          lines.index(change) + 1 == lines.index("%08x: SEQUENCE_HEADER_CODE\n" % first_after),
          "joined: the change line comes before the second part's first header")
    joined_bytes = parts[0] + parts[1]
    whole = sum(joined_bytes[o:o + 4] in (b"\0\0\1\xb3", b"\0\0\1\xb8", b"\0\0\1\0") for o, t in got
                if t.split("\n")[0].strip() in CODES)
    check(whole * 10 >= 9 * sum(t.split("\n")[0].strip() in CODES for o, t in got),
          "joined: start codes at the offsets")
    j = json.loads(run([tool, "--demux", "--json", joined], check=True).stdout)
    check(j["pid_changes"] == [{"offset": len(parts[0]) + pmt, "pid": 0x1256, "program_number": 1,
                                "version_number": 1}], "joined: json pid_changes")
    # A rewrite patches both parts as the same command patches the two video
    # streams one after the other.
    work, es_work = joined + ".work", es_path + ".work"
    shutil.copy(joined, work)
    shutil.copy(es_path, es_work)
    w = run([tool, "--demux"] + COMMAND + [work, "7000000"])
    e = run([tool] + COMMAND + [es_work, "7000000"])
    check(w.returncode == 0 and e.returncode == 0, "joined: rewrites succeed")
    after = open(work, "rb").read()
    for k, part in enumerate((after[:len(parts[0])], after[len(parts[0]):])):
        open(work + str(k), "wb").write(part)
    check(demuxed(work + "0", work + "0.m2v") + demuxed(work + "1", work + "1.m2v") ==
          open(es_work, "rb").read(), "joined: the rewrite patches both PIDs")
    check(len(differing(joined_bytes, after)) ==
          len(differing(streams[0] + streams[1], open(es_work, "rb").read())),
          "joined: no byte outside the video payloads changed")
    # The second PID alone, at its offsets in the joined file.
    s = run([tool, "--demux", "--stream", "0x1256", joined], text=True)
    second = blocks(run([tool, "--demux", os.path.join(tmp, "part1.ts")], text=True).stdout)
    check(blocks(s.stdout) == [[o + len(parts[0]), t] for o, t in second], "joined: --stream 0x1256")
    m = run([tool, "--demux", "--stream", "0x1f", joined], text=True)
    check(m.stderr == "m2vhdr: the file holds no video stream 0x1f; it holds: 0x1248 (program 1), "
          "0x1256 (program 1)\n", "joined: missing stream lists both PIDs")


def main():
    tool, data = sys.argv[1], sys.argv[2]
    samples = [os.path.join(data, n) for n in ("ntsc_43_interlaced.m2v", "pal_169_progressive.m2v")]
    with tempfile.TemporaryDirectory() as tmp:
        for sample in samples:
            for ext, fmt in FORMATS + MPLEX_FORMATS:
                check_container(tool, tmp, sample, ext, fmt)
            # An elementary stream: --demux changes nothing.
            plain, with_demux = run([tool, sample]), run([tool, "--demux", sample])
            check((plain.returncode, plain.stdout, plain.stderr) ==
                  (with_demux.returncode, with_demux.stdout, with_demux.stderr),
                  sample + ": --demux on an elementary stream")
        check_programme_change(tool, tmp, samples)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
