// The command line in-process, over stand-ins for the core's reader and
// analysis: usage errors, what the options ask of the core, the checks and
// rules applied to each study, message formats and exit statuses.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"

namespace kappa {
namespace {

// R raters, K categories, the subjects counted at pattern 0 (all agree on the first category).
Study study(std::int32_t R, std::int32_t K, std::int64_t subjects) {
    Study s;
    s.R = R;
    s.K = K;
    for (std::int32_t k = 1; k <= K; ++k) s.labels.push_back(std::to_string(k));
    if (R <= kMaxRaters && std::pow(K, R) <= kMaxPatterns) {
        s.frequency.assign(patternCount(K, R), 0);
        s.frequency[0] = subjects;
        return s;
    }
    // Beyond the table's limits: every subject put in the first category by every rater.
    const CategoryCount all[] = {{0, static_cast<std::uint32_t>(R)}};
    s.profiles.add(all, subjects);
    const RaterCounts::Entry each[] = {{0, subjects}};
    for (std::int32_t j = 0; j < R; ++j) s.raterCounts.add(each);
    return s;
}

InputRead readOf(Study s, bool ordered = true) {
    InputRead read;
    read.groups.push_back({"", std::move(s), {}});
    read.ordered = ordered;
    read.delimiter = ',';
    return read;
}

InputRead failedRead(std::int64_t line, std::int64_t column, std::string message) {
    InputRead read;
    read.error = InputError{line, column, std::move(message)};
    return read;
}

struct Outcome {
    int status;
    std::string out, err;
};

class CommandLine : public ::testing::Test {
protected:
    std::map<std::string, InputRead> files;   // what the reader returns for each path
    std::vector<std::string> paths;           // the paths read, in order
    std::vector<InputOptions> readOptions;
    std::vector<Study> studies;               // what the analysis was given
    std::vector<AnalysisRequest> requests;

