// Fuzz target: the bytes are the answer lines of a whole run, typed into the
// dialogue in-process, with the current folder a copy of the example data
// files. Each execution is one run of the program from the title screen to the
// end of the answers or the end message.
//
// Besides the sanitizers, the target asserts how a run may end: with status 1
// only once every answer has been read, and with status 0 either at the end
// prompt when the answers ran out or after the end message and its one pause.
#include <stdlib.h>  // mkdtemp

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "console/program.h"
#include "console/scripted_console.h"
#include "input/data_file.h"

#ifndef KAPPA_EXAMPLES_DIR
#error "KAPPA_EXAMPLES_DIR must name the folder of the example data files"
#endif

namespace {

// Every cycle enumerates the K^R response patterns the answers ask for, up to
// 1,048,576 of them; a cap on the answers keeps one execution to a few
// cycles. Seven answers make one cycle that reaches a report.
constexpr std::size_t kMaxLines = 64;

using kappa::fuzz::expect;
using kappa::fuzz::fail;

// The answer lines as the terminal console splits its input: at each line
// break, the text after the last one being a line of its own.
std::vector<std::string> answerLines(std::string_view bytes) {
    std::vector<std::string> lines;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        lines.emplace_back(bytes.substr(0, end));
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    }
    return lines;
}

bool endsWith(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The run changes its current folder, so the corpus folders and the paths of
// libFuzzer's flags are first made absolute: libFuzzer reads its arguments
// only after this returns.
void makePathsAbsolute(int* argc, char*** argv) {
    namespace fs = std::filesystem;
    static std::vector<std::string> storage;
    static std::vector<char*> arguments;
    constexpr std::string_view pathFlags[] = {"-artifact_prefix=", "-exact_artifact_path=", "-dict=",
                                              "-features_dir=", "-merge_control_file=", "-seed_inputs=@"};
    storage.assign(*argv, *argv + *argc);
    for (std::size_t i = 1; i < storage.size(); ++i) {
        std::string& arg = storage[i];
        if (arg.empty()) continue;
        if (arg[0] != '-') {
            arg = fs::absolute(arg).string();
            continue;
        }
        for (const std::string_view flag : pathFlags)
            if (arg.size() > flag.size() && arg.compare(0, flag.size(), flag) == 0)
                arg = std::string(flag) + fs::absolute(arg.substr(flag.size())).string();
    }
    arguments.clear();
    for (std::string& arg : storage) arguments.push_back(arg.data());
    arguments.push_back(nullptr);
    *argv = arguments.data();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    namespace fs = std::filesystem;
    makePathsAbsolute(argc, argv);
    static char folder[] = "/tmp/kappa-dialogue-fuzz-XXXXXX";
    if (!mkdtemp(folder)) fail("cannot make a working folder");
    for (const char* name : {kappa::kUnweightedFile, kappa::kWeightedFile, kappa::kComputedWeightsFile})
        fs::copy_file(fs::path(KAPPA_EXAMPLES_DIR) / name, fs::path(folder) / name);
    fs::current_path(folder);
    std::atexit([] {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines = answerLines({reinterpret_cast<const char*>(data), size});
    if (lines.size() > kMaxLines) return -1;  // not added to the corpus
    const std::size_t answers = lines.size();

    kappa::ScriptedConsole con(std::move(lines));
    const int status = kappa::runProgram(con);

    const std::string& out = con.output();
    expect(con.linesRead() <= answers, "read more answers than there were");
    if (status == kappa::kExitInputEnded) {
        expect(con.linesRead() == answers, "status 1 with answers left");
        expect(con.pauses().empty(), "paused without ending");
        expect(endsWith(out, "\n"), "input ended without a line break");
    } else {
        expect(status == kappa::kExitFinished, "unknown exit status");
        if (con.pauses().empty()) {
            expect(con.linesRead() == answers, "ended at the end prompt with answers left");
            expect(endsWith(out, "1-Change DATA ENTRY :  \n"), "status 0 away from the end prompt");
        } else {
            expect(con.pauses() == std::vector<int>{3000}, "the end pause is not one of 3 s");
            expect(endsWith(out, "\n\n END OF THE PROGRAM\n\n\n"), "paused without the end message");
        }
    }
    return 0;
}
