// The text report: a heading with the file and the study, then a block per
// estimate with the dialogue's lines in its words, the p-values, the observed
// and chance values, and the notes. Values as the dialogue prints them: %.4f,
// standard errors %.5f, the kappa under test %.2f, raw agreement %.5f.
// p-values with 4 decimals, and "< 0.0001" below that. Values that cannot be
// computed read "n/a"; the notes say why. Texts from the user (the file's
// name, the group, the labels, the notes that quote them) are printable.
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
    for (char& c : weights) c = static_cast<char>(c - 'a' + 'A');
    return e.name + " " + weights;
}

std::string pValue(double p) {
    if (std::isnan(p)) return " = n/a";
    if (p < 0.0001) return " < 0.0001";
    return " = " + fixed(p, 4);
}

std::string distribution(const WaldTest& test) {
    if (test.distribution == Distribution::Normal) return "standard normal";
    return "Student's t with " + shortest(test.df) + " df";
}

std::string interval(const Interval& ci, const std::string& end = ".") {
    return " CI = (" + fixed(ci.lower, 4) + ", " + fixed(ci.upper, 4) + ")" + end;
}

struct Writer {
    std::string text;
    void line(const std::string& s) { text += s + '\n'; }
};

void observedAndChance(Writer& w, const Estimate& e) {
    const std::string observed = fixed(e.observed, 4), chance = fixed(e.chance, 4);
    if (e.coefficient != Coefficient::Kappa)
        w.line(" Observed agreement p_a = " + observed + ", chance agreement p_e = " + chance + ".");
    else if (e.weights == Weighting::None)
        w.line(" Observed agreement = " + observed + ", chance-expected agreement = " + chance + ".");
    else
        w.line(" Observed disagreement = " + observed + ", chance-expected disagreement = " + chance + ".");
}

void restricted(Writer& w, const RestrictedTest& test, const std::string& kappa0) {
    switch (test.basis) {
        case Basis::None: w.line("\n RESTRICTED INFERENCES:"); break;
        case Basis::V: w.line("\n RESTRICTED INFERENCES BASED ON v:"); break;
        case Basis::W: w.line("\n RESTRICTED INFERENCES BASED ON w:"); break;
    }
    if (test.negativeVariance) {
        w.line(" Variance for test statistic (for kappa = " + kappa0 + ") is negative.");
    } else {
        w.line(" Test statistic (for kappa = " + kappa0 + ") = " + fixed(test.statistic, 4) + ".");
        w.line(" p-value (two-sided, standard normal)" + pValue(test.pValue) + ".");
    }
    w.line(test.noSolution ? " (-Infinity, 1.0): the CI has no solution." : interval(test.ci));
    w.line(" Test statistic (for the independence test) = " + fixed(test.independence, 4) + ".");
    w.line(" p-value (two-sided, standard normal)" + pValue(test.independencePValue) + ".");
}

void estimate(Writer& w, const Estimate& e, const Analysis& a) {
    const std::string kappa0 = fixed(a.kappa0, 2);
    w.line("\n " + heading(e) + " " + fixed(e.kappa, 4) + " " + kPlusMinus + " " + fixed(e.se, 5));
    if (e.subjects != a.subjects) w.line(" Subjects used: " + std::to_string(e.subjects));
    observedAndChance(w, e);

    w.line("\n UNRESTRICTED INFERENCES:");
    w.line(" Test statistic (for kappa = " + kappa0 + ") = " + fixed(e.wald.statistic, 4) + ".");
    w.line(" p-value (two-sided, " + distribution(e.wald) + ")" + pValue(e.wald.pValue) + ".");
    w.line(interval(e.wald.ci));

    for (const RestrictedTest& test : e.restricted) restricted(w, test, kappa0);

    if (!e.notes.empty()) {
        w.line("\n Notes:");
        for (const std::string& note : e.notes) w.line(" - " + printable(note));
    }
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
    w.line(" Raters: " + std::to_string(a.raters));
    w.line(" Categories: " + std::to_string(a.categories) + " (" + categoryList(a.labels) + ")");
    w.line(" Confidence: " + shortest(a.confidence) + " % (z = " + fixed(a.z, 5) + ")");
    w.line(" Kappa under test: " + shortest(a.kappa0));
    w.line(" Raw agreement: " + fixed(a.rawAgreement, 5));
    for (const std::string& note : a.notes) w.line(" Note: " + printable(note));
    for (const Estimate& e : a.estimates) estimate(w, e, a);
    return w.text;
}

}  // namespace kappa
