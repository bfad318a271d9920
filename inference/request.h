// The request of an analysis as its options name it (the command line's
// --coefficients, --weights, --alternative; the library's and the Python
// module's arguments of the same names): the names of coefficients, weights
// and alternatives, and the checks of what they ask for together.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "inference/analysis.h"
#include "inference/prepare.h"
#include "input/input.h"

namespace kappa {

// Options that ask for something that cannot be done; the message says what
// was expected and what was found.
struct RequestError {
    std::string message;
};

// The items that parseName and parseNames below look up, in their catalogs' order.
inline constexpr auto kAlternatives = catalogItems(kAlternativeCatalog, &AlternativeEntry::alternative);
inline constexpr auto kCoefficients = catalogItems(kCoefficientCatalog, &CoefficientEntry::coefficient);
inline constexpr auto kWeightings = catalogItems(kWeightingCatalog, &WeightingEntry::weighting);

std::string trim(std::string_view s);
// The comma-separated items of a list, their surrounding blanks trimmed.
std::vector<std::string> splitList(std::string_view text);
std::string inQuotes(std::string_view s);
// "a, b or c"
std::string orList(const std::vector<std::string>& names);

// The item whose identifier is `value`; `option` and `what` name it in the error.
template <typename Item, std::size_t N, typename Id>
Item parseName(std::string_view option, std::string_view what, const std::string& value,
               const std::array<Item, N>& items, Id id) {
    for (const Item item : items)
        if (id(item) == value) return item;
    std::vector<std::string> names;
    for (const Item item : items) names.emplace_back(id(item));
    throw RequestError{"unknown " + std::string(what) + " " + inQuotes(value) + " in " + std::string(option) +
                       " (expected " + orList(names) + ")"};
}

// The items of a list of names, none empty and none twice.
template <typename Item, std::size_t N, typename Id>
std::vector<Item> parseNames(std::string_view option, std::string_view what, const std::string& value,
                             const std::array<Item, N>& items, Id id) {
    std::vector<Item> parsed;
    for (const std::string& name : splitList(value)) {
        if (name.empty()) throw RequestError{"empty item in " + std::string(option) + " " + inQuotes(value)};
        const Item item = parseName(option, what, name, items, id);
        if (std::find(parsed.begin(), parsed.end(), item) != parsed.end())
            throw RequestError{std::string(option) + " names " + inQuotes(name) + " twice"};
        parsed.push_back(item);
    }
    return parsed;
}

// The confidence level, in percent, above 50 and below 100; the kappa under
// test, finite and at most 1.
inline bool isConfidenceLevel(double percent) { return percent > 50.0 && percent < 100.0; }
inline bool isKappaUnderTest(double kappa0) { return std::isfinite(kappa0) && kappa0 <= 1.0; }

// The coefficients of a --coefficients list into `options`: their names, or
// "all" alone (every coefficient, those that do not fit a study left out).
void setCoefficients(PrepareOptions& options, const std::string& list);

// Counts of ratings per subject name no raters: Fleiss' kappa unless
// `coefficientsGiven`, and refused are Hubert's and Conger's kappa, which
// need raters (left out under "all").
void applyCountsRule(PrepareOptions& options, bool coefficientsGiven);

// Every weight applies to some coefficient asked for, and every coefficient
// named explicitly takes some of the weights asked for.
void checkWeightsApply(const AnalysisRequest& request, bool allCoefficients);

// The reader keeps which rater gave each rating beyond the table of response
// patterns: Conger's kappa, leaving out incomplete subjects and the
// diagnostics need it.
bool keepsRaters(const PrepareOptions& options, bool diagnostics);

}  // namespace kappa
