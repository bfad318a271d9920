// kappa: agreement among R raters. Without arguments, the question dialogue
// on the terminal; with any argument, the command line.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "console/program.h"
#include "console/terminal_console.h"

int main(int argc, char** argv) {
    if (argc > 1) {
        // The command line checks its own output.
        const std::vector<std::string> args(argv + 1, argv + argc);
        return kappa::runCommandLine(args, std::cout, std::cerr);
    }

    kappa::TerminalConsole console;
    const int status = kappa::runProgram(console);
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int reason = errno;
    if (!flushed || std::ferror(stdout)) {
        std::fprintf(stderr, "kappa: error writing standard output%s%s\n", reason != 0 ? ": " : "",
                     reason != 0 ? std::strerror(reason) : "");
        return 1;
    }
    return status;
}
