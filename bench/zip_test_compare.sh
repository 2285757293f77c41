#!/usr/bin/env bash
# Whole-process comparison of testing a zip archive: the engine's integrity tester (through
# build/tests/krvprobe test) against Info-ZIP's `unzip -tqq` and 7-Zip's `7zz t`, on the same
# mixed-content archive built here at run time, best of RUNS, wall time and peak memory.
#
#   bench/zip_test_compare.sh [SIZE_MB] [RUNS]      (defaults: 200 MB, 3 runs)
#
# Not run by the tests. Needs zip, unzip, 7zz and a built tree (scripts/build.sh).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
probe="$root/build/tests/krvprobe"
size_mb="${1:-200}"
runs="${2:-3}"
for tool in zip unzip 7zz /usr/bin/time "$probe"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/quillar-bench-XXXXXX")"
trap '[[ -n "${KEEP_BENCH:-}" ]] || rm -rf "$work"' EXIT

source "$root/bench/compare_lib.sh"

make_input "$work/input" "$size_mb"
(cd "$work/input" && zip -q -r "$work/bench.zip" .)
echo "archive: $(du -m "$work/bench.zip" | cut -f1) MB packed, $(du -sm "$work/input" | cut -f1) MB of files, $(find "$work/input" -type f | wc -l) files"
for ((round = 0; round < runs; round++)); do
    run_once "engine (krvprobe test)" "$probe" test "$work/bench.zip"
    run_once "unzip -tqq" unzip -tqq "$work/bench.zip"
    run_once "7zz t" 7zz t "$work/bench.zip"
done
report "engine (krvprobe test)" "unzip -tqq" "7zz t"
