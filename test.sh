#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with ctest. The last line is always
# "N passed, M failed"; a failed set-up or build counts as one failed test.
set -uo pipefail
cd "$(dirname "$0")"
fail() {
    echo "$1"
    echo "0 passed, 1 failed"
    exit 1
}
bash scripts/setup.sh || fail "test.sh: set-up failed"
bash scripts/build.sh || fail "test.sh: build failed"
log="build/ctest.log"
ctest --test-dir build -j "$(nproc)" --output-on-failure --timeout 600 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
summary="$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)"
[[ -n "$summary" ]] || fail "test.sh: ctest gave no summary"
failed="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")"
total="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$summary")"
echo "$((total - failed)) passed, ${failed} failed"
if ((rc != 0 || failed != 0)); then exit 1; fi
