#!/usr/bin/env bash
# Builds and runs the suite under a sanitizer: scripts/sanitize.sh address|thread
set -euo pipefail
cd "$(dirname "$0")/.."
kind="${1:-address}"; shift || true
export BUILD_DIR="build-$kind"
export CMAKE_ARGS="-DZYNVS_SANITIZE=$kind -DZYNVS_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export TSAN_OPTIONS="second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp"
# The program scripts (label "programs") drive whole zynvs runs against the
# emulator with fault timing set for normal speed; under TSan every process
# runs several times slower and those scenarios miss their windows. They run
# under ASan and in the normal suite; the libraries' threads are covered here.
extra=()
[ "$kind" = thread ] && extra=(-LE programs)
exec scripts/test.sh "${extra[@]}" "$@"
