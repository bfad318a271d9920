#include "inference/prepare.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "input/printable.h"
#include "input/study_builder.h"

namespace kappa {

namespace {

// Coefficient c, asked for under --coefficients all, is left out of this
// study, with a note that says `why`.
void leaveOut(Prepared& prepared, Coefficient c, const std::string& why) {
    AnalysisRequest& request = prepared.request;
    if (std::find(request.coefficients.begin(), request.coefficients.end(), c) == request.coefficients.end()) return;
    std::erase(request.coefficients, c);
    const std::string name(catalogEntry(c).name);
    prepared.notes.push_back(name + " is left out: " + why);
    for (const Weighting w : request.weights)
        if (takesWeights(c, w)) {
            Estimate& e = prepared.leftOut.emplace_back();
            e.coefficient = c;
            e.weights = w;
            e.name = name;
            e.notes = {prepared.notes.back()};
        }
}

bool requests(const AnalysisRequest& request, Coefficient c) {
    if (std::find(request.coefficients.begin(), request.coefficients.end(), c) == request.coefficients.end())
        return false;
    return std::any_of(request.weights.begin(), request.weights.end(),
                       [&](Weighting w) { return takesWeights(c, w); });
}

}  // namespace

std::optional<InputError> prepare(Study& study, InputFormat format, bool ordered, const PrepareOptions& options,
                                  Prepared& prepared) {
    const auto error = [](std::string message, std::int64_t line = 0) {
        return InputError{line, 0, std::move(message)};
    };
    prepared.request = options.request;
    AnalysisRequest& request = prepared.request;

    const bool counts = format == InputFormat::Counts;
    if (study.R < 2 && !counts) return error("found " + plural(study.R, "rater", "raters") + "; at least 2 are needed");
    if (study.K < 2)
        return error("found " + plural(study.K, "category", "categories") +
                     "; at least 2 are needed (--categories also counts categories that nobody chose)");

    if (counts)
        for (const CoefficientEntry& entry : kCoefficientCatalog)
            if (entry.needsRaters)
                leaveOut(prepared, entry.coefficient,
                         "it needs each rater's ratings, and counts of ratings per subject name no raters");

    // Hubert's kappa needs the table of response patterns, which only a
    // study within its limits has.
    const bool fits = hasPatternTable(study) && study.R <= kMaxRaters &&
                      std::pow(static_cast<double>(study.K), static_cast<double>(study.R)) <= kMaxPatterns;
    if (!fits && requests(request, Coefficient::Kappa)) {
        const double patterns = std::pow(static_cast<double>(study.K), static_cast<double>(study.R));
        const std::string beyond =
            "needs the table of all K^R response patterns, which takes at most " +
            std::to_string(kMaxRaters) + " raters and " + kMaxPatternsText + " patterns, and " +
            plural(study.R, "rater", "raters") + " and " + plural(study.K, "category", "categories") + " make K^R = " +
            std::to_string(study.K) + "^" + std::to_string(study.R) +
            (patterns < 0x1p53 ? " = " + std::to_string(static_cast<long long>(patterns)) : std::string());
        if (!options.allCoefficients)
            return error("Hubert's kappa " + beyond + ": --coefficients " +
                         coefficientIds(&CoefficientEntry::needsPatternTable, false) + " have no such limit");
        leaveOut(prepared, Coefficient::Kappa, "it " + beyond + "; the other coefficients have no such limit");
    }

    std::int64_t incomplete = 0, firstLine = 0;
    for (const IncompleteSubjects& group : study.incomplete) {
        incomplete += group.count;
        if (group.firstLine > 0 && (firstLine == 0 || group.firstLine < firstLine)) firstLine = group.firstLine;
    }
    if (!hasPatternTable(study) && !counts)
        for (std::size_t p = 0; p < study.profiles.size(); ++p)
            if (study.profiles.ratings(p) < study.R) incomplete += study.profiles.subjects(p);
    // What analyses subjects with missing ratings: the coefficients that use
    // them (unless only the file's weights, which they do not take, are asked).
    const bool otherCoefficientsFit = std::any_of(request.weights.begin(), request.weights.end(),
                                                  [](Weighting w) { return w != Weighting::File; });
    const std::string useThem =
        otherCoefficientsFit ? "--coefficients fleiss,gwet,alpha use every subject, whatever ratings it lacks" : "";
    if (incomplete > 0) {
        if (options.dropIncomplete) {
            study.dropped += incomplete;
            if (hasPatternTable(study))
                study.incomplete.clear();
            else
                study = completeSubjectsOf(study);
            incomplete = 0;
        } else if (requests(request, Coefficient::Kappa)) {
            const std::string count = plural(incomplete, "subject has", "subjects have") + " missing ratings";
            if (!options.allCoefficients)
                return error("a subject with a missing rating: Hubert's kappa needs every rater's rating of every "
                             "subject, and " + count + ": " + (useThem.empty() ? "" : useThem + "; ") +
                             "--drop-incomplete leaves such subjects out",
                             firstLine);
            leaveOut(prepared, Coefficient::Kappa,
                     count + ", and it needs every rater's rating of every subject (--drop-incomplete leaves such "
                             "subjects out of every coefficient)");
        }
    }

    for (const Coefficient c : request.coefficients)
        for (const Weighting w : request.weights)
            if (!ordered && takesWeights(c, w) && w != Weighting::None && w != Weighting::File) {
                std::string labels;
                for (const std::string& label : study.labels) labels += (labels.empty() ? "" : ", ") + label;
                return error(std::string(weightingId(w)) + " weights need ordered categories, but the categories " +
                             "are text labels without an order (" + labels +
                             "): give them in their order with --categories");
            }

    std::int64_t subjects = completeSubjects(study) + incomplete;
    if (!hasPatternTable(study)) {
        subjects = 0;
        for (std::size_t p = 0; p < study.profiles.size(); ++p) subjects += study.profiles.subjects(p);
    }
    if (subjects < 3 && study.dropped > 0 && options.dropIncomplete)
        return error("--drop-incomplete leaves " + (subjects == 0 ? std::string("no subject") : plural(subjects, "subject", "subjects")) +
                     ", since " + plural(study.dropped, "subject has", "subjects have") +
                     " missing ratings, and at least 3 are needed" + (useThem.empty() ? "" : ": " + useThem));
    if (subjects < 3) return error("found " + plural(subjects, "subject", "subjects") + "; at least 3 are needed");
    return std::nullopt;
}

void addPreparedNotes(Analysis& analysis, const InputRead& about, const StudyGroup& group, Prepared&& prepared) {
    analysis.notes.insert(analysis.notes.end(), about.notes.begin(), about.notes.end());
    analysis.notes.insert(analysis.notes.end(), group.notes.begin(), group.notes.end());
    analysis.notes.insert(analysis.notes.end(), prepared.notes.begin(), prepared.notes.end());
    analysis.leftOut = std::move(prepared.leftOut);
}

}  // namespace kappa
