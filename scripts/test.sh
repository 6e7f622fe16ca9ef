#!/usr/bin/env bash
# Builds vrxport and runs every test: once on a release build, torture tests
# included, and once more under AddressSanitizer and UndefinedBehaviorSanitizer
# without them (the same kills and large files, only slower); then runs the
# fuzzers for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh g++ cmake make libgtest-dev

jobs=$(nproc)
for config in "build Release OFF" "build-sanitize Debug ON -LE torture"; do
    read -r dir type sanitize filter <<<"$config"
    echo "== $dir: $type, sanitizers $sanitize"
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" -DVRXPORT_SANITIZE="$sanitize" >/dev/null
    cmake --build "$dir" -j "$jobs"
    # shellcheck disable=SC2086 # the filter is two words or none
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure $filter
done

bash scripts/fuzz.sh
bash scripts/windows.sh # vrxport.exe: cross build, its tests under Wine, and the same bytes as Linux
