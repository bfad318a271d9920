#!/usr/bin/env bash
# Times whole runs of kappa against its goals. Each goal is a ratio to a
# reference timed in the same run, so that it holds on any machine:
#
#   - the three studies that list all 1,048,576 response patterns, (R, K) =
#     (20, 2), (10, 4) and (2, 1024): case 3 through the dialogue with piped
#     answers, the same through the command line (--weights quadratic,linear
#     --format json), and the six other coefficients through the command line
#     (--coefficients fleiss,conger,gwet,bp,alpha,percent --weights
#     quadratic): at most 1.0 x the time Debian's awk takes to sum the last
#     column of the same file, and at most 64 MiB of peak memory;
#   - the three examples through the dialogue: at most 1.5 x a program that
#     does nothing, built with the same preset and flags;
#   - studies of many raters, without the table of response patterns
#     (SKIP_MANY=1 leaves them out): a long file of 10^7 ratings (2,000,000
#     items, 5 annotators each from a pool of 1,000, K = 5) with -C
#     fleiss,gwet,alpha,percent,bp,conger, rows shuffled at most 2.0 x an awk
#     pass that counts the rows per item, in at most 512 MiB, and sorted by
#     item at most 2.0 x and 64 MiB; a ratings file of 10^6 subjects x 200
#     raters, K = 5, and a counts file of 10^7 subjects x 5 categories, each
#     at most 1.0 x awk's sum of one column, in at most 64 MiB; beside them,
#     statsmodels' fleiss_kappa and nltk's alpha on the shuffled long file
#     (bench/peer_crowd.py), their ratio to kappa;
#   - a ratings file of 10,000,000 subjects x 5 raters, K = 4, with an id
#     column (about 120 MB): read and analysed at 200 MB/s or more, in at most
#     64 MiB; the long file of the same ratings: at 100 MB/s or more. Beside
#     them, the peer: the ratings file read by pandas and aggregated by
#     statsmodels (bench/peer_statsmodels.py), when python3-pandas and
#     python3-statsmodels are installed.
#
# Times are the best wall time of RUNS runs (default 5); peak memory is GNU
# time's maximum resident set size.
#
#   bench/run.sh            build the bench preset, generate the files, time
#   bench/run.sh --stages   the same, then the Google Benchmark of each stage
#   SKIP_RATINGS=1 bench/run.sh   without the 120 MB ratings files
#
# Exits 1 when a goal is missed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${RUNS:-5}

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
kappa=$root/build/bench/kappa
noop=$root/build/bench/bench/kappa_noop
make_data=$root/build/bench/bench/kappa_make_data
make_ratings=$root/build/bench/bench/kappa_make_ratings

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

