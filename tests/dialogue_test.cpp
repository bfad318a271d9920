// The whole dialogue of the program, run in-process on a scripted console in
// a folder of its own that holds the data files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "console/parameter_entry.h"
#include "console/program.h"
#include "console/scripted_console.h"
#include "console/title.h"
#include "input/data_file.h"
#include "temporary_folder.h"

namespace kappa {
namespace {

using Lines = std::vector<std::string>;

const std::string kRatersPrompt = "\n\n Number of raters = ";
const std::string kCategoriesPrompt = "\n Number of categories = ";
const std::string kSubjectsPrompt = "\n Number of subjects = ";
const std::string kConfidencePrompt = "\n Confidence for the two-tailed CI in % (if nothing is indicated, % = 95) = ";
const std::string kKappaPrompt = "\n Kappa value for the test (if nothing is indicated, kappa = 0) = ";
const std::string kAllPrompts = kRatersPrompt + kCategoriesPrompt + kSubjectsPrompt + kConfidencePrompt + kKappaPrompt;

const std::string kMustR = "\n Must be R>1";
const std::string kMustR20 = "\n Must be R<=20";
const std::string kMustK = "\n Must be K>1";
const std::string kMustKR = "\n Must be K^R<=1048576";
const std::string kMustN = "\n Must be N>2";
const std::string kMustCf50 = "\n Must be % > 50";
const std::string kMustCf100 = "\n Must be % < 100";
const std::string kMustKappa = "\n Must be kappa <= 1";

const std::string kMenu =
    "\n\n 1 = OBSERVED DATA (without weights) - \"Kappa_data.txt\" file"
    "\n 2 = OBSERVED DATA (with weights) - \"Weighted_Kappa_data.txt\" file"
    "\n 3 = OBSERVED DATA (with weights) - \"Weighted_Kappa_data_linear_quadratic.txt\""
    "\n     file\n"
    "\n CASE: \t";
const std::string kMenuError = "\n ERROR in the choice. Please re-select one of the options";
const std::string kEndPrompt = "\n\n\n\n 0-END    1-Change DATA ENTRY :  ";
const std::string kEndError = "\nERROR in the choice. Please re-select one of the options";
const std::string kFinal = "\n\n END OF THE PROGRAM\n\n\n";
const std::string kRawPrefix = "\n\n\n\n Raw ";

const std::string kCategoriesError = "\n ERROR in the number of categories. Reload the data file.";
const std::string kRatersError = "\n ERROR in the number of raters. Reload the data file.";
const std::string kSubjectsError = "\n ERROR in the number of subjects. Reload the data file.";
const std::string kCodesError = "\n ERROR in some category codes. Reload the data file.";
const std::string kFrequenciesError = "\n ERROR in some frequencies. Reload the data file.";
const std::string kRepeatedError = "\n ERROR in repeated combinations. Reload the data file.";

// The sample data: two raters, 100 subjects; two categories in the
// unweighted file, three in the others (with quadratic weights in the file).
const std::string kKappaData = "1\t1\t40\n1\t2\t10\n2\t1\t5\n2\t2\t45\n";
const std::string kWeightedData =
    "1\t1\t30\t0.0\n1\t2\t8\t0.25\n1\t3\t2\t1.0\n2\t1\t5\t0.25\n2\t2\t25\t0.0\n"
    "2\t3\t5\t0.25\n3\t1\t1\t1.0\n3\t2\t4\t0.25\n3\t3\t20\t0.0\n";
const std::string kComputedData =
    "1\t1\t30\n1\t2\t8\n1\t3\t2\n2\t1\t5\n2\t2\t25\n2\t3\t5\n3\t1\t1\n3\t2\t4\n3\t3\t20\n";

// Answers that reach the CASE menu for each sample file.
const Lines kTwoCategories = {"2", "2", "100", "", ""};
const Lines kThreeCategories = {"2", "3", "100", "", ""};

// The answers of several steps, one after the other.
Lines script(std::initializer_list<Lines> parts) {
    Lines all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::string repeated(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) all += text;
    return all;
}

std::string titleScreen() {
    ScriptedConsole con({});
    printTitle(con);
    return con.output();
}

// A scripted console that runs an action just before a given answer line is
// read: the user editing a data file while the program waits at a prompt.
class EditingConsole final : public Console {
public:
    EditingConsole(Lines lines, std::map<std::size_t, std::function<void()>> edits)
        : script_(std::move(lines)), edits_(std::move(edits)) {}

