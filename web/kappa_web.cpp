// The page's one call into the program: the command line, run on a file that
// the page has put in memory, once for each output (JSON with the plots, text,
// CSV). The file is read, analysed and diagnosed on the first run only; the
// later runs are given the same studies and results again, so that every
// output says what the command line would say and costs one reading.
#include <emscripten/bind.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/command_line.h"
#include "estimators/catalog.h"
#include "format/plot.h"
#include "inference/analysis.h"

namespace kappa {
namespace {

// The core's calls of the first run, kept for the later ones, which make the
// same calls in the same order.
class Replay {
public:
    Engine engine() {
        Engine engine;
        engine.read = [this](const std::string& path, const InputOptions& options, const TakeStudy& take) {
            if (!read_) {
                read_ = readInput(path, options, [&](StudyGroup&& group, const InputRead& about) {
                    groups_.emplace_back(group, about);
                    take(std::move(group), about);
                });
                return *read_;
            }
            for (const auto& [group, about] : groups_) take(StudyGroup(group), about);
            return *read_;
        };
        engine.analyse = [this](const Study& study, const AnalysisRequest& request) {
            if (analysed_ == analyses_.size()) analyses_.push_back(analyse(study, request));
            return analyses_[analysed_++];
        };
        engine.diagnose = [this](const Study& study, const AnalysisRequest& request,
                                 const DiagnosticsRequest& options) {
            if (diagnosed_ == diagnoses_.size()) diagnoses_.push_back(diagnose(study, request, options));
            return diagnoses_[diagnosed_++];
        };
        analysed_ = diagnosed_ = 0;
        return engine;
    }

private:
    std::optional<InputRead> read_;
    std::vector<std::pair<StudyGroup, InputRead>> groups_;
    std::vector<Analysis> analyses_;
    std::vector<Diagnostics> diagnoses_;
    std::size_t analysed_ = 0, diagnosed_ = 0;
};

std::string contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Runs the command line with `options` (its arguments before the file) on the
// file `name` of the in-memory file system. The result: the exit status, the
// messages of standard error, and each output (empty when the analysis failed).
emscripten::val analyseFile(const emscripten::val& options, const std::string& name) {
    const std::vector<std::string> given = emscripten::vecFromJSArray<std::string>(options);
    const std::string forest = "/tmp/kappa-forest.svg", pairs = pairsPlotPath(forest);
    std::remove(forest.c_str());
    std::remove(pairs.c_str());

    Replay replay;
    std::ostringstream errors;
    const auto run = [&](std::vector<std::string> extra, std::ostream& err) {
        std::vector<std::string> args = given;
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back("--");
        args.push_back(name);
        std::ostringstream out;
        const int status = runCommandLine(args, out, err, replay.engine());
        return std::pair{status, out.str()};
    };
    const auto [status, json] = run({"--format", "json", "--plot", forest}, errors);
    emscripten::val result = emscripten::val::object();
    result.set("status", status);
    result.set("errors", errors.str());
    result.set("json", json);
    if (status != kExitUsage) {
        std::ostringstream again;  // the same messages once more
        result.set("text", run({"--format", "text"}, again).second);
        result.set("csv", run({"--format", "csv"}, again).second);
        result.set("plot", contents(forest));
        result.set("pairsPlot", contents(pairs));
    }
    return result;
}

// The choices the page offers, from the program's catalogs: each
// coefficient, weighting and alternative with its id, its label and whether
// the command line takes it by default.
std::string catalog() {
    const AnalysisRequest defaults;
    nlohmann::json choices = {{"coefficients", nlohmann::json::array()},
                              {"weights", nlohmann::json::array()},
                              {"alternatives", nlohmann::json::array()}};
    const auto described = [](std::string_view label, std::string_view description) {
        return std::string(label) + (description.empty() ? "" : " (" + std::string(description) + ")");
    };
    for (const CoefficientEntry& c : kCoefficientCatalog)
        choices["coefficients"].push_back(
            {{"id", c.id},
             {"label", c.twoRaterName.empty() ? std::string(c.name)
                                              : std::string(c.name) + " (" + std::string(c.twoRaterName) + " for 2 raters)"},
             {"default", c.coefficient == defaults.coefficients.front()}});
    for (const WeightingEntry& w : kWeightingCatalog)
        choices["weights"].push_back({{"id", w.id},
                                      {"label", described(w.id, w.description)},
                                      {"default", w.weighting == defaults.weights.front()}});
    for (const AlternativeEntry& a : kAlternativeCatalog)
        choices["alternatives"].push_back({{"id", a.id},
                                           {"label", described(a.id, a.description)},
                                           {"default", a.alternative == defaults.alternative}});
    return choices.dump();
}

}  // namespace
}  // namespace kappa

EMSCRIPTEN_BINDINGS(kappa) {
    emscripten::function("analyseFile", &kappa::analyseFile);
    emscripten::function("catalog", &kappa::catalog);
}
