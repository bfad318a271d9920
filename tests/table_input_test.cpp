// The command line's table reader: the tables it reads, codes and labels,
// missing ratings and delimiters, and every refusal with its line, column
// and message; each however the bytes arrive.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "input/byte_source.h"
#include "input/delimited.h"
#include "input/study_reader.h"
#include "input/table_input.h"

#ifndef KAPPA_EXAMPLES_DIR
#error "KAPPA_EXAMPLES_DIR must name the folder of the example files"
#endif

namespace kappa {
namespace {

// The study read, as text: "R=2 [a b] ordered | a a:3; a b:1 | a -:2@4", the
// complete patterns with their frequencies, then the incomplete ones with
// their first line; or the refusal, "line:column: message".
std::string summary(const InputRead& read) {
    if (read.error) return std::to_string(read.error->line) + ":" + std::to_string(read.error->column) + ": " +
                           read.error->message;
    const Study& s = read.groups.at(0).study;
    std::string text = "R=" + std::to_string(s.R) + " [";
    for (std::size_t k = 0; k < s.labels.size(); ++k) text += (k ? " " : "") + s.labels[k];
    text += read.ordered ? "] ordered |" : "] |";
    std::vector<std::uint16_t> digits(static_cast<std::size_t>(s.R));
    std::string sep = " ";
    for (std::size_t p = 0; p < s.frequency.size(); ++p) {
        if (s.frequency[p] == 0) continue;
        patternDigits(p, s.K, digits);
        text += sep;
        for (std::size_t j = 0; j < digits.size(); ++j) text += (j ? " " : "") + s.labels[digits[j]];
        text += ":" + std::to_string(s.frequency[p]);
        if (!s.fileWeight.empty()) text += "/" + std::to_string(s.fileWeight[p]).substr(0, 4);
        sep = "; ";
    }
    sep = " | ";
    for (const IncompleteSubjects& i : s.incomplete) {
        text += sep;
        for (std::size_t j = 0; j < i.codes.size(); ++j)
            text += (j ? " " : "") + (i.codes[j] == kMissing ? std::string("-") : s.labels[i.codes[j]]);
        text += ":" + std::to_string(i.count) + "@" + std::to_string(i.firstLine);
        sep = "; ";
    }
    return text;
}

// Read whole, and a byte and three bytes at a time: all must agree.
std::string readTableText(const std::string& bytes, const InputOptions& options) {
    ByteSource whole(bytes);
    const std::string text = summary(readTable(whole, options));
    for (const std::size_t maxRead : {std::size_t{1}, std::size_t{3}}) {
        ByteSource cut(bytes, maxRead);
        EXPECT_EQ(summary(readTable(cut, options)), text) << "reads of " << maxRead;
    }
    return text;
}

InputOptions withCategories(std::vector<std::string> categories) {
    InputOptions o;
    o.categories = std::move(categories);
    return o;
}

InputOptions withMissing(std::vector<std::string> missing) {
    InputOptions o;
    o.missing = std::move(missing);
    return o;
}

InputOptions withDelimiter(char delimiter) {
    InputOptions o;
    o.delimiter = delimiter;
    return o;
}

InputOptions weighted() {
    InputOptions o;
    o.weights = true;
    return o;
}

struct Case {
    const char* what;
    std::string bytes;
    InputOptions options;
    std::string read;
};

TEST(TableInput, TablesRead) {
    const Case cases[] = {
        {"codes 1..K", "1\t1\t40\n1\t2\t10\n2\t1\t5\n2\t2\t45\n", {},
         "R=2 [1 2] ordered | 1 1:40; 1 2:10; 2 1:5; 2 2:45"},
        {"blank first lines; numbers separated by any blanks", "\n\t \n1\t1\t4\n2\t2 5\n1 2\t3", {},
         "R=2 [1 2] ordered | 1 1:4; 1 2:3; 2 2:5"},
        {"codes in other notations, CRLF, a byte-order mark", "\xEF\xBB\xBF" "2.0\t+1\t1e1\r\n01\t1\t3\r\n", {},
         "R=2 [1 2] ordered | 1 1:3; 2 1:10"},
        {"--categories N keeps unused categories", "1\t1\t4\n2\t2\t5\n", withCategories({"3.0"}),
         "R=2 [1 2 3] ordered | 1 1:4; 2 2:5"},
        {"--categories names the codes", "1\t3\t4\n2\t2\t5\n", withCategories({"none", "mild", "severe"}),
         "R=2 [none mild severe] ordered | none severe:4; mild mild:5"},
        {"text labels, sorted", "severe\tmild\t2\nmild\tmild\t3\nnone\tnone\t4\n", {},
         "R=2 [mild none severe] | mild mild:3; none none:4; severe mild:2"},
        {"labels ordered by --categories, codes naming them too", "none\tmild\t2\n3\t3\t5\nmild\tmild\t1\n",
         withCategories({"none", "mild", "severe"}), "R=2 [none mild severe] ordered | none mild:2; mild mild:1; severe severe:5"},
        {"numbers are labels when --categories lists numbers", "0\t1\t2\n1\t1\t3\n0\t0\t4\n",
         withCategories({"0", "1"}), "R=2 [0 1] ordered | 0 0:4; 0 1:2; 1 1:3"},
        {"NA and empty fields are missing; a row of nothing but missing is no subject",
         "a\tNA\t2\na\tb\t3\n\tb\t1\nb\tb\t4\n\t\t9\n", {}, "R=2 [a b] | a b:3; b b:4 | a -:2@1; - b:1@3"},
        {"--missing numbers", "1\t99\t2\n1\t1\t5\n2\t2\t3\n99.0\t2\t1\n", withMissing({"99"}),
         "R=2 [1 2] ordered | 1 1:5; 2 2:3 | 1 -:2@1; - 2:1@4"},
        {"labels between quotes, a delimiter in them", "\"mild, or slight\",severe,2\nsevere,severe,3\n",
         withDelimiter(','), "R=2 [mild, or slight severe] | mild, or slight severe:2; severe severe:3"},
        {"a label with blanks; a line break in quotes", "very mild\t\"a\nb\"\t2\n\"a\nb\"\t\"a\nb\"\t3\n", {},
         "R=2 [a\nb very mild] | a\nb a\nb:3; very mild a\nb:2"},
        {"fields separated by blanks", "mild  severe 2\nmild mild 3\n", withDelimiter(' '),
         "R=2 [mild severe] | mild mild:3; mild severe:2"},
        {"weights, with labels", "a\ta\t5\t0\na\tb\t3\t1.5\nb\tb\t4\t0\n", weighted(),
         "R=2 [a b] | a a:5/0.00; a b:3/1.50; b b:4/0.00"},
        {"the quick way stops at a label and the rest is read field by field", "1\t1\t4\n2\t2\t5\n1\tNA\t2\n2\t1\t1\n",
         {}, "R=2 [1 2] ordered | 1 1:4; 2 1:1; 2 2:5 | 1 -:2@3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(readTableText(c.bytes, c.options), c.read);
    }
}

// Every refusal of the table reader and what it says. The rows that hold a
// hint name an option or a layout that reads the same bytes.
TEST(TableInput, Refusals) {
    // A line of R fields `first`, then the others `rest`, and a frequency of 1.
    const auto line = [](int R, const std::string& first, const std::string& rest) {
        std::string text = first;
        for (int j = 1; j < R; ++j) text += "\t" + rest;
        return text + "\t1\n";
    };
    const Case cases[] = {
        {"empty", "", {},
         "0:0: the file is empty: a table has a line for each combination of categories, the category of each rater "
         "and the number of subjects"},
        {"blank lines only", "\n \t\n", {},
         "0:0: the file is empty: a table has a line for each combination of categories, the category of each rater "
         "and the number of subjects"},
        {"no TAB, commas", "a,b,n\n1,2,3\n", {},
         "1:0: the first line holds no TAB: a table separates its columns by TABs (the file looks comma-separated: "
         "give a table's delimiter with --delimiter ',', or read a file of one row per subject with --input ratings)"},
        {"no TAB, blanks", "1 2 3\n", {},
         "1:0: the first line holds no TAB: a table separates its columns by TABs (its fields are separated by "
         "blanks: give --delimiter ' ')"},
        {"no comma", "1;2;3\n", withDelimiter(','),
         "1:0: the first line holds no comma: a table separates its columns by commas (the file looks "
         "semicolon-separated: give a table's delimiter with --delimiter ';', or read a file of one row per subject "
         "with --input ratings)"},
        {"one field between blanks", "12\n", withDelimiter(' '),
         "1:0: the first line holds one field: a table has a field for each rater and one for the frequency"},
        {"one rater", "1\t5\n", {},
         "1:0: the first line has 1 rater (one TAB-separated code before the frequency): at least 2 raters are needed"},
        {"no rater before the frequency and the weight", "1\t5\n", weighted(),
         "1:0: the first line has 0 raters (no TAB-separated code before the frequency and the weight): at least 2 "
         "raters are needed"},
        {"21 raters", line(21, "1", "1"), {}, "1:0: kappa takes at most 20 raters; this table has 21"},
        {"--categories beyond K^R, before any table is made", line(20, "1", "1"), withCategories({"10"}),
         "1:0: --categories gives 10 categories: with 20 raters at most 2 (K^R at most 1,048,576)"},
        {"a number short", "1\t1\t4\n2\t2\n", {}, "2:0: expected 3 numbers (2 category codes and a frequency), found 2"},
        {"a field short", "a\tb\t4\nb\t4\n", {}, "2:0: expected 3 fields (2 ratings and a frequency), found 2"},
        {"a frequency beyond 32 bits", "1\t1\t1e18\n1\t2\t5\n", {},
         "1:3: expected a whole frequency in the 32-bit range, found 1e+18"},
        {"a fractional frequency", "1\t1\t4\n1\t2\t0.5\n", {},
         "2:3: expected a whole frequency in the 32-bit range, found 0.5"},
        {"a frequency too small for a double", "1\t1\t4\n1\t2\t1e-400\n", {},
         "2:3: expected a whole frequency in the 32-bit range, found '1e-400'"},
        {"a header, then rows", "r1\tr2\tcount\n1\t2\t5\n", {},
         "1:3: expected a whole frequency in the 32-bit range, found 'count': this looks like a header line, which a "
         "table has not; leave it out"},
        {"a header, then no table", "id\trater\tcategory\n1\tA\tmild\n", {},
         "1:3: expected a whole frequency in the 32-bit range, found 'category' (the first line looks like a header, "
         "which a table has not: try --input ratings or --input long)"},
        {"text for the frequency, on a first line of numbers", "1\t2\t27x\n", {},
         "1:3: expected a whole frequency in the 32-bit range, found '27x'"},
        {"a header alone", "r1\tr2\tcount\n", {},
         "1:3: expected a whole frequency in the 32-bit range, found 'count': the file's one line looks like a "
         "header, which a table has not, and no row follows"},
        {"a weight that is not a number", "1\t1\t4\t0\n1\t2\t5\tfar\n", weighted(),
         "2:4: expected a finite weight, found 'far'"},
        {"a weight beyond 1e100", "1\t1\t4\t0\n1\t2\t5\t1e200\n", weighted(),
         "2:4: a disagreement weight of 1e+200: weights above 1e100 overflow the variances; weighted kappa depends "
         "only on the ratios of the weights, so divide them all by the largest"},
        {"a negative weight", "1\t1\t4\t0\n1\t2\t5\t-1\n", weighted(), "2:4: disagreement weights cannot be negative"},
        {"a fractional code", "1\t1\t4\n1\t2.5\t5\n", {}, "2:2: expected a whole category code, found 2.5"},
        {"a code below 1", "0\t1\t4\n", {},
         "1:1: category codes start at 1; rater 1 has code 0 (a table's numbers are codes 1..K; labels that are "
         "numbers are given in their order with --categories)"},
        {"a code above --categories N", "1\t4\t4\n", withCategories({"3"}),
         "1:2: category code 4 is above the 3 categories of --categories"},
        {"a code above K^R", line(20, "1", "1") + line(20, "3", "1"), {},
         "2:1: category code 3 with 20 raters: at most 2 categories keep K^R within 1,048,576"},
        {"codes and labels", "1\t2\t4\nmild\t2\t5\n", {},
         "2:1: the categories are written both as codes (1 on line 1) and as labels ('mild' on line 2): a table's "
         "numbers are codes 1..K, its text labels; give every category in its order with --categories"},
        {"a label outside --categories", "a\tb\t4\nc\ta\t5\n", withCategories({"a", "b"}),
         "2:1: 'c' is not one of the categories of --categories ('a', 'b')"},
        {"the empty field not missing", "a\tb\t4\n\ta\t5\n", withMissing({"NA"}),
         "2:1: an empty rating, but the empty field is not a missing token (--missing 'NA')"},
        {"more labels than K^R allows", line(20, "b", "a") + line(20, "c", "a"), {},
         "2:1: 'c' is label number 3: with 20 raters there can be at most 2 categories (K^R at most 1,048,576)"},
        {"a negative frequency", "1\t1\t4\n1\t2\t-5\n", {}, "2:3: frequencies cannot be negative; found -5"},
        {"a combination given twice", "1\t2\t4\n2\t2\t1\n1\t2\t5\n", {},
         "3:0: the combination 1 2 was already given on line 1"},
        {"labels given twice", "a\tb\t4\na\tb\t5\n", {}, "2:0: the combination 'a' 'b' was already given on line 1"},
        {"missing ratings given twice", "a\tNA\t4\na\t\t5\n", {},
         "2:0: the combination 'a' (missing) was already given on line 1"},
        {"one code", "1\t1\t4\n", {},
         "0:0: every code is 1: a study needs at least 2 categories (give their number with --categories)"},
        {"one label", "a\ta\t4\na\tNA\t1\n", {},
         "0:0: every rating is 'a': a study needs at least 2 categories (give them in their order with --categories)"},
        {"no rating", "NA\tNA\t4\n", {}, "0:0: no ratings: every rating is a missing token (--missing (the empty field), 'NA')"},
        {"two subjects", "1\t1\t1\n2\t2\t1\n", {}, "0:0: a study needs at least 3 subjects; the frequencies add up to 2"},
        {"a quote never closed, read field by field after the quick way", "1\t1\t4\n2\t2\t5\n1\t\"2\t3\n", {},
         "3:2: a quoted field opens here and is never closed: expected a closing '\"'"},
        {"old Mac line ends", "1\t1\t5\r2\t2\t5\r1\t2\t5\r", {},
         "1:0: the lines end with a carriage return alone, as in files of old Mac OS: convert the line ends to line "
         "feeds (tr '\\r' '\\n')"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(readTableText(c.bytes, c.options), c.read);
    }
}

// The response patterns of examples/ratings.csv, as a GROUP BY over its three
// columns gives them (NULL as the empty field): the same study.
TEST(TableInput, PatternsOfTheRatingsExample) {
    InputOptions ratings = withCategories({"none", "mild", "moderate", "severe"});
    ratings.format = InputFormat::Ratings;
    ratings.id = "patient";
    ByteSource wide;
    ASSERT_TRUE(wide.open(std::string(KAPPA_EXAMPLES_DIR) + "/ratings.csv"));
    const StudiesRead subjects = readStudies(wide, ratings);
    ASSERT_FALSE(subjects.error);
    ByteSource table;
    ASSERT_TRUE(table.open(std::string(KAPPA_EXAMPLES_DIR) + "/ratings_patterns.txt"));
    const InputRead patterns = readTable(table, withCategories({"none", "mild", "moderate", "severe"}));
    ASSERT_FALSE(patterns.error) << patterns.error->message;
    const Study& a = subjects.groups.at(0).study;
    const Study& b = patterns.groups.at(0).study;
    EXPECT_EQ(a.labels, b.labels);
    EXPECT_EQ(a.frequency, b.frequency);
    const auto incomplete = [](const Study& s) {
        std::vector<std::pair<std::vector<std::uint16_t>, std::int64_t>> subjects;
        for (const IncompleteSubjects& i : s.incomplete) subjects.emplace_back(i.codes, i.count);
        std::sort(subjects.begin(), subjects.end());
        return subjects;
    };
    EXPECT_EQ(incomplete(a), incomplete(b));
}

// A line of blanks longer than the largest record is skipped as it comes,
// first or later; a line that goes on with more than blanks is refused.
TEST(TableInput, LongBlankLines) {
    const std::string blanks(DelimitedReader::kLongestRecord + 5, ' ');
    const std::pair<std::string, std::string> cases[] = {
        {blanks + "\n1\t1\t4\n2\t2\t5\n", "R=2 [1 2] ordered | 1 1:4; 2 2:5"},
        {"a\tb\t4\n" + blanks + "\nb\tb\t5\n", "R=2 [a b] | a b:4; b b:5"},
        {"a\tb\t4\n" + blanks + "b\tb\t5\n", "2:0: a line longer than 16 MiB: this is not a delimited text file"},
    };
    for (const auto& [bytes, read] : cases) {
        ByteSource source(bytes);
        EXPECT_EQ(summary(readTable(source, {})), read);
    }
}

}  // namespace
}  // namespace kappa
