#!/usr/bin/env bash
# Configures and builds into ${BUILD_DIR:-build} (extra CMake flags in CMAKE_ARGS).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
# shellcheck disable=SC2086
cmake -S . -B "$build" -G Ninja ${CMAKE_ARGS:-} > /dev/null
cmake --build "$build" -j "${JOBS:-$(nproc)}"
