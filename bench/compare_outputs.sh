#!/usr/bin/env bash
# Compares two builds of kappa byte for byte on generated studies.
#
#   bench/compare_outputs.sh [options] REFERENCE [CANDIDATE]
#
# REFERENCE  a kappa binary, or a git ref (commit, branch, tag) of this
#            repository, which is then built with the release preset in a
#            temporary git worktree (removed afterwards).
# CANDIDATE  the kappa binary under test (default: build/release/kappa).
#
# Options:
#   --count N   generated studies (default 400; each binary runs every one)
#   --large L   studies listing all 1,048,576 patterns, in turn (R, K) =
#               (20, 2), (10, 4), (2, 1024) (default 1)
#   --more      --count 3000 --large 3: the thorough run
#   --seed S    seed of the generator (default 11)
#   --show M    differing studies shown with their diff (default 3)
#   --jobs J    studies run at once (default: the number of processors)
#   --keep      keep the studies and outputs (their folder is printed)
#
# bench/make_studies.py writes the studies: valid analyses of many shapes
# (R 2..20, K 2..1024, K^R <= 2^20, sparse and dense pattern lists, tiny and
# huge frequencies, the three cases, confidence levels and kappa values under
# test), files that fail a check or cannot be read, refused answers, sessions
# with a failed load between two good cycles, and input that ends early. Each
# binary runs in its own copy of the study's folder, with the answers piped
# in; their standard output and exit status must be identical.
#
# Prints the counts (studies, identical, differing) and the first differences.
# Exit status: 0 when every study is identical, 1 when any differs, 2 when the
# comparison could not be run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

count=400 large=1 seed=11 show=3 keep=0
jobs=$(nproc 2>/dev/null || echo 2)
usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit "${1:-2}"; }
args=()
while (($#)); do
  case $1 in
    --count) count=$2; shift 2 ;;
    --large) large=$2; shift 2 ;;
    --more) count=3000; large=3; shift ;;
    --seed) seed=$2; shift 2 ;;
    --show) show=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h | --help) usage 0 ;;
    -*) echo "unknown option $1" >&2; usage ;;
    *) args+=("$1"); shift ;;
  esac
done
((${#args[@]} >= 1 && ${#args[@]} <= 2)) || usage
reference=${args[0]}
candidate=${args[1]:-build/release/kappa}

work=$(mktemp -d "${TMPDIR:-/tmp}/kappa-compare.XXXXXX")
worktree=
cleanup() {
  if [[ -n $worktree ]]; then git -C "$root" worktree remove --force "$worktree" >/dev/null 2>&1 || true; fi
  if ((keep)); then echo "studies and outputs kept in $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
start=$SECONDS

if [[ -f $reference && -x $reference ]]; then
  reference=$(realpath "$reference")
elif git -C "$root" rev-parse --verify --quiet "$reference^{commit}" >/dev/null; then
  worktree=$work/reference-source
  echo "building $reference in a temporary worktree ..."
  git -C "$root" worktree add --detach --quiet "$worktree" "$reference"
  if ! (cd "$worktree" && cmake --preset release && cmake --build --preset release) >"$work/build.log" 2>&1; then
    tail -20 "$work/build.log" >&2
    echo "could not build $reference" >&2
    exit 2
  fi
  reference=$worktree/build/release/kappa
else
  echo "$reference is neither an executable nor a git ref" >&2
  exit 2
fi
[[ -x $candidate ]] || { echo "no candidate binary at $candidate" >&2; exit 2; }
candidate=$(realpath "$candidate")

python3 bench/make_studies.py "$work/studies" --count "$count" --large "$large" --seed "$seed" |
  sed 's/^/generated: /'

# run_study STUDY: runs both binaries on the study, each in its own copy of the
# folder, and writes "same" or "differs" into the study's result file.
run_study() {
  local study=$1 side binary out=$work/runs/${1##*/}
  for side in reference candidate; do
    binary=$reference
    [[ $side == candidate ]] && binary=$candidate
    mkdir -p "$out/$side"
    cp -R "$study/." "$out/$side/folder"
    # (the shell's own notice of a crash is silenced; the status tells it)
    { (cd "$out/$side/folder" && timeout 120 "$binary" <answers >"$out/$side/stdout" 2>/dev/null; echo $? >"$out/$side/status"); } 2>/dev/null || true
  done
  if cmp -s "$out/reference/stdout" "$out/candidate/stdout" && cmp -s "$out/reference/status" "$out/candidate/status"; then
    echo same >"$out/result"
    rm -rf "$out/reference/folder" "$out/candidate/folder"
  else
    echo differs >"$out/result"
  fi
}
export -f run_study
export work reference candidate
mkdir -p "$work/runs"
find "$work/studies" -mindepth 1 -maxdepth 1 -type d | sort |
  xargs -P "$jobs" -I{} bash -c 'run_study "$1"' _ {}

studies=0 same=0 differing=()
for result in "$work"/runs/*/result; do
  studies=$((studies + 1))
  if [[ $(<"$result") == same ]]; then same=$((same + 1)); else differing+=("$(dirname "$result")"); fi
done

echo
echo "reference: $reference"
echo "candidate: $candidate"
echo "studies run: $studies    identical: $same    differing: ${#differing[@]}    ($((SECONDS - start)) s)"
shown=0
for run in "${differing[@]}"; do
  ((shown < show)) || break
  shown=$((shown + 1))
  name=${run##*/}
  echo
  echo "== $name: $(<"$work/studies/$name/about")"
  echo "   exit status: reference $(<"$run/reference/status"), candidate $(<"$run/candidate/status")"
  diff -u --text --label reference --label candidate "$run/reference/stdout" "$run/candidate/stdout" | head -40 || true
done
((${#differing[@]} == 0))
