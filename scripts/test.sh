#!/usr/bin/env bash
# Builds vrxport and runs every test: once on a release build, once more
# under AddressSanitizer and UndefinedBehaviorSanitizer, then the Debian
# package is built, installed, tried and removed again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh g++ cmake make libgtest-dev groff-base mandoc

for preset in release sanitize; do
    echo "== $preset"
    cmake --workflow --preset "$preset"
done
bash scripts/package-test.sh
