#!/usr/bin/env bash
# Times whole runs of kappa against its goals:
#   - each of three studies with 1,048,576 response patterns, (R, K) = (20, 2),
#     (10, 4) and (2, 1024), every pattern listed in the file, case 3: under
#     1 s wall time and under 512 MiB peak resident memory;
#   - each case of the two-rater examples in examples/: under 10 ms.
# The answers are piped in and end at the end prompt, so no run includes the
# final pause. Wall times are the best of RUNS runs (default 3; 20 for the
# examples); peak memory comes from GNU time.
#
#   bench/run.sh            build the bench preset, generate the files, time
#   bench/run.sh --stages   the same, then the Google Benchmark of each stage
#
# Exits 1 when a goal is missed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${RUNS:-3}

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
kappa=$root/build/bench/kappa
make_data=$root/build/bench/bench/kappa_make_data

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

missed=0
now_us() { local t=$EPOCHREALTIME; echo $((10#${t/./})); }
ratio() { awk -v x="$1" -v y="$2" -v digits="$3" 'BEGIN { printf "%." digits "f", x / y }'; }

# run_case DIR ANSWERS RUNS: times RUNS runs of kappa in DIR; sets best_us and
# peak_kb, and checks that every run ended at the end prompt after a report.
run_case() {
  local dir=$1 answers=$2 count=$3 i start elapsed kb
  best_us=
  peak_kb=0
  for ((i = 0; i < count; i++)); do
    cd "$dir"
    start=$(now_us)
    /usr/bin/time -v -o "$work/time.txt" "$kappa" < "$answers" > "$work/output"
    elapsed=$(($(now_us) - start))
    cd "$root"
    if ! tail -c 40 "$work/output" | grep -q '1-Change DATA ENTRY :  $' ||
      ! grep -q 'Test statistic (for the independence test)' "$work/output"; then
      echo "kappa did not reach the end prompt after a report in $dir" >&2
      exit 2
    fi
    kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
    if ((kb > peak_kb)); then peak_kb=$kb; fi
    if [[ -z $best_us ]] || ((elapsed < best_us)); then best_us=$elapsed; fi
  done
}

verdict() {  # verdict VALUE LIMIT: sets `result` to ok or MISSED
  if (($1 < $2)); then result=ok; else result=MISSED; missed=1; fi
}

printf '%-26s %12s %12s %12s  %s\n' study N "wall (ms)" "peak (MiB)" goals
for shape in "20 2" "10 4" "2 1024"; do
  read -r R K <<<"$shape"
  dir=$work/R$R-K$K
  mkdir -p "$dir"
  N=$("$make_data" "$R" "$K" "$dir/Weighted_Kappa_data_linear_quadratic.txt")
  printf '%s\n%s\n%s\n\n\n3\n' "$R" "$K" "$N" > "$dir/answers"
  run_case "$dir" "$dir/answers" "$runs"
  rm -f "$dir/Weighted_Kappa_data_linear_quadratic.txt"
  verdict "$best_us" 1000000
  time_result=$result
  verdict "$peak_kb" $((512 * 1024))
  printf '%-26s %12s %12s %12s  time %s, memory %s\n' "R=$R K=$K case 3" "$N" \
    "$(ratio "$best_us" 1000 1)" "$(ratio "$peak_kb" 1024 1)" "$time_result" "$result"
done

for answers in "2 2 1" "2 3 2" "2 3 3"; do
  read -r R K case <<<"$answers"
  printf '%s\n%s\n100\n\n\n%s\n' "$R" "$K" "$case" > "$work/answers"
  run_case "$root/examples" "$work/answers" $((runs > 20 ? runs : 20))
  verdict "$best_us" 10000
  printf '%-26s %12s %12s %12s  time %s\n' "examples/ case $case" 100 \
    "$(ratio "$best_us" 1000 3)" "$(ratio "$peak_kb" 1024 1)" "$result"
done

if [[ ${1:-} == --stages ]]; then
  "$root/build/bench/bench/kappa_stages_bench"
fi
exit "$missed"
