// kappa._kappa: the library's read, prepare, analyse and format for the
// Python package, which hands it a path, bytes, or ratings as an array of
// codes, and the options. The GIL is released while the study is read and
// analysed; an analysis is formatted only when asked.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "kappa/kappa.h"

namespace py = pybind11;
namespace api = kappa::api;

namespace {

// A refusal: file, line, column, message.
using Refusal = std::tuple<std::string, std::int64_t, std::int64_t, std::string>;
// A refusal, or each study's analysis.
using Outcome = std::pair<std::optional<Refusal>, std::vector<api::Analysis>>;

api::Layout layoutNamed(const std::string& name) {
    if (const auto layout = api::layoutNamed(name)) return *layout;
    throw py::value_error("unknown layout '" + name + "' (expected table, ratings, long, matrix or counts)");
}

// The options of kappa.analyse, by their names there.
struct Options {
    api::ReadOptions input;
    api::Request request;

    explicit Options(const py::dict& options) {
        const auto given = [&](const char* key) { return options.contains(key) && !options[key].is_none(); };
        const auto text = [&](const char* key, const std::string& otherwise) {
            return given(key) ? options[key].cast<std::string>() : otherwise;
        };
        const auto list = [&](const char* key) {
            return given(key) ? options[key].cast<std::vector<std::string>>() : std::vector<std::string>{};
        };
        input.layout = layoutNamed(text("layout", "table"));
        input.columns = list("columns");
        input.id = text("id", "");
        input.by = text("by", "");
        input.categories = list("categories");
        if (given("missing")) input.missing = list("missing");
        if (const std::string delimiter = text("delimiter", ""); !delimiter.empty()) input.delimiter = delimiter.front();
        input.encoding = text("encoding", "");
        input.headerConfirmed = given("header") && options["header"].cast<bool>();
        request.coefficients = list("coefficients");
        if (given("weights")) request.weights = list("weights");
        for (const std::string& w : request.weights) input.weights = input.weights || w == "file";
        request.confidence = options["confidence"].cast<double>();
        request.kappa0 = options["kappa0"].cast<double>();
        request.alternative = text("alternative", "two-sided");
        request.dropIncomplete = given("drop_incomplete") && options["drop_incomplete"].cast<bool>();
    }
};

// Each study read analysed, or the first refusal. Called without the GIL.
Outcome analyseAll(const api::Read& read, const api::Request& request) {
    const auto refusal = [](const api::Error& e) { return Refusal{e.file, e.line, e.column, e.message}; };
    if (read.error) return {refusal(*read.error), {}};
    std::vector<api::Analysis> analyses;
    for (const api::Study& study : read.studies) {
        api::Analysis analysis = api::analyse(api::prepare(study, request));
        if (analysis.error) return {refusal(*analysis.error), {}};
        analyses.push_back(std::move(analysis));
    }
    return {std::nullopt, std::move(analyses)};
}

Outcome analyse(const py::object& data, bool isPath, const std::string& name, const py::dict& options) {
    const Options asked(options);
    const std::string path = isPath ? data.cast<std::string>() : std::string();
    std::string_view bytes;
    if (!isPath) {
        char* buffer = nullptr;
        py::ssize_t size = 0;
        if (PyBytes_AsStringAndSize(data.ptr(), &buffer, &size) != 0) throw py::error_already_set();
        bytes = std::string_view(buffer, static_cast<std::size_t>(size));
    }
    py::gil_scoped_release released;
    return analyseAll(isPath ? api::read(path, asked.input) : api::readBytes(bytes, asked.input, name),
                      asked.request);
}

// Ratings as a 2-D array (subjects x raters, any strides) of int64 codes or
// of whole numbers as float64 (NaN missing), read in place.
Outcome analyseCodes(const py::array& codes, std::vector<std::string> raters, std::vector<std::string> labels,
                     const std::string& name, const py::dict& options) {
    const bool numbers = codes.dtype().kind() == 'f';
    if (codes.ndim() != 2 || codes.shape(1) != static_cast<py::ssize_t>(raters.size()) || codes.itemsize() != 8 ||
        (codes.dtype().kind() != 'i' && !numbers))
        throw py::value_error("codes: a 2-D int64 or float64 array with a column per rater");
    const Options asked(options);
    constexpr py::ssize_t kSize = 8;
    api::RatingCodes ratings;
    if (numbers)
        ratings.numbers = static_cast<const double*>(codes.data());
    else
        ratings.codes = static_cast<const std::int64_t*>(codes.data());
    ratings.subjects = codes.shape(0);
    ratings.subjectStride = codes.strides(0) / kSize;
    ratings.raterStride = codes.strides(1) / kSize;
    ratings.raters = std::move(raters);
    ratings.labels = std::move(labels);
    py::gil_scoped_release released;
    return analyseAll(api::readCodes(ratings, asked.input, name), asked.request);
}

}  // namespace

PYBIND11_MODULE(_kappa, module) {
    module.doc() = "The C++ core of the kappa package: read, prepare, analyse and format a study.";
    py::class_<api::Analysis>(module, "Analysis", "One study's analysis, formatted when asked.")
        .def("json", [](const api::Analysis& a) { return api::format(a, api::Format::Json); })
        .def("text", [](const api::Analysis& a) { return api::format(a, api::Format::Text); })
        .def("csv", [](const api::Analysis& a) { return api::format(a, api::Format::Csv); });
    module.def("analyse", &analyse, py::arg("data"), py::arg("is_path"), py::arg("name"), py::arg("options"),
               "Analyses the study in `data` (a path, or bytes named `name`): a refusal (file, line, column, "
               "message) or each study's analysis.");
    module.def("analyse_codes", &analyseCodes, py::arg("codes"), py::arg("raters"), py::arg("labels"),
               py::arg("name"), py::arg("options"),
               "Analyses ratings held as int64 codes (subjects x raters), places in `labels` (negative: missing) "
               "or, without labels, whole numbers, or as float64 whole numbers (NaN: missing): a refusal or the "
               "study's analysis.");
}
