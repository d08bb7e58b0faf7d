#!/usr/bin/env python3
"""Checks m2vhdr on a folder of mixed files, on pipes, and its memory with --jobs.

    check_batch.py M2VHDR DATA_DIR [TIMER]

A folder holds an elementary stream made by ffmpeg, the same video muxed by
ffmpeg into a transport and a program stream, an MP4 named .mpg (refused), a
link to nowhere (cannot be opened) and a stream long enough for a report of
several MB. In every read-only mode, with --demux:
  - -j 2 and -j 3 print the bytes of -j 1, on each stream, with its status;
  - --json gives one document per line, each parsed alone, each equal (as
    JSON) to the document of its file run alone, with "file" and "status";
  - each file's output is its output alone after the line that names it.
Standard input through a pipe (the elementary and the transport stream)
prints what the file prints, but for its name and its size.
A stream whose report is hundreds of MB is reported twice with -j 1 and -j 2;
the peak resident memory of the child (ru_maxrss, from wait4, through
bench's m2vhdr_time_command as TIMER) stays under 8 MiB per job.
FFMPEG names ffmpeg. Exit status 0 when every case holds.
"""

import json
import os
import struct
import subprocess
import sys
import tempfile

FFMPEG = os.environ.get("FFMPEG", "ffmpeg")
MODES = [[], ["--json"], ["--stats"], ["--stats", "--json"], ["--check", "dvd"],
         ["--check", "dvd", "--json"]]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def run(args, stdin=None, env=None):
    e = dict(os.environ, LC_ALL="en_US.UTF-8")
    e.update(env or {})
    return subprocess.run(args, capture_output=True, env=e, stdin=stdin)


def ffmpeg(*args):
    subprocess.run([FFMPEG, "-v", "error", "-y", *args], check=True, stderr=subprocess.DEVNULL)


def make_folder(scratch):
    folder = os.path.join(scratch, "clips")
    os.mkdir(folder)
    es = os.path.join(folder, "a_clip.m2v")
    ffmpeg("-f", "lavfi", "-i", "testsrc=size=352x288:rate=25", "-t", "2", "-c:v", "mpeg2video",
           "-g", "12", "-bf", "2", es)
    for name, form in (("b_clip.ts", "mpegts"), ("c_clip.vob", "vob"), ("d_not_mpeg.mpg", "mp4")):
        ffmpeg("-fflags", "+genpts", "-r", "25", "-i", es, "-c", "copy", "-f", form,
               os.path.join(folder, name))
    os.symlink(os.path.join(scratch, "nowhere.m2v"), os.path.join(folder, "e_gone.m2v"))
    with open(es, "rb") as f:
        one = f.read()
    with open(os.path.join(folder, "f_long.m2v"), "wb") as f:
        f.write(one * 300)
    with open(os.path.join(folder, "notes.txt"), "w") as f:
        f.write("not a stream\n")
    return folder


def video_files(folder):
    return [os.path.join(folder, n) for n in sorted(os.listdir(folder))
            if n.rsplit(".", 1)[-1] in ("m2v", "ts", "vob", "mpg")]


def check_folder(tool, folder):
    files = video_files(folder)
    for mode in MODES:
        base = [tool, "--demux", *mode]
        one = run(base + ["-j", "1", folder])
        what = " ".join(mode) or "report"
        check(one.returncode == 1, "%s: status %d, not 1" % (what, one.returncode))
        if mode == []:
            check(len(one.stdout) > 4 << 20, "report: %d bytes, not several MB" % len(one.stdout))
        for jobs in ("2", "3"):
            other = run(base + ["-j", jobs, folder])
            check(other.returncode == one.returncode, "%s -j %s: status" % (what, jobs))
            check(other.stdout == one.stdout, "%s -j %s: standard output differs" % (what, jobs))
            check(other.stderr == one.stderr, "%s -j %s: standard error differs" % (what, jobs))
        alone = [run(base + [f]) for f in files]
        if "--json" in mode:
            lines = one.stdout.decode("utf-8").split("\n")
            check(lines[-1] == "", "%s: the last line ends" % what)
            lines = lines[:-1]
            check(len(lines) == len(files), "%s: %d lines for %d files" % (what, len(lines),
                                                                           len(files)))
            for f, line, single in zip(files, lines, alone):
                document = json.loads(line)
                check(document.get("file") == f, "%s: line of %s names %r" % (what, f,
                                                                             document.get("file")))
                check("status" in document, "%s: %s has no status" % (what, f))
                check(document == json.loads(single.stdout), "%s: %s differs alone" % (what, f))
        else:
            expected = b"".join(("==> %s <==\n" % f).encode() + s.stdout
                                for f, s in zip(files, alone))
            check(one.stdout == expected, "%s: not each file's output after its name" % what)
        expected_err = b"".join(s.stderr + (("m2vhdr: '%s' failed\n" % f).encode()
                                            if s.returncode == 1 else b"")
                                for f, s in zip(files, alone))
        check(one.stderr == expected_err, "%s: standard error is not each file's" % what)


