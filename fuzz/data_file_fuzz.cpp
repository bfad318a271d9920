// Fuzz target: the bytes of a table file, read in both layouts.
//
// Each layout is read by the streaming parser twice, once from a single chunk
// and once a few bytes at a time, so that every token and line can be cut at a
// chunk boundary; then by the dialogue's loader with its checks, and by the
// command line's reader, and a study the latter accepts that is small enough
// (K^R <= 4096) is analysed with every coefficient and the weights none,
// quadratic, linear (and file, in the weighted layout).
//
// Besides the sanitizers, the target asserts what must hold of every outcome:
// both readings give the same rows and the same outcome; a refusal names a
// line of the file; the rows written out afresh read back the same; the
// dialogue's loader counts every row that fails a check and keeps the rows
// that fit; the command line reads alike however the bytes arrive, with codes
// and with labels, and where the parser reads every row it accepts exactly the
// tables whose rows pass its checks; both studies hold those rows and every
// subject; and Hubert's kappa,
// weighted kappa, the derived weights and the observed and chance agreement of
// the chance-corrected coefficients agree with their definitions, computed
// here directly from the rows.
#include <sys/mman.h>  // memfd_create
#include <unistd.h>    // ftruncate, pwrite

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check.h"
#include "agreement/pattern_walk.h"
#include "agreement/patterns.h"
#include "estimators/weights.h"
#include "inference/analysis.h"
#include "input/byte_source.h"
#include "input/data_file.h"
#include "input/file_checks.h"
#include "input/table_file.h"
#include "input/table_input.h"

namespace {

using namespace kappa;

// Largest K^R analysed; keeps every execution short.
constexpr std::size_t kPatternCap = 4096;

using kappa::fuzz::expect;
using kappa::fuzz::fail;

int lineCount(std::string_view bytes) {
    int lines = 1;
    for (const char ch : bytes) lines += ch == '\n';
    return lines;
}

bool close(double computed, double direct) {
    if (!std::isfinite(computed) || !std::isfinite(direct)) return true;
    return std::fabs(computed - direct) <= 1e-9 * std::fmax(1.0, std::fabs(direct));
}

// ---------------------------------------------------------------------------
// The rows as the parser hands them out.

struct Row {
    std::int32_t raters = 0;
    std::vector<std::int32_t> codes;
    std::uint64_t restHash = 0;
    std::int32_t largestCode = 0;
    bool codeBelowOne = false;
    std::int32_t frequency = 0;
    double weight = 0.0;
    int line = 0;
    bool operator==(const Row&) const = default;
};

struct Reading {
    ParseOutcome outcome;
    int raterCalls = 0;
    std::int32_t R = 0;
    std::vector<Row> rows;
    std::int32_t largest = 0;  // the largest code, 0 if none is larger
    std::int64_t subjects = 0; // the sum of the frequencies
};

class Recorder final : public TableRows {
public:
    explicit Recorder(Reading& reading) : reading_(reading) {}

    void raters(std::int32_t R) override {
        ++reading_.raterCalls;
        reading_.R = R;
    }

