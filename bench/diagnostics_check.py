#!/usr/bin/python3
"""Reference values for kappa's diagnostics (--diagnostics), from computations
that share no code with kappa:

  - Cohen's kappa of each pair of raters of examples/ratings.csv, on the
    subjects both rated, by statsmodels' cohens_kappa (its standard error,
    and its standard error under independence, std_kappa0);
  - McNemar's test by statsmodels' mcnemar (no continuity correction) and the
    Stuart-Maxwell test by statsmodels' SquareTable.homogeneity;
  - Fleiss' (1971) category-specific kappas on his psychiatric diagnoses
    (tests/data/diagnoses.csv, the 30 x 6 table that statsmodels' tests
    carry), whose published values are .245, .245, .520, .471 and .566, and
    their standard errors as those of Fleiss' kappa of the category against
    the others, from Gwet's linearisation, in exact arithmetic;
  - the proportions of specific agreement and Graham and Bull's delta-method
    standard errors, each rater's agreement with the others and
    Krippendorff's coincidence matrix, from their definitions in exact
    arithmetic;
  - Byrt, Bishop and Carlin's prevalence and bias indices and PABAK from
    their definitions, beside the values that R's epiR (epi.kappa) prints for
    the two tables of its examples.

Needs Debian's python3-statsmodels. Not run by the tests, which pin what it
prints (tests/diagnostics_test.cpp):

  bench/diagnostics_check.py
"""

import csv
import math
import os
from fractions import Fraction as F

import numpy as np
from statsmodels.stats.contingency_tables import SquareTable, mcnemar
from statsmodels.stats.inter_rater import cohens_kappa

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")


def read_subjects(path, labels, skip_columns=0):
    with open(os.path.join(ROOT, path)) as f:
        rows = list(csv.reader(f))
    return rows[0][skip_columns:], [[labels.index(x) if x != "" else None for x in r[skip_columns:]] for r in rows[1:]]


def cross_table(subjects, a, b, K):
    t = np.zeros((K, K), dtype=int)
    for s in subjects:
        if s[a] is not None and s[b] is not None:
            t[s[a], s[b]] += 1
    return t


def pairs_of_ratings():
    labels = ["none", "mild", "moderate", "severe"]
    names, subjects = read_subjects("examples/ratings.csv", labels, skip_columns=1)
    print("Cohen's kappa of each pair of examples/ratings.csv (statsmodels cohens_kappa):")
    kappas = []
    for a in range(len(names)):
        for b in range(a + 1, len(names)):
            t = cross_table(subjects, a, b, len(labels))
            r = cohens_kappa(t)
            kappas.append(r.kappa)
            print(f"  {names[a]} {names[b]} n={t.sum()} kappa={r.kappa!r} se={r.std_kappa!r} se0={r.std_kappa0!r}")
            sm = SquareTable(t, shift_zeros=False).homogeneity()
            print(f"    Stuart-Maxwell statistic={sm.statistic!r} df={sm.df} p={sm.pvalue!r}")
    print(f"  Light's kappa {sum(kappas) / len(kappas)!r}")
    return names, subjects, labels


def marginal_tests():
    print("McNemar (statsmodels mcnemar, exact=False, correction=False) and Stuart-Maxwell (SquareTable.homogeneity):")
    tables = {
        "examples/Kappa_data.txt": [[40, 10], [5, 45]],
        "epiR example 1": [[19, 10], [6, 256]],
        "epiR example 2": [[596, 61], [29, 987]],
    }
    for name, t in tables.items():
        r = mcnemar(np.array(t), exact=False, correction=False)
        sm = SquareTable(np.array(t), shift_zeros=False).homogeneity()
        print(f"  {name}: McNemar {r.statistic!r} p={r.pvalue!r}; Stuart-Maxwell {sm.statistic!r} df={sm.df}")
    t = np.array([[30, 8, 2], [5, 25, 5], [1, 4, 20]])
    sm = SquareTable(t, shift_zeros=False).homogeneity()
    print(f"  examples/Weighted_Kappa_data_linear_quadratic.txt: Stuart-Maxwell {sm.statistic!r} df={sm.df} p={sm.pvalue!r}")


def indices(t):
    (a, b), (c, d) = t
    n = a + b + c + d
    return F(a - d, n), F(b - c, n), 2 * F(a + d, n) - 1


