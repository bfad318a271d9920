// kappa as a library: agreement among R raters, with standard errors, tests
// and confidence intervals, for programs of any kind. Read a study, prepare
// it for the estimates you ask for, analyse it, and print the analysis as the
// command line does (text, JSON or CSV) or use its numbers.
//
//     kappa::api::ReadOptions input;
//     input.layout = kappa::api::Layout::Ratings;
//     const kappa::api::Read read = kappa::api::read("ratings.csv", input);
//     if (read.error) { std::cerr << read.error->what() << "\n"; return 1; }
//     kappa::api::Request request;
//     request.coefficients = {"fleiss", "gwet"};
//     for (const kappa::api::Study& study : read.studies) {
//         const kappa::api::Analysis analysis = kappa::api::analyse(kappa::api::prepare(study, request));
//         if (analysis.error) { std::cerr << analysis.error->what() << "\n"; return 1; }
//         for (const kappa::api::Estimate& e : analysis.estimates)
//             std::cout << e.name << " " << e.kappa << " [" << e.wald.lower << ", " << e.wald.upper << "]\n";
//     }
//
// Nothing here throws but std::bad_alloc: refusals are values (Error). Every
// function may be called from several threads at once on different values.
// Only the standard library is needed to include this header.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kappa::api {

// A number that cannot be computed (an estimate's notes say why).
inline constexpr double kNotComputed = std::numeric_limits<double>::quiet_NaN();

// How a file holds its study (the command line's --input).
enum class Layout {
    Table,    // one line per observed combination of categories and its frequency
    Ratings,  // one row per subject, one column per rater
    Long,     // one row per rating: subject, rater, category
    Matrix,   // two raters' K x K cross-table of counts
    Counts,   // one row per subject: how many of its ratings fall in each category
};

// The layout that --input calls `id` ("table", "ratings", "long", "matrix",
// "counts"); none for any other.
std::optional<Layout> layoutNamed(std::string_view id);

// The command line's input options, by the same names.
struct ReadOptions {
    Layout layout = Layout::Table;
    bool weights = false;            // table: each line ends with its disagreement weight
    std::optional<char> delimiter;   // '\t', ',', ';', '|' or ' ' (runs of blanks); found when absent
    bool header = true;              // ratings, long and counts: the first line names the columns
    bool headerConfirmed = false;    // ... even when it looks like a row of ratings (else refused)
    std::vector<std::string> columns;     // ratings: the raters' columns; long: subject, rater, category
    std::string id;                  // the subject identifier column; empty: none
    std::string by;                  // one study per value of this column; empty: none
    std::vector<std::string> categories;  // the labels in order; a lone number N means 1..N
    std::vector<std::string> missing = {"", "NA"};  // the fields that mean "not rated"
    bool ignoreCase = false;         // labels differing only in case or blanks are one category
    std::string encoding;            // utf-8, utf-16, utf-16le, utf-16be, latin1, cp1252; empty: detected
};

// A refusal, with the place at fault: the file as named (empty for bytes
// without a name), its 1-based line and column (0 when none is at fault).
struct Error {
    std::string file;
    std::int64_t line = 0;
    std::int64_t column = 0;
    std::string message;
    // "FILE:LINE:COLUMN: message", as the command line writes it.
    std::string what() const;
};

namespace detail {
struct StudyData;
struct PreparedData;
struct AnalysisData;
}  // namespace detail

// One study: a file's, or one group's of a `by` column.
class Study {
public:
    const std::string& file() const;
    const std::string& group() const;  // the value of the `by` column; empty without one
    std::int32_t raters() const;       // 0 for counts, which name no raters
    std::int32_t categories() const;
    const std::vector<std::string>& labels() const;  // the categories in order

private:
    Study() = default;  // studies come from read()
    friend struct detail::StudyData;
    std::shared_ptr<const detail::StudyData> data_;
};

struct Read {
    std::vector<Study> studies;  // in order of the groups' first appearance
    std::optional<Error> error;  // the input could not be read; no study then
};

// A study from the file at `path` ("-": standard input).
Read read(const std::string& path, const ReadOptions& options = {});
// A study from bytes in memory; `name` names them in errors and outputs.
Read readBytes(std::string_view bytes, const ReadOptions& options = {}, const std::string& name = "");
// A study from what remains of a stream.
Read read(std::istream& in, const ReadOptions& options = {}, const std::string& name = "");

