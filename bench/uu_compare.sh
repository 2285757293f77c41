#!/usr/bin/env bash
# Whole-process comparison of uu and xx encoding and decoding, in one run: the engine (through
# build/tests/krvprobe add/extract) against sharutils' `uuencode` and `uudecode` on one file of
# random bytes of SIZE_MB megabytes. Reports wall time and peak memory per job, best of RUNS,
# and the engine's time as a share of the peer's (goal: 1.0 or less).
#
#   bench/uu_compare.sh [SIZE_MB] [RUNS]      (defaults: 100 MB, 3 runs)
#
# Not run by the tests. Needs uuencode, uudecode and a built tree (scripts/build.sh).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
probe="$root/build/tests/krvprobe"
size_mb="${1:-100}"
runs="${2:-3}"
for tool in uuencode uudecode /usr/bin/time "$probe"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/quillar-bench-XXXXXX")"
trap '[[ -n "${KEEP_BENCH:-}" ]] || rm -rf "$work"' EXIT
# shellcheck source=compare_lib.sh
source "$root/bench/compare_lib.sh"

head -c $((size_mb * 1024 * 1024)) /dev/urandom >"$work/data.bin"
uuencode "$work/data.bin" data.bin >"$work/data.uue"
"$probe" add "$work/data.xxe" "$work/data.bin" >/dev/null

for ((r = 0; r < runs; r++)); do
    run_once "uuencode" sh -c "uuencode '$work/data.bin' data.bin >peer.uue"
    run_once "engine uu encode" "$probe" add ours.uue "$work/data.bin"
    run_once "engine xx encode" "$probe" add ours.xxe "$work/data.bin"
    run_once "uudecode" uudecode -o data.bin "$work/data.uue"
    run_once "engine uu decode" "$probe" extract "$work/data.uue" .
    run_once "engine xx decode" "$probe" extract "$work/data.xxe" .
done

echo "uu/xx, ${size_mb} MB of random bytes, best of $runs (load: $(cut -d' ' -f1-3 /proc/loadavg))"
report "uuencode" "engine uu encode" "engine xx encode" "uudecode" "engine uu decode" "engine xx decode"
for pair in "engine uu encode:uuencode" "engine xx encode:uuencode" "engine uu decode:uudecode" \
    "engine xx decode:uudecode"; do
    engine="${pair%%:*}" peer="${pair##*:}"
    printf "  %-28s ratio %.2f\n" "$engine / $peer" "$(awk "BEGIN {print ${best_wall[$engine]} / ${best_wall[$peer]}}")"
done
