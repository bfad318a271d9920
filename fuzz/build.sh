#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/targets.txt with clang (libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer) into build/fuzz, and runs
# them:
#
#   fuzz/build.sh            build every target
#   fuzz/build.sh SECONDS    build, then run every target for SECONDS, side by side
#
# FUZZ_CXX names another clang++. A run starts each target NAME on a fresh
# copy of its seeds (fuzz/corpus/NAME/) and on the inputs that once made it
# fail (fuzz/regressions/NAME/, read only): it adds what it finds to the copy
# alone, so the seeds stay as they are. An input that makes a target fail is
# written to build/fuzz/artifacts/, the target's output to build/fuzz/NAME.log,
# and the script exits with status 1.
#
# Longer runs by hand, for half an hour, keeping what the fuzzer finds in
# build/fuzz/corpus/NAME from one run to the next:
#
#   mkdir -p build/fuzz/corpus/data_file
#   build/fuzz/data_file_fuzz -max_len=4096 -max_total_time=1800 -print_final_stats=1 \
#       -artifact_prefix=build/fuzz/artifacts/ build/fuzz/corpus/data_file fuzz/corpus/data_file
#
# Replay one input with `build/fuzz/data_file_fuzz FILE`. Once the fault is
# mended, keep the input in fuzz/regressions/NAME/, so that every run replays it.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S fuzz -B build/fuzz -DCMAKE_CXX_COMPILER="${FUZZ_CXX:-clang++}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/fuzz -j2
[ $# -eq 0 ] && exit 0

seconds=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p build/fuzz/artifacts
pids=() names=()
while read -r name max_len; do
  [[ -z $name || $name == \#* ]] && continue
  cp -r "fuzz/corpus/$name" "$scratch/$name"
  folders=("$scratch/$name")
  [ -d "fuzz/regressions/$name" ] && folders+=("fuzz/regressions/$name")
  # An input that takes more than 30 s (a hang) fails the run too.
  "build/fuzz/${name}_fuzz" -max_len="$max_len" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/artifacts/ "${folders[@]}" >"build/fuzz/$name.log" 2>&1 &
  pids+=($!) names+=("$name")
done <fuzz/targets.txt

failed=0
for i in "${!pids[@]}"; do
  name=${names[$i]} log=build/fuzz/${names[$i]}.log
  if wait "${pids[$i]}"; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "${name}_fuzz: $runs executions ($rate a second), no failure"
  else
    echo "${name}_fuzz FAILED; the end of build/fuzz/$name.log:" >&2
    grep -a -v '^#\|^INFO\|Uses: [0-9]' "$log" | tail -40 >&2
    failed=1
  fi
done
exit "$failed"
