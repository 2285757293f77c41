#!/usr/bin/env bash
# Whole-process comparison of zip extraction: the engine (through build/tests/krvprobe
# extract) against Info-ZIP's `unzip -o -qq` and libarchive's `bsdtar -xf`, on the same
# mixed-content archive built here at run time. Reports wall time and peak memory
# (/usr/bin/time -v) per tool, best of RUNS, for a large archive and for one a quarter of its
# size: the engine's peak memory should not grow with the archive.
#
#   bench/unzip_compare.sh [SIZE_MB] [RUNS]      (defaults: 200 MB, 3 runs)
#
# Not run by the tests. Needs zip, unzip, bsdtar and a built tree (scripts/build.sh).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
probe="$root/build/tests/krvprobe"
size_mb="${1:-200}"
runs="${2:-3}"
for tool in zip unzip bsdtar /usr/bin/time "$probe"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/quillar-bench-XXXXXX")"
trap '[[ -n "${KEEP_BENCH:-}" ]] || rm -rf "$work"' EXIT

source "$root/bench/compare_lib.sh"

for mb in "$size_mb" $((size_mb / 4)); do
    rm -rf "$work/input" "$work/bench.zip"
    make_input "$work/input" "$mb"
    (cd "$work/input" && zip -q -r "$work/bench.zip" .)
    echo "archive: $(du -m "$work/bench.zip" | cut -f1) MB packed, $(du -sm "$work/input" | cut -f1) MB of files, $(find "$work/input" -type f | wc -l) files"
    best_wall=()
    best_rss=()
    for ((round = 0; round < runs; round++)); do
        run_once "engine (krvprobe extract)" "$probe" extract "$work/bench.zip" "$work/out"
        run_once "unzip -o -qq" unzip -o -qq "$work/bench.zip" -d "$work/out"
        run_once "bsdtar -xf" bsdtar -xf "$work/bench.zip" -C "$work/out"
    done
    report "engine (krvprobe extract)" "unzip -o -qq" "bsdtar -xf"
done
