#include "inference/chance_corrected.h"

#include "inference/student_t.h"
#include "inference/wald.h"

namespace kappa {

Estimate chanceCorrectedEstimate(const ChanceCorrectedStudy& study, Coefficient c, double confidence, double kappa0,
                                 Alternative alternative) {
    const PointEstimate p = study.estimate(c);
    Estimate e = waldEstimate(c, study.weighting(), study.study().R, p, kappa0,
                              studentConfidenceQuantile(confidence, p.df, alternative), alternative);
    if (e.wald.zeroVariance)
        e.notes.push_back("the standard error is 0 (every subject adds the same to the estimate): the test "
                          "statistic divides by 0, so there is no test, and the interval is the estimate alone");
    return e;
}

Estimate chanceCorrectedEstimate(const Study& study, Coefficient c, Weighting weighting, double confidence,
                                 double kappa0, Alternative alternative) {
    return chanceCorrectedEstimate(ChanceCorrectedStudy(study, weighting), c, confidence, kappa0, alternative);
}

}  // namespace kappa
