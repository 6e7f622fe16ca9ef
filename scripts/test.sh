#!/usr/bin/env bash
# Builds vrxport and runs every test: once on a release build, once more
# under AddressSanitizer and UndefinedBehaviorSanitizer, then the Windows
# build under Wine, and last the Debian package is built, installed, tried
# and removed again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh g++ cmake make libgtest-dev groff-base mandoc

for preset in release sanitize; do
    echo "== $preset"
    cmake --workflow --preset "$preset"
done
bash scripts/windows.sh # vrxport.exe: cross build, its tests under Wine, and the same bytes as Linux
bash scripts/package-test.sh
