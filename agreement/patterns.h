// The counts that every estimate starts from: how many subjects each rater put
// in each category, and how many subjects all raters put in the same one.
#pragma once

#include <cstdint>
#include <vector>

#include "tables/matrix.h"
#include "tables/study.h"

namespace kappa {

// Hubert's kappa in the notation of its derivation and of the program it
// descends from, and the names here:
//   N0, the subjects rated by every rater      AgreementCounts::n
//   n_kj, rater j's subjects in category k     byCategoryAndRater[k][j] (clases)
//   subjects on whom all raters agree          unanimousSubjects (crudo)
//   p_jk = n_kj / N0, the marginal proportions Marginals::proportion[k][j] (t_indice), from
//                                              raterMarginals (Invariante)
//   prod_j p_jk, all raters choose k by chance Marginals::allChoose[k] (ptotal)
//   the same leaving rater j out               Marginals::othersChoose[k][j] (factorT)
//   the chance probability of pattern p        Marginals::patternChance[p] (prodt)
//   its products leaving one rater out         ChanceProducts::withoutRater() (factorE)
//   subjects on whom all raters chose k        AgreementCounts::unanimousIn[k] (ac)
//   Q = 1 - Ie, the chance disagreement        UnweightedKappa::chanceDisagreement,
//                                              WeightedRestricted::chanceDisagreement (Q)
//   the counts themselves                      tallyAgreement (TablaInicial)
//   the variance of the independence test      UnweightedRestricted::independenceVariance (mmI),
//                                              WeightedRestricted::weightedIndependenceVariance (mmIv)
//   the restricted tests, unweighted/weighted  unweightedRestricted, weightedRestricted
//                                              (restricted_1, restricted_2)
//   weighted kappas of one study               weightedKappas (coefficientKappa_Weight)
//   I0, Ie, observed and chance agreement      UnweightedKappa::observedAgreement, chanceAgreement
//   the same names of weighted kappa, which    WeightedKappa::observedDisagreement,
//   there are disagreements                    chanceDisagreement
//   kappa_0, the kappa under test              kappa0 (kp)
//   the normal quantile                        inverseNormal (Inv_Normal)
// Q names the chance disagreement and nothing else; the sums over pairs of
// ratings of the chance-corrected coefficients are W (estimators/coefficients.cpp).
// In the dialogue: printTitle (Caratula), askParameters (Datos), the input
// case of its menu inputCase (entrada),
// loadStudyFile and loadWeightedStudyFile (Archivo, Archivo_Weight), whose
// file reports ratersFound, largestCodeRead and subjectsRead (nraters,
// maxclase, Naux).
struct AgreementCounts {
    std::int32_t R = 0;
    std::int32_t K = 0;
    double n = 0.0;                           // subjects rated by every rater
    Matrix<std::int64_t> byCategoryAndRater;  // [k][j]: subjects rater j put in category k
    std::vector<std::int64_t> unanimousIn;    // [k]: subjects on whom all raters chose k
    std::int64_t unanimousSubjects = 0;       // subjects on whom all raters agree
};

// The counts of the study's complete subjects.
AgreementCounts tallyAgreement(const Study& study);

// ratings[j][k]: the subjects rater j put in category k, complete subjects
// (from `counts`) and incomplete ones alike.
Matrix<std::int64_t> ratingsByRater(const Study& study, const AgreementCounts& counts);

}  // namespace kappa
