#!/usr/bin/env bash
# Zip creation and extraction on 1, 2 and all threads against the peer tools, in one run, on
# the mixed tree of compare_lib.sh (in a tmpfs folder when /dev/shm has room) and on a single
# large file: wall time and peak memory, best of RUNS.
#
#   bench/zip_threads_compare.sh [SIZE_MB] [RUNS]      (defaults: 200 MB, 3 runs)
#
# Not run by the tests. Needs zip, unzip, bsdtar, 7zz and a built tree (scripts/build.sh).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
probe="$root/build/tests/krvprobe"
size_mb="${1:-200}"
runs="${2:-3}"
for tool in zip unzip bsdtar 7zz /usr/bin/time "$probe"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
base="${TMPDIR:-/tmp}"
[[ -d /dev/shm ]] && (($(df -m --output=avail /dev/shm | tail -1) > size_mb * 4)) && base=/dev/shm
work="$(mktemp -d "$base/quillar-bench-XXXXXX")"
trap '[[ -n "${KEEP_BENCH:-}" ]] || rm -rf "$work"' EXIT
source "$root/bench/compare_lib.sh"

compare() { # title input-folder
    local title="$1" input="$2" labels=()
    (cd "$input" && zip -q -r -6 "$work/peer.zip" .)
    echo "$title: $(du -sm "$input" | cut -f1) MB of files, $(find "$input" -type f | wc -l) files"
    for ((round = 0; round < runs; round++)); do
        for t in 1 2 0; do
            rm -f "$work/k$t.zip"
            export QUILLAR_THREADS=$t
            run_once "create, threads ${t/#0/all}" "$probe" add "$work/k$t.zip" -r "$input"
            run_once "extract, threads ${t/#0/all}" "$probe" extract "$work/peer.zip" "$work/out"
            unset QUILLAR_THREADS
        done
        rm -f "$work/z.zip" "$work/s.zip"
        run_once "zip -r -6" zip -q -r -6 "$work/z.zip" "$input"
        run_once "7zz a -tzip -mx5" 7zz a -tzip -mx5 -bd -bso0 "$work/s.zip" "$input"
        run_once "unzip" unzip -o -qq "$work/peer.zip" -d "$work/out"
        run_once "bsdtar -xf" bsdtar -xf "$work/peer.zip" -C "$work/out"
        run_once "7zz x" 7zz x -y -bd -bso0 "-o$work/out" "$work/peer.zip"
    done
    for t in 1 2 all; do labels+=("create, threads $t"); done
    labels+=("zip -r -6" "7zz a -tzip -mx5")
    for t in 1 2 all; do labels+=("extract, threads $t"); done
    labels+=("unzip" "bsdtar -xf" "7zz x")
    report "${labels[@]}"
    echo "  sizes: engine $(stat -c %s "$work/k0.zip") bytes (threads 1: $(stat -c %s "$work/k1.zip")), zip -6 $(stat -c %s "$work/z.zip"), 7zz $(stat -c %s "$work/s.zip")"
    cmp -s "$work/k0.zip" "$work/k1.zip" && echo "  the all-threads archive is byte-identical to the one-thread one" || true
    best_wall=() best_rss=()
    rm -f "$work/peer.zip"
}

make_input "$work/tree" "$size_mb"
compare "mixed tree" "$work/tree"
rm -rf "$work/tree"
mkdir -p "$work/one"
head -c $((size_mb / 3 * 1024 * 1024)) /dev/urandom | base64 >"$work/one/single.txt"
compare "one large file" "$work/one"
