// The shared state of one analysis: every table and scalar through which the
// routines of the program communicate, under the names the formulas use.
//
// Indices: j is a rater (0..R-1), k a category (0..K-1), p a response pattern
// (0..K^R-1, rater 0 the most significant base-K digit) and r a row of the data
// file (0..contextra-1). Every table is sized for the cycle that fills it, so
// no value of an earlier cycle can be read through a table this cycle did not
// fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tables/matrix.h"
#include "tables/study.h"

namespace kappa {

// Observed frequency of a response pattern and whether all its raters agree.
struct PatternRecord {
    std::int32_t frequency = 0;
    std::int32_t allAgree = 0;
};

// Per-pattern working values of the weighted estimator and of the weighted
// restricted coefficients.
struct PatternScratch {
    double residual = 0.0;        // e_p = v_p - s_p (1 - kappa)
    double weightedSquare = 0.0;  // F_p e_p^2 / n
    double vbarSum = 0.0;         // s_p = sum over raters of vbar[cat[p][j]][j]
};

struct AnalysisState {
    // Answers of the parameter entry and the menus.
    std::int32_t R = 0;    // raters
    std::int32_t K = 0;    // categories
    double N = 0.0;        // subjects, as entered
    double Cf = 0.0;       // confidence level of the two-sided intervals, percent
    double kp = 0.0;       // kappa value under test
    std::int32_t entrada = 0;  // case: 1 unweighted, 2 weights from the file, 3 quadratic and linear
    std::int32_t fin = 0;      // answer of the end prompt

    // The loaded data file.
    Matrix<std::int32_t> data;     // data[r][j]: 1-based code of rater j; data[r][nraters]: frequency
    std::vector<double> pesostot;  // weight of row r (weighted file only)
    std::int32_t nraters = 0;      // raters found in the file's first line
    std::int32_t contextra = 0;    // rows read
    std::int32_t maxclase = 0;     // largest category code read
    double Naux = 0.0;             // subjects in the file: the sum of its frequencies

    // Response patterns and the frequency table.
    Matrix<std::uint16_t> indice;     // indice[p][j]: 0-based category of rater j in pattern p
    std::vector<PatternRecord> frec;  // frequency and agreement flag of pattern p
    std::vector<double> weight;       // disagreement weight v of pattern p (main set)
    std::vector<double> weightlinear; // second weight set
    Matrix<std::int64_t> clases;      // clases[k][j]: subjects rater j put in category k
    std::vector<std::int64_t> ac;     // ac[k]: subjects on whom all raters chose k
    std::vector<double> successaux;   // ac[k] as a double
    Matrix<double> failaux;           // clases[k][j] - ac[k]

    // Marginal proportions and chance products.
    Matrix<double> t_indice;     // t_indice[k][j]: proportion of category k for rater j
    std::vector<double> ptotal;  // product over raters of t_indice[k][j]
    Matrix<double> factorT;      // the same product leaving rater j out
    std::vector<double> prodt;   // chance probability of pattern p
    Matrix<double> factorE;      // factorE[p][j]: the same product leaving rater j out

    // Weighted working tables.
    Matrix<double> vbar;               // vbar[k][j]: weighted leave-one-out sums
    std::vector<PatternScratch> xx;    // per-pattern scratch

    // Results.
    std::int64_t crudo = 0;  // subjects on whom all raters agree
    double I0 = 0.0, Ie = 0.0;
    double kappa = 0.0, varkappa = 0.0;
    double kappalinear = 0.0, varkappalinear = 0.0;
    double Ielinear = 0.0;
    double Xvalue = 0.0, Yvalue = 0.0, Zvalue = 0.0;
    double a = 0.0, b = 0.0, c = 0.0, d = 0.0;
    double alinear = 0.0, blinear = 0.0, clinear = 0.0;
    double mmI = 0.0, mmIv = 0.0, mmIvlinear = 0.0, mmIw = 0.0;
};

// The number of response patterns for the entered K and R.
std::size_t patternCount(const AnalysisState& s);

}  // namespace kappa