    bool row(const TableRow& row) override {
        expect(reading_.raterCalls == 1 && reading_.R > 0, "a row before the raters, or without any");
        expect(row.raters == reading_.R, "a row with another number of raters than the first line");
        expect(row.codes.size() == std::min<std::size_t>(static_cast<std::size_t>(row.raters), kKeptCodes),
               "a row keeps the wrong number of codes");
        expect(row.line >= 1 && (reading_.rows.empty() || row.line > reading_.rows.back().line),
               "row lines do not increase");
        if (row.codes.size() == static_cast<std::size_t>(row.raters)) {
            expect(row.restHash == 0, "a hash of codes that were all kept");
            expect(row.largestCode == *std::max_element(row.codes.begin(), row.codes.end()),
                   "the largest code is not the largest of the codes");
            expect(row.codeBelowOne == (*std::min_element(row.codes.begin(), row.codes.end()) < 1),
                   "the flag of a code below 1 is wrong");
        }
        reading_.rows.push_back({row.raters, {row.codes.begin(), row.codes.end()}, row.restHash, row.largestCode,
                                 row.codeBelowOne, row.frequency, row.weight, row.line});
        reading_.largest = std::max(reading_.largest, row.largestCode);
        reading_.subjects += row.frequency;
        return true;
    }

private:
    Reading& reading_;
};

Reading parse(std::string_view bytes, FileLayout layout, std::size_t maxRead) {
    Reading reading;
    ByteSource source(bytes, maxRead);
    Recorder recorder(reading);
    reading.outcome = parseTable(source, layout, recorder);
    expect(reading.raterCalls <= 1, "the raters given more than once");
    return reading;
}

// The two readings' outcomes are the same; else both are shown before failing.
void expectSameOutcome(const ParseOutcome& a, const ParseOutcome& b) {
    if (a.status == b.status && a.line == b.line && a.message == b.message && a.firstLine == b.firstLine) return;
    for (const ParseOutcome* o : {&a, &b})
        std::fprintf(stderr, "status %d, line %d, message '%s', first line of %zu bytes\n", static_cast<int>(o->status),
                     o->line, o->message.c_str(), o->firstLine.size());
    fail("reading in chunks gives another outcome");
}

// The rows written out as a table of the same layout.
std::string rewrite(const Reading& reading, FileLayout layout) {
    std::string text;
    for (const Row& row : reading.rows) {
        for (const std::int32_t code : row.codes) text += std::to_string(code) + '\t';
        text += std::to_string(row.frequency);
        if (layout == FileLayout::Weighted) {
            char weight[64];
            std::snprintf(weight, sizeof weight, "\t%.17g", row.weight);
            text += weight;
        }
        text += '\n';
    }
    return text;
}

void checkRewrite(const Reading& reading, FileLayout layout) {
    // Nothing to write without rows; nor, for rows too wide to keep, their codes.
    if (reading.rows.empty() || reading.R > static_cast<std::int32_t>(kKeptCodes)) return;
    const Reading again = parse(rewrite(reading, layout), layout, static_cast<std::size_t>(-1));
    expect(again.outcome.ok() && again.R == reading.R && again.rows.size() == reading.rows.size() &&
               again.largest == reading.largest && again.subjects == reading.subjects,
           "rows written out do not read back");
    for (std::size_t r = 0; r < reading.rows.size(); ++r) {
        Row row = again.rows[r];
        row.line = reading.rows[r].line;
        expect(row == reading.rows[r], "rows written out read back with other values");
    }
}

// ---------------------------------------------------------------------------
// The estimates of a study against their definitions, computed from the rows.

// The pattern of a row's codes (1..K): the 0-based codes as digits in base K.
std::size_t patternOf(const std::vector<std::int32_t>& codes, std::int32_t K) {
    std::size_t p = 0;
    for (const std::int32_t code : codes) p = p * static_cast<std::size_t>(K) + static_cast<std::size_t>(code - 1);
    return p;
}

// The proportions t[j][k] of the subjects that rater j put in category k, and
// the pattern index of each row.
struct Direct {
    std::int32_t R = 0, K = 0;
    double n = 0.0;
    std::vector<std::vector<double>> t;
    std::vector<std::size_t> pattern;
};

Direct directFrom(const Reading& reading, std::int32_t K) {
    Direct d;
    d.R = reading.R;
    d.K = K;
    d.n = static_cast<double>(reading.subjects);
    d.t.assign(static_cast<std::size_t>(d.R), std::vector<double>(static_cast<std::size_t>(K), 0.0));
    for (const Row& row : reading.rows) {
        for (std::size_t j = 0; j < row.codes.size(); ++j)
            d.t[j][static_cast<std::size_t>(row.codes[j] - 1)] += row.frequency / d.n;
        d.pattern.push_back(patternOf(row.codes, K));
    }
    return d;
}

// The chance probability of the categories c: the product of the raters' proportions.
double chanceOf(const Direct& d, std::span<const std::uint16_t> c) {
    double product = 1.0;
    for (std::size_t j = 0; j < c.size(); ++j) product *= d.t[j][c[j]];
    return product;
}

// Hubert's kappa: the share of subjects on whom all raters agree, against the
// chance that independent raters with the observed marginals all agree.
void checkUnweighted(const Direct& d, const Reading& reading, const Estimate& e) {
    double observed = 0.0;
    for (const Row& row : reading.rows)
        if (std::all_of(row.codes.begin(), row.codes.end(), [&](std::int32_t c) { return c == row.codes[0]; }))
            observed += row.frequency / d.n;
    double chance = 0.0;
    for (std::size_t k = 0; k < static_cast<std::size_t>(d.K); ++k) {
        double product = 1.0;
        for (std::size_t j = 0; j < static_cast<std::size_t>(d.R); ++j) product *= d.t[j][k];
        chance += product;
    }
    expect(close(e.observed, observed) && close(e.chance, chance),
           "observed or chance agreement differs from the rows");
    if (1 - chance < 1e-6) return;  // kappa is not well conditioned there
    expect(close(e.kappa, (observed - chance) / (1 - chance)), "kappa differs from the rows");
}

// The disagreement weights of case 3 from their definition: over every pair of
// raters the squared or absolute difference of their categories, over its
// value for the most even split of the raters between the first and the last
// category.
double derivedWeight(std::span<const std::uint16_t> c, std::int32_t K, bool quadratic) {
    const std::size_t R = c.size();
    double sum = 0.0;
    for (std::size_t j = 0; j < R; ++j)
        for (std::size_t h = j + 1; h < R; ++h) {
            const double gap = std::fabs(static_cast<double>(c[j]) - static_cast<double>(c[h]));
            sum += quadratic ? gap * gap : gap;
        }
    const double split = static_cast<double>(R / 2) * static_cast<double>(R - R / 2);
    return sum / (split * (quadratic ? (K - 1.0) * (K - 1.0) : K - 1.0));
}

// The weights the estimators walk with agree with their definition.
void checkDerivedWeights(std::int32_t K, std::int32_t R) {
    Quadratic_weight quadratic(K, R);
    Linear_weight linear(K, R);
    for (PatternWalk walk(K, R); !walk.done(); walk.next()) {
        quadratic.update(walk);
        linear.update(walk);
        expect(close(quadratic.value(), derivedWeight(walk.digits(), K, true)),
               "a quadratic weight differs from its definition");
        expect(close(linear.value(), derivedWeight(walk.digits(), K, false)),
               "a linear weight differs from its definition");
    }
}

// Weighted kappa: one less the observed mean disagreement weight over the
// mean weight expected by chance, the latter over every response pattern.
void checkWeighted(const Direct& d, const Reading& reading, const Study& study, const Estimate& e) {
    const std::size_t P = patternCount(d.K, d.R);
    std::vector<double> v(P);
    std::vector<std::uint16_t> c(static_cast<std::size_t>(d.R));
    for (std::size_t p = 0; p < P; ++p) {
        patternDigits(p, d.K, c);
        v[p] = e.weights == Weighting::File ? 1.0 : derivedWeight(c, d.K, e.weights == Weighting::Quadratic);
    }
    if (e.weights == Weighting::File) {
        for (std::size_t r = 0; r < reading.rows.size(); ++r) {
            const double w = reading.rows[r].weight;
            if (w > 1e250 || (w > 0 && w < 1e-250)) return;  // products of such weights overflow or fall apart
            v[d.pattern[r]] = w;
        }
        for (std::size_t p = 0; p < P; ++p)
            expect(study.fileWeight[p] == v[p], "the study's weights are not the rows'");
    }
    double observed = 0.0, chance = 0.0;
    for (std::size_t r = 0; r < reading.rows.size(); ++r) observed += reading.rows[r].frequency * v[d.pattern[r]] / d.n;
    for (std::size_t p = 0; p < P; ++p) {
        patternDigits(p, d.K, c);
        chance += v[p] * chanceOf(d, c);
    }
    expect(close(e.observed, observed) && close(e.chance, chance),
           "observed or chance disagreement differs from the rows");
    if (!(chance > 1e-6 && chance < 1e250)) return;  // weighted kappa is not well conditioned there
    expect(close(e.kappa, 1 - observed / chance), "weighted kappa differs from the rows");
}

// The observed agreement p_a of the chance-corrected coefficients, the mean
// over subjects of the agreement weight of their ordered pairs of raters, and
// the chance agreement p_e of Fleiss, Conger, Gwet and Brennan-Prediger.
void checkChanceCorrected(const Direct& d, const Reading& reading, const Estimate& e) {
    const auto R = static_cast<std::size_t>(d.R);
    const auto K = static_cast<std::size_t>(d.K);
    const auto w = [&](std::size_t k, std::size_t l) {
        const double gap = std::fabs(static_cast<double>(k) - static_cast<double>(l)) / (d.K - 1.0);
        switch (e.weights) {
            case Weighting::Quadratic: return 1 - gap * gap;
            case Weighting::Linear: return 1 - gap;
            default: return k == l ? 1.0 : 0.0;
        }
    };
    double pa = 0.0;
    for (const Row& row : reading.rows) {
        double pairs = 0.0;
        for (std::size_t g = 0; g < R; ++g)
            for (std::size_t h = 0; h < R; ++h)
                if (g != h)
                    pairs += w(static_cast<std::size_t>(row.codes[g] - 1), static_cast<std::size_t>(row.codes[h] - 1));
        pa += row.frequency * (pairs / (static_cast<double>(R) * static_cast<double>(R - 1))) / d.n;
    }
    expect(e.subjects == static_cast<std::int64_t>(d.n), "a coefficient counts other subjects");
    if (e.coefficient == Coefficient::Alpha) return;  // its p_a is corrected; only its bound is checked
    expect(close(e.observed, pa), "p_a differs from the rows");
    if (e.coefficient == Coefficient::Percent) {
        expect(close(e.kappa, pa), "percent agreement is not p_a");
        return;
    }
    std::vector<double> pi(K, 0.0);  // the mean proportion of each category over the raters
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t j = 0; j < R; ++j) pi[k] += d.t[j][k] / static_cast<double>(R);
    double pe = 0.0, weightSum = 0.0, spread = 0.0;
    for (std::size_t k = 0; k < K; ++k) {
        spread += pi[k] * (1 - pi[k]);
        for (std::size_t l = 0; l < K; ++l) {
            weightSum += w(k, l);
            if (e.coefficient == Coefficient::Fleiss) pe += w(k, l) * pi[k] * pi[l];
            if (e.coefficient == Coefficient::Conger)
                for (std::size_t g = 0; g < R; ++g)
                    for (std::size_t h = 0; h < R; ++h)
                        if (g != h) pe += w(k, l) * d.t[g][k] * d.t[h][l] / (static_cast<double>(R) * (R - 1.0));
        }
    }
    if (e.coefficient == Coefficient::BrennanPrediger)
        pe = weightSum / (static_cast<double>(K) * static_cast<double>(K));
    if (e.coefficient == Coefficient::Gwet) pe = weightSum / (static_cast<double>(K) * (K - 1.0)) * spread;
    expect(close(e.chance, pe), "p_e differs from the rows");
    if (1 - pe < 1e-6) return;  // the coefficient is not well conditioned there
    expect(close(e.kappa, (pa - pe) / (1 - pe)), "a chance-corrected coefficient differs from the rows");
}

