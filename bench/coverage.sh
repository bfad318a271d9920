#!/usr/bin/env bash
# The coverage study: builds the bench preset and runs bench/coverage.cpp on
# both cores, REPLICATIONS per cell (default 10,000). Standard output gets the
# tables of the README's "What to report"; every cell's numbers go to
# build/bench/coverage-cells.tsv.
#
#   bench/coverage.sh [REPLICATIONS]
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset bench >/dev/null
cmake --build --preset bench --target kappa_coverage >/dev/null
build/bench/bench/kappa_coverage --replications "${1:-10000}" --threads 2 --cells build/bench/coverage-cells.tsv
