#!/usr/bin/env python3
"""Checks every number that kappa prints against exact arithmetic.

For a study (R raters, K categories, the pattern frequencies of its data file,
case 1, 2 or 3, the file's weights in case 2, the confidence level and the
kappa under test) this script computes every printed number exactly: the raw
agreement, kappa, its standard error, the Wald statistic and interval, the
restricted statistic (or the decision that its variance is negative), the
restricted interval (or the decision that it has no solution) and the
independence statistic, once per block in the weighted cases. It then runs
kappa on the same study, reads what it printed and compares each number with
the exact value correctly rounded to the printed decimals.

Exact means: rational arithmetic (fractions.Fraction, with the integer
numerators of the pattern sums kept over their common denominators) straight
from the mathematical formulas, not the program's order of rounding; square
roots to 60 significant digits with the decimal module. Three values are taken
as kappa receives them, not as typed: the critical value z, which the program
finds by summing the normal density in steps of 1e-5 (replicated here step by
step in Python floats, whose math.exp is the C library's exp, and then taken as
an exact rational); the kappa under test and the case-2 weights, which are the
doubles that the program reads from their decimal text.

The sums over all K^R patterns that chance probabilities enter (the chance
agreement, the expected weights vbar, and the variances of the independence
tests) are evaluated with exact identities that hold because the raters choose
independently with marginal proportions c/n summing to 1: a weighted case-3
weight is a sum over pairs of raters, a case-2 weight is 1 except on the
patterns the file lists. `selftest` checks these identities against the sums
over every pattern on small studies.

What it reports: the studies, the printed values compared, and each mismatch
with the printed text, the correctly rounded exact value, the exact value, how
far off it is in units of the last printed digit and the least relative error a
computed value must have had to print it. Mismatches are sorted by kind:
  digits         relative error above 1e-13: digits lost in the computation
  rounding       relative error between 16 units in the last place of a double
                 and 1e-13: what long sums of doubles may accumulate
  beyond double  within 16 units in the last place: the value needs more
                 digits than a double holds
  non-finite     nan or inf printed for a finite value, or the reverse
  sign of zero   -0.0000 printed for 0.0000 or the reverse
  decision       the restricted variance judged negative, or the restricted
                 interval judged to have no solution, where the exact values
                 say otherwise (or the reverse)
  structure      the report could not be read, or kappa failed
For each study with a mismatch it also shows how many decimal digits each
difference that the program forms cancels (1 - Ie, 1 - kappa, the variance
numerator, mmI or mmIv, kappa - kp, ...), which names the culprit.

Commands (run `exact_check.py COMMAND --help` for the options of each):
  sweep     generate extreme but legitimate studies and the known fault studies,
            run kappa on each and summarise the mismatches
  study     check one study given by its data file
  selftest  check the exact model against brute-force sums and known values
"""

import argparse
import itertools
import math
import os
import random
import re
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field
from decimal import Decimal, localcontext
from fractions import Fraction

FILE_NAMES = {1: "Kappa_data.txt", 2: "Weighted_Kappa_data.txt", 3: "Weighted_Kappa_data_linear_quadratic.txt"}
SQRT_DIGITS = 60
NAN = float("nan")
INF = float("inf")


# ----------------------------------------------------------------------------
# Studies


@dataclass
class Study:
    """One analysis: what the data file holds and what the dialogue is answered."""

    name: str
    R: int
    K: int
    case: int
    rows: list  # (codes, frequency, weight): codes 1-based, weight a float in case 2, else None
    confidence: str = ""  # the answer typed; empty means 95
    kp: str = ""  # the answer typed; empty means 0
    reference: dict = field(default_factory=dict)  # label -> exact value as published, rounded

    @property
    def n(self):
        return sum(f for _, f, _ in self.rows)

    def data_file(self):
        lines = []
        for codes, frequency, weight in self.rows:
            fields = [str(c) for c in codes] + [str(frequency)]
            if self.case == 2:
                fields.append(weight_text(weight))
            lines.append("\t".join(fields))
        return "\n".join(lines) + "\n"

    def answers(self):
        # Input ends at the end prompt: kappa then exits with status 0 and no pause.
        return f"{self.R}\n{self.K}\n{self.n}\n{self.confidence}\n{self.kp}\n{self.case}\n"


def weight_text(w):
    """The shortest decimal that reads back as the double w, always with a decimal point."""
    text = repr(float(w))
    if "." not in text and "inf" not in text and "nan" not in text:
        mantissa, _, exponent = text.partition("e")
        text = mantissa + ".0" + ("e" + exponent if exponent else "")
    return text


def read_study(path, R, K, case, confidence, kp):
    rows = []
    with open(path, encoding="utf-8-sig") as f:
        for line in f:
            fields = line.split()
            if not fields:
                continue
            codes = tuple(int(x) for x in fields[:R])
            weight = float(fields[R + 1]) if case == 2 else None
            rows.append((codes, int(fields[R]), weight))
    return Study(os.path.basename(path), R, K, case, rows, confidence, kp)


# ----------------------------------------------------------------------------
# The critical value, as the program computes it


_z_cache = {}


def critical_value(confidence_text):
    """z for the confidence answer: the left Riemann sum of exp(-u^2/2) in steps of
    1e-5, run until it passes (p - 0.5) sqrt(2 pi), exactly as kappa does it in
    doubles. Returned as the exact rational value of that double."""
    cf = float(confidence_text) if confidence_text.strip() else 95.0
    if cf not in _z_cache:
        q = cf / 100
        a = 1 - q
        p = 1 - a / 2
        h = 1e-5
        pi = 3.14159265358979
        c = 1 / math.sqrt(pi + pi)
        target = (p - 0.5) / c
        area = 0.0
        x = 0.0
        exp = math.exp
        while target >= area and x < 10.0:
            area = area + exp(-x * x / 2) * h
            x = x + h
        _z_cache[cf] = Fraction(x)
    return _z_cache[cf]


# ----------------------------------------------------------------------------
# Exact arithmetic with the IEEE outcomes of division by zero and roots of
# negative numbers: finite values are Fractions, the others float inf or nan.


def div(x, y):
    if isinstance(x, float) or isinstance(y, float):
        if isinstance(y, float) and math.isinf(y) and not isinstance(x, float):
            return Fraction(0)
        return float(x) / float(y) if float(y) != 0 else _float_div_by_zero(float(x))
    if y == 0:
        return _float_div_by_zero(x)
    return x / y


