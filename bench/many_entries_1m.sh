#!/usr/bin/env bash
# Testing and extracting archives of 1,000,000 tiny entries: a zip made by Info-ZIP zip and a
# tar made by GNU tar from the same tree (1,000 folders of 1,000 files of a few bytes each).
# Each is tested and extracted by the engine alone (build/tests/krvprobe test/extract) and by
# the program's command line (quillar -T and -DDEH, offscreen, every question answered at
# once), beside unzip -t / unzip -q and bsdtar -t / bsdtar -x. Prints the best wall time and
# peak resident memory (/usr/bin/time -v) of RUNS rounds. The goal: every run of ours within
# 64 MB, whatever the number of entries, and the time linear in it.
#
#   bench/many_entries_1m.sh [RUNS] [ENTRIES]        (defaults 1 and 1000000; build first)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-1}"
entries="${2:-1000000}"
probe="$root/build/tests/krvprobe"
quillar="$root/build/app/quillar"
[[ -x "$probe" && -x "$quillar" ]] || { echo "build first: scripts/build.sh" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "missing /usr/bin/time (Debian package time)" >&2; exit 1; }
for tool in zip unzip tar bsdtar python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/quillar-many-XXXXXX")"
trap 'rm -rf "$work"' EXIT
# shellcheck source=bench/compare_lib.sh
source "$root/bench/compare_lib.sh"

python3 - "$work/tree" "$entries" <<'PY'
import os, sys
root, n = sys.argv[1], int(sys.argv[2])
per = 1000
for i in range(n):
    d = os.path.join(root, f"d{i // per:04d}")
    if i % per == 0:
        os.makedirs(d)
    with open(os.path.join(d, f"f{i:07d}.txt"), "w") as f:
        f.write(f"entry {i}\n")
PY
(cd "$work/tree" && zip -q -r -X "$work/many.zip" . && tar cf "$work/many.tar" .)
rm -rf "$work/tree"
echo "zip: $(stat -c %s "$work/many.zip") bytes, tar: $(stat -c %s "$work/many.tar") bytes, $entries files"

mkdir -p "$work/home"
program() {
    env HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
        QT_QPA_PLATFORM=offscreen QUILLAR_PROMPTER=auto "$quillar" "$@"
}
export -f program
export quillar work

for ((r = 0; r < runs; r++)); do
    for kind in zip tar; do
        a="$work/many.$kind"
        run_once "krvprobe test, $kind" "$probe" test "$a"
        run_once "krvprobe extract, $kind" "$probe" extract "$a" "$work/out/x"
        run_once "quillar -T, $kind" bash -c 'program -T "$0"' "$a"
        run_once "quillar -DDEH, $kind" bash -c 'program -DDEH "$work/out/x" "$0"' "$a"
    done
    run_once "unzip -t, zip" unzip -tq "$work/many.zip"
    run_once "unzip -q, zip" unzip -q "$work/many.zip" -d "$work/out/x"
    run_once "bsdtar -t, tar" bsdtar -tf "$work/many.tar"
    run_once "bsdtar -x, tar" bsdtar -xf "$work/many.tar" -C "$work/out"
done
echo "$entries entries ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)):"
for kind in zip tar; do
    report "krvprobe test, $kind" "krvprobe extract, $kind" "quillar -T, $kind" "quillar -DDEH, $kind"
done
report "unzip -t, zip" "unzip -q, zip" "bsdtar -t, tar" "bsdtar -x, tar"
