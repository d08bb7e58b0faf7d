#!/usr/bin/env python3
"""Checks m2vhdr --stats against ffprobe and an independent VBV simulation.

    check_stats.py --tool M2VHDR FILE...

For each FILE, from ffprobe -show_packets (one packet per picture: its
position, size, decode timestamp and duration) this script works out, with
exact fractions:
  * the duration, the average rate, the rate of each second [k, k+1) s (the
    packets whose decode time falls in it; the last one over the time up to
    the stream's end), the most bits in any one-second window that
    ends within the stream (in a stream shorter than a second, the whole
    stream over its duration), and the rate of each GOP (a GOP opens with
    the packet that holds a group start code before its picture);
  * the VBV: arrivals at the nominal rate R are counted as a running total A,
    capped by what the buffer can hold (bits removed so far plus its size)
    and by the whole stream; the first picture leaves once A stops at the
    cap or one second after the first bit, whichever is sooner, each next
    one a packet duration later; a picture underflows when A is below the
    total of the pictures up to it at its decode time. The lowest safe rate
    is searched for over multiples of 400 bit/s.
Packets before the first sequence header (a stream cut mid-GOP) get no
usable duration from ffprobe: the script gives each the fields its picture
coding extension shows, at the frame rate of the first sequence header,
and moves the later decode times accordingly. A copy of a sample cut at a
picture inside its first GOP is checked too, and so are clips of 0.5,
0.57, 1 and 1.5 s that ffmpeg (FFMPEG) makes. The script then compares them with `m2vhdr --stats --json`: on the file as it is and on
copies rewritten to a few rates around the lowest safe one. It also draws
the plot (--plot) and checks its points against the JSON figures, and that
a long stream still makes a small drawing. Shares no code with the tool.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from fractions import Fraction

FFPROBE = os.environ.get("FFPROBE", "ffprobe")
failures = []


def equal(label, expected, actual):
    if expected != actual:
        failures.append("%s: expected %r, the tool %r" % (label, expected, actual))


FRAME_RATES = [None, Fraction(24000, 1001), Fraction(24), Fraction(25), Fraction(30000, 1001), Fraction(30),
               Fraction(50), Fraction(60000, 1001), Fraction(60)]


def leading_duration(data, pos, size, first_sequence):
    """Display time of a picture ahead of every sequence header, with the
    frame rate and progressive_sequence of the first one after it."""
    rate = FRAME_RATES[data[first_sequence + 7] & 15]
    progressive = True  # MPEG-1 unless a sequence extension follows
    ext = data.find(b"\x00\x00\x01\xb5", first_sequence + 4)
    if ext >= 0 and data[ext + 4] >> 4 == 1 and data.find(b"\x00\x00\x01", first_sequence + 4) == ext:
        progressive = bool(data[ext + 5] & 0x08)
        rate = rate * ((data[ext + 9] >> 5 & 3) + 1) / ((data[ext + 9] & 31) + 1)
    fields = 2
    chunk = data[pos:pos + size]
    at = -1
    for i in range(len(chunk) - 8):
        if chunk[i:i + 4] == b"\x00\x00\x01\xb5" and chunk[i + 4] >> 4 == 8:
            at = i
            break
    if at >= 0:
        structure, tff, rff = chunk[at + 6] & 3, chunk[at + 7] >> 7, chunk[at + 7] >> 1 & 1
        fields = 1 if structure != 3 else 2 if not rff else (6 if tff else 4) if progressive else 3
    return Fraction(fields, 2) / rate


def packets(path):
    out = subprocess.run([FFPROBE, "-v", "error", "-show_entries", "stream=time_base:packet=pos,size,dts,duration",
                          "-of", "json", path], capture_output=True, check=True).stdout
    probe = json.loads(out)
    base = Fraction(probe["streams"][0]["time_base"])
    pics = [(int(p["pos"]), int(p["size"]) * 8, int(p["dts"]) * base, int(p["duration"]) * base)
            for p in probe["packets"]]
    with open(path, "rb") as f:
        data = f.read()
    first_sequence = data.find(b"\x00\x00\x01\xb3")
    shift, fixed = Fraction(0), []
    for pos, bits, dts, d in pics:
        if pos < first_sequence:
            duration = leading_duration(data, pos, bits // 8, first_sequence)
            fixed.append((pos, bits, dts + shift, duration))
            shift += duration - d
        else:
            fixed.append((pos, bits, dts + shift, d))
    return fixed


def gop_starts(data, pics):
    """Packets holding a group start code ahead of their picture start code."""
    starts = []
    for pos, bits, _, _ in pics:
        chunk = data[pos:pos + bits // 8]
        group, picture = chunk.find(b"\x00\x00\x01\xb8"), chunk.find(b"\x00\x00\x01\x00")
        starts.append(0 <= group < picture)
    return starts


def rates(data, pics):
    duration = sum(p[3] for p in pics)
    total = sum(p[1] for p in pics)
    seconds = {}
    for _, bits, dts, _ in pics:
        seconds[int(dts)] = seconds.get(int(dts), 0) + bits
    per_second = [seconds.get(k, 0) for k in range(max(seconds) + 1)]
    last_span = duration - (len(per_second) - 1)
    per_second[-1] = int(per_second[-1] / last_span)
    window, end, inside = 0, 0, 0
    for start in range(len(pics)):
        if pics[start][2] + 1 > duration:
            break
        while end < len(pics) and pics[end][2] < pics[start][2] + 1:
            inside += pics[end][1]
            end += 1
        window = max(window, inside)
        inside -= pics[start][1]
    if duration < 1:
        window = int(total / duration)
    per_gop, gop = [], None
    for opens, (_, bits, _, d) in zip(gop_starts(data, pics) + [True], pics + [(0, 0, 0, 0)]):
        if opens and gop:
            per_gop.append(int(Fraction(gop[0]) / gop[1]))
        if opens:
            gop = [0, 0]
        if gop:
            gop[0] += bits
            gop[1] += d
    return {"duration": round(float(duration), 6), "average_bit_rate": int(total / duration),
            "bit_rate_per_second": per_second, "max_bit_rate_per_second": window,
            "bit_rate_per_second_last_window": round(float(last_span), 6),
            "max_bit_rate_per_second_window": round(float(min(Fraction(1), duration)), 6),
            "bit_rate_per_gop": per_gop, "max_bit_rate_per_gop": max(per_gop) if per_gop else None}


def vbv(pics, rate, buffer):
    """(underflows, offset of the first) at `rate` bit/s."""
    total = sum(p[1] for p in pics)
    arrived = Fraction(min(buffer, total, rate))   # rate: the bits of one second
    removed, underflows, first = 0, 0, None
    for pos, bits, _, d in pics:
        removed += bits
        if arrived < removed:
            underflows += 1
            first = pos if first is None else first
        arrived = min(arrived + rate * d, removed + buffer, total)
    return underflows, first


def lowest_safe(pics, buffer):
    if vbv(pics, 400 * ((1 << 30) - 1), buffer)[0]:
        return None
    low, high = 0, (1 << 30) - 1   # units of 400 bit/s: low underflows, high does not
    while high - low > 1:
        middle = (low + high) // 2
        low, high = (middle, high) if vbv(pics, 400 * middle, buffer)[0] else (low, middle)
    return 400 * high


def tool_json(tool, path, *extra):
    done = subprocess.run([tool, "--stats", "--json", *extra, path], capture_output=True, check=True)
    return json.loads(done.stdout)


def check_plot(label, svg, stats):
    """The rate steps and level lines sit where the JSON figures put them."""
    ns = {"s": "http://www.w3.org/2000/svg"}
    root = ET.parse(svg).getroot()
    panel = root.find(".//s:g[@id='rate-panel']", ns)
    x0, y0, w, h, dur, top = (float(panel.get("data-" + k)) for k in ("x0", "y0", "width", "height", "duration", "top"))
    value = lambda y: (y0 + h - y) / h * top
    for series in ("per-second", "per-gop"):
        points = [tuple(map(float, p.split(","))) for p in panel.find("s:polyline[@id='%s']" % series, ns).get("points").split()]
        drawn = [round(value(y)) for _, y in points[::2]]
        expected = [r for r in stats["bit_rate_" + series.replace("-", "_")] if r <= top]
        equal(label + " plot " + series + " point count", 2 * len(expected), len(points))
        for d, e in zip(drawn, expected):
            if abs(d - min(e, top)) > top / h * 0.06:
                failures.append("%s plot %s: drawn %d, JSON %d" % (label, series, d, e))
    # Every point inside its panel; both panels on one time axis; the
    # per-second line ends where the stream does.
    panels = [root.find(".//s:g[@id='%s']" % name, ns) for name in ("rate-panel", "vbv-panel")]
    equal(label + " plot: the panels' time axes", panels[0].get("data-duration"), panels[1].get("data-duration"))
    for g in panels:
        gx0, gy0, gw, gh = (float(g.get("data-" + k)) for k in ("x0", "y0", "width", "height"))
        for line in g.findall("s:polyline", ns):
            for p in line.get("points").split():
                x, y = map(float, p.split(","))
                if not (gx0 - 0.05 <= x <= gx0 + gw + 0.05 and gy0 - 0.05 <= y <= gy0 + gh + 0.05):
                    failures.append("%s plot %s: point %s outside its panel" % (label, line.get("id"), p))
    seconds_line = panel.find("s:polyline[@id='per-second']", ns).get("points").split()
    end_x = float(seconds_line[-1].split(",")[0])
    if abs(end_x - (x0 + stats["duration"] / dur * w)) > 0.06:
        failures.append("%s plot: the per-second line ends at x=%.1f, the stream at %.1f"
                        % (label, end_x, x0 + stats["duration"] / dur * w))
    line = panel.find("s:line[@id='nominal']", ns)
    if abs(value(float(line.get("y1"))) - min(stats["nominal_bit_rate"], top)) > top / h * 0.06:
        failures.append("%s plot: nominal line at %s" % (label, line.get("y1")))
    marks = root.findall(".//s:circle[@class='underflow']", ns)
    equal(label + " plot: underflows marked", stats["vbv_underflows"] > 0, len(marks) > 0)


def check_file(tool, path, scratch):
    label = os.path.basename(path)
    with open(path, "rb") as f:
        data = f.read()
    pics = packets(path)
    svg = os.path.join(scratch, "plot.svg")
    stats = tool_json(tool, path, "--plot", svg)
    for key, expected in rates(data, pics).items():
        equal(label + " " + key, expected, stats[key])
    check_plot(label, svg, stats)
    buffer = stats["vbv_buffer_size"]
    lowest = lowest_safe(pics, buffer)
    equal(label + " min_nominal_bit_rate", lowest, stats["min_nominal_bit_rate"])
    rates_to_try = [stats["nominal_bit_rate"]]
    if lowest:
        rates_to_try += [lowest, max(400, lowest - 400), max(400, stats["average_bit_rate"] // 1200 * 400)]
    for rate in rates_to_try:
        copy = os.path.join(scratch, "copy.m2v")
        shutil.copyfile(path, copy)
        subprocess.run([tool, copy, str(rate)], capture_output=True, check=True)
        at_rate = tool_json(tool, copy)
        under, first = vbv(pics, rate, buffer)
        equal("%s at %d bit/s: vbv_underflows" % (label, rate), under, at_rate["vbv_underflows"])
        delay = Fraction(min(buffer, sum(p[1] for p in pics), rate), rate)
        if abs(delay - Fraction(at_rate["vbv_start_delay"])) > Fraction(1, 1000000):
            failures.append("%s at %d bit/s: start-up delay %s, the tool %s"
                            % (label, rate, float(delay), at_rate["vbv_start_delay"]))
        equal("%s at %d bit/s: first_underflow_offset" % (label, rate), first, at_rate["first_underflow_offset"])
    return len(pics)


def check_long(tool, path, scratch):
    """Two hundred copies of a sample: the drawing keeps its bounded size."""
    long_path = os.path.join(scratch, "long.m2v")
    with open(path, "rb") as f, open(long_path, "wb") as out:
        out.write(f.read() * 200)
    svg = os.path.join(scratch, "long.svg")
    stats = tool_json(tool, long_path, "--plot", svg)
    size = os.path.getsize(svg)
    if size > 1 << 20 or len(stats["bit_rate_per_gop"]) < 400:
        failures.append("long stream: %d bytes of SVG for %d GOPs" % (size, len(stats["bit_rate_per_gop"])))
    root = ET.parse(svg).getroot()
    for line in root.iter("{http://www.w3.org/2000/svg}polyline"):
        if len(line.get("points").split()) > 4001:
            failures.append("long stream: %s has %d points" % (line.get("id"), len(line.get("points").split())))


def check_columns(tool, path, scratch):
    """Columns shared by many GOPs keep their largest rate: 5000 one-picture
    GOPs, large and small in turn, over 2000 columns draw the large rate in
    every column, which is the JSON's highest GOP rate."""
    with open(path, "rb") as f:
        data = f.read()
    gop = data.find(b"\x00\x00\x01\xb8")
    picture = data.find(b"\x00\x00\x01\x00", gop)
    slice_at = data.find(b"\x00\x00\x01\x01", picture)
    unit = lambda n: data[gop:gop + 8] + data[picture:slice_at] + b"\x00\x00\x01\x01" + b"\xff" * n
    long_path, svg = os.path.join(scratch, "columns.m2v"), os.path.join(scratch, "columns.svg")
    with open(long_path, "wb") as out:
        out.write(data[:gop] + (unit(2000) + unit(100)) * 2500)
    stats = tool_json(tool, long_path, "--plot", svg)
    ns = {"s": "http://www.w3.org/2000/svg"}
    panel = ET.parse(svg).getroot().find(".//s:g[@id='rate-panel']", ns)
    y0, h, top = (float(panel.get("data-" + k)) for k in ("y0", "height", "top"))
    points = panel.find("s:polyline[@id='per-gop']", ns).get("points").split()
    drawn = [(y0 + h - float(p.split(",")[1])) / h * top for p in points]
    equal("shared columns: GOPs", 5000, len(stats["bit_rate_per_gop"]))
    highest = stats["max_bit_rate_per_gop"]  # within a tenth of a pixel of the drawing
    equal("shared columns: levels away from the highest GOP rate, %d bit/s" % highest, [],
          [round(d) for d in drawn if abs(d - highest) > top / h * 0.1])


