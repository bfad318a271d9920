#include "estimators/weighted_kappa.h"

#include "estimators/variance.h"

namespace kappa {

void vbarSums(AnalysisState& s, const std::vector<double>& v) {
    const std::size_t P = patternCount(s);
    const auto R = static_cast<std::size_t>(s.R);
    s.vbar.reset(static_cast<std::size_t>(s.K), R);
    for (std::size_t p = 0; p < P; ++p) {
        const auto cat = s.indice[p];
        for (std::size_t j = 0; j < R; ++j) s.vbar[cat[j]][j] += s.factorE[p][j] * v[p];
    }
    s.xx.resize(P);
    for (std::size_t p = 0; p < P; ++p) {
        const auto cat = s.indice[p];
        double sum = 0.0;
        for (std::size_t j = 0; j < R; ++j) sum += s.vbar[cat[j]][j];
        s.xx[p].vbarSum = sum;
    }
}

WeightedEstimate weightedKappa(AnalysisState& s, const std::vector<double>& v) {
    const std::size_t P = patternCount(s);
    const double n = s.Naux;
    WeightedEstimate w;

    for (std::size_t p = 0; p < P; ++p) {
        w.I0 += (s.frec[p].frequency * v[p]) / n;
        w.Ie += v[p] * s.prodt[p];
    }
    w.kappa = 1 - w.I0 / w.Ie;

    vbarSums(s, v);
    double S = 0.0;
    for (std::size_t p = 0; p < P; ++p) {
        PatternScratch& x = s.xx[p];
        x.residual = v[p] - x.vbarSum * (1 - w.kappa);
        x.weightedSquare = (s.frec[p].frequency * x.residual * x.residual) / n;
        S += x.weightedSquare;
    }
    w.Yvalue = S / (w.Ie * w.Ie);
    w.Zvalue = static_cast<double>(s.R - 1) * (1 - w.kappa);
    // Yvalue - Zvalue^2 is the variance over the subjects of e_p / Ie, whose
    // mean is -Zvalue: summed as squared deviations from the mean it keeps
    // its digits when it is far below Yvalue.
    const double numerator = varianceOf([&](auto term) {
        for (std::size_t p = 0; p < P; ++p) term(s.frec[p].frequency / n, s.xx[p].residual / w.Ie);
    });
    w.varkappa = numerator / n;
    return w;
}

void coefficientKappa_Weight(AnalysisState& s) {
    if (s.entrada == 2) s.weightlinear = s.weight;

    const WeightedEstimate main = weightedKappa(s, s.weight);
    s.kappa = main.kappa;
    s.varkappa = main.varkappa;

    const WeightedEstimate second = weightedKappa(s, s.weightlinear);
    s.kappalinear = second.kappa;
    s.varkappalinear = second.varkappa;
    s.I0 = second.I0;
    s.Ie = second.Ie;
    s.Yvalue = second.Yvalue;
    s.Zvalue = second.Zvalue;
}

}  // namespace kappa
