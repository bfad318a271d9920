// Reading ratings, long and matrix files: the fields of delimited text at
// every chunk size, the example files (three layouts of the same studies),
// the categories a file gives (the refusals are in refusals_test.cpp).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "input/byte_source.h"
#include "input/delimited.h"
#include "format/format.h"
#include "inference/chance_corrected.h"
#include "input/input.h"
#include "input/layouts.h"
#include "input/study_reader.h"

#ifndef KAPPA_EXAMPLES_DIR
#error "KAPPA_EXAMPLES_DIR must name the folder of the example files"
#endif

namespace kappa {
namespace {

using Records = std::vector<std::pair<std::int64_t, std::vector<std::string>>>;  // line, fields

// Every record of `bytes`, read with buffers from one byte up and with a
// source that hands out one byte at a time: all must agree.
Records recordsOf(const std::string& bytes, std::optional<char> delimiter, std::optional<InputError>& error) {
    Records first;
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{7}, DelimitedReader::kChunk}) {
        for (const std::size_t maxRead : {std::size_t{1}, bytes.size() + 1}) {
            ByteSource source(bytes, maxRead);
            DelimitedReader reader(source, delimiter, chunk);
            Records records;
            while (reader.next())
                records.emplace_back(reader.line(),
                                     std::vector<std::string>(reader.fields().begin(), reader.fields().end()));
            if (chunk == 1 && maxRead == 1) {
                first = records;
                error = reader.error();
            } else {
                EXPECT_EQ(records, first) << "chunk " << chunk << ", reads of " << maxRead;
                EXPECT_EQ(reader.error().has_value(), error.has_value());
            }
        }
    }
    return first;
}