void analyseStudy(const Reading& reading, const Study& study, FileLayout layout) {
    const Direct d = directFrom(reading, study.K);
    const std::size_t P = patternCount(study.K, study.R);

    // Every row under its pattern; every subject in the counts.
    std::vector<std::int64_t> frequency(P, 0);
    for (std::size_t r = 0; r < reading.rows.size(); ++r) frequency[d.pattern[r]] = reading.rows[r].frequency;
    expect(std::equal(frequency.begin(), frequency.end(), study.frequency.begin(), study.frequency.end()),
           "the study's frequencies are not the rows'");
    const AgreementCounts counts = tallyAgreement(study);
    expect(counts.n == d.n, "the counts miss subjects");
    for (std::size_t j = 0; j < static_cast<std::size_t>(study.R); ++j) {
        std::int64_t rated = 0;
        for (std::size_t k = 0; k < static_cast<std::size_t>(study.K); ++k) rated += counts.byCategoryAndRater[k][j];
        expect(static_cast<double>(rated) == d.n, "a rater's category counts miss subjects");
    }
    checkDerivedWeights(study.K, study.R);

    AnalysisRequest request;
    request.coefficients = {Coefficient::Kappa,           Coefficient::Fleiss, Coefficient::Conger, Coefficient::Gwet,
                            Coefficient::BrennanPrediger, Coefficient::Alpha,  Coefficient::Percent};
    request.weights = {Weighting::None, Weighting::Quadratic, Weighting::Linear};
    if (layout == FileLayout::Weighted) request.weights.push_back(Weighting::File);
    const Analysis analysis = analyse(study, request);
    expect(analysis.subjects == static_cast<std::int64_t>(d.n), "the analysis misses subjects");
    expect(analysis.estimates.size() == request.weights.size() + 6 * 3, "an estimate is missing");
    for (const Estimate& e : analysis.estimates) {
        expect(!(e.kappa > 1 + 1e-9), "a coefficient above 1");
        if (e.coefficient != Coefficient::Kappa)
            checkChanceCorrected(d, reading, e);
        else if (e.weights == Weighting::None)
            checkUnweighted(d, reading, e);
        else
            checkWeighted(d, reading, study, e);
    }
}

