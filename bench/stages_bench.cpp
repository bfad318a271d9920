// The stages of one analysis, each timed on its own, on tables that list every
// response pattern (bench/pattern_file.h): reading the table from memory, the
// agreement counts and the chance products, Hubert's kappa unweighted and with
// quadratic and linear weights, the restricted coefficients, the six
// chance-corrected coefficients and the normal quantile.
//
// Each benchmark of a study takes R and K as its arguments: the three shapes
// of 1,048,576 patterns.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "agreement/chance.h"
#include "agreement/patterns.h"
#include "inference/chance_corrected.h"
#include "estimators/kappa.h"
#include "estimators/weighted_kappa.h"
#include "estimators/weights.h"
#include "inference/normal_quantile.h"
#include "inference/restricted.h"
#include "input/byte_source.h"
#include "input/table_file.h"
#include "input/table_input.h"
#include "pattern_file.h"

namespace {

using namespace kappa;

constexpr std::uint64_t kSeed = 1;

std::vector<PatternWeights> quadraticAndLinear(const Study& study) {
    std::vector<PatternWeights> sets;
    sets.emplace_back(Quadratic_weight(study.K, study.R));
    sets.emplace_back(Linear_weight(study.K, study.R));
    return sets;
}

// A table of the shape, its study and the results of every stage once, built
// the first time the shape is asked for.
struct Prepared {
    bench::PatternFile file;
    Study study;
    AgreementCounts counts;
    Marginals m;
    UnweightedKappa kappa;
    std::vector<WeightedKappa> weighted;  // quadratic, linear
};

const Prepared& prepared(const benchmark::State& state) {
    const auto R = static_cast<int>(state.range(0));
    const auto K = static_cast<int>(state.range(1));
    static std::map<std::pair<int, int>, std::unique_ptr<Prepared>> shapes;
    std::unique_ptr<Prepared>& built = shapes[{R, K}];
    if (built) return *built;
    built = std::make_unique<Prepared>();
    Prepared& p = *built;
    p.file = bench::makePatternFile(R, K, kSeed, false);
    ByteSource source(p.file.bytes);
    InputRead read = readTable(source, InputOptions{});
    if (read.error || read.groups.size() != 1) std::abort();  // the generated table is always sound
    p.study = std::move(read.groups[0].study);
    p.counts = tallyAgreement(p.study);
    p.m = raterMarginals(p.counts);
    p.kappa = coefficientKappa(p.study, p.counts, p.m);
    p.weighted = weightedKappas(p.study, p.counts, p.m, quadraticAndLinear(p.study));
    return p;
}

void countPatterns(benchmark::State& state, const Prepared& p) {
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(p.study.frequency.size()));
}

// The parser alone, with a reader that only adds up the frequencies.
class Sum final : public TableRows {
public:
    void raters(std::int32_t) override {}
    bool row(const TableRow& row) override {
        subjects += row.frequency;
        return true;
    }
    std::int64_t subjects = 0;
};

void BM_ParseTable(benchmark::State& state) {
    const Prepared& p = prepared(state);
    for (auto _ : state) {
        ByteSource source(p.file.bytes);
        Sum sum;
        benchmark::DoNotOptimize(parseTable(source, FileLayout::Unweighted, sum));
        benchmark::DoNotOptimize(sum.subjects);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(p.file.bytes.size()));
}

// The command line's reader: the parser, the row checks and the study.
void BM_ReadTable(benchmark::State& state) {
    const Prepared& p = prepared(state);
    for (auto _ : state) {
        ByteSource source(p.file.bytes);
        benchmark::DoNotOptimize(readTable(source, InputOptions{}));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(p.file.bytes.size()));
}

void BM_TablaInicial(benchmark::State& state) {
    const Prepared& p = prepared(state);
    for (auto _ : state) benchmark::DoNotOptimize(tallyAgreement(p.study));
    countPatterns(state, p);
}

void BM_Invariante(benchmark::State& state) {
    const Prepared& p = prepared(state);
    for (auto _ : state) benchmark::DoNotOptimize(raterMarginals(p.counts));
    countPatterns(state, p);
}

void BM_Kappa(benchmark::State& state) {
    const Prepared& p = prepared(state);
    for (auto _ : state) benchmark::DoNotOptimize(coefficientKappa(p.study, p.counts, p.m));
    countPatterns(state, p);
}

// Both weight sets in one call, as an analysis asks for them.
void BM_WeightedKappa(benchmark::State& state) {
    const Prepared& p = prepared(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(weightedKappas(p.study, p.counts, p.m, quadraticAndLinear(p.study)));
    countPatterns(state, p);
}

void BM_Restricted1(benchmark::State& state) {
    const Prepared& p = prepared(state);
    for (auto _ : state) benchmark::DoNotOptimize(unweightedRestricted(p.study, p.counts, p.m, p.kappa));
    countPatterns(state, p);
}

void BM_Restricted2(benchmark::State& state) {
    const Prepared& p = prepared(state);
    for (auto _ : state)
        for (const WeightedKappa& kappa : p.weighted)
            benchmark::DoNotOptimize(weightedRestricted(p.study, p.counts, p.m, kappa));
    countPatterns(state, p);
}

// The third argument: the coefficient, Fleiss (1) to percent agreement (6).
void BM_ChanceCorrected(benchmark::State& state) {
    const Prepared& p = prepared(state);
    const auto coefficient = static_cast<Coefficient>(state.range(2));
    for (auto _ : state)
        benchmark::DoNotOptimize(chanceCorrectedEstimate(p.study, coefficient, Weighting::None, 95.0, 0.0));
    countPatterns(state, p);
}

// The quantile of a level it has not seen, so that every call sums: the
// program remembers each level it has summed, so every iteration asks for a
// level of its own.
void BM_ConfidenceQuantile(benchmark::State& state) {
    double level = 93.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(confidenceQuantile(level));
        level += 1e-9;
    }
}

// R and K: the three 1,048,576-pattern shapes.
void shapes(benchmark::internal::Benchmark* b) {
    b->Args({20, 2})->Args({10, 4})->Args({2, 1024})->ArgNames({"R", "K"})->Unit(benchmark::kMillisecond);
}

void coefficientsOfShapes(benchmark::internal::Benchmark* b) {
    for (const auto& [R, K] : {std::pair{20, 2}, std::pair{10, 4}, std::pair{2, 1024}})
        for (int c = static_cast<int>(Coefficient::Fleiss); c <= static_cast<int>(Coefficient::Percent); ++c)
            b->Args({R, K, c});
    b->ArgNames({"R", "K", "coefficient"})->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_ParseTable)->Apply(shapes);
BENCHMARK(BM_ReadTable)->Apply(shapes);
BENCHMARK(BM_TablaInicial)->Apply(shapes);
BENCHMARK(BM_Invariante)->Apply(shapes);
BENCHMARK(BM_Kappa)->Apply(shapes);
BENCHMARK(BM_WeightedKappa)->Apply(shapes);
BENCHMARK(BM_Restricted1)->Apply(shapes);
BENCHMARK(BM_Restricted2)->Apply(shapes);
BENCHMARK(BM_ChanceCorrected)->Apply(coefficientsOfShapes);
BENCHMARK(BM_ConfidenceQuantile)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
