#!/usr/bin/env bash
# Builds the fuzzers with clang (libFuzzer, AddressSanitizer, UBSan) and runs
# each for a bounded time, FUZZ_SECONDS (45 by default), starting from the
# seed corpus in fuzz/corpus. An input that fails is kept in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh clang-14 libclang-rt-14-dev cmake make
seconds=${FUZZ_SECONDS:-45}

cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVRXPORT_FUZZ=ON -DVRXPORT_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target header_fuzzer body_fuzzer

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for fuzzer in header body; do
    echo "== ${fuzzer}_fuzzer for ${seconds} s"
    mkdir "$work/$fuzzer"
    # New inputs go to the scratch corpus; the seeds in the repository stay as they are.
    "build-fuzz/fuzz/${fuzzer}_fuzzer" -max_total_time="$seconds" -max_len=8192 \
        -print_final_stats=1 -artifact_prefix="build-fuzz/${fuzzer}-" \
        "$work/$fuzzer" "fuzz/corpus/$fuzzer" 2>"$work/$fuzzer.log" ||
        { tail -n 40 "$work/$fuzzer.log"; exit 1; }
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/$fuzzer.log"
done
