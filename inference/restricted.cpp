#include "inference/restricted.h"

#include "estimators/kappa.h"
#include "estimators/variance.h"
#include "estimators/weighted_kappa.h"

namespace kappa {

void restricted_1(AnalysisState& s) {
    const std::size_t P = patternCount(s);
    const auto K = static_cast<std::size_t>(s.K);
    const double n = s.Naux;
    const double R1 = s.R - 1;

    s.a = s.b = s.c = s.d = 0.0;
    s.Xvalue = 0.0;
    for (std::size_t k = 0; k < K; ++k) s.Xvalue += s.successaux[k] * leaveOneOutSum(s, k) / n;

    // Every pattern, observed or not and whether or not its raters agree.
    s.Yvalue = 0.0;
    for (std::size_t p = 0; p < P; ++p) {
        const long double U = patternLeaveOneOutSum(s, p);
        s.Yvalue += s.frec[p].frequency * U * U / n;
    }

    const double agreeing = 1 + R1 * s.Ie;
    s.a = s.Yvalue - agreeing * agreeing;
    s.b = s.Xvalue - (1 + (2.0 * s.R - 1) * s.Ie) / 2;
    // The independence term is the variance, under the chance probabilities,
    // of delta_p - U_p (delta_p = 1 on an all-agree pattern): summed as
    // squared deviations from its mean it keeps its digits when it is far
    // below the sum of the squares, as when one category takes nearly every
    // subject.
    s.mmI = varianceOf([&](auto term) {
        for (std::size_t p = 0; p < P; ++p)
            term(s.prodt[p], (s.frec[p].allAgree ? 1.0 : 0.0) - patternLeaveOneOutSum(s, p));
    });
}

WeightedRestricted weightedRestricted(AnalysisState& s, const std::vector<double>& v) {
    const std::size_t P = patternCount(s);
    const double n = s.Naux;
    const double R1 = s.R - 1;
    WeightedRestricted w;

    for (std::size_t p = 0; p < P; ++p) w.Q += v[p] * s.prodt[p];
    w.Ie = 1 - w.Q;

    vbarSums(s, v);
    for (std::size_t p = 0; p < P; ++p) {
        const double F = s.frec[p].frequency;
        const double sp = s.xx[p].vbarSum;
        w.Xvalue += (F * v[p] * sp) / n;
        w.Yvalue += (F * sp * sp) / n;
        w.Zvalue += (F * v[p] * v[p]) / n;
    }
    w.a = w.Yvalue - R1 * w.Q * R1 * w.Q;
    w.b = w.Xvalue;
    w.c = w.Zvalue;
    // M - ((R - 1) Q)^2 is the variance of v_p - s_p under the chance
    // probabilities (its mean is -(R - 1) Q): summed as squared deviations
    // from the mean it keeps its digits when it is far below M.
    w.mmIv = varianceOf([&](auto term) {
        for (std::size_t p = 0; p < P; ++p) term(s.prodt[p], v[p] - s.xx[p].vbarSum);
    });
    return w;
}

void restricted_2(AnalysisState& s) {
    const WeightedRestricted main = weightedRestricted(s, s.weight);
    s.Ie = main.Ie;
    s.Q = main.Q;
    s.a = main.a;
    s.b = main.b;
    s.c = main.c;
    s.d = 0.0;
    s.mmIv = main.mmIv;

    const WeightedRestricted second = weightedRestricted(s, s.weightlinear);
    s.Ielinear = second.Ie;
    s.Qlinear = second.Q;
    s.alinear = second.a;
    s.blinear = second.b;
    s.clinear = second.c;
    s.mmIvlinear = second.mmIv;
    s.Xvalue = second.Xvalue;
    s.Yvalue = second.Yvalue;
    s.Zvalue = second.Zvalue;
}

}  // namespace kappa
