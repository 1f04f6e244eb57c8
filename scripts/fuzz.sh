#!/usr/bin/env bash
# Builds the fuzz targets with clang, AddressSanitizer and libFuzzer in build-fuzz/ and runs each for
# a while (FUZZ_SECONDS, default 60). Not part of the test command: it compiles JUCE once more.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [ ! -f build-fuzz/CMakeCache.txt ]; then
    cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        "-DCMAKE_C_FLAGS=-fsanitize=address,fuzzer-no-link" "-DCMAKE_CXX_FLAGS=-fsanitize=address,fuzzer-no-link" \
        -DVIRL_FUZZERS=ON -DVIRL_TESTS=OFF -DVIRL_BENCHMARKS=OFF
fi
cmake --build build-fuzz -j2 --target virl_StateFuzz virl_FileFuzz
for target in StateFuzz FileFuzz; do
    mkdir -p "build-fuzz/corpus-$target"
    "build-fuzz/virl_$target" -max_total_time="${FUZZ_SECONDS:-60}" -rss_limit_mb=4096 "build-fuzz/corpus-$target"
done
