// The examples that --help, the man page and the README show are run as a
// user would run them, from the project's folder: each must succeed, and
// where the README shows what a command prints, those lines must be printed,
// in that order.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>


#ifndef KAPPA_BINARY
#error "KAPPA_BINARY must name the program"
#endif

namespace kappa {
namespace {

const std::filesystem::path kProject = std::filesystem::path(KAPPA_TESTS_DIR).parent_path();

struct Ran {
    int status = -1;
    std::string out;
};

// A folder of its own in which `kappa` is the program under test.
struct ProgramFolder {
    std::filesystem::path path;
    ProgramFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kappa-docs-XXXXXX").string();
        if (mkdtemp(pattern.data())) path = pattern;
        std::filesystem::create_symlink(KAPPA_BINARY, path / "kappa");
    }
    ~ProgramFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

// Runs a shell command in the project's folder with `kappa` the program under test.
Ran shell(const std::string& command) {
    static const ProgramFolder bin;
    const std::string full = "cd '" + kProject.string() + "' && PATH='" + bin.path.string() +
                             "':\"$PATH\" && exec 2>&1 </dev/null && " + command;
    Ran run;
    FILE* pipe = ::popen(full.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, got);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Commands written over several lines, each ending in a backslash, joined.
std::vector<std::string> joinContinued(const std::vector<std::string>& lines) {
    std::vector<std::string> commands;
    bool continued = false;
    for (std::string line : lines) {
        const auto first = line.find_first_not_of(' ');
        line = first == std::string::npos ? std::string() : line.substr(first);
        if (continued)
            commands.back() += " " + line;
        else
            commands.push_back(line);
        continued = !commands.back().empty() && commands.back().back() == '\\';
        if (continued) commands.back().pop_back();
    }
    return commands;
}

// Whether every line of `expected` is a line of `actual`, in the same order.
bool containsInOrder(const std::vector<std::string>& actual, const std::vector<std::string>& expected) {
    std::size_t a = 0;
    for (const std::string& line : expected) {
        while (a < actual.size() && actual[a] != line) ++a;
        if (a == actual.size()) return false;
        ++a;
    }
    return true;
}

// Whether a command runs here: it starts the program (or prints its input),
// and every file it names is in the project.
bool runnable(const std::string& command) {
    if (!command.starts_with("kappa") && !command.starts_with("printf") && !command.starts_with("build/release/kappa"))
        return false;
    std::istringstream words(command);
    for (std::string word; words >> word;) {
        if (word == "psql" || word.starts_with("$")) return false;
        const bool file = word.find('/') != std::string::npos || word.ends_with(".csv") || word.ends_with(".txt");
        if (file && !word.starts_with("'") && !word.starts_with("-") && word.find("\\") == std::string::npos &&
            !std::filesystem::exists(kProject / word))
            return false;
    }
    return true;
}

// At least three commands, each of which succeeds.
void expectEachRuns(const std::vector<std::string>& commands) {
    ASSERT_GE(commands.size(), 3u);
    for (const std::string& command : commands) {
        const Ran run = shell(command);
        EXPECT_EQ(run.status, 0) << command << "\n" << run.out;
    }
}

TEST(Docs, HelpExamplesRun) {
    const Ran help = shell("kappa --help");
    ASSERT_EQ(help.status, 0);
    std::vector<std::string> lines = linesOf(help.out);
    const auto examples = std::find(lines.begin(), lines.end(), "Examples:");
    ASSERT_NE(examples, lines.end());
    std::vector<std::string> shown;
    for (auto line = examples; line != lines.end() && !line->empty(); ++line)
        if (line->starts_with("    ")) shown.push_back(*line);
    expectEachRuns(joinContinued(shown));
}

TEST(Docs, ManPageExamplesRun) {
    std::ifstream man(kProject / "man" / "kappa.1");
    std::vector<std::string> shown;
    bool inExamples = false;
    for (std::string line; std::getline(man, line);) {
        if (line.starts_with(".SH")) inExamples = line == ".SH EXAMPLES";
        if (!inExamples || line.starts_with(".")) continue;
        std::string plain;  // the troff escapes of the section: \- and \e
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '-' || line[i + 1] == 'e')) {
                plain += line[i + 1] == '-' ? '-' : '\\';
                ++i;
            } else {
                plain += line[i];
            }
        }
        shown.push_back(plain);
    }
    expectEachRuns(joinContinued(shown));
}

TEST(Docs, ReadmeExamplesRunAndPrintWhatItShows) {
    std::ifstream readme(kProject / "README.md");
    const std::vector<std::string> lines = [&] {
        std::stringstream text;
        text << readme.rdbuf();
        return linesOf(text.str());
    }();
    std::size_t ran = 0, compared = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != "```sh") continue;
        std::vector<std::string> block;
        for (++i; i < lines.size() && lines[i] != "```"; ++i) block.push_back(lines[i]);
        std::vector<std::string> commands;
        for (std::string command : joinContinued(block)) {
            if (const auto comment = command.find("  #"); comment != std::string::npos) command.resize(comment);
            if (command.starts_with("build/release/kappa")) command.erase(0, std::string("build/release/").size());
            if (runnable(command)) commands.push_back(command);
        }
        // The block that follows a lone command, when it is not another command: what it prints.
        std::vector<std::string> shown;
        if (block.size() == 1 && i + 2 < lines.size() && lines[i + 1].empty() && lines[i + 2] == "```")
            for (i += 3; i < lines.size() && lines[i] != "```"; ++i) shown.push_back(lines[i]);
        for (const std::string& command : commands) {
            const Ran run = shell(command);
            ++ran;
            EXPECT_EQ(run.status, 0) << command << "\n" << run.out;
            if (shown.empty()) continue;
            ++compared;
            EXPECT_TRUE(containsInOrder(linesOf(run.out), shown)) << command << "\nprints\n" << run.out;
        }
    }
    EXPECT_GE(ran, 8u);
    EXPECT_GE(compared, 5u);
}

}  // namespace
}  // namespace kappa
