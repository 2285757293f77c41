#!/usr/bin/env bash
# The test of an lha archive of 1,000,000 entries (-lh0-, level-0 headers, written here) by the
# program's command line (quillar -T, offscreen, every question answered at once) against the
# engine's tester alone (build/tests/krvprobe test). Prints the best wall time and the peak
# resident memory of RUNS runs of each, and their ratios. The goal: the program within 1.5x
# the engine's time and under 150 MB.
#
#   bench/lha_test_1m.sh [RUNS] [ENTRIES]        (defaults 3 and 1000000; build first)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-3}"
entries="${2:-1000000}"
probe="$root/build/tests/krvprobe"
quillar="$root/build/app/quillar"
[[ -x "$probe" && -x "$quillar" ]] || { echo "build first: scripts/build.sh" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "missing /usr/bin/time (Debian package time)" >&2; exit 1; }
command -v python3 >/dev/null || { echo "missing python3" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/quillar-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
lzh="$work/1m.lzh"
python3 - "$lzh" "$entries" <<'PY'
import struct, sys

# CRC-16 (polynomial 0xA001, reflected), the checksum of lha's data.
table = []
for i in range(256):
    c = i
    for _ in range(8):
        c = (c >> 1) ^ 0xA001 if c & 1 else c >> 1
    table.append(c)

def crc16(data):
    c = 0
    for b in data:
        c = (c >> 8) ^ table[(c ^ b) & 0xFF]
    return c

dos = (((2024 - 1980) << 9 | 6 << 5 | 1) << 16) | (12 << 11 | 30 << 5)
with open(sys.argv[1], "wb") as out:
    for i in range(int(sys.argv[2])):
        name = f"folder{i % 1000:03d}\\entry-{i:07d}.txt".encode()
        data = f"entry {i}\n".encode()
        body = b"-lh0-" + struct.pack("<IIIBBB", len(data), len(data), dos, 0x20, 0, len(name)) + name
        body += struct.pack("<H", crc16(data))
        out.write(bytes([len(body), sum(body) & 0xFF]) + body + data)
    out.write(b"\0")
PY
echo "archive: $(stat -c %s "$lzh") bytes, $entries entries"

mkdir -p "$work/home"
# Runs the command; prints "SECONDS KILOBYTES" (wall time, peak resident set).
measure() {
    /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>"$work/err" || {
        echo "failed: $*" >&2
        tail -5 "$work/err" >&2
        exit 1
    }
    cat "$work/time"
}
best() { printf '%s\n' "$@" | sort -g | head -1; }

engine_t=() engine_m=() program_t=() program_m=()
for ((i = 0; i < runs; i++)); do
    read -r t m < <(measure "$probe" test "$lzh")
    engine_t+=("$t") engine_m+=("$m")
    read -r t m < <(measure env HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
        XDG_DATA_HOME="$work/home/.local/share" QT_QPA_PLATFORM=offscreen QUILLAR_PROMPTER=auto \
        "$quillar" -T "$lzh")
    program_t+=("$t") program_m+=("$m")
done

et="$(best "${engine_t[@]}")" em="$(best "${engine_m[@]}")"
pt="$(best "${program_t[@]}")" pm="$(best "${program_m[@]}")"
printf '%-32s %8.2f s %8.1f MB\n' "engine alone (krvprobe test)" "$et" "$(awk -v m="$em" 'BEGIN { print m / 1024 }')"
printf '%-32s %8.2f s %8.1f MB   (%.2f x the time; goal <= 1.5 x and < 150 MB)\n' "quillar -T" "$pt" \
    "$(awk -v m="$pm" 'BEGIN { print m / 1024 }')" "$(awk -v p="$pt" -v e="$et" 'BEGIN { print p / e }')"
