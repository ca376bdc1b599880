"""The mixed-media payload of the peer benchmark, made reproducibly.

make_saver(stage, sample_stage) writes a screen saver of about 30 MB beside
its manifest: the sample's engine, libraries, texts and settings, and a data
folder of text, BMP pictures, files that are compressed already (PNG, gzip,
noise) and program-like binaries. A fixed seed makes the same bytes on every
run and machine (Python's Mersenne Twister gives the same numbers for a seed everywhere).
"""
import gzip
import itertools
import json
import os
import random
import shutil
import struct
import zlib

SEED = 2019
TITLE = "Peer Bench Saver"


def _words(rng, count):
    letters = "etaoinshrdlcumwfgypbvkjxqz"
    weights = [12, 9, 8, 8, 7, 7, 6, 6, 6, 4, 4, 3, 3, 2, 2, 2, 2, 2, 2, 1.5, 1, 0.8, 0.2, 0.2, 0.1, 0.1]
    words = set()
    while len(words) < count:
        n = rng.choice((1, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 6, 6, 7, 8, 9, 10, 12))
        words.add("".join(rng.choices(letters, weights, k=n)))
    return sorted(words)


def _text(rng, words, size, kind):
    """Prose, a table of numbers or marked-up text, `size` bytes."""
    cum = list(itertools.accumulate(1.0 / (i + 1) for i in range(len(words))))
    # About six bytes a word: pick enough at once, then cut them into lines.
    picked = rng.choices(words, cum_weights=cum, k=size // 5 + 64)
    out = []
    total = 0
    at = 0
    while total < size:
        if kind == "csv":
            line = ",".join(str(rng.randrange(10 ** rng.randint(1, 6))) for _ in range(rng.randint(4, 10)))
        else:
            n = rng.randint(6, 14)
            if at + n > len(picked):
                at = 0
            line = " ".join(picked[at:at + n]).capitalize() + "."
            at += n
            if kind == "html":
                tag = rng.choice(("p", "li", "td", "h2", "span class=\"note\""))
                line = "<%s>%s</%s>" % (tag, line, tag.split()[0])
        out.append(line)
        total += len(line) + 2
    return ("\r\n".join(out) + "\r\n").encode("ascii")[:size]


_CLAMP = bytes(min(i, 239) for i in range(256))


def _pixels(rng, width, height, noisy):
    """Bottom-up BGR rows (BMP order, each padded to 4 bytes): a gradient
    with shapes, or a gradient with fine noise like a photograph's."""
    pad = (4 - (width * 3) % 4) % 4
    c0 = [rng.randint(20, 200) for _ in range(3)]
    c1 = [rng.randint(20, 200) for _ in range(3)]
    shapes = [(rng.randrange(width), rng.randrange(height), rng.randint(10, width // 3),
               bytes(rng.randint(0, 230) for _ in range(3))) for _ in range(rng.randint(3, 8))]
    rows = []
    for y in range(height):
        t = y / max(1, height - 1)
        px = bytes(int(c0[i] + (c1[i] - c0[i]) * t) for i in range(3))
        row = bytearray(px * width)
        for (cx, cy, r, colour) in shapes:
            if abs(y - cy) < r:
                x0, x1 = max(0, cx - r), min(width, cx + r)
                row[x0 * 3:x1 * 3] = colour * (x1 - x0)
        if noisy:
            # Noise of 0..15 per byte on values below 240: the sum of the two
            # rows as integers never carries from one byte into the next.
            noise = rng.randbytes(width * 3).translate(bytes(i & 15 for i in range(256)))
            base = int.from_bytes(bytes(row).translate(_CLAMP), "little")
            row = (base + int.from_bytes(noise, "little")).to_bytes(width * 3, "little")
        rows.append(bytes(row) + b"\0" * pad)
    return rows


def _bmp(rows, width, height):
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


def _png(rows, width, height):
    raw = b"".join(b"\0" + r[:width * 3] for r in reversed(rows))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def _binary(rng, words, size):
    """Program-like bytes: a small set of instruction patterns in skewed
    frequencies, 32-bit constants, tables of small numbers, padding and
    string tables."""
    patterns = [rng.randbytes(rng.randint(1, 7)) for _ in range(400)]
    cum = list(itertools.accumulate(1.0 / (i + 1) ** 0.8 for i in range(len(patterns))))
    parts = []
    total = 0
    while total < size:
        kind = rng.random()
        if kind < 0.70:
            part = b"".join(rng.choices(patterns, cum_weights=cum, k=rng.randint(200, 2000)))
        elif kind < 0.80:
            part = b"".join(struct.pack("<I", rng.randint(0, 4096) * rng.choice((1, 4, 16))) for _ in range(rng.randint(50, 400)))
        elif kind < 0.88:
            part = b"".join(struct.pack("<I", 0x401000 + rng.randrange(0, 0x80000, 4)) for _ in range(rng.randint(50, 300)))
        elif kind < 0.95:
            part = b"\0" * rng.randint(16, 1500)
        else:
            part = b"\0".join(w.encode() for w in rng.choices(words, k=rng.randint(20, 200))) + b"\0"
        parts.append(part)
        total += len(part)
    return b"".join(parts)[:size]


def _write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_saver(stage, sample_stage):
    """Writes the ~30 MB saver into `stage` (emptied first); returns the
    manifest path."""
    rng = random.Random(SEED)
    shutil.rmtree(stage, ignore_errors=True)
    media = os.path.join(stage, "media")
    os.makedirs(media)
    for name in ("Sample Aquarium.scr", "aquafx.dll", "aquacap.dll", "captions.txt", "license.txt",
                 "readme.txt", "presentation.bmp", "settings.bin"):
        shutil.copyfile(os.path.join(sample_stage, name), os.path.join(stage, name))
    os.replace(os.path.join(stage, "Sample Aquarium.scr"), os.path.join(stage, "engine.scr"))

    words = _words(rng, 3000)
    # Text: about 7 MB in 24 files.
    for i in range(24):
        kind = ("txt", "txt", "html", "csv")[i % 4]
        _write(os.path.join(media, "text", "notes%02d.%s" % (i, kind)),
               _text(rng, words, rng.randint(100_000, 480_000), kind))
    # Pictures: about 10 MB of 24-bit BMPs, drawn and photograph-like.
    for i in range(9):
        w, h = ((640, 480), (800, 600))[i % 2]
        rows = _pixels(rng, w, h, noisy=i % 2 == 1)
        _write(os.path.join(media, "pictures", "scene%02d.bmp" % i), _bmp(rows, w, h))
    # Compressed already: about 6 MB of PNG photographs, gzip'd text and noise.
    for i in range(4):
        rows = _pixels(rng, 800, 600, noisy=True)
        _write(os.path.join(media, "packed", "photo%02d.png" % i), _png(rows, 800, 600))
    for i in range(4):
        text = _text(rng, words, rng.randint(600_000, 1_200_000), "txt")
        _write(os.path.join(media, "packed", "archive%02d.gz" % i), gzip.compress(text, 9, mtime=0))
    _write(os.path.join(media, "packed", "sound.mp3"), rng.randbytes(800_000))
    # Binaries: about 6 MB.
    for i in range(8):
        _write(os.path.join(media, "bin", "module%02d.bin" % i), _binary(rng, words, rng.randint(400_000, 1_100_000)))

    manifest = {
        "title": TITLE,
        "presentation": {"kind": "bitmap", "file": "presentation.bmp"},
        "license": "license.txt",
        "document": "readme.txt",
        "engine": "engine.scr",
        "supportFile": "captions.txt",
        "supportLibraries": ["aquafx.dll", "aquacap.dll"],
        "data": {"folder": "media", "settings": "settings.bin", "contentKind": 0},
        "displayProperties": True,
    }
    path = os.path.join(stage, "saver.json")
    with open(path, "w") as f:
        json.dump(manifest, f, indent=2)
    return path


def media_size(stage):
    total = 0
    for root, _, files in os.walk(os.path.join(stage, "media")):
        total += sum(os.path.getsize(os.path.join(root, f)) for f in files)
    return total