// ---------------------------------------------------------------------------
// The command line's reader.

// The most categories that keep K^R within `patterns` for R raters (at least 1).
std::int32_t mostCategories(std::int32_t R, double patterns) {
    std::int32_t K = 1;
    while (std::pow(K + 1.0, R) <= patterns) ++K;
    return K;
}

// The line of the first row that the command line refuses with K categories,
// 0 when none: a number of raters outside 2..20, a code outside 1..K, a
// negative frequency or weight, a weight above 1e100, or the codes of an
// earlier row.
int firstRefusedLine(const Reading& reading, FileLayout layout, std::int32_t K) {
    const bool ratersFit = reading.R >= 2 && reading.R <= kMaxRaters;
    const bool weighted = layout == FileLayout::Weighted;
    std::set<std::vector<std::int32_t>> seen;
    for (const Row& row : reading.rows) {
        const bool codesFit = std::all_of(row.codes.begin(), row.codes.end(), [&](std::int32_t c) {
            return c >= 1 && c <= K;
        });
        if (!ratersFit || !codesFit || row.frequency < 0 || (weighted && (row.weight < 0 || row.weight > 1e100)) ||
            !seen.insert(row.codes).second)
            return row.line;
    }
    return 0;
}

// The command line's reading, whole or a few bytes at a time.
InputRead readOnCommandLine(std::string_view bytes, const InputOptions& options, std::size_t maxRead) {
    ByteSource source(bytes, maxRead);
    return readTable(source, options);
}