def make_clips(scratch):
    """Clips of 0.5, 0.57 (17 frames at 29.97), 1 and 1.5 s, or none
    without ffmpeg."""
    ffmpeg = os.environ.get("FFMPEG", "ffmpeg")
    if not shutil.which(ffmpeg):
        return []
    clips = []
    for frames, rate in ((12, "24"), (17, "30000/1001"), (25, "25"), (36, "24")):
        path = os.path.join(scratch, "clip%d.m2v" % frames)
        subprocess.run([ffmpeg, "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=352x288:rate=" + rate,
                        "-frames:v", str(frames), "-c:v", "mpeg2video", "-b:v", "6M", "-maxrate", "8M",
                        "-bufsize", "1835008", "-g", "12", "-f", "mpeg2video", path], check=True)
        clips.append(path)
    return clips


def main(argv):
    tool, files = argv[2], argv[3:]
    scratch = tempfile.mkdtemp()
    try:
        # Sixty copies of a sample: a minute of seconds and GOPs to compare.
        minute = os.path.join(scratch, "minute.m2v")
        with open(files[-1], "rb") as f, open(minute, "wb") as out:
            out.write(f.read() * 60)
        # A capture cut inside its first GOP: pictures before any sequence header.
        cut = os.path.join(scratch, "cut.m2v")
        with open(files[-1], "rb") as f:
            data = f.read()
        pictures = [i for i in range(len(data) - 3) if data[i:i + 4] == b"\x00\x00\x01\x00"]
        second_sequence = data.find(b"\x00\x00\x01\xb3", 4)
        start = pictures[2]
        if not 0 < start < second_sequence:
            failures.append("%s: no picture to cut at before its second sequence header" % files[-1])
        with open(cut, "wb") as out:
            out.write(data[start:])
        for path in files + [minute, cut] + make_clips(scratch):
            count = check_file(tool, path, scratch)
            print("%s: %d pictures checked" % (os.path.basename(path), count))
        check_long(tool, files[0], scratch)
        check_columns(tool, files[-1], scratch)
    finally:
        shutil.rmtree(scratch)
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
