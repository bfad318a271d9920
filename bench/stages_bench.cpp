// The stages of one analysis cycle, each timed on its own, on data files that
// list every response pattern: loading, the file checks, the pattern and
// chance tables, the estimators, the restricted coefficients and the normal
// quantile.
//
// Each benchmark takes R and K as its arguments; the three large shapes have
// 1,048,576 patterns, and 2 raters with 3 categories is the size of the
// examples.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "agreement/chance.h"
#include "agreement/patterns.h"
#include "console/scripted_console.h"
#include "estimators/kappa.h"
#include "estimators/weighted_kappa.h"
#include "estimators/weights.h"
#include "inference/normal_quantile.h"
#include "inference/restricted.h"
#include "input/data_file.h"
#include "input/file_checks.h"
#include "pattern_file.h"

namespace {

using namespace kappa;

constexpr std::uint64_t kSeed = 1;

// A data file of the shape and the state of a cycle that has loaded it (case
// 3) and gone through every stage once. Kept for the shape last asked for, so
// the benchmarks of one shape build it once.
struct Prepared {
    int R = 0, K = 0;
    bench::PatternFile file;
    AnalysisState s;
};

Prepared& prepared(int R, int K) {
    static std::unique_ptr<Prepared> last;
    if (last && last->R == R && last->K == K) return *last;
    last.reset();
    last = std::make_unique<Prepared>();
    Prepared& p = *last;
    p.R = R;
    p.K = K;
    p.file = bench::makePatternFile(R, K, kSeed, false);
    AnalysisState& s = p.s;
    s.R = R;
    s.K = K;
    s.N = static_cast<double>(p.file.subjects);
    s.entrada = 3;
    ScriptedConsole con({});
    if (!parseDataFile(p.file.bytes, FileLayout::Unweighted, s).ok() || !checkLoadedFile(s, con))
        std::abort();  // the generated file is always valid
    indicematrix(s, s.K, s.R);
    TablaInicial(s);
    Invariante(s);
    coefficientKappa(s);
    restricted_1(s);
    Quadratic_weight(s);
    Linear_weight(s);
    coefficientKappa_Weight(s);
    restricted_2(s);
    return p;
}

void setPatterns(benchmark::State& state, const AnalysisState& s) {
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(patternCount(s)));
}

void BM_Load(benchmark::State& state) {
    Prepared& p = prepared(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        AnalysisState s;
        benchmark::DoNotOptimize(parseDataFile(p.file.bytes, FileLayout::Unweighted, s));
        benchmark::DoNotOptimize(s.Naux);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(p.file.bytes.size()));
}

void BM_Checks(benchmark::State& state) {
    Prepared& p = prepared(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        ScriptedConsole con({});
        benchmark::DoNotOptimize(checkLoadedFile(p.s, con));
    }
    setPatterns(state, p.s);
}

void BM_Tables(benchmark::State& state) {
    Prepared& p = prepared(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        indicematrix(p.s, p.s.K, p.s.R);
        TablaInicial(p.s);
        Invariante(p.s);
        benchmark::ClobberMemory();
    }
    setPatterns(state, p.s);
}

void BM_Kappa(benchmark::State& state) {
    Prepared& p = prepared(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        coefficientKappa(p.s);
        benchmark::DoNotOptimize(p.s.varkappa);
    }
    setPatterns(state, p.s);
}

void BM_Weights(benchmark::State& state) {
    Prepared& p = prepared(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        Quadratic_weight(p.s);
        Linear_weight(p.s);
        benchmark::ClobberMemory();
    }
    setPatterns(state, p.s);
}

void BM_WeightedKappa(benchmark::State& state) {
    Prepared& p = prepared(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        coefficientKappa_Weight(p.s);
        benchmark::DoNotOptimize(p.s.varkappalinear);
    }
    setPatterns(state, p.s);
}

void BM_Restricted1(benchmark::State& state) {
    Prepared& p = prepared(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        restricted_1(p.s);
        benchmark::DoNotOptimize(p.s.mmI);
    }
    setPatterns(state, p.s);
}

void BM_Restricted2(benchmark::State& state) {
    Prepared& p = prepared(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        restricted_2(p.s);
        benchmark::DoNotOptimize(p.s.mmIvlinear);
    }
    setPatterns(state, p.s);
}

void BM_Quantile(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(confidenceQuantile(95.0));
}

// R and K: the three 1,048,576-pattern shapes and the examples' size.
void shapes(benchmark::internal::Benchmark* b) {
    b->Args({20, 2})->Args({10, 4})->Args({2, 1024})->Args({2, 3})->ArgNames({"R", "K"});
    b->Unit(benchmark::kMicrosecond);
}

}  // namespace

BENCHMARK(BM_Load)->Apply(shapes);
BENCHMARK(BM_Checks)->Apply(shapes);
BENCHMARK(BM_Tables)->Apply(shapes);
BENCHMARK(BM_Kappa)->Apply(shapes);
BENCHMARK(BM_Weights)->Apply(shapes);
BENCHMARK(BM_WeightedKappa)->Apply(shapes);
BENCHMARK(BM_Restricted1)->Apply(shapes);
BENCHMARK(BM_Restricted2)->Apply(shapes);
BENCHMARK(BM_Quantile)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
