#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and UBSan into build-fuzz/
# and runs one of them for a bounded time.
#
#   scripts/fuzz.sh SECONDS [TARGET [LIBFUZZER-FLAGS...]]     (TARGET defaults to FuzzKorva)
#
# Flags after the target go to libFuzzer, e.g. -fork=1 -ignore_crashes=1 to collect every
# crash of the run instead of stopping at the first.
#
# The run starts from the target's seeds (fuzz/seeds/TARGET) and the sample corpus; new
# inputs it finds go to build-fuzz/fuzz/TARGET-corpus, crashes to build-fuzz/fuzz/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:?usage: scripts/fuzz.sh SECONDS [TARGET [LIBFUZZER-FLAGS...]]}"
target="${2:-FuzzKorva}"
shift $(($# < 2 ? $# : 2))
build="$root/build-fuzz"
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
jobs="$(nproc)"
((jobs > 4)) && jobs=4

cmake -S "$root" -B "$build" -G Ninja "${launcher[@]}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DQUILLAR_LIBFUZZER=ON -DQUILLAR_WERROR=OFF -DQUILLAR_BENCH=OFF >/dev/null
cmake --build "$build" --target "$target" -j "$jobs"

work="$build/fuzz/$target-corpus"
mkdir -p "$work"
seeds=("$root/fuzz/seeds/$target" "$root/tests/corpus")
cd "$build/fuzz"
# A UBSan report ends the run like an ASan one, with the stack that led to it.
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
exec "./$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$@" "$work" "${seeds[@]}"
