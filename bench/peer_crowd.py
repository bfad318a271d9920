#!/usr/bin/python3
"""The peers of kappa's benchmark of a long file (one row per rating: item,
annotator, label), as a researcher would do it in Python:

    bench/peer_crowd.py statsmodels FILE   pandas reads it, counts each item's
                                           labels, statsmodels' fleiss_kappa
    bench/peer_crowd.py nltk FILE          the csv module reads it into nltk's
                                           AnnotationTask, Krippendorff's alpha

Run under /usr/bin/time by bench/run.sh for their time and peak memory. Needs
Debian's python3-pandas, python3-statsmodels and python3-nltk.
"""
import csv
import sys


def statsmodels_fleiss(path):
    import pandas
    from statsmodels.stats.inter_rater import fleiss_kappa

    ratings = pandas.read_csv(path)
    item, _annotator, label = ratings.columns
    table = ratings.groupby([item, label]).size().unstack(fill_value=0).to_numpy()
    print(f"items {table.shape[0]} Fleiss' kappa {fleiss_kappa(table, method='fleiss'):.6f}")


def nltk_alpha(path):
    from nltk.metrics.agreement import AnnotationTask

    with open(path, newline="") as f:
        rows = csv.reader(f)
        next(rows)
        task = AnnotationTask([(annotator, item, label) for item, annotator, label in rows])
    print(f"items {len(task.I)} Krippendorff's alpha {task.alpha():.6f}")


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("statsmodels", "nltk"):
        print(__doc__, file=sys.stderr)
        return 2
    (statsmodels_fleiss if sys.argv[1] == "statsmodels" else nltk_alpha)(sys.argv[2])
    return 0


if __name__ == "__main__":
    sys.exit(main())
