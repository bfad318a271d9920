#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "inference/request.h"
#include "input/decoding.h"
#include "input/layouts.h"
#include "input/study_reader.h"
#include "platform/compat.h"

namespace kappa {

namespace {

// A usage error: the command line asks for something that cannot be done.
using UsageError = RequestError;


// At least 2 raters and at most 1,048,576 response patterns K^R: K <= 1024.

constexpr const char* kDescription =
    "kappa: agreement among R raters, with standard errors, tests and confidence intervals.\n"
    "Without arguments kappa asks its questions (the dialogue); with options or files it analyses\n"
    "each FILE without questions and prints the results.\n";

constexpr const char* kFooter =
    "Examples:\n"
    "  text, Cohen's kappa of a table of response patterns:\n"
    "    kappa examples/Kappa_data.txt\n"
    "  json, Hubert's kappa unweighted and with quadratic and linear weights:\n"
    "    kappa --weights none,quadratic,linear --format json \\\n"
    "          examples/Weighted_Kappa_data_linear_quadratic.txt\n"
    "  csv, every coefficient of a ratings file with ordered text labels and empty cells:\n"
    "    kappa --input ratings --id patient --categories none,mild,moderate,severe --drop-incomplete \\\n"
    "          --coefficients all --format csv examples/ratings.csv\n"
    "  one-sided: is Cohen's kappa above 0.6?\n"
    "    kappa --kappa0 0.6 --alternative greater examples/Kappa_data.txt\n"
    "  where three raters disagree: each pair, each rater, each category:\n"
    "    kappa --input ratings --id patient --categories none,mild,moderate,severe \\\n"
    "          --coefficients fleiss --diagnostics examples/ratings.csv\n"
    "  counts of ratings per subject (a column per category), Fleiss' kappa, any number of raters:\n"
    "    kappa --input counts examples/counts.csv\n"
    "\n"
    "Weights: 'ordinal' is Gwet's (irrCAC's), from the ranks of the categories alone;\n"
    "'krippendorff-ordinal' is Krippendorff's ordinal metric, from the frequencies of the\n"
    "values (as in Krippendorff 2011 and the common alpha packages).\n"
    "\n"
    "Exit status: 0 when every FILE was analysed, 1 when some FILE could not be (the others are\n"
    "still analysed) or the output could not be written, 2 on a usage error (nothing is analysed).\n"
    "See kappa(1) for the input formats and the output fields.";

// A decimal number: the whole text, in the C locale's notation whatever the locale.
std::optional<double> parseNumber(std::string_view text) {
    std::string s = trim(text);
    std::string_view digits = s;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    double x = 0.0;
    const auto [end, error] = fromChars(digits.data(), digits.data() + digits.size(), x);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return x;
}

char parseDelimiter(const std::string& value) {
    if (value == "\\t" || value == "\t") return '\t';
    if (value == "," || value == ";" || value == "|" || value == " ") return value.front();
    throw UsageError{"--delimiter must be one of '\\t', ',', ';', '|' or ' ' (runs of blanks), not " +
                     inQuotes(value)};
}

// "table (default), ratings, long, matrix or counts": the layouts --input takes.
std::string inputLayoutsHelp() {
    std::vector<std::string> names;
    for (const InputLayout& layout : kInputLayouts)
        names.push_back(std::string(layout.id) + (layout.format == InputOptions{}.format ? " (default)" : ""));
    return orList(names);
}

// An option that only some layouts take, given for `layout`; `why` says
// why the others do not.
void checkApplies(const CLI::Option* option, InputOption taken, const InputLayout& layout, std::string_view why) {
    if (option->count() == 0 || layout.accepts.contains(taken)) return;
    throw UsageError{option->get_name() + " does not apply to --input " + std::string(layout.id) + " (" +
                     std::string(why) + ")"};
}

// Labels and column names are compared with the text of a file, which is
// read as UTF-8 whatever its encoding: so must they be given.
void checkUtf8(const CLI::Option* option, const std::string& value) {
    if (option->count() == 0) return;
    if (const auto at = firstNonUtf8(value))
        throw UsageError{option->get_name() + " holds byte " + hexBytes(value.substr(*at, 1)) +
                         ", which is not UTF-8: give labels and column names in UTF-8 (--encoding says how the file is "
                         "written; its text is compared in UTF-8)"};
}

// Help text broken into lines of about `width` characters at blanks outside brackets.
std::string wrapped(std::string_view text, std::size_t width = 60) {
    // The next blank outside brackets, or npos.
    const auto nextBreak = [](std::string_view s) {
        int depth = 0;
        for (std::size_t i = 0; i < s.size(); ++i) {
            depth += s[i] == '(' ? 1 : s[i] == ')' ? -1 : 0;
            if (s[i] == ' ' && depth == 0) return i;
        }
        return std::string_view::npos;
    };
    std::string lines;
    std::size_t lineStart = 0;
    while (!text.empty()) {
        const auto blank = nextBreak(text);
        const std::string_view word = text.substr(0, blank);
        if (lines.size() > lineStart && lines.size() - lineStart + 1 + word.size() > width) {
            lines += '\n';
            lineStart = lines.size();
        } else if (lines.size() > lineStart) {
            lines += ' ';
        }
        lines += word;
        text.remove_prefix(blank == std::string_view::npos ? text.size() : blank + 1);
    }
    return lines;
}

// The choices of a catalog as --help lists them: "a (default), b (what b
// is) or c", or "a, b, or all" with a last choice outside the catalog.
template <typename Entry, std::size_t N, typename Item>
std::string choices(const std::array<Entry, N>& catalog, Item Entry::*item, Item byDefault,
                    std::string_view orElse = "") {
    std::vector<std::string> items;
    for (const Entry& entry : catalog) {
        std::string text(entry.id);
        const bool isDefault = entry.*item == byDefault;
        if (isDefault || !entry.description.empty())
            text += std::string(" (") + (isDefault ? "default" : "") +
                    (isDefault && !entry.description.empty() ? ": " : "") + std::string(entry.description) + ")";
        items.push_back(std::move(text));
    }
    if (!orElse.empty()) {
        items.back() += ",";  // "..., percent, or all"
        items.emplace_back(orElse);
    }
    return orList(items);
}

// CLI11's own messages, in the words of the other messages.
std::string parseErrorMessage(const CLI::ParseError& e) {
    std::string message = e.what();
    const auto colon = message.find(": ");
    if (colon != std::string::npos && message.find("required") != std::string::npos &&
        message.find("missing") != std::string::npos)
        return "option " + message.substr(0, colon) + " needs a value";
    if (message.find("flag override") != std::string::npos)
        return "option --" + message.substr(0, message.find(' ')) + " takes no value";
    if (!message.empty() && message.front() >= 'A' && message.front() <= 'Z')
        message.front() = static_cast<char>(message.front() - 'A' + 'a');
    return message;
}

}  // namespace

ParsedArguments parseArguments(std::span<const std::string> args) {
    ParsedArguments parsed;
    CommandLine& cl = parsed.commandLine;

    CLI::App app{kDescription, "kappa"};
    app.footer(kFooter);
    app.allow_extras();
    // Options begin with '-' on every system: on Windows too, an absolute
    // path such as /data/x.csv is a file.
    app.allow_windows_style_options(false);
    app.set_help_flag("-h,--help", "print this help and exit");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.get_formatter()->column_width(26);

    std::string input, delimiter, encoding, columns, id, by, categories, missing, coefficients, weights, confidence,
        kappa0, alternative, format, output, pairs, plot;
    bool noHeader = false, header = false, ignoreCase = false, dropIncomplete = false, diagnostics = false;
    std::vector<std::string> files;

    const auto option = [&](const char* names, std::string& value, const char* type, const std::string& help) {
        return app.add_option(names, value, help)->type_name(type);
    };
    CLI::Option* inputOption =
        option("-i,--input", input, "FORMAT", inputLayoutsHelp().c_str());
    CLI::Option* delimiterOption =
        option("-d,--delimiter", delimiter, "CHAR",
               "'\\t', ',', ';', '|' or ' ' (runs of blanks); default: TAB for\na table, found from the first line otherwise");
    CLI::Option* encodingOption =
        option("--encoding", encoding, "NAME",
               "utf-8, utf-16, utf-16le, utf-16be, latin1 or cp1252; default:\n"
               "UTF-8, or UTF-16 with a byte-order mark");
    CLI::Option* noHeaderOption =
        app.add_flag("--no-header", noHeader, "the file has no header line (ratings, long, counts)")
            ->disable_flag_override();
    CLI::Option* headerOption =
        app.add_flag("--header", header,
                     "the first line names the columns, even when it looks like\na row of ratings (ratings, long, "
                     "counts)")
            ->disable_flag_override();
    CLI::Option* columnsOption =
        option("--columns", columns, "LIST",
               "ratings: the raters' columns, by name or 1-based number\n(default: all but --id and --by); "
               "long: subject,rater,category");
    CLI::Option* idOption = option("--id", id, "COLUMN", "the subject identifier column (ratings, counts)");
    CLI::Option* byOption = option("--by", by, "COLUMN", "one analysis per value of this column (ratings, long)");
    CLI::Option* categoriesOption =
        option("-K,--categories", categories, "N|LIST",
               "the number of categories N (labels 1..N), or the labels in\norder (default: found in the file)");
    CLI::Option* ignoreCaseOption =
        app.add_flag("--ignore-case", ignoreCase,
                     "labels that differ only in case or surrounding blanks are\none category (default: refused)")
            ->disable_flag_override();
    CLI::Option* missingOption =
        option("--missing", missing, "LIST",
               "the fields that mean \"not rated\", an empty item the empty\nfield (default: the empty field and NA)");
    CLI::Option* dropOption =
        app.add_flag("--drop-incomplete", dropIncomplete, "leave out subjects with a missing rating")
            ->disable_flag_override();
    const AnalysisRequest defaults;
    CLI::Option* coefficientsOption =
        option("-C,--coefficients", coefficients, "LIST",
               wrapped(choices(kCoefficientCatalog, &CoefficientEntry::coefficient, defaults.coefficients.front(),
                               "all")));
    CLI::Option* weightsOption =
        option("-w,--weights", weights, "LIST",
               wrapped(choices(kWeightingCatalog, &WeightingEntry::weighting, defaults.weights.front())));
    CLI::Option* confidenceOption =
        option("-c,--confidence", confidence, "PCT", "the confidence level of the intervals, 50 < PCT < 100\n(default 95)");
    CLI::Option* kappa0Option = option("-k,--kappa0", kappa0, "VALUE", "the kappa under test, at most 1 (default 0)");
    CLI::Option* alternativeOption =
        option("--alternative", alternative, "SIDE",
               wrapped(choices(kAlternativeCatalog, &AlternativeEntry::alternative, defaults.alternative) +
                       ": the tests' tail and the intervals' bounds"));
    CLI::Option* diagnosticsOption = app.add_flag("--diagnostics", diagnostics,
                     "where the raters disagree: pairs of raters, each rater, each\ncategory, the cross-table of two "
                     "raters")
            ->disable_flag_override();
    CLI::Option* pairsOption =
        option("--pairs", pairs, "WHICH",
               "auto (default: pairs and raters listed up to 50 raters) or\nall (--diagnostics)");
    CLI::Option* plotOption =
        option("--plot", plot, "FILE.svg",
               "write a forest plot of every estimate to FILE.svg (with\n--diagnostics also FILE-pairs.svg)");
    CLI::Option* formatOption =
        option("-f,--format", format, "FORMAT",
               wrapped(choices(kOutputFormatCatalog, &OutputFormatEntry::format, CommandLine{}.format)));
    CLI::Option* outputOption =
        option("-o,--output", output, "FILE", "write to FILE instead of standard output ('-'); never to\nan input");
    app.set_version_flag("-V,--version", "kappa " KAPPA_VERSION, "print the version and exit");
    app.add_option("FILE", files, "a data file; '-' or none: standard input")->type_name("");

    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
        app.parse(reversed);
        for (const std::string& extra : app.remaining()) {
            if (extra == "--") continue;  // the end of the options
            throw UsageError{(extra.size() > 1 && extra.front() == '-' ? "unknown option " : "unexpected argument ") +
                             inQuotes(extra)};
        }

        if (inputOption->count())
            cl.input.format =
                parseName("--input", "input format", input, kInputLayouts, [](const InputLayout& l) { return l.id; })
                    .format;
        if (formatOption->count())
            cl.format = parseName("--format", "output format", format, kOutputFormats, outputFormatId);
        if (delimiterOption->count()) cl.input.delimiter = parseDelimiter(delimiter);
        if (noHeader && header) throw UsageError{"--header and --no-header contradict each other"};
        if (encodingOption->count()) {
            const auto named = encodingNamed(encoding);
            if (!named)
                throw UsageError{"unknown encoding " + inQuotes(encoding) + " in --encoding (expected " +
                                 std::string(kEncodingNames) + ")"};
            cl.input.encoding = *named;
        }
        for (const auto& [option, value] : {std::pair{columnsOption, &columns}, std::pair{idOption, &id},
                                            std::pair{byOption, &by}, std::pair{categoriesOption, &categories},
                                            std::pair{missingOption, &missing}})
            checkUtf8(option, *value);
        cl.input.header = !noHeader;
        cl.input.headerConfirmed = header;
        cl.input.ignoreCase = ignoreCase;
        if (columnsOption->count()) {
            cl.input.columns = splitList(columns);
            for (const std::string& column : cl.input.columns)
                if (column.empty()) throw UsageError{"empty column in --columns " + inQuotes(columns)};
        }
        if (idOption->count()) cl.input.id = id;
        if (byOption->count()) cl.input.by = by;
        if (categoriesOption->count()) cl.input.categories = splitList(categories);
        if (missingOption->count()) {
            cl.input.missing.clear();
            for (const std::string& token : splitList(missing))
                if (std::find(cl.input.missing.begin(), cl.input.missing.end(), token) == cl.input.missing.end())
                    cl.input.missing.push_back(token);
        }
        cl.prepare.dropIncomplete = dropIncomplete;

        if (coefficientsOption->count()) setCoefficients(cl.prepare, coefficients);
        if (weightsOption->count())
            cl.prepare.request.weights = parseNames("--weights", "weights", weights, kWeightings, weightingId);
        cl.input.weights = std::find(cl.prepare.request.weights.begin(), cl.prepare.request.weights.end(), Weighting::File) !=
                           cl.prepare.request.weights.end();

        if (confidenceOption->count()) {
            const auto pct = parseNumber(confidence);
            if (!pct || !isConfidenceLevel(*pct))
                throw UsageError{"--confidence must be a number above 50 and below 100, not " + inQuotes(confidence)};
            cl.prepare.request.confidence = *pct;
        }
        if (kappa0Option->count()) {
            const auto k0 = parseNumber(kappa0);
            if (!k0 || !isKappaUnderTest(*k0))
                throw UsageError{"--kappa0 must be a finite number at most 1, not " + inQuotes(kappa0)};
            cl.prepare.request.kappa0 = *k0;
        }
        if (alternativeOption->count())
            cl.prepare.request.alternative = parseName("--alternative", "alternative", alternative, kAlternatives, alternativeId);
        if (outputOption->count()) cl.output = output;
        cl.diagnostics = diagnostics;
        if (pairsOption->count()) {
            if (!diagnostics) throw UsageError{"--pairs needs --diagnostics"};
            if (pairs != "auto" && pairs != "all")
                throw UsageError{"unknown value " + inQuotes(pairs) + " in --pairs (expected auto or all)"};
            cl.pairs.allPairs = pairs == "all";
        }
        if (diagnostics && cl.format == OutputFormat::Summary)
            throw UsageError{"--diagnostics needs --format text, json or csv (the summary has one row per estimate)"};
        if (plotOption->count()) {
            if (plot.empty() || plot == "-")
                throw UsageError{"--plot needs a file name (standard output holds the results)"};
            cl.plot = plot;
        }

        // What each input layout takes (the catalog says which), and why the others do not.
        const InputFormat in = cl.input.format;
        const InputLayout& layout = inputLayout(in);
        using enum InputFormat;
        using enum InputOption;
        checkApplies(noHeaderOption, Header, layout, "only ratings, long and counts files have a header line");
        checkApplies(headerOption, Header, layout, "only ratings, long and counts files have a header line");
        checkApplies(ignoreCaseOption, IgnoreCase, layout, "it is about the labels of categories");
        checkApplies(columnsOption, Columns, layout, "it picks columns of ratings and long files");
        checkApplies(idOption, Id, layout, "it names a column of a ratings or counts file");
        checkApplies(byOption, By, layout, "it names a column of ratings and long files");
        checkApplies(missingOption, Missing, layout, "a cross-table and counts hold counts, not ratings");
        checkApplies(dropOption, DropIncomplete, layout,
                     "counts of ratings per subject name no raters, so no subject lacks a rater's rating");
        checkApplies(diagnosticsOption, Diagnostics, layout,
                     "its tables are of raters and their pairs, and counts of ratings per subject name no raters");
        if (in == Counts) {
            // Counts name no raters: Fleiss' kappa by default, and no coefficient that needs raters.
            applyCountsRule(cl.prepare, coefficientsOption->count() > 0);
        }
        if (cl.input.weights && !layout.accepts.contains(FileWeights))
            throw UsageError{"--weights file needs --input table (the weights are a column of the table), not --input " +
                             std::string(layout.id)};
        if (const auto problem = checkInputOptions(cl.input)) throw UsageError{*problem};
        if (in == Ratings && cl.input.columns.size() == 1)
            throw UsageError{"--columns names 1 rater's column; at least 2 are needed"};

        checkWeightsApply(cl.prepare.request, cl.prepare.allCoefficients);
        // Conger's kappa, leaving out incomplete subjects and the diagnostics need
        // to know which rater gave each rating, beyond the table of response patterns too.
        cl.input.keepRaters = keepsRaters(cl.prepare, cl.diagnostics);

        cl.files = files.empty() ? std::vector<std::string>{"-"} : files;
        if (std::count(cl.files.begin(), cl.files.end(), "-") > 1)
            throw UsageError{"standard input ('-') is named twice: it can be read only once"};
    } catch (const CLI::CallForHelp&) {
        parsed.action = ParsedArguments::Action::Help;
        parsed.text = app.help();
    } catch (const CLI::CallForVersion& version) {
        parsed.action = ParsedArguments::Action::Version;
        parsed.text = std::string(version.what()) + "\n";
    } catch (const CLI::ParseError& e) {
        parsed.action = ParsedArguments::Action::UsageError;
        parsed.text = parseErrorMessage(e);
    } catch (const UsageError& e) {
        parsed.action = ParsedArguments::Action::UsageError;
        parsed.text = e.message;
    }
    return parsed;
}

}  // namespace kappa
