#!/usr/bin/env bash
# First command of the README: installs the packages, builds, and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install_deps.sh
scripts/build.sh
if [ -x build/bin/zynvs ]; then
  exec build/bin/zynvs demo
fi
echo "setup: built into build/ (libraries in build/lib, programs in build/bin)"
