#include "estimators/coefficients.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "agreement/pattern_walk.h"
#include "agreement/patterns.h"
#include "estimators/rounding.h"
#include "estimators/weight_matrix.h"
#include "tables/matrix.h"

namespace kappa {

namespace {

// ---------------------------------------------------------------------------
// Walking the subjects
//
// A coefficient reads a group of f identical subjects through its number of
// ratings r and two sums over its raters:
//   W = sum over ordered pairs of distinct raters g != h of w(c_g, c_h), the
//       agreement of its r (r - 1) pairs, read as a = W / (r (r - 1));
//   E = sum over raters g of x[g][c_g] for a table x the coefficient chooses
//       (its chance-agreement contribution), x[g][K] standing for a rater who
//       gave no rating.
// The weights are symmetric with w_kk = 1, as every built-in matrix is.
//
// The walk has two sources: the table of response patterns with the groups
// of incomplete subjects, and, for a study held without that table, its
// profiles (where E depends on the categories alone) or its groups of rated
// subjects (where E depends on the raters: Conger's kappa).

struct Subject {
    double f = 0.0;  // subjects in the group
    double r = 0.0;  // ratings of each
    double a = 0.0;  // a_i = W / (r (r - 1)), the mean weight of its pairs of ratings; 0 for r < 2
    double E = 0.0;
    double e = 0.0;  // E / r
};

// W of a subject whose ratings fall in m categories, the a-th of them
// category(a) with count(a) ratings:
//   sum_k n_k (n_k - 1) w_kk + 2 sum_{k < l} n_k n_l w_kl,   O(m^2).
template <typename Category, typename Count>
double pairAgreement(std::size_t m, Category category, Count count, const Matrix<double>& w) {
    double W = 0.0;
    for (std::size_t a = 0; a < m; ++a) {
        const std::size_t k = category(a);
        const double nk = count(a);
        const auto wk = w[k];
        W += nk * (nk - 1) * wk[k];
        for (std::size_t b = a + 1; b < m; ++b) W += 2 * nk * count(b) * wk[category(b)];
    }
    return W;
}

// The distinct categories of a set of at most `capacity` ratings and their
// counts n_k, kept up to date one rating at a time, so that no step costs O(K).
class CategoryCounts {
public:
    CategoryCounts(std::size_t K, std::size_t capacity) : n_(K), slot_(K), used_(std::min(K, capacity)) {}

    void add(std::uint16_t k) {
        if (n_[k]++ == 0) {
            slot_[k] = m_;
            used_[m_++] = k;
        }
    }

    void remove(std::uint16_t k) {
        if (--n_[k] == 0) {
            const std::uint16_t last = used_[--m_];
            used_[slot_[k]] = last;
            slot_[last] = slot_[k];
        }
    }

    std::span<const std::uint16_t> used() const { return {used_.data(), m_}; }
    double n(std::uint16_t k) const { return n_[k]; }

