// The library's face over the core: the same readers, the same prepare step
// and analysis, the same formats as the command line.
#include "kappa/kappa.h"

#include <cmath>
#include <istream>
#include <iterator>
#include <new>
#include <utility>

#include "format/format.h"
#include "format/numbers.h"
#include "inference/prepare.h"
#include "inference/request.h"
#include "input/input.h"
#include "input/study_reader.h"
#include "library/rating_codes.h"

namespace kappa::api {

namespace detail {

struct StudyData {
    std::string file;
    InputOptions input;
    InputRead about;  // what the file was found to hold, without its groups
    StudyGroup group;

    static Study make(std::shared_ptr<const StudyData> data) {
        Study study;
        study.data_ = std::move(data);
        return study;
    }
    static const std::shared_ptr<const StudyData>& of(const Study& study) { return study.data_; }
};

struct PreparedData {
    std::shared_ptr<const StudyData> study;
    kappa::Study prepared;  // the study, without the subjects left out
    kappa::Prepared decided;

    static const PreparedData* of(const Prepared& prepared) { return prepared.data_.get(); }
    static void set(Prepared& prepared, std::shared_ptr<const PreparedData> data) { prepared.data_ = std::move(data); }
};

struct AnalysisData {
    Source source;
    kappa::Analysis analysis;

