#include "inference/request.h"

#include <algorithm>

namespace kappa {

std::string trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return std::string(s);
}

// The comma-separated items of a list, their surrounding blanks trimmed.
std::vector<std::string> splitList(std::string_view text) {
    std::vector<std::string> items;
    for (;;) {
        const auto comma = text.find(',');
        items.push_back(trim(text.substr(0, comma)));
        if (comma == std::string_view::npos) return items;
        text.remove_prefix(comma + 1);
    }
}

std::string inQuotes(std::string_view s) {
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) of "'" + std::string(s).
    std::string quoted(1, '\'');
    quoted += s;
    quoted += '\'';
    return quoted;
}

// "a, b or c"
std::string orList(const std::vector<std::string>& names) {
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i)
        list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return list;
}


// The weights that coefficient c takes.
std::string weightList(Coefficient c) {
    std::vector<std::string> names;
    for (const Weighting w : kWeightings)
        if (takesWeights(c, w)) names.emplace_back(weightingId(w));
    return orList(names);
}

// Every weight applies to some coefficient asked for, and every coefficient
// named explicitly takes some of the weights asked for.
void checkWeightsApply(const AnalysisRequest& request, bool allCoefficients) {
    for (const Weighting w : request.weights) {
        const bool applies = std::any_of(request.coefficients.begin(), request.coefficients.end(),
                                         [&](Coefficient c) { return takesWeights(c, w); });
        if (applies) continue;
        const std::string weights = inQuotes(weightingId(w)) + " weights";
        if (request.coefficients.size() == 1) {
            const Coefficient c = request.coefficients.front();
            throw RequestError{"coefficient " + inQuotes(coefficientId(c)) + " has no " + weights + " (it takes " +
                             weightList(c) + ")"};
        }
        throw RequestError{"none of the coefficients in --coefficients takes " + weights};
    }
    if (allCoefficients) return;
    for (const Coefficient c : request.coefficients) {
        const bool takesSome = std::any_of(request.weights.begin(), request.weights.end(),
                                           [&](Weighting w) { return takesWeights(c, w); });
        if (!takesSome)
            throw RequestError{"coefficient " + inQuotes(coefficientId(c)) +
                             " takes none of the weights in --weights (it takes " + weightList(c) + ")"};
    }
}

void setCoefficients(PrepareOptions& options, const std::string& list) {
    const std::vector<std::string> items = splitList(list);
    if (items == std::vector<std::string>{"all"}) {
        options.request.coefficients.assign(kCoefficients.begin(), kCoefficients.end());
        options.allCoefficients = true;
    } else if (std::find(items.begin(), items.end(), "all") != items.end()) {
        throw RequestError{"--coefficients all stands alone, not with other coefficients"};
    } else {
        options.request.coefficients =
            parseNames("--coefficients", "coefficient", list, kCoefficients, coefficientId);
    }
}

void applyCountsRule(PrepareOptions& options, bool coefficientsGiven) {
    AnalysisRequest& request = options.request;
    if (!coefficientsGiven) request.coefficients = {Coefficient::Fleiss};
    for (const Coefficient c : request.coefficients)
        if (!options.allCoefficients && catalogEntry(c).needsRaters)
            throw RequestError{"coefficient " + inQuotes(coefficientId(c)) +
                               " needs each rater's ratings, and --input counts names no raters (only how "
                               "many ratings of each subject fall in each category): --coefficients " +
                               coefficientIds(&CoefficientEntry::needsRaters, false) + " take counts"};
}

bool keepsRaters(const PrepareOptions& options, bool diagnostics) {
    const std::vector<Coefficient>& asked = options.request.coefficients;
    return options.dropIncomplete || diagnostics || std::any_of(asked.begin(), asked.end(), [](Coefficient c) {
               return catalogEntry(c).needsRatersByProfile;
           });
}

}  // namespace kappa
