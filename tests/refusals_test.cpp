// Every way a ratings, long or matrix file is refused, one row each (and a
// few files that look close to a refusal but are not): the bytes
// and options, the line and column named, what the message says, and, where
// the message suggests an option, that the same file then reads (or is
// refused for another reason): no hint leads nowhere, or back.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "input/byte_source.h"
#include "input/study_reader.h"
#include "input/table_input.h"

namespace kappa {
namespace {

struct Refusal {
    const char* name;
    const char* options;  // command-line options, as typed
    std::string bytes;
    std::int64_t line, column;
    const char* says;
    const char* settle = "";  // the options the message suggests, added to the others
};

InputOptions optionsOf(const std::string& typed) {
    std::vector<std::string> args;
    std::istringstream words(typed);
    for (std::string word; words >> word;) args.push_back(word == "''" ? std::string() : word);
    args.push_back("-");
    const ParsedArguments parsed = parseArguments(args);
    EXPECT_EQ(parsed.action, ParsedArguments::Action::Run) << typed << ": " << parsed.text;
    return parsed.commandLine.input;
}

std::optional<InputError> refusalOf(const std::string& bytes, const std::string& options) {
    ByteSource source(bytes);
    const InputOptions input = optionsOf(options);
    if (input.format == InputFormat::Table) return readTable(source, input).error;
    return readStudies(source, input).error;
}

std::string repeated(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += line;
    return text;
}

// Rows of 1,000 different labels in a ratings file of two raters.
std::string manyLabels(int labels) {
    std::string text = "a,b\n";
    for (int i = 0; i < labels; ++i) text += "x" + std::to_string(i) + ",x" + std::to_string(i) + "\n";
    return text;
}

std::string manyGroups(int groups) {
    std::string text = "a,b,g\n";
    for (int i = 0; i < groups; ++i) text += "1,1," + std::to_string(i) + "\n";
    return text;
}

const std::string kIdAndNotes =
    "id,r1,r2,notes\n1,a,a,\n2,b,b,ok\n3,a,b,see log\n4,b,b,\n5,a,a,redo\n6,b,a,\n";

const Refusal kRefusals[] = {
    // Ratings files.
    {"an empty file", "-i ratings", "", 0, 0, "the file is empty: expected a header line"},
    {"--id names no column", "-i ratings --id x", "a,b\n1,2\n", 1, 0, "no column of the header has that name"},
    {"--id names two columns", "-i ratings --id a", "a,a,b\n1,2,2\n", 1, 0, "give its number instead"},
    {"--id beyond the columns", "-i ratings --id 9", "a,b\n1,2\n", 1, 0, "has 2 fields, so no column 9"},
    {"a name without a header", "-i ratings --no-header --id x", "1,2\n", 0, 0, "given by their 1-based numbers"},
    {"--id and --by alike", "-i ratings --id a --by 1", "a,b,c\n1,2,2\n", 1, 0, "name the same column"},
    {"--columns names the --id column", "-i ratings --id a --columns a,b", "a,b,c\n1,2,2\n", 1, 1, "the --id column"},
    {"--columns names a column twice", "-i ratings --columns b,2", "a,b,c\n1,2,2\n", 1, 2, "twice"},
    {"a column without a name", "-i ratings", ",r1,r2\n1,a,a\n2,b,b\n3,a,b\n", 1, 1, "has no name", "--id 1"},
    {"a long file's rater column", "-i ratings", "subject,rater,category\n1,x,2\n", 1, 2, "--input long",
     "-i long --no-header"},
    {"an identifier beside a note", "-i ratings", kIdAndNotes, 1, 1, "does not look like a rater's",
     "--columns r1,r2"},
    {"columns that share no labels", "-i ratings", "answer,verdict\nyes,Y\nno,N\nyes,N\nno,Y\n", 1, 1,
     "share almost no labels", "--columns answer,verdict"},
    {"a rater who disagrees with every other, in a series of raters", "-i ratings",
     "r1,r2,r3\n1,3,3\n2,3,3\n1,3,3\n2,3,3\n", 0, 0, ""},
    {"a site beside the raters", "-i ratings", "site,r1,r2\nA,1,1\nA,2,2\nB,1,2\nB,2,2\nA,1,1\nB,2,1\n", 1, 1,
     "--by site", "--by site"},
    {"a table of response patterns", "-i ratings", "1\t1\t40\n1\t2\t10\n2\t1\t5\n2\t2\t45\n", 1, 3,
     "--input table", "-i table"},
    {"one column, no delimiter found", "-i ratings", "abc\n1\n", 1, 0, "give the file's delimiter"},
    {"more than 20 raters, read without a table of response patterns", "-i ratings", [] {
         std::string header = "c1";
         for (int j = 2; j <= 21; ++j) header += ",c" + std::to_string(j);
         return header + "\n" + repeated("1,", 20) + "1\n";
     }(), 0, 0, ""},
    {"a first line that looks like data", "-i ratings", "1,2,2\n1,1,2\n2,2,2\n1,1,1\n", 1, 0,
     "looks like a row of ratings", "--no-header"},
    {"--categories more than a table of response patterns takes",
     "-i ratings -K 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,32,33",
     "a,b,c,d\n1,1,1,1\n", 0, 0, ""},
    {"a row with fewer fields", "-i ratings", "a,b,c\n1,2,3\n1,2\n", 3, 0, "expected 3 fields as the header has"},
    {"a row with more fields", "-i ratings", "a,b\n1,2\n1,2,3\n", 3, 0, "must be quoted"},
    {"an empty rating that is not missing", "-i ratings --missing NA", "a,b\n1,2\n1,\n", 3, 2,
     "not a missing token", "--missing ,NA"},
    {"a label outside --categories", "-i ratings -K 1,2", "a,b\n1,2\n3,1\n", 3, 1, "'3' is not one of"},
    {"a missing-value marker", "-i ratings", "r1,r2\nmild,n/a\nmild,mild\nnone,none\n", 2, 2,
     "looks like a missing-value marker", "--missing ,NA,n/a"},
    {"labels that differ in case", "-i ratings", "r1,r2\nMild,mild\nnone,none\nmild,none\n", 2, 2,
     "'mild' and 'Mild' (line 2, column 1) differ only in case", "--ignore-case"},
    {"labels that differ in blanks", "-i ratings", "r1,r2\nmild,\" mild\"\nnone,none\n", 2, 2,
     "only in surrounding blanks", "--ignore-case"},
    {"a label that differs in case from --categories", "-i ratings -K none,mild", "r1,r2\nMild,mild\n", 2, 1,
     "from the category 'mild' of --categories", "--ignore-case"},
    {"a label that differs in case from a missing token", "-i ratings --missing ,unrated",
     "r1,r2\n1,Unrated\n2,2\n", 2, 2, "from the missing token 'unrated'", "--ignore-case"},
    {"more labels than K^R allows, read by profile", "-i ratings", manyLabels(1025), 0, 0, ""},
    {"more labels than K^R allows (20 raters: 2 categories), read by profile", "-i ratings",
     "a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r,s,t\nx,y,z,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1\n", 0, 0, ""},
    {"more labels than categories can be", "-i ratings", manyLabels(65536), 65537, 1, "at most 65535 categories"},
    {"a cross-table read as ratings", "-i ratings", ",1,2\n1,40,10\n2,5,45\n", 1, 1, "--input matrix", "-i matrix"},
    {"whole numbers spanning more categories than a table takes", "-i ratings", "a,b\n1,2000\n", 0, 0, ""},
    {"whole numbers spanning too many categories", "-i ratings", "a,b\n1,70000\n", 0, 0, "spanning 70000",
     "-K 1,70000"},
    {"no ratings", "-i ratings", "a,b\n,\nNA,\n", 0, 0, "no ratings"},
    {"too many groups", "-i ratings --by g", manyGroups(100001), 100002, 3, "beyond the 100000th"},
    // Long files.
    {"an empty long file", "-i long", "", 0, 0, "expected a header line"},
    {"two columns", "-i long", "s,r\n1,x\n", 1, 0, "expected three"},
    {"a column given twice", "-i long --columns a,b,a", "a,b,c\n1,x,1\n", 1, 0, "must be different columns"},
    {"a rating with another number of fields", "-i long", "s,r,c\n1,x,1\n1,y\n", 3, 0, "expected 3 fields"},
    {"a rating without its subject", "-i long", "s,r,c\n1,x,1\n,y,1\n", 3, 1, "an empty subject"},
    {"a rating without its rater", "-i long", "s,r,c\n1,x,1\n1,,1\n", 3, 2, "an empty rater"},
    {"a 21st rater, read without a table of response patterns", "-i long", [] {
         std::string text = "s,r,c\n";
         for (int j = 1; j <= 21; ++j) text += "1,a" + std::to_string(j) + ",1\n";
         return text;
     }(), 0, 0, ""},
    {"a marker as a category", "-i long", "s,r,c\n1,x,1\n1,y,N/A\n2,x,1\n2,y,1\n", 3, 3,
     "subject '1': 'N/A' looks like a missing-value marker", "--missing ,NA,N/A"},
    {"a second rating by one rater", "-i long", "s,r,c\n1,x,1\n1,y,2\n1,x,2\n", 4, 2, "the first is on line 2"},
    {"a first line that is a rating", "-i long", "s1,a,1\ns1,b,1\ns2,a,2\ns2,b,1\n", 1, 0, "looks like a rating",
     "--no-header"},
    {"a header without rows", "-i long", "s,r,c\n", 0, 0, "no ratings: the file has a header but no rows"},
    {"one rater", "-i long", "s,r,c\n1,x,1\n2,x,2\n", 0, 0, "found 1 rater, expected at least two"},
    {"one rating per subject", "-i long", "id,r1,r2\n1,a,b\n2,b,b\n", 0, 0, "--input ratings", "-i ratings"},
    // Counts of ratings per subject.
    {"an empty counts file", "-i counts", "", 0, 0, "expected one row of counts per subject"},
    {"one column of counts", "-i counts", "a\n1\n", 1, 0, "expected one per category, at least two"},
    {"a count that is not a number", "-i counts", "a,b\n1,x\n", 2, 2, "--input ratings"},
    {"an empty count", "-i counts", "a,b\n1,\n", 2, 2, "write 0 for none"},
    {"--categories of another number than the columns", "-i counts --no-header -K a,b,c", "1,1\n", 1, 0,
     "--categories gives 3 categories but"},
    {"a label given twice in the header", "-i counts", "a,a\n1,2\n", 1, 2, "is given twice"},
    {"--categories that do not match the columns", "-i counts -K 1,2,3", "1,2\n3,4\n", 1, 0,
     "without a header of labels"},
    {"a header without counts", "-i counts", "a,b\n", 0, 0, "expected rows of counts after the header"},
    {"an id column read as counts", "-i counts --id item", "item,a,b\nx,1,2\ny,2,1\n", 0, 0, ""},
    // Cross-tables.
    {"an empty cross-table", "-i matrix", "", 0, 0, "the file is empty: expected a cross-table"},
    {"a header without counts", "-i matrix", ",a,b\n", 1, 0, "expected rows of counts after the header"},
    {"a row wider than the first", "-i matrix", "1,2\n3,4,5\n", 2, 0, "expected 2 fields as on line 1"},
    {"too many fields", "-i matrix", repeated("1,", 1025) + "1\n", 1, 0, "found 1026 fields"},
    {"too many rows", "-i matrix", repeated("1\n", 1025), 1025, 0, "more than 1024 rows"},
    {"a count that is not whole", "-i matrix", "1,2.5\n3,4\n", 1, 2, "expected a count"},
    {"a negative count", "-i matrix", "1,-2\n3,4\n", 1, 2, "expected a count"},
    {"text among the counts", "-i matrix", "a,b\n1,x\n2,3\n", 2, 2, "--input ratings"},
    {"a header of another width", "-i matrix", "a,b,c,d\n1,2\n3,4\n", 2, 0, "as the header has (line 1)"},
    {"labels without counts", "-i matrix", "a\nb\n", 2, 0, "a row of labels without counts"},
    {"an empty column label", "-i matrix", ",a,\na,1,2\nb,3,4\n", 1, 3, "an empty column label"},
    {"an empty row label", "-i matrix", ",a,b\na,1,2\n\"\",3,4\n", 3, 1, "an empty row label"},
    {"a total column that is not the sum", "-i matrix", ",a,b,sum\na,1,2,3\nb,3,4,8\n", 3, 4,
     "'sum' (line 1, column 4) is labelled as a total"},
    {"a total row that is not the sum", "-i matrix", ",a,b\na,1,2\nb,3,4\nTotal,4,7\n", 4, 3,
     "'Total' is labelled as a total, but it is not the sum"},
    {"not square", "-i matrix", "1,2\n3,4\n5,6\n", 3, 0, "must be square", "-i ratings --no-header"},
    {"labels that differ between rows and columns", "-i matrix", ",a,b\nb,1,2\na,3,4\n", 2, 1,
     "same in the same order"},
    {"row and column labels that differ in case", "-i matrix", ",a,b\nA,1,2\nb,3,4\n", 2, 1,
     "differ only in case or surrounding blanks", "--ignore-case"},
    {"a missing-value marker as a label", "-i matrix", ",a,N/A\na,1,2\nN/A,3,4\n", 3, 1,
     "looks like a missing-value marker", "-K a,N/A"},
    {"a label given twice", "-i matrix", ",a,a\na,1,2\na,3,4\n", 3, 1, "is given twice"},
    {"whole-number labels spanning too many", "-i matrix", ",1,2000\n1,1,2\n2000,3,4\n", 0, 0, "spanning 2000"},
    {"--categories without labels to match", "-i matrix -K a,b,c", "1,2\n3,4\n", 0, 0,
     "without labels to match them to"},
    {"counts beyond 2^53", "-i matrix", repeated("999999999999999,", 9) + "999999999999999\n" +
     repeated(repeated("0,", 9) + "0\n", 9), 1, 10, "more than 2^53"},
    {"no subjects", "-i matrix", "0,0\n0,0\n", 0, 0, "every count is 0"},
};

TEST(Refusals, EveryRefusalSaysWhereAndWhatAndEveryHintLeadsSomewhere) {
    for (const Refusal& r : kRefusals) {
        SCOPED_TRACE(r.name);
        const std::optional<InputError> error = refusalOf(r.bytes, r.options);
        if (*r.says == '\0') {  // read as it is
            EXPECT_FALSE(error.has_value()) << error->message;
            continue;
        }
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->line, r.line) << error->message;
        EXPECT_EQ(error->column, r.column) << error->message;
        EXPECT_NE(error->message.find(r.says), std::string::npos) << error->message;
        if (*r.settle == '\0') continue;
        const std::optional<InputError> settled = refusalOf(r.bytes, std::string(r.options) + " " + r.settle);
        EXPECT_TRUE(!settled || settled->message.find(r.says) == std::string::npos)
            << "with " << r.settle << ": " << settled->message;
    }
}

}  // namespace
}  // namespace kappa