// Both readings refuse the table in the same words, or read the same study.
void expectSameRead(const InputRead& a, const InputRead& b) {
    expect(a.error.has_value() == b.error.has_value(), "reading in chunks changes whether a table is refused");
    if (a.error) {
        expect(a.error->line == b.error->line && a.error->column == b.error->column &&
                   a.error->message == b.error->message,
               "reading in chunks changes the refusal");
        return;
    }
    const Study& s = a.groups.at(0).study;
    const Study& t = b.groups.at(0).study;
    bool same = s.R == t.R && s.K == t.K && s.labels == t.labels && s.frequency == t.frequency &&
                s.fileWeight == t.fileWeight && s.incomplete.size() == t.incomplete.size() && a.ordered == b.ordered;
    for (std::size_t i = 0; same && i < s.incomplete.size(); ++i)
        same = s.incomplete[i].codes == t.incomplete[i].codes && s.incomplete[i].count == t.incomplete[i].count &&
               s.incomplete[i].firstLine == t.incomplete[i].firstLine;
    expect(same, "reading in chunks changes the study");
}

// What holds of every study the command line reads: the limits, the shape of
// its tables, and subjects with missing ratings that also have ratings.
void expectSoundStudy(const InputRead& read, FileLayout layout, int lines) {
    if (read.error) {
        expect(read.error->line >= 0 && read.error->line <= lines && read.error->column >= 0 &&
                   !read.error->message.empty(),
               "a refusal outside the file, or without a message");
        return;
    }
    expect(read.groups.size() == 1, "a table gives other than one study");
    const Study& s = read.groups[0].study;
    expect(s.R >= 2 && s.R <= kMaxRaters && s.K >= 2 && s.labels.size() == static_cast<std::size_t>(s.K) &&
               s.frequency.size() == patternCount(s.K, s.R) &&
               s.fileWeight.size() == (layout == FileLayout::Weighted ? s.frequency.size() : 0),
           "a study out of shape");
    std::int64_t subjects = completeSubjects(s);
    for (const IncompleteSubjects& i : s.incomplete) {
        const auto missing = std::count(i.codes.begin(), i.codes.end(), kMissing);
        expect(i.codes.size() == static_cast<std::size_t>(s.R) && missing > 0 &&
                   missing < static_cast<std::ptrdiff_t>(s.R) && i.count > 0 && i.firstLine >= 1 &&
                   i.firstLine <= lines,
               "subjects with missing ratings out of shape");
        for (const std::uint16_t code : i.codes) expect(code == kMissing || code < s.K, "a code beyond K");
        subjects += i.count;
    }
    expect(subjects >= 3, "a study of fewer than 3 subjects");
}

