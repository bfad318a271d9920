// Fuzz target: one study, drawn from the input, written in every layout the
// command line reads (a ratings file, a long file in any row order, a table
// of response patterns and, for two raters without missing ratings, a
// cross-table) with labels, delimiters and quoting drawn too, and the
// ratings file also in UTF-16 and Latin-1; every layout and encoding must give
// the same study, whatever size the reads deliver.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "check.h"
#include "draw.h"
#include "input/byte_source.h"
#include "input/decoding.h"
#include "input/study_reader.h"
#include "input/table_input.h"

namespace {

using namespace kappa;
using kappa::fuzz::Draw;
using kappa::fuzz::expect;

// Label sets: numbers, other numbers, words, and words that need quoting.
std::vector<std::string> labelsOf(unsigned style, std::size_t K) {
    static const std::vector<std::string> words = {"none", "mild", "moderate", "severe", "extreme", "unclear"};
    static const std::vector<std::string> quoted = {"a, b", "say \"hi\"", "tr\xC3\xA8s", "x y", "semi;colon", "bar|x"};
    std::vector<std::string> labels;
    for (std::size_t k = 0; k < K; ++k) {
        switch (style) {
            case 0: labels.push_back(std::to_string(k + 1)); break;
            case 1: labels.push_back(std::to_string(10 * static_cast<int>(k) - 20)); break;
            case 2: labels.push_back(words[k]); break;
            default: labels.push_back(quoted[k]); break;
        }
    }
    return labels;
}

std::string field(const std::string& text, bool quote) {
    if (!quote) return text;
    std::string out = "\"";
    for (const char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// The subjects' codes (kMissing for a missing rating) as the readers count them.
struct Expected {
    std::int32_t R = 0, K = 0;
    PatternVector<std::int64_t> frequency;
    std::vector<std::pair<std::vector<std::uint16_t>, std::int64_t>> incomplete;  // sorted
};

Expected expectedOf(const std::vector<std::vector<std::uint16_t>>& subjects, std::int32_t R, std::int32_t K) {
    Expected e{R, K, PatternVector<std::int64_t>(patternCount(K, R), 0), {}};
    for (const auto& codes : subjects) {
        if (std::find(codes.begin(), codes.end(), kMissing) == codes.end()) {
            std::size_t p = 0;
            for (const std::uint16_t c : codes) p = p * static_cast<std::size_t>(K) + c;
            ++e.frequency[p];
            continue;
        }
        auto found = std::find_if(e.incomplete.begin(), e.incomplete.end(),
                                  [&](const auto& group) { return group.first == codes; });
        if (found == e.incomplete.end())
            e.incomplete.emplace_back(codes, 1);
        else
            ++found->second;
    }
    std::sort(e.incomplete.begin(), e.incomplete.end());
    return e;
}

void expectSame(const Expected& e, const Study& s, const char* layout) {
    char what[128];
    std::snprintf(what, sizeof what, "the %s gives another study", layout);
    expect(s.R == e.R && s.K == e.K && s.frequency.size() == e.frequency.size(), what);
    expect(std::equal(e.frequency.begin(), e.frequency.end(), s.frequency.begin()), what);
    std::vector<std::pair<std::vector<std::uint16_t>, std::int64_t>> incomplete;
    for (const IncompleteSubjects& group : s.incomplete) incomplete.emplace_back(group.codes, group.count);
    std::sort(incomplete.begin(), incomplete.end());
    expect(incomplete == e.incomplete, what);
}

// The code points of UTF-8 text (which the target writes well formed).
std::vector<char32_t> codePoints(const std::string& text) {
    std::vector<char32_t> points;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t point = n == 1 ? c : c & (0xFF >> (n + 1));
        for (std::size_t k = 1; k < n; ++k) point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        points.push_back(point);
        i += n;
    }
    return points;
}

// The text in UTF-16 with a byte-order mark, little- or big-endian.
std::string utf16(const std::string& text, bool little) {
    std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
    const auto unit = [&](char16_t u) {
        const char low = static_cast<char>(u & 0xFF), high = static_cast<char>(u >> 8);
        out += little ? std::string{low, high} : std::string{high, low};
    };
    for (const char32_t p : codePoints(text)) {
        if (p < 0x10000) {
            unit(static_cast<char16_t>(p));
        } else {
            unit(static_cast<char16_t>(0xD800 + ((p - 0x10000) >> 10)));
            unit(static_cast<char16_t>(0xDC00 + ((p - 0x10000) & 0x3FF)));
        }
    }
    return out;
}

// The text in Latin-1, when every character has a byte there.
std::optional<std::string> latin1(const std::string& text) {
    std::string out;
    for (const char32_t p : codePoints(text)) {
        if (p > 0xFF) return std::nullopt;
        out += static_cast<char>(p);
    }
    return out;
}

// Reads a ratings, long or matrix file in `encoding` through the decoding
// the command line reads every file through; it must be accepted, as one study.
Study readOne(const std::string& text, const InputOptions& options, std::size_t maxRead, const char* layout,
              Encoding encoding = Encoding::Detect) {
    ByteSource bytes(text, maxRead);
    DecodingSource source(bytes, encoding);
    StudiesRead read = readStudies(source, options);
    read.error = source.settle(std::move(read.error));
    if (read.error) {
        std::fprintf(stderr, "layouts_fuzz: %s refused, line %lld, column %lld: %s\n--- file:\n%s---\n", layout,
                     static_cast<long long>(read.error->line), static_cast<long long>(read.error->column),
                     read.error->message.c_str(), text.c_str());
        kappa::fuzz::fail("a layout of the study is refused");
    }
    expect(read.groups.size() == 1, "a layout of the study gives several groups");
    return std::move(read.groups[0].study);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Draw draw(data, size);
    const auto R = static_cast<std::int32_t>(2 + draw(3));
    const auto K = static_cast<std::int32_t>(2 + draw(5));
    const std::vector<std::string> labels = labelsOf(draw(4), static_cast<std::size_t>(K));
    const bool withMissing = draw(3) == 0;
    const std::size_t n = 3 + draw(30);
    std::vector<std::vector<std::uint16_t>> subjects;
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<std::uint16_t> codes(static_cast<std::size_t>(R));
        for (std::uint16_t& code : codes)
            code = withMissing && draw(5) == 0 ? kMissing : static_cast<std::uint16_t>(draw(static_cast<unsigned>(K)));
        if (std::all_of(codes.begin(), codes.end(), [](std::uint16_t c) { return c == kMissing; })) codes[0] = 0;
        subjects.push_back(std::move(codes));
    }
    const Expected expected = expectedOf(subjects, R, K);
    // A ratings file's raters are those who rated: a column without a rating
    // is no rater's.
    std::vector<std::vector<std::uint16_t>> ofRaters(subjects.size());
    for (std::size_t j = 0; j < static_cast<std::size_t>(R); ++j)
        if (std::any_of(subjects.begin(), subjects.end(), [&](const auto& c) { return c[j] != kMissing; }))
            for (std::size_t i = 0; i < subjects.size(); ++i) ofRaters[i].push_back(subjects[i][j]);
    const Expected rated = expectedOf(ofRaters, static_cast<std::int32_t>(ofRaters[0].size()), K);
    static const char delimiters[] = {',', ';', '\t', '|'};
    const char delimiter = delimiters[draw(4)];
    const bool quoteAll = draw(2) == 1;
    const std::size_t maxRead = 1 + draw(16);
    const auto label = [&](std::uint16_t code) { return code == kMissing ? std::string() : labels[code]; };
    const auto cell = [&](const std::string& text) {
        const bool needs = text.find_first_of(",;\t|\" ") != std::string::npos;
        return field(text, quoteAll || needs);
    };

    InputOptions common;
    common.categories = labels;
    common.missing = {""};
    common.headerConfirmed = true;
    common.delimiter = delimiter;

    // A ratings file: an id column, then a column per rater.
    std::string ratings = "id";
    for (std::int32_t j = 0; j < R; ++j) ratings += delimiter + std::string("r") + std::to_string(j + 1);
    ratings += '\n';
    for (std::size_t i = 0; i < n; ++i) {
        ratings += "s" + std::to_string(i + 1);
        for (const std::uint16_t code : subjects[i]) ratings += delimiter + cell(label(code));
        ratings += '\n';
    }
    InputOptions ratingsOptions = common;
    ratingsOptions.format = InputFormat::Ratings;
    for (std::int32_t j = 0; j < R; ++j) ratingsOptions.columns.push_back("r" + std::to_string(j + 1));
    if (draw(2) == 1) ratingsOptions.id = "id";
    expectSame(rated, readOne(ratings, ratingsOptions, maxRead, "ratings file"), "ratings file");
    // The same file saved in UTF-16 (either byte order) or, where it can be, in Latin-1.
    switch (draw(4)) {
        case 1: [[fallthrough]];
        case 2:
            expectSame(rated, readOne(utf16(ratings, draw(2) == 1), ratingsOptions, maxRead, "ratings file in UTF-16"),
                       "ratings file in UTF-16");
            break;
        case 3:
            if (const auto inLatin1 = latin1(ratings))
                expectSame(rated,
                           readOne(*inLatin1, ratingsOptions, maxRead, "ratings file in Latin-1", Encoding::Latin1),
                           "ratings file in Latin-1");
            break;
        default: break;
    }

    // A long file, its ratings in an order drawn from the input.
    std::vector<std::string> rows;
    for (std::size_t i = 0; i < n; ++i)
        for (std::int32_t j = 0; j < R; ++j)
            if (subjects[i][static_cast<std::size_t>(j)] != kMissing)
                rows.push_back("s" + std::to_string(i + 1) + delimiter + cell("rater " + std::to_string(j + 1)) +
                               delimiter + cell(label(subjects[i][static_cast<std::size_t>(j)])) + '\n');
    if (draw(2) == 1)
        for (std::size_t i = rows.size(); i > 1; --i) std::swap(rows[i - 1], rows[draw(static_cast<unsigned>(i))]);
    std::string longFile = "subject" + std::string(1, delimiter) + "rater" + delimiter + "category\n";
    for (const std::string& row : rows) longFile += row;
    InputOptions longOptions = common;
    longOptions.format = InputFormat::Long;
    // A long file needs two raters and a subject with two ratings.
    std::size_t ratersWhoRated = 0;
    for (std::size_t j = 0; j < static_cast<std::size_t>(R); ++j)
        ratersWhoRated += std::any_of(subjects.begin(), subjects.end(), [&](const auto& c) { return c[j] != kMissing; });
    const bool twoRatings = std::any_of(subjects.begin(), subjects.end(), [](const auto& c) {
        return std::count(c.begin(), c.end(), kMissing) + 2 <= static_cast<std::ptrdiff_t>(c.size());
    });
    if (ratersWhoRated < 2 || !twoRatings) return 0;
    const Study fromLong = readOne(longFile, longOptions, maxRead, "long file");
    // A long file's raters come in the order of their first rating, and a
    // rater who rated nobody is no rater of it.
    std::vector<std::size_t> order;
    for (const std::string& name : fromLong.raterNames) order.push_back(std::stoul(name.substr(6)) - 1);
    std::vector<std::vector<std::uint16_t>> reordered;
    for (const auto& codes : subjects) {
        std::vector<std::uint16_t> kept;
        for (const std::size_t j : order) kept.push_back(codes[j]);
        if (std::any_of(kept.begin(), kept.end(), [](std::uint16_t c) { return c != kMissing; }))
            reordered.push_back(std::move(kept));
    }
    expect(order.size() >= 2 || fromLong.R < 2, "the long file's raters are not its raters");
    expectSame(expectedOf(reordered, static_cast<std::int32_t>(order.size()), K), fromLong, "long file");

    if (withMissing) return 0;
    // A table of response patterns: R codes 1..K and a frequency.
    std::string table;
    std::vector<std::uint16_t> digits(static_cast<std::size_t>(R));
    for (std::size_t p = 0; p < expected.frequency.size(); ++p) {
        if (expected.frequency[p] == 0) continue;
        patternDigits(p, K, digits);
        for (const std::uint16_t d : digits) table += std::to_string(d + 1) + '\t';
        table += std::to_string(expected.frequency[p]) + '\n';
    }
    ByteSource tableSource(table, maxRead);
    InputOptions tableOptions;
    tableOptions.categories = {std::to_string(K)};
    const InputRead fromTable = readTable(tableSource, tableOptions);
    expect(!fromTable.error && fromTable.groups.size() == 1, "the table of response patterns is refused");
    expectSame(expected, fromTable.groups[0].study, "table");

    if (R != 2) return 0;
    // A cross-table, rater 1 in rows, labelled in the order of the categories.
    std::string matrix;
    for (const std::string& l : labels) matrix += delimiter + cell(l);
    matrix += '\n';
    for (std::int32_t r = 0; r < K; ++r) {
        matrix += cell(labels[static_cast<std::size_t>(r)]);
        for (std::int32_t c = 0; c < K; ++c)
            matrix += delimiter + std::to_string(expected.frequency[static_cast<std::size_t>(r * K + c)]);
        matrix += '\n';
    }
    InputOptions matrixOptions = common;
    matrixOptions.format = InputFormat::Matrix;
    matrixOptions.missing.clear();
    expectSame(expected, readOne(matrix, matrixOptions, maxRead, "cross-table"), "cross-table");
    return 0;
}
