// Fuzz target: the readers of ratings, long and matrix files. The first four
// bytes choose the options (layout, header, delimiter, categories, missing
// tokens, id, groups and columns; the reader's buffer and how many bytes each
// read delivers; whether the file is decoded first, as the command line does,
// and from which encoding); the rest is the file.
//
// Besides the sanitizers, the target asserts what must hold of every outcome:
// - the outcome does not depend on how the bytes arrive (a buffer of a few
//   bytes and reads of one byte against one large read);
// - decoded, the file becomes what glibc's iconv makes of it, and bytes that
//   iconv cannot convert are refused;
// - a refusal names a line of the file (or 0) and says something;
// - an accepted file gives studies whose tables are consistent, and that the
//   equivalent files give again: its subjects written out as a ratings file
//   (other delimiter, every field quoted) and as a long file, a two-rater
//   study as a cross-table, a cross-table as a ratings file, and the complete
//   patterns as a table file, which the dialogue's loader reads back.
#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "input/byte_source.h"
#include "input/data_file.h"
#include "input/decoding.h"
#include "input/study_reader.h"
#include "input/table_input.h"

namespace {

using namespace kappa;

// Subjects written out for the round trips, at most, and the largest K^R
// rewritten (every read fills a dense table of K^R counts, which coverage
// tracing makes slow).
constexpr std::int64_t kRewriteCap = 20000;
constexpr std::size_t kRewritePatterns = 65536;

using kappa::fuzz::expect;
using kappa::fuzz::fail;

// A group as the checks compare it: its raters, its complete patterns that
// occur and its incomplete subjects (the dense table is dropped as soon as it
// is read), or, for a study held without that table, its profiles.
struct Group {
    std::string name;
    std::int32_t R = 0, K = 0;
    std::vector<std::pair<std::size_t, std::int64_t>> patterns;
    std::vector<IncompleteSubjects> incomplete;
    std::vector<std::string> raters;
    bool table = true;
    std::vector<std::pair<std::vector<CategoryCount>, std::int64_t>> profiles;
};

struct Outcome {
    std::optional<InputError> error;
    InputDescription input;
    std::vector<Group> groups;
};

// A rewritten file must be accepted: otherwise the file and the refusal are shown.
void expectAccepted(const std::optional<InputError>& error, const std::string& text, const char* what) {
    if (!error) return;
    std::fprintf(stderr, "readers_fuzz: line %lld, column %lld: %s\n--- file:\n%s\n---\n",
                 static_cast<long long>(error->line), static_cast<long long>(error->column), error->message.c_str(),
                 text.c_str());
    fail(what);
}

std::int64_t lineCount(std::string_view bytes) {
    std::int64_t lines = 0;
    for (const char c : bytes) lines += c == '\n';
    return lines + (!bytes.empty() && bytes.back() != '\n');
}

// The patterns that occur, from a dense table of up to 2^20 entries: a scan
// kept out of the coverage that steers the fuzzer, which it would only slow.
__attribute__((no_sanitize("coverage"))) void occurring(const PatternVector<std::int64_t>& frequency,
                                                        std::vector<std::pair<std::size_t, std::int64_t>>& patterns) {
    const std::int64_t* const F = frequency.data();
    for (std::size_t p = 0; p < frequency.size(); ++p)
        if (F[p] != 0) patterns.emplace_back(p, F[p]);
}

// The file read as the command line reads it when `options.encoding` is
// not Detect (the fuzz target's way of saying "decode it first").
Outcome read(std::string_view bytes, const InputOptions& options, std::size_t chunk, std::size_t maxRead,
             std::optional<Encoding> encoding = std::nullopt) {
    ByteSource raw(bytes, maxRead);
    std::optional<DecodingSource> decoding;
    if (encoding) decoding.emplace(raw, *encoding);
    ByteSource& source = decoding ? static_cast<ByteSource&>(*decoding) : raw;
    Outcome outcome;
    outcome.error = readStudies(
        source, options, outcome.input,
        [&](StudyGroup&& g) {
            const Study& s = g.study;
            // Raters who gave no rating in a group are not its raters.
            expect(s.R == static_cast<std::int32_t>(s.raterNames.size()) &&
                       s.raterNames.size() <= outcome.input.raters.size(),
                   "R is not the number of raters");
            expect(s.labels == outcome.input.labels && s.K == static_cast<std::int32_t>(s.labels.size()),
                   "a group's labels are not the file's");
            Group group{g.group, s.R, s.K, {}, s.incomplete, s.raterNames, hasPatternTable(s), {}};
            if (!group.table) {
                for (std::size_t p = 0; p < s.profiles.size(); ++p) {
                    const auto profile = s.profiles.profile(p);
                    group.profiles.emplace_back(std::vector<CategoryCount>(profile.begin(), profile.end()),
                                                s.profiles.subjects(p));
                }
                std::sort(group.profiles.begin(), group.profiles.end(), [](const auto& a, const auto& b) {
                    return std::lexicographical_compare(
                        a.first.begin(), a.first.end(), b.first.begin(), b.first.end(),
                        [](const CategoryCount& x, const CategoryCount& y) {
                            return x.category != y.category ? x.category < y.category : x.count < y.count;
                        });
                });
                outcome.groups.push_back(std::move(group));
                return;
            }
            expect(s.frequency.size() == patternCount(s.K, s.R), "the frequency table is not K^R long");
            occurring(s.frequency, group.patterns);
            for (const auto& [p, F] : group.patterns) expect(F > 0, "a negative frequency");
            for (std::size_t i = 0; i < s.incomplete.size(); ++i) {
                const IncompleteSubjects& subjects = s.incomplete[i];
                std::size_t missing = 0;
                expect(subjects.codes.size() == static_cast<std::size_t>(s.R), "incomplete codes of another length");
                for (const std::uint16_t code : subjects.codes) {
                    missing += code == kMissing;
                    expect(code == kMissing || code < s.K, "an incomplete code outside the categories");
                }
                expect(missing > 0 && missing < subjects.codes.size(), "an incomplete subject that is not incomplete");
                expect(subjects.count > 0, "incomplete subjects without a count");
                expect(subjects.firstLine >= 1 && subjects.firstLine <= lineCount(bytes),
                       "a first line outside the file");
                expect(i == 0 || s.incomplete[i - 1].firstLine < subjects.firstLine,
                       "incomplete subjects out of order");
                for (std::size_t k = 0; k < i; ++k)
                    expect(s.incomplete[k].codes != subjects.codes, "incomplete subjects with the same codes apart");
            }
            outcome.groups.push_back(std::move(group));
        },
        chunk);
    if (decoding) outcome.error = decoding->settle(std::move(outcome.error));
    return outcome;
}

// All of `bytes` decoded, with reads of `maxRead` bytes into a buffer of `size`.
std::optional<std::string> decoded(std::string_view bytes, Encoding encoding, std::size_t maxRead, std::size_t size,
                                   std::optional<InputError>& refusal) {
    ByteSource raw(bytes, maxRead);
    DecodingSource source(raw, encoding);
    std::string text, buffer(size, '\0');
    for (std::ptrdiff_t got; (got = source.read(buffer.data(), size)) > 0;)
        text.append(buffer, 0, static_cast<std::size_t>(got));
    refusal = source.settle(std::nullopt);
    if (refusal) return std::nullopt;
    return text;
}

// What glibc's iconv makes of `bytes` in UTF-8, or none when it cannot
// convert them all.
std::optional<std::string> iconvUtf8(std::string_view bytes, const char* from) {
    const iconv_t converter = iconv_open("UTF-8", from);
    expect(converter != reinterpret_cast<iconv_t>(-1), "iconv does not know the encoding");
    std::string in(bytes), out(4 * bytes.size() + 4, '\0');
    char* inPointer = in.data();
    char* outPointer = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    const std::size_t converted = iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft);
    iconv_close(converter);
    if (converted == static_cast<std::size_t>(-1) || inLeft != 0) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

// The decoding layer on its own: however the bytes arrive the same text or
// the same refusal; accepted text is UTF-8 without a NUL, as iconv converts
// it; and what iconv cannot convert is refused.
void checkDecoding(std::string_view bytes, Encoding encoding, std::size_t maxRead, std::size_t size) {
    std::optional<InputError> refusal, wholeRefusal;
    const auto text = decoded(bytes, encoding, maxRead, size, refusal);
    const auto whole = decoded(bytes, encoding, bytes.size() + 1, 65536, wholeRefusal);
    expect(text == whole, "the decoded text depends on how the bytes arrive");
    expect(refusal.has_value() == wholeRefusal.has_value() &&
               (!refusal || (refusal->line == wholeRefusal->line && refusal->message == wholeRefusal->message)),
           "the refusal of the decoding depends on how the bytes arrive");
    if (text) {
        expect(!firstNonUtf8(*text) && text->find('\0') == std::string::npos, "decoded text that is not UTF-8");
    } else {
        expect(refusal->line >= 1 && refusal->line <= lineCount(bytes) + 1 && !refusal->message.empty(),
               "a refusal of the decoding outside the file's lines");
    }
    const bool utf16Mark = bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
    const char* from = nullptr;
    switch (encoding) {
        case Encoding::Detect: from = utf16Mark ? nullptr : "UTF-8"; break;
        case Encoding::Utf8: from = "UTF-8"; break;
        case Encoding::Utf16Le: from = "UTF-16LE"; break;
        case Encoding::Utf16Be: from = "UTF-16BE"; break;
        case Encoding::Latin1: from = "ISO-8859-1"; break;
        case Encoding::Cp1252: from = "CP1252"; break;
        case Encoding::Utf16: break;  // its byte order is the decoder's guess
    }
    if (!from) return;
    const auto converted = iconvUtf8(bytes, from);
    if (text) expect(converted == text, "the decoded text is not what iconv makes of the file");
    if (!converted) expect(!text, "bytes that iconv cannot convert are decoded");
}

// The outcome without its groups that have no subjects (rows whose every
// rating is missing still name their group), which no rewritten file has.
Outcome withSubjectsOnly(Outcome o) {
    std::erase_if(o.groups,
                  [](const Group& g) { return g.patterns.empty() && g.incomplete.empty() && g.profiles.empty(); });
    return o;
}

bool sameGroups(const Outcome& a, const Outcome& b, bool compareLines) {
    if (a.groups.size() != b.groups.size()) return false;
    for (std::size_t g = 0; g < a.groups.size(); ++g) {
        const Group& x = a.groups[g];
        const Group& y = b.groups[g];
        if (x.name != y.name || x.R != y.R || x.K != y.K || x.patterns != y.patterns || x.table != y.table ||
            x.profiles != y.profiles)
            return false;
        if (x.incomplete.size() != y.incomplete.size()) return false;
        // Incomplete subjects follow their first lines, which differ between layouts: compare as sets.
        for (const IncompleteSubjects& s : x.incomplete) {
            bool found = false;
            for (const IncompleteSubjects& t : y.incomplete)
                found = found ||
                        (s.codes == t.codes && s.count == t.count && (!compareLines || s.firstLine == t.firstLine));
            if (!found) return false;
        }
    }
    return true;
}

std::int64_t subjectsOf(const Outcome& o) {
    std::int64_t n = 0;
    for (const Group& g : o.groups) {
        for (const auto& [p, F] : g.patterns) n += F;
        for (const IncompleteSubjects& s : g.incomplete) n += s.count;
    }
    return n;
}

// A field quoted for any delimiter.
std::string quoted(std::string_view text) {
    std::string field = "\"";
    for (const char c : text) field += c == '"' ? std::string("\"\"") : std::string(1, c);
    return field + "\"";
}

// Calls row(group, codes) once per subject of every group.
template <typename Row>
void forEachSubject(const Outcome& o, Row row) {
    for (const Group& g : o.groups) {
        std::vector<std::uint16_t> codes(static_cast<std::size_t>(g.R));
        for (const auto& [p, F] : g.patterns) {
            patternDigits(p, g.K, codes);
            for (std::int64_t i = 0; i < F; ++i) row(g, codes);
        }
        for (const IncompleteSubjects& s : g.incomplete)
            for (std::int64_t i = 0; i < s.count; ++i) row(g, s.codes);
    }
}

// The options that read a rewritten file as the original was read: its
// labels given in order (but a lone label, which --categories cannot take).
InputOptions rewrittenOptions(const Outcome& o, InputFormat format) {
    InputOptions options;
    options.format = format;
    options.missing = {""};
    options.headerConfirmed = true;
    if (o.input.labels.size() >= 2) options.categories = o.input.labels;
    return options;
}

void checkRatingsRewrite(const Outcome& o, bool groups) {
    const char delimiter = o.input.delimiter == ';' ? '|' : ';';
    std::string text;
    for (std::size_t j = 0; j < o.input.raters.size(); ++j) text += "r" + std::to_string(j) + delimiter;
    text += "group\n";
    forEachSubject(o, [&](const Group& g, const std::vector<std::uint16_t>& codes) {
        for (const std::uint16_t code : codes) text += quoted(code == kMissing ? "" : o.input.labels[code]) + delimiter;
        text += quoted(g.name) + "\n";
    });
    InputOptions options = rewrittenOptions(o, InputFormat::Ratings);
    options.delimiter = delimiter;
    for (std::size_t j = 0; j < o.input.raters.size(); ++j) options.columns.push_back("r" + std::to_string(j));
    if (groups)
        options.by = "group";
    else
        options.id = "group";
    const Outcome again = read(text, options, 4096, text.size() + 1);
    expectAccepted(again.error, text, "the subjects written as a ratings file are refused");
    expect(again.input.labels == o.input.labels, "the subjects written as a ratings file give other labels");
    expect(sameGroups(withSubjectsOnly(o), again, false), "the subjects written as a ratings file give other studies");
}

void checkLongRewrite(const Outcome& o, bool groups) {
    std::string text = "subject\trater\tcategory\tgroup\n";
    std::int64_t subject = 0;
    forEachSubject(o, [&](const Group& g, const std::vector<std::uint16_t>& codes) {
        ++subject;
        for (std::size_t j = 0; j < codes.size(); ++j)
            text += std::to_string(subject) + "\tr" + std::to_string(j) + '\t' +
                    quoted(codes[j] == kMissing ? "" : o.input.labels[codes[j]]) + '\t' + quoted(g.name) + '\n';
    });
    InputOptions options = rewrittenOptions(o, InputFormat::Long);
    if (groups) options.by = "group";
    const Outcome again = read(text, options, 4096, text.size() + 1);
    expectAccepted(again.error, text, "the subjects written as a long file are refused");
    expect(sameGroups(withSubjectsOnly(o), again, false), "the subjects written as a long file give other studies");
}

void checkMatrixRewrite(const Outcome& o) {
    const Group& g = o.groups[0];
    std::string text;
    for (const std::string& label : o.input.labels) text += "," + quoted(label);
    text += '\n';
    std::vector<std::int64_t> frequency(patternCount(g.K, 2), 0);
    for (const auto& [p, F] : g.patterns) frequency[p] = F;
    for (std::size_t r = 0; r < o.input.labels.size(); ++r) {
        text += quoted(o.input.labels[r]);
        for (std::size_t c = 0; c < o.input.labels.size(); ++c)
            text += "," + std::to_string(frequency[r * o.input.labels.size() + c]);
        text += '\n';
    }
    const Outcome again = read(text, rewrittenOptions(o, InputFormat::Matrix), 4096, text.size() + 1);
    expectAccepted(again.error, text, "a two-rater study written as a cross-table is refused");
    expect(sameGroups(withSubjectsOnly(o), again, false),
           "a two-rater study written as a cross-table gives another study");
}

// The complete patterns as a table file (R codes 1..K and a frequency, TAB
// separated), read by the dialogue's loader: the same rows.
void checkTable(const Outcome& o) {
    for (const Group& g : o.groups) {
        if (g.patterns.empty()) continue;
        std::string text;
        std::vector<std::uint16_t> codes(static_cast<std::size_t>(g.R));
        for (const auto& [p, F] : g.patterns) {
            if (F > INT32_MAX) return;
            patternDigits(p, g.K, codes);
            for (const std::uint16_t code : codes) text += std::to_string(code + 1) + '\t';
            text += std::to_string(F) + '\n';
        }
        std::int64_t subjects = 0;
        for (const auto& pattern : g.patterns) subjects += pattern.second;
        if (g.K < 2 || subjects < 3) continue;  // a table needs two categories and three subjects
        if (patternCount(g.K, g.R) > 65536) continue;  // keeps an execution quick
        ByteSource source(text);
        InputOptions table;
        table.categories = {std::to_string(g.K)};
        const InputRead read = readTable(source, table);
        expect(!read.error && read.groups.size() == 1, "the table of the complete patterns is refused");
        const Study& study = read.groups[0].study;
        expect(study.R == g.R && study.K == g.K, "the table of the complete patterns has another shape");
        std::size_t r = 0;
        for (std::size_t p = 0; p < study.frequency.size(); ++p) {
            if (study.frequency[p] == 0) continue;
            expect(r < g.patterns.size() && g.patterns[r].first == p && g.patterns[r].second == study.frequency[p],
                   "the table of the complete patterns loads other counts");
            ++r;
        }
        expect(r == g.patterns.size(), "the table of the complete patterns loses patterns");
    }
}

InputOptions optionsOf(const std::uint8_t* data) {
    InputOptions o;
    static const InputFormat formats[] = {InputFormat::Ratings, InputFormat::Long, InputFormat::Matrix};
    o.format = formats[data[0] % 3];
    o.header = (data[0] & 0x04) == 0;
    static const char delimiters[] = {0, '\t', ',', ';', '|', kBlanks};
    if (const char d = delimiters[(data[0] >> 3) % 6]) o.delimiter = d;
    switch (data[1] & 3) {
        case 1: o.categories = {std::to_string((data[1] >> 2) % 6 + 1)}; break;
        case 2: o.categories = {"b", "a", "1"}; break;
        case 3: o.categories = {"1", "2", "3"}; break;
        default: break;
    }
    switch ((data[1] >> 5) & 3) {
        case 1: o.missing = {"NA"}; break;
        case 2: o.missing = {"-", ""}; break;
        case 3: o.missing = {"", "NA", "x"}; break;
        default: break;
    }
    static const char* const ids[] = {"", "1", "id", "3"};
    static const char* const bys[] = {"", "2", "g", "1"};
    o.id = ids[data[2] & 3];
    o.by = bys[(data[2] >> 2) & 3];
    switch ((data[2] >> 4) & 3) {
        case 1: o.columns = {"2", "3"}; break;
        case 2: o.columns = {"1", "2", "3"}; break;
        case 3: o.columns = {"c", "b", "a"}; break;
        default: break;
    }
    if (o.format == InputFormat::Matrix && (data[2] & 0x40) == 0) o.id.clear(), o.by.clear(), o.columns.clear();
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const InputOptions options = optionsOf(data);
    const std::size_t chunk = 1 + data[3] % 32;
    const std::size_t maxRead = 1 + (data[3] >> 5);
    const std::string_view bytes(reinterpret_cast<const char*>(data + 4), size - 4);
    std::optional<Encoding> encoding;
    if (data[2] & 0x80) {
        static const Encoding encodings[] = {Encoding::Detect, Encoding::Utf8,   Encoding::Utf16,  Encoding::Utf16Le,
                                             Encoding::Utf16Be, Encoding::Latin1, Encoding::Cp1252, Encoding::Detect};
        encoding = encodings[(data[1] >> 7) << 2 | (data[3] & 3)];
        checkDecoding(bytes, *encoding, maxRead, chunk);
    }

    const Outcome outcome = read(bytes, options, chunk, maxRead, encoding);
    const Outcome whole = read(bytes, options, DelimitedReader::kChunk, bytes.size() + 1, encoding);
    expect(outcome.error.has_value() == whole.error.has_value(), "the chunk size changes whether the file is refused");
    if (outcome.error) {
        const InputError& e = *outcome.error;
        const InputError& f = *whole.error;
        expect(e.line == f.line && e.column == f.column && e.message == f.message,
               "the chunk size changes the refusal");
        expect(e.line >= 0 && e.line <= lineCount(bytes), "a refusal outside the file's lines");
        expect(e.column >= 0 && !e.message.empty(), "a refusal without a column or a message");
        return 0;
    }
    expect(outcome.input.delimiter == whole.input.delimiter && outcome.input.labels == whole.input.labels &&
               outcome.input.raters == whole.input.raters && outcome.input.ordered == whole.input.ordered &&
               sameGroups(outcome, whole, true),
           "the chunk size changes the studies");
    expect(!outcome.groups.empty(), "an accepted file without a study");

    // The round trips take studies with their tables, of every rater of the file.
    for (const Group& g : outcome.groups)
        if (!g.table || g.raters != outcome.input.raters) return 0;
    checkTable(outcome);
    if (subjectsOf(outcome) > kRewriteCap || patternCount(outcome.groups[0].K, outcome.groups[0].R) > kRewritePatterns)
        return 0;
    const bool groups = !options.by.empty();
    checkRatingsRewrite(outcome, groups);
    checkLongRewrite(outcome, groups);
    if (!groups && outcome.groups[0].R == 2 && outcome.groups[0].incomplete.empty()) checkMatrixRewrite(outcome);
    return 0;
}
