#include "estimators/kappa.h"

namespace kappa {

double leaveOneOutSum(const AnalysisState& s, std::size_t k) {
    double T = 0.0;
    for (const double product : s.factorT[k]) T += product;
    return T;
}

double patternLeaveOneOutSum(const AnalysisState& s, std::size_t p) {
    const auto cat = s.indice[p];
    double U = 0.0;
    for (std::size_t j = 0; j < cat.size(); ++j) U += s.factorT[cat[j]][j];
    return U;
}

void coefficientKappa(AnalysisState& s) {
    const std::size_t P = patternCount(s);
    const auto K = static_cast<std::size_t>(s.K);
    const double n = s.Naux;

    s.I0 = 0.0;
    s.Ie = 0.0;
    for (std::size_t k = 0; k < K; ++k) s.I0 += s.successaux[k] / n;
    for (std::size_t k = 0; k < K; ++k) s.Ie += s.ptotal[k];
    s.kappa = (s.I0 - s.Ie) / (1 - s.Ie);

    // Subjects on whom all raters agree: f_k = 1 - (1 - kappa) T_k.
    s.Xvalue = 0.0;
    for (std::size_t k = 0; k < K; ++k) {
        const double f = 1 - (1 - s.kappa) * leaveOneOutSum(s, k);
        s.Xvalue += s.successaux[k] * f * f / n;
    }

    // Subjects on whom they do not: -(1 - kappa) U_p.
    double S = 0.0;
    for (std::size_t p = 0; p < P; ++p) {
        const PatternRecord& record = s.frec[p];
        if (record.frequency > 0 && record.allAgree <= 0) {
            const double U = patternLeaveOneOutSum(s, p);
            S += record.frequency * U * U / n;
        }
    }
    s.Yvalue = (1 - s.kappa) * (1 - s.kappa) * S;
    s.Zvalue = static_cast<double>(s.R - 1) * (1 - s.kappa) * s.Ie - s.kappa;
    s.varkappa = (s.Xvalue + s.Yvalue - s.Zvalue * s.Zvalue) / (n * (1 - s.Ie) * (1 - s.Ie));
}

}  // namespace kappa
