// One cell of the coverage study (bench/coverage.cpp): studies of n subjects
// drawn from AgreementModel, each analysed by analyse() as the program's users
// get it, every coefficient's intervals and tests tallied against its true value.
//
// Per estimate, a replication that gives no interval (NaN limits, no
// restricted set) is left out of the cell's coverage and counted as without
// one; a one-point interval (standard error 0) is an interval, which covers
// only a true value it equals. The same for a test without a p-value. The
// restricted interval covers when the true value lies in the set of kappa0
// its test does not reject; the restricted test is that test at the true value.
// The independence test is tested where the true kappa is 0; the report
// line's test (Hubert's kappa) is the one its p-value comes from.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "coverage_model.h"
#include "inference/analysis.h"
#include "pattern_file.h"

namespace kappa::bench {

constexpr double kConfidence = 95.0;
constexpr double kLevel = 0.05;  // the tests' nominal size
constexpr std::uint64_t kSeed = 18;

struct Cell {
    std::int32_t n, R, K;
    bool skewed;
    double theta;
    Weighting weights;
};

inline std::vector<double> prevalence(std::int32_t K, bool skewed) {
    if (!skewed) return std::vector<double>(static_cast<std::size_t>(K), 1.0 / K);
    std::vector<double> pi(static_cast<std::size_t>(K), 0.2 / (K - 1));
    pi[0] = 0.8;
    return pi;
}

inline std::uint64_t seedOf(const Cell& c) {
    const auto theta = static_cast<std::uint64_t>(std::lround(c.theta * 100));
    return kSeed ^ (static_cast<std::uint64_t>(c.n) << 40) ^ (static_cast<std::uint64_t>(c.R) << 32) ^
           (static_cast<std::uint64_t>(c.K) << 24) ^ (static_cast<std::uint64_t>(c.skewed) << 20) ^ (theta << 8) ^
           static_cast<std::uint64_t>(c.weights);
}

// The inferences measured: Hubert's kappa has three tests (weighted, two
// restricted ones: based on v and on w), and its report line the one of them
// that recommendedTest chooses; the others their t test.
enum class Method { Wald, Restricted, RestrictedW, Independence, ReportLine, StudentT };

inline const char* methodName(Method m) {
    switch (m) {
        case Method::Wald: return "Wald";
        case Method::Restricted: return "restricted";
        case Method::RestrictedW: return "restricted (w)";
        case Method::Independence: return "independence";
        case Method::ReportLine: return "report line";
        case Method::StudentT: return "t";
    }
    return "";
}

struct Tally {
    std::int64_t replications = 0;
    std::int64_t intervals = 0, covered = 0;  // replications with an interval; those covering the truth
    std::int64_t points = 0;                  // one-point intervals among them (standard error 0)
    std::int64_t tests = 0, rejected = 0;     // replications with a p-value; those below the level
};

struct Row {
    Coefficient coefficient;
    Method method;
    double truth;
    Tally tally;

    void count(bool hasInterval, bool covers, double pValue, bool point = false) {
        ++tally.replications;
        tally.intervals += hasInterval;
        tally.covered += hasInterval && covers;
        tally.points += hasInterval && point;
        tally.tests += !std::isnan(pValue);
        tally.rejected += pValue < kLevel;
    }
};

inline bool within(const Interval& i, double x) { return i.lower <= x && x <= i.upper; }

constexpr Coefficient kCoefficients[] = {Coefficient::Kappa,           Coefficient::Fleiss, Coefficient::Conger,
                                         Coefficient::Gwet,            Coefficient::Alpha,
                                         Coefficient::BrennanPrediger, Coefficient::Percent};

inline std::vector<Row> rowsOf(const Cell& cell, const AgreementModel& model) {
    std::vector<Row> rows;
    for (const Coefficient c : kCoefficients) {
        const double truth = model.trueValue(c, cell.weights);
        if (c != Coefficient::Kappa) {
            rows.push_back({c, Method::StudentT, truth, {}});
            continue;
        }
        rows.push_back({c, Method::Wald, truth, {}});
        rows.push_back({c, Method::Restricted, truth, {}});
        if (cell.weights != Weighting::None) rows.push_back({c, Method::RestrictedW, truth, {}});
        if (cell.theta == 0) rows.push_back({c, Method::Independence, truth, {}});
        rows.push_back({c, Method::ReportLine, truth, {}});
    }
    return rows;
}

inline Row& rowFor(std::vector<Row>& rows, Coefficient c, Method m) {
    return *std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r.coefficient == c && r.method == m; });
}

// Every estimate of one analysis, tested at kappa0 = its true value.
inline void count(std::vector<Row>& rows, const Analysis& analysis) {
    for (const Estimate& e : analysis.estimates) {
        const bool hasWald = !std::isnan(e.wald.ci.lower) && !std::isnan(e.wald.ci.upper);
        const bool point = e.wald.ci.lower == e.wald.ci.upper;
        if (e.coefficient != Coefficient::Kappa) {
            Row& t = rowFor(rows, e.coefficient, Method::StudentT);
            t.count(hasWald, within(e.wald.ci, t.truth), e.wald.pValue, point);
            continue;
        }
        Row& wald = rowFor(rows, e.coefficient, Method::Wald);
        wald.count(hasWald, within(e.wald.ci, wald.truth), e.wald.pValue, point);
        for (const RestrictedTest& r : e.restricted) {
            Row& restricted = rowFor(rows, e.coefficient, r.basis == Basis::W ? Method::RestrictedW : Method::Restricted);
            const bool covers = r.ciSet && std::any_of(r.ciSet->begin(), r.ciSet->end(), [&](const Interval& piece) {
                                    return within(piece, restricted.truth);
                                });
            restricted.count(r.ciSet.has_value(), covers, r.pValue);
        }
        if (wald.truth == 0)
            rowFor(rows, e.coefficient, Method::Independence).count(false, false, e.restricted.front().independencePValue);
        rowFor(rows, e.coefficient, Method::ReportLine).count(false, false, e.reportPValue);
    }
}

inline std::vector<Row> run(const Cell& cell, std::int64_t replications) {
    const AgreementModel model(cell.R, prevalence(cell.K, cell.skewed), cell.theta);
    std::vector<Row> rows = rowsOf(cell, model);
    // One analysis for each distinct true value, with the coefficients that have it.
    std::vector<AnalysisRequest> requests;
    for (const Row& row : rows) {
        auto same = std::find_if(requests.begin(), requests.end(), [&](const AnalysisRequest& q) { return q.kappa0 == row.truth; });
        if (same == requests.end()) {
            requests.push_back({{}, {cell.weights}, kConfidence, row.truth, Alternative::TwoSided});
            same = requests.end() - 1;
        }
        if (std::find(same->coefficients.begin(), same->coefficients.end(), row.coefficient) == same->coefficients.end())
            same->coefficients.push_back(row.coefficient);
    }
    Study study;
    study.R = cell.R;
    study.K = cell.K;
    for (std::int32_t k = 1; k <= cell.K; ++k) study.labels.push_back(std::to_string(k));
    study.frequency.resize(patternCount(cell.K, cell.R));
    SplitMix64 random(seedOf(cell));
    for (std::int64_t i = 0; i < replications; ++i) {
        std::fill(study.frequency.begin(), study.frequency.end(), 0);
        for (std::int32_t s = 0; s < cell.n; ++s) ++study.frequency[model.drawPattern(random)];
        for (const AnalysisRequest& request : requests) count(rows, analyse(study, request));
    }
    return rows;
}

}  // namespace kappa::bench
