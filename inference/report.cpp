#include "inference/report.h"

#include <cmath>

#include "estimators/kappa.h"
#include "estimators/weighted_kappa.h"
#include "estimators/weights.h"
#include "inference/restricted.h"

namespace kappa {

namespace {

constexpr int plusMinus = 241;  // the plus-minus sign of code page 437

enum class Block { Plain, Quadratic, Linear };

void printHeader(Console& con, const AnalysisState& s, Block block, double kappaHat, double se) {
    const bool cohen = s.R == 2;
    switch (block) {
        case Block::Plain:
            return con.print(cohen ? "\n\n Cohen's weighted kappa %.4lf %c %.5lf"
                                   : "\n\n Hubert's weighted kappa %.4lf %c %.5lf",
                             kappaHat, plusMinus, se);
        case Block::Quadratic:
            return con.print(cohen ? "\n\n Cohen's weighted kappa QUADRATIC %.4lf %c %.5lf"
                                   : "\n\n Hubert's weighted kappa QUADRATIC %.4lf %c %.5lf",
                             kappaHat, plusMinus, se);
        case Block::Linear:
            return con.print(cohen ? "\n\n Cohen's weighted kappa LINEAR %.4lf %c %.5lf"
                                   : "\n\n Hubert's weighted kappa LINEAR %.4lf %c %.5lf",
                             kappaHat, plusMinus, se);
    }
}

// The Wald test of kp and the Wald interval; only the upper limit is clipped.
void printUnrestricted(Console& con, double kp, double kappaHat, double se, double z) {
    const double W = (kappaHat - kp) / se;
    const double lower = kappaHat - z * se;
    double upper = kappaHat + z * se;
    if (upper > 1.0) upper = 1.0;
    con.print("\n\n UNRESTRICTED INFERENCES:");
    con.print("\n Test statistic (for kappa = %.2lf) = %.4lf.", kp, W);
    con.print("\n CI = (%.4lf, %.4lf).", lower, upper);
}

void printRestricted(Console& con, double kp, const RestrictedInference& r, bool intervalPeriod) {
    if (r.negativeVariance)
        con.print("\n Variance for test statistic (for kappa = %.2lf) is negative.", kp);
    else
        con.print("\n Test statistic (for kappa = %.2lf) = %.4lf.", kp, r.T0);
    if (r.noSolution)
        con.print("\n (-Infinity, 1.0): the CI has no solution.");
    else
        con.print(intervalPeriod ? "\n CI = (%.4lf, %.4lf)." : "\n CI = (%.4lf, %.4lf)", r.L, r.U);
}

void printIndependence(Console& con, double I) {
    con.print("\n Test statistic (for the independence test) = %.4lf.", I);
}

// Clears the restricted flags and forms the statistic and the limits from the
// restricted variance V0 at kp and the interval's discriminant D.
RestrictedInference restrictedOutcome(double kappaHat, double kp, double V0, double D, double M, double S) {
    RestrictedInference r;
    r.negativeVariance = V0 < 0;
    if (!r.negativeVariance) r.T0 = (kappaHat - kp) / std::sqrt(V0);
    r.noSolution = D < 0;
    if (!r.noSolution) {
        r.L = (M - std::sqrt(D)) / S;
        r.U = (std::sqrt(D) + M) / S;
        if (r.U > 1.0) r.U = 1.0;
    }
    return r;
}

// The restricted test of kp and the inverted interval, unweighted, with the
// scale factor d = z^2 / (n Q^2) already in s.d.
RestrictedInference unweightedRestricted(const AnalysisState& s, double z) {
    const double n = s.Naux;
    const double Q = s.Q;
    const double u = 1 - s.kp;
    const double V0 = (s.a * (u * u) - 2 * s.b * u) / (n * (Q * Q));
    const double D = s.d * s.d * s.b * s.b + z * z * s.varkappa;
    return restrictedOutcome(s.kappa, s.kp, V0, D, s.kappa + (s.b - s.a) * s.d, 1 - s.d * s.a);
}

// One block of the weighted report on the coefficient set of its weights.
void weightedBlock(AnalysisState& s, Console& con, double z, Block block) {
    const bool linear = block == Block::Linear;
    const double n = s.Naux;
    const double kappaHat = linear ? s.kappalinear : s.kappa;
    const double varHat = linear ? s.varkappalinear : s.varkappa;
    const double se = std::sqrt(varHat);

    printHeader(con, s, block, kappaHat, se);
    printUnrestricted(con, s.kp, kappaHat, se, z);

    if (!linear) restricted_2(s);
    const WeightedSet v = linear ? WeightedSet{kappaHat, varHat, s.Qlinear, s.alinear, s.blinear, s.clinear,
                                               s.mmIvlinear}
                                 : WeightedSet{kappaHat, varHat, s.Q, s.a, s.b, s.c, s.mmIv};
    s.d = (z * z) / (n * v.Q * v.Q);

    con.print("\n\n RESTRICTED INFERENCES BASED ON v:");
    printRestricted(con, s.kp, weightedRestrictedInference(v, s.kp, s.d, z, n), !linear);
    printIndependence(con, kappaHat * v.Q * std::sqrt(n / v.m));

    // The same inferences with the agreement weights w = 1 - v.
    const double R = s.R;
    WeightedSet w = v;
    w.a = v.a - v.Q * 2 * R;
    w.b = v.b - v.Q * (R * (1 - kappaHat) + 1);
    w.c = v.c - v.Q * 2 * (1 - kappaHat);
    s.mmIw = v.m;
    con.print("\n\n RESTRICTED INFERENCES BASED ON w:");
    printRestricted(con, s.kp, weightedRestrictedInference(w, s.kp, s.d, z, n), !linear);
    printIndependence(con, kappaHat * v.Q * std::sqrt(n / s.mmIw));
}

}  // namespace

RestrictedInference weightedRestrictedInference(const WeightedSet& w, double kp, double d, double z, double n) {
    const double u = 1 - kp;
    const double V0 = ((u * u) * w.a - (w.b + w.b) * u + w.c) / (n * w.Q * w.Q);
    const double D = (w.b * w.b - w.c * w.a) * (d * d) + w.varkappa * (z * z);
    return restrictedOutcome(w.kappa, kp, V0, D, (w.b - w.a) * d + w.kappa, 1 - d * w.a);
}

void unweightedReport(AnalysisState& s, Console& con, double z) {
    coefficientKappa(s);
    const double se = std::sqrt(s.varkappa);
    con.print(s.R == 2 ? "\n\n Cohen's kappa %.4lf %c %.5lf" : "\n\n Hubert's kappa %.4lf %c %.5lf", s.kappa,
              plusMinus, se);
    printUnrestricted(con, s.kp, s.kappa, se, z);

    restricted_1(s);
    const double n = s.Naux;
    s.d = z * z / (n * s.Q * s.Q);
    con.print("\n\n RESTRICTED INFERENCES:");
    printRestricted(con, s.kp, unweightedRestricted(s, z), true);
    printIndependence(con, s.kappa * s.Q * std::sqrt(n / s.mmI));
}

void weightedReport(AnalysisState& s, Console& con, double z) {
    if (s.entrada == 3) {
        Quadratic_weight(s);
        Linear_weight(s);
    }
    coefficientKappa_Weight(s);
    if (s.entrada == 3) {
        weightedBlock(s, con, z, Block::Quadratic);
        weightedBlock(s, con, z, Block::Linear);
    } else {
        weightedBlock(s, con, z, Block::Plain);
    }
}

}  // namespace kappa
