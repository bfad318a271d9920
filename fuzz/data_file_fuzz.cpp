// Fuzz target: the bytes of a data file, loaded in both layouts. When a load
// succeeds, the answers that match what it found (R = nraters, K = maxclase,
// N = Naux, the case of the layout) are used whenever the dialogue would
// accept them, the file checks run against them, and a file that passes is
// analysed to the end of its report.
//
// Besides the sanitizers, the target asserts what must hold of every outcome:
// a failed load points at a line of the file; a loaded file read back from
// its rows written out afresh gives the same rows; after the checks pass the
// frequency table accounts for every subject; kappa agrees with the same
// coefficient computed directly from the rows; and the derived weights agree
// with their definition.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "agreement/chance.h"
#include "agreement/patterns.h"
#include "console/scripted_console.h"
#include "inference/normal_quantile.h"
#include "inference/report.h"
#include "input/data_file.h"
#include "input/file_checks.h"
#include "tables/analysis_state.h"

namespace {

using namespace kappa;

// Largest K^R analysed; keeps every execution short.
constexpr double kPatternCap = 4096;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "data_file_fuzz: %s\n", what);
    std::abort();
}

void expect(bool holds, const char* what) {
    if (!holds) fail(what);
}

int lineCount(std::string_view bytes) {
    int lines = 1;
    for (const char ch : bytes) lines += ch == '\n';
    return lines;
}

// The loaded rows written out as a file of the same layout.
std::string rewrite(const AnalysisState& s, FileLayout layout) {
    std::string text;
    for (std::size_t r = 0; r < static_cast<std::size_t>(s.contextra); ++r) {
        for (const std::int32_t value : s.data[r]) text += std::to_string(value) + '\t';
        if (layout == FileLayout::Weighted) {
            char weight[64];
            std::snprintf(weight, sizeof weight, "%.17g", s.pesostot[r]);
            text += weight;
        } else {
            text.pop_back();
        }
        text += '\n';
    }
    return text;
}

void checkReload(const AnalysisState& s, FileLayout layout) {
    if (s.contextra == 0) return;  // nothing to write: no first line to count raters from
    AnalysisState again;
    expect(parseDataFile(rewrite(s, layout), layout, again).ok(), "rows written out do not load");
    expect(again.nraters == s.nraters && again.contextra == s.contextra && again.maxclase == s.maxclase &&
               again.Naux == s.Naux,
           "rows written out load with other counts");
    for (std::size_t r = 0; r < static_cast<std::size_t>(s.contextra); ++r) {
        for (std::size_t c = 0; c < s.data.cols(); ++c)
            expect(again.data[r][c] == s.data[r][c], "rows written out load with other values");
        if (layout == FileLayout::Weighted) expect(again.pesostot[r] == s.pesostot[r], "weights change on reload");
    }
}

bool close(double computed, double direct) {
    if (!std::isfinite(computed) || !std::isfinite(direct)) return true;
    return std::fabs(computed - direct) <= 1e-9 * std::fmax(1.0, std::fabs(direct));
}

// Marginal proportions from the rows: the subjects rater j put in category k,
// over n, at [k * R + j].
std::vector<double> proportions(const AnalysisState& s) {
    const auto R = static_cast<std::size_t>(s.R);
    std::vector<std::int64_t> counts(static_cast<std::size_t>(s.K) * R, 0);
    for (std::size_t r = 0; r < static_cast<std::size_t>(s.contextra); ++r)
        for (std::size_t j = 0; j < R; ++j) counts[static_cast<std::size_t>(s.data[r][j] - 1) * R + j] += s.data[r][R];
    std::vector<double> t(counts.size());
    for (std::size_t i = 0; i < counts.size(); ++i) t[i] = static_cast<double>(counts[i]) / s.Naux;
    return t;
}

// Hubert's kappa from the rows: the share of subjects on whom all raters
// agree, against the chance that independent raters with the observed
// marginal proportions all agree.
void checkUnweighted(const AnalysisState& s) {
    const auto R = static_cast<std::size_t>(s.R);
    const auto K = static_cast<std::size_t>(s.K);
    const std::vector<double> t = proportions(s);
    std::vector<std::int64_t> agreeing(K, 0);
    for (std::size_t r = 0; r < static_cast<std::size_t>(s.contextra); ++r) {
        bool agree = true;
        for (std::size_t j = 1; j < R; ++j) agree = agree && s.data[r][j] == s.data[r][0];
        if (agree) agreeing[static_cast<std::size_t>(s.data[r][0] - 1)] += s.data[r][R];
    }
    double observed = 0.0, chance = 0.0;
    for (std::size_t k = 0; k < K; ++k) observed += static_cast<double>(agreeing[k]) / s.Naux;
    for (std::size_t k = 0; k < K; ++k) {
        double product = 1.0;
        for (std::size_t j = 0; j < R; ++j) product *= t[k * R + j];
        chance += product;
    }
    expect(close(s.I0, observed) && close(s.Ie, chance), "observed or chance agreement differs from the rows");
    if (1 - chance < 1e-6) return;  // kappa is not well conditioned there
    expect(close(s.kappa, (observed - chance) / (1 - chance)), "kappa differs from the rows");
}

// The categories of pattern p, rater 0 first: p written in base K with R digits.
std::vector<std::size_t> digitsOf(std::size_t p, std::size_t K, std::size_t R) {
    std::vector<std::size_t> digits(R);
    for (std::size_t j = R; j-- > 0; p /= K) digits[j] = p % K;
    return digits;
}

