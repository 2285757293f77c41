#!/usr/bin/env bash
# Creating a zip from a 200 MB mixed tree at the default level: krvprobe (the engine's zip
# writer) against Info-ZIP's `zip -r -6 -q` and libarchive's `bsdtar -a -cf x.zip`.
# Prints wall time, peak memory and output size of each. Not run by the tests.
#
#   bench/zip_create_bench.sh [BUILD_DIR] [SIZE_MB]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
size_mb="${2:-200}"
probe="$build/tests/krvprobe"
[[ -x "$probe" ]] || { echo "build krvprobe first (bash scripts/build.sh)" >&2; exit 1; }
for tool in zip bsdtar python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/krv-zipbench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
tree="$work/tree"

# The input: text of several kinds, random bytes, already compressed data and many small
# files, built afresh with a fixed seed.
python3 - "$tree" "$size_mb" <<'PY'
import gzip, os, random, sys
root, total = sys.argv[1], int(sys.argv[2]) << 20
rng = random.Random(4242)
words = [''.join(rng.choice('etaoinshrdlucmfwypvbgkjqxz') for _ in range(rng.randint(2, 11)))
         for _ in range(5000)]
def text(n):
    out, size = [], 0
    while size < n:
        line = ' '.join(rng.choice(words) for _ in range(rng.randint(4, 16))) + '\n'
        out.append(line); size += len(line)
    return ''.join(out).encode()[:n]
def source(n):
    out, size, i = [], 0, 0
    while size < n:
        line = f'    int value{i} = compute({rng.randint(0, 99999)}, "{rng.choice(words)}");\n'
        out.append(line); size += len(line); i += 1
    return ''.join(out).encode()[:n]
written, k = 0, 0
kinds = [(0.35, 'txt', text), (0.20, 'c', source), (0.25, 'bin', rng.randbytes),
         (0.12, 'gz', lambda n: gzip.compress(text(n * 3), 6)[:n]), (0.08, 'small', None)]
for share, ext, make in kinds:
    budget = int(total * share)
    done = 0
    while done < budget:
        folder = os.path.join(root, ext, f'd{k % 23}')
        os.makedirs(folder, exist_ok=True)
        if make is None:
            n = rng.randint(10, 6000); data = text(n)
        else:
            n = min(budget - done, rng.randint(200_000, 6_000_000)); data = make(n)
        with open(os.path.join(folder, f'f{k}.{ext}'), 'wb') as f:
            f.write(data)
        done += len(data); k += 1
    written += done
print(f'input: {k} files, {written / 1048576:.1f} MiB', file=sys.stderr)
PY

run() { # name, output, command...
    local name="$1" out="$2"; shift 2
    rm -f "$out"
    sync
    /usr/bin/time -o "$work/time" -f '%e %M' "$@" >/dev/null 2>"$work/err" || { echo "$name failed:"; cat "$work/err"; return 1; }
    local t; t="$(tail -1 "$work/time")"
    printf '%-10s %8s s %8s KiB %12s bytes\n' "$name" "${t% *}" "${t#* }" "$(stat -c %s "$out")"
}

cd "$tree"
echo "tool       wall        peak memory      output"
for round in 1 2; do
    run krvprobe "$work/k.zip" "$probe" add "$work/k.zip" -r .
    run zip-6 "$work/z.zip" zip -r -6 -q "$work/z.zip" .
    run bsdtar "$work/b.zip" bsdtar -a -cf "$work/b.zip" .
done
unzip -tqq "$work/k.zip" && echo "krvprobe archive passes unzip -t"
k=$(stat -c %s "$work/k.zip"); z=$(stat -c %s "$work/z.zip")
python3 -c "print(f'size against zip -6: {($k - $z) * 100 / $z:+.2f} %')"
