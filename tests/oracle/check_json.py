#!/usr/bin/env python3
"""Checks `m2vhdr --json` against the independent oracle m2v_report.py.

    check_json.py M2VHDR FILE...

For each FILE (a sample stream): the document parses (RFC 8259, no repeated
member names), every entry equals the oracle's, entry by entry, offsets,
names and derived values included, and the offsets and names are those of
the committed text report NAME.report; the rewrite's patch list is exactly
the bytes the rewrite changed. Then a program and a transport stream give a
parsing document with status "refused", a missing file one with "error"
(with --stats too),
and a file name of quotes, backslashes, control characters and bytes that
are not UTF-8 comes out escaped as worked out by hand. Exit status 0 when
everything holds.
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
import m2v_report as oracle  # noqa: E402

failures = []


def check(what, expected, actual):
    if expected != actual:
        failures.append("%s: expected %r, got %r" % (what, expected, actual))


def unique_members(pairs):
    names = [name for name, _ in pairs]
    if len(set(names)) != len(names):
        raise ValueError("repeated member names: %r" % names)
    return dict(pairs)


def run(tool, *args):
    """The document, the exit status and standard error of one run."""
    r = subprocess.run([tool, "--json", *args], capture_output=True,
                       env=dict(os.environ, LC_ALL="C"))
    try:
        text = r.stdout.decode("utf-8")
        document = json.loads(text, object_pairs_hook=unique_members)
    except ValueError as problem:
        failures.append("%s: not a JSON document: %s" % (args, problem))
        return None, r.returncode, r.stderr, r.stdout
    return document, r.returncode, r.stderr, r.stdout


def check_report(tool, path):
    with open(path, "rb") as f:
        data = f.read()
    expected = oracle.json_document(oracle.parse_stream(data), path, len(data))
    document, status, err, _ = run(tool, path)
    if document is None:
        return
    check("%s: exit status" % path, 0, status)
    check("%s: standard error" % path, b"", err)
    got = document.get("headers", [])
    check("%s: number of entries" % path, len(expected["headers"]), len(got))
    for want, have in zip(expected["headers"], got):
        check("%s: entry at %d" % (path, want["offset"]), want, have)
    for key in ("file", "size", "warnings", "warnings_omitted", "status"):
        check("%s: %s" % (path, key), expected[key], document.get(key))
    # The text report's blocks, at the same offsets under the same names.
    with open(os.path.splitext(path)[0] + ".report") as f:
        blocks = [(int(m.group(1), 16), m.group(2))
                  for m in re.finditer(r"^([0-9a-f]{8,}): (\w+)$", f.read(), re.M)]
    listed = [(e["offset"], e["name"]) for e in got
              if e["name"] not in ("QUANT_MATRIX_EXTENSION", "PICTURE_DISPLAY_EXTENSION")]
    check("%s: the text report's blocks" % path, blocks, listed)


def check_rewrite(tool, path, scratch):
    copy = os.path.join(scratch, "copy.m2v")
    shutil.copyfile(path, copy)
    with open(copy, "rb") as f:
        before = f.read()
    rate = 12345678  # stored as 12345600
    # A dry run lists the same patches and writes nothing.
    dry, dry_status, _, _ = run(tool, "--dry-run", copy, str(rate))
    with open(copy, "rb") as f:
        check("%s: dry run leaves the file" % path, (0, True), (dry_status, f.read() == before))
    document, status, err, _ = run(tool, copy, str(rate))
    with open(copy, "rb") as f:
        after = bytearray(f.read())
    if document is None:
        return
    check("%s: rewrite exit status" % path, 0, status)
    check("%s: rewrite document" % path,
          ["file", "bit_rate", "patches", "warnings", "warnings_omitted", "status"], list(document))
    check("%s: bit_rate" % path, 12345600, document["bit_rate"])
    check("%s: dry run's patches" % path, document["patches"], dry and dry["patches"])
    check("%s: rewrite status" % path, "complete", document["status"])
    # Undoing every listed patch, from the last, gives back the original.
    for patch in reversed(document["patches"]):
        at, old, new = patch["offset"], bytes.fromhex(patch["old"]), bytes.fromhex(patch["new"])
        check("%s: bytes at %d after the rewrite" % (path, at), new, bytes(after[at:at + len(new)]))
        after[at:at + len(old)] = old
    check("%s: the file with the patches undone" % path, True, bytes(after) == before)
    # One patch per header whose rate bits differ: the value in the sequence
    # header, the extension's high bits; bytes already in place are not written.
    q, changing, header = rate // 400, 0, None
    for h in oracle.parse_stream(before):
        if h["kind"] == "sequence_header":
            header = h
        elif h["kind"] == "sequence_extension":
            changing += (header["bit_rate_value"] != q & 0x3FFFF) + (h["bit_rate_extension"] != q >> 18)
    check("%s: patches (one per header that changes)" % path, changing, len(document["patches"]))


def check_stops(tool, scratch):
    for name, data, status_name in (
            ("program.mpg", b"\x00\x00\x01\xba" + bytes(300), "refused"),
            ("transport.ts", (b"\x47" + bytes(187)) * 4, "refused")):
        path = os.path.join(scratch, name)
        with open(path, "wb") as f:
            f.write(data)
        document, status, _, _ = run(tool, path)
        if document is not None:
            check(name, {"file": path, "size": len(data), "headers": [], "warnings": [],
                         "warnings_omitted": 0, "status": status_name}, document)
            check(name + ": exit status", 1, status)
        # --stats: the same file and status around the figures of no picture.
        document, status, _, _ = run(tool, "--stats", path)
        if document is not None:
            check(name + " --stats", (path, status_name, 1, 0, 0),
                  (document["file"], list(document.values())[-1], status, document["pictures"],
                   document["duration"]))
    missing = os.path.join(scratch, "missing.m2v")
    document, status, _, _ = run(tool, missing)
    if document is not None:
        check("missing file", {"file": missing, "size": None, "headers": [], "warnings": [],
                               "warnings_omitted": 0, "status": "error"}, document)
        check("missing file: exit status", 1, status)
    # --stats without a file to measure, or with a plot that would overwrite
    # it: the name and the status, no figures; standard error as without --json.
    for args, path in ((["--stats"], missing), (["--stats", "--plot", path], path)):
        document, status, err, _ = run(tool, *args, path)
        plain = subprocess.run([tool, *args, path], capture_output=True, env=dict(os.environ, LC_ALL="C"))
        check("%s: document" % args, ({"file": path, "status": "error"}, 1), (document, status))
        check("%s: standard error" % args, plain.stderr, err)


def check_escapes(tool, scratch):
    # quote, backslash, tab, line feed, 0x01, 0x1f, DEL, é (C3 A9), a lone
    # continuation byte, a lone lead byte before ASCII, 0xFF, a surrogate's
    # encoding (ED A0 80: three bytes, each replaced), an overlong NUL (C0 80:
    # C0 never leads, so both bytes are replaced)
    name = b'q"b\\t\tn\n\x01\x1f\x7f\xc3\xa9\x80\xc3z\xff\xed\xa0\x80\xc0\x80.m2v'
    folder = scratch.encode()
    with open(os.path.join(folder, name), "wb") as f:
        f.write(b"\x00\x00\x01\xb7")  # a sequence end code
    _, status, _, raw = run(tool, os.path.join(folder, name))
    expected = (b'"file": "' + folder + b'/q\\"b\\\\t\\u0009n\\u000a\\u0001\\u001f\x7f\xc3\xa9'
                b'\xef\xbf\xbd\xef\xbf\xbdz\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd'
                b'\xef\xbf\xbd\xef\xbf\xbd.m2v",')
    check("escaped file name", True, expected in raw)
    check("escaped file name: exit status", 0, status)


def main(argv):
    tool, files = argv[1], argv[2:]
    scratch = tempfile.mkdtemp(prefix="m2vhdr-json-")
    try:
        for path in files:
            check_report(tool, path)
            check_rewrite(tool, path, scratch)
        check_stops(tool, scratch)
        check_escapes(tool, scratch)
    finally:
        shutil.rmtree(scratch)
    for failure in failures:
        print(failure)
    print("%d sample streams, %d failures" % (len(files), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
