#!/usr/bin/env bash
# Starts Quillar on a virtual screen (Xvfb) with the given arguments, waits until its window
# has done its start-up work and painted, and saves a PNG of the screen.
#
#   scripts/screenshot.sh OUT.png [ARGS...]
#
# The program runs with a private home folder (its first run), unless SCREENSHOT_HOME names
# one; message boxes take their default answers at once (QUILLAR_PROMPTER=auto).
# SCREENSHOT_KEYS (xdotool key names, e.g. "alt+a a") are typed into the window once it is
# ready, to show a menu's dialog: its questions and dialogs then wait for the picture.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
[[ $# -ge 1 ]] || { echo "usage: $0 OUT.png [ARGS...]" >&2; exit 2; }
out="$1"
shift
program="$root/build/app/quillar"
[[ -x "$program" ]] || { echo "build first: scripts/build.sh" >&2; exit 1; }
tools=(Xvfb import)
[[ -n "${SCREENSHOT_KEYS:-}" ]] && tools+=(xdotool)
for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/setup.sh" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/quillar-shot-XXXXXX")"
xvfb_pid=""
app_pid=""
cleanup() {
    [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A free display number: Xvfb writes the one it took to the given descriptor.
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1024x700x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 20 -u "$display_fd" number || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$number"

home="${SCREENSHOT_HOME:-$work/home}"
mkdir -p "$home"
# Arguments that name files are taken from the caller's folder.
args=()
for a in "$@"; do
    if [[ -e "$a" ]]; then args+=("$(realpath "$a")"); else args+=("$a"); fi
done
# Runs a command in the private home in place of the shell it is called in.
run() {
    cd "$home" && HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
        QT_QPA_PLATFORM=xcb exec "$@"
}
prompter=auto
if [[ -n "${SCREENSHOT_KEYS:-}" ]]; then
    # The first run's questions are answered by a run of its own; the pictured run then asks
    # nothing at its start, and the dialogs the keys open stay open.
    (run env QUILLAR_PROMPTER=auto QUILLAR_READY_FILE="$work/first" QUILLAR_QUIT_WHEN_READY=1 \
        "$program" >"$work/first.log" 2>&1) || true
    prompter=ask
fi
run env QUILLAR_PROMPTER="$prompter" QUILLAR_READY_FILE="$work/ready" "$program" "${args[@]}" \
    >"$work/app.log" 2>&1 &
app_pid=$!

for ((i = 0; i < 600; i++)); do
    [[ -f "$work/ready" ]] && break
    kill -0 "$app_pid" 2>/dev/null || { echo "quillar ended early:" >&2; cat "$work/app.log" >&2; exit 1; }
    sleep 0.1
done
[[ -f "$work/ready" ]] || { echo "quillar did not get ready" >&2; exit 1; }
if [[ -n "${SCREENSHOT_KEYS:-}" ]]; then
    window="$(xdotool search --sync --onlyvisible --name Quillar | head -1)"
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    for key in $SCREENSHOT_KEYS; do
        xdotool key --clearmodifiers "$key"
        sleep 0.5
    done
    sleep 1.5
fi
# The compositor-less screen shows what was painted at once; one more moment for the last paint.
sleep 0.5
import -window root "$out"
echo "$out"
