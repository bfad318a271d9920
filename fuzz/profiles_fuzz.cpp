// Fuzz target: a study drawn from the input, of up to 24 raters with missing
// ratings, written as a long file whose rows are sorted by subject or in any
// order, and read in pieces of any size (a sorted file as it comes, any other
// read a second time). What is read must be the study drawn, and every
// coefficient must give the same estimates, standard errors and tests to
// 1e-12 whichever way the study is held: with its table of response patterns
// (where it fits) or without it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "../tests/estimates_match.h"
#include "check.h"
#include "draw.h"
#include "inference/chance_corrected.h"
#include "input/byte_source.h"
#include "input/study_builder.h"
#include "input/study_reader.h"
#include "tables/subjects.h"

namespace {

using namespace kappa;
using kappa::fuzz::Draw;
using kappa::fuzz::expect;

// A study's groups of subjects by the names of their raters and their labels,
// however the raters are numbered.
using Subjects = std::map<std::vector<std::pair<std::string, std::string>>, std::int64_t>;

Subjects subjectsOf(const Study& study) {
    Subjects subjects;
    forEachSubjectGroup(study, [&](std::int64_t count, std::span<const Rating> ratings) {
        std::vector<std::pair<std::string, std::string>> named;
        for (const Rating& r : ratings) named.emplace_back(study.raterNames[r.rater], study.labels[r.category]);
        std::sort(named.begin(), named.end());
        subjects[named] += count;
    });
    return subjects;
}

// Every coefficient but Conger's, which needs to know who gave each rating,
// unless both studies do.
void expectSameEstimates(const Study& a, const Study& b, const char* what) {
    const bool conger = knowsRaters(a) && knowsRaters(b);
    for (const Weighting w : {Weighting::None, Weighting::Quadratic, Weighting::Bipolar, Weighting::KrippendorffOrdinal}) {
        const ChanceCorrectedStudy first(a, w), second(b, w);
        for (const Coefficient c : {Coefficient::Fleiss, Coefficient::Conger, Coefficient::Gwet,
                                    Coefficient::BrennanPrediger, Coefficient::Alpha, Coefficient::Percent})
            if (c != Coefficient::Conger || conger)
                if (const auto difference = match::difference(chanceCorrectedEstimate(first, c, 95, 0.5), chanceCorrectedEstimate(second, c, 95, 0.5))) {
                    std::fprintf(stderr, "%s, %s weights: %s\n", std::string(coefficientId(c)).c_str(),
                                 std::string(weightingId(w)).c_str(), difference->c_str());
                    fuzz::fail(what);
                }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Draw draw(data, size);
    // Tables of at most 2^14 patterns keep a run quick; 21 raters or more have none.
    const auto R = static_cast<std::int32_t>(draw(4) == 0 ? 21 + draw(4) : 2 + draw(13));
    std::int32_t most = 2;
    while (most < 5 && (R > kMaxRaters || patternCount(most + 1, R) <= 16384)) ++most;
    const auto K = static_cast<std::int32_t>(2 + draw(static_cast<unsigned>(most - 1)));
    const unsigned subjects = 3 + draw(30), missing = draw(4), copies = 1 + draw(3);
    const bool shuffled = draw(2) == 1, keepRaters = draw(2) == 1;

    // The subjects' codes, each subject with at least one rating, and the
    // rows of the long file: a copy of each subject with its own name.
    std::vector<std::vector<std::uint16_t>> codes;
    for (unsigned i = 0; i < subjects; ++i) {
        std::vector<std::uint16_t> row(static_cast<std::size_t>(R));
        for (std::uint16_t& c : row) c = draw(4) < missing ? kMissing : static_cast<std::uint16_t>(draw(K));
        row[draw(R)] = static_cast<std::uint16_t>(draw(K));
        if (i == 0) row[0] = row[1] = static_cast<std::uint16_t>(draw(K));  // a subject of two ratings at least
        for (unsigned copy = 0; copy < copies; ++copy) codes.push_back(row);
    }
    std::vector<std::string> rows;
    for (std::size_t s = 0; s < codes.size(); ++s)
        for (std::size_t j = 0; j < codes[s].size(); ++j)
            if (codes[s][j] != kMissing)
                rows.push_back("s" + std::to_string(s + 100) + ",r" + std::to_string(j) + "," +
                               std::to_string(codes[s][j] + 1) + "\n");
    if (shuffled)
        for (std::size_t i = rows.size(); i-- > 1;) std::swap(rows[i], rows[draw(static_cast<unsigned>(i + 1))]);
    std::string file = "subject,rater,category\n";
    for (const std::string& row : rows) file += row;

    // The study drawn, with its table where it fits (else by profile), its
    // raters named as the file names them; raters without a rating are none
    // of its raters.
    Study drawn;
    std::vector<std::size_t> raters;
    for (std::size_t j = 0; j < static_cast<std::size_t>(R); ++j)
        if (std::any_of(codes.begin(), codes.end(), [&](const auto& row) { return row[j] != kMissing; }))
            raters.push_back(j);
    drawn.R = static_cast<std::int32_t>(raters.size());
    drawn.K = K;
    for (std::int32_t k = 1; k <= K; ++k) drawn.labels.push_back(std::to_string(k));
    for (const std::size_t j : raters) drawn.raterNames.push_back("r" + std::to_string(j));
    const bool fits = drawn.R <= kMaxRaters && patternCount(K, drawn.R) <= kMaxPatterns;
    if (fits) drawn.frequency.assign(patternCount(K, drawn.R), 0);
    ProfileCounter counter(true, true);
    for (const auto& row : codes) {
        std::vector<std::uint16_t> kept;
        std::vector<Rating> ratings;
        for (std::size_t g = 0; g < raters.size(); ++g) {
            kept.push_back(row[raters[g]]);
            if (row[raters[g]] != kMissing) ratings.push_back({static_cast<std::uint32_t>(g), row[raters[g]]});
        }
        if (!fits) {
            counter.add(1, ratings, 0);
        } else if (ratings.size() < raters.size()) {
            drawn.incomplete.push_back({kept, 1, 0});
        } else {
            std::size_t p = 0;
            for (const std::uint16_t c : kept) p = p * static_cast<std::size_t>(K) + c;
            ++drawn.frequency[p];
        }
    }
    std::vector<std::uint16_t> identity(static_cast<std::size_t>(K));
    for (std::size_t k = 0; k < identity.size(); ++k) identity[k] = static_cast<std::uint16_t>(k);
    if (!fits) counter.build(drawn, identity, false);

    // The long file, read in pieces of any size, and again when not sorted.
    InputOptions options;
    options.format = InputFormat::Long;
    options.keepRaters = keepRaters;
    options.categories = {std::to_string(K)};  // categories 1..K, used or not
    const std::size_t piece = 1 + draw(64);
    ByteSource source(file, piece), again(file, piece);
    InputDescription input;
    std::vector<StudyGroup> groups;
    const auto error = readStudies(
        source, options, input, [&](StudyGroup&& group) { groups.push_back(std::move(group)); }, 16,
        [&]() -> ByteSource* { return &again; });
    expect(!error && groups.size() == 1, "the long file is refused");
    const Study& read = groups[0].study;
    expect(read.R == drawn.R && read.K == drawn.K, "the long file has other raters or categories");
    if (knowsRaters(read)) expect(subjectsOf(read) == subjectsOf(drawn), "the long file has other subjects");

    expect(hasPatternTable(read) == fits, "the long file is held otherwise than its size says");

    expectSameEstimates(drawn, read, "the long file gives other estimates");
    if (fits) expectSameEstimates(drawn, withoutPatternTable(drawn, true), "the study without its table gives other estimates");
    return 0;
}
