// CSV: one header line, then one row per file, group, estimate and restricted
// basis (one row, with empty restricted cells, for an estimate without
// restricted tests). RFC 4180 quoting, LF line ends, empty cells for values
// that cannot be computed, doubles in the shortest form that reads back as
// the same double. With the diagnostics, more columns follow, among them
// `table`, which names the table a row belongs to ("estimates" for the rows
// above, then "pairs", "light", "raters", "categories", "cross_table",
// "marginal_homogeneity", "indices" and "coincidence").
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "format/format.h"
#include "format/numbers.h"

namespace kappa {

namespace {

using format::shortest;

constexpr std::size_t kEstimateColumns = 33;
constexpr std::array<std::string_view, kEstimateColumns + 23> kColumns = {
    "file", "group", "weights", "basis", "subjects", "raters", "categories", "raw_agreement", "kappa", "se",
    "observed", "chance", "wald_statistic", "wald_p_value", "wald_ci_lower", "wald_ci_upper",
    "restricted_statistic", "restricted_p_value", "restricted_ci_lower", "restricted_ci_upper",
    "independence_statistic", "independence_p_value", "dropped_subjects", "coefficient", "wald_df",
    "confidence", "kappa0", "alternative", "name", "report", "notes", "restricted_ci_set", "raw_agreement_subjects",
    // the diagnostics
    "table", "rater", "other_rater", "category", "other_category", "count", "agreement", "agreement_se",
    "agreement_ci_lower", "agreement_ci_upper", "pairs", "min", "lower_quartile", "median", "upper_quartile", "max",
    "test", "statistic", "df", "p_value", "prevalence_index", "bias_index", "pabak"};

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

// One row: its cells set by column name, the others empty.
class Row {
public:
    explicit Row(bool diagnostics) : cells_(diagnostics ? kColumns.size() : kEstimateColumns) {}

    Row& set(std::string_view column, std::string value) {
        const auto at = static_cast<std::size_t>(std::find(kColumns.begin(), kColumns.end(), column) - kColumns.begin());
        if (at < cells_.size()) cells_[at] = std::move(value);
        return *this;
    }

