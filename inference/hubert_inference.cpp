#include "inference/hubert_inference.h"

#include <cmath>
#include <string>

#include "inference/text.h"

namespace kappa {

double normalPValue(double statistic) { return std::erfc(std::abs(statistic) / std::sqrt(2.0)); }

namespace {

// kappa - kp. Near 1 a kappa keeps only the leading digits of its distance
// from 1, which its complement 1 - kappa keeps in full: from a kp of 1/2 up,
// where 1 - kp is exact, the difference is taken as (1 - kp) - (1 - kappa).
double fromTested(double kappaHat, double complement, double kp) {
    return kp >= 0.5 ? (1 - kp) - complement : kappaHat - kp;
}

// Kappa with its standard error, the Wald test of kp and the Wald interval;
// only the upper limit is clipped.
void waldInference(Estimate& e, double kappaHat, double difference, double varHat, const HubertSetting& at) {
    const double z = at.z;
    e.kappa = kappaHat;
    e.variance = varHat;
    e.se = std::sqrt(varHat);
    e.wald.distribution = Distribution::Normal;
    e.wald.statistic = difference / e.se;
    e.wald.pValue = normalPValue(e.wald.statistic);
    e.wald.ci.lower = kappaHat - z * e.se;
    e.wald.ci.upper = kappaHat + z * e.se;
    if (e.wald.ci.upper > 1.0) e.wald.ci.upper = 1.0;
}

// The restricted statistic from kappa - kp and the restricted variance V0 at
// kp, and the interval from the discriminant D of its equation: the roots
// (M -+ sqrt(D)) / S.
RestrictedTest restrictedTest(Basis basis, double difference, double V0, double D, double M, double S) {
    RestrictedTest r;
    r.basis = basis;
    r.negativeVariance = V0 < 0;
    if (!r.negativeVariance) {
        r.statistic = difference / std::sqrt(V0);
        r.pValue = normalPValue(r.statistic);
    }
    r.noSolution = D < 0;
    if (!r.noSolution) {
        r.ci.lower = (M - std::sqrt(D)) / S;
        r.ci.upper = (std::sqrt(D) + M) / S;
        if (r.ci.upper > 1.0) r.ci.upper = 1.0;
    }
    return r;
}

void independenceTest(RestrictedTest& r, double I) {
    r.independence = I;
    r.independencePValue = normalPValue(I);
}

std::string basisWords(Basis basis) {
    switch (basis) {
        case Basis::None: return "";
        case Basis::V: return " (based on v)";
        case Basis::W: return " (based on w)";
    }
    return "";
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
        note(format("the estimated variance of kappa is negative (%g): no standard error, Wald test or Wald interval",
                    e.variance));
    else if (e.se == 0)
        note(e.kappa == at.kp ? "the standard error is 0 and kappa equals the kappa under test: the Wald statistic is "
                                "undefined"
                              : "the standard error is 0: the Wald statistic is infinite");
    else if (!std::isfinite(e.se))
        note("the standard error of kappa cannot be computed for these data");
    for (const RestrictedTest& r : e.restricted) {
        const std::string basis = basisWords(r.basis);
        if (r.negativeVariance)
            note(format("restricted variance%s at kappa0 = %g is negative: no restricted statistic", basis.c_str(),
                        at.kp));
        else if (!std::isfinite(r.statistic))
            note(format("restricted variance%s at kappa0 = %g is 0: the restricted statistic is %s", basis.c_str(),
                        at.kp, std::isnan(r.statistic) ? "undefined" : "infinite"));
        if (r.noSolution)
            note(format("the restricted interval%s has no solution: its equation has no real root", basis.c_str()));
        else if (!std::isfinite(r.ci.lower) || !std::isfinite(r.ci.upper))
            note(format("the restricted interval%s cannot be computed for these data", basis.c_str()));
    }
    if (!e.restricted.empty() && !std::isfinite(e.restricted.front().independence))
        note(format("the variance term of the independence test is %s: no independence statistic",
                    independenceTerm <= 0 ? "not positive" : "not a number"));
}

}  // namespace

Estimate unweightedEstimate(const UnweightedKappa& kappa, const UnweightedRestricted& restricted,
                            const HubertSetting& at) {
    Estimate e;
    e.coefficient = Coefficient::Kappa;
    e.weights = Weighting::None;
    e.name = at.R == 2 ? "Cohen's kappa" : "Hubert's kappa";
    e.subjects = static_cast<std::int64_t>(at.n);
    e.observed = kappa.I0;
    e.chance = kappa.Ie;
    const double difference = fromTested(kappa.kappa, kappa.complement, at.kp);
    waldInference(e, kappa.kappa, difference, kappa.varkappa, at);

    // The restricted test of kp and its inverted interval, with the scale
    // factor d = z^2 / (n Q^2).
    const double n = at.n, z = at.z, Q = kappa.Q, a = restricted.a, b = restricted.b;
    const double d = z * z / (n * Q * Q);
    const double u = 1 - at.kp;
    const double V0 = (a * (u * u) - 2 * b * u) / (n * (Q * Q));
    const double D = d * d * b * b + z * z * kappa.varkappa;
    e.restricted.push_back(restrictedTest(Basis::None, difference, V0, D, kappa.kappa + (b - a) * d, 1 - d * a));
    independenceTest(e.restricted.back(), kappa.kappa * Q * std::sqrt(n / restricted.mmI));
    explain(e, at, Q, restricted.mmI);
    return e;
}

Estimate weightedEstimate(const WeightedKappa& kappa, const WeightedRestricted& restricted, Weighting weights,
                          const HubertSetting& at) {
    Estimate e;
    e.coefficient = Coefficient::Kappa;
    e.weights = weights;
    e.name = at.R == 2 ? "Cohen's weighted kappa" : "Hubert's weighted kappa";
    e.subjects = static_cast<std::int64_t>(at.n);
    e.observed = kappa.I0;
    e.chance = kappa.Ie;
    const double kappaHat = kappa.kappa, varHat = kappa.varkappa;
    const double difference = fromTested(kappaHat, kappa.complement, at.kp);
    waldInference(e, kappaHat, difference, varHat, at);

    // The restricted test and interval for the coefficients a, b, c, with the
    // scale factor d = z^2 / (n Q^2).
    const double n = at.n, z = at.z, Q = restricted.Q;
    const double d = (z * z) / (n * Q * Q);
    const auto restrictedFor = [&](Basis basis, double a, double b, double c) {
        const double u = 1 - at.kp;
        const double V0 = ((u * u) * a - (b + b) * u + c) / (n * Q * Q);
        const double D = (b * b - c * a) * (d * d) + varHat * (z * z);
        return restrictedTest(basis, difference, V0, D, (b - a) * d + kappaHat, 1 - d * a);
    };
    e.restricted.push_back(restrictedFor(Basis::V, restricted.a, restricted.b, restricted.c));
    independenceTest(e.restricted.back(), kappaHat * Q * std::sqrt(n / restricted.mmIv));

    // The same with the agreement weights w = 1 - v, whose independence term
    // is the same as that of v.
    const double R = at.R;
    const double aw = restricted.a - Q * 2 * R;
    const double bw = restricted.b - Q * (R * (1 - kappaHat) + 1);
    const double cw = restricted.c - Q * 2 * (1 - kappaHat);
    const double mmIw = restricted.mmIv;
    e.restricted.push_back(restrictedFor(Basis::W, aw, bw, cw));
    independenceTest(e.restricted.back(), kappaHat * Q * std::sqrt(n / mmIw));
    explain(e, at, Q, restricted.mmIv);
    return e;
}

}  // namespace kappa