    Outcome run(const std::vector<std::string>& args) {
        Engine engine;
        engine.read = [&](const std::string& path, const InputOptions& options, const TakeStudy& take) {
            paths.push_back(path);
            readOptions.push_back(options);
            const auto found = files.find(path);
            InputRead read = found != files.end() ? found->second : failedRead(0, 0, "cannot open: No such file or directory");
            if (read.error) return read;
            for (StudyGroup& group : read.groups) take(std::move(group), read);
            read.groups.clear();
            return read;
        };
        engine.analyse = [&](const Study& s, const AnalysisRequest& request) {
            studies.push_back(s);
            requests.push_back(request);
            Analysis a;
            a.raters = s.R;
            a.categories = s.K;
            a.labels = s.labels;
            a.subjects = completeSubjects(s);
            a.dropped = s.dropped;
            for (const Coefficient c : request.coefficients)
                for (const Weighting w : request.weights)
                    if (takesWeights(c, w)) {
                        a.estimates.emplace_back();
                        a.estimates.back().coefficient = c;
                        a.estimates.back().weights = w;
                    }
            return a;
        };
        std::ostringstream out, err;
        const int status = runCommandLine(args, out, err, engine);
        return {status, out.str(), err.str()};
    }
};

TEST_F(CommandLine, UsageErrorsAnalyseNothing) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus", "a"}, "unknown option '--bogus'"},
        {{"-c"}, "option --confidence needs a value"},
        {{"--drop-incomplete=yes"}, "option --drop-incomplete takes no value"},
        {{"-c", "100"}, "--confidence must be a number above 50 and below 100, not '100'"},
        {{"-c", "95%"}, "--confidence must be a number above 50 and below 100, not '95%'"},
        {{"-k", "1.01"}, "--kappa0 must be a finite number at most 1, not '1.01'"},
        {{"-k", "nan"}, "--kappa0 must be a finite number at most 1, not 'nan'"},
        {{"-w", "cubic"}, "unknown weights 'cubic' in --weights (expected none, quadratic, linear, file, ordinal, "
                          "radical, ratio, circular, bipolar or krippendorff-ordinal)"},
        {{"-w", "linear,linear"}, "--weights names 'linear' twice"},
        {{"-C", "cohen"}, "unknown coefficient 'cohen' in --coefficients (expected kappa, fleiss, conger, gwet, bp, "
                          "alpha or percent)"},
        {{"-C", "all,kappa"}, "--coefficients all stands alone"},
        {{"-f", "xml"}, "unknown output format 'xml' in --format (expected text, json, csv or summary)"},
        {{"--alternative", "above"}, "unknown alternative 'above' in --alternative (expected two-sided, greater or "
                                     "less)"},
        {{"-C", "kappa", "-w", "krippendorff-ordinal"}, "coefficient 'kappa' has no 'krippendorff-ordinal' weights"},
        {{"-i", "excel"}, "unknown input format 'excel' in --input (expected table, ratings, long, matrix or counts)"},
        {{"--encoding", "ebcdic"}, "unknown encoding 'ebcdic' in --encoding (expected utf-8, utf-16, utf-16le, "
                                   "utf-16be, latin1 or cp1252)"},
        {{"-i", "ratings", "-K", "l\xE9ger,fort"}, "--categories holds byte 0xE9, which is not UTF-8"},
        {{"-i", "ratings", "-w", "file"}, "--weights file needs --input table"},
        {{"--id", "id"}, "--id does not apply to --input table"},
        {{"-i", "matrix", "--columns", "a,b"}, "--columns does not apply to --input matrix"},
        {{"--by", "site"}, "--by does not apply to --input table"},
        {{"-", "a", "-"}, "standard input ('-') is named twice: it can be read only once"},
        {{"-K", "2000000"}, "--categories gives 2000000 categories, at most 1024"},
        {{"--no-header"}, "--no-header does not apply to --input table"},
        {{"-i", "matrix", "--missing", "NA"}, "--missing does not apply to --input matrix"},
        {{"-i", "ratings", "-d", ":"}, "--delimiter must be one of '\\t', ',', ';', '|' or ' ' (runs of blanks), "
                                       "not ':'"},
        {{"-i", "long", "--columns", "s,r"}, "--columns of a long file names three columns"},
        {{"-K", "1"}, "--categories needs at least two categories"},
        {{"-K", "1025"}, "--categories gives 1025 categories, at most 1024"},
        {{"-K", "mild"}, "--categories needs at least two categories"},
        {{"-K", "a,b,a"}, "--categories gives the category 'a' twice"},
        {{"-C", "kappa", "-w", "ordinal"}, "coefficient 'kappa' has no 'ordinal' weights (it takes none, quadratic, "
                                           "linear or file)"},
        {{"-C", "fleiss,gwet", "-w", "file"}, "none of the coefficients in --coefficients takes 'file' weights"},
        {{"-C", "kappa,fleiss", "-w", "file"}, "coefficient 'fleiss' takes none of the weights in --weights"},
        {{"--pairs", "all"}, "--pairs needs --diagnostics"},
        {{"--diagnostics", "--pairs", "some"}, "unknown value 'some' in --pairs (expected auto or all)"},
        {{"--diagnostics", "-f", "summary"}, "--diagnostics needs --format text, json or csv"},
        {{"--plot", "-"}, "--plot needs a file name"},
        {{"-i", "counts", "--diagnostics"}, "--diagnostics does not apply to --input counts"},
    };
    for (const auto& [args, message] : cases) {
        const Outcome r = run(args);
        EXPECT_EQ(r.status, kExitUsage) << args.front();
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("kappa: " + message, 0), 0u) << r.err;
        EXPECT_TRUE(r.err.ends_with("\nTry 'kappa --help'.\n")) << r.err;
    }
    EXPECT_TRUE(paths.empty()) << "nothing is read after a usage error";
}

