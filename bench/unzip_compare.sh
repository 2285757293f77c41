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

# Mixed content of about MB megabytes under DIR: a third incompressible binaries, a third
# large text logs, a third many small text and source-like files in nested folders.
make_input() {
    local dir="$1" mb="$2" third i n
    third=$((mb * 1024 * 1024 / 3))
    mkdir -p "$dir/bin" "$dir/logs" "$dir/src"
    n=$((third / (4 * 1024 * 1024) + 1))
    for ((i = 0; i < n; i++)); do head -c $((4 * 1024 * 1024)) /dev/urandom >"$dir/bin/blob$i.bin"; done
    n=$((third / (8 * 1024 * 1024) + 1))
    for ((i = 0; i < n; i++)); do
        { seq -f "%.0f request served from cache line $i" 1 300000 || true; } | head -c $((8 * 1024 * 1024)) >"$dir/logs/app$i.log"
    done
    local left=$third f=0
    while ((left > 0)); do
        local sub="$dir/src/m$((f / 100))"
        mkdir -p "$sub"
        local len=$(((f * 7919) % 60000 + 2000))
        head -c $((len / 2)) /dev/urandom | base64 >"$sub/file$f.txt"
        left=$((left - len))
        f=$((f + 1))
    done
}

# Best wall time and peak memory of each tool over RUNS rounds; the tools take turns within a
# round, so that none profits from the page cache or the file system's state more than another.
declare -A best_wall best_rss
run_once() { # label command...
    local label="$1"
    shift
    rm -rf "$work/out" && mkdir -p "$work/out"
    # The previous round's files reach the disk first, so their write-back is nobody's cost.
    sync
    /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" || {
        echo "$label failed:" >&2
        cat "$work/err.txt" >&2
        return 1
    }
    local wall rss
    wall="$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, t, ":"); s = 0; for (j = 1; j <= n; j++) s = s * 60 + t[j]; print s}' "$work/time.txt")"
    rss="$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")"
    if [[ -z "${best_wall[$label]:-}" ]] || awk "BEGIN {exit !($wall < ${best_wall[$label]})}"; then best_wall[$label]="$wall"; fi
    if [[ -z "${best_rss[$label]:-}" ]] || ((rss < best_rss[$label])); then best_rss[$label]="$rss"; fi
}

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
    for label in "engine (krvprobe extract)" "unzip -o -qq" "bsdtar -xf"; do
        printf "  %-28s %8.2f s %10d KiB\n" "$label" "${best_wall[$label]}" "${best_rss[$label]}"
    done
done