def byrt_indices():
    print("Prevalence index, bias index, PABAK (Byrt, Bishop and Carlin 1993), exact:")
    # epiR 2.0.57's epi.kappa prints, for its two examples:
    #   example 1: pindex -0.814433, bindex 0.0137457, pabak 0.8900344, McNemar 1 (p 0.3173105)
    #   example 2: pindex -0.2337119, bindex 0.01912732, pabak 0.8924088, McNemar 11.37778 (p 0.0007432799)
    for name, t in {"examples/Kappa_data.txt": [[40, 10], [5, 45]], "epiR example 1": [[19, 10], [6, 256]],
                    "epiR example 2": [[596, 61], [29, 987]]}.items():
        pi, bi, pabak = indices(t)
        print(f"  {name}: {pi} = {float(pi)!r}, {bi} = {float(bi)!r}, {pabak} = {float(pabak)!r}")


def specific_agreement(subjects, K):
    """Each category's sum x(x-1) / sum x(m-1) over subjects, and the delta-method SE."""
    out = []
    for k in range(K):
        terms = []
        for s in subjects:
            r = [c for c in s if c is not None]
            x = r.count(k)
            terms.append((F(x * (x - 1)), F(x * (len(r) - 1))))
        U = sum(u for u, _ in terms)
        V = sum(v for _, v in terms)
        p = U / V
        var = sum((u - p * v) ** 2 for u, v in terms) / V**2
        out.append((p, math.sqrt(var)))
    return out


def two_by_two_specific():
    print("Specific agreement of examples/Kappa_data.txt (Graham and Bull's variance 4a(b+c)(a+b+c)/(2a+b+c)^4):")
    a, b, c, d = 40, 10, 5, 45
    for name, x, y in (("positive", a, d), ("negative", d, a)):
        p = F(2 * x, 2 * x + b + c)
        se = math.sqrt(F(4 * x * (b + c) * (x + b + c), (2 * x + b + c) ** 4))
        print(f"  {name}: {p} = {float(p)!r}, se {se!r}")


def fleiss_split(subjects, k):
    """Fleiss' kappa of category k against the rest, and its linearised SE (Gwet's raw-data variance)."""
    rated = [[c for c in s if c is not None] for s in subjects]
    n = len(rated)
    a = [F(r.count(k) * (r.count(k) - 1) + (len(r) - r.count(k)) * (len(r) - r.count(k) - 1), len(r) * (len(r) - 1))
         for r in rated]
    pa = sum(a) / n
    pi = sum(F(r.count(k), len(r)) for r in rated) / n
    prevalence = [pi, 1 - pi]
    pe = pi**2 + (1 - pi) ** 2
    kappa = (pa - pe) / (1 - pe)
    e = [(r.count(k) * prevalence[0] + (len(r) - r.count(k)) * prevalence[1]) / len(r) for r in rated]
    u = [(ai - pe) / (1 - pe) - 2 * (1 - kappa) * (ei - pe) / (1 - pe) for ai, ei in zip(a, e)]
    var = sum((ui - kappa) ** 2 for ui in u) / (n * (n - 1))
    return kappa, math.sqrt(var)


def fleiss_categories():
    labels = ["1", "2", "3", "4", "5"]
    _, subjects = read_subjects("tests/data/diagnoses.csv", labels)
    print("Fleiss (1971), category-specific kappas (published .245 .245 .520 .471 .566), exact:")
    for k, (p, se) in enumerate(specific_agreement(subjects, 5)):
        kappa, kse = fleiss_split(subjects, k)
        print(f"  {labels[k]}: kappa {float(kappa)!r} se {kse!r}; specific agreement {float(p)!r} se {se!r}")


def rater_agreement_and_coincidence(names, subjects, labels):
    K = len(labels)
    print("examples/ratings.csv, exact:")
    for g, name in enumerate(names):
        agree = pairs = 0
        for s in subjects:
            if s[g] is None:
                continue
            others = [c for h, c in enumerate(s) if h != g and c is not None]
            agree += sum(c == s[g] for c in others)
            pairs += len(others)
        print(f"  {name} agreement {F(agree, pairs)} = {agree / pairs!r}")
    o = [[F(0)] * K for _ in range(K)]
    for s in subjects:
        r = [c for c in s if c is not None]
        if len(r) >= 2:
            for i in range(len(r)):
                for j in range(len(r)):
                    if i != j:
                        o[r[i]][r[j]] += F(1, len(r) - 1)
    print("  coincidence matrix", [[str(x) for x in row] for row in o])
    for k, (p, se) in enumerate(specific_agreement(subjects, K)):
        print(f"  {labels[k]} specific agreement {p} = {float(p)!r} se {se!r}")
    for k in range(K):
        kappa, se = fleiss_split(subjects, k)
        print(f"  {labels[k]} Fleiss' kappa against the others {float(kappa)!r} se {se!r}")


def main():
    names, subjects, labels = pairs_of_ratings()
    marginal_tests()
    byrt_indices()
    two_by_two_specific()
    fleiss_categories()
    rater_agreement_and_coincidence(names, subjects, labels)


if __name__ == "__main__":
    main()
