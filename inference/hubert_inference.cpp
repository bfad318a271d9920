#include "inference/hubert_inference.h"

#include <cmath>
#include <string>

#include "estimators/rounding.h"
#include "inference/intervals.h"
#include "inference/text.h"
#include "inference/wald.h"

namespace kappa {

namespace {

// The restricted test's equation at a critical value z: kappa0 is not
// rejected where (kappa - kappa0)^2 - z^2 V(kappa0) = S kappa0^2 - 2 M kappa0
// + C is not positive, D = M^2 - S C its discriminant over 4. With V(kappa0) =
// (a u^2 - 2 b u + c) / (n Q^2), u = 1 - kappa0 and d = z^2 / (n Q^2),
//   S = 1 - d a,   M = kappa + d (b - a),   C = kappa^2 - d (a - 2 b + c),
// and, expanding M^2 - S C and collecting the terms of V at the estimate,
//   D = d^2 (b^2 - a c) + z^2 Var(kappa),
// which is formed so, without the cancellation of M^2 - S C.
struct Equation {
    double S, M, C, D;
};

// The restricted variance V(kappa0) = (a u^2 - 2 b u + c) / (n Q^2), u = 1 - kappa0.
struct RestrictedVariance {
    double a, b, c;
};

// The kappa0 <= 1 that the restricted test does not reject: (kappa - kappa0)^2
// <= c^2 V(kappa0) two-sided; one-sided, those and every kappa0 on the side of
// the estimate that the alternative does not test where V(kappa0) >= 0. When
// the estimate's own variance V(kappa) is 0, kappa is a limit.
std::optional<IntervalSet> restrictedSet(double kappaHat, const Equation& eq, const RestrictedVariance& V,
                                         Alternative alternative, double knownRoot) {
    if (!std::isfinite(kappaHat) || std::isnan(eq.S) || std::isnan(eq.M) || std::isnan(eq.C) ||
        std::isnan(eq.D))
        return std::nullopt;
    IntervalSet accepted = whereNotPositive(eq.S, eq.M, eq.C, eq.D, knownRoot);
    if (alternative != Alternative::TwoSided) {
        // V(kappa0) >= 0, as a quadratic in kappa0: a k^2 + 2 (b - a) k + (a - 2 b + c).
        const IntervalSet defined = whereNotPositive(-V.a, V.b - V.a, -(V.a - 2 * V.b + V.c), V.b * V.b - V.a * V.c);
        const IntervalSet untested = alternative == Alternative::Greater ? IntervalSet{{kappaHat, HUGE_VAL}}
                                                                          : IntervalSet{{-HUGE_VAL, kappaHat}};
        accepted = unite(accepted, intersect(untested, defined));
    }
    return upToOne(accepted);
}

// The restricted statistic from kappa - kappa0 and the restricted variance V0 at
// kappa0, the dialogue's interval from the discriminant D of the two-sided
// equation (the roots (M -+ sqrt(D)) / S), and the command line's set.
RestrictedTest restrictedTest(Basis basis, double kappaHat, double varHat, double difference, double V0,
                              const Equation& twoSided, const Equation& atCritical, const RestrictedVariance& V,
                              Alternative alternative) {
    RestrictedTest r;
    r.basis = basis;
    r.negativeVariance = V0 < 0;
    if (!r.negativeVariance) {
        r.statistic = difference / std::sqrt(V0);
        r.zeroVariance = V0 == 0;
        if (!r.zeroVariance) r.pValue = normalPValue(r.statistic, alternative);
    }
    const double knownRoot = varHat == 0 ? kappaHat : kNaN;
    r.noSolution = twoSided.D < 0;
    if (!r.noSolution) {
        r.ci = quadraticRoots(twoSided.S, twoSided.M, twoSided.D, knownRoot);
        if (r.ci.upper > 1.0) r.ci.upper = 1.0;
    }
    r.ciSet = restrictedSet(kappaHat, atCritical, V, alternative, knownRoot);
    return r;
}

void independenceTest(RestrictedTest& r, double I, double independenceTerm, Alternative alternative) {
    r.independence = I;
    r.independenceZeroVariance = independenceTerm == 0;
    if (!r.independenceZeroVariance) r.independencePValue = normalPValue(I, alternative);
}

std::string basisWords(Basis basis) {
    switch (basis) {
        case Basis::None: return "";
        case Basis::V: return " (based on v)";
        case Basis::W: return " (based on w)";
    }
    return "";
}

// What the set of a restricted interval is, when it is not the one piece
// that the alternative leads one to expect: bounded, or unbounded below for less.
void explainSet(Estimate& e, const RestrictedTest& r, Alternative alternative) {
    const std::string basis = basisWords(r.basis);
    const auto note = [&](const std::string& sentence) { e.notes.push_back(sentence); };
    const auto limit = [](double x) { return printfText("%.4f", x); };
    if (!r.ciSet) {
        note("the restricted interval" + basis + " cannot be computed for these data");
        return;
    }
    const IntervalSet& set = *r.ciSet;
    const std::string is = "the restricted interval" + basis + " is ";
    // A kappa0 is accepted when the test has a statistic there and does not reject it.
    if (set.empty()) {
        note(is + "empty: the restricted test accepts no kappa0 up to 1");
    } else if (set.size() > 1) {
        note(is + "two disjoint pieces: the restricted test accepts no kappa0 between " + limit(set[0].upper) +
             " and " + limit(set[1].lower));
    } else if (std::isinf(set[0].lower) && set[0].upper == 1.0) {
        note(is + "all of (-infinity, 1]: the restricted test accepts every kappa0 up to 1");
    } else if (std::isinf(set[0].lower) && alternative != Alternative::Less) {
        note(is + "unbounded below: the restricted test accepts every kappa0 below " + limit(set[0].upper));
    } else if (!std::isinf(set[0].lower) && alternative == Alternative::Less) {
        note(is + "bounded below: the restricted test accepts no kappa0 below " + limit(set[0].lower) +
             ", where its variance is negative");
    }
}

// A sentence for every value that cannot be computed.
void explain(Estimate& e, const HubertSetting& at, double Q, double independenceTerm) {
    auto note = [&](std::string sentence) { e.notes.push_back(std::move(sentence)); };
    const bool weighted = e.weights != Weighting::None;
    if (!std::isfinite(e.kappa)) {
        note(Q == 0 ? (weighted ? "the chance-expected disagreement is 0: weighted kappa, its standard error and "
                                  "every test are undefined"
                                : "every rater put every subject in one and the same category (chance agreement is "
                                  "1): kappa, its standard error and every test are undefined")
                    : "kappa cannot be computed for these data: its standard error and every test are undefined");
        return;
    }
    if (e.variance < 0)
        note(printfText("the estimated variance of kappa is negative (%g): no standard error, Wald test or Wald interval",
                    e.variance));
    else if (e.wald.zeroVariance)
        note("the standard error is 0 (every subject adds the same to the estimate): the Wald statistic divides by 0, "
             "so there is no Wald test, and the interval is the estimate alone");
    else if (!std::isfinite(e.se))
        note("the standard error of kappa cannot be computed for these data");
    for (const RestrictedTest& r : e.restricted) {
        const std::string basis = basisWords(r.basis);
        if (r.negativeVariance)
            note(printfText("restricted variance%s at kappa0 = %g is negative: no restricted statistic", basis.c_str(),
                        at.kappa0));
        else if (r.zeroVariance)
            note(printfText("restricted variance%s at kappa0 = %g is 0: the restricted statistic divides by 0, so there "
                        "is no restricted test",
                        basis.c_str(), at.kappa0));
        explainSet(e, r, at.alternative);
    }
    if (e.restricted.empty()) return;
    const RestrictedTest& first = e.restricted.front();
    if (first.independenceZeroVariance)
        note("the variance term of the independence test is 0 (as when a rater chose one category for every "
             "subject): its statistic divides by 0, so there is no independence test");
    else if (!std::isfinite(first.independence))
        note(printfText("the variance term of the independence test is %s: no independence statistic",
                    independenceTerm <= 0 ? "not positive" : "not a number"));
}

}  // namespace

Estimate unweightedEstimate(const UnweightedKappa& kappa, const UnweightedRestricted& restricted,
                            const HubertSetting& at) {
    const PointEstimate point = pointEstimate(kappa, at.n);
    Estimate e = waldEstimate(Coefficient::Kappa, Weighting::None, at.R, point, at.kappa0, at.critical(),
                              at.alternative);
    const double difference = fromTested(point, at.kappa0);

    // The restricted test of kappa0, and the equation of its inverted interval
    // with the scale factor d = z^2 / (n Q^2).
    const double n = at.n, Q = kappa.chanceDisagreement, a = restricted.a, b = restricted.b;
    const auto equation = [&](double z) {
        const double d = z * z / (n * Q * Q);
        return Equation{1 - d * a, kappa.kappa + (b - a) * d, kappa.kappa * kappa.kappa - d * (a - 2 * b),
                        d * d * b * b + z * z * kappa.varkappa};
    };
    const double u = 1 - at.kappa0;
    const double V0 = settled(a * (u * u) - 2 * b * u, restricted.aError * (u * u) + 2 * restricted.bError * std::abs(u)) /
                      (n * (Q * Q));
    e.restricted.push_back(restrictedTest(Basis::None, kappa.kappa, kappa.varkappa, difference, V0, equation(at.z),
                                          equation(at.critical()), {a, b, 0.0}, at.alternative));
    independenceTest(e.restricted.back(), kappa.kappa * Q * std::sqrt(n / restricted.independenceVariance),
                     restricted.independenceVariance, at.alternative);
    explain(e, at, Q, restricted.independenceVariance);
    return e;
}

Estimate weightedEstimate(const WeightedKappa& kappa, const WeightedRestricted& restricted, Weighting weights,
                          const HubertSetting& at) {
    const PointEstimate point = pointEstimate(kappa, at.n);
    Estimate e = waldEstimate(Coefficient::Kappa, weights, at.R, point, at.kappa0, at.critical(), at.alternative);
    const double kappaHat = kappa.kappa, varHat = kappa.varkappa;
    const double difference = fromTested(point, at.kappa0);

    // The restricted test and interval for the coefficients a, b, c (within
    // the errors aError, bError, cError), with the scale factor d = z^2 / (n Q^2).
    const double n = at.n, Q = restricted.chanceDisagreement;
    const auto restrictedFor = [&](Basis basis, const RestrictedVariance& V, const RestrictedVariance& error) {
        const double a = V.a, b = V.b, c = V.c;
        const auto equation = [&](double z) {
            const double d = (z * z) / (n * Q * Q);
            return Equation{1 - d * a, (b - a) * d + kappaHat, kappaHat * kappaHat - d * (a - 2 * b + c),
                            (b * b - c * a) * (d * d) + varHat * (z * z)};
        };
        const double u = 1 - at.kappa0;
        const double V0 = settled((u * u) * a - (b + b) * u + c,
                                  (u * u) * error.a + 2 * std::abs(u) * error.b + error.c) /
                          (n * Q * Q);
        return restrictedTest(basis, kappaHat, varHat, difference, V0, equation(at.z), equation(at.critical()), V,
                              at.alternative);
    };
    const RestrictedVariance error{restricted.aError, restricted.bError, restricted.cError};
    e.restricted.push_back(restrictedFor(Basis::V, {restricted.a, restricted.b, restricted.c}, error));
    independenceTest(e.restricted.back(), kappaHat * Q * std::sqrt(n / restricted.weightedIndependenceVariance),
                     restricted.weightedIndependenceVariance, at.alternative);

    // The same with the agreement weights w = 1 - v, whose independence term
    // is the same as that of v.
    const double R = at.R;
    const double aw = restricted.a - Q * 2 * R;
    const double bw = restricted.b - Q * (R * (1 - kappaHat) + 1);
    const double cw = restricted.c - Q * 2 * (1 - kappaHat);
    const double mmIw = restricted.weightedIndependenceVariance;
    const double P = kappa.operations;
    const RestrictedVariance errorW{error.a + roundingError(P, Q * 2 * R),
                                    error.b + roundingError(P, Q * (R * std::abs(1 - kappaHat) + 1)),
                                    error.c + roundingError(P, Q * 2 * std::abs(1 - kappaHat))};
    e.restricted.push_back(restrictedFor(Basis::W, {aw, bw, cw}, errorW));
    independenceTest(e.restricted.back(), kappaHat * Q * std::sqrt(n / mmIw), mmIw, at.alternative);
    explain(e, at, Q, restricted.weightedIndependenceVariance);
    return e;
}

}  // namespace kappa
