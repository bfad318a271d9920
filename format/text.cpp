// The text report: a heading with the file and the study, then a block per
// estimate with the dialogue's lines in its words, the p-values, the observed
// and chance values, and the notes. Values as the dialogue prints them: %.4f,
// standard errors %.5f, the kappa under test %.2f, raw agreement %.5f.
// p-values with 4 decimals, and "< 0.0001" below that. Values that cannot be
// computed read "n/a"; the notes say why. Texts from the user (the file's
// name, the group, the labels, the notes that quote them) are printable.
#include <algorithm>
#include <cmath>

#include "format/format.h"
#include "format/numbers.h"
#include "input/printable.h"

namespace kappa {

namespace {

using format::fixed;
using format::shortest;

constexpr const char* kPlusMinus = "\xC2\xB1";  // "±" in UTF-8

std::string fileName(const std::string& file) { return file == "-" ? "standard input" : printable(file); }

std::string delimiterName(char c) {
    switch (c) {
        case '\t': return "TAB";
        case ',': return "comma";
        case ';': return "semicolon";
        case ' ': return "blanks";
        default: return std::string("'") + c + "'";
    }
}

// The labels in order; "codes 1 to K" when they are just that.
std::string categoryList(const std::vector<std::string>& labels) {
    bool codes = true;
    for (std::size_t k = 0; k < labels.size() && codes; ++k) codes = labels[k] == std::to_string(k + 1);
    if (codes && !labels.empty()) return "codes 1 to " + std::to_string(labels.size());
    std::string list;
    for (const std::string& label : labels) list += (list.empty() ? "" : ", ") + printable(label);
    return list;
}

// The estimate's heading name, as the dialogue writes it: derived weights in
// capitals after the name ("Cohen's weighted kappa QUADRATIC").
std::string heading(const Estimate& e) {
    if (e.weights == Weighting::None || e.weights == Weighting::File) return e.name;
    std::string weights(weightingId(e.weights));
    for (char& c : weights)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return e.name + " " + weights;
}

std::string pValue(double p) { return (p < 0.0001 ? " " : " = ") + format::pValue(p); }

// A statistic, "n/a" where there is no test.
std::string statistic(double x, bool test) { return test ? fixed(x, 4) : "n/a"; }

// "(two-sided, standard normal)", "(one-sided, greater, Student's t with 19 df)".
std::string pValueLine(Alternative alternative, const std::string& distribution, double p) {
    const std::string tail =
        alternative == Alternative::TwoSided ? "two-sided" : "one-sided, " + std::string(alternativeId(alternative));
    return " p-value (" + tail + ", " + distribution + ")" + pValue(p) + ".";
}

std::string distribution(const WaldTest& test) {
    if (test.distribution == Distribution::Normal) return "standard normal";
    return "Student's t with " + shortest(test.df) + " df";
}

std::string piece(const Interval& ci) {
    std::string text = "(";
    text += format::intervalLimit(ci.lower) + ", " + format::intervalLimit(ci.upper) + ")";
    return text;
}

std::string interval(const Interval& ci) { return " CI = " + piece(ci) + "."; }

// The restricted interval as a set: its pieces, or none.
std::string intervalSet(const std::optional<IntervalSet>& set) {
    if (!set) return interval({});
    if (set->empty()) return " CI = none.";
    std::string pieces;
    for (const Interval& ci : *set) pieces += (pieces.empty() ? "" : " and ") + piece(ci);
    return " CI = " + pieces + ".";
}

// The columns a text takes on a terminal: its UTF-8 characters.
std::size_t displayWidth(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string padLeft(const std::string& text, std::size_t width) {
    return std::string(width - std::min(width, displayWidth(text)), ' ') + text;
}

std::string padRight(const std::string& text, std::size_t width) {
    return text + std::string(width - std::min(width, displayWidth(text)), ' ');
}

// Raters listed one by one in the heading, at most; categories shown beside them, at most.
constexpr std::size_t kMostRatersShown = 20;
constexpr std::size_t kMostCategoriesShown = 20;

struct Writer {
    std::string text;
    void line(const std::string& s) { text += s + '\n'; }
};

// Rows of cells in aligned columns, indented by three spaces: column c
// aligned left when alignment[c] is 'l', else right.
void table(Writer& w, const std::vector<std::vector<std::string>>& rows, std::string_view alignment) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], displayWidth(row[c]));
    }
    for (const auto& row : rows) {
        std::string line = "  ";
        for (std::size_t c = 0; c < row.size(); ++c) {
            const bool left = c < alignment.size() && alignment[c] == 'l';
            line += " " + (left ? padRight(row[c], widths[c]) : padLeft(row[c], widths[c]));
            if (c + 1 < row.size()) line += " ";
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        w.line(line);
    }
}

