// The two faces over the same computation: what the command line writes in
// JSON is, rounded to the dialogue's decimals, what the dialogue prints; and
// the dialogue writes the plus-minus sign in UTF-8 on a UTF-8 terminal only.
#include <gtest/gtest.h>
#include <fcntl.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "console/program.h"
#include "console/scripted_console.h"
#include "console/terminal_console.h"
#include "inference/text.h"

namespace kappa {
namespace {

const std::string kExamples = KAPPA_EXAMPLES_DIR;

struct ExampleCase {
    const char* file;
    std::vector<std::string> answers;  // the dialogue's, case included
    std::string weights;               // the command line's
    std::vector<std::string> headings; // the dialogue's name of each estimate
};

std::string dialogueOutput(const ExampleCase& c) {
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(kExamples);
    ScriptedConsole con(c.answers);
    runProgram(con);
    std::filesystem::current_path(previous);
    return con.output();
}

nlohmann::json commandLineJson(const ExampleCase& c, const std::string& kappa0) {
    const std::vector<std::string> args = {"--weights", c.weights, "--kappa0", kappa0, "--format", "json",
                                           kExamples + "/" + c.file};
    std::ostringstream out, err;
    EXPECT_EQ(runCommandLine(args, out, err), kExitAnalysed) << err.str();
    return nlohmann::json::parse(out.str());
}

// A number of the JSON as the dialogue prints it ("nan" for a null).
std::string printed(const char* format, const nlohmann::json& value) {
    return value.is_null() ? "nan" : kappa::printfText(format, value.get<double>());
}

// Each of `lines` appears in `text`, in this order.
void expectInOrder(const std::string& text, const std::vector<std::string>& lines) {
    std::size_t at = 0;
    for (const std::string& line : lines) {
        at = text.find(line, at);
        ASSERT_NE(at, std::string::npos) << "missing in order: " << line;
    }
}

TEST(Faces, JsonRoundsToTheDialoguesDigits) {
    const ExampleCase cases[] = {
        {"Kappa_data.txt", {"2", "2", "100", "", "0.6", "1"}, "none", {"Cohen's kappa"}},
        {"Weighted_Kappa_data.txt", {"2", "3", "100", "", "0.5", "2"}, "file", {"Cohen's weighted kappa"}},
        {"Weighted_Kappa_data_linear_quadratic.txt", {"2", "3", "100", "", "0.5", "3"}, "quadratic,linear",
         {"Cohen's weighted kappa QUADRATIC", "Cohen's weighted kappa LINEAR"}},
    };
    for (const ExampleCase& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string kappa0 = c.answers[4] + "0";
        const nlohmann::json json = commandLineJson(c, c.answers[4]);
        std::vector<std::string> lines = {"\n Raw " + printed("%.5f", json["raw_agreement"])};
        ASSERT_EQ(json["estimates"].size(), c.headings.size());
        for (std::size_t i = 0; i < c.headings.size(); ++i) {
            const nlohmann::json& e = json["estimates"][i];
            const nlohmann::json& wald = e["wald"];
            lines.push_back("\n " + c.headings[i] + " " + printed("%.4f", e["kappa"]) + " \xF1 " +
                            printed("%.5f", e["se"]));
            lines.push_back("\n Test statistic (for kappa = " + kappa0 + ") = " + printed("%.4f", wald["statistic"]));
            lines.push_back("\n CI = (" + printed("%.4f", wald["ci"][0]) + ", " + printed("%.4f", wald["ci"][1]));
            for (const nlohmann::json& r : e["restricted"]) {
                lines.push_back(r["statistic"].is_null()
                                    ? "\n Variance for test statistic (for kappa = " + kappa0 + ") is negative."
                                    : "\n Test statistic (for kappa = " + kappa0 + ") = " + printed("%.4f", r["statistic"]));
                lines.push_back(r["ci"].is_null() ? "\n (-Infinity, 1.0): the CI has no solution."
                                                  : "\n CI = (" + printed("%.4f", r["ci"][0]) + ", " +
                                                        printed("%.4f", r["ci"][1]) + ")");
                lines.push_back("\n Test statistic (for the independence test) = " +
                                printed("%.4f", r["independence"]["statistic"]) + ".");
            }
        }
        expectInOrder(dialogueOutput(c), lines);
    }
}

#ifndef _WIN32
// Runs the program with its answers on a pipe and its output on a
// pseudo-terminal in the given locale; returns what the terminal received.
std::string onTerminal(const char* locale) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return "no pseudo-terminal";
    int answers[2];
    if (pipe(answers) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        const int terminal = open(ptsname(master), O_RDWR);
        dup2(terminal, STDOUT_FILENO);
        dup2(answers[0], STDIN_FILENO);
        close(answers[1]);
        if (chdir(kExamples.c_str()) != 0) _exit(127);
        setenv("LC_ALL", locale, 1);
        execl(KAPPA_BINARY, "kappa", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(answers[0]);
    // Input ends at the end prompt: no final pause.
    const std::string typed = "2\n2\n100\n\n\n1\n";
    if (write(answers[1], typed.data(), typed.size()) != static_cast<ssize_t>(typed.size())) return "no write";
    close(answers[1]);
    std::string received;
    char chunk[4096];
    ssize_t got;
    while ((got = read(master, chunk, sizeof chunk)) > 0) received.append(chunk, static_cast<std::size_t>(got));
    close(master);
    int status = 0;
    waitpid(child, &status, 0);
    return received;
}

TEST(Faces, PlusMinusInUtf8OnAUtf8TerminalOnly) {
    if (onTerminal("C") == "no pseudo-terminal") GTEST_SKIP() << "this machine offers no pseudo-terminal";
    EXPECT_NE(onTerminal("C.UTF-8").find("0.7000 \xC2\xB1 0.07106"), std::string::npos);
    EXPECT_NE(onTerminal("C").find("0.7000 \xF1 0.07106"), std::string::npos);
}
#endif

// An answer line longer than the console keeps is cut, the rest of it dropped
// as it comes: input without line breaks (kappa < /dev/zero) takes no more.
TEST(Faces, LongAnswerLinesAreCut) {
    const std::size_t kept = TerminalConsole::kLongestAnswer;
    const std::string typed = std::string(3 * kept, 'x') + "\n2\n" + std::string(kept + 9, 'y');
    std::FILE* answers = std::tmpfile();
    ASSERT_NE(answers, nullptr);
    ASSERT_EQ(std::fwrite(typed.data(), 1, typed.size(), answers), typed.size());
    std::rewind(answers);
    const int savedInput = dup(STDIN_FILENO);
    dup2(fileno(answers), STDIN_FILENO);
    std::vector<std::string> lines;
    {
        TerminalConsole console;
        for (std::string line; console.readLine(line);) lines.push_back(line);
    }
    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
    std::fclose(answers);
    EXPECT_EQ(lines, (std::vector<std::string>{std::string(kept, 'x'), "2", std::string(kept, 'y')}));
}

}  // namespace
}  // namespace kappa
