// CSV: one header line, then one row per file, group, estimate and restricted
// basis (one row, with empty restricted cells, for an estimate without
// restricted tests). RFC 4180 quoting, LF line ends, empty cells for values
// that cannot be computed, doubles in the shortest form that reads back as
// the same double.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "format/format.h"
#include "format/numbers.h"

namespace kappa {

namespace {

constexpr std::array<std::string_view, 33> kColumns = {
    "file", "group", "weights", "basis", "subjects", "raters", "categories", "raw_agreement", "kappa", "se",
    "observed", "chance", "wald_statistic", "wald_p_value", "wald_ci_lower", "wald_ci_upper",
    "restricted_statistic", "restricted_p_value", "restricted_ci_lower", "restricted_ci_upper",
    "independence_statistic", "independence_p_value", "dropped_subjects", "coefficient", "wald_df",
    "confidence", "kappa0", "alternative", "name", "report", "notes", "restricted_ci_set", "raw_agreement_subjects"};

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

// The notes of the analysis, then those of the estimate, each once.
std::string notes(const Analysis& a, const Estimate& e) {
    std::vector<std::string> all = a.notes;
    for (const std::string& note : e.notes)
        if (std::find(all.begin(), all.end(), note) == all.end()) all.push_back(note);
    std::string joined;
    for (const std::string& note : all) joined += (joined.empty() ? "" : "; ") + note;
    return joined;
}

}  // namespace

std::span<const std::string_view> csvColumns() { return kColumns; }

std::string formatCsv(const Source& source, const Analysis& a) {
    using format::shortest;
    std::string rows;
    // The estimates left out come first, where Hubert's kappa comes under --coefficients all.
    std::vector<const Estimate*> estimates;
    for (const Estimate& e : a.leftOut) estimates.push_back(&e);
    for (const Estimate& e : a.estimates) estimates.push_back(&e);
    for (const Estimate* estimate : estimates) {
        const Estimate& e = *estimate;
        // The cells of one row: the restricted ones come from `test`, empty without one.
        const auto emit = [&](const RestrictedTest* test) {
            const bool statistic = test && !test->negativeVariance && !test->zeroVariance;
            const bool interval = test && test->ciSet && test->ciSet->size() == 1;
            rows += row({source.file,
                         source.group.value_or(""),
                         std::string(weightingId(e.weights)),
                         test ? std::string(basisId(test->basis)) : "",
                         integer(e.subjects),
                         a.raters > 0 ? integer(a.raters) : "",
                         integer(a.categories),
                         shortest(a.rawAgreement),
                         shortest(e.kappa),
                         shortest(e.se),
                         shortest(e.observed),
                         shortest(e.chance),
                         e.wald.zeroVariance ? "" : shortest(e.wald.statistic),
                         shortest(e.wald.pValue),
                         shortest(e.wald.ci.lower),
                         shortest(e.wald.ci.upper),
                         statistic ? shortest(test->statistic) : "",
                         statistic ? shortest(test->pValue) : "",
                         interval ? shortest(test->ciSet->front().lower) : "",
                         interval ? shortest(test->ciSet->front().upper) : "",
                         test && !test->independenceZeroVariance ? shortest(test->independence) : "",
                         test ? shortest(test->independencePValue) : "",
                         integer(a.dropped),
                         std::string(coefficientId(e.coefficient)),
                         shortest(e.wald.df),
                         shortest(a.confidence),
                         shortest(a.kappa0),
                         std::string(alternativeId(a.alternative)),
                         e.name,
                         e.report,
                         notes(a, e),
                         test ? intervalSetText(test->ciSet) : "",
                         integer(a.rawAgreementSubjects)});
        };
        if (e.restricted.empty()) emit(nullptr);
        for (const RestrictedTest& test : e.restricted) emit(&test);
    }
    return rows;
}

}  // namespace kappa
