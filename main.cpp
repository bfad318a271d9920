// kappa: agreement among R raters. Without arguments, the question dialogue
// on the terminal; with any argument, the command line.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "cli/command_line.h"
#include "console/program.h"
#include "console/terminal_console.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    kappa::platform::useBinaryStandardStreams();
    if (argc > 1) {
        // The command line checks its own output.
        return kappa::runCommandLine(kappa::platform::arguments(argc, argv), std::cout, std::cerr);
    }

    kappa::TerminalConsole console;
    const int status = kappa::runProgram(console);
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int reason = errno;
    if (!flushed || std::ferror(stdout)) {
        std::fprintf(stderr, "kappa: error writing standard output%s%s\n", reason != 0 ? ": " : "",
                     reason != 0 ? kappa::platform::errorText(reason).c_str() : "");
        return 1;
    }
    return status;
}
