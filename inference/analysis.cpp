// TEMPORARY: the analysis of a study lands with the rewritten core. Until then
// this definition lets the program link; it estimates nothing.
#include "inference/analysis.h"

namespace kappa {

Analysis analyse(const Study& study, const AnalysisRequest& request) {
    Analysis analysis;
    analysis.raters = study.R;
    analysis.categories = study.K;
    analysis.labels = study.labels;
    analysis.dropped = study.dropped;
    analysis.confidence = request.confidence;
    analysis.kappa0 = request.kappa0;
    analysis.notes.push_back("not implemented yet: no estimates");
    return analysis;
}

}  // namespace kappa
