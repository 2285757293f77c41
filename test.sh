#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with ctest.
set -uo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh || exit 1
bash scripts/build.sh || exit 1
log="build/ctest.log"
ctest --test-dir build -j "$(nproc)" --output-on-failure --timeout 600 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
summary="$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)"
if [[ -z "$summary" ]]; then
    echo "0 passed, 1 failed"
    exit 1
fi
failed="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")"
total="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$summary")"
echo "$((total - failed)) passed, ${failed} failed"
if ((rc != 0 || failed != 0)); then exit 1; fi
