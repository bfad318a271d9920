// The library as a program that includes <kappa/kappa.h> uses it: bytes in,
// the command line's results out, refusals as values with their place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "kappa/kappa.h"

namespace {

namespace api = kappa::api;
const std::string kExamples = KAPPA_EXAMPLES_DIR;

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string commandLine(std::vector<std::string> args, const std::string& format) {
    args.insert(args.end(), {"--format", format});
    std::ostringstream out, err;
    EXPECT_EQ(kappa::runCommandLine(args, out, err), kappa::kExitAnalysed) << err.str();
    return out.str();
}

// The analyses of the bytes of `path`, each study's, named as the file.
std::vector<api::Analysis> analyses(const std::string& path, const api::ReadOptions& input,
                                    const api::Request& request) {
    const api::Read read = api::readBytes(bytesOf(path), input, path);
    EXPECT_FALSE(read.error) << read.error->what();
    std::vector<api::Analysis> all;
    for (const api::Study& study : read.studies) {
        all.push_back(api::analyse(api::prepare(study, request)));
        EXPECT_FALSE(all.back().error) << all.back().error->what();
    }
    return all;
}

double number(const nlohmann::json& value) { return value.is_null() ? NAN : value.get<double>(); }

void expectSame(double expected, double actual) {
    if (std::isnan(expected))
        EXPECT_TRUE(std::isnan(actual));
    else
        EXPECT_EQ(expected, actual);
}

struct Example {
    std::string file;
    std::vector<std::string> args;  // the command line's, file included
    api::ReadOptions input;
    api::Request request;
};

std::vector<Example> examples() {
    std::vector<Example> all;
    {
        Example& e = all.emplace_back(Example{"Kappa_data.txt", {"--kappa0", "0.4"}, {}, {}});
        e.request.kappa0 = 0.4;
    }
    {
        Example& e = all.emplace_back(Example{"Weighted_Kappa_data.txt", {"--weights", "file"}, {}, {}});
        e.input.weights = true;
        e.request.weights = {"file"};
    }
    {
        Example& e = all.emplace_back(Example{"ratings.csv",
                                              {"--input", "ratings", "--id", "patient", "--categories",
                                               "none,mild,moderate,severe", "--coefficients", "all", "--weights",
                                               "none,quadratic", "--confidence", "90", "--alternative", "greater"},
                                              {}, {}});
        e.input.layout = api::Layout::Ratings;
        e.input.id = "patient";
        e.input.categories = {"none", "mild", "moderate", "severe"};
        e.request.coefficients = {"all"};
        e.request.weights = {"none", "quadratic"};
        e.request.confidence = 90;
        e.request.alternative = "greater";
    }
    {
        Example& e = all.emplace_back(Example{
            "ratings_long.csv", {"--input", "long", "--drop-incomplete", "--coefficients", "kappa,conger"}, {}, {}});
        e.input.layout = api::Layout::Long;
        e.request.coefficients = {"kappa", "conger"};
        e.request.dropIncomplete = true;
    }
    {
        Example& e = all.emplace_back(Example{"two_raters_matrix.txt", {"--input", "matrix"}, {}, {}});
        e.input.layout = api::Layout::Matrix;
    }
    {
        Example& e = all.emplace_back(Example{"counts.csv", {"--input", "counts"}, {}, {}});
        e.input.layout = api::Layout::Counts;
    }
    return all;
}

TEST(Library, GivesTheCommandLinesResultsOnTheExamples) {
    for (const Example& example : examples()) {
        SCOPED_TRACE(example.file);
        const std::string path = kExamples + "/" + example.file;
        std::vector<std::string> args = example.args;
        args.push_back(path);
        const std::vector<api::Analysis> all = analyses(path, example.input, example.request);
        ASSERT_EQ(all.size(), 1u);
        const api::Analysis& analysis = all.front();
        // The formats, byte for byte.
        EXPECT_EQ(api::format(analysis, api::Format::Json), commandLine(args, "json"));
        EXPECT_EQ(api::format(analysis, api::Format::Text), commandLine(args, "text"));
        EXPECT_EQ(api::format(analysis, api::Format::Csv), commandLine(args, "csv"));
        // The plain values, number for number.
        const nlohmann::json json = nlohmann::json::parse(commandLine(args, "json"));
        EXPECT_EQ(analysis.subjects, json["subjects"].get<std::int64_t>());
        EXPECT_EQ(analysis.labels, json["category_labels"].get<std::vector<std::string>>());
        expectSame(number(json["raw_agreement"]), analysis.rawAgreement);
        ASSERT_EQ(analysis.estimates.size(), json["estimates"].size());
        for (std::size_t i = 0; i < analysis.estimates.size(); ++i) {
            const api::Estimate& e = analysis.estimates[i];
            const nlohmann::json& j = json["estimates"][i];
            EXPECT_EQ(e.coefficient, j["coefficient"]);
            EXPECT_EQ(e.weights, j["weights"]);
            expectSame(number(j["kappa"]), e.kappa);
            expectSame(number(j["se"]), e.se);
            expectSame(number(j["wald"]["statistic"]), e.statistic);
            expectSame(number(j["wald"]["p_value"]), e.pValue);
            if (!j["wald"]["ci"].is_null()) {
                expectSame(number(j["wald"]["ci"][0]), e.wald.lower);
                expectSame(number(j["wald"]["ci"][1]), e.wald.upper);
            }
            ASSERT_EQ(e.restricted.size(), j["restricted"].size());
            for (std::size_t r = 0; r < e.restricted.size(); ++r) {
                expectSame(number(j["restricted"][r]["statistic"]), e.restricted[r].statistic);
                expectSame(number(j["restricted"][r]["independence"]["statistic"]), e.restricted[r].independence);
                const nlohmann::json& pieces = j["restricted"][r]["ci_set"];
                ASSERT_EQ(e.restricted[r].ci.size(), pieces.is_null() ? 0u : pieces.size());
            }
        }
    }
}

TEST(Library, ReadsFilesStreamsAndGroups) {
    const std::string path = kExamples + "/Kappa_data.txt";
    std::istringstream stream(bytesOf(path));
    const api::Read fromFile = api::read(path), fromStream = api::read(stream, {}, "stream");
    ASSERT_FALSE(fromFile.error);
    ASSERT_FALSE(fromStream.error);
    EXPECT_EQ(api::analyse(api::prepare(fromFile.studies[0], {})).estimates[0].kappa,
              api::analyse(api::prepare(fromStream.studies[0], {})).estimates[0].kappa);
    EXPECT_EQ(fromFile.studies[0].raters(), 2);

    api::ReadOptions input;
    input.layout = api::Layout::Long;
    input.by = "site";
    input.columns = {"subject", "rater", "category"};
    const api::Read groups = api::readBytes("site,subject,rater,category\n"
                                            "a,1,x,1\na,1,y,1\na,2,x,2\na,2,y,2\na,3,x,1\na,3,y,2\n"
                                            "b,1,x,2\nb,1,y,2\nb,2,x,1\nb,2,y,1\nb,3,x,1\nb,3,y,1\n",
                                            input);
    ASSERT_FALSE(groups.error) << groups.error->what();
    ASSERT_EQ(groups.studies.size(), 2u);
    EXPECT_EQ(groups.studies[1].group(), "b");
    const api::Analysis b = api::analyse(api::prepare(groups.studies[1], {}));
    EXPECT_EQ(b.estimates[0].kappa, 1.0);
}

TEST(Library, NamesLayoutsAsTheCommandLine) {
    for (const auto& [id, layout] : {std::pair{"table", api::Layout::Table}, {"ratings", api::Layout::Ratings},
                                     {"long", api::Layout::Long}, {"matrix", api::Layout::Matrix},
                                     {"counts", api::Layout::Counts}})
        EXPECT_EQ(api::layoutNamed(id), layout) << id;
    EXPECT_FALSE(api::layoutNamed("Table"));
}

TEST(Library, RefusesWithThePlaceAtFault) {
    struct Case {
        std::string bytes;
        api::Layout layout;
        api::Request request;
        std::string what;  // Error::what()
    };
    api::Request fleissQuadratic;
    fleissQuadratic.coefficients = {"fleiss"};
    fleissQuadratic.weights = {"quadratic"};
    api::Request unknown;
    unknown.coefficients = {"cohen"};
    api::Request kappaOfCounts;
    kappaOfCounts.coefficients = {"kappa"};
    api::Request lowConfidence;
    lowConfidence.confidence = 40;
    const std::vector<Case> cases = {
        {"1\t1\t4\n1\tx\t3\n", api::Layout::Table, {}, "data:2:2: the categories are written both as codes"},
        {"a,b\nyes,no\nno,no\nyes,yes\n", api::Layout::Ratings, fleissQuadratic,
         "data: quadratic weights need ordered categories"},
        {"1\t1\t4\n2\t2\t3\n", api::Layout::Table, unknown, "data: unknown coefficient 'cohen'"},
        {"1,2\n3,0\n0,3\n2,1\n", api::Layout::Counts, kappaOfCounts, "data: coefficient 'kappa' needs each rater's"},
        {"1\t1\t4\n2\t2\t3\n", api::Layout::Table, lowConfidence, "data: the confidence must be above 50"},
        {"a,b\n1,1\n2,\n1,2\n2,2\n", api::Layout::Ratings, {}, "data:3: a subject with a missing rating"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        api::ReadOptions input;
        input.layout = c.layout;
        const api::Read read = api::readBytes(c.bytes, input, "data");
        std::optional<api::Error> error = read.error;
        if (!error) {
            const api::Analysis analysis = api::analyse(api::prepare(read.studies.at(0), c.request));
            error = analysis.error;
            EXPECT_EQ(api::format(analysis, api::Format::Json), "");
        }
        ASSERT_TRUE(error);
        EXPECT_EQ(error->what().substr(0, c.what.size()), c.what) << error->what();
    }
    const api::Read missing = api::read(kExamples + "/no such file");
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(missing.error->line, 0);
    EXPECT_NE(missing.error->message.find("cannot open"), std::string::npos);
}

// Ratings as codes give the study of the same ratings written as a CSV file,
// byte for byte in every format: labels in a column-major array with missing
// codes, and whole numbers read in place, row by row.
TEST(Library, ReadsCodesAsTheirFile) {
    const std::vector<std::string> raters = {"r1", "r2", "r3"}, labels = {"none", "mild", "severe", "02"};
    constexpr std::int64_t kSubjects = 60;
    std::vector<std::int64_t> byRater(3 * kSubjects), bySubject(3 * kSubjects);
    std::vector<double> floats(3 * kSubjects);
    std::string labelled = "r1,r2,r3\n", numbered = labelled, floated = labelled;
    std::uint32_t state = 7;
    for (std::int64_t i = 0; i < kSubjects; ++i)
        for (std::int64_t j = 0; j < 3; ++j) {
            state = state * 1103515245u + 12345u;
            // Missing: -1 or -2.
            const std::int64_t code = (state >> 16) % 9 == 0 ? -1 - static_cast<std::int64_t>((state >> 24) % 2)
                                                             : static_cast<std::int64_t>((state >> 20) % 4);
            byRater[static_cast<std::size_t>(j * kSubjects + i)] = code;
            bySubject[static_cast<std::size_t>(i * 3 + j)] = code + 3;  // the whole numbers 1 to 6
            const std::string separator = j < 2 ? "," : "\n";
            labelled += (code < 0 ? "" : labels[static_cast<std::size_t>(code)]) + separator;
            numbered += std::to_string(code + 3) + separator;
            floats[static_cast<std::size_t>(i * 3 + j)] = code < 0 ? NAN : static_cast<double>(code) - 1;
            floated += (code < 0 ? "" : std::to_string(code - 1)) + separator;  // -1 to 2
        }
    api::ReadOptions input;
    input.layout = api::Layout::Ratings;
    input.columns = raters;
    input.headerConfirmed = true;
    input.missing = {""};
    api::Request request;
    request.coefficients = {"all"};
    const auto json = [&](const api::Read& read) {
        EXPECT_FALSE(read.error) << read.error->what();
        return read.error ? "" : api::format(api::analyse(api::prepare(read.studies.at(0), request)), api::Format::Json);
    };
    const api::RatingCodes asLabels{byRater.data(), nullptr, kSubjects, 1, kSubjects, raters, labels};
    EXPECT_EQ(json(api::readCodes(asLabels, input, "frame")), json(api::readBytes(labelled, input, "frame")));
    const api::RatingCodes asNumbers{bySubject.data(), nullptr, kSubjects, 3, 1, raters, {}};
    EXPECT_EQ(json(api::readCodes(asNumbers, input, "frame")), json(api::readBytes(numbered, input, "frame")));
    const api::RatingCodes asFloats{nullptr, floats.data(), kSubjects, 3, 1, raters, {}};
    EXPECT_EQ(json(api::readCodes(asFloats, input, "frame")), json(api::readBytes(floated, input, "frame")));

    // Refused: a number that is not whole; a code without a label; a rater
    // without a rating, whom a file's reader leaves out with a note.
    floats[100] = 0.5;
    const api::Read half = api::readCodes(asFloats, input);
    ASSERT_TRUE(half.error);
    EXPECT_EQ(half.error->what(), "35:2: a number that is not whole (0.5): such ratings are read from their bytes as "
                                  "a ratings file");
    api::RatingCodes unlabelled = asLabels;
    unlabelled.labels.pop_back();
    const api::Read noLabel = api::readCodes(unlabelled, input);
    ASSERT_TRUE(noLabel.error);
    EXPECT_NE(noLabel.error->message.find("has no label"), std::string::npos) << noLabel.error->what();
    std::fill(byRater.begin() + 2 * kSubjects, byRater.end(), -1);
    const api::Read idle = api::readCodes(asLabels, input);
    ASSERT_TRUE(idle.error);
    EXPECT_NE(idle.error->message.find("'r3' gave no rating"), std::string::npos) << idle.error->what();
}

}  // namespace