// Ratings held in memory as integer codes, one per subject and rater, as a
// data frame's columns or an array hold them: subject i's rating by rater j
// is codes[i * subjectStride + j * raterStride] (strides in codes, any sign).
// A code is a place in `labels`, a negative code a missing rating; without
// labels every code is a whole-number rating that is its own label (an
// integer column), none missing. Whole numbers held as doubles (a float
// column, NaN missing) are read in place of codes from `numbers`.
struct RatingCodes {
    const std::int64_t* codes = nullptr;
    const double* numbers = nullptr;  // instead of codes, without labels
    std::int64_t subjects = 0;
    std::int64_t subjectStride = 1;
    std::int64_t raterStride = 0;
    std::vector<std::string> raters;  // the raters' names, as a ratings file's header gives them
    std::vector<std::string> labels;  // labels that no code uses are not categories
};

// The study of ratings held as codes: the study the ratings layout reads
// from the same ratings written as a CSV file with a header (each label
// written as it is, missing ratings as empty fields; subject i on line
// i + 2), by the same label rules: whole numbers in any spelling, the order
// of whole numbers or of `categories`, `missing` tokens, the common spellings
// of a missing value and case variants refused. Of the options only
// categories, missing and ignoreCase apply. Refused with a note to read the
// ratings as a file are those a file's reader treats otherwise than by a
// table of response patterns (more than 20 raters, more labels than K^R <=
// 1,048,576 allows, a rater without a rating) or reads only with a note (a
// column that does not look like a rater's), and numbers that are not whole.
// The codes are read in place.
Read readCodes(const RatingCodes& ratings, const ReadOptions& options = {}, const std::string& name = "");

// What to estimate (the command line's options of the same names).
struct Request {
    // kappa, fleiss, conger, gwet, bp, alpha, percent, or "all" alone (every
    // coefficient, those that do not fit the study left out with a note).
    // Empty: Hubert's kappa, or Fleiss' kappa for counts.
    std::vector<std::string> coefficients;
    // none, quadratic, linear, file, ordinal, radical, ratio, circular,
    // bipolar, krippendorff-ordinal.
    std::vector<std::string> weights = {"none"};
    double confidence = 95.0;              // percent, above 50 and below 100
    double kappa0 = 0.0;                   // the kappa under test, at most 1
    std::string alternative = "two-sided";  // or greater, less
    bool dropIncomplete = false;           // leave out subjects with a missing rating
};

// A study checked against the request, ready to analyse.
class Prepared {
public:
    std::optional<Error> error;  // the study does not fit the request
    std::vector<std::string> notes;  // what was decided (a coefficient left out, ...)

private:
    friend struct detail::PreparedData;
    std::shared_ptr<const detail::PreparedData> data_;
};

Prepared prepare(const Study& study, const Request& request);

// An interval; NaN limits: none. A lower limit of -infinity: unbounded.
struct Interval {
    double lower = kNotComputed;
    double upper = kNotComputed;
};

// The restricted (score) test of kappa0 and the interval found by inverting it.
struct RestrictedTest {
    std::string basis;  // "none" (unweighted), "v" or "w" (disagreement or agreement weights)
    double statistic = kNotComputed;
    double pValue = kNotComputed;
    std::vector<Interval> ci;  // its pieces, in increasing order
    double independence = kNotComputed;  // the statistic of the test of independence
    double independencePValue = kNotComputed;
};

// One estimate; a value that cannot be computed is NaN and a note says why.
struct Estimate {
    std::string coefficient;  // kappa, fleiss, ...
    std::string weights;      // none, quadratic, ...
    std::string name;         // "Cohen's kappa", "Fleiss' kappa", ...
    std::int64_t subjects = 0;
    double kappa = kNotComputed;
    double se = kNotComputed;
    double observed = kNotComputed;  // observed agreement (disagreement for weighted Hubert's kappa)
    double chance = kNotComputed;    // chance-expected agreement (disagreement)
    double statistic = kNotComputed;  // the Wald test of kappa0
    double pValue = kNotComputed;
    Interval wald;           // the Wald interval
    std::vector<RestrictedTest> restricted;  // Hubert's kappa only
    std::vector<std::string> notes;
    std::string report;  // the line a paper can use
};

struct Analysis {
    std::optional<Error> error;  // nothing was analysed; nothing else then holds
    std::int32_t raters = 0;     // 0 for counts
    std::int32_t categories = 0;
    std::vector<std::string> labels;
    std::int64_t subjects = 0;
    std::int64_t dropped = 0;  // subjects left out for missing ratings
    double confidence = 95.0;
    double kappa0 = 0.0;
    std::string alternative;
    double rawAgreement = kNotComputed;
    std::vector<Estimate> estimates;
    std::vector<std::string> notes;

private:
    friend struct detail::AnalysisData;
    std::shared_ptr<const detail::AnalysisData> data_;
};

Analysis analyse(const Prepared& prepared);

enum class Format { Text, Json, Csv };

// The analysis as the command line prints it: a text report, one JSON line,
// or the CSV header and rows. Empty for an analysis that holds an error.
std::string format(const Analysis& analysis, Format format);

}  // namespace kappa::api