// "5 to 12 (median 7)"
std::string range(std::int64_t least, double median, std::int64_t most) {
    return std::to_string(least) + " to " + std::to_string(most) + " (median " + shortest(median) + ")";
}

// Each rater's number of ratings and, for a few categories, of each, in
// aligned columns; for many raters, or none named, the ranges of the ratings
// per rater and per subject.
void raterSummary(Writer& w, const Analysis& a) {
    if (a.raterSummary.empty() || a.raterSummary.size() > kMostRatersShown) {
        if (a.raters > 0) w.line(" Ratings per rater: " + range(a.fewestRatings, a.medianRatings, a.mostRatings));
        w.line(" Ratings per subject: " + range(a.fewestPerSubject, a.medianPerSubject, a.mostPerSubject));
        return;
    }
    const bool byCategory = a.labels.size() <= kMostCategoriesShown;
    std::vector<std::vector<std::string>> rows{{"rater", "ratings"}};
    if (byCategory)
        for (const std::string& label : a.labels) rows[0].push_back(printable(label));
    for (const RaterSummary& r : a.raterSummary) {
        rows.push_back({printable(r.name), std::to_string(r.ratings)});
        if (byCategory)
            for (const std::int64_t count : r.counts) rows.back().push_back(std::to_string(count));
    }
    w.line(" Ratings by rater" + std::string(byCategory ? " and category:" : ":"));
    table(w, rows, "l");
}

void observedAndChance(Writer& w, const Estimate& e) {
    const std::string observed = fixed(e.observed, 4), chance = fixed(e.chance, 4);
    if (e.coefficient != Coefficient::Kappa)
        w.line(" Observed agreement p_a = " + observed + ", chance agreement p_e = " + chance + ".");
    else if (e.weights == Weighting::None)
        w.line(" Observed agreement = " + observed + ", chance-expected agreement = " + chance + ".");
    else
        w.line(" Observed disagreement = " + observed + ", chance-expected disagreement = " + chance + ".");
}

void restricted(Writer& w, const RestrictedTest& test, const std::string& kappa0, Alternative alternative) {
    switch (test.basis) {
        case Basis::None: w.line("\n RESTRICTED INFERENCES:"); break;
        case Basis::V: w.line("\n RESTRICTED INFERENCES BASED ON v:"); break;
        case Basis::W: w.line("\n RESTRICTED INFERENCES BASED ON w:"); break;
    }
    if (test.negativeVariance) {
        w.line(" Variance for test statistic (for kappa = " + kappa0 + ") is negative.");
    } else {
        w.line(" Test statistic (for kappa = " + kappa0 + ") = " + statistic(test.statistic, !test.zeroVariance) +
               ".");
        w.line(pValueLine(alternative, "standard normal", test.pValue));
    }
    w.line(intervalSet(test.ciSet));
    w.line(" Test statistic (for the independence test) = " +
           statistic(test.independence, !test.independenceZeroVariance) + ".");
    w.line(pValueLine(alternative, "standard normal", test.independencePValue));
}

void estimate(Writer& w, const Estimate& e, const Analysis& a) {
    const std::string kappa0 = fixed(a.kappa0, 2);
    w.line("\n " + heading(e) + " " + fixed(e.kappa, 4) + " " + kPlusMinus + " " + fixed(e.se, 5));
    if (e.subjects != a.subjects) w.line(" Subjects used: " + std::to_string(e.subjects));
    observedAndChance(w, e);

    // Percent agreement is a proportion, and its test is of the proportion given.
    const std::string tested = e.coefficient == Coefficient::Percent ? "the proportion p_a" : "kappa";
    w.line("\n UNRESTRICTED INFERENCES:");
    w.line(" Test statistic (for " + tested + " = " + kappa0 + ") = " +
           statistic(e.wald.statistic, !e.wald.zeroVariance) + ".");
    w.line(pValueLine(a.alternative, distribution(e.wald), e.wald.pValue));
    w.line(interval(e.wald.ci));

    for (const RestrictedTest& test : e.restricted) restricted(w, test, kappa0, a.alternative);

    if (!e.notes.empty()) {
        w.line("\n Notes:");
        for (const std::string& note : e.notes) w.line(" - " + printable(note));
    }
    w.line("\n Report: " + e.report);
}

