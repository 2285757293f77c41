#!/usr/bin/env bash
# Lists a zip of ENTRIES entries with the engine's lister (build/tests/krvprobe list, which
# prints name, sizes, CRC, method and date of each), with Info-ZIP's `unzip -Z1` (the same as
# `zipinfo -1`: names only) and with `bsdtar -tf`, each as a whole process, and prints the best
# wall and CPU (user + system) time of RUNS runs, the peak memory of each (GNU time -v) and the
# lister's ratio to `unzip -Z1`. The zip is made at run time (Python's zipfile: stored entries
# with short names in a few folders).
#
#   bench/list_zip.sh [RUNS] [ENTRIES]   (defaults 5 and 200000; build first with scripts/build.sh)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-5}"
entries="${2:-200000}"
probe="$root/build/tests/krvprobe"
[[ -x "$probe" ]] || { echo "build first: scripts/build.sh" >&2; exit 1; }
for tool in /usr/bin/time unzip bsdtar python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/quillar-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
zip="$work/list.zip"
python3 - "$zip" "$entries" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_STORED) as z:
    for i in range(int(sys.argv[2])):
        z.writestr(f"folder{i % 200:03d}/entry-{i:06d}.txt", f"entry {i}\n")
PY
echo "archive: $(stat -c %s "$zip") bytes, $entries entries; load: $(cut -d' ' -f1-3 /proc/loadavg)"

# Runs the command RUNS times; prints the best elapsed and CPU seconds and the largest peak
# RSS, and keeps the best times in WALL and CPU.
measure() {
    local name="$1"
    shift
    local best="" bestCpu="" rss=0
    for ((i = 0; i < runs; i++)); do
        /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" || {
            echo "$name failed:" >&2
            cat "$work/err.txt" >&2
            exit 1
        }
        local wall kb cpu
        wall="$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.txt")"
        kb="$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")"
        cpu="$(awk -F': ' '/(User|System) time/ {s += $2} END {print s}' "$work/time.txt")"
        # m:ss.cc -> seconds
        wall="$(awk -F: '{ if (NF == 3) print $1 * 3600 + $2 * 60 + $3; else print $1 * 60 + $2 }' <<<"$wall")"
        if [[ -z "$best" ]] || awk "BEGIN { exit !($wall < $best) }"; then best="$wall"; fi
        if [[ -z "$bestCpu" ]] || awk "BEGIN { exit !($cpu < $bestCpu) }"; then bestCpu="$cpu"; fi
        ((kb > rss)) && rss="$kb"
    done
    printf '%-22s %8.3f s wall %8.3f s cpu %8d KiB peak\n' "$name" "$best" "$bestCpu" "$rss"
    WALL="$best"
    CPU="$bestCpu"
}

measure "quillar (krvprobe)" "$probe" list "$zip"
ours_wall="$WALL" ours_cpu="$CPU"
measure "unzip -Z1" unzip -Z1 "$zip"
printf '%-22s %8.2f x wall %6.2f x cpu\n' "quillar / unzip -Z1" \
    "$(awk -v a="$ours_wall" -v b="$WALL" 'BEGIN { print a / b }')" \
    "$(awk -v a="$ours_cpu" -v b="$CPU" 'BEGIN { print a / b }')"
measure "bsdtar -tf" bsdtar -tf "$zip"
