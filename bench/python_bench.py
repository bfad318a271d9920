#!/usr/bin/env python3
"""The Python package's speed: Fleiss' kappa of a DataFrame of N subjects x 5
raters with kappa.analyse, against the command line on the same data as a CSV
file, and against statsmodels (aggregate_raters and fleiss_kappa) on the same
frame. Prints the best of a few runs of each and their ratios.

    python bench/python_bench.py [--kappa build/release/kappa] [--subjects 1000000]

Run it with the Python that has the package installed (see the README's
"Library and Python"); statsmodels is Debian's python3-statsmodels.
"""
import argparse
import pathlib
import subprocess
import sys
import tempfile
import time

import numpy
import pandas
from statsmodels.stats.inter_rater import aggregate_raters, fleiss_kappa

import kappa


def best(run, repeats):
    """The least wall time of `repeats` calls of run(), and its last result."""
    times, result = [], None
    for _ in range(repeats):
        start = time.perf_counter()
        result = run()
        times.append(time.perf_counter() - start)
    return min(times), result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    root = pathlib.Path(__file__).resolve().parents[1]
    parser.add_argument("--kappa", default=str(root / "build" / "release" / "kappa"), help="the program")
    parser.add_argument("--subjects", type=int, default=1_000_000)
    parser.add_argument("--repeats", type=int, default=3)
    args = parser.parse_args()

    # Five raters who mostly agree on a true category of five.
    rng = numpy.random.default_rng(1)
    truth = rng.integers(1, 6, size=(args.subjects, 1))
    noise = rng.integers(1, 6, size=(args.subjects, 5))
    ratings = numpy.where(rng.random((args.subjects, 5)) < 0.7, truth, noise)
    frame = pandas.DataFrame(ratings, columns=[f"rater{r}" for r in range(1, 6)])

    with tempfile.TemporaryDirectory() as folder:
        file = pathlib.Path(folder) / "ratings.csv"
        frame.to_csv(file, index=False)
        command = [args.kappa, "--input", "ratings", "--coefficients", "fleiss", "--format", "json", str(file)]
        cli_time, _ = best(lambda: subprocess.run(command, check=True, capture_output=True), args.repeats)

    package_time, result = best(lambda: kappa.analyse(frame, coefficients="fleiss"), args.repeats)
    statsmodels_time, reference = best(lambda: fleiss_kappa(aggregate_raters(frame.to_numpy())[0]), args.repeats)

    print(f"subjects {args.subjects}, raters 5; Fleiss' kappa {result.estimates[0]['kappa']:.6f}"
          f" (statsmodels {reference:.6f})")
    print(f"command line on the CSV file   {cli_time:8.3f} s")
    print(f"kappa.analyse of the DataFrame {package_time:8.3f} s  ({package_time / cli_time:.2f} x the command line)")
    print(f"statsmodels on the DataFrame   {statsmodels_time:8.3f} s  "
          f"({statsmodels_time / package_time:.1f} x kappa.analyse)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