    bool readLine(std::string& line) override {
        if (const auto edit = edits_.find(script_.linesRead()); edit != edits_.end()) edit->second();
        return script_.readLine(line);
    }
    void write(std::string_view text) override { script_.write(text); }
    void discardPending() override { script_.discardPending(); }
    void pause(int milliseconds) override { script_.pause(milliseconds); }

    const ScriptedConsole& inner() const { return script_; }

private:
    ScriptedConsole script_;
    std::map<std::size_t, std::function<void()>> edits_;
};

struct Transcript {
    int status = -1;
    std::string output;      // everything written
    std::string afterTitle;  // what follows the title screen
    int discards = 0;
    std::vector<int> pauses;
};

Transcript finish(int status, const ScriptedConsole& con) {
    Transcript run{status, con.output(), {}, con.discards(), con.pauses()};
    const std::string title = titleScreen();
    EXPECT_TRUE(run.output.starts_with(title));
    run.afterTitle = run.output.substr(std::min(title.size(), run.output.size()));
    return run;
}

// Runs in a folder of its own that holds the three sample files.
class Dialogue : public InTemporaryFolder {
protected:
    void SetUp() override {
        InTemporaryFolder::SetUp();
        writeFile(kUnweightedFile, kKappaData);
        writeFile(kWeightedFile, kWeightedData);
        writeFile(kComputedWeightsFile, kComputedData);
    }

    static Transcript run(Lines answers) {
        ScriptedConsole con(std::move(answers));
        const int status = runProgram(con);
        return finish(status, con);
    }

