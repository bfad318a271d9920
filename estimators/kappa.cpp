#include "estimators/kappa.h"

#include <vector>

#include "estimators/variance.h"

namespace kappa {

long double leaveOneOutSum(const AnalysisState& s, std::size_t k) {
    long double T = 0.0;
    for (const long double product : s.factorT[k]) T += product;
    return T;
}

long double patternLeaveOneOutSum(const AnalysisState& s, std::size_t p) {
    const auto cat = s.indice[p];
    long double U = 0.0;
    for (std::size_t j = 0; j < cat.size(); ++j) U += s.factorT[cat[j]][j];
    return U;
}

double chanceDisagreement(const AnalysisState& s) {
    // Built rater by rater from terms that are never negative: raters 0..j do
    // not all agree when raters 0..j-1 already did not, or when all of those
    // chose some category k (probability A_k) and rater j chose another one
    // (probability 1 - t_kj, formed from the counts as (n - c_kj) / n).
    const auto K = static_cast<std::size_t>(s.K);
    const auto R = static_cast<std::size_t>(s.R);
    const double n = s.Naux;
    std::vector<double> A(K, 1.0);
    double Q = 0.0;
    for (std::size_t j = 0; j < R; ++j) {
        for (std::size_t k = 0; k < K; ++k) {
            if (j > 0) Q += A[k] * ((n - static_cast<double>(s.clases[k][j])) / n);
            A[k] *= s.t_indice[k][j];
        }
    }
    return Q;
}

void coefficientKappa(AnalysisState& s) {
    const std::size_t P = patternCount(s);
    const auto K = static_cast<std::size_t>(s.K);
    const double n = s.Naux;

    s.I0 = 0.0;
    s.Ie = 0.0;
    for (std::size_t k = 0; k < K; ++k) s.I0 += s.successaux[k] / n;
    for (std::size_t k = 0; k < K; ++k) s.Ie += s.ptotal[k];
    // kappa = (I0 - Ie) / (1 - Ie), with 1 - Ie and 1 - I0 (the observed
    // disagreement) formed as such rather than by subtracting from 1, so that
    // kappa keeps all its digits when agreement is nearly complete.
    s.Q = chanceDisagreement(s);
    std::int64_t agreeing = 0;
    for (std::size_t k = 0; k < K; ++k) agreeing += s.ac[k];
    const double D0 = (n - static_cast<double>(agreeing)) / n;
    s.kappa = (s.Q - D0) / s.Q;

    // Subjects on whom all raters agree: f_k = 1 - (1 - kappa) T_k.
    const auto f = [&](std::size_t k) { return 1 - (1 - s.kappa) * leaveOneOutSum(s, k); };
    s.Xvalue = 0.0;
    for (std::size_t k = 0; k < K; ++k) s.Xvalue += s.successaux[k] * f(k) * f(k) / n;

    // Subjects on whom they do not: -(1 - kappa) U_p.
    const auto disagreeing = [&](std::size_t p) { return s.frec[p].frequency > 0 && s.frec[p].allAgree <= 0; };
    double S = 0.0;
    for (std::size_t p = 0; p < P; ++p) {
        if (disagreeing(p)) {
            const long double U = patternLeaveOneOutSum(s, p);
            S += s.frec[p].frequency * U * U / n;
        }
    }
    s.Yvalue = (1 - s.kappa) * (1 - s.kappa) * S;
    s.Zvalue = static_cast<double>(s.R - 1) * (1 - s.kappa) * s.Ie - s.kappa;

    // Xvalue + Yvalue - Zvalue^2 is the variance over the subjects of g_p
    // (f_k, or -(1 - kappa) U_p), whose mean is -Zvalue; summed as squared
    // deviations from that mean it keeps its digits when it is far below the
    // three terms.
    const double numerator = varianceOf([&](auto term) {
        for (std::size_t k = 0; k < K; ++k) term(s.successaux[k] / n, f(k));
        for (std::size_t p = 0; p < P; ++p)
            if (disagreeing(p)) term(s.frec[p].frequency / n, -(1 - s.kappa) * patternLeaveOneOutSum(s, p));
    });
    s.varkappa = numerator / (n * s.Q * s.Q);
}

}  // namespace kappa
