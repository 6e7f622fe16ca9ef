#!/usr/bin/env bash
# Builds vrxport and runs every test: once on a release build, torture tests
# included, and once more under AddressSanitizer and UndefinedBehaviorSanitizer
# without them (the same kills and large files, only slower); then the fuzzers
# for a bounded time, the Windows build under Wine, and last the Debian
# package is built, installed, tried and removed again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh g++ cmake make libgtest-dev groff-base mandoc clang-format

echo "== every source file follows .clang-format"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

for preset in release sanitize; do
    echo "== $preset"
    cmake --workflow --preset "$preset"
done

bash scripts/fuzz.sh
bash scripts/windows.sh # vrxport.exe: cross build, its tests under Wine, and the same bytes as Linux
bash scripts/package-test.sh
