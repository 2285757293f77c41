#!/usr/bin/env bash
# Creating a tar.gz and cabinets of a mixed tree of about 200 MB, in one run:
#   tar.gz:  krvprobe add x.tar.gz   against  tar czf  and  bsdtar czf  (size against gzip -6)
#   cabinet: krvprobe add x.cab -m mszip / -m lzx  against  gcab -cz (MSZIP)
# Prints the best wall time and peak memory of each over the rounds, and the output sizes.
# Not run by the tests.
#
#   bench/targz_cab_bench.sh [BUILD_DIR] [SIZE_MB] [ROUNDS]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
size_mb="${2:-200}"
runs="${3:-2}"
probe="$build/tests/krvprobe"
[[ -x "$probe" ]] || { echo "build krvprobe first (bash scripts/build.sh)" >&2; exit 1; }
for tool in tar bsdtar gzip gcab cabextract; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/krv-targzcab-XXXXXX")"
trap 'rm -rf "$work"' EXIT
# shellcheck source=bench/compare_lib.sh
source "$root/bench/compare_lib.sh"
make_input "$work/tree" "$size_mb"
tree="$work/tree"
(cd "$tree" && find . -type f | sed 's|^\./||' | sort) >"$work/files.txt"

for ((r = 0; r < runs; r++)); do
    run_once "quillar tar.gz" "$probe" add "$work/out/q.tar.gz" -r "$tree"
    run_once "tar czf" tar czf "$work/out/t.tar.gz" -C "$tree" .
    run_once "bsdtar czf" bsdtar czf "$work/out/b.tar.gz" -C "$tree" .
done
"$probe" add "$work/q.tar.gz" -r "$tree" >/dev/null
tar czf "$work/t.tar.gz" -C "$tree" .
bsdtar czf "$work/b.tar.gz" -C "$tree" .
tar cf - -C "$tree" . | gzip -6 >"$work/g6.tar.gz"
echo "tar.gz of $size_mb MB:"
report "quillar tar.gz" "tar czf" "bsdtar czf"
gzip -t "$work/q.tar.gz" && echo "  quillar tar.gz passes gzip -t"
q=$(stat -c %s "$work/q.tar.gz") g=$(stat -c %s "$work/g6.tar.gz")
echo "  sizes: quillar $q, tar czf $(stat -c %s "$work/t.tar.gz"), bsdtar $(stat -c %s "$work/b.tar.gz"), gzip -6 $g"
awk "BEGIN {printf \"  quillar size / gzip -6 size: %.4f\n\", $q / $g}"

for ((r = 0; r < runs; r++)); do
    run_once "quillar cab mszip" "$probe" add "$work/out/q.cab" -r -m mszip "$tree"
    run_once "quillar cab lzx" "$probe" add "$work/out/l.cab" -r -m lzx "$tree"
    run_once "gcab -cz" bash -c "cd '$tree' && xargs -a '$work/files.txt' -d '\n' gcab -cz '$work/out/g.cab'"
done
"$probe" add "$work/q.cab" -r -m mszip "$tree" >/dev/null
"$probe" add "$work/l.cab" -r -m lzx "$tree" >/dev/null
(cd "$tree" && xargs -a "$work/files.txt" -d '\n' gcab -cz "$work/g.cab")
echo "cabinets of $size_mb MB:"
report "quillar cab mszip" "quillar cab lzx" "gcab -cz"
cabextract -tq "$work/q.cab" >/dev/null && cabextract -tq "$work/l.cab" >/dev/null && echo "  quillar cabinets pass cabextract -t"
echo "  sizes: mszip $(stat -c %s "$work/q.cab"), lzx $(stat -c %s "$work/l.cab"), gcab -cz $(stat -c %s "$work/g.cab")"
