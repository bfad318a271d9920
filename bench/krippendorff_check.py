#!/usr/bin/env python3
"""Reference values for Krippendorff's ordinal metric, in exact arithmetic.

Krippendorff's alpha from its definition in Krippendorff (2011), "Computing
Krippendorff's alpha-reliability": the coincidence matrix of the pairable
values, alpha = 1 - D_o / D_e, with the nominal, ordinal, interval and ratio
metrics; and, on the complete data of cac.raw.gender, the other coefficients
(Gwet's formulas, as the README describes them) with the ordinal metric as
weights w = 1 - delta^2 / max delta^2. Python's standard library only:

  bench/krippendorff_check.py        print the values that tests/coefficients_test.cpp pins
"""

import csv
import math
import os
from fractions import Fraction as F

DATA = os.path.join(os.path.dirname(__file__), "..", "tests", "data", "coefficients")


def units_of(file, categories):
    with open(os.path.join(DATA, file)) as f:
        rows = list(csv.reader(f))[1:]
    return [[categories.index(x) for x in row if x != ""] for row in rows]


def margins(units, K):
    """n_c: the pairable values (of units with two or more) in each category."""
    n = [0] * K
    for u in units:
        if len(u) >= 2:
            for c in u:
                n[c] += 1
    return n


def delta2(metric, c, k, n, values):
    if metric == "nominal":
        return F(int(c != k))
    if metric == "interval":
        return F((values[c] - values[k]) ** 2)
    if metric == "ratio":
        return F((values[c] - values[k]) ** 2, (values[c] + values[k]) ** 2)
    lo, hi = min(c, k), max(c, k)  # ordinal
    return (sum(n[lo : hi + 1]) - F(n[c] + n[k], 2)) ** 2


def alpha(units, K, metric):
    values = list(range(1, K + 1))
    o = [[F(0)] * K for _ in range(K)]
    for u in units:
        if len(u) >= 2:
            for a in range(len(u)):
                for b in range(len(u)):
                    if a != b:
                        o[u[a]][u[b]] += F(1, len(u) - 1)
    n = [sum(row) for row in o]
    d = [[delta2(metric, c, k, margins(units, K), values) for k in range(K)] for c in range(K)]
    observed = sum(o[c][k] * d[c][k] for c in range(K) for k in range(K))
    expected = sum(n[c] * n[k] * d[c][k] for c in range(K) for k in range(K)) / (sum(n) - 1)
    return 1 - observed / expected


def coefficients(units, K, W):
    """Percent agreement, Fleiss, Conger, Gwet and Brennan-Prediger of complete
    data with weights W: values and standard errors."""
    R, n = len(units[0]), len(units)
    counts = [[sum(1 for x in u if x == k) for k in range(K)] for u in units]
    a = [sum(m[k] * (sum(W[k][l] * m[l] for l in range(K)) - 1) for k in range(K)) / F(R * (R - 1)) for m in counts]
    pa = sum(a) / n
    pi = [sum(m[k] for m in counts) / F(n * R) for k in range(K)]
    p = [[F(sum(1 for u in units if u[g] == k), n) for k in range(K)] for g in range(R)]
    omega = [sum(W[k][l] * pi[l] for l in range(K)) for k in range(K)]
    Tw = sum(map(sum, W))
    pairs = [(g, h) for g in range(R) for h in range(R) if g != h]
    chance = {
        "percent": (F(0), None),
        "fleiss": (sum(pi[k] * omega[k] for k in range(K)), [sum(m[k] * omega[k] for k in range(K)) / R for m in counts]),
        "conger": (
            sum(W[k][l] * p[g][k] * p[h][l] for g, h in pairs for k in range(K) for l in range(K)) / len(pairs),
            [sum(W[k][u[g]] * p[h][k] for g, h in pairs for k in range(K)) / len(pairs) for u in units],
        ),
        "gwet": (
            Tw / (K * (K - 1)) * sum(x * (1 - x) for x in pi),
            [Tw / (K * (K - 1)) * sum(m[k] * (1 - pi[k]) for k in range(K)) / R for m in counts],
        ),
        "bp": (Tw / (K * K), None),
    }
    out = {}
    for name, (pe, e) in chance.items():
        value = (pa - pe) / (1 - pe)
        u = [(a[i] - pe) / (1 - pe) - (2 * (1 - value) * (e[i] - pe) / (1 - pe) if e else 0) for i in range(n)]
        out[name] = (value, math.sqrt(sum((x - value) ** 2 for x in u) / (n * (n - 1))))
    return out


def main():
    for file, K in (("cac.raw4raters.csv", 5), ("krippendorff3x15.csv", 4)):
        units = units_of(file, [str(k) for k in range(1, K + 1)])
        for metric in ("nominal", "ordinal", "interval", "ratio"):
            print(f"{file} alpha {metric}: {float(alpha(units, K, metric)):.13f}")
    units = units_of("cac.raw.gender.csv", ["a", "b", "c"])
    n = margins(units, 3)
    d = [[delta2("ordinal", c, k, n, None) for k in range(3)] for c in range(3)]
    largest = max(map(max, d))
    W = [[1 - d[c][k] / largest for k in range(3)] for c in range(3)]
    print(f"cac.raw.gender.csv alpha ordinal: {float(alpha(units, 3, 'ordinal')):.13f}")
    for name, (value, se) in coefficients(units, 3, W).items():
        print(f"cac.raw.gender.csv {name} with the ordinal metric: {float(value):.13f} (SE {se:.13f})")


if __name__ == "__main__":
    main()
