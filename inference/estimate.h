// The result of an analysis: every number that any report prints, for every
// estimate, with a reason in words wherever a value cannot be computed. The
// faces only format this value; nothing here is computed by a formatter.
//
// A value that cannot be computed is NaN (or infinite, where the arithmetic
// gives that), and the estimate's notes say why.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "estimators/catalog.h"
#include "estimators/point_estimate.h"

namespace kappa {

// The alternative hypothesis of every test with a direction: kappa != kappa0,
// kappa > kappa0 or kappa < kappa0.
enum class Alternative { TwoSided, Greater, Less };

struct AlternativeEntry {
    Alternative alternative;
    std::string_view id;           // in --alternative, JSON and CSV
    std::string_view description;  // what --help adds to the id
};
inline constexpr std::array<AlternativeEntry, 3> kAlternativeCatalog = {{
    {Alternative::TwoSided, "two-sided", ""},
    {Alternative::Greater, "greater", "kappa > kappa0"},
    {Alternative::Less, "less", "kappa < kappa0"},
}};
static_assert(listedInOrder(kAlternativeCatalog, &AlternativeEntry::alternative));

inline std::string_view alternativeId(Alternative a) { return kAlternativeCatalog[static_cast<std::size_t>(a)].id; }

// A confidence interval: two-sided, or the one-sided bound of the
// alternative (upper limit 1 for greater, lower limit -infinity for less).
// The upper limit is clipped at 1; the lower one never is. NaN limits: no
// interval.
struct Interval {
    double lower = kNaN;
    double upper = kNaN;
};

// A set of kappa0 as its disjoint closed pieces in increasing order, the
// first possibly unbounded below (lower limit -infinity).
using IntervalSet = std::vector<Interval>;

// The unrestricted (Wald) test of kappa0 and the Wald interval.
struct WaldTest {
    Distribution distribution = Distribution::Normal;
    double df = kNaN;         // degrees of freedom of Student's t; NaN for the normal
    double statistic = kNaN;  // (kappa - kappa0) / se, as computed (the dialogue prints it)
    double pValue = kNaN;     // in the tail of the alternative; NaN when there is no test
    Interval ci;
    // The standard error is exactly 0: the statistic divides by 0 and there
    // is no test (no p-value); the interval is the estimate alone.
    bool zeroVariance = false;
};

// The basis of a restricted test: None for unweighted kappa, V (disagreement
// weights v) and W (agreement weights w = 1 - v) for weighted kappa.
enum class Basis { None, V, W };
std::string_view basisId(Basis b);

// The restricted (score) test of kappa0, the interval found by inverting it,
// and the test of independence.
struct RestrictedTest {
    Basis basis = Basis::None;
    bool negativeVariance = false;  // the variance at kappa0 is below 0: no statistic
    double statistic = kNaN;
    double pValue = kNaN;           // standard normal, in the tail of the alternative
    bool noSolution = false;        // the interval's equation has no real root: no interval
    // The two roots of the interval's equation in the order (L, U), U clipped
    // at 1, never sorted: the interval as the dialogue prints it.
    Interval ci;
    double independence = kNaN;     // statistic of the test of independence
    double independencePValue = kNaN;
    // The variance at kappa0 is exactly 0: no restricted test (the dialogue
    // still prints the quotient).
    bool zeroVariance = false;
    // The variance term of the independence test is exactly 0: no independence test.
    bool independenceZeroVariance = false;
    // The restricted interval of the command line: every kappa0 <= 1 that the
    // same restricted test, at the same level and with the same alternative,
    // does not reject. One piece, one unbounded below, two pieces, all of
    // (-infinity, 1], or none; nullopt when it cannot be computed.
    std::optional<IntervalSet> ciSet;
};

struct Estimate {
    Coefficient coefficient = Coefficient::Kappa;
    Weighting weights = Weighting::None;
    std::string name;           // "Cohen's kappa", "Fleiss' kappa", ...
    std::int64_t subjects = 0;  // subjects this estimate describes
    double kappa = kNaN;        // the coefficient's value
    double variance = kNaN;
    double se = kNaN;           // sqrt(variance)
    double observed = kNaN;     // observed agreement (disagreement for weighted Hubert's kappa)
    double chance = kNaN;       // chance-expected agreement (disagreement)
    WaldTest wald;
    std::vector<RestrictedTest> restricted;  // Hubert's kappa only
    std::vector<std::string> notes;          // a sentence for every missing value and caveat
    // The line a paper can use, in APA style: the estimate, the Wald interval
    // and the test of the report (see inference/report_line.h).
    std::string report;
    double reportPValue = kNaN;  // the p-value of that test
};

}  // namespace kappa
