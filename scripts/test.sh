#!/usr/bin/env bash
# Builds vrxport and runs every test: once on a release build, and once more
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh g++ cmake make libgtest-dev

jobs=$(nproc)
for config in "build Release OFF" "build-sanitize Debug ON"; do
    read -r dir type sanitize <<<"$config"
    echo "== $dir: $type, sanitizers $sanitize"
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" -DVRXPORT_SANITIZE="$sanitize" >/dev/null
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure
done