// Weighted kappa of the file's weights, 1 for the combinations it does not
// list: one less the observed mean weight over the chance mean weight, the
// latter over every combination of categories.
void checkFileWeights(const AnalysisState& s) {
    const auto R = static_cast<std::size_t>(s.R);
    const auto K = static_cast<std::size_t>(s.K);
    const std::vector<double> t = proportions(s);
    std::size_t patterns = 1;
    for (std::size_t j = 0; j < R; ++j) patterns *= K;
    std::vector<double> v(patterns, 1.0);
    double observed = 0.0;
    for (std::size_t r = 0; r < static_cast<std::size_t>(s.contextra); ++r) {
        std::size_t p = 0;
        for (std::size_t j = 0; j < R; ++j) p = p * K + static_cast<std::size_t>(s.data[r][j] - 1);
        v[p] = s.pesostot[r];
        observed += s.data[r][R] * s.pesostot[r] / s.Naux;
    }
    double chance = 0.0;
    for (std::size_t p = 0; p < patterns; ++p) {
        const std::vector<std::size_t> d = digitsOf(p, K, R);
        double probability = 1.0;
        for (std::size_t j = 0; j < R; ++j) probability *= t[d[j] * R + j];
        chance += v[p] * probability;
    }
    if (!(chance > 1e-6)) return;  // kappa is not well conditioned there
    expect(close(s.kappa, 1 - observed / chance), "weighted kappa differs from the rows");
}

// The weights of case 3 from their definition: over every pair of raters, the
// squared or the absolute difference of their categories, scaled so that the
// most even split of the raters between the first and the last category
// weighs 1.
void checkDerivedWeights(const AnalysisState& s) {
    const auto R = static_cast<std::size_t>(s.R);
    const auto K = static_cast<std::size_t>(s.K);
    const double K1 = s.K - 1;
    const double split = static_cast<double>(R / 2) * static_cast<double>(R - R / 2);
    expect(s.weight.size() >= patternCount(s) && s.weightlinear.size() >= patternCount(s), "weights missing");
    for (std::size_t p = 0; p < patternCount(s); ++p) {
        const std::vector<std::size_t> d = digitsOf(p, K, R);
        double squared = 0.0, absolute = 0.0;
        for (std::size_t j = 0; j < R; ++j)
            for (std::size_t jj = j + 1; jj < R; ++jj) {
                const double difference = static_cast<double>(d[j]) - static_cast<double>(d[jj]);
                squared += difference * difference;
                absolute += std::fabs(difference);
            }
        expect(close(s.weight[p], squared / (split * K1 * K1)), "a quadratic weight differs from its definition");
        expect(close(s.weightlinear[p], absolute / (split * K1)), "a linear weight differs from its definition");
    }
}

// What must hold once the checks have passed and the tables are built.
void checkTables(const AnalysisState& s) {
    const auto R = static_cast<std::size_t>(s.R);
    std::int64_t total = 0;
    for (const PatternRecord& record : s.frec) total += record.frequency;
    expect(static_cast<double>(total) == s.Naux, "the frequency table misses subjects");
    for (std::size_t j = 0; j < R; ++j) {
        std::int64_t rater = 0;
        for (std::size_t k = 0; k < static_cast<std::size_t>(s.K); ++k) rater += s.clases[k][j];
        expect(static_cast<double>(rater) == s.Naux, "a rater's category counts miss subjects");
    }
}

void analyse(AnalysisState s, std::int32_t entrada) {
    s.R = s.nraters;
    s.K = s.maxclase;
    s.N = s.Naux;
    s.entrada = entrada;
    // Answers the dialogue would refuse, or tables too large for a quick run.
    if (s.R < 2 || s.R > kMaxRaters || s.K < 2 || std::pow(s.K, s.R) > kPatternCap || !(s.N > 2)) return;

    ScriptedConsole con({});
    indicematrix(s, s.K, s.R);
    if (!checkLoadedFile(s, con)) {
        expect(!con.output().empty(), "a failed check printed nothing");
        return;
    }
    expect(con.output().empty(), "passed checks printed a message");
    TablaInicial(s);
    Invariante(s);
    checkTables(s);
    static const double z = confidenceQuantile(95.0);
    if (entrada == 1) {
        unweightedReport(s, con, z);
        checkUnweighted(s);
    } else {
        weightedReport(s, con, z);
        if (entrada == 2)
            checkFileWeights(s);
        else
            checkDerivedWeights(s);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const FileLayout layout : {FileLayout::Unweighted, FileLayout::Weighted}) {
        AnalysisState s;
        const ParseOutcome outcome = parseDataFile(bytes, layout, s);
        if (!outcome.ok()) {
            expect(outcome.errorLine >= 1 && outcome.errorLine <= lineCount(bytes), "error line outside the file");
            continue;
        }
        expect(s.data.rows() == static_cast<std::size_t>(s.contextra), "row count and table disagree");
        if (layout == FileLayout::Weighted)
            expect(s.pesostot.size() == static_cast<std::size_t>(s.contextra), "weights and rows disagree");
        checkReload(s, layout);
        if (layout == FileLayout::Unweighted) {
            analyse(s, 1);
            analyse(s, 3);
        } else {
            analyse(s, 2);
        }
    }
    return 0;
}
