#!/usr/bin/env bash
# The window answering during long work: the mixed tree of bench/make_tree.py (about 200 MiB)
# added to a new zip, tested and extracted through the shown window's commands, with the wall
# time and the longest event-loop wait of each (goal: about 20 ms). Runs on tmpfs in a private
# home, every question answered by its default, on the offscreen platform and, when xvfb-run is
# there, on an X server as well. Prints the machine's load before and after.
#
#   bench/window_wait.sh [RUNS]      (default: 1 round per platform)
#
# QUILLAR_BUILD names another build folder; KEEP_BENCH=1 keeps the scratch folder. Not run by the
# tests.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QUILLAR_BUILD:-$root/build}"
bench="$build/bench/quillar_window_bench"
runs="${1:-1}"
[[ -x "$bench" ]] || { echo "missing: $bench (scripts/build.sh)" >&2; exit 1; }

work="$(mktemp -d /dev/shm/quillar-window-XXXXXX)"
trap '[[ -n "${KEEP_BENCH:-}" ]] || rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/home/run"
export QUILLAR_PROMPTER=auto
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
python3 "$root/bench/make_tree.py" "$work/tree" 2>/dev/null
echo "tree: $(du -sm "$work/tree" | cut -f1) MiB, $(find "$work/tree" -type f | wc -l) files"

platforms=(offscreen)
command -v xvfb-run >/dev/null && platforms+=(xcb)
for platform in "${platforms[@]}"; do
    for ((r = 0; r < runs; r++)); do
        rm -rf "$work/run" && mkdir -p "$work/run"
        echo "platform $platform, round $((r + 1)):"
        if [[ "$platform" == xcb ]]; then
            QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$bench" "$work/tree" "$work/run" 2>/dev/null
        else
            QT_QPA_PLATFORM=offscreen "$bench" "$work/tree" "$work/run" 2>/dev/null
        fi
    done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
