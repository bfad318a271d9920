// Builds the analysis state of a data set the way the program does after
// loading a data file: response patterns, frequency table and chance products.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "agreement/chance.h"
#include "agreement/patterns.h"
#include "tables/analysis_state.h"

namespace kappa::fixture {

// One row of a data file: the 1-based code of every rater, the frequency and,
// for the weighted layout, the weight.
struct Row {
    std::vector<std::int32_t> codes;
    std::int32_t frequency = 0;
    double weight = 0.0;
};

inline AnalysisState analysisOf(std::int32_t K, std::int32_t entrada, const std::vector<Row>& rows, double kp = 0.0) {
    AnalysisState s;
    s.R = static_cast<std::int32_t>(rows.front().codes.size());
    s.K = K;
    s.entrada = entrada;
    s.kp = kp;
    const auto R = static_cast<std::size_t>(s.R);
    s.data = Matrix<std::int32_t>(rows.size(), R + 1);
    s.contextra = static_cast<std::int32_t>(rows.size());
    s.nraters = s.R;
    s.Naux = 0.0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t j = 0; j < R; ++j) s.data[r][j] = rows[r].codes[j];
        s.data[r][R] = rows[r].frequency;
        s.Naux += rows[r].frequency;
        s.pesostot.push_back(rows[r].weight);
    }
    s.N = s.Naux;
    indicematrix(s, s.K, s.R);
    TablaInicial(s);
    Invariante(s);
    return s;
}

// A data set given by the frequency of every response pattern, pattern p
// being p written in base K with R digits, the first rater's digit first.
inline AnalysisState analysisOfPatterns(std::int32_t K, std::int32_t R, std::int32_t entrada,
                                        const std::vector<std::int32_t>& frequencies) {
    std::vector<Row> rows;
    for (std::size_t p = 0; p < frequencies.size(); ++p) {
        Row row{std::vector<std::int32_t>(static_cast<std::size_t>(R)), frequencies[p]};
        std::size_t rest = p;
        for (std::size_t j = static_cast<std::size_t>(R); j-- > 0; rest /= static_cast<std::size_t>(K))
            row.codes[j] = static_cast<std::int32_t>(rest % static_cast<std::size_t>(K)) + 1;
        rows.push_back(row);
    }
    return analysisOf(K, entrada, rows);
}

// Small deterministic generator for the randomised data sets of the tests.
class Lcg {
public:
    explicit Lcg(std::uint64_t seed) : state_(seed) {}
    std::int32_t below(std::int32_t bound) {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::int32_t>((state_ >> 33) % static_cast<std::uint64_t>(bound));
    }

private:
    std::uint64_t state_;
};

// The worked data sets.
inline const std::vector<Row> kTwoRaters = {{{1, 1}, 40}, {{1, 2}, 10}, {{2, 1}, 5}, {{2, 2}, 45}};
inline const std::vector<Row> kThreeRaters = {{{1, 1, 1}, 30}, {{1, 1, 2}, 5}, {{1, 2, 1}, 4}, {{2, 1, 1}, 3},
                                              {{2, 2, 1}, 2},  {{2, 1, 2}, 6}, {{1, 2, 2}, 5}, {{2, 2, 2}, 45}};
// Two raters, three categories; the weights are the quadratic ones.
inline const std::vector<Row> kThreeCategories = {
    {{1, 1}, 30, 0.0}, {{1, 2}, 8, 0.25}, {{1, 3}, 2, 1.0},  {{2, 1}, 5, 0.25}, {{2, 2}, 25, 0.0},
    {{2, 3}, 5, 0.25}, {{3, 1}, 1, 1.0},  {{3, 2}, 4, 0.25}, {{3, 3}, 20, 0.0}};

}  // namespace kappa::fixture
