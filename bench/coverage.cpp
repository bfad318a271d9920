// The coverage study: how often the 95 % intervals of each coefficient cover
// its true value, and how often each 5 % test rejects a true null, on studies
// drawn from AgreementModel (bench/coverage_model.h). Every estimate, interval
// and test is the one analyse() gives the program's users.
//
//   kappa_coverage [--replications N] [--threads T] [--cells FILE] [--smoke]
//
// Cells: n = 10, 20, 50, 100, 500 subjects; R = 2, 3, 5 raters; K = 2, 3, 5
// categories; balanced prevalence (1/K each) or skewed (0.8 for the first
// category, the rest shared equally); true kappa 0, 0.2, 0.6, 0.9; unweighted,
// and with quadratic weights where K > 2. N replications per cell (default
// 10,000); --smoke runs a few cells only. Each cell has its own random stream,
// seeded from its parameters, so the results do not depend on the threads.
// How a cell is drawn and tallied: bench/coverage_study.h.
//
// --cells writes one line per cell and row (tab-separated, with a header);
// standard output gets the tables of the README, standard error the time taken.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "coverage_study.h"
#include "inference/normal_quantile.h"
#include "inference/text.h"
#include "pattern_file.h"

namespace {

using namespace kappa;
using namespace kappa::bench;

std::vector<Cell> cells(bool smoke) {
    const std::vector<std::int32_t> ns = smoke ? std::vector{10, 50} : std::vector{10, 20, 50, 100, 500};
    const std::vector<std::int32_t> Rs = smoke ? std::vector{3} : std::vector{2, 3, 5};
    const std::vector<std::int32_t> Ks = smoke ? std::vector{3} : std::vector{2, 3, 5};
    const std::vector<double> thetas = smoke ? std::vector{0.0, 0.6} : std::vector{0.0, 0.2, 0.6, 0.9};
    std::vector<Cell> all;
    for (const Weighting weights : {Weighting::None, Weighting::Quadratic})
        for (const std::int32_t K : Ks) {
            if (weights != Weighting::None && K == 2) continue;  // quadratic weights are the identity
            for (const std::int32_t R : Rs)
                for (const bool skewed : {false, true})
                    for (const double theta : thetas)
                        for (const std::int32_t n : ns) all.push_back({n, R, K, skewed, theta, weights});
        }
    return all;
}

// --- The tables ------------------------------------------------------------

struct Result {
    Cell cell;
    Row row;
};

std::string cellName(const Cell& c) {
    return printfText("n=%d R=%d K=%d %s %.1f", c.n, c.R, c.K, c.skewed ? "skewed" : "balanced", c.theta);
}

std::string rowName(const Row& r, Weighting weights) {
    std::string name;
    switch (r.coefficient) {
        case Coefficient::Kappa: name = "Cohen's/Hubert's kappa"; break;
        case Coefficient::Fleiss: name = "Fleiss' kappa"; break;
        case Coefficient::Conger: name = "Conger's kappa"; break;
        case Coefficient::Gwet: name = weights == Weighting::None ? "Gwet's AC1" : "Gwet's AC2"; break;
        case Coefficient::BrennanPrediger: name = "Brennan-Prediger"; break;
        case Coefficient::Alpha: name = "Krippendorff's alpha"; break;
        case Coefficient::Percent: name = "percent agreement"; break;
    }
    if (weights != Weighting::None) name += ", " + std::string(weightingId(weights));
    return name + " | " + methodName(r.method);
}

double coverage(const Tally& t) { return t.intervals == 0 ? kNaN : 100.0 * t.covered / t.intervals; }
double size(const Tally& t) { return t.tests == 0 ? kNaN : 100.0 * t.rejected / t.tests; }
double percentOf(std::int64_t part, std::int64_t whole) { return 100.0 * static_cast<double>(part) / static_cast<double>(whole); }

// What a table shows of each cell, which cell is the worst, and what it says
// of the replications that had no interval or test.
struct Measure {
    double (*value)(const Tally&);
    bool lowestIsWorst;
    std::string (*degenerate)(const Tally& all);  // all: the tallies of every cell added up
};

const Measure kCoverage{coverage, true, [](const Tally& all) {
                            return printfText("%.1f / %.1f", percentOf(all.replications - all.intervals, all.replications),
                                          percentOf(all.points, all.replications));
                        }};
const Measure kSize{size, false,
                    [](const Tally& all) { return printfText("%.1f", percentOf(all.replications - all.tests, all.replications)); }};

// One line of a table: the mean over its cells of the measure by n and by
// true kappa, the worst cell, and the degenerate replications.
void tableRow(const std::vector<const Result*>& results, const Measure& measure, const std::vector<std::int32_t>& ns,
              const std::vector<double>& thetas) {
    const auto mean = [&](auto&& selected) {
        double sum = 0;
        int cells = 0;
        for (const Result* r : results)
            if (const double v = measure.value(r->row.tally); selected(r->cell) && !std::isnan(v)) sum += v, ++cells;
        return cells == 0 ? std::string(" |") : printfText(" %.1f |", sum / cells);
    };
    std::string line = "| " + rowName(results.front()->row, results.front()->cell.weights) + " |";
    for (const std::int32_t n : ns) line += mean([n](const Cell& c) { return c.n == n; });
    for (const double theta : thetas) line += mean([theta](const Cell& c) { return c.theta == theta; });
    const Result* worst = nullptr;
    Tally all;
    for (const Result* r : results) {
        const Tally& t = r->row.tally;
        all.replications += t.replications, all.intervals += t.intervals, all.points += t.points, all.tests += t.tests;
        const double v = measure.value(t);
        if (std::isnan(v)) continue;
        const double w = worst ? measure.value(worst->row.tally) : kNaN;
        if (!worst || (measure.lowestIsWorst ? v < w : v > w)) worst = r;
    }
    line += worst ? printfText(" %.1f (%s) |", measure.value(worst->row.tally), cellName(worst->cell).c_str()) : " |";
    line += printfText(" %s |", measure.degenerate(all).c_str());
    std::printf("%s\n", line.c_str());
}

void printTables(const std::vector<Result>& results) {
    std::vector<std::int32_t> ns;
    std::vector<double> thetas;
    for (const Result& r : results) {
        if (std::find(ns.begin(), ns.end(), r.cell.n) == ns.end()) ns.push_back(r.cell.n);
        if (std::find(thetas.begin(), thetas.end(), r.cell.theta) == thetas.end()) thetas.push_back(r.cell.theta);
    }
    std::sort(ns.begin(), ns.end());
    std::sort(thetas.begin(), thetas.end());
    // The rows of a table in the order first met, each with its cells.
    std::vector<std::vector<const Result*>> groups;
    for (const Result& r : results) {
        auto group = std::find_if(groups.begin(), groups.end(), [&](const auto& g) {
            return g.front()->cell.weights == r.cell.weights && g.front()->row.coefficient == r.row.coefficient &&
                   g.front()->row.method == r.row.method;
        });
        if (group == groups.end()) groups.push_back({&r});
        else group->push_back(&r);
    }
    const auto header = [&](const char* what, const char* worst, const char* degenerate) {
        std::string line = std::string("| ") + what + " |";
        std::string rule = "|---|---|";
        for (const std::int32_t n : ns) line += printfText(" n=%d |", n), rule += "---:|";
        for (const double theta : thetas) line += printfText(" kappa=%.1f |", theta), rule += "---:|";
        line += printfText(" %s | %s |", worst, degenerate);
        rule += "---|---:|";
        std::printf("%s\n%s\n", line.c_str(), rule.c_str());
    };
    header("Coverage of the 95 % interval (%) | interval", "lowest (cell)", "none / one point (%)");
    for (const auto& group : groups) {
        const Method m = group.front()->row.method;
        if (m != Method::Independence && m != Method::ReportLine) tableRow(group, kCoverage, ns, thetas);
    }
    std::printf("\n");
    header("Size of the 5 % test (%) | test", "largest (cell)", "no test (%)");
    for (const auto& group : groups) tableRow(group, kSize, ns, thetas);
}

void writeCells(const char* path, const std::vector<Result>& results) {
    std::FILE* out = std::fopen(path, "w");
    if (!out) {
        std::fprintf(stderr, "kappa_coverage: cannot write %s\n", path);
        std::exit(1);
    }
    std::fprintf(out, "n\tR\tK\tprevalence\ttheta\tweights\tcoefficient\tmethod\ttruth\treplications\tintervals\t"
                      "covered\tpoints\tcoverage\ttests\trejected\tsize\n");
    for (const Result& r : results) {
        const Tally& t = r.row.tally;
        std::fprintf(out, "%d\t%d\t%d\t%s\t%.1f\t%s\t%s\t%s\t%.6f\t%lld\t%lld\t%lld\t%lld\t%.2f\t%lld\t%lld\t%.2f\n", r.cell.n,
                     r.cell.R, r.cell.K, r.cell.skewed ? "skewed" : "balanced", r.cell.theta,
                     std::string(weightingId(r.cell.weights)).c_str(), std::string(coefficientId(r.row.coefficient)).c_str(),
                     methodName(r.row.method), r.row.truth, static_cast<long long>(t.replications),
                     static_cast<long long>(t.intervals), static_cast<long long>(t.covered), static_cast<long long>(t.points), coverage(t),
                     static_cast<long long>(t.tests), static_cast<long long>(t.rejected), size(t));
    }
    std::fclose(out);
}

int usage() {
    std::fprintf(stderr, "usage: kappa_coverage [--replications N] [--threads T] [--cells FILE] [--smoke]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long long replications = 10000, threads = 2;
    const char* cellsPath = nullptr;
    bool smoke = false;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--smoke") == 0) smoke = true;
        else if (std::strcmp(argv[i], "--replications") == 0 && hasValue && readNumber(argv[++i], 1, 100000000, replications)) continue;
        else if (std::strcmp(argv[i], "--threads") == 0 && hasValue && readNumber(argv[++i], 1, 64, threads)) continue;
        else if (std::strcmp(argv[i], "--cells") == 0 && hasValue) cellsPath = argv[++i];
        else return usage();
    }
    // The critical value of 95 % is a constant the threads then only read.
    (void)confidenceQuantile(kConfidence);

    const std::vector<Cell> all = cells(smoke);
    std::vector<std::vector<Row>> rows(all.size());
    std::atomic<std::size_t> next{0};
    const auto start = std::chrono::steady_clock::now();
    const auto work = [&] {
        for (std::size_t i; (i = next++) < all.size();) rows[i] = run(all[i], replications);
    };
    std::vector<std::thread> pool;
    for (long long t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::vector<Result> results;
    for (std::size_t i = 0; i < all.size(); ++i)
        for (const Row& row : rows[i]) results.push_back({all[i], row});
    if (cellsPath) writeCells(cellsPath, results);
    printTables(results);
    std::fprintf(stderr, "kappa_coverage: %zu cells x %lld replications in %.0f s on %lld threads\n", all.size(),
                 replications, seconds, threads);
    return 0;
}
