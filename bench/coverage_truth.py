#!/usr/bin/env python3
"""The population values of the coverage study's model, in exact arithmetic.

The model of bench/coverage_model.h: each subject has a true category c drawn
from the prevalences pi; with probability theta every rater gives c, otherwise
each rater draws from pi on their own. Here the probability of every response
pattern is listed, and each coefficient is computed on that distribution from
its own definition (no closed form of the model is used):

  - Hubert's kappa: P(all raters agree) against the chance of it from each
    rater's own marginals; weighted, 1 - E v / E_chance v with v the sum over
    pairs of raters of the squared distance between their categories;
  - Gwet's framework: the pairwise agreement a_p of each pattern, p_a, the
    pooled prevalences, and the chance agreement of Fleiss, Conger (the mean
    over pairs of raters of each pair's own), Gwet and Brennan-Prediger;
    Krippendorff's alpha as the number of ratings grows, (p_a - p_F) / (1 - p_F).

Python's standard library only:

  bench/coverage_truth.py     print the values that tests/coverage_model_test.cpp pins
"""

import itertools
from fractions import Fraction as F


def pattern_probabilities(K, R, pi, theta):
    for pattern in itertools.product(range(K), repeat=R):
        independent = F(1)
        for c in pattern:
            independent *= pi[c]
        unanimous = pi[pattern[0]] if len(set(pattern)) == 1 else 0
        yield pattern, theta * unanimous + (1 - theta) * independent


def weights(K, quadratic):
    return [[1 - F((k - l) ** 2, (K - 1) ** 2) if quadratic else F(int(k == l)) for l in range(K)] for k in range(K)]


def population_values(K, R, pi, theta, quadratic):
    P = list(pattern_probabilities(K, R, pi, theta))
    assert sum(p for _, p in P) == 1
    w = weights(K, quadratic)
    # Each rater's marginal distribution.
    marginal = [[sum(p for pattern, p in P if pattern[g] == k) for k in range(K)] for g in range(R)]

    def chance(pattern):
        product = F(1)
        for g, c in enumerate(pattern):
            product *= marginal[g][c]
        return product

    if quadratic:
        def v(pattern):
            return sum((a - b) ** 2 for a, b in itertools.combinations(pattern, 2))
        hubert = 1 - sum(p * v(t) for t, p in P) / sum(chance(t) * v(t) for t, _ in P)
    else:
        observed = sum(p for t, p in P if len(set(t)) == 1)
        expected = sum(chance((k,) * R) for k in range(K))
        hubert = (observed - expected) / (1 - expected)

    def agreement(pattern):
        counts = [pattern.count(k) for k in range(K)]
        return sum(counts[k] * (sum(w[k][l] * counts[l] for l in range(K)) - 1) for k in range(K)) / F(R * (R - 1))

    p_a = sum(p * agreement(t) for t, p in P)
    prevalence = [sum(marginal[g][k] for g in range(R)) / R for k in range(K)]
    total = sum(map(sum, w))
    fleiss = sum(w[k][l] * prevalence[k] * prevalence[l] for k in range(K) for l in range(K))
    conger = sum(w[k][l] * marginal[g][k] * marginal[h][l]
                 for g in range(R) for h in range(R) if g != h
                 for k in range(K) for l in range(K)) / (R * (R - 1))
    gwet = total / (K * (K - 1)) * sum(x * (1 - x) for x in prevalence)
    bp = total / F(K * K)

    def corrected(chance_agreement):
        return (p_a - chance_agreement) / (1 - chance_agreement)

    return {"kappa": hubert, "fleiss": corrected(fleiss), "conger": corrected(conger), "gwet": corrected(gwet),
            "alpha": corrected(fleiss), "bp": corrected(bp), "percent": p_a}


# The models the test pins: K, R, prevalences, theta, quadratic weights.
MODELS = [
    (3, 3, [F(8, 10), F(1, 10), F(1, 10)], F(6, 10), False),
    (3, 3, [F(8, 10), F(1, 10), F(1, 10)], F(6, 10), True),
    (5, 2, [F(1, 5)] * 5, F(2, 10), True),
    (2, 5, [F(8, 10), F(2, 10)], F(9, 10), False),
    (5, 3, [F(8, 10)] + [F(1, 20)] * 4, F(0), True),
]

if __name__ == "__main__":
    for K, R, pi, theta, quadratic in MODELS:
        values = population_values(K, R, pi, theta, quadratic)
        print(f"K={K} R={R} pi={[str(x) for x in pi]} theta={theta} {'quadratic' if quadratic else 'none'}")
        for name, value in values.items():
            print(f"  {name:8} {float(value):.17g}  ({value})")