TEST_F(CommandLine, HelpAndVersion) {
    EXPECT_EQ(run({"-V"}).out, "kappa 3.0\n");
    const Outcome help = run({"--help"});
    EXPECT_EQ(help.status, kExitAnalysed);
    for (const char* option : {"--input", "--delimiter", "--encoding", "--no-header", "--columns", "--id", "--by", "--categories",
                               "--missing", "--drop-incomplete", "--coefficients", "--weights", "--confidence",
                               "--kappa0", "--format", "--output", "--help", "--version"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    for (const char* example : {"kappa examples/Kappa_data.txt", "--format json", "--format csv"})
        EXPECT_NE(help.out.find(example), std::string::npos) << example;
}

TEST_F(CommandLine, OptionsReachTheReaderAndTheAnalysis) {
    files["-"] = readOf(study(2, 2, 10));
    run({});
    ASSERT_EQ(paths, std::vector<std::string>{"-"}) << "no FILE: standard input";
    EXPECT_EQ(requests.at(0).coefficients, std::vector<Coefficient>{Coefficient::Kappa});
    EXPECT_EQ(requests[0].weights, std::vector<Weighting>{Weighting::None});
    EXPECT_EQ(requests[0].confidence, 95.0);
    EXPECT_EQ(requests[0].kappa0, 0.0);

    files["r.csv"] = readOf(study(3, 3, 10));
    const Outcome r = run({"-i", "ratings", "-d", ";", "--no-header", "--columns", "a, b,c", "--id", "id", "--by", "site",
                       "-K", "none,mild,severe", "--missing", "NA,,-", "-C", "gwet,kappa", "-w", "linear,none", "-c",
                       "99.5", "-k", "-0.25", "r.csv"});
    EXPECT_EQ(r.status, kExitAnalysed) << r.err;
    const InputOptions& o = readOptions.back();
    EXPECT_EQ(o.format, InputFormat::Ratings);
    EXPECT_EQ(o.delimiter, ';');
    EXPECT_FALSE(o.header);
    EXPECT_EQ(o.columns, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(o.id, "id");
    EXPECT_EQ(o.by, "site");
    EXPECT_EQ(o.categories, (std::vector<std::string>{"none", "mild", "severe"}));
    EXPECT_EQ(o.missing, (std::vector<std::string>{"NA", "", "-"}));
    EXPECT_EQ(requests.back().coefficients, (std::vector<Coefficient>{Coefficient::Gwet, Coefficient::Kappa}));
    EXPECT_EQ(requests.back().weights, (std::vector<Weighting>{Weighting::Linear, Weighting::None}));
    EXPECT_EQ(requests.back().confidence, 99.5);
    EXPECT_EQ(requests.back().kappa0, -0.25);

    run({"-w", "file", "-K", "4", "--encoding", "Windows-1252", "t.txt"});
    EXPECT_EQ(readOptions.back().encoding, Encoding::Cp1252);
    EXPECT_TRUE(readOptions.back().weights);
    EXPECT_EQ(readOptions.back().categories, std::vector<std::string>{"4"});

    files["/data/x.csv"] = readOf(study(2, 2, 10));
    EXPECT_EQ(run({"/data/x.csv"}).status, kExitAnalysed) << "an absolute path is a file, on Windows too";
    EXPECT_EQ(paths.back(), "/data/x.csv");
}

TEST_F(CommandLine, FileErrorsNameFileLineAndColumnAndTheOthersGoOn) {
    files["a.csv"] = failedRead(3, 2, "expected a category label, found 'x'");
    files["b.txt"] = failedRead(5, 0, "expected 3 fields, found 2");
    files["-"] = failedRead(0, 0, "the file is empty");
    files["good.txt"] = readOf(study(2, 2, 10));
    const Outcome r = run({"-f", "json", "a.csv", "b.txt", "good.txt", "-", "missing.txt"});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_EQ(r.err,
              "kappa: a.csv:3:2: expected a category label, found 'x'\n"
              "kappa: b.txt:5: expected 3 fields, found 2\n"
              "kappa: standard input: the file is empty\n"
              "kappa: missing.txt: cannot open: No such file or directory\n");
    EXPECT_EQ(nlohmann::json::parse(r.out)["file"], "good.txt") << "one line, for the file that was read";
}

TEST_F(CommandLine, StudiesBeyondTheLimits) {
    const std::vector<std::pair<Study, std::string>> cases = {
        {study(1, 3, 10), "kappa: s: found 1 rater; at least 2 are needed\n"},
        {study(21, 2, 10), "kappa: s: Hubert's kappa needs the table of all K^R response patterns, which takes at "
                           "most 20 raters and 1,048,576 patterns, and 21 raters and 2 categories make K^R = 2^21 = 2097152: "
                           "--coefficients fleiss,conger,gwet,bp,alpha,percent have no such limit\n"},
        {study(2, 1, 10), "kappa: s: found 1 category; at least 2 are needed"},
        {study(13, 3, 10), "kappa: s: Hubert's kappa needs the table of all K^R response patterns, which takes at "
                           "most 20 raters and 1,048,576 patterns, and 13 raters and 3 categories make K^R = 3^13 = 1594323: "
                           "--coefficients fleiss,conger,gwet,bp,alpha,percent have no such limit\n"},
        {study(2, 2, 2), "kappa: s: found 2 subjects; at least 3 are needed\n"},
    };
    for (const auto& [s, message] : cases) {
        files["s"] = readOf(s);
        const Outcome r = run({"s"});
        EXPECT_EQ(r.status, kExitFailed);
        EXPECT_EQ(r.err.rfind(message, 0), 0u) << r.err;
    }
    EXPECT_TRUE(studies.empty());
    files["s"] = readOf(study(20, 2, 3));
    EXPECT_EQ(run({"s"}).status, kExitAnalysed) << "2^20 patterns and 3 subjects are within the limits";
    files["s"] = readOf(study(13, 3, 10));
    EXPECT_EQ(run({"-C", "fleiss", "s"}).status, kExitAnalysed) << "the other coefficients have no such limit";
    const Outcome all = run({"-C", "all", "-f", "csv", "s"});
    EXPECT_EQ(all.status, kExitAnalysed);
    EXPECT_NE(all.out.find("Hubert's kappa is left out: it needs the table"), std::string::npos);
}

TEST_F(CommandLine, MissingRatings) {
    Study s = study(3, 2, 10);
    s.incomplete = {{{0, kMissing, 1}, 2, 9}, {{kMissing, 0, 0}, 1, 4}};
    files["r.csv"] = readOf(s);

    Outcome r = run({"-i", "ratings", "r.csv"});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_EQ(r.err, "kappa: r.csv:4: a subject with a missing rating: Hubert's kappa needs every rater's rating of "
                     "every subject, and 3 subjects have missing ratings: --coefficients fleiss,gwet,alpha use every "
                     "subject, whatever ratings it lacks; --drop-incomplete leaves such subjects out\n");
    EXPECT_TRUE(studies.empty());
    r = run({"-i", "ratings", "-C", "fleiss,gwet,alpha", "r.csv"});
    EXPECT_EQ(r.status, kExitAnalysed) << "the coefficients the message names analyse the file";

    r = run({"-i", "ratings", "-C", "kappa,fleiss", "--drop-incomplete", "r.csv"});
    EXPECT_EQ(r.status, kExitAnalysed);
    EXPECT_TRUE(studies.back().incomplete.empty()) << "left out of every coefficient";
    EXPECT_EQ(studies.back().dropped, 3);
    EXPECT_NE(r.out.find("Subjects left out for missing ratings: 3"), std::string::npos);

    r = run({"-i", "ratings", "-C", "all", "-f", "json", "r.csv"});
    EXPECT_EQ(r.status, kExitAnalysed);
    EXPECT_EQ(requests.back().coefficients.front(), Coefficient::Fleiss) << "kappa is left out";
    EXPECT_EQ(studies.back().incomplete.size(), 2u) << "the other coefficients use every subject";
    EXPECT_NE(nlohmann::json::parse(r.out)["notes"][0].get<std::string>().find("Hubert's kappa is left out"),
              std::string::npos);

    r = run({"-i", "ratings", "-C", "alpha", "r.csv"});
    EXPECT_EQ(r.status, kExitAnalysed) << "alpha uses incomplete subjects";
}

TEST_F(CommandLine, WeightsNeedOrderedCategories) {
    Study s = study(2, 3, 10);
    s.labels = {"mild", "none", "severe"};
    files["r.csv"] = readOf(s, false);
    Outcome r = run({"-i", "ratings", "-C", "fleiss", "-w", "none,ordinal", "r.csv"});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_EQ(r.err, "kappa: r.csv: ordinal weights need ordered categories, but the categories are text labels "
                     "without an order (mild, none, severe): give them in their order with --categories\n");
    EXPECT_EQ(run({"-i", "ratings", "r.csv"}).status, kExitAnalysed) << "unweighted kappa needs no order";
}

TEST_F(CommandLine, GroupsOfOneFile) {
    InputRead read = readOf(study(2, 2, 10));
    read.groups.push_back({"B\n", study(2, 2, 1), {}});
    read.groups.push_back({"C, east", study(2, 2, 5), {}});
    read.groups.front().group = "A";
    files["r.csv"] = read;
    const Outcome r = run({"-i", "ratings", "--by", "site", "-f", "csv", "r.csv"});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_EQ(r.err, "kappa: r.csv: group 'B\\n': found 1 subject; at least 3 are needed\n") << "escaped";
    std::istringstream lines(r.out);
    std::string header, a, c;
    std::getline(lines, header);
    std::getline(lines, a);
    std::getline(lines, c);
    EXPECT_TRUE(a.starts_with("r.csv,A,")) << a;
    EXPECT_TRUE(c.starts_with("r.csv,\"C, east\",")) << c;
}

TEST_F(CommandLine, OutputFile) {
    const auto folder = std::filesystem::temp_directory_path() / ("kappa-cli-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string output = (folder / "results.jsonl").string(), input = (folder / "data.txt").string();
    std::ofstream(input, std::ios::binary) << "1\t1\t5\n";
    files[input] = readOf(study(2, 2, 10));

    Outcome r = run({"-f", "json", "-o", output, input});
    EXPECT_EQ(r.status, kExitAnalysed);
    EXPECT_EQ(r.out, "");
    std::string line;
    std::getline(std::ifstream(output), line);
    EXPECT_EQ(nlohmann::json::parse(line)["file"], input);

    r = run({"-o", input, input});
    EXPECT_EQ(r.status, kExitUsage) << "writing would empty an input";
    EXPECT_EQ(r.err.rfind("kappa: --output " + input + " is the input file " + input, 0), 0u) << r.err;
    const std::string link = (folder / "link.txt").string();
    std::filesystem::create_hard_link(input, link);
    EXPECT_EQ(run({"-o", link, input}).status, kExitUsage) << "the same file by another name";

    // kappa -o data.txt - < data.txt
    const int savedInput = ::dup(STDIN_FILENO);
    const int data = ::open(input.c_str(), O_RDONLY);
    ASSERT_GE(::dup2(data, STDIN_FILENO), 0);
    files["-"] = readOf(study(2, 2, 10));
    r = run({"-o", input, "-"});
    ::dup2(savedInput, STDIN_FILENO);
    ::close(data);
    ::close(savedInput);
    EXPECT_EQ(r.status, kExitUsage);
    EXPECT_EQ(r.err.rfind("kappa: --output " + input + " is standard input: writing it would empty it", 0), 0u)
        << r.err;
    EXPECT_EQ(std::filesystem::file_size(input), 6u) << "the input is untouched";

    r = run({"-o", "-", "--", input});
    EXPECT_EQ(r.status, kExitAnalysed) << r.err;
    EXPECT_NE(r.out.find(" File: " + input), std::string::npos) << "-o - is standard output";
    files["-x"] = readOf(study(2, 2, 10));
    EXPECT_EQ(run({"--", "-x"}).status, kExitAnalysed) << "-- ends the options";
    EXPECT_EQ(paths.back(), "-x");

    const std::string heatMaps = (folder / "plot-pairs.svg").string();
    std::ofstream(heatMaps, std::ios::binary) << "1\t1\t5\n";
    r = run({"--plot", (folder / "plot.svg").string(), "--diagnostics", input, heatMaps});
    EXPECT_EQ(r.status, kExitUsage) << "the heat maps would empty an input";
    EXPECT_EQ(r.err.rfind("kappa: --plot " + heatMaps + " is the input file " + heatMaps, 0), 0u) << r.err;

    r = run({"-o", (folder / "no" / "such.txt").string(), input});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace kappa
