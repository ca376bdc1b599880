#!/usr/bin/env python3
"""Writes a reproducible mixed-media screen saver of about 30 MiB for timing
`sspack build` against a peer packer on the same files.

Usage: bench/make-payload.py OUT_DIR [--mib N] [--seed S]

OUT_DIR receives:
  saver.json         the sspack manifest (stub and impborl.dll are given on
                     sspack's command line)
  peer.nsi           a script for makensis that adds the same files, each
                     compressed on its own with zlib
  files.txt          every payload file, one per line
  engine, support files, a presentation bitmap, and media/ with the data
  file's entries: text, BMP pictures (drawn and photo-like), already
  compressed files and program-like binaries, in about these shares:
  text 24 %, pictures 36 %, compressed 22 %, binaries 18 %.

The same seed and size always give the same bytes (Python's seeded
generator, no system files), so runs on different machines compare alike.
"""
import argparse
import itertools
import os
import random
import struct

SYLLABLES = ("a e i o u ba be bi bo ca ce co da de di do fa fe fi ga ge go ha he hi ho la le li lo "
             "ma me mi mo na ne ni no pa pe pi po ra re ri ro sa se si so ta te ti to va ve vi wa we "
             "in on an en er or ar al el il ol st th ch sh nd ng nt rs ts").split()


def vocabulary(rng, count):
    # Made-up words of one to four syllables, the short ones most common.
    words = set()
    while len(words) < count:
        n = rng.choice((1, 1, 2, 2, 2, 3, 3, 4))
        words.add("".join(rng.choice(SYLLABLES) for _ in range(n)))
    return sorted(words)


class Words:
    def __init__(self, rng, count):
        self.vocab = vocabulary(rng, count)
        self.cum = list(itertools.accumulate(1.0 / (i + 1) for i in range(count)))


def text_bytes(rng, size, words):
    # Words with a Zipf-like choice, sentences and paragraphs: close to prose
    # in how much an LZ coder finds to repeat.
    out = []
    total = 0
    while total < size:
        chosen = rng.choices(words.vocab, cum_weights=words.cum, k=rng.randint(6, 22))
        chosen[0] = chosen[0].capitalize()
        if rng.random() < 0.2:
            chosen.insert(rng.randint(1, len(chosen) - 1), str(rng.randint(1, 99999)))
        line = " ".join(chosen) + (". " if rng.random() < 0.8 else ".\r\n\r\n")
        out.append(line)
        total += len(line)
    return "".join(out).encode("ascii")[:size]


