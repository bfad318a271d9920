#include "inference/report_line.h"

#include <cmath>
#include <string>

#include "inference/text.h"

namespace kappa {

ReportedTest recommendedTest(Coefficient coefficient, Weighting weights, double kappa0) {
    // As the coverage study (bench/coverage.cpp, the README's "What to
    // report") found the tests' sizes: the other coefficients have their t
    // test only. For Hubert's kappa at kappa0 = 0 the independence test keeps
    // its size, where the restricted test often has no statistic and rejects
    // too often; at any other kappa0 the restricted test, with the Wald test
    // where it has no statistic, keeps it far better than the Wald test alone,
    // and for weighted kappa the one based on w better than the one based on v.
    if (coefficient != Coefficient::Kappa) return ReportedTest::Wald;
    if (kappa0 == 0) return ReportedTest::Independence;
    return weights == Weighting::None ? ReportedTest::Restricted : ReportedTest::RestrictedOnW;
}

namespace {

// A value that cannot exceed 1 without its leading zero: ".68", "-.25", "1.00".
std::string withoutLeadingZero(double x, int decimals) {
    std::string text = printfText("%.*f", decimals, x);
    const std::size_t zero = text.find("0.");
    if (zero != std::string::npos && (zero == 0 || text[zero - 1] == '-')) text.erase(zero, 1);
    return text;
}

std::string limit(double x) {
    if (std::isinf(x)) return x < 0 ? "-inf" : "inf";
    return withoutLeadingZero(x, 2);
}

// "p < .001", "p = .023", "p > .999".
std::string pText(double p) {
    if (p < 0.001) return "p < .001";
    if (p >= 0.9995) return "p > .999";
    return "p = " + withoutLeadingZero(p, 3);
}

std::string nameWithWeights(const Estimate& e) {
    switch (e.weights) {
        case Weighting::None: return e.name;
        case Weighting::File: return e.name + " (weights from the file)";
        default: return e.name + " (" + std::string(weightingId(e.weights)) + " weights)";
    }
}

struct Test {
    double statistic = kNaN, pValue = kNaN;
    Distribution distribution = Distribution::Normal;
    double df = kNaN;
};

Test chosenTest(const Estimate& e, double kappa0) {
    const Test wald{e.wald.statistic, e.wald.pValue, e.wald.distribution, e.wald.df};
    if (e.restricted.empty()) return wald;
    const RestrictedTest& r = e.restricted.front();   // based on v when weighted
    const RestrictedTest& onW = e.restricted.back();  // based on w when weighted
    Test chosen = wald;
    switch (recommendedTest(e.coefficient, e.weights, kappa0)) {
        case ReportedTest::Wald: break;
        case ReportedTest::Restricted: chosen = {r.statistic, r.pValue}; break;
        case ReportedTest::RestrictedOnW: chosen = {onW.statistic, onW.pValue}; break;
        case ReportedTest::Independence: chosen = {r.independence, r.independencePValue}; break;
    }
    return std::isnan(chosen.pValue) ? wald : chosen;
}

}  // namespace

void addReportLine(Estimate& e, const Analysis& a) {
    std::string line = nameWithWeights(e);
    if (std::isnan(e.kappa)) {
        line += " cannot be computed";
    } else {
        line += " = " + withoutLeadingZero(e.kappa, 2);
        if (!std::isnan(e.wald.ci.lower) && !std::isnan(e.wald.ci.upper))
            line += printfText(", %g%% CI [", a.confidence) + limit(e.wald.ci.lower) + ", " + limit(e.wald.ci.upper) + "]";
        const Test test = chosenTest(e, a.kappa0);
        e.reportPValue = test.pValue;
        if (!std::isnan(test.pValue)) {
            line += test.distribution == Distribution::StudentT ? printfText(", t(%.0f) = ", test.df) : std::string(", z = ");
            line += printfText("%.2f", test.statistic) + ", " + pText(test.pValue);
            const std::string k0 = withoutLeadingZero(a.kappa0, 2);
            switch (a.alternative) {
                case Alternative::TwoSided:
                    if (a.kappa0 != 0) line += std::string(" (H0: ") + std::string(catalogEntry(e.coefficient).symbol) + " = " + k0 + ")";
                    break;
                case Alternative::Greater: line += std::string(" (H1: ") + std::string(catalogEntry(e.coefficient).symbol) + " > " + k0 + ")"; break;
                case Alternative::Less: line += std::string(" (H1: ") + std::string(catalogEntry(e.coefficient).symbol) + " < " + k0 + ")"; break;
            }
        }
    }
    if (a.raters > 0)
        line += printfText("; %lld subjects, %d raters.", static_cast<long long>(e.subjects), a.raters);
    else if (a.fewestPerSubject == a.mostPerSubject)  // counts of ratings, which name no raters
        line += printfText("; %lld subjects, %lld ratings each.", static_cast<long long>(e.subjects),
                       static_cast<long long>(a.mostPerSubject));
    else
        line += printfText("; %lld subjects, %lld to %lld ratings each.", static_cast<long long>(e.subjects),
                       static_cast<long long>(a.fewestPerSubject), static_cast<long long>(a.mostPerSubject));
    e.report = line;
}

}  // namespace kappa
