#!/usr/bin/env python3
"""The mixed tree of the whole-process comparisons (bench/compare.sh): about 5,000 files of text,
source-like lines, structured binary records and incompressible bytes in nested folders, about
90 MiB together, plus one large binary-like file (a shared library of the system, about 110 MB).
The same seed gives the same tree.

    bench/make_tree.py DIR [SMALL_MIB] [BIG_FILE]
"""
import os
import random
import shutil
import sys

WORDS = ("request served from cache node alpha beta gamma delta error warning info debug value "
         "return static const unsigned int char struct class public private void include define "
         "archive entry header block length offset window match literal distance table").split()


def text(rng, size):
    out, n = [], 0
    while n < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 14)))
        line = f"{rng.randint(0, 99999):05d} {line}\n"
        out.append(line)
        n += len(line)
    return "".join(out).encode()[:size]


def source(rng, size):
    out, n, depth = [], 0, 0
    while n < size:
        kind = rng.random()
        if kind < 0.1:
            line = "    " * depth + f"{rng.choice(WORDS)} {rng.choice(WORDS)}_{rng.randint(0, 999)}() {{\n"
            depth = min(depth + 1, 6)
        elif kind < 0.2 and depth > 0:
            depth -= 1
            line = "    " * depth + "}\n"
        else:
            line = "    " * depth + f"{rng.choice(WORDS)} = {rng.choice(WORDS)}[{rng.randint(0, 4096)}];\n"
        out.append(line)
        n += len(line)
    return "".join(out).encode()[:size]


def records(rng, size):
    # Fixed-size records with a few random fields: compresses about two to one.
    out = bytearray()
    tag = rng.getrandbits(32).to_bytes(4, "little")
    while len(out) < size:
        out += tag + rng.getrandbits(16).to_bytes(2, "little") + bytes(6) + rng.randbytes(4) + b"\x7fELF"
    return bytes(out[:size])


def noise(rng, size):
    return rng.randbytes(size)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    root = sys.argv[1]
    small_mib = int(sys.argv[2]) if len(sys.argv) > 2 else 90
    big = sys.argv[3] if len(sys.argv) > 3 else "/usr/lib/x86_64-linux-gnu/libLLVM-14.so.1"
    rng = random.Random(33)
    makers = ((text, 0.35), (source, 0.25), (records, 0.2), (noise, 0.2))
    budget = small_mib << 20
    count = 0
    while budget > 0:
        # Mostly small files, a few of a megabyte or more.
        size = min(int(rng.lognormvariate(8.9, 1.4)), 4 << 20, budget)
        maker = rng.choices([m for m, _ in makers], [w for _, w in makers])[0]
        folder = os.path.join(root, f"d{count % 23}", f"s{count % 211 // 23}")
        os.makedirs(folder, exist_ok=True)
        ext = {text: "txt", source: "c", records: "dat", noise: "bin"}[maker]
        with open(os.path.join(folder, f"f{count}.{ext}"), "wb") as f:
            f.write(maker(rng, size))
        budget -= size
        count += 1
    if os.path.isfile(big):
        shutil.copyfile(big, os.path.join(root, "big.so"))
        count += 1
    print(f"{count} files", file=sys.stderr)


if __name__ == "__main__":
    main()
