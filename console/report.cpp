#include "console/report.h"

#include <string>

namespace kappa {

namespace {

void printUnrestricted(Console& con, double kappa0, const Estimate& e) {
    con.print("\n\n UNRESTRICTED INFERENCES:");
    con.print("\n Test statistic (for kappa = %.2lf) = %.4lf.", kappa0, e.wald.statistic);
    con.print("\n CI = (%.4lf, %.4lf).", e.wald.ci.lower, e.wald.ci.upper);
}

void printRestricted(Console& con, double kappa0, const RestrictedTest& r, bool intervalPeriod) {
    if (r.negativeVariance)
        con.print("\n Variance for test statistic (for kappa = %.2lf) is negative.", kappa0);
    else
        con.print("\n Test statistic (for kappa = %.2lf) = %.4lf.", kappa0, r.statistic);
    if (r.noSolution)
        con.print("\n (-Infinity, 1.0): the CI has no solution.");
    else
        con.print(intervalPeriod ? "\n CI = (%.4lf, %.4lf)." : "\n CI = (%.4lf, %.4lf)", r.ci.lower, r.ci.upper);
    con.print("\n Test statistic (for the independence test) = %.4lf.", r.independence);
}

// The estimate's name, and the weight set's in case 3.
std::string heading(const Estimate& e) {
    switch (e.weights) {
        case Weighting::Quadratic: return e.name + " QUADRATIC";
        case Weighting::Linear: return e.name + " LINEAR";
        default: return e.name;
    }
}

void printEstimate(Console& con, const Analysis& a, const Estimate& e) {
    con.print("\n\n %s %.4lf %s %.5lf", heading(e).c_str(), e.kappa, std::string(con.plusMinus()).c_str(), e.se);
    printUnrestricted(con, a.kappa0, e);
    if (e.weights == Weighting::None) {
        con.print("\n\n RESTRICTED INFERENCES:");
        printRestricted(con, a.kappa0, e.restricted[0], true);
        return;
    }
    // The linear block of case 3 writes its restricted intervals without a final period.
    const bool intervalPeriod = e.weights != Weighting::Linear;
    con.print("\n\n RESTRICTED INFERENCES BASED ON v:");
    printRestricted(con, a.kappa0, e.restricted[0], intervalPeriod);
    con.print("\n\n RESTRICTED INFERENCES BASED ON w:");
    printRestricted(con, a.kappa0, e.restricted[1], intervalPeriod);
}

}  // namespace

void printRawAgreement(Console& con, const Analysis& analysis) {
    con.putLine("\n");
    con.print("\n\n Raw %.5lf", analysis.rawAgreement);
}

void printReport(Console& con, const Analysis& analysis) {
    for (const Estimate& e : analysis.estimates) printEstimate(con, analysis, e);
}

}  // namespace kappa
