#include "cli/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "cli/options.h"
#include "format/format.h"
#include "format/numbers.h"
#include "input/printable.h"
#include "format/plot.h"
#include "input/study_builder.h"
#include "platform/platform.h"

namespace kappa {

namespace {

std::string displayName(const std::string& file) { return file == "-" ? "standard input" : file; }

std::string plural(std::int64_t n, const std::string& one, const std::string& many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "kappa: FILE:LINE:COLUMN: message", the line and column when known; the
// file's name, the group's and the message's texts from the file printable.
std::string locatedMessage(const std::string& file, const InputError& error,
                           const std::optional<std::string>& group = std::nullopt) {
    std::string where = displayName(file);
    if (error.line > 0) {
        where += ':';
        where += std::to_string(error.line);
        if (error.column > 0) {
            where += ':';
            where += std::to_string(error.column);
        }
    }
    return "kappa: " + printable(where + ": " + (group ? "group '" + *group + "': " : "") + error.message) + "\n";
}

// Where the results go: the caller's stream, or the --output file. The first
// failure to write is kept with its reason.
class Sink {
public:
    explicit Sink(std::ostream& stream) : stream_(&stream) {}
    explicit Sink(std::FILE* file) : file_(file) {}
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;
    ~Sink() {
        if (file_) std::fclose(file_);
    }

    void write(std::string_view text) {
        if (failed_ || text.empty()) return;
        errno = 0;
        const bool written =
            file_ ? std::fwrite(text.data(), 1, text.size(), file_) == text.size()
                  : static_cast<bool>(stream_->write(text.data(), static_cast<std::streamsize>(text.size())));
        if (!written) fail();
    }

    // Flushes the output (and closes the file); false when anything failed.
    bool finish() {
        errno = 0;
        if (file_) {
            if ((std::fflush(file_) != 0 || std::ferror(file_)) && !failed_) fail();
            errno = 0;
            if (std::fclose(file_) != 0 && !failed_) fail();
            file_ = nullptr;
        } else if (!failed_ && !stream_->flush()) {
            fail();
        }
        return !failed_;
    }

    // ": reason", when the system gave one.
    std::string reason() const { return error_ != 0 ? std::string(": ") + std::strerror(error_) : ""; }

private:
    void fail() {
        failed_ = true;
        error_ = errno;
    }

    std::ostream* stream_ = nullptr;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
    int error_ = 0;
};

// What the command line adds to a study before its analysis.
struct Prepared {
    AnalysisRequest request;
    std::vector<std::string> notes;  // about the analysis as a whole
    std::vector<Estimate> leftOut;   // asked for, but not estimated
};

// Coefficient c, asked for under --coefficients all, is left out of this
// study, with a note that says `why`.
void leaveOut(Prepared& prepared, Coefficient c, const std::string& why) {
    AnalysisRequest& request = prepared.request;
    if (std::find(request.coefficients.begin(), request.coefficients.end(), c) == request.coefficients.end()) return;
    std::erase(request.coefficients, c);
    const std::string name = c == Coefficient::Kappa ? "Hubert's kappa" : "Conger's kappa";
    prepared.notes.push_back(name + " is left out: " + why);
    for (const Weighting w : request.weights)
        if (takesWeights(c, w)) {
            Estimate& e = prepared.leftOut.emplace_back();
            e.coefficient = c;
            e.weights = w;
            e.name = name;
            e.notes = {prepared.notes.back()};
        }
}

bool requests(const AnalysisRequest& request, Coefficient c) {
    if (std::find(request.coefficients.begin(), request.coefficients.end(), c) == request.coefficients.end())
        return false;
    return std::any_of(request.weights.begin(), request.weights.end(),
                       [&](Weighting w) { return takesWeights(c, w); });
}

// Checks the study against the program's limits and the request, and applies
// the rules for missing ratings: Hubert's kappa needs every rater's rating of
// every subject, so a study with incomplete subjects is refused, or with
// --drop-incomplete they are left out for every coefficient (all estimates
// of a run describe the same subjects), or with --coefficients all kappa is
// left out with a note.
std::optional<InputError> prepare(Study& study, bool ordered, const CommandLine& cl, Prepared& prepared) {
    const auto error = [](std::string message, std::int64_t line = 0) {
        return InputError{line, 0, std::move(message)};
    };
    prepared.request = cl.request;
    AnalysisRequest& request = prepared.request;

    const bool counts = cl.input.format == InputFormat::Counts;
    if (study.R < 2 && !counts) return error("found " + plural(study.R, "rater", "raters") + "; at least 2 are needed");
    if (study.K < 2)
        return error("found " + plural(study.K, "category", "categories") +
                     "; at least 2 are needed (--categories also counts categories that nobody chose)");

    if (counts)
        for (const Coefficient c : {Coefficient::Kappa, Coefficient::Conger})
            leaveOut(prepared, c, "it needs each rater's ratings, and counts of ratings per subject name no raters");

    // Hubert's kappa needs the table of response patterns, which only a
    // study within its limits has.
    const bool fits = hasPatternTable(study) && study.R <= kMaxRaters &&
                      std::pow(static_cast<double>(study.K), static_cast<double>(study.R)) <= kMaxPatterns;
    if (!fits && requests(request, Coefficient::Kappa)) {
        const double patterns = std::pow(static_cast<double>(study.K), static_cast<double>(study.R));
        const std::string beyond =
            "needs the table of all K^R response patterns, which takes at most " +
            std::to_string(kMaxRaters) + " raters and 1,048,576 patterns, and " +
            plural(study.R, "rater", "raters") + " and " + plural(study.K, "category", "categories") + " make K^R = " +
            std::to_string(study.K) + "^" + std::to_string(study.R) +
            (patterns < 0x1p53 ? " = " + format::shortest(patterns) : std::string());
        if (!cl.allCoefficients)
            return error("Hubert's kappa " + beyond +
                         ": --coefficients fleiss,conger,gwet,bp,alpha,percent have no such limit");
        leaveOut(prepared, Coefficient::Kappa, "it " + beyond + "; the other coefficients have no such limit");
    }

    std::int64_t incomplete = 0, firstLine = 0;
    for (const IncompleteSubjects& group : study.incomplete) {
        incomplete += group.count;
        if (group.firstLine > 0 && (firstLine == 0 || group.firstLine < firstLine)) firstLine = group.firstLine;
    }
    if (!hasPatternTable(study) && !counts)
        for (std::size_t p = 0; p < study.profiles.size(); ++p)
            if (study.profiles.ratings(p) < study.R) incomplete += study.profiles.subjects(p);
    // What analyses subjects with missing ratings: the coefficients that use
    // them (unless only the file's weights, which they do not take, are asked).
    const bool otherCoefficientsFit = std::any_of(request.weights.begin(), request.weights.end(),
                                                  [](Weighting w) { return w != Weighting::File; });
    const std::string useThem =
        otherCoefficientsFit ? "--coefficients fleiss,gwet,alpha use every subject, whatever ratings it lacks" : "";
    if (incomplete > 0) {
        if (cl.dropIncomplete) {
            study.dropped += incomplete;
            if (hasPatternTable(study))
                study.incomplete.clear();
            else
                study = completeSubjectsOf(study);
            incomplete = 0;
        } else if (requests(request, Coefficient::Kappa)) {
            const std::string count = plural(incomplete, "subject has", "subjects have") + " missing ratings";
            if (!cl.allCoefficients)
                return error("a subject with a missing rating: Hubert's kappa needs every rater's rating of every "
                             "subject, and " + count + ": " + (useThem.empty() ? "" : useThem + "; ") +
                             "--drop-incomplete leaves such subjects out",
                             firstLine);
            leaveOut(prepared, Coefficient::Kappa,
                     count + ", and it needs every rater's rating of every subject (--drop-incomplete leaves such "
                             "subjects out of every coefficient)");
        }
    }

    for (const Coefficient c : request.coefficients)
        for (const Weighting w : request.weights)
            if (!ordered && takesWeights(c, w) && w != Weighting::None && w != Weighting::File) {
                std::string labels;
                for (const std::string& label : study.labels) labels += (labels.empty() ? "" : ", ") + label;
                return error(std::string(weightingId(w)) + " weights need ordered categories, but the categories " +
                             "are text labels without an order (" + labels +
                             "): give them in their order with --categories");
            }

    std::int64_t subjects = completeSubjects(study) + incomplete;
    if (!hasPatternTable(study)) {
        subjects = 0;
        for (std::size_t p = 0; p < study.profiles.size(); ++p) subjects += study.profiles.subjects(p);
    }
    if (subjects < 3 && study.dropped > 0 && cl.dropIncomplete)
        return error("--drop-incomplete leaves " + (subjects == 0 ? std::string("no subject") : plural(subjects, "subject", "subjects")) +
                     ", since " + plural(study.dropped, "subject has", "subjects have") +
                     " missing ratings, and at least 3 are needed" + (useThem.empty() ? "" : ": " + useThem));
    if (subjects < 3) return error("found " + plural(subjects, "subject", "subjects") + "; at least 3 are needed");
    return std::nullopt;
}

// Analyses every group of one file as soon as the reader has built it, and
// writes the results. False when the file, or one of its groups, could not be
// analysed.
bool analyseFile(const std::string& path, const CommandLine& cl, const Engine& engine, Sink& sink,
                 std::ostream& err, bool& first, SummaryTable& summary, Plots& plots) {
    bool analysed = true, anyGroup = false;
    const auto analyseGroup = [&](StudyGroup&& group, const InputRead& about) {
        anyGroup = true;
        std::optional<std::string> groupName;
        if (!cl.input.by.empty()) groupName = group.group;
        Prepared prepared;
        if (const auto error = prepare(group.study, about.ordered, cl, prepared)) {
            err << locatedMessage(path, *error, groupName);
            analysed = false;
            return;
        }
        Analysis analysis = engine.analyse(group.study, prepared.request);
        analysis.notes.insert(analysis.notes.end(), about.notes.begin(), about.notes.end());
        analysis.notes.insert(analysis.notes.end(), group.notes.begin(), group.notes.end());
        analysis.notes.insert(analysis.notes.end(), prepared.notes.begin(), prepared.notes.end());
        analysis.leftOut = std::move(prepared.leftOut);
        if (cl.diagnostics) analysis.diagnostics = engine.diagnose(group.study, prepared.request, cl.pairs);

        Source source{path, groupName, cl.input.format, std::nullopt};
        if (cl.input.format != InputFormat::Table) source.delimiter = about.delimiter;
        if (cl.plot) plots.add(source, analysis);
        if (cl.format == OutputFormat::Summary) {
            summary.add(source, analysis);  // written at the end, aligned over every file
            return;
        }
        if (!first) sink.write(formatSeparator(cl.format));
        first = false;
        sink.write(formatAnalysis(cl.format, source, analysis));
    };
    const InputRead read = engine.read(path, cl.input, analyseGroup);
    if (read.error) {
        err << locatedMessage(path, *read.error);
        return false;
    }
    if (!anyGroup) {
        err << locatedMessage(path, InputError{0, 0, "no ratings found"});
        return false;
    }
    return analysed;
}

// The input that `output` is (standard input too): opening it for writing
// would empty it. Only a regular file can be emptied.
std::optional<std::string> inputAt(const CommandLine& cl, const std::string& output) {
    const auto written = platform::regularFileIdentity(output);
    if (!written) return std::nullopt;
    for (const std::string& file : cl.files)
        if (platform::regularFileIdentity(file) == written) return file;
    return std::nullopt;
}

// Writes `text` to the file at `path`; false, with a message on `err`, when it cannot.
bool writeFile(const std::string& path, const std::string& text, std::ostream& err) {
    std::FILE* opened = platform::openForWriting(path);
    if (!opened) {
        err << "kappa: cannot open " << printable(path) << " for writing: " << std::strerror(errno) << "\n";
        return false;
    }
    Sink sink(opened);
    sink.write(text);
    if (sink.finish()) return true;
    err << "kappa: error writing " << printable(path) << sink.reason() << "\n";
    return false;
}

int usageError(std::ostream& err, const std::string& message) {
    err << "kappa: " << printable(message) << "\nTry 'kappa --help'.\n";
    return kExitUsage;
}

}  // namespace

int runCommandLine(std::span<const std::string> args, std::ostream& out, std::ostream& err, const Engine& engine) {
    const ParsedArguments parsed = parseArguments(args);
    if (parsed.action == ParsedArguments::Action::UsageError) return usageError(err, parsed.text);
    if (parsed.action != ParsedArguments::Action::Run) {
        Sink sink(out);
        sink.write(parsed.text);
        if (sink.finish()) return kExitAnalysed;
        err << "kappa: error writing standard output" << sink.reason() << "\n";
        return kExitFailed;
    }

    const CommandLine& cl = parsed.commandLine;
    std::optional<Sink> file;
    std::vector<std::pair<std::string, std::string>> outputs;  // option and file
    const bool toFile = cl.output && *cl.output != "-";
    if (toFile) outputs.emplace_back("--output", *cl.output);
    if (cl.plot) {
        outputs.emplace_back("--plot", *cl.plot);
        if (cl.diagnostics) outputs.emplace_back("--plot", pairsPlotPath(*cl.plot));
    }
    for (const auto& [option, path] : outputs)
        if (const auto input = inputAt(cl, path))
            return usageError(err, option + " " + path + " is " +
                                       (*input == "-" ? std::string("standard input") : "the input file " + *input) +
                                       ": writing it would empty it");
    if (toFile) {
        std::FILE* opened = platform::openForWriting(*cl.output);
        if (!opened) {
            err << "kappa: cannot open " << printable(*cl.output) << " for writing: " << std::strerror(errno) << "\n";
            return kExitFailed;
        }
        file.emplace(opened);
    }
    std::optional<Sink> standard;
    if (!file) standard.emplace(out);
    Sink& sink = file ? *file : *standard;

    sink.write(formatPreamble(cl.format, cl.diagnostics));
    bool allAnalysed = true, first = true;
    SummaryTable summary;
    Plots plots;
    for (const std::string& path : cl.files) {
        try {
            allAnalysed = analyseFile(path, cl, engine, sink, err, first, summary, plots) && allAnalysed;
        } catch (const std::bad_alloc&) {
            err << locatedMessage(path, InputError{0, 0, "not enough memory to analyse this file"});
            allAnalysed = false;
        }
    }
    sink.write(summary.text());
    if (!sink.finish()) {
        err << "kappa: error writing " << (file ? printable(*cl.output) : "standard output") << sink.reason() << "\n";
        return kExitFailed;
    }
    if (cl.plot) {
        bool plotted = writeFile(*cl.plot, plots.forestPlot(), err);
        if (cl.diagnostics) plotted = writeFile(pairsPlotPath(*cl.plot), plots.pairsPlot(), err) && plotted;
        if (!plotted) return kExitFailed;
    }
    return allAnalysed ? kExitAnalysed : kExitFailed;
}

}  // namespace kappa
