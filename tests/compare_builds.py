#!/usr/bin/env python3
"""Runs builds of kappa on the same inputs and compares each output with the
first build's: the examples in every layout with every coefficient and
weighting, in JSON, and the golden runs of the command line
(tests/cli_golden), as they are and in JSON. Numbers must agree to 1e-13
relative; those that differ in their last digits are listed.

    tests/compare_builds.py REFERENCE CANDIDATE...

Each build is the command that runs its program, from the project's folder:
build/werror/kappa, "cmake/wine-run build/mingw/kappa.exe". Exit status 0
when every output agrees, 1 when any does not."""
import os
import shlex
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))
from same_numbers import differing_numbers, relative_difference  # noqa: E402

PROJECT = Path(__file__).resolve().parent.parent
TOLERANCE = 1e-13
LABELS = "--categories none,mild,moderate,severe"
WEIGHTS = "--weights none,quadratic,linear,ordinal,radical,ratio,circular,bipolar,krippendorff-ordinal"
EXAMPLES = [
    f"--coefficients all {WEIGHTS} --diagnostics examples/Kappa_data.txt",
    "--coefficients kappa --weights file --diagnostics examples/Weighted_Kappa_data.txt",
    f"--coefficients all {WEIGHTS} examples/Weighted_Kappa_data_linear_quadratic.txt",
    f"--input ratings --id patient {LABELS} --coefficients all {WEIGHTS} --diagnostics examples/ratings.csv",
    f"--input long {LABELS} --coefficients all {WEIGHTS} examples/ratings_long.csv",
    f"{LABELS} --coefficients all {WEIGHTS} examples/ratings_patterns.txt",
    f"--input matrix --coefficients all {WEIGHTS} --diagnostics examples/two_raters_matrix.txt",
]


def cases():
    """(name, folder, arguments) of every run."""
    for i, args in enumerate(EXAMPLES):
        yield f"example {i + 1}", PROJECT, args + " --format json"
        yield f"example {i + 1}, one-sided", PROJECT, args + " --kappa0 0.4 --confidence 90 --alternative greater --format json"
    for case in sorted((PROJECT / "tests" / "cli_golden").iterdir()):
        if (case / "disabled").exists():
            continue
        folder = case / "data" if (case / "data").is_dir() else PROJECT
        args = (case / "args").read_text().strip()
        yield f"cli_golden {case.name}", folder, args
        yield f"cli_golden {case.name} in JSON", folder, args + " --format json"


def absolute(command):
    """The command with each of its words that names a file made absolute."""
    return shlex.join(str(Path(w).resolve()) if Path(w).exists() else w for w in shlex.split(command))


def run(build, folder, args):
    done = subprocess.run(["sh", "-c", f"exec {build} {args}"], cwd=folder, capture_output=True)
    return done.returncode, done.stdout, done.stderr


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    builds = [absolute(b) for b in sys.argv[1:]]
    outputs = {name: [run(b, folder, args) for b in builds] for name, folder, args in cases()}
    failed = False
    for i, build in enumerate(sys.argv[2:], 1):
        identical, agreeing, largest = 0, 0, 0.0
        last_digits, differences = {}, []  # last_digits: (number, other) -> the runs where they are
        for name, runs in outputs.items():
            (status, *streams), (other_status, *other_streams) = runs[0], runs[i]
            if (status, streams) == (other_status, other_streams):
                identical += 1
                continue
            found = [differing_numbers(a, b) for a, b in zip(streams, other_streams)]
            if status != other_status or None in found:
                differences.append(f"{name}: exit status {other_status} (reference {status}) or text differs")
                continue
            numbers = [(x, y, relative_difference(x, y)) for f in found for _, x, y in f]
            largest = max([largest] + [d for _, _, d in numbers])
            beyond = [f"{name}: {x.decode()} and {y.decode()}" for x, y, d in numbers if d > TOLERANCE]
            differences += beyond
            agreeing += not beyond
            for x, y, d in numbers:
                last_digits.setdefault((x.decode(), y.decode(), d), set()).add(name)
        print(f"{build}: {len(outputs)} runs, {identical} identical to {sys.argv[1]}, {agreeing} more agree to "
              f"{TOLERANCE:g} relative (largest difference {largest:.1e})")
        for (x, y, d), names in sorted(last_digits.items()):
            print(f"  {x} and {y} ({d:.1e}) in {len(names)} runs: {', '.join(sorted(names))}")
        for entry in differences:
            print(f"  DIFFERS: {entry}")
        failed = failed or bool(differences)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
