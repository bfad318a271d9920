// The counts that every estimate starts from: how many subjects each rater put
// in each category, and how many subjects all raters put in the same one.
#pragma once

#include <cstdint>
#include <vector>

#include "tables/matrix.h"
#include "tables/study.h"

namespace kappa {

struct AgreementCounts {
    std::int32_t R = 0;
    std::int32_t K = 0;
    double n = 0.0;                  // subjects rated by every rater
    Matrix<std::int64_t> clases;     // clases[k][j]: subjects rater j put in category k
    std::vector<std::int64_t> ac;    // ac[k]: subjects on whom all raters chose k
    std::int64_t crudo = 0;          // subjects on whom all raters agree
};

// The counts of the study's complete subjects.
AgreementCounts TablaInicial(const Study& study);

// ratings[j][k]: the subjects rater j put in category k, complete subjects
// (from `counts`) and incomplete ones alike.
Matrix<std::int64_t> ratingsByRater(const Study& study, const AgreementCounts& counts);

}  // namespace kappa