    // W of these ratings (pairAgreement below).
    double pairAgreement(const Matrix<double>& w) const {
        return kappa::pairAgreement(
            m_, [&](std::size_t a) { return used_[a]; }, [&](std::size_t a) { return n(used_[a]); }, w);
    }

private:
    std::vector<std::int32_t> n_;      // n_k
    std::vector<std::size_t> slot_;    // where k is in used_
    std::vector<std::uint16_t> used_;  // the m categories with n_k > 0, then unused room
    std::size_t m_ = 0;
};

// Patterns per row of the dense walk: the last L raters run through their
// K^L combinations in a row, L the smallest that makes rows of at least this
// many patterns (and leaves at least one rater before the row).
inline constexpr std::size_t kRowPatterns = 64;

// The sum of term(subject) over the observed response patterns, T a number or
// a struct of sums with +=; x as above (none: E = 0).
//
// A pattern is a prefix (raters 0..R-L-1) followed by a suffix (the last L
// raters), and the patterns of one prefix are a contiguous row of K^L
// frequencies. Its sums split the same way:
//   W = W(prefix) + W(suffix) + sum over suffix raters h of v(c_h),
//       v(c) = 2 sum_k n_k(prefix) w_kc, the pairs a rater in c makes with the prefix,
//   E = E(prefix) + E(suffix).
// The suffix terms are tabled once; the prefixes are walked in order
// (PatternWalk), so that about one rating changes from one prefix to the next. A row costs
// O(m^2 + K m) for W(prefix) and v, O(1) amortised for E(prefix), and each
// pattern of it O(min(L, K)).
template <typename T, typename Term>
T sumOverPatterns(const Study& study, const Matrix<double>& w, const Matrix<double>* x, Term term) {
    T total{};
    const auto R = static_cast<std::size_t>(study.R);
    const auto K = static_cast<std::size_t>(study.K);
    const std::size_t P = study.frequency.size();
    if (R < 2 || P == 0) return total;
    const auto xOf = [&](std::size_t g, std::size_t k) { return x ? (*x)[g][k] : 0.0; };

    std::size_t L = 1, S = K;  // the row: the last L raters, S = K^L patterns
    while (S < kRowPatterns && L + 1 < R) {
        ++L;
        S *= K;
    }
    const std::size_t first = R - L;  // raters 0..first-1 form the prefix
    const double perPair = 1 / (static_cast<double>(R) * static_cast<double>(R - 1));
    const double perRating = 1 / static_cast<double>(R);

    // The suffixes: their pairs, their E, and their categories with counts.
    std::vector<double> Qsuffix(S), Esuffix(S);
    std::vector<std::uint16_t> suffixCategory(S * L);
    std::vector<double> suffixCount(S * L);
    std::vector<std::size_t> suffixM(S);
    {
        CategoryCounts counts(K, L);
        for (PatternWalk suffix(study.K, static_cast<std::int32_t>(L)); !suffix.done(); suffix.next()) {
            const std::size_t s = suffix.pattern();
            const auto digits = suffix.digits();
            for (std::size_t h = 0; h < L; ++h) {
                counts.add(digits[h]);
                Esuffix[s] += xOf(first + h, digits[h]);
            }
            Qsuffix[s] = counts.pairAgreement(w);
            suffixM[s] = counts.used().size();
            for (std::size_t i = 0; i < suffixM[s]; ++i) {
                suffixCategory[s * L + i] = counts.used()[i];
                suffixCount[s * L + i] = counts.n(counts.used()[i]);
            }
            for (const std::uint16_t c : digits) counts.remove(c);
        }
    }

    PatternWalk prefixes(study.K, static_cast<std::int32_t>(first));
    const auto d = prefixes.digits();  // the prefix's categories
    CategoryCounts counts(K, first);
    for (std::size_t g = 0; g < first; ++g) counts.add(0);
    std::vector<double> Eprefix(first + 1, 0.0);  // Eprefix[j] = sum_{g < j} x[g][d_g]
    const auto sumE = [&](std::size_t from) {
        for (std::size_t j = from; j < first; ++j) Eprefix[j + 1] = Eprefix[j] + xOf(j, d[j]);
    };
    sumE(0);
    std::vector<double> v(K);

    for (std::size_t base = 0;; base += S) {
        const double Qprefix = counts.pairAgreement(w);
        std::fill(v.begin(), v.end(), 0.0);
        for (const std::uint16_t k : counts.used()) {
            const double twice = 2 * counts.n(k);
            const auto wk = w[k];
            for (std::size_t c = 0; c < K; ++c) v[c] += twice * wk[c];
        }
        const std::int64_t* F = study.frequency.data() + base;
        const double Eprefixed = Eprefix[first];
        T row{};  // the row's sum, apart from the total so that it can stay in registers
        for (std::size_t s = 0; s < S; ++s) {
            if (F[s] <= 0) continue;
            double cross = 0.0;
            for (std::size_t i = 0; i < suffixM[s]; ++i) cross += suffixCount[s * L + i] * v[suffixCategory[s * L + i]];
            const double E = Eprefixed + Esuffix[s];
            row += term(Subject{static_cast<double>(F[s]), static_cast<double>(R),
                                (Qprefix + Qsuffix[s] + cross) * perPair, E, E * perRating});
        }
        total += row;

        prefixes.next();
        if (prefixes.done()) break;
        // The digit that went up, and after it those that wrapped from K - 1 to 0.
        const std::size_t j = prefixes.firstChanged();
        for (std::size_t g = j + 1; g < first; ++g) {
            counts.remove(static_cast<std::uint16_t>(K - 1));
            counts.add(0);
        }
        counts.remove(static_cast<std::uint16_t>(d[j] - 1));
        counts.add(d[j]);
        sumE(j);
    }

    return total;
}

// Calls visit(subject, codes) for the subjects with some ratings missing, a
// group at a time: O(R + m^2).
template <typename Visit>
void forEachIncomplete(const Study& study, const Matrix<double>& w, const Matrix<double>* x, Visit visit) {
    const auto K = static_cast<std::size_t>(study.K);
    CategoryCounts counts(K, static_cast<std::size_t>(study.R));
    for (const IncompleteSubjects& group : study.incomplete) {
        Subject s{static_cast<double>(group.count), 0.0, 0.0, 0.0, 0.0};
        for (std::size_t g = 0; g < group.codes.size(); ++g) {
            const std::uint16_t c = group.codes[g];
            if (c != kMissing) {
                counts.add(c);
                ++s.r;
            }
            if (x) s.E += (*x)[g][c == kMissing ? K : c];
        }
        if (s.r >= 2) s.a = counts.pairAgreement(w) / (s.r * (s.r - 1));
        s.e = s.E / s.r;
        if (s.r > 0 && s.f > 0) visit(s, group.codes);
        for (const std::uint16_t c : group.codes)
            if (c != kMissing) counts.remove(c);
    }
}

// Conger's chance agreement, the mean over ordered pairs of distinct raters
// (g, h) of Cohen's sum_kl w_kl p_gk p_hl, p_gk the share of category k among
// the n_g subjects rater g rated; and the table of its linearisation
//   lambda_ig = (n / n_g) (A_g(c) - B_g) + B_g   when rater g put subject i in c,
//   lambda_ig = B_g                              when rater g did not rate it,
// with A_g(l) = sum_k w_kl sum_{h != g} p_hk and B_g = sum_l A_g(l) p_gl, so
// that e_i = sum_g lambda_ig / (R (R - 1)) has mean p_e = sum_g B_g / (R (R - 1)).
// For complete data lambda_ig = A_g(c_ig).
struct CongerChance {
    double pe = kNaN;
    std::int32_t idleRater = -1;  // a rater who rated no subject (no p_gk), or -1
    // lambda[g][c] of every category, and lambda[g][K] = B_g (a study with
    // its table of response patterns: few raters and categories) ...
    Matrix<double> lambda;
    // ... or lambda of the categories each rater used, in the order of the
    // raters' counts, and B_g (a study without it).
    const RaterCounts* counts = nullptr;
    std::vector<double> used;
    std::vector<double> B;
    double sumB = 0.0;

