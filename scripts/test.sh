#!/usr/bin/env bash
# The README's test command: builds, then runs the whole suite inside a
# private network namespace with its own Xvfb display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
exec scripts/in_netns.sh scripts/run_ctest.sh "${BUILD_DIR:-build}" "$@"