    static Transcript run(Lines answers, std::map<std::size_t, std::function<void()>> edits) {
        EditingConsole con(std::move(answers), std::move(edits));
        const int status = runProgram(con);
        return finish(status, con.inner());
    }
};

TEST(TitleScreen, DescribesTheThreeFiles) {
    const std::string title = titleScreen();
    for (const char* text : {"\n\n \t\t\tABOUT  CONCURVA (2022)  - Version 3.0        \n",
                             "\n-> \"Kappa_data.txt\": R columns", "\n-> \"Weighted_Kappa_data.txt\": R columns",
                             "\n-> \"Weighted_Kappa_data_linear_quadratic.txt\": R columns",
                             "(by \"weight=v\" the \"weight\nof disagreement\" is alluded to",
                             "the weights \"v\" are\n"})
        EXPECT_NE(title.find(text), std::string::npos) << text;
    EXPECT_TRUE(title.ends_with("\ncorrelation coefficient of Lin).\n "));
}

TEST_F(Dialogue, TitleOnceThenNewEntryAfterAnswerOne) {
    const Transcript r = run(script({kTwoCategories, {"1", "1"}, kTwoCategories, {"1", "0"}}));
    EXPECT_EQ(r.status, kExitFinished);
    EXPECT_TRUE(r.afterTitle.starts_with(kAllPrompts + kMenu + kRawPrefix + "0.85000"));
    const auto firstEnd = r.afterTitle.find(kEndPrompt);
    ASSERT_NE(firstEnd, std::string::npos);
    EXPECT_TRUE(r.afterTitle.substr(firstEnd).starts_with(kEndPrompt + kAllPrompts + kMenu + kRawPrefix));
    EXPECT_EQ(r.output.find("ABOUT  CONCURVA"), r.output.rfind("ABOUT  CONCURVA"));
    EXPECT_TRUE(r.output.ends_with(kEndPrompt + kFinal));
    EXPECT_EQ(r.pauses, std::vector<int>{3000});
    EXPECT_GT(r.discards, 0);
}

struct EntryCase {
    const char* name;
    Lines answers;
    std::string output;
    std::int32_t R, K;
    double N, Cf, kappa0;
};

TEST(ParameterEntry, BoundsAndDefaults) {
    const std::string P = kRatersPrompt, K = kCategoriesPrompt, N = kSubjectsPrompt, C = kConfidencePrompt,
                      k = kKappaPrompt;
    const std::string rest = K + N + C + k;  // the other four, each accepted at once
    const EntryCase cases[] = {
        {"raters too few or fractional", {"1", "0", "-4", "3.5", "x", "", "3.0", "2", "3", "", ""},
         P + kMustR + P + kMustR + P + kMustR + P + P + P + P + rest, 3, 2, 3, 95, 0},
        {"raters fraction below 2 still complains", {"1.5", "4 raters", "2", "3", "", ""}, P + kMustR + P + rest, 4, 2,
         3, 95, 0},
        {"raters beyond 20 or the 32-bit range",
         {"21", "1e10", "-1e10", "nan", "inf", "-inf", "20", "2", "3", "", ""},
         P + kMustR20 + P + kMustR20 + P + kMustR + P + P + kMustR20 + P + kMustR + P + rest, 20, 2, 3, 95, 0},
        {"categories", {"2", "1", "0", "3.5", "1025", "1e10", "-1e10", "nan", "1024", "3", "", ""},
         P + K + kMustK + K + kMustK + K + K + kMustKR + K + kMustKR + K + kMustK + K + K + N + C + k, 2, 1024, 3, 95,
         0},
        {"patterns capped for three raters", {"3", "102", "101", "3", "", ""}, P + K + kMustKR + K + N + C + k, 3, 101,
         3, 95, 0},
        {"patterns capped for twenty raters", {"20", "3", "2", "3", "", ""}, P + K + kMustKR + K + N + C + k, 20, 2, 3,
         95, 0},
        {"subjects", {"2", "2", "2", "10.5", "-1e10", "nan", "x", "3", "", ""},
         P + K + N + kMustN + N + N + kMustN + N + N + N + C + k, 2, 2, 3, 95, 0},
        {"subjects not capped", {"2", "2", "1e10", "", ""}, P + rest, 2, 2, 1e10, 95, 0},
        {"confidence bounds", {"2", "2", "3", "50", "100", "120", "nan", "97.5", ""},
         P + K + N + C + kMustCf50 + C + kMustCf100 + C + kMustCf100 + C + C + k, 2, 2, 3, 97.5, 0},
        {"confidence without a number", {"2", "2", "3", "ninety", ""}, P + rest, 2, 2, 3, 95, 0},
        {"confidence with text after it", {"2", "2", "3", " 50.5 percent", ""}, P + rest, 2, 2, 3, 50.5, 0},
        {"kappa bounds", {"2", "2", "3", "", "1.01", "inf", "nan", "-0.4"},
         P + K + N + C + k + kMustKappa + k + kMustKappa + k + k, 2, 2, 3, 95, -0.4},
        {"kappa 1", {"2", "2", "3", "", "1"}, P + rest, 2, 2, 3, 95, 1},
        {"kappa without a number", {"2", "2", "3", "", "none"}, P + rest, 2, 2, 3, 95, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedConsole con(c.answers);
        const std::optional<Answers> s = askParameters(con);
        ASSERT_TRUE(s);
        EXPECT_EQ(con.linesRead(), c.answers.size());
        EXPECT_EQ(con.output(), c.output);
        EXPECT_EQ(s->R, c.R);
        EXPECT_EQ(s->K, c.K);
        EXPECT_EQ(s->N, c.N);
        EXPECT_EQ(s->Cf, c.Cf);
        EXPECT_EQ(s->kappa0, c.kappa0);
        // Typed-ahead input is thrown away after every answer.
        EXPECT_EQ(static_cast<std::size_t>(con.discards()), c.answers.size());
    }
}

struct EndOfInputCase {
    const char* name;
    Lines answers;
    std::string tail;  // the end of the output
    int status;
};

TEST_F(Dialogue, EndOfInputEndsAtOnce) {
    const Lines fullRun = script({kTwoCategories, {"1"}});
    const EndOfInputCase cases[] = {
        {"raters", {}, kRatersPrompt + "\n", kExitInputEnded},
        {"categories", {"2"}, kRatersPrompt + kCategoriesPrompt + "\n", kExitInputEnded},
        {"subjects", {"2", "2"}, kCategoriesPrompt + kSubjectsPrompt + "\n", kExitInputEnded},
        {"confidence", {"2", "2", "100"}, kSubjectsPrompt + kConfidencePrompt + "\n", kExitInputEnded},
        {"kappa", {"2", "2", "100", ""}, kConfidencePrompt + kKappaPrompt + "\n", kExitInputEnded},
        {"after a refused answer", {"2", "2", "100", "", "2"}, kKappaPrompt + kMustKappa + kKappaPrompt + "\n",
         kExitInputEnded},
        {"CASE menu", kTwoCategories, kKappaPrompt + kMenu + "\n", kExitInputEnded},
        {"CASE menu after an error", script({kTwoCategories, {"7"}}), kMenu + kMenuError + kMenu + "\n",
         kExitInputEnded},
        {"end prompt", fullRun, kEndPrompt + "\n", kExitFinished},
        {"end prompt after an error", script({fullRun, {"5"}}), kEndPrompt + kEndError + kEndPrompt + "\n",
         kExitFinished},
        {"raters after a new entry", script({fullRun, {"1"}}), kEndPrompt + kRatersPrompt + "\n", kExitInputEnded},
        {"after a failed check", {"3", "2", "100", "", "", "1"}, kMenu + kRatersError + kRatersPrompt + "\n",
         kExitInputEnded},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Transcript r = run(c.answers);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(r.output.ends_with(c.tail)) << r.afterTitle;
        EXPECT_TRUE(r.pauses.empty());
        EXPECT_EQ(r.output.find("END OF THE PROGRAM"), std::string::npos);
    }
}

TEST_F(Dialogue, CaseMenuRefusals) {
    const struct {
        Lines answers;
        std::string output;
    } cases[] = {
        {{"2.5"}, kMenu + kMenuError + kMenu},
        {{"0"}, kMenu + kMenuError + kMenu},
        {{"4"}, kMenu + kMenuError + kMenu},
        {{"-1"}, kMenu + kMenuError + kMenu},
        {{"1e10"}, kMenu + kMenuError + kMenu},
        {{"-1e10"}, kMenu + kMenuError + kMenu},
        {{"nan"}, kMenu + kMenu},
        {{""}, kMenu + kMenu},
        {{"one"}, kMenu + kMenu},
        {{"2.5", "0", "4", "-1"}, repeated(kMenu + kMenuError, 4) + kMenu},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answers.front());
        const Transcript r = run(script({kTwoCategories, c.answers}));
        EXPECT_EQ(r.status, kExitInputEnded);
        EXPECT_EQ(r.afterTitle, kAllPrompts + c.output + "\n");
    }
}

TEST_F(Dialogue, CaseMenuPicksTheFile) {
    const struct {
        Lines answers;
        std::vector<std::string> shown;
    } cases[] = {
        {script({kTwoCategories, {"1"}}), {"\n\n Cohen's kappa 0.7000 \xF1 0.07106"}},
        {script({kTwoCategories, {" 1.0"}}), {"\n\n Cohen's kappa 0.7000 \xF1 0.07106"}},
        {script({kThreeCategories, {"2.0"}}), {"\n\n Cohen's weighted kappa 0.7287 \xF1 0.06277"}},
        {script({kThreeCategories, {"3 files"}}),
         {"\n\n Cohen's weighted kappa QUADRATIC 0.7287 \xF1 0.06277",
          "\n\n Cohen's weighted kappa LINEAR 0.6733 \xF1 0.06111"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answers.back());
        const Transcript r = run(script({c.answers, {"0"}}));
        EXPECT_EQ(r.status, kExitFinished);
        EXPECT_TRUE(r.afterTitle.starts_with(kAllPrompts + kMenu + kRawPrefix)) << r.afterTitle;
        for (const auto& line : c.shown) EXPECT_NE(r.output.find(line), std::string::npos) << line;
    }
}

TEST_F(Dialogue, EndPromptRefusals) {
    const Transcript r = run(script({kTwoCategories, {"1", "0.5", "2", "-1", "zero", "1e10", "0"}}));
    EXPECT_EQ(r.status, kExitFinished);
    const auto first = r.afterTitle.find(kEndPrompt);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(r.afterTitle.substr(first),
              repeated(kEndPrompt + kEndError, 3) + kEndPrompt + kEndPrompt + kEndError + kEndPrompt + kFinal);
    EXPECT_EQ(r.pauses, std::vector<int>{3000});
}

TEST_F(Dialogue, FailedChecksReturnOnceToTheQuestions) {
    // K, R and N all disagree with the file, then a pass that agrees.
    const Transcript r = run(script({{"3", "3", "99", "", "", "1"}, kTwoCategories, {"1", "0"}}));
    EXPECT_EQ(r.status, kExitFinished);
    EXPECT_TRUE(r.afterTitle.starts_with(kAllPrompts + kMenu + kCategoriesError + kRatersError + kSubjectsError +
                                         kAllPrompts + kMenu + kRawPrefix + "0.85000"))
        << r.afterTitle;
}

TEST_F(Dialogue, FileCorrectedWhileWaitingAtTheQuestions) {
    writeFile(kUnweightedFile, "1\t1\t40\n0\t2\t10\n1\t2\t-5\n2\t2\t45\n1\t2\t10\n");
    // Answer 6 is the first of the second pass: the file is mended before it.
    const Transcript r = run(script({kTwoCategories, {"1"}, kTwoCategories, {"1", "0"}}),
                      {{6, [] { writeFile(kUnweightedFile, kKappaData); }}});
    EXPECT_EQ(r.status, kExitFinished);
    EXPECT_TRUE(r.afterTitle.starts_with(kAllPrompts + kMenu + kCodesError + kFrequenciesError + kRepeatedError +
                                         kAllPrompts + kMenu + kRawPrefix + "0.85000"))
        << r.afterTitle;
}

TEST_F(Dialogue, ShorterFileAfterALongerOne) {
    // Same 100 subjects in three rows: nothing of the fourth row of the first
    // file may remain.
    const Transcript r = run(script({kTwoCategories, {"1", "1"}, kTwoCategories, {"1", "0"}}),
                      {{7, [] { writeFile(kUnweightedFile, "1\t1\t40\n1\t2\t10\n2\t1\t50\n"); }}});
    EXPECT_EQ(r.status, kExitFinished);
    const auto second = r.afterTitle.find(kEndPrompt);
    ASSERT_NE(second, std::string::npos);
    EXPECT_TRUE(r.afterTitle.substr(second).starts_with(kEndPrompt + kAllPrompts + kMenu + kRawPrefix + "0.40000"))
        << r.afterTitle;
}

TEST_F(Dialogue, FilesThatLoadDespiteTheirLayout) {
    const struct {
        const char* name;
        const char* file;
        std::string bytes;
        Lines answers;
        std::string shown;
    } cases[] = {
        {"no final newline", kUnweightedFile, "1\t1\t40\n1\t2\t10\n2\t1\t5\n2\t2\t45", script({kTwoCategories, {"1"}}),
         "Raw 0.85000"},
        {"CRLF", kUnweightedFile, "1\t1\t40\r\n1\t2\t10\r\n2\t1\t5\r\n2\t2\t45\r\n", script({kTwoCategories, {"1"}}),
         "Raw 0.85000"},
        {"byte order mark", kUnweightedFile, "\xEF\xBB\xBF" + kKappaData, script({kTwoCategories, {"1"}}),
         "Raw 0.85000"},
        {"blank lines at the end", kComputedWeightsFile, kComputedData + "\n\n", script({kThreeCategories, {"3"}}),
         "QUADRATIC 0.7287"},
        {"weights without decimal point", kWeightedFile,
         "1\t1\t30\t0\n1\t2\t8\t0.25\n1\t3\t2\t1\n2\t1\t5\t0.25\n2\t2\t25\t0\n"
         "2\t3\t5\t0.25\n3\t1\t1\t1\n3\t2\t4\t0.25\n3\t3\t20\t0",
         script({kThreeCategories, {"2"}}), "Cohen's weighted kappa 0.7287"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(c.file, c.bytes);
        const Transcript r = run(script({c.answers, {"0"}}));
        EXPECT_EQ(r.status, kExitFinished);
        EXPECT_EQ(r.output.find("ERROR"), std::string::npos);
        EXPECT_NE(r.output.find(c.shown), std::string::npos) << r.afterTitle;
    }
}

TEST_F(Dialogue, FilesThatCannotBeUsed) {
    const struct {
        const char* name;
        const char* file;
        const char* bytes;  // nullptr: no such file
        Lines answers;
        std::string messages;
    } cases[] = {
        {"missing file", kUnweightedFile, nullptr, script({kTwoCategories, {"1"}}), "\nERROR opening file. \n\n"},
        // K is wrong too, but no check runs on a file that could not be read.
        {"token that is not a number", kUnweightedFile, "1\t1\t40\n1\tx\t10\n", {"2", "3", "100", "", "", "1"},
         "\n ERROR reading the data file (line 2). Reload the data file."},
        {"row cut short", kComputedWeightsFile, "1\t1\t30\n1\t2\n", script({kThreeCategories, {"3"}}),
         "\n ERROR reading the data file (line 2). Reload the data file."},
        {"weighted first line without TAB", kWeightedFile, "1 1 30 0.0\n1\t2\t70\t1.0\n",
         script({kThreeCategories, {"2"}}), kCategoriesError + kRatersError + kSubjectsError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.bytes)
            writeFile(c.file, c.bytes);
        else
            std::filesystem::remove(c.file);
        const Transcript r = run(c.answers);
        EXPECT_EQ(r.status, kExitInputEnded);
        EXPECT_EQ(r.afterTitle, kAllPrompts + kMenu + c.messages + kRatersPrompt + "\n");
    }
}

}  // namespace
}  // namespace kappa