    // lambda[g][c] of a category c that rater g used.
    double of(std::uint32_t g, std::uint16_t c) const {
        const auto entries = counts->of(g);
        const auto at = std::lower_bound(entries.begin(), entries.end(), c,
                                         [](const RaterCounts::Entry& e, std::uint16_t k) { return e.category < k; });
        return used[static_cast<std::size_t>(at - counts->of(0).begin())];
    }
};

// What E sums for a coefficient: nothing, a value v_k per category (the same
// for every rater), or Conger's lambda per rater and category. The walk over
// the table of response patterns reads them as its table x.
struct ChanceTable {
    std::vector<double> perCategory;
    const CongerChance* conger = nullptr;
    Matrix<double> x;  // x[g][k] of the walk over the table, empty for none

    static ChanceTable none() { return {}; }
    static ChanceTable sameForEveryRater(const Study& study, std::vector<double> v) {
        ChanceTable table;
        if (hasPatternTable(study)) {
            table.x = Matrix<double>(static_cast<std::size_t>(study.R), v.size() + 1);
            for (std::size_t g = 0; g < table.x.rows(); ++g) std::copy(v.begin(), v.end(), table.x[g].begin());
        }
        table.perCategory = std::move(v);
        return table;
    }
    static ChanceTable ofConger(const CongerChance& conger) {
        ChanceTable table;
        table.conger = &conger;
        table.x = conger.lambda;
        return table;
    }
    bool empty() const { return perCategory.empty() && !conger; }
    // The largest |x| a rater adds to E.
    double largest() const {
        double largest = 0.0;
        for (const double v : perCategory) largest = std::max(largest, std::abs(v));
        for (std::size_t g = 0; g < x.rows(); ++g)
            for (const double entry : x[g]) largest = std::max(largest, std::abs(entry));
        if (conger)
            for (const std::vector<double>* values : {&conger->used, &conger->B})
                for (const double v : *values) largest = std::max(largest, std::abs(v));
        return largest;
    }
};

// The sum of term(subject) over the profiles of a study held without its
// table, E = sum_k n_k v_k.
template <typename T, typename Term>
T sumOverProfiles(const SubjectProfiles& profiles, const Matrix<double>& w, std::span<const double> v, Term term) {
    T total{};
    for (std::size_t p = 0; p < profiles.size(); ++p) {
        const std::span<const CategoryCount> profile = profiles.profile(p);
        Subject s{static_cast<double>(profiles.subjects(p)), static_cast<double>(profiles.ratings(p)), 0.0, 0.0, 0.0};
        if (s.r >= 2)
            s.a = pairAgreement(
                      profile.size(), [&](std::size_t a) { return profile[a].category; },
                      [&](std::size_t a) { return static_cast<double>(profile[a].count); }, w) /
                  (s.r * (s.r - 1));
        if (!v.empty())
            for (const CategoryCount& c : profile) s.E += c.count * v[c.category];
        s.e = s.E / s.r;
        if (s.r > 0 && s.f > 0) total += term(s);
    }
    return total;
}

// The sum of term(subject) over the groups of rated subjects of a study held
// without its table, E = sum_g lambda_ig (Conger).
template <typename T, typename Term>
T sumOverRated(const Study& study, const Matrix<double>& w, const CongerChance& conger, Term term) {
    T total{};
    CategoryCounts counts(static_cast<std::size_t>(study.K), static_cast<std::size_t>(study.profiles.mostRatings()));
    study.rated.forEach([&](std::int64_t count, std::span<const Rating> ratings) {
        // Raters who did not rate the subject add B_g: the sum of every B_g,
        // corrected for those who did.
        Subject s{static_cast<double>(count), static_cast<double>(ratings.size()), 0.0, conger.sumB, 0.0};
        for (const Rating& rating : ratings) {
            counts.add(rating.category);
            s.E += conger.of(rating.rater, rating.category) - conger.B[rating.rater];
        }
        if (s.r >= 2) s.a = counts.pairAgreement(w) / (s.r * (s.r - 1));
        s.e = s.E / s.r;
        if (s.f > 0) total += term(s);
        for (const Rating& rating : ratings) counts.remove(rating.category);
    });
    return total;
}

// The sum of term(subject) over every group of subjects that at least one
// rater rated, from whichever source the study has.
template <typename T, typename Term>
T sumOverSubjects(const Study& study, const Matrix<double>& w, const ChanceTable& chance, Term term) {
    if (!hasPatternTable(study)) {
        if (chance.conger) return sumOverRated<T>(study, w, *chance.conger, term);
        return sumOverProfiles<T>(study.profiles, w, chance.perCategory, term);
    }
    const Matrix<double>* x = chance.x.rows() > 0 ? &chance.x : nullptr;
    T total = sumOverPatterns<T>(study, w, x, term);
    forEachIncomplete(study, w, x, [&](const Subject& s, std::span<const std::uint16_t>) { total += term(s); });
    return total;
}

// ---------------------------------------------------------------------------
// The first pass: observed agreement and marginals, shared by the coefficients

// Sums over the subjects of a group's contributions to the observed agreement.
struct AgreementSums {
    double n = 0.0;        // subjects with a rating
    double n2 = 0.0;       // subjects with two ratings or more
    double sumA = 0.0;     // sum over those of a_i = W_i / (r_i (r_i - 1))
    double ratings = 0.0;  // sum over those of r_i
    double sumW = 0.0;     // sum over those of W_i / (r_i - 1) = a_i r_i

