#!/usr/bin/python3
"""Reference values for studies of many raters, from other programs.

Writes the data files of tests/data/crowd/ (seeded, so that a rerun writes the
same bytes) and prints what Debian's python3-statsmodels and python3-nltk
compute on them, the values tests/references_test.cpp pins:

  fleiss14.csv       statsmodels' own test table: 10 subjects, 14 raters each,
                     5 categories, as counts (its published Fleiss' kappa 0.2099)
  fleiss1971.csv     the 30 patients of Fleiss (1971), 6 psychiatrists, as counts
                     (statsmodels' aggregate_raters of its `diagnoses`)
  crowd_long.csv     an annotation project: 300 items, each labelled by 2 to 5
                     of 60 annotators, labels 1..4, rows shuffled
  panel30.csv        a reader panel: 40 cases, 30 raters, every rater every case

  /usr/bin/python3 bench/crowd_reference.py            # print the values
  /usr/bin/python3 bench/crowd_reference.py --write    # and write the files
"""
import csv
import io
import os
import random
import sys

import numpy as np
from nltk.metrics.agreement import AnnotationTask
from nltk.metrics.distance import interval_distance
from statsmodels.stats.inter_rater import aggregate_raters, fleiss_kappa

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "tests", "data", "crowd")

# statsmodels' test table (statsmodels/stats/tests/test_inter_rater.py,
# table1): how many of 14 raters put each subject in each of 5 categories.
FLEISS14 = [[0, 0, 0, 0, 14], [0, 2, 6, 4, 2], [0, 0, 3, 5, 6], [0, 3, 9, 2, 0], [2, 2, 8, 1, 1],
            [7, 7, 0, 0, 0], [3, 2, 6, 3, 0], [2, 5, 3, 2, 2], [6, 5, 2, 1, 0], [0, 2, 2, 3, 7]]

# Fleiss (1971): 30 patients, 6 psychiatrists each, 5 diagnoses (the
# `diagnoses` of statsmodels' tests, which R's irr package ships too).
DIAGNOSES = [[4, 4, 4, 4, 4, 4], [2, 2, 2, 5, 5, 5], [2, 3, 3, 3, 3, 5], [5, 5, 5, 5, 5, 5], [2, 2, 2, 4, 4, 4],
             [1, 1, 3, 3, 3, 3], [3, 3, 3, 3, 5, 5], [1, 1, 3, 3, 3, 4], [1, 1, 4, 4, 4, 4], [5, 5, 5, 5, 5, 5],
             [1, 4, 4, 4, 4, 4], [1, 2, 4, 4, 4, 4], [2, 2, 2, 3, 3, 3], [1, 4, 4, 4, 4, 4], [2, 2, 4, 4, 4, 5],
             [3, 3, 3, 3, 3, 5], [1, 1, 1, 4, 5, 5], [1, 1, 1, 1, 1, 2], [2, 2, 4, 4, 4, 4], [1, 3, 3, 5, 5, 5],
             [5, 5, 5, 5, 5, 5], [2, 4, 4, 4, 4, 4], [2, 2, 4, 5, 5, 5], [1, 1, 4, 4, 4, 4], [1, 4, 4, 4, 4, 5],
             [2, 2, 2, 2, 2, 4], [1, 1, 1, 1, 5, 5], [2, 2, 4, 4, 4, 4], [1, 3, 3, 3, 3, 3], [5, 5, 5, 5, 5, 5]]


def crowd(rng):
    """(item, annotator, label) of 300 items, each labelled by 2 to 5 of 60
    annotators who mostly see its true label 1..4."""
    rows = []
    for i in range(1, 301):
        truth = rng.randint(1, 4)
        for a in rng.sample(range(1, 61), rng.randint(2, 5)):
            label = truth if rng.random() < 0.7 else rng.randint(1, 4)
            rows.append((f"item{i:03d}", f"a{a:02d}", label))
    rng.shuffle(rows)
    return rows


def panel(rng):
    """40 cases, each rated 1..3 by all of 30 raters."""
    cases = []
    for _ in range(40):
        truth = rng.randint(1, 3)
        cases.append([truth if rng.random() < 0.6 else rng.randint(1, 3) for _ in range(30)])
    return cases


def text(rows):
    out = io.StringIO()
    csv.writer(out, lineterminator="\n").writerows(rows)
    return out.getvalue()


def main():
    rng = random.Random(19)
    crowd_rows = crowd(rng)
    cases = panel(rng)
    diagnoses, _ = aggregate_raters(np.array(DIAGNOSES))
    files = {
        "fleiss14.csv": text([["A", "B", "C", "D", "E"]] + FLEISS14),
        "fleiss1971.csv": text([[str(k) for k in range(1, 6)]] + diagnoses.tolist()),
        "crowd_long.csv": text([["item", "annotator", "label"]] + crowd_rows),
        "panel30.csv": text([[f"r{j:02d}" for j in range(1, 31)]] + cases),
    }
    if "--write" in sys.argv:
        os.makedirs(DATA, exist_ok=True)
        for name, content in files.items():
            with open(os.path.join(DATA, name), "w", newline="") as f:
                f.write(content)

    crowd_task = AnnotationTask([(a, i, label) for i, a, label in crowd_rows])
    crowd_interval = AnnotationTask([(a, i, label) for i, a, label in crowd_rows], distance=interval_distance)
    panel_task = AnnotationTask([(f"r{j}", c, row[j]) for c, row in enumerate(cases) for j in range(30)])
    panel_counts, _ = aggregate_raters(np.array(cases))
    values = [
        ("fleiss14.csv", "statsmodels fleiss_kappa", fleiss_kappa(np.array(FLEISS14))),
        ("fleiss14.csv", "statsmodels fleiss_kappa randolph (Brennan-Prediger)",
         fleiss_kappa(np.array(FLEISS14), method="randolph")),
        ("fleiss1971.csv", "statsmodels fleiss_kappa", fleiss_kappa(diagnoses)),
        ("crowd_long.csv", "nltk alpha (nominal)", crowd_task.alpha()),
        ("crowd_long.csv", "nltk alpha (interval)", crowd_interval.alpha()),
        ("panel30.csv", "nltk pi", panel_task.pi()),
        ("panel30.csv", "nltk alpha (nominal)", panel_task.alpha()),
        ("panel30.csv", "nltk S (Brennan-Prediger)", panel_task.S()),
        ("panel30.csv", "statsmodels fleiss_kappa", fleiss_kappa(panel_counts)),
    ]
    for name, what, value in values:
        print(f"{name:16} {what:52} {value!r}")


if __name__ == "__main__":
    main()