def _float_div_by_zero(x):
    if x != x or x == 0:
        return NAN
    return INF if x > 0 else -INF


def sqrt(x):
    """Square root to SQRT_DIGITS significant digits, as an exact Fraction of that decimal."""
    if isinstance(x, float):
        return x if x >= 0 else NAN  # inf stays inf; nan and -inf give nan
    if x < 0:
        return NAN
    if x == 0:
        return Fraction(0)
    with localcontext() as ctx:
        ctx.prec = SQRT_DIGITS + 10
        root = (Decimal(x.numerator) / Decimal(x.denominator)).sqrt()
        ctx.prec = SQRT_DIGITS
        root = +root
    return Fraction(root)


def clip(upper):
    return Fraction(1) if upper > 1 else upper  # an ordered comparison: nan is not clipped


# ----------------------------------------------------------------------------
# The study under independent raters: marginal counts and chance probabilities


class Margins:
    """Category counts c[k][j] of each rater; the marginal proportion of category k
    for rater j is c[k][j] / n, so every chance probability of a pattern is an
    integer over n^R and every leave-one-rater-out product an integer over n^(R-1)."""

    def __init__(self, study):
        self.R, self.K, self.n = study.R, study.K, study.n
        R, K = self.R, self.K
        self.c = [[0] * R for _ in range(K)]
        self.agree = [0] * K  # subjects on whom all raters chose k
        self.patterns = []  # (0-based categories, frequency) of every listed row
        for codes, frequency, _ in study.rows:
            d = tuple(x - 1 for x in codes)
            self.patterns.append((d, frequency))
            for j in range(R):
                self.c[d[j]][j] += frequency
            if all(x == d[0] for x in d):
                self.agree[d[0]] += frequency

    def t(self, k, j):
        return Fraction(self.c[k][j], self.n)

    def chance_numerator(self, d):
        """n^R times the chance probability of the pattern d."""
        return math.prod(self.c[d[j]][j] for j in range(self.R))

    def leave_one_out(self, d, j):
        """n^(R-1) times the chance probability of the categories d of every rater but j."""
        return math.prod(self.c[d[i]][i] for i in range(self.R) if i != j)


# ----------------------------------------------------------------------------
# Case 1: Hubert's (Cohen's) kappa, its variance, the restricted coefficients


def unweighted_quantities(m):
    R, K, n = m.R, m.K, m.n
    nR1 = n ** (R - 1)
    A = [[m.leave_one_out((k,) * R, j) for j in range(R)] for k in range(K)]  # factorT, over n^(R-1)
    T = [sum(A[k]) for k in range(K)]
    ptotal = [math.prod(m.c[k]) for k in range(K)]  # over n^R

    I0 = Fraction(sum(m.agree), n)
    Ie = Fraction(sum(ptotal), n**R)
    kappa = div(I0 - Ie, 1 - Ie)

    f = [1 - (1 - kappa) * Fraction(T[k], nR1) for k in range(K)]
    X = sum(m.agree[k] * f[k] * f[k] for k in range(K)) / n
    # U_p = sum over raters j of factorT[category of j in p][j], over n^(R-1)
    u2_disagree = u2_all = 0
    for d, F in m.patterns:
        U = sum(A[d[j]][j] for j in range(R))
        u2_all += F * U * U
        if any(x != d[0] for x in d):
            u2_disagree += F * U * U
    S = Fraction(u2_disagree, n * nR1 * nR1)
    Y = (1 - kappa) ** 2 * S
    Z = (R - 1) * (1 - kappa) * Ie - kappa
    varkappa = div(X + Y - Z * Z, n * (1 - Ie) ** 2)

    # Restricted coefficients. H = sum over all patterns of U_p^2 times the chance
    # probability = E[U^2] for independent raters, where U = sum_j A_j(X_j) and
    # E A_j(X_j) = Ie for every j: H = (R Ie)^2 + sum_j Var A_j(X_j).
    Xr = Fraction(sum(m.agree[k] * T[k] for k in range(K)), n * nR1)
    G = Fraction(sum(ptotal[k] * T[k] for k in range(K)), n**R * nR1)
    Yr = Fraction(u2_all, n * nR1 * nR1)
    H = (R * Ie) ** 2 + sum(
        Fraction(sum(m.c[k][j] * A[k][j] ** 2 for k in range(K)), n * nR1 * nR1) - Ie * Ie for j in range(R)
    )
    a = Yr - (1 + (R - 1) * Ie) ** 2
    b = Xr - (1 + (2 * R - 1) * Ie) / 2
    mmI = (H - 2 * G) + Ie * (1 - (R - 1) ** 2 * Ie)
    losses = {"1 - Ie": digits_lost(1 - Ie, 1, Ie), "1 - kappa": digits_lost(1 - kappa, 1, kappa),
              "variance": digits_lost(X + Y - Z * Z, X + Y, Z * Z),
              "mmI": digits_lost(mmI, H, 2 * G, Ie, (R - 1) ** 2 * Ie * Ie)}
    return dict(I0=I0, Ie=Ie, kappa=kappa, varkappa=varkappa, a=a, b=b, mmI=mmI, H=H, losses=losses)


# ----------------------------------------------------------------------------
# Cases 2 and 3: weighted kappa, its variance, the restricted coefficients


