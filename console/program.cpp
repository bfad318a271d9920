#include "console/program.h"

#include <cmath>

#include "console/parameter_entry.h"
#include "console/report.h"
#include "console/title.h"
#include "inference/analysis.h"
#include "input/data_file.h"
#include "input/file_checks.h"

namespace kappa {

namespace {

constexpr int kFinalPauseMs = 3000;

// Shows a menu until its answer is a whole number in first..last. A line with
// a number that is not acceptable is answered with `complaint`; a line without
// one (or a not-a-number) just shows the menu again. Nothing at end of input.
template <typename ShowMenu>
std::optional<std::int32_t> askChoice(Console& con, ShowMenu showMenu, int first, int last, const char* complaint) {
    for (;;) {
        showMenu();
        const auto answer = readAnswer(con);
        if (!answer) return std::nullopt;
        if (!answer->hasNumber || std::isnan(answer->x)) continue;
        const double choice = std::floor(answer->x);
        if (isWhole(*answer) && choice >= first && choice <= last) return static_cast<std::int32_t>(choice);
        con.print("%s", complaint);
    }
}

std::optional<std::int32_t> caseMenu(Console& con) {
    constexpr char quote = 34;
    return askChoice(
        con,
        [&] {
            con.print("\n\n 1 = OBSERVED DATA (without weights) - %cKappa_data.txt%c file", quote, quote);
            con.print("\n 2 = OBSERVED DATA (with weights) - %cWeighted_Kappa_data.txt%c file", quote, quote);
            con.print("\n 3 = OBSERVED DATA (with weights) - %cWeighted_Kappa_data_linear_quadratic.txt%c", quote,
                      quote);
            con.putLine("\n     file");
            con.print("\n CASE: \t");
        },
        1, 3, "\n ERROR in the choice. Please re-select one of the options");
}

std::optional<std::int32_t> endPrompt(Console& con) {
    return askChoice(
        con, [&] { con.print("\n\n\n\n 0-END    1-Change DATA ENTRY :  "); }, 0, 1,
        "\nERROR in the choice. Please re-select one of the options");
}

// Loads the case's data file; prints why when it cannot be read.
std::optional<DataFile> loadData(Console& con, const Answers& answers, std::int32_t inputCase) {
    LoadResult load =
        inputCase == 2 ? loadWeightedStudyFile(answers.R, answers.K) : loadStudyFile(inputCase, answers.R, answers.K);
    switch (load.status) {
        case LoadResult::Status::CannotOpen:
            con.putLine("\nERROR opening file. \n");
            return std::nullopt;
        case LoadResult::Status::CannotRead:
            con.print("\n ERROR reading the data file (line %d). Reload the data file.", load.line);
            return std::nullopt;
        case LoadResult::Status::Loaded:
            break;
    }
    return std::move(load.file);
}

// Prints a message for everything that is wrong with the file; true when
// nothing is.
bool checkFile(Console& con, const DataFile& file, const Answers& answers) {
    const FileCheck check = checkLoadedFile(file, answers.R, answers.K, answers.N);
    const auto repeat = [&](std::int64_t times, const char* message) {
        for (std::int64_t i = 0; i < times; ++i) con.write(message);
    };
    if (check.categories) con.write("\n ERROR in the number of categories. Reload the data file.");
    if (check.raters) con.write("\n ERROR in the number of raters. Reload the data file.");
    if (check.subjects) con.write("\n ERROR in the number of subjects. Reload the data file.");
    repeat(check.weights, "\n ERROR in some weights. Reload the data file.");
    repeat(check.codes, "\n ERROR in some category codes. Reload the data file.");
    repeat(check.frequencies, "\n ERROR in some frequencies. Reload the data file.");
    repeat(check.repeated, "\n ERROR in repeated combinations. Reload the data file.");
    return check.passed();
}

// The estimates of each case: unweighted kappa, the file's weights, or the
// quadratic and then the linear weights.
AnalysisRequest requestOf(const Answers& answers, std::int32_t inputCase) {
    AnalysisRequest request;
    request.confidence = answers.Cf;
    request.kappa0 = answers.kappa0;
    switch (inputCase) {
        case 1: request.weights = {Weighting::None}; break;
        case 2: request.weights = {Weighting::File}; break;
        default: request.weights = {Weighting::Quadratic, Weighting::Linear}; break;
    }
    return request;
}

int inputEnded(Console& con, int status) {
    con.write("\n");
    return status;
}

}  // namespace

int runProgram(Console& con) {
    printTitle(con);
    for (;;) {
        con.discardPending();
        const std::optional<Answers> answers = askParameters(con);
        if (!answers) return inputEnded(con, kExitInputEnded);
        con.discardPending();

        const auto inputCase = caseMenu(con);
        if (!inputCase) return inputEnded(con, kExitInputEnded);
        const std::optional<DataFile> file = loadData(con, *answers, *inputCase);
        if (!file || !checkFile(con, *file, *answers)) continue;

        const Analysis analysis = analyse(file->study, requestOf(*answers, *inputCase));
        printRawAgreement(con, analysis);
        printReport(con, analysis);

        con.discardPending();
        const auto fin = endPrompt(con);
        if (!fin) return inputEnded(con, kExitFinished);
        con.discardPending();
        if (*fin == 0) {
            con.print("\n\n END OF THE PROGRAM");
            con.putLine("\n\n");
            con.pause(kFinalPauseMs);
            return kExitFinished;
        }
    }
}

}  // namespace kappa
