#!/usr/bin/env python3
"""Checks that `m2vhdr --demux` refuses, by name, the containers that are not MPEG's.

    check_containers.py M2VHDR DATA_DIR

One MPEG-2 sample is copied by ffmpeg, without re-encoding, into each
container it writes that holds such video (MP4, MOV, Matroska, AVI, ASF,
MXF, WTV). The name m2vhdr gives is the one ffprobe's format_name calls the
file; the report, --check and --stats with --demux all refuse it with status
1, that one line on standard error and nothing on standard output. The same
video in a program and a transport stream is still read. FFPROBE and FFMPEG
name the tools. Exit status 0 when every case holds.
"""

import os
import subprocess
import sys
import tempfile

FFMPEG = os.environ.get("FFMPEG", "ffmpeg")
FFPROBE = os.environ.get("FFPROBE", "ffprobe")
# ffprobe's format_name -> the name m2vhdr gives.
NAMES = {"mov,mp4,m4a,3gp,3g2,mj2": "MP4/MOV", "matroska,webm": "Matroska", "avi": "AVI",
         "asf": "ASF", "mxf": "MXF", "wtv": "WTV"}
OUTPUTS = ["mp4", "mov", "mkv", "avi", "asf", "mxf", "wtv"]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def run(args):
    # m2vhdr's messages in English: a locale of another language, by name.
    return subprocess.run(args, capture_output=True, env=dict(os.environ, LC_ALL="en_US.UTF-8"))


def mux(sample, path, extra=()):
    subprocess.run([FFMPEG, "-v", "error", "-y", "-fflags", "+genpts", "-i", sample, "-c", "copy",
                    *extra, path], check=True)


def format_name(path):
    return subprocess.run([FFPROBE, "-v", "error", "-show_entries", "format=format_name", "-of",
                           "default=nw=1:nk=1", path], capture_output=True, text=True,
                          check=True).stdout.strip()


def main():
    tool, data = sys.argv[1], sys.argv[2]
    sample = os.path.join(data, "ntsc_43_interlaced.m2v")
    with tempfile.TemporaryDirectory() as scratch:
        for extension in OUTPUTS:
            path = os.path.join(scratch, "clip." + extension)
            mux(sample, path)
            name = NAMES.get(format_name(path))
            check(name is not None, "%s: ffprobe calls it %r" % (extension, format_name(path)))
            line = ("m2vhdr: the file is of another container (%s), not an MPEG program or "
                    "transport stream; it is not read\n" % name).encode()
            for mode in ([], ["--check", "dvd"], ["--stats"]):
                r = run([tool, "--demux", *mode, path])
                got = (r.returncode, r.stdout, r.stderr)
                check(got == (1, b"", line), "%s %s: %r" % (extension, mode, got))
        for extension, extra in (("ts", ["-f", "mpegts"]), ("mpg", ["-f", "vob"])):
            path = os.path.join(scratch, "clip." + extension)
            mux(sample, path, extra)
            r = run([tool, "--demux", path])
            check(r.returncode == 0 and b"another container" not in r.stderr,
                  "%s read as another container: %r" % (extension, r.stderr))
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
