#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quillar with the given arguments.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh
bash scripts/build.sh
if [[ ! -x build/app/quillar ]]; then
    echo "run.sh: the build did not make build/app/quillar" >&2
    exit 1
fi
exec build/app/quillar "$@"
