#include "diagnostics/statistics.h"

#include <algorithm>
#include <boost/math/distributions/chi_squared.hpp>
#include <cmath>
#include <numeric>
#include <optional>
#include <utility>

#include "inference/intervals.h"
#include "inference/text.h"
#include "tables/subjects.h"

namespace kappa {

namespace {

constexpr const char* kNoSubjectBoth = "no subject was rated by both raters";

// P(X >= x) for X with chi-square on df degrees of freedom.
double chiSquareUpperTail(double x, double df) {
    if (!(x >= 0) || !(df > 0)) return kNaN;
    return boost::math::cdf(boost::math::complement(boost::math::chi_squared_distribution<double>(df), x));
}

// The solution x of A x = b for a symmetric positive definite A, by
// Cholesky's factorisation A = L L'; nullopt when A is not positive definite.
std::optional<std::vector<double>> solvePositiveDefinite(Matrix<double> A, std::vector<double> b) {
    const std::size_t n = b.size();
    for (std::size_t j = 0; j < n; ++j) {
        double d = A[j][j];
        for (std::size_t k = 0; k < j; ++k) d -= A[j][k] * A[j][k];
        if (!(d > 0)) return std::nullopt;
        A[j][j] = std::sqrt(d);
        for (std::size_t i = j + 1; i < n; ++i) {
            double s = A[i][j];
            for (std::size_t k = 0; k < j; ++k) s -= A[i][k] * A[j][k];
            A[i][j] = s / A[j][j];
        }
    }
    for (std::size_t i = 0; i < n; ++i) {  // L y = b
        for (std::size_t k = 0; k < i; ++k) b[i] -= A[i][k] * b[k];
        b[i] /= A[i][i];
    }
    for (std::size_t i = n; i-- > 0;) {  // L' x = y
        for (std::size_t k = i + 1; k < n; ++k) b[i] -= A[k][i] * b[k];
        b[i] /= A[i][i];
    }
    return b;
}

// The categories of one subject's ratings and how many chose each.
void countCategories(std::span<const Rating> ratings, std::vector<CategoryCount>& counts) {
    counts.clear();
    for (const Rating& r : ratings) {
        const auto found = std::find_if(counts.begin(), counts.end(),
                                        [&](const CategoryCount& c) { return c.category == r.category; });
        if (found == counts.end())
            counts.push_back({r.category, 1});
        else
            ++found->count;
    }
}

}  // namespace

MarginalHomogeneity marginalHomogeneity(const Matrix<std::int64_t>& n) {
    const std::size_t K = n.rows();
    MarginalHomogeneity test;
    test.test = K == 2 ? "McNemar" : "Stuart-Maxwell";
    // The categories in groups between which the raters never disagree.
    std::vector<std::size_t> group(K);
    std::iota(group.begin(), group.end(), std::size_t{0});
    const auto root = [&](std::size_t i) {
        while (group[i] != i) i = group[i] = group[group[i]];
        return i;
    };
    for (std::size_t i = 0; i < K; ++i)
        for (std::size_t j = i + 1; j < K; ++j)
            if (n[i][j] + n[j][i] > 0) group[root(i)] = root(j);
    std::size_t groups = 0;
    std::int64_t subjects = 0;
    for (std::size_t i = 0; i < K; ++i) {
        groups += root(i) == i;
        for (std::size_t j = 0; j < K; ++j) subjects += n[i][j];
    }
    if (subjects == 0) {
        test.notes.push_back(kNoSubjectBoth + std::string(": no test of marginal homogeneity"));
        return test;
    }
    if (groups == K) {
        test.notes.push_back("the raters never disagree: no test of marginal homogeneity");
        return test;
    }
    // Each group's statistic, with its last category left out of d and V.
    double statistic = 0;
    for (std::size_t g = 0; g < K; ++g) {
        if (root(g) != g) continue;
        std::vector<std::size_t> members;
        for (std::size_t i = 0; i < K; ++i)
            if (root(i) == g) members.push_back(i);
        members.pop_back();
        if (members.empty()) continue;
        Matrix<double> V(members.size(), members.size());
        std::vector<double> d(members.size());
        for (std::size_t a = 0; a < members.size(); ++a) {
            const std::size_t i = members[a];
            double rowTotal = 0, columnTotal = 0;
            for (std::size_t k = 0; k < K; ++k) {
                rowTotal += static_cast<double>(n[i][k]);
                columnTotal += static_cast<double>(n[k][i]);
            }
            d[a] = rowTotal - columnTotal;
            for (std::size_t b = 0; b < members.size(); ++b) {
                const std::size_t j = members[b];
                V[a][b] = i == j ? rowTotal + columnTotal - 2 * static_cast<double>(n[i][i])
                                 : -static_cast<double>(n[i][j] + n[j][i]);
            }
        }
        const auto x = solvePositiveDefinite(V, d);
        if (!x) return test;  // cannot happen for a connected group; no statistic rather than a wrong one
        for (std::size_t a = 0; a < d.size(); ++a) statistic += d[a] * (*x)[a];
    }
    test.statistic = std::max(statistic, 0.0);
    test.df = static_cast<double>(K - groups);
    test.pValue = chiSquareUpperTail(test.statistic, test.df);
    if (groups > 1)
        test.notes.push_back(printfText("the categories fall into %zu groups between which the raters never disagree: "
                                    "the statistic adds up the groups' own, on %zu degrees of freedom",
                                    groups, K - groups));
    return test;
}

AgreementIndices agreementIndices(const Matrix<std::int64_t>& t) {
    const auto a = static_cast<double>(t[0][0]), b = static_cast<double>(t[0][1]), c = static_cast<double>(t[1][0]),
               d = static_cast<double>(t[1][1]);
    const double n = a + b + c + d;
    if (n == 0) return {kNaN, kNaN, kNaN, {kNoSubjectBoth + std::string(": no prevalence or bias index")}};
    return {(a - d) / n, (b - c) / n, 2 * (a + d) / n - 1, {}};
}

Spread spreadOf(std::vector<double> values) {
    std::erase_if(values, [](double x) { return !std::isfinite(x); });
    Spread s;
    s.count = values.size();
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    const auto quantile = [&](double p) {
        const double h = p * static_cast<double>(values.size() - 1);
        const auto below = static_cast<std::size_t>(std::floor(h));
        if (below + 1 >= values.size()) return values.back();
        return values[below] + (h - static_cast<double>(below)) * (values[below + 1] - values[below]);
    };
    s.mean = std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
    s.min = values.front();
    s.lowerQuartile = quantile(0.25);
    s.median = quantile(0.5);
    s.upperQuartile = quantile(0.75);
    s.max = values.back();
    return s;
}

std::vector<double> raterAgreement(const Study& study) {
    const auto R = static_cast<std::size_t>(study.R);
    std::vector<double> agreeing(R, 0.0), pairings(R, 0.0);
    std::vector<CategoryCount> counts;
    forEachSubjectGroup(study, [&](std::int64_t f, std::span<const Rating> ratings) {
        countCategories(ratings, counts);
        const auto others = static_cast<double>(ratings.size() - 1);
        for (const Rating& r : ratings) {
            const auto same = std::find_if(counts.begin(), counts.end(),
                                           [&](const CategoryCount& c) { return c.category == r.category; });
            agreeing[r.rater] += static_cast<double>(f) * static_cast<double>(same->count - 1);
            pairings[r.rater] += static_cast<double>(f) * others;
        }
    });
    std::vector<double> agreement(R, kNaN);
    for (std::size_t j = 0; j < R; ++j)
        if (pairings[j] > 0) agreement[j] = agreeing[j] / pairings[j];
    return agreement;
}

std::vector<SpecificAgreement> specificAgreement(const Study& study, double z, Alternative alternative) {
    const auto K = static_cast<std::size_t>(study.K);
    std::vector<double> U(K, 0.0), V(K, 0.0), squares(K, 0.0);
    std::vector<CategoryCount> counts;
    // The terms of subject i for category k: u = x (x - 1), v = x (m - 1).
    const auto terms = [&](const CategoryCount& c, std::size_t m) {
        const auto x = static_cast<double>(c.count);
        return std::pair{x * (x - 1), x * (static_cast<double>(m) - 1)};
    };
    forEachSubjectGroup(study, [&](std::int64_t f, std::span<const Rating> ratings) {
        countCategories(ratings, counts);
        for (const CategoryCount& c : counts) {
            const auto [u, v] = terms(c, ratings.size());
            U[c.category] += static_cast<double>(f) * u;
            V[c.category] += static_cast<double>(f) * v;
        }
    });
    forEachSubjectGroup(study, [&](std::int64_t f, std::span<const Rating> ratings) {
        countCategories(ratings, counts);
        for (const CategoryCount& c : counts) {
            if (!(V[c.category] > 0)) continue;
            const auto [u, v] = terms(c, ratings.size());
            const double deviation = u - U[c.category] / V[c.category] * v;
            squares[c.category] += static_cast<double>(f) * deviation * deviation;
        }
    });
    std::vector<SpecificAgreement> agreement(K);
    for (std::size_t k = 0; k < K; ++k) {
        SpecificAgreement& s = agreement[k];
        if (!(V[k] > 0)) {
            s.notes.push_back("no subject with two ratings or more has a rating " + study.labels[k] +
                              ": no specific agreement");
            continue;
        }
        s.value = U[k] / V[k];
        s.se = std::sqrt(squares[k]) / V[k];
        s.ci = waldInterval(s.value, z * s.se, alternative);
    }
    return agreement;
}

Matrix<double> coincidenceMatrix(const Study& study) {
    const auto K = static_cast<std::size_t>(study.K);
    Matrix<double> o(K, K);
    std::vector<CategoryCount> counts;
    forEachSubjectGroup(study, [&](std::int64_t f, std::span<const Rating> ratings) {
        if (ratings.size() < 2) return;
        countCategories(ratings, counts);
        const double perPair = static_cast<double>(f) / static_cast<double>(ratings.size() - 1);
        for (const CategoryCount& c : counts)
            for (const CategoryCount& k : counts)
                o[c.category][k.category] += perPair * static_cast<double>(c.count) *
                                             static_cast<double>(c.category == k.category ? c.count - 1 : k.count);
    });
    return o;
}

}  // namespace kappa
