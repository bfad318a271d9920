#!/usr/bin/env bash
# Builds the three fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) into build/fuzz. Then, from the top folder, for
# half an hour each (they can run side by side):
#
#   build/fuzz/data_file_fuzz -max_len=4096 -max_total_time=1800 -print_final_stats=1 \
#       -artifact_prefix=build/fuzz/artifacts/ build/fuzz/corpus/data_file fuzz/corpus/data_file
#   build/fuzz/dialogue_fuzz -max_len=512 -max_total_time=1800 -print_final_stats=1 \
#       -artifact_prefix=build/fuzz/artifacts/ build/fuzz/corpus/dialogue fuzz/corpus/dialogue
#   build/fuzz/readers_fuzz -max_len=4096 -max_total_time=1800 -print_final_stats=1 \
#       -artifact_prefix=build/fuzz/artifacts/ build/fuzz/corpus/readers fuzz/corpus/readers
#
# The first folder given to a fuzzer receives the inputs it finds; the ones
# after it are only read, so the seeds in fuzz/corpus stay as they are. An
# input that fails is written to build/fuzz/artifacts/; replay it with
# `build/fuzz/data_file_fuzz FILE` (or dialogue_fuzz, readers_fuzz) and add it to
# tests/fuzz_regression_test.cpp.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S fuzz -B build/fuzz -DCMAKE_CXX_COMPILER="${FUZZ_CXX:-clang++}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/fuzz -j2 --target data_file_fuzz dialogue_fuzz readers_fuzz
mkdir -p build/fuzz/corpus/data_file build/fuzz/corpus/dialogue build/fuzz/corpus/readers build/fuzz/artifacts