    AgreementSums& operator+=(const AgreementSums& other) {
        n += other.n;
        n2 += other.n2;
        sumA += other.sumA;
        ratings += other.ratings;
        sumW += other.sumW;
        return *this;
    }
};

AgreementSums agreementSums(const Subject& s) {
    if (s.r < 2) return {s.f, 0.0, 0.0, 0.0, 0.0};
    return {s.f, s.f, s.f * s.a, s.f * s.r, s.f * s.a * s.r};
}

struct Tallies : AgreementSums {
    std::vector<double> share;    // sum_i f n_ik / r_i = n pi_k
    // sum_i f [c_ig = k], the subjects rater g put in category k, of a study
    // with its table of response patterns (a study without it has them).
    RaterCounts raterCounts;
    std::vector<double> ratedIn;  // sum_i f n_ik over the subjects with two ratings or more
};

// `complete`: the counts of the complete subjects of a study with its table
// of response patterns (nothing for a study without it).
Tallies tally(const Study& study, const Matrix<double>& w, const AgreementCounts* complete) {
    const auto R = static_cast<std::size_t>(study.R);
    const auto K = static_cast<std::size_t>(study.K);
    Tallies t;
    t.share.assign(K, 0.0);
    t.ratedIn.assign(K, 0.0);
    if (!hasPatternTable(study)) {
        static_cast<AgreementSums&>(t) = sumOverProfiles<AgreementSums>(study.profiles, w, {}, agreementSums);
        for (std::size_t p = 0; p < study.profiles.size(); ++p) {
            const auto f = static_cast<double>(study.profiles.subjects(p));
            const auto r = static_cast<double>(study.profiles.ratings(p));
            for (const CategoryCount& c : study.profiles.profile(p)) {
                t.share[c.category] += f * c.count / r;
                if (r >= 2) t.ratedIn[c.category] += f * c.count;
            }
        }
        return t;
    }
    // Complete subjects: their n_ik summed over subjects are the raters'
    // marginals, and sum_i n_ik / R their sum over raters, divided once (so
    // that a category every rating falls in has a share of exactly n).
    Matrix<double> raterCounts(R, K);
    for (std::size_t g = 0; g < R; ++g)
        for (std::size_t k = 0; k < K; ++k) {
            raterCounts[g][k] = static_cast<double>(complete->byCategoryAndRater[k][g]);
            t.ratedIn[k] += raterCounts[g][k];
        }
    static_cast<AgreementSums&>(t) = sumOverPatterns<AgreementSums>(study, w, nullptr, agreementSums);
    for (std::size_t k = 0; k < K; ++k) t.share[k] = t.ratedIn[k] / static_cast<double>(R);
    std::vector<double> inGroup(K, 0.0);  // n_ik of a group of incomplete subjects
    forEachIncomplete(study, w, nullptr, [&](const Subject& s, std::span<const std::uint16_t> codes) {
        t += agreementSums(s);
        for (std::size_t g = 0; g < codes.size(); ++g) {
            if (codes[g] == kMissing) continue;
            raterCounts[g][codes[g]] += s.f;
            inGroup[codes[g]] += 1;
            if (s.r >= 2) t.ratedIn[codes[g]] += s.f;
        }
        for (const std::uint16_t c : codes)
            if (c != kMissing && inGroup[c] > 0) {
                t.share[c] += s.f * inGroup[c] / s.r;
                inGroup[c] = 0;
            }
    });
    std::vector<RaterCounts::Entry> used;
    for (std::size_t g = 0; g < R; ++g) {
        used.clear();
        for (std::size_t k = 0; k < K; ++k)
            if (raterCounts[g][k] > 0)
                used.push_back({static_cast<std::uint32_t>(k), static_cast<std::int64_t>(raterCounts[g][k])});
        t.raterCounts.add(used);
    }
    return t;
}

// The same sums in disagreement: with the weights 1 - w_kl (0 on the
// diagonal), sumA is sum_i (1 - a_i) and sumW sum_i (1 - a_i) r_i, formed from
// the pairs that disagree and so without cancelling when agreement is near 1.
// kappa = (D_e - D_o) / D_e in these terms keeps its digits where p_a and p_e
// both near 1 would lose them in p_a - p_e.
struct Disagreement {
    Matrix<double> weights;  // 1 - w_kl
    AgreementSums sums;
};

Disagreement observedDisagreement(const Study& study, const Matrix<double>& w) {
    Disagreement d;
    d.weights = Matrix<double>(w.rows(), w.cols());
    for (std::size_t k = 0; k < w.rows(); ++k)
        for (std::size_t l = 0; l < w.cols(); ++l) d.weights[k][l] = k == l ? 0.0 : 1 - w[k][l];
    d.sums = sumOverSubjects<AgreementSums>(study, d.weights, ChanceTable::none(), agreementSums);
    return d;
}

// ---------------------------------------------------------------------------
// Chance agreement

// T_w = sum_k sum_l w_kl.
double weightTotal(const Matrix<double>& w) {
    double T = 0.0;
    for (std::size_t k = 0; k < w.rows(); ++k)
        for (const double x : w[k]) T += x;
    return T;
}

// omega_k = sum_l w_kl pi_l: the weighted prevalence of category k.
std::vector<double> weightedPrevalence(const Matrix<double>& w, const std::vector<double>& pi) {
    std::vector<double> omega(pi.size(), 0.0);
    for (std::size_t k = 0; k < pi.size(); ++k)
        for (std::size_t l = 0; l < pi.size(); ++l) omega[k] += w[k][l] * pi[l];
    return omega;
}

// sum_k sum_l w_kl pi_k pi_l = sum_k pi_k omega_k: the chance agreement of two
// ratings drawn from the pooled prevalences (Fleiss, Krippendorff).
double pooledChance(const std::vector<double>& pi, const std::vector<double>& omega) {
    double pe = 0.0;
    for (std::size_t k = 0; k < pi.size(); ++k) pe += pi[k] * omega[k];
    return pe;
}

// Conger's chance agreement and its lambda (see CongerChance) from the
// raters' counts: lambda of every category when `everyCategory` (the walk
// over a table of response patterns reads them all), else of the categories
// each rater used, which are all that subjects can have. Each rater's
// sum_{h != g} p_hk is formed from the sums before and after g, without
// subtracting; a category's sums skip the raters who did not use it, whose
// terms are 0, so the arithmetic is the same whichever way the study is held.
CongerChance congerChance(const Matrix<double>& w, const RaterCounts& counts, double n, std::size_t K,
                          bool everyCategory) {
    const std::size_t R = counts.raters();
    CongerChance C;
    C.counts = &counts;
    std::vector<double> ng(R, 0.0), p;  // p_gk of the categories each rater used, in the order of its counts
    for (std::size_t g = 0; g < R; ++g) {
        for (const RaterCounts::Entry& e : counts.of(g)) ng[g] += static_cast<double>(e.subjects);
        if (ng[g] == 0) {
            C.idleRater = static_cast<std::int32_t>(g);
            return C;
        }
        for (const RaterCounts::Entry& e : counts.of(g)) p.push_back(static_cast<double>(e.subjects) / ng[g]);
    }
    // Each category's raters in order, and before[i], after[i]: the sums of
    // p_hk over its first i raters and over its raters from the i-th on.
    std::vector<std::size_t> first(K + 1, 0);
    for (std::size_t g = 0; g < R; ++g)
        for (const RaterCounts::Entry& e : counts.of(g)) ++first[e.category + 1];
    for (std::size_t k = 0; k < K; ++k) first[k + 1] += first[k];
    std::vector<std::uint32_t> users(first[K]);
    std::vector<double> share(first[K]);
    {
        std::vector<std::size_t> next(first.begin(), first.end() - 1);
        std::size_t i = 0;
        for (std::size_t g = 0; g < R; ++g)
            for (const RaterCounts::Entry& e : counts.of(g)) {
                users[next[e.category]] = static_cast<std::uint32_t>(g);
                share[next[e.category]++] = p[i++];
            }
    }
    // Category k's sums sit at first[k] + k .. first[k + 1] + k.
    std::vector<double> before(first[K] + K), after(first[K] + K);
    for (std::size_t k = 0; k < K; ++k) {
        const std::size_t m = first[k + 1] - first[k], at = first[k] + k;
        before[at] = 0.0;
        for (std::size_t i = 0; i < m; ++i) before[at + i + 1] = before[at + i] + share[first[k] + i];
        after[at + m] = 0.0;
        for (std::size_t i = m; i-- > 0;) after[at + i] = after[at + i + 1] + share[first[k] + i];
    }
    // Without every category: the categories k with w_kl != 0, for each l,
    // ascending (one for identity weights, however many categories).
    std::vector<std::vector<std::uint32_t>> weighing(everyCategory ? 0 : K);
    for (std::size_t l = 0; l < weighing.size(); ++l)
        for (std::size_t k = 0; k < K; ++k)
            if (w[l][k] != 0) weighing[l].push_back(static_cast<std::uint32_t>(k));

    if (everyCategory) C.lambda = Matrix<double>(R, K + 1);
    C.used.resize(p.size());
    C.B.resize(R);
    std::vector<std::size_t> passed(K, 0);  // the raters of each category before g
    std::vector<double> others(K), A(K);
    std::size_t entry = 0;
    for (std::size_t g = 0; g < R; ++g) {
        for (std::size_t k = 0; k < K; ++k) {
            const std::size_t m = first[k + 1] - first[k];
            while (passed[k] < m && users[first[k] + passed[k]] < g) ++passed[k];
            const bool uses = passed[k] < m && users[first[k] + passed[k]] == g;
            others[k] = before[first[k] + k + passed[k]] + after[first[k] + k + passed[k] + (uses ? 1 : 0)];
        }
        // A_g(l) = sum_k w_kl others_k, k ascending (w is symmetric: row l).
        const std::span<const RaterCounts::Entry> used = counts.of(g);
        if (everyCategory) {
            std::fill(A.begin(), A.end(), 0.0);
            for (std::size_t k = 0; k < K; ++k)
                if (const double q = others[k]; q != 0)
                    for (std::size_t l = 0; l < K; ++l) A[l] += w[k][l] * q;
        } else {
            for (const RaterCounts::Entry& e : used) {
                double a = 0.0;
                for (const std::uint32_t k : weighing[e.category])
                    if (others[k] != 0) a += w[e.category][k] * others[k];
                A[e.category] = a;
            }
        }
        double B = 0.0;
        for (std::size_t i = 0; i < used.size(); ++i) B += A[used[i].category] * p[entry + i];
        const auto lambda = [&](std::size_t c) { return n / ng[g] * (A[c] - B) + B; };
        if (everyCategory) {
            for (std::size_t c = 0; c < K; ++c) C.lambda[g][c] = lambda(c);
            C.lambda[g][K] = B;
        }
        for (std::size_t i = 0; i < used.size(); ++i) C.used[entry + i] = lambda(used[i].category);
        entry += used.size();
        C.B[g] = B;
        C.sumB += B;
    }
    C.pe = C.sumB / (static_cast<double>(R) * static_cast<double>(R - 1));
    return C;
}

// ---------------------------------------------------------------------------
// The coefficients

// A sum of squared deviations over subjects, and the smallest and largest of
// the values it saw.
struct Deviations {
    double sum = 0.0;
    double smallest = HUGE_VAL;
    double largest = -HUGE_VAL;

