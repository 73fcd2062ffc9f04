#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time:
#   scripts/fuzz.sh [seconds per target, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
build=build-fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DZYNVS_FUZZ=ON \
  -DZYNVS_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
targets=$(ninja -C "$build" -t targets all | sed -n 's/^\([A-Za-z0-9_]*fuzzer\): phony$/\1/p' | grep -v '^cmake_' | sort -u)
[ -n "$targets" ] || { echo "fuzz: no targets"; exit 1; }
# shellcheck disable=SC2086
cmake --build "$build" --target $targets
mkdir -p "$build/corpus"
for t in $targets; do
  exe="$build/bin/$t"
  echo "fuzz: $t for ${seconds}s"
  mkdir -p "$build/corpus/$t"
  "$exe" -max_total_time="$seconds" -print_final_stats=1 "$build/corpus/$t" 2>&1 | tail -3
done
