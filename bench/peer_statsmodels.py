#!/usr/bin/python3
"""The peer of kappa's ratings benchmark: the same ratings file read by pandas
and aggregated by statsmodels, as a researcher would do it in Python.

    bench/peer_statsmodels.py FILE [--id COLUMN]

Reads the CSV (header line, an id column, one column per rater), counts each
subject's ratings per category with statsmodels' aggregate_raters and prints
Fleiss' kappa. Run under /usr/bin/time by bench/run.sh for its time and peak
memory. Needs Debian's python3-pandas and python3-statsmodels.
"""
import argparse
import sys

import pandas
from statsmodels.stats.inter_rater import aggregate_raters, fleiss_kappa


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("file")
    parser.add_argument("--id", default="id", help="the subject identifier column, left out (default: id)")
    args = parser.parse_args()
    ratings = pandas.read_csv(args.file)
    raters = ratings.drop(columns=[args.id]).to_numpy()
    table, _categories = aggregate_raters(raters)
    print(f"subjects {table.shape[0]} Fleiss' kappa {fleiss_kappa(table, method='fleiss'):.6f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
