#!/usr/bin/env bash
# Whole-process comparison of gzip decompression and tar.gz extraction, in one run: the engine
# (through build/tests/krvprobe extract, which unpacks a nested tar) against `gzip -dc` and
# `pigz -dc` on a .gz of about SIZE_MB megabytes, and against `tar xzf` and `bsdtar xf` on a
# tar.gz of the same content. Reports the best wall time of RUNS rounds per tool and the
# engine's time as a share of the best peer's (goal: 0.6 or less).
#
#   bench/gzip_compare.sh [SIZE_MB] [RUNS]      (defaults: 200 MB, 3 runs)
#
# Not run by the tests. Needs gzip, pigz, tar, bsdtar and a built tree (scripts/build.sh).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
probe="$root/build/tests/krvprobe"
size_mb="${1:-200}"
runs="${2:-3}"
for tool in gzip pigz tar bsdtar /usr/bin/time "$probe"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/quillar-gzbench-XXXXXX")"
trap '[[ -n "${KEEP_BENCH:-}" ]] || rm -rf "$work"' EXIT

# About MB megabytes under DIR: half text logs in a few large files, a quarter random bytes in
# 1 MB files, a quarter small base64 files in nested folders.
make_tree() {
    local dir="$1" mb="$2" i
    mkdir -p "$dir/logs" "$dir/blobs" "$dir/notes"
    for ((i = 0; i < mb / 2 / 16 + 1; i++)); do
        { seq -f "%.0f GET /item/$i served in 12 ms from node $((i % 7))" 1 500000 || true; } |
            head -c $((16 * 1024 * 1024)) >"$dir/logs/access$i.log"
    done
    for ((i = 0; i < mb / 4; i++)); do head -c $((1024 * 1024)) /dev/urandom >"$dir/blobs/b$i.bin"; done
    for ((i = 0; i < mb * 1024 / 4 / 24; i++)); do
        mkdir -p "$dir/notes/n$((i / 200))"
        head -c 18000 /dev/urandom | base64 >"$dir/notes/n$((i / 200))/note$i.txt"
    done
}

declare -A best
run_once() { # label command...
    local label="$1" wall
    shift
    rm -rf "$work/out" && mkdir -p "$work/out"
    sync
    /usr/bin/time -f "%e" -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" || {
        echo "$label failed:" >&2
        cat "$work/err.txt" >&2
        return 1
    }
    wall="$(tail -n 1 "$work/time.txt")"
    if [[ -z "${best[$label]:-}" ]] || awk "BEGIN {exit !($wall < ${best[$label]})}"; then best[$label]="$wall"; fi
}

# Prints each tool's best time and the engine's share of the best peer's.
report() { # title engine-label peer-label...
    local title="$1" engine="$2" peer fastest=""
    shift 2
    echo "$title"
    printf "  %-32s %8.2f s\n" "$engine" "${best[$engine]}"
    for peer in "$@"; do
        printf "  %-32s %8.2f s\n" "$peer" "${best[$peer]}"
        if [[ -z "$fastest" ]] || awk "BEGIN {exit !(${best[$peer]} < $fastest)}"; then fastest="${best[$peer]}"; fi
    done
    awk "BEGIN {printf \"  engine / best peer: %.2f (goal 0.60)\n\", ${best[$engine]} / $fastest}"
}

make_tree "$work/input" "$size_mb"
(cd "$work/input" && tar -cf "$work/big.tar" .)
gzip -6 -c "$work/big.tar" >"$work/big.tar.gz"
# The same bytes as one file that is no tar, so the engine writes it as it is.
(cd "$work/input" && find . -type f | sort | xargs cat) | gzip -6 -c >"$work/big.gz"
echo "input: $(du -m "$work/big.tar" | cut -f1) MB tar, $(du -m "$work/big.gz" | cut -f1) MB gzip, $(find "$work/input" -type f | wc -l) files"

for ((round = 0; round < runs; round++)); do
    run_once "engine: .gz to a file" "$probe" extract "$work/big.gz" "$work/out"
    run_once "gzip -dc > file" sh -c 'gzip -dc "$0" >"$1/big"' "$work/big.gz" "$work/out"
    run_once "pigz -dc > file" sh -c 'pigz -dc "$0" >"$1/big"' "$work/big.gz" "$work/out"
    run_once "engine: tar.gz to a tree" "$probe" extract "$work/big.tar.gz" "$work/out"
    run_once "tar xzf" tar -xzf "$work/big.tar.gz" -C "$work/out"
    run_once "bsdtar xf" bsdtar -xf "$work/big.tar.gz" -C "$work/out"
done
report "decompressing a .gz (best of $runs):" "engine: .gz to a file" "gzip -dc > file" "pigz -dc > file"
report "extracting a tar.gz (best of $runs):" "engine: tar.gz to a tree" "tar xzf" "bsdtar xf"