def bmp_bytes(rng, width, height, photo):
    # A 24-bit bitmap: "drawn" pictures are flat shapes on a gradient, which
    # repeat a lot; "photo" ones add noise to every pixel, which does not.
    stride = (width * 3 + 3) & ~3
    rects = [(rng.randrange(width), rng.randrange(height), rng.randrange(20, width // 2),
              rng.randrange(20, height // 2), bytes(rng.randrange(256) for _ in range(3)))
             for _ in range(12)]
    noise = rng.randbytes(width * 3 + 64) if photo else None
    rows = []
    for y in range(height):
        base = bytearray()
        for x in range(0, width):
            base += bytes(((x * 255) // width, (y * 255) // height, ((x + y) * 3) & 255))
        for rx, ry, rw, rh, colour in rects:
            if ry <= y < ry + rh:
                x0, x1 = rx, min(width, rx + rw)
                base[x0 * 3:x1 * 3] = colour * (x1 - x0)
        if photo:
            shift = rng.randrange(64)
            amount = rng.randrange(3, 24)
            base = bytearray((b + (noise[shift + i] % amount)) & 255 for i, b in enumerate(base))
        rows.append(bytes(base) + bytes(stride - width * 3))
    pixels = b"".join(reversed(rows))
    header = b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


def compressed_bytes(rng, size):
    # Already-compressed files (JPEG, ZIP): a small header, then bytes with
    # nothing left to find.
    return b"PK\x03\x04" + bytes(26) + rng.randbytes(size - 30)


def binary_bytes(rng, size, words):
    # A program-like file: a header, code made of a few hundred instruction
    # patterns with addresses from a small set, a string table and zero fill.
    ops = [rng.randbytes(rng.randint(1, 4)) for _ in range(300)]
    addrs = [struct.pack("<I", 0x401000 + rng.randrange(0x40000) * 4) for _ in range(400)]
    out = bytearray(b"MZ" + bytes(62) + b"PE\x00\x00" + bytes(0x400 - 68))
    code_end = size * 7 // 10
    while len(out) < code_end:
        out += rng.choice(ops)
        if rng.random() < 0.3:
            out += rng.choice(addrs)
        elif rng.random() < 0.1:
            out += struct.pack("<I", rng.randrange(1 << 32))
    while len(out) < size * 9 // 10:
        out += text_bytes(rng, rng.randint(4, 40), words).replace(b" ", b"_") + b"\x00"
    out += bytes(size - len(out))
    return bytes(out[:size])


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("out")
    ap.add_argument("--mib", type=float, default=30.0)
    ap.add_argument("--seed", type=int, default=19)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    total = int(args.mib * 1024 * 1024)
    out = args.out
    os.makedirs(os.path.join(out, "media"), exist_ok=True)
    files = []
    prose = Words(rng, 4000)
    names = Words(rng, 300)

    def put(rel, data):
        path = os.path.join(out, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        files.append(rel)

    put("presentation.bmp", bmp_bytes(rng, 320, 240, False))
    put("license.txt", text_bytes(rng, 6000, prose))
    put("Bench Saver.scr", binary_bytes(rng, 180 * 1024, names))
    put("support.dat", text_bytes(rng, 20000, prose))
    put("lib1.dll", binary_bytes(rng, 96 * 1024, names))
    put("lib2.dll", binary_bytes(rng, 64 * 1024, names))

    shares = [("text", 0.24), ("pictures", 0.36), ("compressed", 0.22), ("binaries", 0.18)]
    for kind, share in shares:
        left = int(total * share)
        n = 0
        while left > 16 * 1024:
            n += 1
            if kind == "text":
                size = min(left, rng.randint(8 * 1024, 700 * 1024))
                put(f"media/text/doc{n:03}.txt", text_bytes(rng, size, prose))
            elif kind == "pictures":
                sizes = [(640, 480), (800, 600), (320, 240), (1024, 768)]
                fits = [s for s in sizes if s[0] * s[1] * 3 <= left] or [(320, 240)]
                w, h = rng.choice(fits)
                data = bmp_bytes(rng, w, h, rng.random() < 0.5)
                put(f"media/pictures/pic{n:03}.bmp", data)
                size = len(data)
            elif kind == "compressed":
                size = min(left, rng.randint(20 * 1024, 1500 * 1024))
                put(f"media/packed/clip{n:03}.dat", compressed_bytes(rng, size))
            else:
                size = min(left, rng.randint(30 * 1024, 1200 * 1024))
                put(f"media/bin/mod{n:03}.dll", binary_bytes(rng, size, names))
            left -= size

    with open(os.path.join(out, "saver.json"), "w") as f:
        f.write('{\n  "title": "Bench Saver",\n'
                '  "presentation": {"kind": "bitmap", "file": "presentation.bmp"},\n'
                '  "license": "license.txt",\n  "engine": "Bench Saver.scr",\n'
                '  "supportFile": "support.dat",\n  "supportLibraries": ["lib1.dll", "lib2.dll"],\n'
                '  "data": {"folder": "media"}\n}\n')
    with open(os.path.join(out, "peer.nsi"), "w") as f:
        f.write('Unicode false\nSetCompressor zlib\nName "Bench Saver"\nOutFile "peer.exe"\n'
                'RequestExecutionLevel admin\nInstallDir "$TEMP\\bench"\nSection\n')
        for rel in files:
            f.write(f'  SetOutPath "$INSTDIR\\{os.path.dirname(rel)}"\n' if "/" in rel else
                    '  SetOutPath "$INSTDIR"\n')
            f.write(f'  File "{rel.replace("/", chr(92))}"\n')
        f.write("SectionEnd\n")
    with open(os.path.join(out, "files.txt"), "w") as f:
        f.write("\n".join(files) + "\n")
    size = sum(os.path.getsize(os.path.join(out, r)) for r in files)
    print(f"{out}: {len(files)} files, {size} bytes")


if __name__ == "__main__":
    main()
