"""Cross-checks the SWF inspection against Debian's yaswfp parser.

Writes movies of many shapes (versions, rectangle widths, tags with short and
long headers ahead of the colour tag), reads each with the inspection's dump
tool and with yaswfp, and compares version, frame size and background colour.
Usage: yaswfp_check.py DUMP_TOOL SCRATCH_DIR
"""
import os
import random
import struct
import subprocess
import sys

from yaswfp import swfparser


def rect(nbits, values):
    bits = format(nbits, "05b") + "".join(format(v, "0%db" % nbits) if nbits else "" for v in values)
    bits += "0" * (-len(bits) % 8)
    return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))


def tag(code, body, force_long=False):
    if len(body) < 63 and not force_long:
        return struct.pack("<H", (code << 6) | len(body)) + body
    return struct.pack("<HI", (code << 6) | 63, len(body)) + body


def movie(rng, version):
    nbits = rng.choice([1, 5, 12, 15, 16, 20, 24, 31])
    top = (1 << nbits) - 1
    values = [rng.randint(0, top) for _ in range(4)]
    body = rect(nbits, values) + struct.pack("<HH", 12 << 8, 1)
    for _ in range(rng.randint(0, 4)):
        # Codes unknown to both readers: their bodies are skipped whole.
        payload = bytes(rng.randrange(256) for _ in range(rng.choice([0, 3, 62, 63, 200, 4000])))
        body += tag(rng.choice([700, 777, 1000]), payload, rng.random() < 0.3)
    colour = [rng.randrange(256) for _ in range(3)]
    body += tag(9, bytes(colour))
    body += tag(0, b"")
    data = b"FWS" + bytes([version]) + struct.pack("<I", 8 + len(body)) + body
    return data, values, colour


def main():
    dump, scratch = sys.argv[1], sys.argv[2]
    os.makedirs(scratch, exist_ok=True)
    rng = random.Random(20261208)
    expected = {}
    for i in range(60):
        version = [2, 3, 8, 9][i % 4] if i < 8 else rng.randint(3, 8)
        data, values, colour = movie(rng, version)
        path = os.path.join(scratch, "m%02d.swf" % i)
        with open(path, "wb") as f:
            f.write(data)
        parsed = swfparser.parsefile(path)
        h = parsed.header
        assert list(h.FrameSize) == values, (path, h.FrameSize, values)
        colours = [t.BackgroundColor for t in parsed.tags if getattr(t, "name", "") == "SetBackgroundColor"]
        assert colours == [colour], (path, colours)
        expected[path] = (h.Version, h.FrameSize[1] // 20, h.FrameSize[3] // 20, colours[0])

    out = subprocess.run([dump] + sorted(expected), check=True, capture_output=True, text=True).stdout
    failures = 0
    lines = out.splitlines()
    assert len(lines) == len(expected), out
    for line in lines:
        path, rc, version, width, height, r, g, b, _, _ = line.split()
        want_version, want_w, want_h, want_colour = expected[path]
        rc = int(rc)
        if int(version) != want_version:
            failures += 1
            print("version differs:", line, want_version)
        if want_version < 3 or want_version > 8:
            if rc not in (-405, -406):
                failures += 1
                print("refused version not reported:", line)
            continue
        if rc != 0 or (int(width), int(height)) != (want_w, want_h) or [int(r), int(g), int(b)] != want_colour:
            failures += 1
            print("differs:", line, "yaswfp:", want_w, want_h, want_colour)
    print("%d movies checked, %d differences" % (len(lines), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
