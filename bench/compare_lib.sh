# Shared by the whole-process comparisons in bench/: the input they archive and the timing of
# one tool run. Sourced with $work set to the comparison's scratch folder.

# Mixed content of about MB megabytes under DIR: a third incompressible binaries, a third
# large text logs, a third many small text and source-like files in nested folders.
make_input() {
    local dir="$1" mb="$2" third i n
    third=$((mb * 1024 * 1024 / 3))
    mkdir -p "$dir/bin" "$dir/logs" "$dir/src"
    n=$((third / (4 * 1024 * 1024) + 1))
    for ((i = 0; i < n; i++)); do head -c $((4 * 1024 * 1024)) /dev/urandom >"$dir/bin/blob$i.bin"; done
    n=$((third / (8 * 1024 * 1024) + 1))
    for ((i = 0; i < n; i++)); do
        { seq -f "%.0f request served from cache line $i" 1 300000 || true; } | head -c $((8 * 1024 * 1024)) >"$dir/logs/app$i.log"
    done
    local left=$third f=0
    while ((left > 0)); do
        local sub="$dir/src/m$((f / 100))"
        mkdir -p "$sub"
        local len=$(((f * 7919) % 60000 + 2000))
        head -c $((len / 2)) /dev/urandom | base64 >"$sub/file$f.txt"
        left=$((left - len))
        f=$((f + 1))
    done
}

# Best wall time and peak memory of each tool over RUNS rounds; the tools take turns within a
# round, so that none profits from the page cache or the file system's state more than another.
# Each command runs in $work/out, emptied before.
declare -A best_wall best_rss
run_once() { # label command...
    local label="$1"
    shift
    rm -rf "$work/out" && mkdir -p "$work/out"
    # The previous round's files reach the disk first, so their write-back is nobody's cost.
    sync
    (cd "$work/out" && /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt") || {
        echo "$label failed:" >&2
        cat "$work/err.txt" >&2
        return 1
    }
    local wall rss
    wall="$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, t, ":"); s = 0; for (j = 1; j <= n; j++) s = s * 60 + t[j]; print s}' "$work/time.txt")"
    rss="$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")"
    if [[ -z "${best_wall[$label]:-}" ]] || awk "BEGIN {exit !($wall < ${best_wall[$label]})}"; then best_wall[$label]="$wall"; fi
    if [[ -z "${best_rss[$label]:-}" ]] || ((rss < best_rss[$label])); then best_rss[$label]="$rss"; fi
}

# The best figures of each label, one line each.
report() {
    for label in "$@"; do
        printf "  %-28s %8.2f s %10d KiB\n" "$label" "${best_wall[$label]}" "${best_rss[$label]}"
    done
}
