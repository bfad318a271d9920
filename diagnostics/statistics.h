// The statistics of where raters disagree, as functions of plain inputs: a
// K x K table of two raters' counts, a list of values, or a study's subjects
// read group by group.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "inference/estimate.h"
#include "tables/matrix.h"
#include "tables/study.h"

namespace kappa {

// The test that two raters' margins are equal (no rater bias) on their K x K
// table n (rows: the first rater): d_i = n_i. - n_.i and the covariance
// V_ii = n_i. + n_.i - 2 n_ii, V_ij = -(n_ij + n_ji) give d' V^- d against
// chi-square. Stuart-Maxwell's statistic; at K = 2 it is McNemar's
// (b - c)^2 / (b + c), without continuity correction. V is singular when
// the categories fall into groups between which the raters never disagree:
// the statistic is then the sum over the groups, on K - (number of groups)
// degrees of freedom; none when the raters never disagree.
struct MarginalHomogeneity {
    std::string test;  // "McNemar" (K = 2) or "Stuart-Maxwell"
    double statistic = kNaN;
    double df = kNaN;
    double pValue = kNaN;  // upper tail of chi-square: the test has no direction
    std::vector<std::string> notes;
};
MarginalHomogeneity marginalHomogeneity(const Matrix<std::int64_t>& table);

// Byrt, Bishop and Carlin's indices of a 2 x 2 table [a b; c d] of n
// subjects, the first category positive: prevalence index (a - d)/n, bias
// index (b - c)/n (the first rater's proportion of positives less the
// second's), and the prevalence- and bias-adjusted kappa 2 p_o - 1.
struct AgreementIndices {
    double prevalence = kNaN;
    double bias = kNaN;
    double pabak = kNaN;
    std::vector<std::string> notes;
};
AgreementIndices agreementIndices(const Matrix<std::int64_t>& table);

// The mean, least, quartiles (linear interpolation between order
// statistics, as R's default) and largest of the finite values, and how many
// there are; NaN when there are none.
struct Spread {
    std::size_t count = 0;
    double mean = kNaN, min = kNaN, lowerQuartile = kNaN, median = kNaN, upperQuartile = kNaN, max = kNaN;
};
Spread spreadOf(std::vector<double> values);

// Each rater's agreement with the others: of the pairs that rater forms with
// another rater of the same subject, the proportion in which both chose the
// same category. NaN for a rater with no such pair.
std::vector<double> raterAgreement(const Study& study);

// The proportion of specific agreement of category k: of the pairs of
// ratings of one subject that include a rating k, the proportion where both
// are k, sum_i x_i (x_i - 1) / sum_i x_i (m_i - 1) for x_i ratings k among
// the m_i of subject i (at two raters 2a / (2a + b + c), the positive
// agreement of the first category and the negative of the second). Its
// standard error is the delta method's over subjects, sum_i (u_i - p v_i)^2 /
// (sum_i v_i)^2 for the terms u_i and v_i of the two sums (Graham and Bull's
// at two raters), and its interval p -+ z se (a one-sided bound with a
// one-sided alternative), the upper limit clipped at 1.
struct SpecificAgreement {
    double value = kNaN;
    double se = kNaN;
    Interval ci;
    std::vector<std::string> notes;
};
std::vector<SpecificAgreement> specificAgreement(const Study& study, double z, Alternative alternative);

// Krippendorff's coincidence matrix: o_ck = sum over subjects with m_i >= 2
// ratings of the ordered pairs of its ratings (c, k) / (m_i - 1).
Matrix<double> coincidenceMatrix(const Study& study);

}  // namespace kappa