    static Deviations of(double f, double u, double mean) { return {f * (u - mean) * (u - mean), u, u}; }
    Deviations& operator+=(const Deviations& other) {
        sum += other.sum;
        smallest = std::min(smallest, other.smallest);
        largest = std::max(largest, other.largest);
        return *this;
    }
    double spread() const { return largest >= smallest ? largest - smallest : 0.0; }
};

// The largest number of ratings of a subject: R with the table of response
// patterns.
double mostRatings(const Study& study) {
    return hasPatternTable(study) ? study.R : static_cast<double>(study.profiles.mostRatings());
}

// The bounds on rounding errors of one study's coefficients (see
// estimators/rounding.h): p_a sums over the patterns and the groups of
// incomplete subjects (or the profiles and the groups of rated subjects), each
// a_i over pairs of ratings; p_e sums over pairs of categories, and Conger's
// over raters.
class Rounding {
public:
    explicit Rounding(const Study& study)
        : operations_(hasPatternTable(study)
                          ? static_cast<double>(study.frequency.size() + study.incomplete.size()) +
                                static_cast<double>(study.K) * study.K + static_cast<double>(study.R) * study.R
                          : static_cast<double>(study.profiles.size() + study.rated.groups()) +
                                static_cast<double>(study.K) * study.K + mostRatings(study) * mostRatings(study) +
                                static_cast<double>(study.R)) {}