    static const AnalysisData* of(const Analysis& analysis) { return analysis.data_.get(); }
    static void set(Analysis& analysis, std::shared_ptr<const AnalysisData> data) { analysis.data_ = std::move(data); }
};

}  // namespace detail

namespace {

using detail::AnalysisData;
using detail::PreparedData;
using detail::StudyData;

std::string joined(const std::vector<std::string>& items) {
    std::string list;
    for (const std::string& item : items) list += (list.empty() ? "" : ",") + item;
    return list;
}

Error errorOf(const std::string& file, const InputError& error) {
    return Error{file, error.line, error.column, error.message};
}

// The layouts of the API in the order of their enumeration.
constexpr InputFormat kLayouts[] = {InputFormat::Table, InputFormat::Ratings, InputFormat::Long,
                                    InputFormat::Matrix, InputFormat::Counts};

// The reader's options, or why they cannot be.
std::optional<std::string> inputOptions(const ReadOptions& options, InputOptions& input) {
    input.format = kLayouts[static_cast<int>(options.layout)];
    input.weights = options.weights;
    input.delimiter = options.delimiter;
    input.header = options.header;
    input.headerConfirmed = options.headerConfirmed;
    input.columns = options.columns;
    input.id = options.id;
    input.by = options.by;
    input.categories = options.categories;
    input.missing = options.missing;
    input.ignoreCase = options.ignoreCase;
    // Which rater gave each rating is kept whatever is asked later (Conger's
    // kappa, leaving out incomplete subjects).
    input.keepRaters = true;
    if (!options.encoding.empty()) {
        const auto named = encodingNamed(options.encoding);
        if (!named)
            return "unknown encoding " + inQuotes(options.encoding) + " (expected " + std::string(kEncodingNames) + ")";
        input.encoding = *named;
    }
    if (input.weights && input.format != InputFormat::Table)
        return "weights from the file need the table layout (the weights are a column of the table)";
    if (input.format == InputFormat::Ratings && input.columns.size() == 1)
        return "columns names 1 rater's column; at least 2 are needed";
    return checkInputOptions(input);
}

template <typename ReadWith>
Read readStudies(const std::string& name, const ReadOptions& options, ReadWith readWith) {
    Read result;
    InputOptions input;
    if (const auto problem = inputOptions(options, input)) {
        result.error = Error{name, 0, 0, *problem};
        return result;
    }
    std::vector<StudyGroup> groups;
    InputRead about = readWith(input, [&](StudyGroup&& group, const InputRead&) { groups.push_back(std::move(group)); });
    if (about.error) {
        result.error = errorOf(name, *about.error);
        return result;
    }
    if (groups.empty()) {
        result.error = Error{name, 0, 0, "no ratings found"};
        return result;
    }
    for (StudyGroup& group : groups)
        result.studies.push_back(StudyData::make(std::make_shared<const StudyData>(
            StudyData{name, input, about, std::move(group)})));
    return result;
}

// The core's request, or why the request cannot be made.
std::optional<std::string> prepareOptions(const Request& request, const StudyData& study, PrepareOptions& options) {
    try {
        if (!request.coefficients.empty()) setCoefficients(options, joined(request.coefficients));
        options.request.weights = parseNames("--weights", "weights", joined(request.weights), kWeightings, weightingId);
        options.request.alternative =
            parseName("--alternative", "alternative", request.alternative, kAlternatives, alternativeId);
        if (!isConfidenceLevel(request.confidence))
            return "the confidence must be above 50 and below 100, not " + kappa::format::shortest(request.confidence);
        if (!isKappaUnderTest(request.kappa0)) return "kappa0 must be a finite number at most 1";
        options.request.confidence = request.confidence;
        options.request.kappa0 = request.kappa0;
        options.dropIncomplete = request.dropIncomplete;
        if (study.input.format == InputFormat::Counts) applyCountsRule(options, !request.coefficients.empty());
        checkWeightsApply(options.request, options.allCoefficients);
    } catch (const RequestError& e) {
        return e.message;
    }
    const auto& weights = options.request.weights;
    if (std::find(weights.begin(), weights.end(), Weighting::File) != weights.end() && !study.input.weights)
        return "weights from the file need a table read with its weight column (ReadOptions::weights)";
    return std::nullopt;
}

Interval intervalOf(const kappa::Interval& ci) { return Interval{ci.lower, ci.upper}; }

// The estimate's numbers as JSON gives them: no statistic where there is no test.
Estimate estimateOf(const kappa::Estimate& e) {
    Estimate out;
    out.coefficient = coefficientId(e.coefficient);
    out.weights = weightingId(e.weights);
    out.name = e.name;
    out.subjects = e.subjects;
    out.kappa = e.kappa;
    out.se = e.se;
    out.observed = e.observed;
    out.chance = e.chance;
    out.statistic = e.wald.zeroVariance ? kNotComputed : e.wald.statistic;
    out.pValue = e.wald.pValue;
    out.wald = intervalOf(e.wald.ci);
    for (const kappa::RestrictedTest& test : e.restricted) {
        const bool statistic = !test.negativeVariance && !test.zeroVariance;
        RestrictedTest& r = out.restricted.emplace_back();
        r.basis = basisId(test.basis);
        r.statistic = statistic ? test.statistic : kNotComputed;
        r.pValue = statistic ? test.pValue : kNotComputed;
        if (test.ciSet)
            for (const kappa::Interval& piece : *test.ciSet) r.ci.push_back(intervalOf(piece));
        r.independence = test.independenceZeroVariance ? kNotComputed : test.independence;
        r.independencePValue = test.independencePValue;
    }
    out.notes = e.notes;
    out.report = e.report;
    return out;
}

}  // namespace

std::string Error::what() const {
    std::string where = file == "-" ? "standard input" : file;
    if (line > 0) {
        where += (where.empty() ? "" : ":") + std::to_string(line);
        if (column > 0) where += ":" + std::to_string(column);
    }
    return where.empty() ? message : where + ": " + message;
}

const std::string& Study::file() const { return data_->file; }
const std::string& Study::group() const { return data_->group.group; }
std::int32_t Study::raters() const { return data_->input.format == InputFormat::Counts ? 0 : data_->group.study.R; }
std::int32_t Study::categories() const { return data_->group.study.K; }
const std::vector<std::string>& Study::labels() const { return data_->group.study.labels; }

std::optional<Layout> layoutNamed(std::string_view id) {
    for (std::size_t i = 0; i < std::size(kLayouts); ++i)
        if (inputFormatId(kLayouts[i]) == id) return static_cast<Layout>(i);
    return std::nullopt;
}

Read read(const std::string& path, const ReadOptions& options) {
    return readStudies(path, options, [&](const InputOptions& input, const TakeStudy& take) {
        return readInput(path, input, take);
    });
}

Read readBytes(std::string_view bytes, const ReadOptions& options, const std::string& name) {
    return readStudies(name, options, [&](const InputOptions& input, const TakeStudy& take) {
        return readInputBytes(bytes, input, take);
    });
}

Read read(std::istream& in, const ReadOptions& options, const std::string& name) {
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) {
        Read result;
        result.error = Error{name, 0, 0, "cannot read the stream"};
        return result;
    }
    return readBytes(bytes, options, name);
}