class PairWeights:
    """Case-3 weights v_p = factor * sum over rater pairs i < j of w(d_i, d_j),
    with w(a, b) = (a - b)^2 (quadratic) or |a - b| (linear)."""

    def __init__(self, R, K, linear):
        self.R, self.K, self.linear = R, K, linear
        product = R * R if R % 2 == 0 else (R - 1) * (R + 1)
        self.factor = Fraction(4, product * (K - 1) ** (1 if linear else 2))
        self.w = [[abs(a - b) if linear else (a - b) ** 2 for b in range(K)] for a in range(K)]

    def pair_sum(self, d):
        if self.linear:  # sum over pairs of |d_i - d_j|, from the sorted categories
            s = sorted(d)
            return sum((2 * i - len(s) + 1) * x for i, x in enumerate(s))
        return len(d) * sum(x * x for x in d) - sum(d) ** 2

    def value(self, d):
        return self.factor * self.pair_sum(d)

    def chance(self, m):
        """Disagreement by chance De = E v, the expected weights vbar[k][j] = E[v | X_j = k],
        and M = E (v - s)^2 with s = sum_j vbar[X_j][j], for independent raters.

        Per pair (i, j) let mu = E w, m_i(a) = E[w | X_i = a], m_j(b) = E[w | X_j = b] and
        the interaction variance g = Var w - Var m_i - Var m_j. Since s adds up the
        conditional expectations of v, v - s = -(R - 1) De + (the pairs' interactions),
        which are uncorrelated: M = ((R - 1) De)^2 + factor^2 * sum of g."""
        R, K, n, c, w = m.R, m.K, m.n, m.c, self.w
        sum_mu = Fraction(0)
        cond = [[Fraction(0)] * R for _ in range(K)]  # sum over pairs containing j of m_j(k) - mu
        interactions = Fraction(0)
        for i, j in itertools.combinations(range(R), 2):
            ci = [c[a][i] for a in range(K)]
            cj = [c[b][j] for b in range(K)]
            mi = [sum(map(int.__mul__, cj, w[a])) for a in range(K)]  # n * E[w | X_i = a]
            mj = [sum(ci[a] * w[a][b] for a in range(K)) for b in range(K)]  # n * E[w | X_j = b]
            mu = Fraction(sum(map(int.__mul__, ci, mi)), n * n)
            second = Fraction(sum(ci[a] * sum(cj[b] * w[a][b] ** 2 for b in range(K)) for a in range(K)), n * n)
            var_i = Fraction(sum(ci[a] * mi[a] ** 2 for a in range(K)), n**3) - mu * mu
            var_j = Fraction(sum(cj[b] * mj[b] ** 2 for b in range(K)), n**3) - mu * mu
            interactions += second - mu * mu - var_i - var_j
            sum_mu += mu
            for k in range(K):
                cond[k][i] += Fraction(mi[k], n) - mu
                cond[k][j] += Fraction(mj[k], n) - mu
        De = self.factor * sum_mu
        vbar = [[De + self.factor * cond[k][j] for j in range(R)] for k in range(K)]
        M = ((R - 1) * De) ** 2 + self.factor**2 * interactions
        return De, vbar, M


class FileWeights:
    """Case-2 weights: the file's weight (a double) on the patterns it lists, 1 elsewhere."""

    def __init__(self, study):
        self.listed = {tuple(x - 1 for x in codes): Fraction(w) for codes, _, w in study.rows}

    def value(self, d):
        return self.listed.get(d, Fraction(1))

    def chance(self, m):
        """De, vbar and M as above, from the listed patterns only: v = 1 + delta with delta
        zero off the listed patterns, so De = 1 + sum delta_p pi_p, vbar[k][j] = 1 + sum
        over the listed p with d_j = k of delta_p E[p][j], and M = E (1 - s)^2 plus, for
        each listed p, pi_p ((v_p - s_p)^2 - (1 - s_p)^2); s being a sum of one function
        per rater, E (1 - s)^2 = (1 - E s)^2 + sum_j Var vbar[X_j][j]."""
        R, K, n = m.R, m.K, m.n
        nR = n**R
        De = Fraction(1)
        beta = [[Fraction(0)] * R for _ in range(K)]
        for d, delta in ((d, v - 1) for d, v in self.listed.items()):
            if delta == 0:
                continue
            De += delta * Fraction(m.chance_numerator(d), nR)
            for j in range(R):
                beta[d[j]][j] += delta * Fraction(m.leave_one_out(d, j), n ** (R - 1))
        vbar = [[1 + beta[k][j] for j in range(R)] for k in range(K)]
        mean_s = sum(m.t(k, j) * vbar[k][j] for k in range(K) for j in range(R))
        var_s = sum(
            sum(m.t(k, j) * vbar[k][j] ** 2 for k in range(K)) - sum(m.t(k, j) * vbar[k][j] for k in range(K)) ** 2
            for j in range(R)
        )
        M = (1 - mean_s) ** 2 + var_s
        for d, v in self.listed.items():
            s = sum(vbar[d[j]][j] for j in range(R))
            M += Fraction(m.chance_numerator(d), nR) * ((v - s) ** 2 - (1 - s) ** 2)
        return De, vbar, M


