#!/usr/bin/env bash
# Lists a zip of 100,000 entries with the engine's lister (build/tests/krvprobe list), with
# Info-ZIP's `unzip -Z1` and with `bsdtar -tf`, each as a whole process, and prints the best
# wall time of RUNS runs and the peak memory of each (GNU time -v). The zip is made at run
# time (Python's zipfile: stored entries with short names in a few folders).
#
#   bench/list_zip_100k.sh [RUNS]        (default 5; build first with scripts/build.sh)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-5}"
probe="$root/build/tests/krvprobe"
[[ -x "$probe" ]] || { echo "build first: scripts/build.sh" >&2; exit 1; }
for tool in /usr/bin/time unzip bsdtar python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/quillar-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
zip="$work/100k.zip"
python3 - "$zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_STORED) as z:
    for i in range(100000):
        z.writestr(f"folder{i % 100:02d}/entry-{i:06d}.txt", f"entry {i}\n")
PY
echo "archive: $(stat -c %s "$zip") bytes, 100000 entries"

# Runs the command RUNS times; prints the best elapsed seconds and the largest peak RSS.
measure() {
    local name="$1"
    shift
    local best="" rss=0
    for ((i = 0; i < runs; i++)); do
        /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" || {
            echo "$name failed:" >&2
            cat "$work/err.txt" >&2
            exit 1
        }
        local wall kb
        wall="$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.txt")"
        kb="$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")"
        # m:ss.cc -> seconds
        wall="$(awk -F: '{ if (NF == 3) print $1 * 3600 + $2 * 60 + $3; else print $1 * 60 + $2 }' <<<"$wall")"
        if [[ -z "$best" ]] || awk "BEGIN { exit !($wall < $best) }"; then best="$wall"; fi
        ((kb > rss)) && rss="$kb"
    done
    printf '%-22s %8.3f s   %8d KiB peak\n' "$name" "$best" "$rss"
}

measure "quillar (krvprobe)" "$probe" list "$zip"
measure "unzip -Z1" unzip -Z1 "$zip"
measure "bsdtar -tf" bsdtar -tf "$zip"