def check_pipes(tool, folder):
    for name in ("a_clip.m2v", "b_clip.ts"):
        path = os.path.join(folder, name)
        size = os.path.getsize(path)
        for mode in MODES:
            what = "%s %s" % (name, " ".join(mode) or "report")
            with open(path, "rb") as f:
                data = f.read()
            # The fix line of --check names standard input as it must be
            # typed after the options.
            piped = subprocess.run([tool, "--demux", *mode, "-"], input=data, capture_output=True,
                                   env=dict(os.environ, LC_ALL="en_US.UTF-8"))
            filed = run([tool, "--demux", *mode, path])
            expected = filed.stdout.replace(path.encode(), b"-")
            expected = expected.replace(b'"size": %d' % size, b'"size": null')
            check(piped.returncode == filed.returncode, "%s: status through a pipe" % what)
            typed = piped.stdout.replace(b"-- -", b"-").replace(b'"--", "-"', b'"-"')
            check(typed == expected,
                  "%s: standard output through a pipe" % what)
            check(piped.stderr == filed.stderr.replace(path.encode(), b"-"),
                  "%s: standard error through a pipe" % what)


def tiny_stream(pictures):
    """A stream of `pictures` I pictures of no slices: a long report of few bytes."""
    sequence = bytes([0, 0, 1, 0xB3, 0x01, 0x60, 0x12, 0x13, 0xFF, 0xFF, 0xE0, 0x18])
    extension = bytes([0, 0, 1, 0xB5, 0x14, 0x8A, 0x00, 0x01, 0x00, 0x00])
    gop = bytes([0, 0, 1, 0xB8, 0x00, 0x08, 0x00, 0x00])
    picture = bytes([0, 0, 1, 0x00, 0x00, 0x0F, 0xFF, 0xF8])
    coding = bytes([0, 0, 1, 0xB5, 0x8F, 0xFF, 0xF3, 0x41, 0x80])
    return sequence + extension + gop + (picture + coding) * pictures + bytes([0, 0, 1, 0xB7])


def peak_of(timer, args, env):
    """The peak resident KiB of args, standard output to /dev/null.

    The timer starts it with posix_spawn and reads ru_maxrss from wait4: a
    child forked from this Python would count the interpreter's pages too."""
    done = subprocess.run([timer, *args], capture_output=True, text=True,
                          env=dict(os.environ, **env))
    check(done.returncode == 0, "%s: %s" % (args, done.stderr))
    return int(done.stdout.split()[1]) if done.returncode == 0 else 0


def check_memory(tool, timer, scratch):
    path = os.path.join(scratch, "tiny.m2v")
    with open(path, "wb") as f:
        f.write(tiny_stream(400_000))
    spool = os.path.join(scratch, "spool")
    os.mkdir(spool)
    env = {"TMPDIR": spool, "LC_ALL": "C"}
    printed = len(run([tool, path], env=env).stdout)
    print("the report of one file: %d bytes" % printed)
    check(printed > 100 << 20, "%d bytes, not hundreds of MB" % printed)
    for jobs in (1, 2):
        peak = peak_of(timer, [tool, "-j", str(jobs), path, path], env)
        print("-j %d, the file twice: peak %d KiB" % (jobs, peak))
        check(peak < jobs * 8 * 1024, "-j %d: peak %d KiB, over 8 MiB a job" % (jobs, peak))
    check(os.listdir(spool) == [], "spool files left behind: %s" % os.listdir(spool))


def main():
    tool = sys.argv[1]
    timer = sys.argv[3] if len(sys.argv) > 3 else None
    with tempfile.TemporaryDirectory() as scratch:
        folder = make_folder(scratch)
        check_folder(tool, folder)
        check_pipes(tool, folder)
        if timer:
            check_memory(tool, timer, scratch)
        else:
            print("no timer given: memory not measured")
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("all cases hold")
    return 0


if __name__ == "__main__":
    sys.exit(main())
