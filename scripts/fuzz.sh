#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and UBSan into build-fuzz/
# and runs one of them for a bounded time.
#
#   scripts/fuzz.sh SECONDS [TARGET]     (TARGET defaults to FuzzKorva)
#
# The run starts from the target's seeds (fuzz/seeds/TARGET) and the sample corpus; new
# inputs it finds go to build-fuzz/fuzz/TARGET-corpus, crashes to build-fuzz/fuzz/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:?usage: scripts/fuzz.sh SECONDS [TARGET]}"
target="${2:-FuzzKorva}"
build="$root/build-fuzz"

cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DQUILLAR_LIBFUZZER=ON -DQUILLAR_WERROR=OFF -DQUILLAR_BENCH=OFF >/dev/null
cmake --build "$build" --target "$target" -j "$(nproc)"

work="$build/fuzz/$target-corpus"
mkdir -p "$work"
seeds=("$root/fuzz/seeds/$target" "$root/tests/corpus")
cd "$build/fuzz"
exec "./$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$work" "${seeds[@]}"