// Where the command line may read a file otherwise than the parser reads it
// (which it then does not do): a first line of blanks, which the parser takes
// for the raters' line and the command line skips, and carriage returns that
// end lines alone, which the command line refuses where it reads field by
// field.
bool readsAsTheParser(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    const std::string_view first = bytes.substr(0, bytes.find('\n'));
    if (std::all_of(first.begin(), first.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }))
        return false;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == '\r' && std::string_view(" \t\r\n").find(bytes[i + 1]) == std::string_view::npos) return false;
    return true;
}

// The table read as the command line reads it, with the number of categories
// given (--categories K): K the largest code, or as many as keep the study
// small. Whole or a few bytes at a time, it is the same. Where the parser
// reads every row, the command line reads them alike: it accepts exactly the
// tables whose rows it does not refuse and that hold at least 3 subjects.
void checkCommandLine(std::string_view bytes, FileLayout layout, const Reading& reading, int lines,
                      std::size_t maxRead) {
    const std::int32_t largest = reading.largest;
    const std::int64_t subjects = reading.subjects;
    const bool ratersFit = reading.R >= 2 && reading.R <= kMaxRaters;
    const std::int32_t K =
        ratersFit ? std::max(2, std::min(largest, mostCategories(reading.R, static_cast<double>(kPatternCap)))) : 2;
    if (ratersFit && patternCount(K, reading.R) > 4 * kPatternCap) return;  // tables too large for a quick run

    InputOptions options;
    options.weights = layout == FileLayout::Weighted;
    options.categories = {std::to_string(K)};
    const InputRead read = readOnCommandLine(bytes, options, static_cast<std::size_t>(-1));
    expectSameRead(read, readOnCommandLine(bytes, options, maxRead));
    expectSoundStudy(read, layout, lines);
    if (!reading.outcome.ok() || !readsAsTheParser(bytes)) return;

    const int refused = firstRefusedLine(reading, layout, K);
    if (read.error) {
        if (refused != 0)
            expect(read.error->line == refused, "the command line names another line than the refused row's");
        else
            expect(!ratersFit || subjects < 3, "the command line refuses a sound table");
        return;
    }
    expect(refused == 0 && ratersFit && subjects >= 3, "the command line accepts a table it should refuse");
    const Study& study = read.groups[0].study;
    expect(study.R == reading.R && study.K == K && study.labels.size() == static_cast<std::size_t>(K) &&
               study.incomplete.empty(),
           "the study has other raters or categories than asked for");
    expect(completeSubjects(study) == subjects, "the study misses subjects");
    if (patternCount(K, study.R) <= kPatternCap) analyseStudy(reading, study, layout);
}

// The table read with labels, and with the missing ratings of the default
// --missing: --categories a,b,c orders the labels and names codes 1..3. Only
// for a first line of at most 8 raters, so that 3^R stays small.
void checkLabels(std::string_view bytes, FileLayout layout, int lines, std::size_t maxRead) {
    const std::string_view first = bytes.substr(0, bytes.find('\n'));
    if (std::count(first.begin(), first.end(), '\t') > 6) return;
    InputOptions options;
    options.weights = layout == FileLayout::Weighted;
    options.categories = {"a", "b", "c"};
    const InputRead read = readOnCommandLine(bytes, options, static_cast<std::size_t>(-1));
    expectSameRead(read, readOnCommandLine(bytes, options, maxRead));
    expectSoundStudy(read, layout, lines);
    if (!read.error) expect(read.groups[0].study.K == 3 && read.ordered, "the categories are not those given");
}

// ---------------------------------------------------------------------------
// The dialogue's loader, which reads a file by its name.

// A file in memory that holds the bytes being read, opened by name through
// /proc: it is a regular file, as the loader asks, and it leaves nothing
// behind however the fuzzer ends.
const char* fileOf(std::string_view bytes) {
    static const int fd = memfd_create("kappa-table", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ftruncate(fd, 0) != 0 ||
        pwrite(fd, bytes.data(), bytes.size(), 0) != static_cast<std::ptrdiff_t>(bytes.size()))
        fail("cannot write the file to load");
    return path.c_str();
}