// Whether a row of a diagnostic table shows a value as n/a, so that the
// estimate's notes belong under the table.
bool lacksValues(const Estimate& e) {
    return !std::isfinite(e.kappa) || !std::isfinite(e.se) || std::isnan(e.wald.ci.lower + e.wald.ci.upper) ||
           std::isnan(e.reportPValue);
}

// The notes of a diagnostic table's rows, each once, with what they are about.
struct Notes {
    std::vector<std::string> lines;
    void add(const std::string& about, const std::vector<std::string>& notes) {
        for (const std::string& note : notes) {
            std::string line = about.empty() ? note : about + ": " + note;
            if (std::find(lines.begin(), lines.end(), line) == lines.end()) lines.push_back(std::move(line));
        }
    }
};

std::string weightsName(Weighting w) { return std::string(weightingId(w)); }

void pairs(Writer& w, const Diagnostics& d, Notes& notes) {
    if (d.pairsListed) {
        w.line("\n Pairs of raters: Cohen's kappa on the subjects both rated");
        std::vector<std::vector<std::string>> rows{{"rater", "with", "subjects", "weights", "kappa", "SE", "CI", "p"}};
        for (const PairDiagnostics& p : d.pairs) {
            const std::string about = p.first + " and " + p.second;
            notes.add(about, p.notes);
            if (p.estimates.empty()) rows.push_back({p.first, p.second, std::to_string(p.subjects), "", "n/a"});
            for (const Estimate& e : p.estimates) {
                rows.push_back({p.first, p.second, std::to_string(p.subjects), weightsName(e.weights), fixed(e.kappa, 4),
                                fixed(e.se, 5), piece(e.wald.ci), format::pValue(e.reportPValue)});
                if (lacksValues(e)) notes.add(about, e.notes);
            }
        }
        table(w, rows, "llrlrrlr");
    }
    for (const LightKappa& light : d.light) {
        const Spread& s = light.kappas;
        if (light.pairs < 2) continue;  // the kappa of the one pair
        w.line(" Light's kappa" + (d.light.size() > 1 ? " (" + weightsName(light.weights) + ")" : "") +
               ", the mean of " + std::to_string(s.count) + (s.count == 1 ? " pairwise kappa: " : " pairwise kappas: ") + fixed(s.mean, 4) + "; min " +
               fixed(s.min, 4) + ", quartiles " + fixed(s.lowerQuartile, 4) + ", " + fixed(s.median, 4) + ", " +
               fixed(s.upperQuartile, 4) + ", max " + fixed(s.max, 4) + ".");
        notes.add("Light's kappa", light.notes);
    }
}

void raters(Writer& w, const Diagnostics& d, const Analysis& a, Notes& notes) {
    if (d.raters.empty()) return;
    w.line("\n Raters: agreement with the others (the proportion of their pairings that agree), and each estimate "
           "without the rater");
    std::vector<std::vector<std::string>> rows{{"rater", "agreement"}};
    for (const Estimate& e : a.estimates) rows[0].push_back(heading(e));
    for (const RaterDiagnostics& r : d.raters) {
        rows.push_back({r.name, fixed(r.agreement, 4)});
        notes.add(r.name, r.notes);
        for (const Estimate& e : r.leftOut) {
            rows.back().push_back(fixed(e.kappa, 4));
            if (!std::isfinite(e.kappa)) notes.add(r.name + " left out, " + heading(e), e.notes);
        }
    }
    table(w, rows, "l");
}

void categories(Writer& w, const Diagnostics& d, Notes& notes) {
    w.line("\n Categories: Fleiss' kappa of each category against the others, and its proportion of specific "
           "agreement");
    std::vector<std::vector<std::string>> rows{
        {"category", "kappa", "SE", "CI", "p", "specific", "SE", "CI"}};
    for (const CategoryDiagnostics& c : d.categories) {
        const Estimate& e = c.kappa;
        const SpecificAgreement& s = c.specific;
        rows.push_back({c.label, fixed(e.kappa, 4), fixed(e.se, 5), piece(e.wald.ci), format::pValue(e.reportPValue),
                        fixed(s.value, 4), fixed(s.se, 5), piece(s.ci)});
        if (lacksValues(e)) notes.add("category " + c.label, e.notes);
        notes.add("category " + c.label, s.notes);
    }
    table(w, rows, "lrrlrrrl");
}