    // p_a - p_e (or any difference of two such sums, with `magnitude` the sum
    // of their sizes), exactly 0 within its rounding error.
    double settled(double difference, double magnitude) const {
        return kappa::settled(difference, roundingError(operations_, magnitude));
    }
    // A sum of squared deviations of u_i, each no larger than `largest`.
    double settledVariance(const Deviations& S, double largest) const {
        return kappa::settledVariance(S.sum, S.spread(), roundingError(operations_, largest));
    }

private:
    double operations_;
};

// "1 subject with a single rating", "2 subjects with a single rating".
std::string singleRated(double subjects) {
    const auto n = static_cast<std::int64_t>(subjects);
    return std::to_string(n) + (n == 1 ? " subject" : " subjects") + " with a single rating";
}

std::string undefinedChanceNote(const std::string& name) {
    return "the chance agreement p_e is 1 (every rating falls in one category, or in categories whose mutual "
           "weights are all 1), so " + name + ", its standard error, test and interval are undefined";
}

std::string tooFewSubjectsNote(const std::string& name, const char* subjects) {
    return "the variance of " + name + " needs at least two " + subjects +
           " (its divisor is n (n - 1)), so its standard error, test and interval are undefined";
}

// Every coefficient but alpha. The linearised contribution of subject i,
//   u_i = (n/n2) (a_i - p_e [r_i >= 2]) / d - 2 (1 - kappa) (e_i - p_e) / d,   d = 1 - p_e,
// has mean kappa over the n subjects, and V = sum_i (u_i - kappa)^2 / (n (n - 1)).
// e_i, the subject's chance-agreement contribution, has mean p_e:
//   Fleiss   e_i = sum_k n_ik omega_k / r_i
//   Gwet     e_i = T_w / (K (K - 1)) sum_k n_ik (1 - pi_k) / r_i
//   Conger   e_i = sum_g lambda_ig / (R (R - 1))
// Percent agreement (p_e = 0) and Brennan-Prediger (p_e = T_w / K^2) have no
// such term.
PointEstimate agreementCoefficient(const Study& study, const Tallies& t, const Disagreement& disagreement, Coefficient c,
                            const Matrix<double>& w, const std::string& name) {
    PointEstimate out;
    out.distribution = Distribution::StudentT;
    out.subjects = static_cast<std::int64_t>(t.n);
    out.df = t.n - 1;
    if (t.n > t.n2)
        out.notes.push_back(singleRated(t.n - t.n2) + " count in the category prevalences only");
    if (t.n2 == 0) {
        out.notes.push_back("no subject has two ratings or more, so the observed agreement and " + name +
                            " are undefined");
        return out;
    }
    const double pa = t.sumA / t.n2;
    out.observed = pa;

    const auto R = static_cast<std::size_t>(study.R);
    const double K = study.K;
    std::vector<double> pi(t.share);
    for (double& p : pi) p /= t.n;
    double pe = 0.0;
    double De = kNaN;          // 1 - p_e, where it is formed as a chance disagreement
    ChanceTable x;             // what E sums, nothing without a chance term
    CongerChance conger;
    double perRaterPair = 0;  // Conger: e_i = E_i / (R (R - 1)); otherwise 0 and e_i = E_i / r_i
    switch (c) {
        case Coefficient::Fleiss: {
            std::vector<double> omega = weightedPrevalence(w, pi);
            pe = pooledChance(pi, omega);
            De = pooledChance(pi, weightedPrevalence(disagreement.weights, pi));
            x = ChanceTable::sameForEveryRater(study, std::move(omega));
            break;
        }
        case Coefficient::Conger: {
            if (!hasPatternTable(study) && study.rated.empty()) {
                out.notes.push_back(name + " needs each rater's marginal proportions and which rater gave each "
                                           "rating, which " +
                                    (study.R == 0 ? std::string("counts of ratings per subject do not record")
                                                  : std::string("were not kept")) +
                                    ", so it is undefined");
                return out;
            }
            conger = congerChance(w, hasPatternTable(study) ? t.raterCounts : study.raterCounts, t.n,
                                  static_cast<std::size_t>(study.K), hasPatternTable(study));
            if (conger.idleRater >= 0) {
                out.notes.push_back("rater " + std::to_string(conger.idleRater + 1) +
                                    " rated no subject, so that rater's marginal proportions and " + name +
                                    " are undefined");
                return out;
            }
            pe = conger.pe;
            x = ChanceTable::ofConger(conger);
            perRaterPair = 1 / (static_cast<double>(R) * static_cast<double>(R - 1));
            break;
        }
        case Coefficient::Gwet: {
            if (study.K < 2) {
                out.notes.push_back(name + " needs at least two categories (its chance agreement divides by "
                                           "K (K - 1)), so it is undefined");
                return out;
            }
            const double scale = weightTotal(w) / (K * (K - 1));
            std::vector<double> rarity;  // T_w / (K (K - 1)) (1 - pi_k)
            double spread = 0.0;         // sum_k pi_k (1 - pi_k)
            for (const double p : pi) {
                rarity.push_back(scale * (1 - p));
                spread += p * (1 - p);
            }
            pe = scale * spread;
            x = ChanceTable::sameForEveryRater(study, std::move(rarity));
            break;
        }
        case Coefficient::BrennanPrediger: pe = weightTotal(w) / (K * K); break;
        case Coefficient::Percent:
        case Coefficient::Kappa:
        case Coefficient::Alpha: break;
    }
    out.chance = pe;
    if (!(pe < 1)) {
        out.notes.push_back(undefinedChanceNote(name));
        return out;
    }
    // kappa = (p_a - p_e) / (1 - p_e) = (D_e - D_o) / D_e, but percent agreement's p_a itself. D_e
    // found as 1 - p_e carries the rounding error of p_e. Conger's chance disagreement costs another
    // pass over every rater's categories (long with many raters and categories): it is formed only
    // where 1 - p_e is too coarse to tell D_e from D_o.
    const double Do = disagreement.sums.sumA / t.n2;
    const Rounding rounding(study);
    if (c == Coefficient::Conger && rounding.settled(1 - pe - Do, 1 + Do) == 0)
        De = congerChance(disagreement.weights, hasPatternTable(study) ? t.raterCounts : study.raterCounts, t.n,
                          static_cast<std::size_t>(study.K), false)
                 .pe;
    const double d = std::isnan(De) ? 1 - pe : De;
    const double kappa =
        c == Coefficient::Percent ? pa : rounding.settled(d - Do, (std::isnan(De) ? 1 : d) + Do) / d;
    out.value = kappa;
    if (t.n < 2) {
        out.notes.push_back(tooFewSubjectsNote(name, "subjects"));
        return out;
    }

    // u_i = agreementSlope (a_i - p_e [r_i >= 2]) - chanceSlope (e_i - p_e)
    const double agreementSlope = t.n / t.n2 / d;
    const double chanceSlope = x.empty() ? 0.0 : 2 * (1 - kappa) / d;
    const Deviations S = sumOverSubjects<Deviations>(study, w, x, [=](const Subject& s) {
        const double e = perRaterPair > 0 ? s.E * perRaterPair : s.e;
        const double u = agreementSlope * (s.a - (s.r >= 2 ? pe : 0.0)) - chanceSlope * (e - pe);
        return Deviations::of(s.f, u, kappa);
    });
    // a_i is at most 1 and e_i at most the largest entry of x (times R for Conger).
    const double eLargest = x.largest() * (perRaterPair > 0 ? static_cast<double>(R) * perRaterPair : 1.0);
    out.variance =
        rounding.settledVariance(S, std::abs(agreementSlope) * (1 + pe) + std::abs(chanceSlope) * (eLargest + pe)) /
        (t.n * (t.n - 1));
    return out;
}

// Krippendorff's alpha in Gwet's form. Only the n subjects with r_i >= 2 take
// part; with r-bar their mean number of ratings and epsilon = 1 / sum_i r_i,
//   a_i' = W_i / (r-bar (r_i - 1)),  p_a' = mean of a_i',
//   pi_k = sum_i n_ik / (n r-bar),   p_e = sum_kl w_kl pi_k pi_l,
//   alpha = ((1 - epsilon) p_a' + epsilon - p_e) / (1 - p_e).
// The variance linearises alpha' = (p_a' - p_e) / (1 - p_e), the value before
// the epsilon correction:
//   u_i = (a_i* - p_e) / d - 2 (1 - alpha') (e_i - p_e) / d,
//   a_i* = a_i' - p_a' (r_i - r-bar) / r-bar,
//   e_i = sum_k n_ik omega_k / r-bar - p_e (r_i - r-bar) / r-bar,
// V = sum_i (u_i - alpha')^2 / (n (n - 1)), and t has n0 - 1 degrees of
// freedom, n0 counting every subject with a rating. With r_i = R throughout
// this is alpha = 1 - (1 - p_a)(nR - 1) / (nR (1 - p_e)), with the variance of
// Fleiss' kappa.
PointEstimate krippendorffAlpha(const Study& study, const Tallies& t, const Disagreement& disagreement, const Matrix<double>& w,
                         const std::string& name) {
    PointEstimate out;
    out.distribution = Distribution::StudentT;
    // alpha reports n0, the subjects that its reference distribution counts
    // (as every other coefficient does); its value uses the n of them with two
    // ratings or more.
    const double n0 = t.n, n = t.n2;
    out.subjects = static_cast<std::int64_t>(n0);
    out.df = n0 - 1;
    if (n0 > n)
        out.notes.push_back(singleRated(n0 - n) + " left out of " + name +
                            "; the degrees of freedom still count them");
    if (n == 0) {
        out.notes.push_back("no subject has two ratings or more, so " + name + " is undefined");
        return out;
    }

    // n r-bar = sum_i r_i: the prevalences and p_a' divide by the number of ratings.
    const double rbar = t.ratings / n;
    const double epsilon = 1 / t.ratings;
    const double paPrime = t.sumW / t.ratings;
    std::vector<double> pi(t.ratedIn);
    for (double& p : pi) p /= t.ratings;
    const std::vector<double> omega = weightedPrevalence(w, pi);
    const double pe = pooledChance(pi, omega);
    out.observed = (1 - epsilon) * paPrime + epsilon;
    out.chance = pe;
    if (!(pe < 1)) {
        out.notes.push_back(undefinedChanceNote(name));
        return out;
    }
    // alpha = 1 - D_o / D_e, D_o = (1 - epsilon) (1 - p_a') and D_e = 1 - p_e each formed in disagreement.
    const double d = pooledChance(pi, weightedPrevalence(disagreement.weights, pi));
    const double Do = (1 - epsilon) * disagreement.sums.sumW / t.ratings;
    const Rounding rounding(study);
    out.value = rounding.settled(d - Do, d + Do) / d;
    if (n < 2) {
        out.notes.push_back(tooFewSubjectsNote(name, "subjects with two ratings or more"));
        return out;
    }

    const double alphaPrime = (paPrime - pe) / d;
    // u_i = (a_i* - p_e) / d - chanceSlope (e_i - p_e); a_i' = W_i / (r-bar (r_i - 1)) = a_i r_i / r-bar.
    const double chanceSlope = 2 * (1 - alphaPrime) / d;
    const double perRating = 1 / rbar;
    const ChanceTable x = ChanceTable::sameForEveryRater(study, omega);
    const Deviations S = sumOverSubjects<Deviations>(study, w, x, [=](const Subject& s) {
        if (s.r < 2) return Deviations{};
        const double size = (s.r - rbar) * perRating;  // (r_i - r-bar) / r-bar
        const double aStar = s.a * s.r * perRating - paPrime * size;
        const double e = s.E * perRating - pe * size;
        const double u = (aStar - pe) / d - chanceSlope * (e - pe);
        return Deviations::of(s.f, u, alphaPrime);
    });
    // a_i* is at most about 2 r_i / r-bar, e_i at most r_i / r-bar times the largest omega.
    const double largest = 2 * mostRatings(study) * perRating;
    out.variance =
        rounding.settledVariance(S, (largest + pe) / d + std::abs(chanceSlope) * (largest + pe)) / (n * (n - 1));
    return out;
}

// The ratings in each category of the subjects with two ratings or more:
// the margins of Krippendorff's coincidence matrix.
std::vector<double> pairableValues(const Study& study, const AgreementCounts* complete) {
    std::vector<double> values(static_cast<std::size_t>(study.K), 0.0);
    if (!hasPatternTable(study)) {
        for (std::size_t p = 0; p < study.profiles.size(); ++p) {
            if (study.profiles.ratings(p) < 2) continue;
            for (const CategoryCount& c : study.profiles.profile(p))
                values[c.category] += static_cast<double>(c.count) * static_cast<double>(study.profiles.subjects(p));
        }
        return values;
    }
    for (std::size_t k = 0; k < values.size(); ++k)
        for (const std::int64_t count : complete->byCategoryAndRater[k]) values[k] += static_cast<double>(count);
    for (const IncompleteSubjects& group : study.incomplete) {
        const auto rated = std::count_if(group.codes.begin(), group.codes.end(),
                                         [](std::uint16_t c) { return c != kMissing; });
        if (rated < 2) continue;
        for (const std::uint16_t c : group.codes)
            if (c != kMissing) values[c] += static_cast<double>(group.count);
    }
    return values;
}

}  // namespace

// What every coefficient of one weighting reads: the weights and the first
// pass over the subjects.
struct ChanceCorrectedStudy::Shared {
    Matrix<double> w;
    Tallies t;
    Disagreement disagreement;
};

ChanceCorrectedStudy::ChanceCorrectedStudy(const Study& study, Weighting weighting, const AgreementCounts* complete)
    : study_(study), weighting_(weighting) {
    if (weighting != Weighting::File && (study.R >= 2 || !hasPatternTable(study))) {
        std::optional<AgreementCounts> counted;
        if (hasPatternTable(study) && !complete) complete = &counted.emplace(tallyAgreement(study));
        auto shared = std::make_unique<Shared>();
        shared->w = agreementWeights(weighting, study.K,
                                     weighting == Weighting::KrippendorffOrdinal ? pairableValues(study, complete)
                                                                                 : std::vector<double>{});
        shared->t = tally(study, shared->w, complete);
        shared->disagreement = observedDisagreement(study, shared->w);
        shared_ = std::move(shared);
    }
}

ChanceCorrectedStudy::~ChanceCorrectedStudy() = default;

PointEstimate ChanceCorrectedStudy::estimate(Coefficient c) const {
    const std::string name = displayName(c, weighting_, study_.R);
    if (c == Coefficient::Kappa || weighting_ == Weighting::File || !shared_) {
        PointEstimate none;
        none.distribution = Distribution::StudentT;
        none.notes.push_back(shared_ || weighting_ == Weighting::File
                                 ? "Hubert's kappa and weights from a file are not computed by this routine"
                                 : name + " needs at least two raters");
        return none;
    }
    if (c == Coefficient::Alpha) return krippendorffAlpha(study_, shared_->t, shared_->disagreement, shared_->w, name);
    return agreementCoefficient(study_, shared_->t, shared_->disagreement, c, shared_->w, name);
}

}  // namespace kappa