def as_integers(values):
    """A common denominator of the Fractions and their numerators over it."""
    den = math.lcm(*(v.denominator for v in values)) if values else 1
    return den, [v.numerator * (den // v.denominator) for v in values]


def weighted_quantities(m, weights):
    R, K, n = m.R, m.K, m.n
    De, vbar, M = weights.chance(m)
    # Pattern sums over the listed patterns, in integers over common denominators.
    Ds, flat = as_integers([vbar[k][j] for k in range(K) for j in range(R)])
    vb = [flat[k * R : (k + 1) * R] for k in range(K)]
    vs = [weights.value(d) for d, _ in m.patterns]
    Dv, V = as_integers(vs)
    sum_fv = sum_fvs = sum_fss = sum_fvv = 0
    for (d, F), v in zip(m.patterns, V):
        s = sum(vb[d[j]][j] for j in range(R))
        sum_fv += F * v
        sum_fvs += F * v * s
        sum_fss += F * s * s
        sum_fvv += F * v * v
    I0 = Fraction(sum_fv, n * Dv)
    X = Fraction(sum_fvs, n * Dv * Ds)
    Y = Fraction(sum_fss, n * Ds * Ds)
    Z = Fraction(sum_fvv, n * Dv * Dv)

    kappa = 1 - div(I0, De)
    u = 1 - kappa
    S = Z - 2 * u * X + u * u * Y  # sum of F_p (v_p - u s_p)^2 / n, expanded exactly
    varkappa = div(div(S, De * De) - ((R - 1) * u) ** 2, n)
    Q = De
    a = Y - ((R - 1) * Q) ** 2
    mmIv = M - ((R - 1) * Q) ** 2
    losses = {"Q = 1 - Ie": digits_lost(De, 1, 1 - De), "1 - kappa": digits_lost(u, 1, kappa),
              "variance": digits_lost(div(S, De * De) - ((R - 1) * u) ** 2, div(S, De * De), ((R - 1) * u) ** 2),
              "mmIv": digits_lost(mmIv, M, ((R - 1) * Q) ** 2)}
    return dict(I0=I0, De=De, kappa=kappa, varkappa=varkappa, Q=Q, a=a, b=X, c=Z, mmIv=mmIv, M=M, losses=losses)


# ----------------------------------------------------------------------------
# The printed lines, exactly

# A printed line: (kind, [(label, value, decimals), ...]). Kinds: raw, kappa, test,
# negative (the restricted variance is negative), ci, nosolution, independence.
#
# Beside the lines, `losses` records for each difference the program forms how many
# decimal digits it cancels: log10 of its largest term over its value. A double keeps
# about 16 digits, so a printed value that needs them all goes wrong where a
# difference behind it cancels more than 16 minus the digits printed.


def digits_lost(result, *terms):
    if isinstance(result, float) or any(isinstance(t, float) for t in terms):
        return 0.0
    largest = max(abs(t) for t in terms)
    if result == 0:
        return math.inf if largest else 0.0
    return max(0.0, math.log10(largest / abs(result)))


def restricted_lines(prefix, kappa, varkappa, kp, z, n, Q, a, b, c, losses):
    """The restricted test and interval, from the variance (c + u^2 a - 2 u b) / (n Q^2)."""
    lines = []
    u = 1 - kp
    numerator = u * u * a - 2 * b * u + c
    losses[prefix + "restricted variance"] = digits_lost(numerator, u * u * a, 2 * b * u, c)
    V0 = div(numerator, n * Q * Q)
    if V0 < 0:
        lines.append(("negative", [(prefix + "restricted test: kappa under test", kp, 2)]))
    else:
        lines.append(("test", [(prefix + "restricted test: kappa under test", kp, 2),
                               (prefix + "restricted statistic", div(kappa - kp, sqrt(V0)), 4)]))
    d = div(z * z, n * Q * Q)
    D = (b * b - c * a) * d * d + varkappa * z * z
    losses[prefix + "discriminant"] = digits_lost(D, b * b * d * d, c * a * d * d, varkappa * z * z)
    if D < 0:
        lines.append(("nosolution", []))
    else:
        middle = (b - a) * d + kappa
        scale = 1 - d * a
        losses[prefix + "1 - d a"] = digits_lost(scale, 1, d * a)
        root = sqrt(D)
        lines.append(("ci", [(prefix + "restricted CI lower", div(middle - root, scale), 4),
                             (prefix + "restricted CI upper", clip(div(root + middle, scale)), 4)]))
    return lines


def wald_lines(prefix, kappa, varkappa, kp, z, losses):
    se = sqrt(varkappa)
    losses[prefix + "kappa - kp"] = digits_lost(kappa - kp, kappa, kp)
    return [
        ("kappa", [(prefix + "kappa", kappa, 4), (prefix + "standard error", se, 5)]),
        ("test", [(prefix + "Wald test: kappa under test", kp, 2), (prefix + "Wald statistic", div(kappa - kp, se), 4)]),
        ("ci", [(prefix + "Wald CI lower", kappa - z * se, 4), (prefix + "Wald CI upper", clip(kappa + z * se), 4)]),
    ]


def exact_report(study):
    """The printed lines of the study, exactly, and the digits each difference cancels."""
    m = Margins(study)
    n = m.n
    z = critical_value(study.confidence)
    kp = Fraction(float(study.kp)) if study.kp.strip() else Fraction(0)
    lines = [("raw", [("Raw", Fraction(sum(m.agree), n), 5)])]
    losses = {}
    if study.case == 1:
        q = unweighted_quantities(m)
        kappa, Ie = q["kappa"], q["Ie"]
        losses.update(q["losses"])
        lines += wald_lines("", kappa, q["varkappa"], kp, z, losses)
        lines += restricted_lines("", kappa, q["varkappa"], kp, z, n, 1 - Ie, q["a"], q["b"], 0, losses)
        independence = kappa * (1 - Ie) * sqrt(div(Fraction(n), q["mmI"]))
        lines.append(("independence", [("independence statistic", independence, 4)]))
        return lines, losses
    if study.case == 2:
        blocks = [("", FileWeights(study))]
    else:
        blocks = [("QUADRATIC ", PairWeights(study.R, study.K, False)), ("LINEAR ", PairWeights(study.R, study.K, True))]
    R = study.R
    for prefix, weights in blocks:
        q = weighted_quantities(m, weights)
        kappa, V, Q = q["kappa"], q["varkappa"], q["Q"]
        a, b, c = q["a"], q["b"], q["c"]
        losses.update({prefix + name: lost for name, lost in q["losses"].items()})
        lines += wald_lines(prefix, kappa, V, kp, z, losses)
        independence = kappa * Q * sqrt(div(Fraction(n), q["mmIv"]))
        w_based = (a - Q * 2 * R, b - Q * (R * (1 - kappa) + 1), c - Q * 2 * (1 - kappa))
        for basis, (a_, b_, c_) in (("v", (a, b, c)), ("w", w_based)):
            lines += restricted_lines(f"{prefix}{basis}: ", kappa, V, kp, z, n, Q, a_, b_, c_, losses)
            lines.append(("independence", [(f"{prefix}{basis}: independence statistic", independence, 4)]))
    return lines, losses


def exact_lines(study):
    return exact_report(study)[0]


# ----------------------------------------------------------------------------
# Rounding as printf does it, for exact values


def rounded_texts(value, decimals):
    """The texts that %.<decimals>f may print for the exact value: one, or two when the
    value lies on (or within the 60-digit root error of) a rounding tie."""
    if isinstance(value, float):
        if value != value:
            return {"nan", "-nan"}
        return {"inf" if value > 0 else "-inf"}
    scaled = value * 10**decimals
    low = math.floor(scaled)
    gap = scaled - low - Fraction(1, 2)
    tolerance = Fraction(1, 10**40) * max(1, abs(scaled))
    if abs(gap) <= tolerance:
        candidates = [low, low + 1]
    else:
        candidates = [low + 1 if gap > 0 else low]
    texts = {("-" if value < 0 else "") + format_units(abs(k), decimals) for k in candidates}
    if value != 0 and abs(value) < Fraction(1, 10**40):  # zero but for the error of a 60-digit root
        texts |= {"-" + format_units(0, decimals), format_units(0, decimals)}
    return texts


def format_units(units, decimals):
    text = str(units).rjust(decimals + 1, "0")
    return text[:-decimals] + "." + text[-decimals:]


def approximate(value, digits=20):
    if isinstance(value, float):
        return repr(value)
    with localcontext() as ctx:
        ctx.prec = digits
        return str(Decimal(value.numerator) / Decimal(value.denominator))


# ----------------------------------------------------------------------------
# Running kappa and reading what it printed

NUMBER = r"(-?(?:\d+\.\d+|nan|inf))"
PRINTED = [
    ("raw", re.compile(r"^ Raw " + NUMBER + "$")),
    ("kappa", re.compile(r"^ (?:Cohen's|Hubert's) (?:weighted )?kappa (?:QUADRATIC |LINEAR )?" + NUMBER + " \xf1 " + NUMBER + "$")),
    ("test", re.compile(r"^ Test statistic \(for kappa = " + NUMBER + r"\) = " + NUMBER + r"\.$")),
    ("negative", re.compile(r"^ Variance for test statistic \(for kappa = " + NUMBER + r"\) is negative\.$")),
    ("ci", re.compile(r"^ CI = \(" + NUMBER + ", " + NUMBER + r"\)\.?$")),
    ("nosolution", re.compile(r"^ \(-Infinity, 1\.0\): the CI has no solution\.$")),
    ("independence", re.compile(r"^ Test statistic \(for the independence test\) = " + NUMBER + r"\.$")),
]


def run_kappa(binary, study):
    """Runs kappa on the study in a temporary folder; returns (status, output text, seconds)."""
    with tempfile.TemporaryDirectory(prefix="kappa-exact-") as folder:
        with open(os.path.join(folder, FILE_NAMES[study.case]), "w") as f:
            f.write(study.data_file())
        start = time.perf_counter()
        result = subprocess.run([binary], input=study.answers().encode(), cwd=folder,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
        elapsed = time.perf_counter() - start
    return result.returncode, result.stdout.decode("latin-1"), elapsed


def printed_lines(output):
    report = output[output.rfind(" CASE: \t"):]
    lines = []
    for line in report.split("\n"):
        for kind, pattern in PRINTED:
            found = pattern.match(line)
            if found:
                lines.append((kind, list(found.groups())))
                break
    return lines


# ----------------------------------------------------------------------------
# Comparing


@dataclass
class Mismatch:
    study: str
    label: str
    kind: str  # digits, rounding, beyond double, non-finite, sign of zero, decision, structure
    printed: str
    expected: str
    exact: str = ""
    units: float = 0.0
    relative: float = 0.0  # the least relative error of a computed value that prints as printed


def compare(study, output):
    """Compares the printed report with the exact one; returns (values compared, mismatches,
    the digits lost per difference)."""
    expected, losses = exact_report(study)
    printed = printed_lines(output)
    mismatches = []
    compared = 0
    if len(printed) != len(expected):
        mismatches.append(Mismatch(study.name, "report", "structure", f"{len(printed)} lines", f"{len(expected)} lines"))
    block = ""
    for (kind, values), (pkind, texts) in zip(expected, printed):
        if values:
            block = re.match(r"(QUADRATIC |LINEAR )?(v: |w: )?", values[0][0]).group(0)
        if kind != pkind:
            label = block + ("restricted test" if kind in ("test", "negative") else "restricted CI")
            mismatches.append(Mismatch(study.name, label, "decision", describe(pkind, texts), describe(kind, values)))
            continue
        for (label, value, decimals), text in zip(values, texts):
            compared += 1
            allowed = rounded_texts(value, decimals)
            if text in allowed:
                continue
            mismatches.append(classify(study.name, label, value, decimals, text, allowed))
    return compared, mismatches, losses


def describe(kind, values):
    if kind == "negative":
        return "variance is negative"
    if kind == "nosolution":
        return "the CI has no solution"
    shown = [v if isinstance(v, str) else sorted(rounded_texts(v[1], v[2]))[0] for v in values]
    return f"{kind} {', '.join(shown)}"


def classify(name, label, value, decimals, text, allowed):
    """Sorts a wrongly printed value by the least relative error of a computed value
    that prints as it did: at most 16 units in the last place of a double (no double
    computation could be expected to get it right), at most 1e-13 (the rounding of
    long sums in doubles), or more (digits lost)."""
    expected = " or ".join(sorted(allowed))
    if text in ("nan", "-nan", "inf", "-inf") or isinstance(value, float):
        return Mismatch(name, label, "non-finite", text, expected, approximate(value))
    printed = Fraction(text)
    off = abs(printed - value) * 10**decimals
    if off < 1 and text.lstrip("-") in {e.lstrip("-") for e in allowed}:
        return Mismatch(name, label, "sign of zero", text, expected, approximate(value), float(off))
    half = Fraction(1, 2 * 10**decimals)
    least = max(Fraction(0), abs(printed - value) - half) / abs(value) if value else Fraction(1)
    if least <= 16 * Fraction(2) ** -53:
        kind = "beyond double"
    elif least <= Fraction(1, 10**13):
        kind = "rounding"
    else:
        kind = "digits"
    return Mismatch(name, label, kind, text, expected, approximate(value), float(off), float(least))


# ----------------------------------------------------------------------------
# Studies for the sweep


def fault_studies():
    """The smallest studies of the four cancellation faults, with their exact values."""
    out = []
    for n0, exact in ((89_518, "149.5970"), (10**8, "5000.0000"), (10**9, "15811.3883"),
                      (2_147_483_647, "23170.4750")):
        out.append(Study(f"fault 1: dominant category, N0 = {n0}", 2, 2, 1,
                         [((1, 1), n0, None), ((1, 2), 1, None), ((2, 1), 1, None), ((2, 2), 1, None)],
                         reference={"independence statistic": exact}))
    for m, exact in ((3_333, "-471380.9547"), (333_333, "-471404285.0892")):
        out.append(Study(f"fault 2: cyclic table, m = {m}", 2, 3, 1,
                         [((1, 2), m, None), ((2, 3), m, None), ((3, 1), m + 1, None)],
                         reference={"Wald statistic": exact}))
    out.append(Study("fault 2: two huge agreement cells", 2, 2, 1,
                     [((1, 1), 2 * 10**9, None), ((1, 2), 1, None), ((2, 2), 2 * 10**9, None)],
                     reference={"Wald statistic": "1999999999.7500"}))
    rows = [((1, 1), 2 * 10**9), ((1, 2), 1), ((2, 1), 1), ((2, 2), 2)]
    out.append(Study("fault 3: chance disagreement, case 3", 2, 2, 3, [(c, f, None) for c, f in rows],
                     reference={"QUADRATIC v: independence statistic": "29814.2397",
                                "LINEAR w: independence statistic": "29814.2397"}))
    out.append(Study("fault 3: chance disagreement, case 2", 2, 2, 2,
                     [(c, f, w) for (c, f), w in zip(rows, (0.0, 1.0, 1.0, 0.0))],
                     reference={"v: independence statistic": "29814.2397"}))
    out.append(Study("fault 4: 20 raters", 20, 2, 3,
                     [((1,) * 20, 500_000, None), ((2,) * 20, 499_999, None), ((1,) * 19 + (2,), 1, None)],
                     reference={"QUADRATIC v: independence statistic": "13784.0460"}))
    return out


def further_studies():
    """Small studies of the other mismatches that the sweep finds (see the notes of each)."""
    return [
        # Case 2: the weighted variance, Y - Z^2 of its closed form, cancels 8 digits.
        Study("further: weighted variance cancels", 2, 2, 2,
              [((1, 1), 930448201, 1.02949), ((1, 2), 45704814, 2.62791e-06), ((2, 1), 5, 1.09319e-06),
               ((2, 2), 5, 0.0)], kp="-1000"),
        # Case 2, near-perfect agreement on tiny weights: kappa = 1 - 1e-15, so kappa - 1 keeps one digit.
        Study("further: kappa under test 1, kappa within 1e-15 of 1", 2, 2, 2,
              [((1, 1), 2 * 10**9, 0.0), ((1, 2), 1, 1e-06), ((2, 1), 0, 1.0), ((2, 2), 2 * 10**9, 0.0)], kp="1"),
        # Case 3: the discriminant of the restricted interval is 6.6e-19 > 0 and cancels 17 digits.
        Study("further: restricted interval judged empty", 3, 3, 3,
              [((1, 1, 1), 1671815586, None), ((1, 3, 3), 4, None), ((2, 2, 1), 1, None), ((3, 3, 3), 0, None)],
              confidence="80", kp="-1000000"),
        # Case 2: kappa and its variance are exactly 0.
        Study("further: variance exactly 0", 3, 4, 2,
              [((1, 1, 1), 1637344182, 0.0), ((1, 2, 1), 2, 13.0479), ((4, 4, 4), 0, 0.0)],
              confidence="97.5", kp="-1e6"),
    ]


def ordinary_studies():
    two = [((1, 1), 40), ((1, 2), 10), ((2, 1), 5), ((2, 2), 45)]
    three = [((i, j), f) for (i, j), f in zip(itertools.product((1, 2, 3), repeat=2), (30, 8, 2, 5, 25, 5, 1, 4, 20))]
    quad = {(1, 1): 0.0, (1, 2): 0.25, (1, 3): 1.0, (2, 1): 0.25, (2, 2): 0.0, (2, 3): 0.25,
            (3, 1): 1.0, (3, 2): 0.25, (3, 3): 0.0}
    raters3 = [((1, 1, 1), 30), ((1, 1, 2), 5), ((1, 2, 1), 4), ((2, 1, 1), 3), ((2, 2, 1), 2), ((2, 1, 2), 6),
               ((1, 2, 2), 5), ((2, 2, 2), 45)]
    return [
        Study("example case 1", 2, 2, 1, [(c, f, None) for c, f in two]),
        Study("example case 1, kappa 0.6", 2, 2, 1, [(c, f, None) for c, f in two], kp="0.6"),
        Study("example case 2", 2, 3, 2, [(c, f, quad[c]) for c, f in three]),
        Study("example case 3, kappa 0.5", 2, 3, 3, [(c, f, None) for c, f in three], kp="0.5"),
        Study("example three raters, case 1", 3, 2, 1, [(c, f, None) for c, f in raters3], kp="0.5"),
        Study("example three raters, case 3", 3, 2, 3, [(c, f, None) for c, f in raters3], kp="0.5"),
    ]


CONFIDENCES = ["", "", "50.0001", "99.9999", "80", "97.5", "99"]
KAPPAS = ["", "", "-1000000", "-1000", "-1", "-0.37", "0.5", "0.9", "0.99", "1"]
MAX_FREQUENCY = 2**31 - 1


def valid(rows, K):
    R = len(rows[0][0])
    return K**R <= 2**20 and max(max(c) for c, _, _ in rows) == K and sum(f for _, f, _ in rows) >= 3


def random_rows(rng, R, K, count, frequency, case, weight):
    """count distinct patterns (at most K^R) with frequencies from frequency() and, in
    case 2, weights from weight(codes); the all-K pattern is always among them so that
    the largest code is K."""
    total = K**R
    count = min(count, total)
    if count == total:
        indices = range(total)
    else:
        indices = {total - 1} | set(rng.sample(range(total), count - 1))
    rows = []
    for p in sorted(indices):
        codes = tuple(p // K ** (R - 1 - j) % K + 1 for j in range(R))
        rows.append((codes, frequency(), weight(codes) if case == 2 else None))
    return rows


def case2_weight(rng, low=1e-10, high=1e12):
    def weight(codes):
        if all(c == codes[0] for c in codes) and rng.random() < 0.8:
            return 0.0
        return float(f"{math.exp(rng.uniform(math.log(low), math.log(high))):.6g}")
    return weight


def sweep_studies(rng, large):
    studies = fault_studies() + further_studies() + ordinary_studies()

    def add(name, R, K, rows, case):
        if valid(rows, K):
            studies.append(Study(name, R, K, case, rows, rng.choice(CONFIDENCES), rng.choice(KAPPAS)))

    for i in range(24):  # huge frequencies on few patterns
        R, K, case = rng.choice([2, 2, 3, 4, 5, 6]), rng.randint(2, 6), i % 3 + 1
        rows = random_rows(rng, R, K, rng.randint(2, 40), lambda: rng.randint(0, MAX_FREQUENCY), case,
                           case2_weight(rng))
        add(f"huge n #{i}: R={R} K={K}", R, K, rows, case)
    for i in range(24):  # near-perfect agreement: huge agreement cells, a few disagreeing subjects
        R, K, case = rng.choice([2, 2, 3, 4, 6, 8]), rng.randint(2, 5), i % 3 + 1
        weight = case2_weight(rng)
        rows = {}
        for k in range(1, K + 1):
            rows[(k,) * R] = rng.randint(10**6, MAX_FREQUENCY)
        for _ in range(rng.randint(1, 4)):
            codes = tuple(rng.randint(1, K) for _ in range(R))
            rows.setdefault(codes, rng.randint(1, 3))
        add(f"near-perfect #{i}: R={R} K={K}", R, K,
            [(c, f, weight(c) if case == 2 else None) for c, f in sorted(rows.items())], case)
    for i in range(18):  # one dominant category
        R, K, case = rng.choice([2, 2, 3, 4, 5, 10]), rng.randint(2, 5), i % 3 + 1
        weight = case2_weight(rng)
        rows = {(1,) * R: rng.randint(10**7, MAX_FREQUENCY), (K,) * R: rng.randint(0, 3)}
        for _ in range(rng.randint(1, 6)):
            rows.setdefault(tuple(rng.randint(1, K) for _ in range(R)), rng.randint(1, 5))
        add(f"dominant category #{i}: R={R} K={K}", R, K,
            [(c, f, weight(c) if case == 2 else None) for c, f in sorted(rows.items())], case)
    for i in range(12):  # three subjects
        R, K, case = rng.choice([2, 3, 5, 8, 20]), rng.choice([2, 3]), i % 3 + 1
        weight = case2_weight(rng, 1e-3, 1e3)
        rows = {}
        for subject in range(3):  # the first subject puts rater 0 in category K
            codes = (K,) + tuple(rng.randint(1, K) for _ in range(R - 1)) if subject == 0 else \
                tuple(rng.randint(1, K) for _ in range(R))
            rows[codes] = rows.get(codes, 0) + 1
        rows = dict(sorted(rows.items()))
        add(f"N = 3 #{i}: R={R} K={K}", R, K, [(c, f, weight(c) if case == 2 else None) for c, f in rows.items()], case)
    for i in range(12):  # many raters, sparse pattern lists
        R, K = rng.choice([(20, 2), (16, 2), (13, 2), (10, 4), (8, 5), (5, 16)])
        case = i % 3 + 1
        big = rng.random() < 0.5
        rows = random_rows(rng, R, K, rng.randint(5, 400),
                           (lambda: rng.randint(0, MAX_FREQUENCY)) if big else (lambda: rng.randint(0, 50)), case,
                           case2_weight(rng))
        add(f"many raters #{i}: R={R} K={K}", R, K, rows, case)
    for i in range(10):  # case 2, weights over the whole range, the rest of the table dense
        R, K = rng.choice([(2, 2), (2, 5), (3, 3), (4, 2)])
        rows = random_rows(rng, R, K, K**R, lambda: rng.randint(0, 10**rng.randint(1, 9)), 2, case2_weight(rng))
        add(f"case 2 weights #{i}: R={R} K={K}", R, K, rows, 2)
    shapes = [(20, 2), (10, 4), (2, 1024)] if large else [(2, 1024)]
    for R, K in shapes:  # every one of the 1,048,576 patterns listed
        case = 3 if (R, K) != (10, 4) else 1
        rows = random_rows(rng, R, K, K**R, lambda: rng.randint(0, 2000), case, lambda c: 1.0)
        add(f"all patterns: R={R} K={K} case {case}", R, K, rows, case)
    return studies


# ----------------------------------------------------------------------------
# Commands


def check_studies(studies, binary, verbose, show):
    total_values = 0
    mismatches = []
    reference_failures = []
    study_losses = {}
    exact_seconds = kappa_seconds = 0.0
    for number, study in enumerate(studies, 1):
        status, output, elapsed = run_kappa(binary, study)
        kappa_seconds += elapsed
        start = time.perf_counter()
        compared, found, losses = compare(study, output)
        exact_seconds += time.perf_counter() - start
        if status != 0 or compared == 0:
            found.append(Mismatch(study.name, "run", "structure", f"exit status {status}, {compared} values read",
                                  "a complete report"))
        for label, published in study.reference.items():
            mine = [rounded_texts(v, d) for _, values in exact_lines(study) for lab, v, d in values if lab == label]
            if not mine or published not in mine[0]:
                reference_failures.append((study.name, label, published, mine))
        total_values += compared
        mismatches += found
        study_losses[study.name] = losses
        if verbose:
            print(f"[{number}/{len(studies)}] {study.name}: {compared} values, {len(found)} mismatches", flush=True)

    print(f"\nstudies: {len(studies)}    printed values compared: {total_values}    "
          f"mismatches: {len(mismatches)}")
    print(f"time: kappa {kappa_seconds:.1f} s, exact arithmetic {exact_seconds:.1f} s")
    by_kind = {}
    for m in mismatches:
        by_kind.setdefault((m.kind, strip_block(m.label)), []).append(m)
    if by_kind:
        print("\nmismatches by kind (kind, printed value: count):")
        for (kind, label), items in sorted(by_kind.items()):
            print(f"  {kind:14s} {label}: {len(items)}")
        print(f"\nfirst {min(show, len(mismatches))} mismatches: printed / correctly rounded exact (exact value) "
              "units of the last printed digit; then the digits that the differences behind them cancel")
        last = None
        for m in mismatches[:show]:
            if m.study != last:
                last = m.study
                lost = ", ".join(f"{name} {digits:.1f}" for name, digits in study_losses[m.study].items() if digits >= 2)
                print(f"  {m.study}   [digits lost: {lost or 'none above 2'}]")
            units = f"  {m.units:.4g} units, relative error {m.relative:.2g}" if m.units else ""
            print(f"    {m.kind}: {m.label}: printed {m.printed}, exact {m.expected}"
                  f"{'  (' + m.exact + ')' if m.exact else ''}{units}")
    checked = sum(len(s.reference) for s in studies)
    if checked:
        print(f"\npublished exact values reproduced by this script: {checked - len(reference_failures)} of {checked}")
        for name, label, published, mine in reference_failures:
            print(f"  NOT reproduced: {name} | {label}: published {published}, computed {mine}")
    return 1 if reference_failures else 0


def strip_block(label):
    return re.sub(r"^(QUADRATIC |LINEAR )?(v: |w: )?", "", label)


def command_sweep(args):
    rng = random.Random(args.seed)
    studies = sweep_studies(rng, args.large)
    if args.only:
        studies = [s for s in studies if args.only in s.name]
    return check_studies(studies, args.kappa, args.verbose, args.show)


def command_study(args):
    study = read_study(args.file, args.raters, args.categories, args.case, args.confidence, args.kappa_under_test)
    if args.print_exact:
        for kind, values in exact_lines(study):
            for label, value, decimals in values:
                print(f"{label}: {' or '.join(sorted(rounded_texts(value, decimals)))}  ({approximate(value, 30)})")
            if not values:
                print("restricted CI: (-Infinity, 1.0): the CI has no solution")
            if kind == "negative":
                print("  (variance for the restricted test is negative)")
    return check_studies([study], args.kappa, True, args.show)


def brute_force(study):
    """The chance sums of the Parts over every one of the K^R patterns, in Fractions."""
    m = Margins(study)
    R, K = m.R, m.K
    t = [[m.t(k, j) for j in range(R)] for k in range(K)]
    pats = list(itertools.product(range(K), repeat=R))
    pi = {d: math.prod(t[d[j]][j] for j in range(R)) for d in pats}
    E = {d: [math.prod(t[d[i]][i] for i in range(R) if i != j) for j in range(R)] for d in pats}
    factorT = [[math.prod(t[k][i] for i in range(R) if i != j) for j in range(R)] for k in range(K)]
    H = sum(sum(factorT[d[j]][j] for j in range(R)) ** 2 * pi[d] for d in pats)
    out = {"H": H}
    weight_sets = []
    if study.case == 2:
        weight_sets.append(FileWeights(study))
    if study.case == 3:
        weight_sets += [PairWeights(R, K, False), PairWeights(R, K, True)]
    for i, w in enumerate(weight_sets):
        v = {d: w.value(d) for d in pats}
        De = sum(v[d] * pi[d] for d in pats)
        vbar = [[sum(E[d][j] * v[d] for d in pats if d[j] == k) for j in range(R)] for k in range(K)]
        M = sum((v[d] - sum(vbar[d[j]][j] for j in range(R))) ** 2 * pi[d] for d in pats)
        out[i] = (De, vbar, M)
    return out


def command_selftest(args):
    rng = random.Random(args.seed)
    failures = 0
    for trial in range(args.count):
        R, K = rng.choice([(2, 2), (2, 3), (2, 5), (3, 2), (3, 3), (4, 2), (4, 3), (5, 2), (6, 2)])
        case = trial % 3 + 1
        rows = random_rows(rng, R, K, rng.randint(1, K**R), lambda: rng.randint(0, 30), case,
                           case2_weight(rng, 1e-3, 1e3))
        if not valid(rows, K):
            continue
        study = Study(f"selftest {trial}", R, K, case, rows)
        m = Margins(study)
        brute = brute_force(study)
        if unweighted_quantities(m)["H"] != brute["H"]:
            failures += 1
            print(f"{study.name}: H differs")
        weight_sets = [FileWeights(study)] if case == 2 else [PairWeights(R, K, lin) for lin in (False, True)]
        for i, w in enumerate(weight_sets if case != 1 else []):
            if w.chance(m) != brute[i]:
                failures += 1
                print(f"{study.name}: chance sums of weight set {i} differ")
    # The worked examples of the program's documentation.
    lines = {lab: v for _, values in exact_lines(ordinary_studies()[0]) for lab, v, _ in values}
    q = unweighted_quantities(Margins(ordinary_studies()[0]))
    known = [(q["varkappa"], Fraction("0.005049")), (q["a"], Fraction("-1.2475")), (q["b"], Fraction("-0.3975")),
             (q["mmI"], Fraction("0.2475")), (lines["Raw"], Fraction("0.85"))]
    for got, want in known:
        if got != want:
            failures += 1
            print(f"worked example: {got} != {want}")
    z = critical_value("")
    if f"{float(z):.5f}" != "1.95994":
        failures += 1
        print(f"z for 95 % is {float(z)}")
    print(f"selftest: {args.count} random studies and the worked examples, {failures} failures")
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    running = argparse.ArgumentParser(add_help=False)
    running.add_argument("--kappa", default="build/release/kappa", help="the kappa binary (default: %(default)s)")
    running.add_argument("--show", type=int, default=40, help="mismatches listed in full (default: %(default)s)")

    sweep = commands.add_parser("sweep", parents=[running], help="generated extreme studies and the known fault studies",
                                description="Runs kappa on the fault studies of the four cancellation faults "
                                "(checking that this script reproduces their published exact values), the worked "
                                "examples, and generated studies: huge frequencies (up to 2^31-1 a pattern), "
                                "near-perfect agreement, one dominant category, three subjects, up to 20 raters, "
                                "case-2 weights from 1e-10 to 1e12, kappa under test from -10^6 to 1, confidence "
                                "50.0001 to 99.9999, and a table listing all 1,048,576 patterns of 2 raters and "
                                "1024 categories. Exit status 1 when a published exact value is not reproduced.")
    sweep.add_argument("--seed", type=int, default=8, help="seed of the generated studies (default: %(default)s)")
    sweep.add_argument("--large", action="store_true",
                       help="also list all 1,048,576 patterns of 20 raters x 2 and 10 raters x 4 categories (slow)")
    sweep.add_argument("--only", metavar="TEXT", help="only the studies whose name contains TEXT")
    sweep.add_argument("--verbose", "-v", action="store_true", help="one line per study")
    sweep.set_defaults(run=command_sweep)

    study = commands.add_parser("study", parents=[running], help="one study from its data file",
                                description="Checks one study: FILE in the layout of the case's data file.")
    study.add_argument("file", metavar="FILE")
    study.add_argument("--raters", "-R", type=int, required=True)
    study.add_argument("--categories", "-K", type=int, required=True)
    study.add_argument("--case", type=int, choices=(1, 2, 3), required=True)
    study.add_argument("--confidence", default="", help="the confidence answer (default: empty, 95)")
    study.add_argument("--kappa-under-test", default="", help="the kappa answer (default: empty, 0)")
    study.add_argument("--print-exact", action="store_true", help="also print every exact value")
    study.set_defaults(run=command_study)

    selftest = commands.add_parser("selftest", help="the exact model against brute-force sums",
                                   description="Compares the chance sums computed from the identities with sums "
                                   "over every pattern on random small studies, and checks the worked examples.")
    selftest.add_argument("--count", type=int, default=60)
    selftest.add_argument("--seed", type=int, default=1)
    selftest.set_defaults(run=command_selftest)

    args = parser.parse_args()
    if args.command != "selftest" and not os.access(args.kappa, os.X_OK):
        parser.error(f"no kappa binary at {args.kappa} (build it, or give --kappa PATH)")
    if args.command != "selftest":
        args.kappa = os.path.abspath(args.kappa)
    return args.run(args)


if __name__ == "__main__":
    sys.exit(main())
