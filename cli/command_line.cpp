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
#include "inference/prepare.h"
#include "format/format.h"
#include "input/printable.h"
#include "format/plot.h"
#include "platform/platform.h"

namespace kappa {

namespace {

std::string displayName(const std::string& file) { return file == "-" ? "standard input" : file; }

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
    std::string reason() const { return error_ != 0 ? std::string(": ") + platform::errorText(error_) : ""; }

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
        if (const auto error = prepare(group.study, cl.input.format, about.ordered, cl.prepare, prepared)) {
            err << locatedMessage(path, *error, groupName);
            analysed = false;
            return;
        }
        Analysis analysis = engine.analyse(group.study, prepared.request);
        if (cl.diagnostics) analysis.diagnostics = engine.diagnose(group.study, prepared.request, cl.pairs);
        addPreparedNotes(analysis, about, group, std::move(prepared));

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
        err << "kappa: cannot open " << printable(path) << " for writing: " << platform::errorText(errno) << "\n";
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
            err << "kappa: cannot open " << printable(*cl.output) << " for writing: " << platform::errorText(errno) << "\n";
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
