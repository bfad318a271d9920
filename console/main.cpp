// kappa: agreement among R raters, on the terminal.
#include <cstdio>

#include "console/program.h"
#include "console/terminal_console.h"

int main() {
    kappa::TerminalConsole console;
    const int status = kappa::runProgram(console);
    std::fflush(stdout);
    return status;
}
