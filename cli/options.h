// The command line's options: what a run reads, how it analyses each study,
// and how it prints the results.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "format/format.h"
#include "inference/analysis.h"
#include "inference/prepare.h"
#include "input/input.h"

namespace kappa {

struct CommandLine {
    InputOptions input;
    // What to estimate; --coefficients all (allCoefficients) and --drop-incomplete.
    PrepareOptions prepare;
    bool diagnostics = false;     // --diagnostics: where the raters disagree
    DiagnosticsRequest pairs;     // --pairs
    OutputFormat format = OutputFormat::Text;
    std::optional<std::string> output;  // --output; standard output when absent
    std::optional<std::string> plot;    // --plot: the forest plot's file
    std::vector<std::string> files;     // never empty; "-" is standard input
};

// What the arguments ask for.
struct ParsedArguments {
    enum class Action { Run, Help, Version, UsageError };
    Action action = Action::Run;
    CommandLine commandLine;  // Run
    std::string text;         // Help and Version: what to print; UsageError: the message
};

// Parses the arguments (without the program's name) and checks every value
// and every combination of options; a usage error names what was expected and
// what was found.
ParsedArguments parseArguments(std::span<const std::string> args);

}  // namespace kappa
