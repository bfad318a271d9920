#include "agreement/patterns.h"

#include <algorithm>
#include <optional>

namespace kappa {

namespace {

// The pattern that a data row lists, or nothing when a code lies outside 1..K.
std::optional<std::size_t> patternOfRow(const AnalysisState& s, std::size_t r) {
    std::size_t p = 0;
    for (std::size_t j = 0; j < static_cast<std::size_t>(s.R); ++j) {
        const std::int32_t code = s.data[r][j];
        if (code < 1 || code > s.K) return std::nullopt;
        p = p * static_cast<std::size_t>(s.K) + static_cast<std::size_t>(code - 1);
    }
    return p;
}

}  // namespace

void indicematrix(AnalysisState& s, std::int32_t K, std::int32_t R) {
    const std::size_t patterns = patternCount(K, R);
    const auto raters = static_cast<std::size_t>(R);
    s.indice.reset(patterns, raters);
    // Pattern p + 1 is pattern p plus one in base K: the last digits that are
    // K - 1 roll over to 0 and the digit before them goes up by one.
    for (std::size_t p = 1; p < patterns; ++p) {
        const auto previous = s.indice[p - 1];
        const auto current = s.indice[p];
        std::copy(previous.begin(), previous.end(), current.begin());
        std::size_t j = raters;
        while (j > 0 && current[j - 1] == K - 1) current[--j] = 0;
        if (j > 0) ++current[j - 1];
    }
}

void TablaInicial(AnalysisState& s) {
    const std::size_t P = patternCount(s);
    const auto R = static_cast<std::size_t>(s.R);
    const auto K = static_cast<std::size_t>(s.K);

    // Frequencies and file weights. Rows are taken last to first so that,
    // should two rows list the same combination, the first one stays.
    s.frec.assign(P, PatternRecord{});
    s.weight.assign(P, 1.0);
    for (std::size_t r = static_cast<std::size_t>(s.contextra); r-- > 0;) {
        const auto p = patternOfRow(s, r);
        if (!p) continue;
        s.frec[*p].frequency = s.data[r][R];
        if (s.entrada == 2) s.weight[*p] = s.pesostot[r];
    }

    // Agreement flags, category counts and full-agreement counts.
    s.clases.reset(K, R);
    s.ac.assign(K, 0);
    for (std::size_t p = 0; p < P; ++p) {
        const auto cat = s.indice[p];
        const std::int32_t F = s.frec[p].frequency;
        s.frec[p].allAgree = std::all_of(cat.begin(), cat.end(), [&](auto k) { return k == cat[0]; }) ? 1 : 0;
        for (std::size_t j = 0; j < R; ++j) s.clases[cat[j]][j] += F;
        if (s.frec[p].allAgree) s.ac[cat[0]] = F;
    }

    s.successaux.resize(K);
    s.failaux.reset(K, R);
    for (std::size_t k = 0; k < K; ++k) {
        s.successaux[k] = static_cast<double>(s.ac[k]);
        for (std::size_t j = 0; j < R; ++j) s.failaux[k][j] = static_cast<double>(s.clases[k][j] - s.ac[k]);
    }
}

}  // namespace kappa
