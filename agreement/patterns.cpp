#include "agreement/patterns.h"

#include <algorithm>
#include <vector>

#include "agreement/pattern_walk.h"

namespace kappa {

AgreementCounts tallyAgreement(const Study& study) {
    AgreementCounts counts;
    counts.R = study.R;
    counts.K = study.K;
    const auto R = static_cast<std::size_t>(study.R);
    const auto K = static_cast<std::size_t>(study.K);
    counts.byCategoryAndRater.reset(K, R);
    counts.unanimousIn.assign(K, 0);

    // Consecutive patterns share their leading digits: block[j] adds up the
    // subjects of the patterns since rater j last changed category, and goes
    // to that category (and to the block of rater j - 1) when it changes.
    std::vector<std::int64_t> block(R, 0);
    std::vector<std::uint16_t> last(R, 0);
    const auto close = [&](std::size_t from) {
        for (std::size_t j = R; j-- > from;) {
            counts.byCategoryAndRater[last[j]][j] += block[j];
            if (j > 0) block[j - 1] += block[j];
            block[j] = 0;
        }
    };
    std::int64_t n = 0;
    for (PatternWalk walk(study.K, study.R); !walk.done(); walk.next()) {
        if (walk.pattern() > 0) close(walk.firstChanged());
        const auto d = walk.digits();
        std::copy(d.begin() + static_cast<std::ptrdiff_t>(walk.firstChanged()), d.end(),
                  last.begin() + static_cast<std::ptrdiff_t>(walk.firstChanged()));
        const std::int64_t F = study.frequency[walk.pattern()];
        block[R - 1] += F;
        if (walk.allAgree()) counts.unanimousIn[d[0]] = F;
        n += F;
    }
    close(0);
    counts.n = static_cast<double>(n);
    for (const std::int64_t agreeing : counts.unanimousIn) counts.unanimousSubjects += agreeing;
    return counts;
}

Matrix<std::int64_t> ratingsByRater(const Study& study, const AgreementCounts& counts) {
    const auto R = static_cast<std::size_t>(study.R);
    const auto K = static_cast<std::size_t>(study.K);
    Matrix<std::int64_t> ratings;
    ratings.reset(R, K);
    for (std::size_t j = 0; j < R; ++j)
        for (std::size_t k = 0; k < K; ++k) ratings[j][k] = counts.byCategoryAndRater[k][j];
    for (const IncompleteSubjects& group : study.incomplete)
        for (std::size_t j = 0; j < R && j < group.codes.size(); ++j)
            if (group.codes[j] != kMissing && group.codes[j] < K) ratings[j][group.codes[j]] += group.count;
    return ratings;
}

}  // namespace kappa
