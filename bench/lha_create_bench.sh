#!/usr/bin/env bash
# Creating lzh archives of a mixed tree (bench/compare_lib.sh's input, 200 MB by default) in
# one run: the engine (build/tests/krvprobe add -m lh5 / -m lh6) against jlha (Debian
# jlha-utils, `jlha a -o5` / `-o6` / `-o7`) at the same method. Reports wall time and peak
# memory, best of RUNS, and the size of each archive and its ratio to jlha's at the method;
# every archive made here passes `lhasa t`. Not run by the tests.
#
# Our -lh6- keeps a 16 KiB window (jlha's -lh6- has 32 KiB, its -lh7- 64 KiB): its size is
# shown against jlha's -lh6- and -lh7-.
#
#   bench/lha_create_bench.sh [SIZE_MB] [RUNS]      (defaults: 200 MB, 2 runs)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
probe="$root/build/tests/krvprobe"
size_mb="${1:-200}"
runs="${2:-2}"
for tool in jlha lhasa /usr/bin/time "$probe"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/quillar-bench-XXXXXX")"
trap '[[ -n "${KEEP_BENCH:-}" ]] || rm -rf "$work"' EXIT
source "$root/bench/compare_lib.sh"

make_input "$work/tree" "$size_mb"
echo "input: $(du -sm "$work/tree" | cut -f1) MB in $(find "$work/tree" -type f | wc -l) files"

# Each archive is made in $work/out (run_once empties it) and kept under $work for its size.
keep() { mv "$work/out/$1" "$work/$1"; }
for ((r = 0; r < runs; r++)); do
    run_once "krvprobe -lh5-" "$probe" add "$work/out/k5.lzh" -m lh5 -r "$work/tree" && keep k5.lzh
    run_once "jlha -lh5-" sh -c "cd '$work/tree' && jlha aq '$work/out/j5.lzh' ." && keep j5.lzh
    run_once "krvprobe -lh6-" "$probe" add "$work/out/k6.lzh" -m lh6 -r "$work/tree" && keep k6.lzh
    run_once "jlha -lh6-" sh -c "cd '$work/tree' && jlha aqo6 '$work/out/j6.lzh' ." && keep j6.lzh
    run_once "jlha -lh7-" sh -c "cd '$work/tree' && jlha aqo7 '$work/out/j7.lzh' ." && keep j7.lzh
done

echo "wall time and peak memory, best of $runs:"
report "krvprobe -lh5-" "jlha -lh5-" "krvprobe -lh6-" "jlha -lh6-" "jlha -lh7-"
size() { stat -c %s "$work/$1"; }
ratio() { awk "BEGIN {printf \"%.4f\", $1 / $2}"; }
time_ratio() { awk "BEGIN {printf \"%.2f\", ${best_wall[$1]} / ${best_wall[$2]}}"; }
echo "sizes:"
for a in k5 j5 k6 j6 j7; do printf "  %-8s %12d bytes\n" "$a.lzh" "$(size $a.lzh)"; done
echo "-lh5-: time $(time_ratio "krvprobe -lh5-" "jlha -lh5-") of jlha's, size $(ratio "$(size k5.lzh)" "$(size j5.lzh)") of jlha's"
echo "-lh6-: time $(time_ratio "krvprobe -lh6-" "jlha -lh6-") of jlha's, size $(ratio "$(size k6.lzh)" "$(size j6.lzh)") of jlha's -lh6-, $(ratio "$(size k6.lzh)" "$(size j7.lzh)") of its -lh7-"
for a in k5 k6 j5; do lhasa t "$work/$a.lzh" >/dev/null || { echo "lhasa t failed on $a.lzh" >&2; exit 1; }; done
echo "our archives pass lhasa t"
