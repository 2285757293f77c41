#!/usr/bin/env bash
# Time from start to a painted list: Quillar started with a zip of 200,000 entries on the
# offscreen platform (it reports and closes once the list is painted), against the engine's
# lister alone (build/tests/krvprobe list) on the same zip. Prints the best wall time of RUNS
# runs of each, their ratio, and the longest the window's event loop waited while the program
# started and listed (it should turn at least every 100 ms).
#
#   bench/mainwin_list_200k.sh [RUNS]        (default 3; build first with scripts/build.sh)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-3}"
probe="$root/build/tests/krvprobe"
quillar="$root/build/app/quillar"
[[ -x "$probe" && -x "$quillar" ]] || { echo "build first: scripts/build.sh" >&2; exit 1; }
command -v python3 >/dev/null || { echo "missing python3" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/quillar-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
zip="$work/200k.zip"
python3 - "$zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_STORED) as z:
    for i in range(200000):
        z.writestr(f"folder{i % 200:03d}/entry-{i:06d}.txt", f"entry {i}\n")
PY
echo "archive: $(stat -c %s "$zip") bytes, 200000 entries"

now() { date +%s.%N; }
best() { printf '%s\n' "$@" | sort -g | head -1; }

lister=()
for ((i = 0; i < runs; i++)); do
    t0="$(now)"
    "$probe" list "$zip" >/dev/null
    lister+=("$(awk -v a="$t0" -v b="$(now)" 'BEGIN { print b - a }')")
done

window=()
waits=()
mkdir -p "$work/home"
for ((i = 0; i < runs; i++)); do
    rm -f "$work/ready"
    t0="$(now)"
    HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
        QT_QPA_PLATFORM=offscreen QUILLAR_PROMPTER=auto QUILLAR_READY_FILE="$work/ready" \
        QUILLAR_QUIT_WHEN_READY=1 "$quillar" "$zip" >/dev/null 2>&1
    window+=("$(awk -v a="$t0" -v b="$(now)" 'BEGIN { print b - a }')")
    grep -q '^rows=200000$' "$work/ready" || { echo "the window did not list 200000 rows" >&2; exit 1; }
    waits+=("$(sed -n 's/^longest_event_wait_ms=//p' "$work/ready")")
done

l="$(best "${lister[@]}")"
w="$(best "${window[@]}")"
printf '%-34s %8.3f s\n' "lister alone (krvprobe list)" "$l"
printf '%-34s %8.3f s   (%.2f x the lister)\n' "quillar start to painted list" "$w" "$(awk -v w="$w" -v l="$l" 'BEGIN { print w / l }')"
printf '%-34s %8s ms (longest of the runs)\n' "longest event-loop wait" "$(printf '%s\n' "${waits[@]}" | sort -g | tail -1)"
