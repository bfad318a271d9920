// kappa._kappa: the library's read, prepare, analyse and format for the
// Python package, which hands it bytes or a path and the options. The GIL is
// released while the study is read and analysed.
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

// Each study's analysis as JSON, text and CSV.
using Outputs = std::vector<std::tuple<std::string, std::string, std::string>>;
// A refusal: file, line, column, message.
using Refusal = std::tuple<std::string, std::int64_t, std::int64_t, std::string>;

api::Layout layoutNamed(const std::string& name) {
    if (name == "table") return api::Layout::Table;
    if (name == "ratings") return api::Layout::Ratings;
    if (name == "long") return api::Layout::Long;
    if (name == "matrix") return api::Layout::Matrix;
    if (name == "counts") return api::Layout::Counts;
    throw py::value_error("unknown layout '" + name + "' (expected table, ratings, long, matrix or counts)");
}

std::pair<std::optional<Refusal>, Outputs> analyse(const py::object& data, bool isPath, const std::string& name,
                                                   const py::dict& options) {
    const auto text = [&](const char* key, const std::string& otherwise) {
        return options.contains(key) && !options[key].is_none() ? options[key].cast<std::string>() : otherwise;
    };
    const auto list = [&](const char* key) {
        return options.contains(key) && !options[key].is_none() ? options[key].cast<std::vector<std::string>>()
                                                                : std::vector<std::string>{};
    };
    api::ReadOptions input;
    input.layout = layoutNamed(text("layout", "table"));
    input.columns = list("columns");
    input.id = text("id", "");
    input.by = text("by", "");
    input.categories = list("categories");
    if (options.contains("missing") && !options["missing"].is_none()) input.missing = list("missing");
    if (const std::string delimiter = text("delimiter", ""); !delimiter.empty()) input.delimiter = delimiter.front();
    input.encoding = text("encoding", "");
    input.headerConfirmed = options.contains("header") && options["header"].cast<bool>();
    api::Request request;
    request.coefficients = list("coefficients");
    if (options.contains("weights") && !options["weights"].is_none()) request.weights = list("weights");
    for (const std::string& w : request.weights) input.weights = input.weights || w == "file";
    request.confidence = options["confidence"].cast<double>();
    request.kappa0 = options["kappa0"].cast<double>();
    request.alternative = text("alternative", "two-sided");
    request.dropIncomplete = options.contains("drop_incomplete") && options["drop_incomplete"].cast<bool>();

    const std::string path = isPath ? data.cast<std::string>() : std::string();
    std::string_view bytes;
    if (!isPath) {
        char* buffer = nullptr;
        py::ssize_t size = 0;
        if (PyBytes_AsStringAndSize(data.ptr(), &buffer, &size) != 0) throw py::error_already_set();
        bytes = std::string_view(buffer, static_cast<std::size_t>(size));
    }

    py::gil_scoped_release released;
    const api::Read read = isPath ? api::read(path, input) : api::readBytes(bytes, input, name);
    const auto refusal = [](const api::Error& e) { return Refusal{e.file, e.line, e.column, e.message}; };
    if (read.error) return {refusal(*read.error), {}};
    Outputs outputs;
    for (const api::Study& study : read.studies) {
        const api::Analysis analysis = api::analyse(api::prepare(study, request));
        if (analysis.error) return {refusal(*analysis.error), {}};
        outputs.emplace_back(api::format(analysis, api::Format::Json), api::format(analysis, api::Format::Text),
                             api::format(analysis, api::Format::Csv));
    }
    return {std::nullopt, std::move(outputs)};
}

}  // namespace

PYBIND11_MODULE(_kappa, module) {
    module.doc() = "The C++ core of the kappa package: read, prepare, analyse and format a study.";
    module.def("analyse", &analyse, py::arg("data"), py::arg("is_path"), py::arg("name"), py::arg("options"),
               "Analyses the study in `data` (a path, or bytes named `name`): a refusal (file, line, column, "
               "message) or each study's JSON, text and CSV.");
}
