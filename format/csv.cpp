// CSV: one header line, then one row per file, group, estimate and restricted
// basis (one row, with empty restricted cells, for an estimate without
// restricted tests). RFC 4180 quoting, LF line ends, empty cells for values
// that cannot be computed, doubles in the shortest form that reads back as
// the same double.
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "format/format.h"
#include "format/numbers.h"

namespace kappa {

namespace {

constexpr std::array<std::string_view, 25> kColumns = {
    "file", "group", "weights", "basis", "subjects", "raters", "categories", "raw_agreement", "kappa", "se",
    "observed", "chance", "wald_statistic", "wald_p_value", "wald_ci_lower", "wald_ci_upper",
    "restricted_statistic", "restricted_p_value", "restricted_ci_lower", "restricted_ci_upper",
    "independence_statistic", "independence_p_value", "dropped_subjects", "coefficient", "wald_df"};

// A field, quoted when it holds a comma, a quote or a line break.
std::string field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string integer(std::int64_t n) { return std::to_string(n); }

std::string row(const std::vector<std::string>& cells) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) line += ',';
        line += field(cells[i]);
    }
    return line + '\n';
}

}  // namespace

std::span<const std::string_view> csvColumns() { return kColumns; }

std::string formatCsv(const Source& source, const Analysis& a) {
    using format::shortest;
    std::string rows;
    for (const Estimate& e : a.estimates) {
        // The cells of one row: the restricted ones come from `test`, empty without one.
        const auto emit = [&](const RestrictedTest* test) {
            const bool statistic = test && !test->negativeVariance;
            const bool interval = test && !test->noSolution;
            rows += row({source.file,
                         source.group.value_or(""),
                         std::string(weightingId(e.weights)),
                         test ? std::string(basisId(test->basis)) : "",
                         integer(e.subjects),
                         integer(a.raters),
                         integer(a.categories),
                         shortest(a.rawAgreement),
                         shortest(e.kappa),
                         shortest(e.se),
                         shortest(e.observed),
                         shortest(e.chance),
                         shortest(e.wald.statistic),
                         shortest(e.wald.pValue),
                         shortest(e.wald.ci.lower),
                         shortest(e.wald.ci.upper),
                         statistic ? shortest(test->statistic) : "",
                         statistic ? shortest(test->pValue) : "",
                         interval ? shortest(test->ci.lower) : "",
                         interval ? shortest(test->ci.upper) : "",
                         test ? shortest(test->independence) : "",
                         test ? shortest(test->independencePValue) : "",
                         integer(a.dropped),
                         std::string(coefficientId(e.coefficient)),
                         shortest(e.wald.df)});
        };
        if (e.restricted.empty()) emit(nullptr);
        for (const RestrictedTest& test : e.restricted) emit(&test);
    }
    return rows;
}

}  // namespace kappa