Read readCodes(const RatingCodes& ratings, const ReadOptions& options, const std::string& name) {
    ReadOptions asRatings = options;
    asRatings.layout = Layout::Ratings;
    return readStudies(name, asRatings, [&](const InputOptions& input, const TakeStudy& take) {
        InputRead about;
        InputDescription found;
        StudyGroup group;
        try {
            about.error = readRatingCodes(kappa::RatingCodes{ratings.codes, ratings.numbers, ratings.subjects, ratings.subjectStride,
                                                      ratings.raterStride, ratings.raters, ratings.labels},
                                          input, found, group);
        } catch (const std::bad_alloc&) {
            about.error = InputError{0, 0, "not enough memory to read the ratings"};
        }
        if (about.error) return about;
        about.delimiter = found.delimiter;
        about.ordered = found.ordered;
        take(std::move(group), about);
        return about;
    });
}

Prepared prepare(const Study& study, const Request& request) {
    Prepared result;
    const std::shared_ptr<const StudyData>& shared = StudyData::of(study);
    const StudyData& data = *shared;
    PrepareOptions options;
    if (const auto problem = prepareOptions(request, data, options)) {
        result.error = Error{data.file, 0, 0, *problem};
        return result;
    }
    auto prepared = std::make_shared<PreparedData>();
    prepared->study = shared;
    // A copy: leaving out incomplete subjects changes it, and the study may be prepared again.
    prepared->prepared = data.group.study;
    if (const auto error =
            kappa::prepare(prepared->prepared, data.input.format, data.about.ordered, options, prepared->decided)) {
        result.error = errorOf(data.file, *error);
        return result;
    }
    result.notes = prepared->decided.notes;
    PreparedData::set(result, std::move(prepared));
    return result;
}

Analysis analyse(const Prepared& prepared) {
    Analysis result;
    const PreparedData* data = PreparedData::of(prepared);
    if (prepared.error || !data) {
        result.error = prepared.error ? *prepared.error : Error{"", 0, 0, "the study was not prepared"};
        return result;
    }
    const StudyData& study = *data->study;
    auto analysed = std::make_shared<AnalysisData>();
    kappa::Analysis& a = analysed->analysis;
    a = kappa::analyse(data->prepared, data->decided.request);
    kappa::Prepared decided = data->decided;
    addPreparedNotes(a, study.about, study.group, std::move(decided));

    analysed->source = Source{study.file, std::nullopt, study.input.format, std::nullopt};
    if (!study.input.by.empty()) analysed->source.group = study.group.group;
    if (study.input.format != InputFormat::Table) analysed->source.delimiter = study.about.delimiter;

    result.raters = a.raters;
    result.categories = a.categories;
    result.labels = a.labels;
    result.subjects = a.subjects;
    result.dropped = a.dropped;
    result.confidence = a.confidence;
    result.kappa0 = a.kappa0;
    result.alternative = alternativeId(a.alternative);
    result.rawAgreement = a.rawAgreement;
    for (const kappa::Estimate& e : a.estimates) result.estimates.push_back(estimateOf(e));
    result.notes = a.notes;
    AnalysisData::set(result, std::move(analysed));
    return result;
}

std::string format(const Analysis& analysis, Format format) {
    const AnalysisData* data = AnalysisData::of(analysis);
    if (!data) return "";
    switch (format) {
    case Format::Text: return formatText(data->source, data->analysis);
    case Format::Json: return formatJson(data->source, data->analysis);
    case Format::Csv: return formatPreamble(OutputFormat::Csv) + formatCsv(data->source, data->analysis);
    }
    return "";
}

}  // namespace kappa::api
