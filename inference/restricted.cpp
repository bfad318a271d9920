#include "inference/restricted.h"

#include "estimators/kappa.h"
#include "estimators/weighted_kappa.h"

namespace kappa {

void restricted_1(AnalysisState& s) {
    const std::size_t P = patternCount(s);
    const auto K = static_cast<std::size_t>(s.K);
    const double n = s.Naux;
    const double R1 = s.R - 1;

    s.a = s.b = s.c = s.d = 0.0;
    s.Xvalue = 0.0;
    double G = 0.0;
    for (std::size_t k = 0; k < K; ++k) {
        const double T = leaveOneOutSum(s, k);
        s.Xvalue += s.successaux[k] * T / n;
        G += s.ptotal[k] * T;
    }

    // Every pattern, observed or not and whether or not its raters agree.
    s.Yvalue = 0.0;
    double H = 0.0;
    for (std::size_t p = 0; p < P; ++p) {
        const double U = patternLeaveOneOutSum(s, p);
        s.Yvalue += s.frec[p].frequency * U * U / n;
        H += U * U * s.prodt[p];
    }

    const double agreeing = 1 + R1 * s.Ie;
    s.a = s.Yvalue - agreeing * agreeing;
    s.b = s.Xvalue - (1 + (2.0 * s.R - 1) * s.Ie) / 2;
    s.mmI = (H - 2 * G) + s.Ie * (1 - R1 * R1 * s.Ie);
}

WeightedRestricted weightedRestricted(AnalysisState& s, const std::vector<double>& v) {
    const std::size_t P = patternCount(s);
    const double n = s.Naux;
    const double R1 = s.R - 1;
    WeightedRestricted w;

    for (std::size_t p = 0; p < P; ++p) w.Ie += v[p] * s.prodt[p];
    w.Ie = 1 - w.Ie;

    vbarSums(s, v);
    double M = 0.0;
    for (std::size_t p = 0; p < P; ++p) {
        const double F = s.frec[p].frequency;
        const double sp = s.xx[p].vbarSum;
        w.Xvalue += (F * v[p] * sp) / n;
        w.Yvalue += (F * sp * sp) / n;
        w.Zvalue += (F * v[p] * v[p]) / n;
        M += (v[p] - sp) * s.prodt[p] * (v[p] - sp);
    }
    w.a = w.Yvalue - R1 * (1 - w.Ie) * R1 * (1 - w.Ie);
    w.b = w.Xvalue;
    w.c = w.Zvalue;
    w.mmIv = M - R1 * R1 * (1 - w.Ie) * (1 - w.Ie);
    return w;
}

void restricted_2(AnalysisState& s) {
    const WeightedRestricted main = weightedRestricted(s, s.weight);
    s.Ie = main.Ie;
    s.a = main.a;
    s.b = main.b;
    s.c = main.c;
    s.d = 0.0;
    s.mmIv = main.mmIv;

    const WeightedRestricted second = weightedRestricted(s, s.weightlinear);
    s.Ielinear = second.Ie;
    s.alinear = second.a;
    s.blinear = second.b;
    s.clinear = second.c;
    s.mmIvlinear = second.mmIv;
    s.Xvalue = second.Xvalue;
    s.Yvalue = second.Yvalue;
    s.Zvalue = second.Zvalue;
}

}  // namespace kappa
