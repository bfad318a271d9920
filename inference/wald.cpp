#include "inference/wald.h"

#include <cmath>
#include <utility>

#include "inference/intervals.h"
#include "inference/student_t.h"

namespace kappa {

double normalPValue(double statistic, Alternative alternative) {
    switch (alternative) {
        case Alternative::TwoSided: break;
        case Alternative::Greater: return std::erfc(statistic / std::sqrt(2.0)) / 2;
        case Alternative::Less: return std::erfc(-statistic / std::sqrt(2.0)) / 2;
    }
    return std::erfc(std::abs(statistic) / std::sqrt(2.0));
}

double fromTested(const PointEstimate& p, double kappa0) {
    return kappa0 >= 0.5 && !std::isnan(p.complement) ? (1 - kappa0) - p.complement : p.value - kappa0;
}

WaldTest waldTest(const PointEstimate& p, double kappa0, double critical, Alternative alternative) {
    WaldTest wald;
    wald.distribution = p.distribution;
    wald.df = p.df;
    const double se = std::sqrt(p.variance);
    if (std::isnan(p.value) || std::isnan(se)) return wald;

    wald.statistic = fromTested(p, kappa0) / se;
    wald.zeroVariance = se == 0;
    if (!wald.zeroVariance)
        wald.pValue = p.distribution == Distribution::StudentT ? studentPValue(wald.statistic, p.df, alternative)
                                                               : normalPValue(wald.statistic, alternative);
    // No sampling variation: the interval is the estimate itself.
    wald.ci = waldInterval(p.value, wald.zeroVariance ? 0.0 : critical * se, alternative);
    return wald;
}

Estimate waldEstimate(Coefficient c, Weighting w, std::int32_t raters, PointEstimate p, double kappa0,
                      double critical, Alternative alternative) {
    Estimate e;
    e.coefficient = c;
    e.weights = w;
    e.name = displayName(c, w, raters);
    e.subjects = p.subjects;
    e.kappa = p.value;
    e.variance = p.variance;
    e.se = std::sqrt(p.variance);
    e.observed = p.observed;
    e.chance = p.chance;
    e.wald = waldTest(p, kappa0, critical, alternative);
    e.notes = std::move(p.notes);
    return e;
}

}  // namespace kappa
