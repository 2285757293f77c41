#!/usr/bin/env bash
# Cabinets, in one run with the peers:
#   LZX create of a mixed tree: krvprobe add -m lzx on one thread and on all (MB/s, size),
#     against gcab -cz (MSZIP; no tool on Linux writes LZX)
#   extraction of the tree's MSZIP cabinet made by gcab: krvprobe extract against gcab -x and
#     cabextract
#   extraction of 65,535 empty files (gcab -c) and of 65,533 folders of one one-byte file each
#     (written here): krvprobe extract against gcab -x and cabextract
# Prints the best wall time and peak memory of each over the rounds. Not run by the tests.
#
#   bench/cab_compare.sh [BUILD_DIR] [SIZE_MB] [ROUNDS]      (SIZE_MB 0: the many-file cabinets only)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
size_mb="${2:-200}"
runs="${3:-3}"
probe="$build/tests/krvprobe"
[[ -x "$probe" ]] || { echo "build krvprobe first (bash scripts/build.sh)" >&2; exit 1; }
for tool in gcab cabextract; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/krv-cab-XXXXXX")"
trap 'rm -rf "$work"' EXIT
# shellcheck source=bench/compare_lib.sh
source "$root/bench/compare_lib.sh"
many_files() {
mkdir -p "$work/empty"
# One gcab run takes every name (a second run would start the cabinet again).
(cd "$work/empty" && seq -f "e%.0f" 1 65535 | xargs touch && gcab -c "$work/empty.cab" $(seq -f "e%.0f" 1 65535))
# Stored folders of one byte each; a CFDATA checksum of one byte B is B ^ 0x00010001.
python3 - "$work/folders.cab" 65533 <<'PY'
import struct, sys
n = int(sys.argv[2])
names = [f"f{i:05d}.txt".encode() + b"\0" for i in range(n)]
files_at = 36 + 8 * n
data_at = files_at + sum(16 + len(name) for name in names)
out = bytearray(b"MSCF" + struct.pack("<IIIIIBBHHHHH", 0, data_at + 9 * n, 0, files_at, 0, 3, 1, n, n, 0, 0x1234, 0))
for i in range(n):
    out += struct.pack("<IHH", data_at + 9 * i, 1, 0)
for i in range(n):
    out += struct.pack("<IIHHHH", 1, 0, i, (44 << 9) | (6 << 5) | 1, (12 << 11) | (30 << 5), 0x20) + names[i]
for i in range(n):
    out += struct.pack("<IHH", 0x00010001 ^ (65 + i % 26), 1, 1) + bytes([65 + i % 26])
open(sys.argv[1], "wb").write(out)
PY
for ((r = 0; r < runs; r++)); do
    for kind in empty folders; do
        run_once "quillar extract, $kind" "$probe" extract "$work/$kind.cab" "$work/out/x"
        run_once "gcab -x, $kind" gcab -x -C "$work/out" "$work/$kind.cab"
        run_once "cabextract, $kind" cabextract -q -d "$work/out" "$work/$kind.cab"
    done
done
echo "extracting 65,535 empty files, 65,533 one-byte folders ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)):"
for kind in empty folders; do
    report "quillar extract, $kind" "gcab -x, $kind" "cabextract, $kind"
done
}
if ((size_mb == 0)); then
    many_files
    exit 0
fi

make_input "$work/tree" "$size_mb"
tree="$work/tree"
(cd "$tree" && find . -type f | sed 's|^\./||' | sort) >"$work/files.txt"
bytes=$(du -sb "$tree" | cut -f1)

for ((r = 0; r < runs; r++)); do
    run_once "quillar lzx, 1 thread" env QUILLAR_THREADS=1 "$probe" add "$work/out/l.cab" -r -m lzx "$tree"
    run_once "quillar lzx, all cores" "$probe" add "$work/out/l.cab" -r -m lzx "$tree"
    run_once "gcab -cz" bash -c "cd '$tree' && xargs -a '$work/files.txt' -d '\n' gcab -cz '$work/out/g.cab'"
done
"$probe" add "$work/l.cab" -r -m lzx "$tree" >/dev/null
(cd "$tree" && xargs -a "$work/files.txt" -d '\n' gcab -cz "$work/g.cab")
echo "cabinets of $size_mb MB ($bytes bytes), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg):"
report "quillar lzx, 1 thread" "quillar lzx, all cores" "gcab -cz"
for label in "quillar lzx, 1 thread" "quillar lzx, all cores"; do
    awk "BEGIN {printf \"  %-28s %8.1f MB/s\n\", \"$label\", $bytes / 1e6 / ${best_wall[$label]}}"
done
cabextract -tq "$work/l.cab" >/dev/null && echo "  the LZX cabinet passes cabextract -t"
echo "  sizes: lzx $(stat -c %s "$work/l.cab"), gcab -cz $(stat -c %s "$work/g.cab")"

for ((r = 0; r < runs; r++)); do
    run_once "quillar extract" "$probe" extract "$work/g.cab" "$work/out/x"
    run_once "gcab -x" gcab -x -C "$work/out" "$work/g.cab"
    run_once "cabextract" cabextract -q -d "$work/out" "$work/g.cab"
done
echo "extracting gcab -cz's cabinet of the tree:"
report "quillar extract" "gcab -x" "cabextract"
for peer in "gcab -x" "cabextract"; do
    awk "BEGIN {printf \"  quillar / %-17s %8.2f\n\", \"$peer\", ${best_wall[quillar extract]} / ${best_wall[$peer]}}"
done

many_files
