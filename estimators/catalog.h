// What kappa estimates: the agreement coefficients and the weightings, a
// table each. Everything that names them reads these tables: the parsing of
// --coefficients and --weights (and the library's and the Python module's
// arguments of the same names), --help, the checks of which weights a
// coefficient takes, the identifiers of JSON and CSV and the estimates'
// display names. A new coefficient is an entry here and its estimator.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kappa {

// The agreement coefficients, in the order of `--coefficients all`.
enum class Coefficient { Kappa, Fleiss, Conger, Gwet, BrennanPrediger, Alpha, Percent };

// The weights of an estimate. None is the identity (unweighted); File is the
// disagreement weight column of a table file.
enum class Weighting { None, Quadratic, Linear, File, Ordinal, Radical, Ratio, Circular, Bipolar, KrippendorffOrdinal };

// A set of weightings.
class WeightingSet {
public:
    constexpr WeightingSet(std::initializer_list<Weighting> weightings) {
        for (const Weighting w : weightings) bits_ |= bit(w);
    }
    constexpr bool contains(Weighting w) const { return (bits_ & bit(w)) != 0; }

private:
    static constexpr std::uint32_t bit(Weighting w) { return std::uint32_t{1} << static_cast<unsigned>(w); }
    std::uint32_t bits_ = 0;
};

struct WeightingEntry {
    Weighting weighting;
    std::string_view id;                 // in --weights, JSON and CSV
    std::string_view description = "";  // what --help adds to the id; empty when the id says it
};

inline constexpr std::array<WeightingEntry, 10> kWeightingCatalog = {{
    {Weighting::None, "none", ""},
    {Weighting::Quadratic, "quadratic", ""},
    {Weighting::Linear, "linear", ""},
    {Weighting::File, "file", "the table's weight column"},
    {Weighting::Ordinal, "ordinal", "Gwet's"},
    {Weighting::Radical, "radical", ""},
    {Weighting::Ratio, "ratio", ""},
    {Weighting::Circular, "circular", ""},
    {Weighting::Bipolar, "bipolar", ""},
    {Weighting::KrippendorffOrdinal, "krippendorff-ordinal", "Krippendorff's ordinal metric"},
}};

// The weightings that are functions of the categories alone: every one but
// the weight column of a table file.
inline constexpr WeightingSet kBuiltInWeightings = WeightingSet{
    Weighting::None,     Weighting::Quadratic, Weighting::Linear,  Weighting::Ordinal, Weighting::Radical,
    Weighting::Ratio,    Weighting::Circular,  Weighting::Bipolar, Weighting::KrippendorffOrdinal};

struct CoefficientEntry {
    Coefficient coefficient;
    std::string_view id;            // in --coefficients, JSON and CSV
    std::string_view name;          // its display name, unweighted
    std::string_view weightedName;  // with weights
    // The names with two raters, where they differ (Hubert's kappa is Cohen's).
    std::string_view twoRaterName = "", twoRaterWeightedName = "";
    std::string_view description = "";  // what --help adds to the id; empty when the id says it
    std::string_view symbol = "kappa";   // how a hypothesis writes it ("kappa = 0")
    WeightingSet weightings = kBuiltInWeightings;  // the weightings it takes
    // It needs to know which rater gave each rating: counts of ratings per
    // subject, which name no rater, cannot give it.
    bool needsRaters = false;
    // It needs them beyond the table of response patterns too, where a study
    // is held by profile (its chance agreement is of each rater's margins).
    bool needsRatersByProfile = false;
    // It needs the table of all K^R response patterns, which holds a limited
    // number of raters and patterns.
    bool needsPatternTable = false;
};

inline constexpr std::array<CoefficientEntry, 7> kCoefficientCatalog = {{
    {.coefficient = Coefficient::Kappa, .id = "kappa", .name = "Hubert's kappa",
     .weightedName = "Hubert's weighted kappa", .twoRaterName = "Cohen's kappa",
     .twoRaterWeightedName = "Cohen's weighted kappa", .description = "Hubert's, Cohen's for 2 raters",
     .weightings = {Weighting::None, Weighting::Quadratic, Weighting::Linear, Weighting::File},
     .needsRaters = true, .needsPatternTable = true},
    {.coefficient = Coefficient::Fleiss, .id = "fleiss", .name = "Fleiss' kappa", .weightedName = "Fleiss' kappa"},
    {.coefficient = Coefficient::Conger, .id = "conger", .name = "Conger's kappa", .weightedName = "Conger's kappa",
     .needsRaters = true, .needsRatersByProfile = true},
    {.coefficient = Coefficient::Gwet, .id = "gwet", .name = "Gwet's AC1", .weightedName = "Gwet's AC2"},
    {.coefficient = Coefficient::BrennanPrediger, .id = "bp", .name = "Brennan-Prediger coefficient",
     .weightedName = "Brennan-Prediger coefficient"},
    {.coefficient = Coefficient::Alpha, .id = "alpha", .name = "Krippendorff's alpha",
     .weightedName = "Krippendorff's alpha", .symbol = "alpha"},
    {.coefficient = Coefficient::Percent, .id = "percent", .name = "Percent agreement",
     .weightedName = "Percent agreement", .symbol = "p_a"},
}};

// Each table lists its enumeration in order, so that an entry is found by index.
template <typename Entry, std::size_t N, typename Member>
constexpr bool listedInOrder(const std::array<Entry, N>& catalog, Member member) {
    for (std::size_t i = 0; i < N; ++i)
        if (static_cast<std::size_t>(catalog[i].*member) != i) return false;
    return true;
}
static_assert(listedInOrder(kCoefficientCatalog, &CoefficientEntry::coefficient));
static_assert(listedInOrder(kWeightingCatalog, &WeightingEntry::weighting));

inline const CoefficientEntry& catalogEntry(Coefficient c) { return kCoefficientCatalog[static_cast<std::size_t>(c)]; }
inline const WeightingEntry& catalogEntry(Weighting w) { return kWeightingCatalog[static_cast<std::size_t>(w)]; }

// The items of a catalog, in its order.
template <typename Entry, std::size_t N, typename Item>
constexpr std::array<Item, N> catalogItems(const std::array<Entry, N>& catalog, Item Entry::*item) {
    std::array<Item, N> items{};
    for (std::size_t i = 0; i < N; ++i) items[i] = catalog[i].*item;
    return items;
}

// Identifiers used on the command line and in JSON and CSV.
inline std::string_view coefficientId(Coefficient c) { return catalogEntry(c).id; }
inline std::string_view weightingId(Weighting w) { return catalogEntry(w).id; }

// Whether coefficient c has weights w.
inline bool takesWeights(Coefficient c, Weighting w) { return catalogEntry(c).weightings.contains(w); }

// The ids of the coefficients whose `property` is `value`, as --coefficients
// lists them ("fleiss,gwet,bp").
std::string coefficientIds(bool CoefficientEntry::*property, bool value);

// The name an estimate of c with weights w among `raters` raters goes by.
std::string displayName(Coefficient c, Weighting w, std::int32_t raters);

}  // namespace kappa
