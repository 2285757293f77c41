#!/usr/bin/env bash
# Whole-process comparison of lzh and arj extraction in one run: the engine (through
# build/tests/krvprobe extract) against lhasa (`lhasa xq`) and libarchive (`bsdtar -xf`) on an
# lzh archive of -lh5- and -lh7- entries, and against Debian's `arj x` on an arj archive of
# mixed content made here by arj. Reports wall time and peak memory (/usr/bin/time -v) per
# tool, best of RUNS, for archives of SIZE_MB and of a quarter of that: the engine's peak
# memory should not grow with the archive.
#
#   bench/lzh_arj_compare.sh [SIZE_MB] [RUNS]      (defaults: 100 MB, 3 runs)
#
# No tool here writes lzh: the lzh archive repeats the -lh5- and -lh7- entries of two corpus
# samples under names of the same length (header checksums recomputed). Not run by the tests.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
probe="$root/build/tests/krvprobe"
corpus="${QUILLAR_CORPUS_DIR:-$root/tests/corpus}"
[[ -d "$corpus/lhasa" ]] || corpus="$root/../shared/corpus"
size_mb="${1:-100}"
runs="${2:-3}"
for tool in lhasa bsdtar arj python3 /usr/bin/time "$probe"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/quillar-bench-XXXXXX")"
trap '[[ -n "${KEEP_BENCH:-}" ]] || rm -rf "$work"' EXIT

# An lzh archive of about MB megabytes of unpacked data: a third -lh5- copies of GPL-2
# (level 0), the rest -lh7- copies of long.txt (level 1).
make_lzh() {
    python3 - "$corpus/lhasa/lha_unix114i/h0_lh5.lzh" "$corpus/lhasa/lha_unix114i/lh7_long.lzh" "$1" "$2" <<'PY'
import struct, sys
lh5, lh7, out, mb = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
def first_entry(path):
    d = open(path, 'rb').read()
    h = d[0]
    packed = struct.unpack_from('<I', d, 7)[0]
    return bytearray(d[:h + 2]), d[h + 2:h + 2 + packed], struct.unpack_from('<I', d, 11)[0]
def renamed(header, name):
    n = header[21]
    assert len(name) == n
    header[22:22 + n] = name
    header[1] = sum(header[2:]) & 0xFF
    return bytes(header)
with open(out, 'wb') as f:
    for path, share, stem in ((lh5, 3, b'g'), (lh7, 1.5, b'l')):
        header, data, size = first_entry(path)
        count = int(mb * 1024 * 1024 / share / size) + 1
        width = header[21] - len(stem) - (4 if stem == b'l' else 0)
        for i in range(count):
            name = stem + str(i).zfill(width).encode() + (b'.txt' if stem == b'l' else b'')
            f.write(renamed(bytearray(header), name) + data)
    f.write(b'\0')
PY
}

source "$root/bench/compare_lib.sh"

for mb in "$size_mb" $((size_mb / 4)); do
    make_lzh "$work/bench.lzh" "$mb"
    echo "lzh: $(du -m "$work/bench.lzh" | cut -f1) MB packed, about $mb MB unpacked (-lh5- and -lh7-)"
    best_wall=()
    best_rss=()
    for ((round = 0; round < runs; round++)); do
        run_once "engine (krvprobe extract)" "$probe" extract "$work/bench.lzh" "$work/out"
        run_once "lhasa xq" lhasa xq "$work/bench.lzh"
        run_once "bsdtar -xf" bsdtar -xf "$work/bench.lzh"
    done
    report "engine (krvprobe extract)" "lhasa xq" "bsdtar -xf"

    rm -rf "$work/input" "$work/bench.arj"
    make_input "$work/input" "$mb"
    (cd "$work/input" && arj a -r -y "$work/bench.arj" '*' >/dev/null)
    echo "arj: $(du -m "$work/bench.arj" | cut -f1) MB packed, $(du -sm "$work/input" | cut -f1) MB of files"
    best_wall=()
    best_rss=()
    for ((round = 0; round < runs; round++)); do
        run_once "engine (krvprobe extract)" "$probe" extract "$work/bench.arj" "$work/out"
        run_once "arj x -y" arj x -y "$work/bench.arj"
    done
    report "engine (krvprobe extract)" "arj x -y"
done
