#!/usr/bin/env bash
# The whole speed table in one run: each job done by the program (build/app/quillar with a
# command-line switch, offscreen, every question answered by its default), by the engine alone
# (build/tests/krvprobe) and by its peers, on tmpfs, best wall time of RUNS rounds in which the
# tools take turns. Prints per job the times, the best peer, and the ratios program/peer,
# engine/peer and program/engine, with the machine's load before and after.
#
#   bench/compare.sh [RUNS] [JOB...]      (default: 3 rounds, every job)
#
# Jobs: zip-x zip-x1 zip-t zip-c zip-cn tar-x tar-c tgz-x tgz-c tgz-cn cab-x arj-x lzh-x gz-1
#       zip-600 uu list-200k cab-lzx. QUILLAR_BUILD names another build folder; KEEP_BENCH=1 keeps the
# scratch folder. Not run by the tests.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QUILLAR_BUILD:-$root/build}"
probe="$build/tests/krvprobe"
app="$build/app/quillar"
runs="${1:-3}"
shift || true
jobs=("$@")
((${#jobs[@]})) || jobs=(zip-x zip-x1 zip-t zip-c zip-cn tar-x tar-c tgz-x tgz-c tgz-cn cab-x arj-x lzh-x gz-1
    zip-600 uu list-200k cab-lzx)
for tool in "$probe" "$app" zip unzip zipinfo 7zz bsdtar tar pigz gzip gcab cabextract arj lhasa uuencode \
    uudecode taskset python3 /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

work="$(mktemp -d /dev/shm/quillar-compare-XXXXXX)"
trap '[[ -n "${KEEP_BENCH:-}" ]] || rm -rf "$work"' EXIT
# The program gets a home of its own: its settings are seeded on the first run.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/home/run"
export QUILLAR_PROMPTER=auto QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
tree="$work/tree" arc="$work/arc" out="$work/out"
mkdir -p "$arc"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
python3 "$root/bench/make_tree.py" "$tree"
echo "tree: $(du -sm "$tree" | cut -f1) MiB, $(find "$tree" -type f | wc -l) files"
"$app" -T /dev/null >/dev/null 2>&1 || true # first run: settings seeded

# best[label] = best wall seconds; rss[label] = its peak KiB.
declare -A best rss
run_once() { # label command... (run in $out, emptied before)
    local label="$1" wall mem
    shift
    rm -rf "$out" && mkdir -p "$out"
    (cd "$out" && /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt") || {
        echo "  $label failed (exit $?): $(head -c 300 "$work/err.txt")" >&2
        return 0
    }
    read -r wall mem <"$work/time.txt"
    if [[ -z "${best[$label]:-}" ]] || awk "BEGIN {exit !($wall < ${best[$label]})}"; then
        best[$label]="$wall"
        rss[$label]="$mem"
    fi
}

# The name of a peer's command: its tool, past a taskset or a cd.
label() {
    local c="${1#taskset -c 0 }"
    c="${c#cd * && }"
    echo "${c%% *}"
}

# job NAME "PROGRAM CMD" "ENGINE CMD" "PEER1 CMD" ...: RUNS rounds, tools in turn; one line.
job() {
    local name="$1" program="$2" engine="$3" r cmd peer fastest="" fastname=""
    shift 3
    for ((r = 0; r < runs; r++)); do
        [[ -n "$program" ]] && run_once "$name/program" bash -c "$program"
        run_once "$name/engine" bash -c "$engine"
        for cmd in "$@"; do run_once "$name/$(label "$cmd")" bash -c "$cmd"; done
    done
    for cmd in "$@"; do
        peer="$(label "$cmd")"
        [[ -n "${best[$name/$peer]:-}" ]] || continue
        if [[ -z "$fastest" ]] || awk "BEGIN {exit !(${best[$name/$peer]} < $fastest)}"; then
            fastest="${best[$name/$peer]}"
            fastname="$peer"
        fi
    done
    local p="${best[$name/program]:-}" e="${best[$name/engine]:-}"
    printf "%-10s program %7s s  engine %7s s (%6s KiB)  best peer %-10s %7s s" "$name" "${p:--}" "${e:--}" \
        "${rss[$name/engine]:--}" "${fastname:--}" "${fastest:--}"
    if [[ -n "$fastest" && -n "$e" ]]; then
        awk -v p="$p" -v e="$e" -v f="$fastest" 'BEGIN {
            if (f <= 0) f = 0.01; if (e <= 0) e = 0.01
            printf "  engine/peer %.2f", e / f
            if (p != "") printf "  program/peer %.2f  program/engine %.2f", p / f, p / e }'
    fi
    echo
    for cmd in "$@"; do
        peer="$(label "$cmd")"
        printf "           %-12s %7s s (%s KiB)\n" "$peer" "${best[$name/$peer]:--}" "${rss[$name/$peer]:--}"
    done
}

want() { [[ " ${jobs[*]} " == *" $1 "* ]]; }
one() { taskset -c 0 "$@"; }

if want zip-x || want zip-x1 || want zip-t; then (cd "$tree" && zip -q -r -6 "$arc/tree.zip" .); fi
if want tar-x || want gz-1 || want zip-600 || want uu; then tar cf "$arc/tree.tar" -C "$tree" .; fi
if want tgz-x; then tar -I pigz -cf "$arc/tree.tar.gz" -C "$tree" .; fi
if want cab-x; then (cd "$tree" && find . -type f | sed 's|^\./||' | xargs -d '\n' gcab -cz "$arc/tree.cab"); fi
if want arj-x; then (cd "$tree" && arj a -r -y "$arc/tree.arj" >/dev/null); fi
if want lzh-x; then "$probe" add "$arc/tree.lzh" -r "$tree" >/dev/null; fi

Z="$arc/tree.zip"
want zip-x && job zip-x "'$app' -DDEH '$out' '$Z'" "'$probe' extract '$Z' '$out'" \
    "bsdtar -xf '$Z'" "unzip -qq '$Z'" "7zz x -y '$Z'"
want zip-x1 && job zip-x1 "taskset -c 0 '$app' -DDEH '$out' '$Z'" "taskset -c 0 '$probe' extract '$Z' '$out'" \
    "taskset -c 0 bsdtar -xf '$Z'" "taskset -c 0 unzip -qq '$Z'" "taskset -c 0 7zz x -mmt1 -y '$Z'"
want zip-t && job zip-t "'$app' -T '$Z'" "'$probe' test '$Z'" "7zz t '$Z'" "unzip -tqq '$Z'"
# The program is given the files by name from inside the tree (it takes no folder yet); the
# engine takes the tree with -r.
(cd "$tree" && find . -type f | sed 's|^\./||' | sort) >"$work/files.txt"
F="\$(cat '$work/files.txt')"
# The program adds at its default level, the best: the engine does the same work at -m max,
# and at its own default (normal) in zip-cn against the peers' default levels.
want zip-c && job zip-c "cd '$tree' && '$app' -G '$out/q.zip' $F" \
    "'$probe' add '$out/q.zip' -r -m max '$tree'" "zip -q -r -9 '$out/z.zip' '$tree'"
want zip-cn && job zip-cn "" "'$probe' add '$out/q.zip' -r '$tree'" "zip -q -r -6 '$out/z.zip' '$tree'" \
    "7zz a -tzip -mx5 '$out/s.zip' '$tree'"
T="$arc/tree.tar"
want tar-x && job tar-x "'$app' -DDEH '$out' '$T'" "'$probe' extract '$T' '$out'" "tar xf '$T'" "bsdtar xf '$T'"
want tar-c && job tar-c "cd '$tree' && '$app' -G '$out/q.tar' $F" "'$probe' add '$out/q.tar' -r '$tree'" \
    "tar cf '$out/t.tar' -C '$tree' ." "bsdtar cf '$out/b.tar' -C '$tree' ."
G="$arc/tree.tar.gz"
want tgz-x && job tgz-x "'$app' -DDEH '$out' '$G'" "'$probe' extract '$G' '$out'" "bsdtar xzf '$G'" \
    "tar -I pigz -xf '$G'"
want tgz-c && job tgz-c "cd '$tree' && '$app' -G '$out/q.tar.gz' $F" \
    "'$probe' add '$out/q.tar.gz' -r -m max '$tree'" "tar -I 'pigz -9' -cf '$out/t.tar.gz' -C '$tree' ."
want tgz-cn && job tgz-cn "" "'$probe' add '$out/q.tar.gz' -r '$tree'" \
    "tar -I pigz -cf '$out/t.tar.gz' -C '$tree' ." "bsdtar czf '$out/b.tar.gz' -C '$tree' ."
C="$arc/tree.cab"
want cab-x && job cab-x "'$app' -DDEH '$out' '$C'" "'$probe' extract '$C' '$out'" "gcab -x '$C'" \
    "cabextract -q '$C'"
A="$arc/tree.arj"
want arj-x && job arj-x "'$app' -DDEH '$out' '$A'" "'$probe' extract '$A' '$out'" "7zz x -y '$A'" "arj x -y '$A'"
L="$arc/tree.lzh"
want lzh-x && job lzh-x "'$app' -DDEH '$out' '$L'" "'$probe' extract '$L' '$out'" "bsdtar xf '$L'" \
    "lhasa xq '$L'"
want gz-1 && job gz-1 "" \
    "'$probe' add '$out/x.gz' '$T'" "pigz -6 -c '$T' > '$out/p.gz'"
if want zip-600; then
    cat "$T" "$T" "$T" >"$arc/big600.bin"
    B="$arc/big600.bin"
    # The program adds at its default level, the maximum: the engine does the same work.
    job zip-600 "'$app' -G '$out/q.zip' '$B'" "'$probe' add '$out/q.zip' -m max '$B'" "zip -q -6 -j '$out/z.zip' '$B'" \
        "7zz a -tzip -mx5 '$out/s.zip' '$B'"
    rm -f "$B"
fi
if want uu; then
    head -c 20000000 "$T" >"$arc/u.bin"
    job uu-enc "" "'$probe' add '$out/u.uue' '$arc/u.bin'" "uuencode '$arc/u.bin' u.bin > '$out/u.uue'"
    (cd "$arc" && uuencode u.bin u.bin >u.uue)
    job uu-dec "" "'$probe' extract '$arc/u.uue' '$out'" "uudecode -o '$out/u.bin' '$arc/u.uue'"
fi
if want list-200k; then
    python3 -c "
import zipfile, sys
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for i in range(200000): z.writestr(f'd{i % 100}/entry{i}.txt', b'')" "$arc/200k.zip"
    job list-200k "" "'$probe' list '$arc/200k.zip'" "zipinfo -1 '$arc/200k.zip'"
fi
want cab-lzx && job cab-lzx "" "cd '$tree' && '$probe' add '$out/l.cab' -m lzx $F" \
    "cd '$tree' && gcab -cz '$out/g.cab' $F"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