TEST(Delimited, FieldsAndLines) {
    struct Case {
        const char* name;
        std::string bytes;
        std::optional<char> delimiter;
        Records records;
    };
    const Case cases[] = {
        {"comma, no final line end", "a,b\n1,2", std::nullopt, {{1, {"a", "b"}}, {2, {"1", "2"}}}},
        {"CRLF", "a,b\r\n1,2\r\n", std::nullopt, {{1, {"a", "b"}}, {2, {"1", "2"}}}},
        {"byte-order mark", "\357\273\277a;b\n", std::nullopt, {{1, {"a", "b"}}}},
        {"blanks trimmed, blank lines skipped", "\n  \n a , b \n\t\n,\n", ',', {{3, {"a", "b"}}, {5, {"", ""}}}},
        {"TAB found before comma", "a,x\tb\n", std::nullopt, {{1, {"a,x", "b"}}}},
        {"a delimiter between quotes does not count", "\"a\tb\",c\n", std::nullopt, {{1, {"a\tb", "c"}}}},
        {"semicolon found when no comma", "a;b c\n", std::nullopt, {{1, {"a", "b c"}}}},
        {"blanks found last; runs of blanks", "  a  b   c \n", std::nullopt, {{1, {"a", "b", "c"}}}},
        {"delimiter found on the first line that is not blank", "\n \na|b,c\n", std::nullopt, {{3, {"a|b", "c"}}}},
        {"given delimiter", "a|b,c\n", '|', {{1, {"a", "b,c"}}}},
        {"quotes: delimiter, doubled quote, empty, blanks outside",
         "\"a,b\",\"say \"\"hi\"\"\", \"\" , \" x \"\n",
         ',',
         {{1, {"a,b", "say \"hi\"", "", " x "}}}},
        {"line break inside quotes: the next record's line follows it",
         "\"one\ntwo\",3\r\n4,5\n",
         ',',
         {{1, {"one\ntwo", "3"}}, {3, {"4", "5"}}}},
        {"quote inside an unquoted field is a character", "5'7\",x\n", ',', {{1, {"5'7\"", "x"}}}},
        {"trailing delimiter: a last empty field", "a,b,\n\"c\",\n", ',', {{1, {"a", "b", ""}}, {2, {"c", ""}}}},
        {"quoted fields between blanks", "\"a b\"  \"\" c\n", kBlanks, {{1, {"a b", "", "c"}}}},
        {"delimiter found over the first record, outside its quotes", "\"a\nb;c\",d\n1,2\n", std::nullopt,
         {{1, {"a\nb;c", "d"}}, {3, {"1", "2"}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<InputError> error;
        EXPECT_EQ(recordsOf(c.bytes, c.delimiter, error), c.records);
        EXPECT_FALSE(error.has_value()) << error->message;
    }
}

TEST(Delimited, MalformedQuotesPointAtTheirField) {
    struct Case {
        std::string bytes;
        std::int64_t line, column;
        const char* says;
    };
    const Case cases[] = {
        {"a,b\n1,\"2\n3\n", 2, 2, "never closed"},
        {"a,b\n1,\"2\"x,3\n", 2, 2, "after the closing quote"},
        {"\"a\"\"\n", 1, 1, "never closed"},
        {"a,b\r1,2\r", 1, 0, "carriage return alone"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        std::optional<InputError> error;
        recordsOf(c.bytes, ',', error);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->line, c.line);
        EXPECT_EQ(error->column, c.column);
        EXPECT_NE(error->message.find(c.says), std::string::npos) << error->message;
    }
}

std::string example(const char* name) { return std::string(KAPPA_EXAMPLES_DIR) + "/" + name; }

// The layout of these tests is ratings unless they say otherwise.
InputOptions layoutOf(InputOptions options) {
    if (options.format == InputFormat::Table) options.format = InputFormat::Ratings;
    return options;
}

StudiesRead readFile(const std::string& path, const InputOptions& options) {
    ByteSource source;
    EXPECT_TRUE(source.open(path, ByteSource::Accept::RegularFile)) << source.error();
    return readStudies(source, layoutOf(options));
}

StudiesRead readText(const std::string& bytes, const InputOptions& options) {
    ByteSource source(bytes);
    return readStudies(source, layoutOf(options));
}

// The counts of the non-zero patterns and of the incomplete subjects.
struct Observed {
    std::vector<std::pair<std::size_t, std::int64_t>> patterns;
    std::vector<std::pair<std::vector<std::uint16_t>, std::int64_t>> incomplete;
    bool operator==(const Observed&) const = default;
};

Observed observedOf(const Study& study) {
    Observed o;
    for (std::size_t p = 0; p < study.frequency.size(); ++p)
        if (study.frequency[p] != 0) o.patterns.emplace_back(p, study.frequency[p]);
    for (const IncompleteSubjects& s : study.incomplete) o.incomplete.emplace_back(s.codes, s.count);
    return o;
}

TEST(Readers, ExamplesOfOneStudyInTwoLayouts) {
    InputOptions wide;
    wide.id = "patient";
    const StudiesRead ratings = readFile(example("ratings.csv"), wide);
    InputOptions narrow;
    narrow.format = InputFormat::Long;
    const StudiesRead ratingsLong = readFile(example("ratings_long.csv"), narrow);
    for (const StudiesRead* read : {&ratings, &ratingsLong}) {
        ASSERT_FALSE(read->error) << read->error->message;
        EXPECT_EQ(read->input.delimiter, ',');
        EXPECT_EQ(read->input.labels, (std::vector<std::string>{"mild", "moderate", "none", "severe"}));
        EXPECT_FALSE(read->input.ordered);
        EXPECT_EQ(read->input.raters, (std::vector<std::string>{"rater1", "rater2", "rater3"}));
        ASSERT_EQ(read->groups.size(), 1u);
        const Study& study = read->groups[0].study;
        EXPECT_EQ(study.R, 3);
        EXPECT_EQ(study.K, 4);
        EXPECT_EQ(completeSubjects(study), 18);
        // P07 with no second rating, P17 with no third, on the same lines in both files.
        ASSERT_EQ(study.incomplete.size(), 2u);
        EXPECT_EQ(study.incomplete[0].codes, (std::vector<std::uint16_t>{1, kMissing, 1}));
        EXPECT_EQ(study.incomplete[0].firstLine, 8);
        EXPECT_EQ(study.incomplete[1].codes, (std::vector<std::uint16_t>{0, 0, kMissing}));
        EXPECT_EQ(study.incomplete[1].firstLine, 18);
        // All three raters say "none" (code 2) for four patients: pattern 2*16 + 2*4 + 2.
        EXPECT_EQ(study.frequency[42], 4);
    }
    EXPECT_EQ(observedOf(ratings.groups[0].study), observedOf(ratingsLong.groups[0].study));

    // With the scale's order given, the categories are ordered and renumbered.
    wide.categories = {"none", "mild", "moderate", "severe"};
    const StudiesRead ordered = readFile(example("ratings.csv"), wide);
    ASSERT_FALSE(ordered.error);
    EXPECT_TRUE(ordered.input.ordered);
    EXPECT_EQ(ordered.groups[0].study.labels, wide.categories);
    EXPECT_EQ(ordered.groups[0].study.frequency[0], 4);

    // The cross-table of the two-rater example holds the rows of examples/Kappa_data.txt.
    InputOptions matrix;
    matrix.format = InputFormat::Matrix;
    const StudiesRead table = readFile(example("two_raters_matrix.txt"), matrix);
    ASSERT_FALSE(table.error) << table.error->message;
    EXPECT_EQ(table.input.delimiter, '\t');
    EXPECT_EQ(table.input.labels, (std::vector<std::string>{"1", "2"}));
    EXPECT_TRUE(table.input.ordered);
    EXPECT_EQ(table.groups[0].study.frequency, (PatternVector<std::int64_t>{40, 10, 5, 45}));
}

// Each layout of the catalog: JSON names it as --input does, and its reader
// reads its example file, through readStudies as through readInput.
TEST(Readers, EveryLayoutOfTheCatalogReadsItsExample) {
    const std::map<InputFormat, const char*> examples = {
        {InputFormat::Table, "Kappa_data.txt"},        {InputFormat::Ratings, "ratings.csv"},
        {InputFormat::Long, "ratings_long.csv"},       {InputFormat::Matrix, "two_raters_matrix.txt"},
        {InputFormat::Counts, "counts.csv"}};
    ASSERT_EQ(kInputLayouts.size(), examples.size());
    for (const InputLayout& layout : kInputLayouts) {
        EXPECT_EQ(layout.id, inputFormatId(layout.format));
        EXPECT_EQ(&inputLayout(layout.format), &layout);
        InputOptions options;
        options.format = layout.format;
        const std::string path = example(examples.at(layout.format));
        ByteSource source;
        ASSERT_TRUE(source.open(path));
        const StudiesRead read = readStudies(source, options);
        ASSERT_FALSE(read.error) << layout.id << ": " << read.error->message;
        const InputRead viaInput = readInput(path, options);
        ASSERT_FALSE(viaInput.error) << layout.id << ": " << viaInput.error->message;
        ASSERT_EQ(read.groups.size(), 1u);
        ASSERT_EQ(viaInput.groups.size(), 1u);
        EXPECT_EQ(read.groups[0].study.labels, viaInput.groups[0].study.labels) << layout.id;
        EXPECT_EQ(read.input.ordered, viaInput.ordered) << layout.id;
        EXPECT_EQ(read.input.delimiter, viaInput.delimiter) << layout.id;
    }
}

TEST(Readers, ChunkSizeDoesNotChangeTheStudies) {
    ByteSource whole;
    ASSERT_TRUE(whole.open(example("ratings_long.csv")));
    InputOptions options;
    options.format = InputFormat::Long;
    const StudiesRead expected = readStudies(whole, options);
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{5}, std::size_t{64}}) {
        ByteSource source;
        ASSERT_TRUE(source.open(example("ratings_long.csv")));
        InputDescription input;
        std::vector<Observed> groups;
        EXPECT_FALSE(readStudies(
            source, options, input, [&](StudyGroup&& g) { groups.push_back(observedOf(g.study)); }, chunk));
        EXPECT_EQ(groups, std::vector<Observed>{observedOf(expected.groups[0].study)});
    }
}

TEST(Readers, CategoriesFromLabels) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> categories, missing;
        std::vector<std::string> labels;
        bool ordered;
    };
    const std::vector<std::string> usual = {"", "NA"};
    const Case cases[] = {
        {"integers: every one from the smallest to the largest",
         "a,b\n1,2\n5,1\n",
         {},
         usual,
         {"1", "2", "3", "4", "5"},
         true},
        {"whole numbers however written", "a,b\n-1,+1\n1.0,0\n", {}, usual, {"-1", "0", "1"}, true},
        {"text in byte order; NA and empty are missing",
         "a,b\nmild,NA\nModerate,\nsevere,mild\n",
         {},
         usual,
         {"Moderate", "mild", "severe"},
         false},
        {"a lone number N is 1..N", "a,b\n1,2\n", {"4"}, usual, {"1", "2", "3", "4"}, true},
        {"a list gives the order", "a,b\nlow,high\n", {"low", "mid", "high"}, usual, {"low", "mid", "high"}, true},
        {"other missing tokens; the empty field by an empty item",
         "a,b\n1,-\n2,\n2,1\n",
         {},
         {"-", ""},
         {"1", "2"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InputOptions options;
        options.categories = c.categories;
        options.missing = c.missing;
        const StudiesRead read = readText(c.bytes, options);
        ASSERT_FALSE(read.error) << read.error->message;
        EXPECT_EQ(read.input.labels, c.labels);
        EXPECT_EQ(read.input.ordered, c.ordered);
        EXPECT_EQ(read.groups[0].study.K, static_cast<std::int32_t>(c.labels.size()));
    }
}

TEST(Readers, GroupsShareTheCategories) {
    InputOptions options;
    options.format = InputFormat::Long;
    options.by = "item";
    const std::string bytes = "s,r,c,item\n1,x,1,B\n1,y,2,B\n1,x,3,A\n1,y,3,A\n2,x,1,B\n2,y,1,B\n";
    const StudiesRead read = readText(bytes, options);
    ASSERT_FALSE(read.error) << read.error->message;
    ASSERT_EQ(read.groups.size(), 2u);
    EXPECT_EQ(read.groups[0].group, "B");
    EXPECT_EQ(read.groups[1].group, "A");
    for (const StudyGroup& g : read.groups) EXPECT_EQ(g.study.K, 3);
    EXPECT_EQ(completeSubjects(read.groups[0].study), 2);  // subject 1 of item B and of item A are two subjects
    EXPECT_EQ(read.groups[1].study.frequency[2 * 3 + 2], 1);
}

TEST(Readers, OptionsRefusedBeforeReading) {
    struct Case {
        const char* name;
        InputOptions options;
        const char* says;
    };
    const auto with = [](auto change) {
        InputOptions options;
        options.format = InputFormat::Ratings;
        change(options);
        return options;
    };
    const Case cases[] = {
        {"another delimiter", with([](InputOptions& o) { o.delimiter = ':'; }), "--delimiter"},
        {"groups of a matrix", with([](InputOptions& o) { o.format = InputFormat::Matrix, o.by = "g"; }), "--by"},
        {"two columns of a long file", with([](InputOptions& o) { o.format = InputFormat::Long, o.columns = {"a", "b"}; }),
         "three columns"},
        {"one category", with([](InputOptions& o) { o.categories = {"1"}; }), "at least two"},
        {"a label twice however written", with([](InputOptions& o) { o.categories = {"1", "2", "1.0"}; }), "twice"},
        {"a label that is a missing token", with([](InputOptions& o) { o.categories = {"yes", "NA"}; }), "--missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto message = checkInputOptions(c.options);
        ASSERT_TRUE(message);
        EXPECT_NE(message->find(c.says), std::string::npos) << *message;
    }
}

TEST(Readers, MatrixLabelsAndHeaders) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> labels;
        PatternVector<std::int64_t> frequency;
    };
    const Case cases[] = {
        {"all numbers: counts only", "40\t10\n5\t45\n", {"1", "2"}, {40, 10, 5, 45}},
        {"header of text labels only", "no,yes\n40,10\n5,45\n", {"no", "yes"}, {40, 10, 5, 45}},
        {"text labels keep the header's order", ",yes,no\nyes,40,10\nno,5,45\n", {"yes", "no"}, {40, 10, 5, 45}},
        {"margins labelled as totals are left out",
         ",No,Yes,Total\nNo,40,10,50\nYes,5,45,50\nTotal,45,55,100\n",
         {"No", "Yes"},
         {40, 10, 5, 45}},
        {"a last row and column of sums are margins", "40,10,50\n5,45,50\n45,55,100\n", {"1", "2"}, {40, 10, 5, 45}},
        {"a row of sums that alone keeps the table from being square", "no,yes\n40,10\n5,45\n45,55\n",
         {"no", "yes"},
         {40, 10, 5, 45}},
        {"a corner cell above number labels",
         "r1\\r2,1,3\n1,40,10\n3,5,45\n",
         {"1", "2", "3"},
         {40, 0, 10, 0, 0, 0, 5, 0, 45}},
        {"a header without the corner cell", "no;yes\nno;40;10\nyes;5;45\n", {"no", "yes"}, {40, 10, 5, 45}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InputOptions options;
        options.format = InputFormat::Matrix;
        const StudiesRead read = readText(c.bytes, options);
        ASSERT_FALSE(read.error) << read.error->message;
        EXPECT_EQ(read.input.labels, c.labels);
        EXPECT_EQ(read.groups[0].study.frequency, c.frequency);
    }
}

TEST(ByteSource, RefusesWhatItCannotRead) {
    ByteSource source;
    EXPECT_FALSE(source.open("/nonexistent/ratings.csv"));
    EXPECT_EQ(source.error(), "cannot open: No such file or directory");
    EXPECT_FALSE(source.open(KAPPA_EXAMPLES_DIR, ByteSource::Accept::RegularFile));
    EXPECT_EQ(source.error(), "not a regular file");
    // A folder taken as any file: reading it fails, or on Windows opening it, with the same message.
    if (source.open(KAPPA_EXAMPLES_DIR)) {
        char byte;
        EXPECT_EQ(source.read(&byte, 1), -1);
    }
    EXPECT_EQ(source.error(), "cannot read: Is a directory");
#ifndef _WIN32
    // A device that never ends is refused after one record's worth of bytes.
    ASSERT_TRUE(source.open("/dev/zero"));
    const StudiesRead read = readStudies(source, layoutOf(InputOptions{}));
    ASSERT_TRUE(read.error);
    EXPECT_EQ(read.error->line, 1);
    EXPECT_NE(read.error->message.find("longer than 16 MiB"), std::string::npos);
#endif
}

}  // namespace
}  // namespace kappa

