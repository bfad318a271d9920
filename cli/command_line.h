// The command line: one analysis per FILE (and per group of a --by column),
// no questions, results in text, JSON or CSV.
#pragma once

#include <functional>
#include <ostream>
#include <span>
#include <string>

#include "inference/analysis.h"
#include "input/input.h"

namespace kappa {

// Exit statuses of the command line.
inline constexpr int kExitAnalysed = 0;  // every FILE was analysed and printed
inline constexpr int kExitFailed = 1;    // some FILE could not be analysed, or the output could not be written
inline constexpr int kExitUsage = 2;     // a usage error: nothing was analysed

// The calls into the core; tests put stand-ins in their place.
struct Engine {
    std::function<InputRead(const std::string& path, const InputOptions& options, const TakeStudy& take)> read =
        [](const std::string& path, const InputOptions& options, const TakeStudy& take) {
            return readInput(path, options, take);
        };
    std::function<Analysis(const Study& study, const AnalysisRequest& request)> analyse = kappa::analyse;
    std::function<Diagnostics(const Study& study, const AnalysisRequest& request, const DiagnosticsRequest& options)>
        diagnose = [](const Study& study, const AnalysisRequest& request, const DiagnosticsRequest& options) {
            return kappa::diagnose(study, request, options);
        };
};

// Runs the command line on `args` (the arguments after the program's name).
// Results go to `out`, or to the --output file; help and version to `out`;
// messages to `err`. Checks that every result was written (a failure is
// reported on `err`) and returns the exit status.
int runCommandLine(std::span<const std::string> args, std::ostream& out, std::ostream& err,
                   const Engine& engine = {});

}  // namespace kappa