    std::string line() const {
        std::string line;
        for (std::size_t i = 0; i < cells_.size(); ++i) {
            if (i > 0) line += ',';
            line += field(cells_[i]);
        }
        return line + '\n';
    }

private:
    std::vector<std::string> cells_;
};

// Notes and more notes, each once.
std::vector<std::string> joined(std::vector<std::string> all, const std::vector<std::string>& more) {
    for (const std::string& note : more)
        if (std::find(all.begin(), all.end(), note) == all.end()) all.push_back(note);
    return all;
}

// The notes of a row, joined with "; ".
std::string noteText(const std::vector<std::string>& notes) {
    std::string text;
    for (const std::string& note : notes) text += (text.empty() ? "" : "; ") + note;
    return text;
}

const std::vector<std::string> none;

// A row with the cells of the study: file, group, raters, options.
Row studyRow(const Source& source, const Analysis& a, std::string_view table) {
    Row row(a.diagnostics.has_value());
    row.set("file", source.file)
        .set("group", source.group.value_or(""))
        .set("raters", a.raters > 0 ? integer(a.raters) : "")
        .set("categories", integer(a.categories))
        .set("raw_agreement", shortest(a.rawAgreement))
        .set("dropped_subjects", integer(a.dropped))
        .set("confidence", shortest(a.confidence))
        .set("kappa0", shortest(a.kappa0))
        .set("alternative", std::string(alternativeId(a.alternative)))
        .set("raw_agreement_subjects", integer(a.rawAgreementSubjects))
        .set("table", std::string(table));
    return row;
}

// The cells of an estimate, the restricted ones from `test` (none: empty).
void setEstimate(Row& row, const Estimate& e, const RestrictedTest* test) {
    const bool statistic = test && !test->negativeVariance && !test->zeroVariance;
    const bool interval = test && test->ciSet && test->ciSet->size() == 1;
    row.set("weights", std::string(weightingId(e.weights)))
        .set("basis", test ? std::string(basisId(test->basis)) : "")
        .set("subjects", integer(e.subjects))
        .set("kappa", shortest(e.kappa))
        .set("se", shortest(e.se))
        .set("observed", shortest(e.observed))
        .set("chance", shortest(e.chance))
        .set("wald_statistic", e.wald.zeroVariance ? "" : shortest(e.wald.statistic))
        .set("wald_p_value", shortest(e.wald.pValue))
        .set("wald_ci_lower", shortest(e.wald.ci.lower))
        .set("wald_ci_upper", shortest(e.wald.ci.upper))
        .set("restricted_statistic", statistic ? shortest(test->statistic) : "")
        .set("restricted_p_value", statistic ? shortest(test->pValue) : "")
        .set("restricted_ci_lower", interval ? shortest(test->ciSet->front().lower) : "")
        .set("restricted_ci_upper", interval ? shortest(test->ciSet->front().upper) : "")
        .set("independence_statistic", test && !test->independenceZeroVariance ? shortest(test->independence) : "")
        .set("independence_p_value", test ? shortest(test->independencePValue) : "")
        .set("coefficient", std::string(coefficientId(e.coefficient)))
        .set("wald_df", shortest(e.wald.df))
        .set("name", e.name)
        .set("report", e.report)
        .set("restricted_ci_set", test ? intervalSetText(test->ciSet) : "");
}

// The rows of an estimate: one per restricted basis, or one.
void estimateRows(std::string& rows, const Row& base, const Estimate& e, const std::vector<std::string>& notes) {
    const auto emit = [&](const RestrictedTest* test) {
        Row row = base;
        setEstimate(row, e, test);
        row.set("notes", noteText(joined(notes, e.notes)));
        rows += row.line();
    };
    if (e.restricted.empty()) emit(nullptr);
    for (const RestrictedTest& test : e.restricted) emit(&test);
}

void diagnosticRows(std::string& rows, const Source& source, const Analysis& a) {
    const Diagnostics& d = *a.diagnostics;
    const std::vector<std::string> notes = [&] {
        std::vector<std::string> all = a.notes;
        all.insert(all.end(), d.notes.begin(), d.notes.end());
        return all;
    }();
    const auto label = [&](std::size_t k) { return k < a.labels.size() ? a.labels[k] : ""; };
    for (const PairDiagnostics& p : d.pairs) {
        Row row = studyRow(source, a, "pairs");
        row.set("rater", p.first).set("other_rater", p.second).set("subjects", integer(p.subjects));
        if (p.estimates.empty()) rows += row.set("notes", noteText(joined(notes, p.notes))).line();
        for (const Estimate& e : p.estimates) estimateRows(rows, row, e, notes);
    }
    for (const LightKappa& light : d.light) {
        const Spread& s = light.kappas;
        rows += studyRow(source, a, "light")
                    .set("weights", std::string(weightingId(light.weights)))
                    .set("kappa", shortest(s.mean))
                    .set("pairs", integer(static_cast<std::int64_t>(s.count)))
                    .set("min", shortest(s.min))
                    .set("lower_quartile", shortest(s.lowerQuartile))
                    .set("median", shortest(s.median))
                    .set("upper_quartile", shortest(s.upperQuartile))
                    .set("max", shortest(s.max))
                    .set("notes", noteText(joined(notes, light.notes)))
                    .line();
    }
    for (const RaterDiagnostics& r : d.raters) {
        Row row = studyRow(source, a, "raters");
        row.set("rater", r.name).set("agreement", shortest(r.agreement));
        if (r.leftOut.empty()) rows += Row(row).set("notes", noteText(joined(notes, r.notes))).line();
        for (const Estimate& e : r.leftOut)
            rows += Row(row)
                        .set("coefficient", std::string(coefficientId(e.coefficient)))
                        .set("weights", std::string(weightingId(e.weights)))
                        .set("name", e.name)
                        .set("subjects", integer(e.subjects))
                        .set("kappa", shortest(e.kappa))
                        .set("notes", noteText(joined(joined(notes, r.notes), std::isfinite(e.kappa) ? none : e.notes)))
                        .line();
    }
    for (const CategoryDiagnostics& c : d.categories) {
        Row row = studyRow(source, a, "categories");
        setEstimate(row, c.kappa, nullptr);
        row.set("category", c.label)
            .set("agreement", shortest(c.specific.value))
            .set("agreement_se", shortest(c.specific.se))
            .set("agreement_ci_lower", shortest(c.specific.ci.lower))
            .set("agreement_ci_upper", shortest(c.specific.ci.upper))
            .set("notes", noteText(joined(joined(notes, c.kappa.notes), c.specific.notes)));
        rows += row.line();
    }
    if (d.crossTable) {
        const Matrix<std::int64_t>& n = d.crossTable->counts;
        for (std::size_t k = 0; k < n.rows(); ++k)
            for (std::size_t l = 0; l < n.cols(); ++l)
                rows += studyRow(source, a, "cross_table")
                            .set("category", label(k))
                            .set("other_category", label(l))
                            .set("count", integer(n[k][l]))
                            .set("notes", noteText(notes))
                            .line();
        const MarginalHomogeneity& test = d.crossTable->marginalHomogeneity;
        rows += studyRow(source, a, "marginal_homogeneity")
                    .set("test", test.test)
                    .set("statistic", shortest(test.statistic))
                    .set("df", shortest(test.df))
                    .set("p_value", shortest(test.pValue))
                    .set("notes", noteText(joined(notes, test.notes)))
                    .line();
        if (const auto& indices = d.crossTable->indices)
            rows += studyRow(source, a, "indices")
                        .set("prevalence_index", shortest(indices->prevalence))
                        .set("bias_index", shortest(indices->bias))
                        .set("pabak", shortest(indices->pabak))
                        .set("notes", noteText(joined(notes, indices->notes)))
                        .line();
    }
    if (d.coincidence)
        for (std::size_t k = 0; k < d.coincidence->rows(); ++k)
            for (std::size_t l = 0; l < d.coincidence->cols(); ++l)
                rows += studyRow(source, a, "coincidence")
                            .set("category", label(k))
                            .set("other_category", label(l))
                            .set("count", shortest((*d.coincidence)[k][l]))
                            .set("notes", noteText(notes))
                            .line();
}

}  // namespace

std::span<const std::string_view> csvColumns(bool diagnostics) {
    return std::span<const std::string_view>(kColumns).first(diagnostics ? kColumns.size() : kEstimateColumns);
}

std::string formatCsv(const Source& source, const Analysis& a) {
    std::string rows;
    // The estimates left out come first, where Hubert's kappa comes under --coefficients all.
    std::vector<const Estimate*> estimates;
    for (const Estimate& e : a.leftOut) estimates.push_back(&e);
    for (const Estimate& e : a.estimates) estimates.push_back(&e);
    for (const Estimate* e : estimates) estimateRows(rows, studyRow(source, a, "estimates"), *e, a.notes);
    if (a.diagnostics) diagnosticRows(rows, source, a);
    return rows;
}

}  // namespace kappa