namespace kappa {
namespace {

// A long file's study does not depend on the order of its rows: sorted by
// subject (read as it comes), in natural order, or in any order (read a
// second time, or held at once when it cannot be), with few raters (a
// table of response patterns) or many, its raters' ratings kept or not.
TEST(LongFiles, AnyRowOrderGivesTheSameStudy) {
    // Subject s rated by raters s .. s + 3 (of `raters`), category (s + j) % 3.
    const auto rowsOf = [](int subjects, int raters) {
        std::vector<std::string> rows;
        for (int s = 1; s <= subjects; ++s)
            for (int j = s; j < s + 4; ++j)
                rows.push_back("p" + std::to_string(s) + ",r" + std::to_string(j % raters) + "," +
                               std::to_string((s + j) % 3 + 1) + "\n");
        return rows;
    };
    for (const int raters : {5, 25}) {
        const std::vector<std::string> sorted = rowsOf(24, raters);  // p1, p2, ..., p24: natural order
        std::vector<std::string> shuffled = sorted;
        for (std::size_t i = 0; i < shuffled.size(); ++i) std::swap(shuffled[i], shuffled[(i * 7 + 3) % shuffled.size()]);
        std::vector<std::vector<double>> estimates;
        for (const std::vector<std::string>* rows : std::initializer_list<const std::vector<std::string>*>{&sorted, &shuffled})
            for (const bool again : {true, false})
                for (const bool keep : {true, false}) {
                    std::string file = "subject,rater,category\n";
                    for (const std::string& row : *rows) file += row;
                    ByteSource source(file, 5), second(file, 5);
                    InputOptions options;
                    options.format = InputFormat::Long;
                    options.keepRaters = keep;
                    InputDescription input;
                    std::vector<StudyGroup> groups;
                    const auto error = readStudies(
                        source, options, input, [&](StudyGroup&& g) { groups.push_back(std::move(g)); }, 8,
                        again ? ReadAgain([&]() -> ByteSource* { return &second; }) : ReadAgain());
                    ASSERT_FALSE(error) << error->message;
                    const Study& study = groups.at(0).study;
                    EXPECT_EQ(hasPatternTable(study), raters <= kMaxRaters);
                    EXPECT_EQ(study.R, raters);
                    std::vector<double> values;
                    for (const Coefficient c : {Coefficient::Fleiss, Coefficient::Alpha, Coefficient::Gwet})
                        values.push_back(chanceCorrectedEstimate(study, c, Weighting::None, 95, 0).se);
                    estimates.push_back(values);
                }
        for (const std::vector<double>& values : estimates)
            for (std::size_t i = 0; i < values.size(); ++i)
                EXPECT_NEAR(values[i], estimates[0][i], 1e-15) << raters << " raters";
    }
}

}  // namespace
}  // namespace kappa