// The table loaded as the dialogue loads it, with the answers that match it
// (R raters, K its largest code) where the dialogue would take them and a
// quick run allows, and with 2 raters and 2 categories otherwise. The loader
// counts every row that a check refuses, and puts each row that fits the
// answers under its pattern, the first of repeated rows only.
void checkDialogue(std::string_view bytes, FileLayout layout, const Reading& reading) {
    const bool weighted = layout == FileLayout::Weighted;
    const std::int32_t largest = reading.largest;
    std::int64_t negativeWeights = 0, codesBelowOne = 0, negativeFrequencies = 0, repeated = 0;
    std::set<std::pair<std::vector<std::int32_t>, std::uint64_t>> seen;
    for (const Row& row : reading.rows) {
        negativeWeights += weighted && row.weight < 0;
        codesBelowOne += row.codeBelowOne;
        negativeFrequencies += row.frequency < 0;
        repeated += !seen.emplace(row.codes, row.restHash).second;
    }
    const bool answerable = reading.R >= 2 && reading.R <= kMaxRaters && largest >= 2 &&
                            std::pow(largest, reading.R) <= static_cast<double>(kPatternCap);
    const std::int32_t R = answerable ? reading.R : 2;
    const std::int32_t K = answerable ? largest : 2;

    const LoadResult loaded = loadDataFile(fileOf(bytes), layout, R, K);
    if (!reading.outcome.ok()) {
        expect(loaded.status == LoadResult::Status::CannotRead && loaded.line == reading.outcome.line,
               "the dialogue fails at another line than the parser");
        return;
    }
    expect(loaded.status == LoadResult::Status::Loaded, "the dialogue fails to load a table the parser reads");
    const DataFile& file = loaded.file;
    expect(file.ratersFound == reading.R && file.rowsRead == static_cast<std::int32_t>(reading.rows.size()) &&
               file.largestCodeRead == largest && file.subjectsRead == static_cast<double>(reading.subjects),
           "the dialogue counts other raters, rows, categories or subjects");
    expect(file.negativeWeights == negativeWeights && file.codesBelowOne == codesBelowOne &&
               file.negativeFrequencies == negativeFrequencies && file.repeatedRows == repeated,
           "the dialogue counts other rows that fail a check");
    const FileCheck check = checkLoadedFile(file, R, K, file.subjectsRead);
    expect(check.passed() == (answerable && negativeWeights + codesBelowOne + negativeFrequencies + repeated == 0),
           "the checks pass another file than they should");

    const std::size_t P = patternCount(K, R);
    std::vector<std::int64_t> frequency(P, 0);
    std::vector<double> weight(weighted ? P : 0, 1.0);
    std::vector<bool> given(P, false);
    for (const Row& row : reading.rows) {
        if (row.raters != R || row.codeBelowOne || row.largestCode > K) continue;
        const std::size_t p = patternOf(row.codes, K);
        if (given[p]) continue;
        given[p] = true;
        frequency[p] = row.frequency;
        if (weighted) weight[p] = row.weight;
    }
    const Study& study = file.study;
    expect(study.R == R && study.K == K &&
               std::equal(frequency.begin(), frequency.end(), study.frequency.begin(), study.frequency.end()) &&
               std::equal(weight.begin(), weight.end(), study.fileWeight.begin(), study.fileWeight.end()),
           "the dialogue's study does not hold the rows that fit the answers");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const int lines = lineCount(bytes);
    // A few bytes per read, from 1 to 8 as the last byte says: every token and
    // line break falls on a chunk boundary in some input.
    const std::size_t maxRead = size == 0 ? 1 : 1 + data[size - 1] % 8;
    for (const FileLayout layout : {FileLayout::Unweighted, FileLayout::Weighted}) {
        const Reading reading = parse(bytes, layout, static_cast<std::size_t>(-1));
        const Reading chunked = parse(bytes, layout, maxRead);
        expectSameOutcome(reading.outcome, chunked.outcome);
        expect(reading.raterCalls == chunked.raterCalls && reading.R == chunked.R && reading.rows == chunked.rows,
               "reading in chunks gives other rows");
        // Bytes in memory are always read, and the recorder refuses no row.
        expect(reading.outcome.status == ParseOutcome::Status::Read ||
                   reading.outcome.status == ParseOutcome::Status::Malformed,
               "bytes in memory fail to read, or a row is refused");
        if (reading.outcome.ok())
            checkRewrite(reading, layout);
        else
            expect(reading.outcome.line >= 1 && reading.outcome.line <= lines, "a refusal outside the file");
        checkDialogue(bytes, layout, reading);
        checkCommandLine(bytes, layout, reading, lines, maxRead);
        checkLabels(bytes, layout, lines, maxRead);
    }
    return 0;
}