missed=0
now_us() { local t=$EPOCHREALTIME; echo $((10#${t/./})); }
ratio() { awk -v x="$1" -v y="$2" -v digits="$3" 'BEGIN { printf "%." digits "f", x / y }'; }

# best DIR INPUT COMMAND...: the best wall time (best_us) and the largest peak
# memory (peak_kb) of `runs` runs of COMMAND in DIR with INPUT as standard
# input; its output is left in $work/output.
best() {
  local dir=$1 input=$2 i start elapsed kb
  shift 2
  best_us=
  peak_kb=0
  for ((i = 0; i < runs; i++)); do
    start=$(now_us)
    (cd "$dir" && /usr/bin/time -f %M -o "$work/memory" "$@" < "$input" > "$work/output")
    elapsed=$(($(now_us) - start))
    kb=$(tail -n 1 "$work/memory")
    if ((kb > peak_kb)); then peak_kb=$kb; fi
    if [[ -z $best_us ]] || ((elapsed < best_us)); then best_us=$elapsed; fi
  done
}

check() {  # check WHAT: the last run must have ended with a report
  if ! grep -q "$1" "$work/output"; then
    echo "bench: the run gave no report: $(head -c 300 "$work/output")" >&2
    exit 2
  fi
}

verdict() {  # verdict VALUE LIMIT: sets `result` to ok or MISSED (VALUE at most LIMIT)
  if awk -v x="$1" -v y="$2" 'BEGIN { exit !(x <= y) }'; then result=ok; else result=MISSED; missed=1; fi
}

row() {  # row STUDY KAPPA_US REFERENCE_US LIMIT_RATIO [MEMORY_LIMIT_MIB]
  local r
  r=$(ratio "$2" "$3" 2)
  verdict "$r" "$4"
  local line
  line=$(printf '%-44s %10s %10s %6s %9s  time %s' "$1" "$(ratio "$2" 1000 1)" "$(ratio "$3" 1000 1)" "$r" \
    "$(ratio "$peak_kb" 1024 1)" "$result")
  if [[ -n ${5:-} ]]; then
    verdict "$(ratio "$peak_kb" 1024 1)" "$5"
    line+=", memory $result"
  fi
  echo "$line"
}

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores"
printf '%-44s %10s %10s %6s %9s  %s\n' study "kappa ms" "ref ms" ratio "peak MiB" goals

: > "$work/empty"
for shape in "20 2" "10 4" "2 1024"; do
  read -r R K <<<"$shape"
  dir=$work/R$R-K$K
  mkdir -p "$dir"
  file=Weighted_Kappa_data_linear_quadratic.txt
  N=$("$make_data" "$R" "$K" "$dir/$file")
  printf '%s\n%s\n%s\n\n\n3\n' "$R" "$K" "$N" > "$dir/answers"
  best "$dir" "$work/empty" awk '{s += $NF} END {print s}' "$file"
  awk_us=$best_us

  best "$dir" "$dir/answers" "$kappa"
  check 'Test statistic (for the independence test)'
  row "R=$R K=$K dialogue, case 3" "$best_us" "$awk_us" 1.0 64

  best "$dir" "$work/empty" "$kappa" --weights quadratic,linear --format json "$file"
  check '"estimates"'
  row "R=$R K=$K command line, quadratic,linear" "$best_us" "$awk_us" 1.0 64

  best "$dir" "$work/empty" "$kappa" --coefficients fleiss,conger,gwet,bp,alpha,percent --weights quadratic \
    --format json "$file"
  check '"estimates"'
  row "R=$R K=$K command line, six coefficients" "$best_us" "$awk_us" 1.0 64
  rm -f "$dir/$file"
done

example_runs=$((runs > 20 ? runs : 20))
runs_saved=$runs
runs=$example_runs
best "$root/examples" "$work/empty" "$noop"
noop_us=$best_us
for answers in "2 2 1" "2 3 2" "2 3 3"; do
  read -r R K case <<<"$answers"
  printf '%s\n%s\n100\n\n\n%s\n' "$R" "$K" "$case" > "$work/answers"
  best "$root/examples" "$work/answers" "$kappa"
  check 'Test statistic (for the independence test)'
  row "examples/ case $case, dialogue" "$best_us" "$noop_us" 1.5
done
runs=$runs_saved

if [[ -z ${SKIP_RATINGS:-} ]]; then
  "$make_ratings" ratings 10000000 5 4 "$work/ratings.csv"
  "$make_ratings" long 2000000 5 4 "$work/long.csv"
  for input in ratings long; do
    bytes=$(stat -c %s "$work/$input.csv")
    if [[ $input == ratings ]]; then
      best "$work" "$work/empty" "$kappa" --input ratings --id id --format json ratings.csv
      goal=200
    else
      best "$work" "$work/empty" "$kappa" --input long --format json long.csv
      goal=100
    fi
    check '"estimates"'
    rate=$(awk -v b="$bytes" -v us="$best_us" 'BEGIN { printf "%.0f", b / us }')
    verdict "$goal" "$rate"
    line=$(printf '%-44s %10s %10s %6s %9s  %s MB/s: %s' "$input file, $(ratio "$bytes" 1000000 0) MB" \
      "$(ratio "$best_us" 1000 1)" - - "$(ratio "$peak_kb" 1024 1)" "$rate" "$result")
    if [[ $input == ratings ]]; then
      verdict "$(ratio "$peak_kb" 1024 1)" 64
      line+=", memory $result"
    fi
    echo "$line"
  done
  if /usr/bin/python3 -c 'import pandas, statsmodels' 2>/dev/null; then
    runs_saved=$runs
    runs=1
    best "$work" "$work/empty" /usr/bin/python3 "$root/bench/peer_statsmodels.py" ratings.csv
    runs=$runs_saved
    printf '%-44s %10s %10s %6s %9s  (peer)\n' "pandas + statsmodels, ratings file" "$(ratio "$best_us" 1000 1)" - - \
      "$(ratio "$peak_kb" 1024 1)"
  else
    echo "pandas + statsmodels: not installed (python3-pandas, python3-statsmodels)"
  fi
fi

# Studies of many raters, without the table of response patterns: each
# against an awk pass over the same file.
if [[ -z ${SKIP_MANY:-} ]]; then
  six="fleiss,gwet,alpha,percent,bp,conger"
  "$make_ratings" crowd 2000000 5 1000 5 shuffled "$work/crowd_shuffled.csv"
  "$make_ratings" crowd 2000000 5 1000 5 sorted "$work/crowd_sorted.csv"
  best "$work" "$work/empty" awk -F, '{c[$1]++} END {for (k in c) n++; print n}' crowd_shuffled.csv
  awk_us=$best_us
  for order in shuffled sorted; do
    best "$work" "$work/empty" "$kappa" --input long -C "$six" --format json "crowd_$order.csv"
    check '"estimates"'
    row "long file, 10^7 ratings of 1,000 raters, $order" "$best_us" "$awk_us" 2.0 \
      "$([[ $order == sorted ]] && echo 64 || echo 512)"
  done
  rm -f "$work/crowd_sorted.csv"

  "$make_ratings" ratings 1000000 200 5 "$work/wide.csv"
  best "$work" "$work/empty" awk -F, '{s += $2} END {print s}' wide.csv
  awk_us=$best_us
  best "$work" "$work/empty" "$kappa" --input ratings --id id -C fleiss,gwet,alpha,percent,bp --format json wide.csv
  check '"estimates"'
  row "ratings file, 10^6 subjects x 200 raters" "$best_us" "$awk_us" 1.0 64
  # Conger's kappa keeps which rater gave each rating: its memory is reported, no goal.
  runs_saved=$runs
  runs=1
  best "$work" "$work/empty" "$kappa" --input ratings --id id -C conger --format json wide.csv
  check '"estimates"'
  runs=$runs_saved
  printf '%-44s %10s %10s %6s %9s  (no goal)\n' "the same, Conger's kappa" "$(ratio "$best_us" 1000 1)" \
    "$(ratio "$awk_us" 1000 1)" "$(ratio "$best_us" "$awk_us" 2)" "$(ratio "$peak_kb" 1024 1)"
  rm -f "$work/wide.csv"

  "$make_ratings" counts 10000000 5 5 "$work/counts.csv"
  best "$work" "$work/empty" awk -F, '{s += $1} END {print s}' counts.csv
  awk_us=$best_us
  best "$work" "$work/empty" "$kappa" --input counts -C fleiss,gwet,alpha,percent,bp --format json counts.csv
  check '"estimates"'
  row "counts file, 10^7 subjects x 5 categories" "$best_us" "$awk_us" 1.0 64
  rm -f "$work/counts.csv"

  # The peers, once each, on the shuffled long file.
  best "$work" "$work/empty" "$kappa" --input long -C fleiss,alpha --format json crowd_shuffled.csv
  kappa_us=$best_us
  runs_saved=$runs
  runs=1
  for peer in statsmodels nltk; do
    if /usr/bin/python3 -c "import pandas, statsmodels, nltk" 2>/dev/null; then
      best "$work" "$work/empty" /usr/bin/python3 "$root/bench/peer_crowd.py" "$peer" crowd_shuffled.csv
      printf '%-44s %10s %10s %6s %9s  (peer: kappa -C fleiss,alpha in %s ms)\n' "$peer, long file" \
        "$(ratio "$best_us" 1000 1)" - "$(ratio "$best_us" "$kappa_us" 1)" "$(ratio "$peak_kb" 1024 1)" \
        "$(ratio "$kappa_us" 1000 1)"
    else
      echo "$peer: not installed (python3-pandas, python3-statsmodels, python3-nltk)"
    fi
  done
  runs=$runs_saved
fi

if [[ ${1:-} == --stages ]]; then
  "$root/build/bench/bench/kappa_stages_bench"
fi
exit "$missed"