void crossTable(Writer& w, const CrossTableDiagnostics& t, const Analysis& a, Notes& notes) {
    w.line("\n Cross-table: rows " + t.first + ", columns " + t.second);
    std::vector<std::vector<std::string>> rows{{""}};
    rows[0].insert(rows[0].end(), a.labels.begin(), a.labels.end());
    rows[0].push_back("total");
    std::vector<std::int64_t> columns(t.counts.cols() + 1, 0);
    for (std::size_t k = 0; k < t.counts.rows(); ++k) {
        rows.push_back({k < a.labels.size() ? a.labels[k] : ""});
        std::int64_t total = 0;
        for (std::size_t l = 0; l < t.counts.cols(); ++l) {
            rows.back().push_back(std::to_string(t.counts[k][l]));
            total += t.counts[k][l];
            columns[l] += t.counts[k][l];
        }
        rows.back().push_back(std::to_string(total));
        columns.back() += total;
    }
    rows.push_back({"total"});
    for (const std::int64_t total : columns) rows.back().push_back(std::to_string(total));
    table(w, rows, "l");
    const MarginalHomogeneity& test = t.marginalHomogeneity;
    w.line(" Marginal homogeneity (rater bias): " + test.test + " chi-square = " + fixed(test.statistic, 4) +
           ", df = " + (std::isnan(test.df) ? "n/a" : shortest(test.df)) + ", p-value" + pValue(test.pValue) + ".");
    notes.add(test.test + " test", test.notes);
    if (t.indices) notes.add("indices", t.indices->notes);
    if (t.indices)
        w.line(" Prevalence index = " + fixed(t.indices->prevalence, 4) + ", bias index = " + fixed(t.indices->bias, 4) +
               ", PABAK = " + fixed(t.indices->pabak, 4) + " (positive: " + a.labels.front() + ").");
}

void coincidence(Writer& w, const Matrix<double>& o, const Analysis& a) {
    w.line("\n Coincidence matrix of Krippendorff's alpha (pairs of ratings of one subject, each weighted 1/(m - 1))");
    std::vector<std::vector<std::string>> rows{{""}};
    rows[0].insert(rows[0].end(), a.labels.begin(), a.labels.end());
    for (std::size_t k = 0; k < o.rows(); ++k) {
        rows.push_back({k < a.labels.size() ? a.labels[k] : ""});
        for (const double x : o[k]) rows.back().push_back(fixed(x, 4));
    }
    table(w, rows, "l");
}

void diagnostics(Writer& w, const Diagnostics& d, const Analysis& a) {
    w.line("\n WHERE THE RATERS DISAGREE");
    Notes notes;
    notes.add("", d.notes);
    pairs(w, d, notes);
    raters(w, d, a, notes);
    categories(w, d, notes);
    if (d.crossTable) crossTable(w, *d.crossTable, a, notes);
    if (d.coincidence) coincidence(w, *d.coincidence, a);
    if (notes.lines.empty()) return;
    w.line("\n Notes:");
    for (const std::string& note : notes.lines) w.line(" - " + note);
}

}  // namespace

std::string formatText(const Source& source, const Analysis& a) {
    Writer w;
    w.line(" File: " + fileName(source.file));
    if (source.group) w.line(" Group: " + printable(*source.group));
    std::string input(inputFormatId(source.input));
    if (source.delimiter) input += ", delimiter: " + delimiterName(*source.delimiter);
    w.line(" Input: " + input);
    w.line(" Subjects: " + std::to_string(a.subjects));
    if (a.dropped > 0) w.line(" Subjects left out for missing ratings: " + std::to_string(a.dropped));
    w.line(" Raters: " + (a.raters > 0 ? std::to_string(a.raters) : "none named (counts of ratings per subject)"));
    w.line(" Categories: " + std::to_string(a.categories) + " (" + categoryList(a.labels) + ")");
    raterSummary(w, a);
    const bool oneSided = a.alternative != Alternative::TwoSided;
    w.line(" Confidence: " + shortest(a.confidence) + " % (" + (oneSided ? "one-sided " : "") + "z = " + fixed(a.z, 5) +
           ")");
    w.line(" Kappa under test: " + shortest(a.kappa0));
    if (oneSided)
        w.line(std::string(" Alternative: ") + (a.alternative == Alternative::Greater ? "greater" : "less") +
               " (kappa " + (a.alternative == Alternative::Greater ? ">" : "<") + " kappa0)");
    w.line(" Raw agreement: " + fixed(a.rawAgreement, 5));
    for (const std::string& note : a.notes) w.line(" Note: " + printable(note));
    for (const Estimate& e : a.estimates) estimate(w, e, a);
    if (a.diagnostics) diagnostics(w, *a.diagnostics, a);
    return w.text;
}

}  // namespace kappa
