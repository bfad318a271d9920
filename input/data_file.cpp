#include "input/data_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <string>

namespace kappa {

namespace {

// Line numbers of files with more lines than an int counts stop at its largest value.
constexpr int kLastLineNumber = std::numeric_limits<int>::max();

bool isBlank(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\v' || ch == '\f';
}

bool isDigit(char ch) { return ch >= '0' && ch <= '9'; }

// White-space separated tokens of a file, each with the 1-based line it starts on.
class TokenReader {
public:
    explicit TokenReader(std::string_view bytes) : bytes_(bytes) {}

    bool next(std::string_view& token, int& line) {
        while (pos_ < bytes_.size() && isBlank(bytes_[pos_])) {
            if (bytes_[pos_] == '\n' && line_ < kLastLineNumber) ++line_;
            ++pos_;
        }
        if (pos_ == bytes_.size()) return false;
        const std::size_t start = pos_;
        while (pos_ < bytes_.size() && !isBlank(bytes_[pos_])) ++pos_;
        token = bytes_.substr(start, pos_ - start);
        line = line_;
        return true;
    }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

// True when the token is a decimal number: an optional sign, digits with an
// optional decimal point, and an optional exponent.
bool isDecimalNumber(std::string_view t) {
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < t.size() && isDigit(t[i])) ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && isDigit(t[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        std::size_t exponentDigits = 0;
        while (i < t.size() && isDigit(t[i])) ++i, ++exponentDigits;
        if (exponentDigits == 0) return false;
    }
    return i == t.size();
}

std::optional<double> decimalNumber(std::string_view token) {
    if (!isDecimalNumber(token)) return std::nullopt;
    const std::string text(token);
    return std::strtod(text.c_str(), nullptr);
}

// A code or frequency: a decimal number with a whole value in the 32-bit range.
std::optional<std::int32_t> wholeNumber(std::string_view token) {
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    const bool negative = !token.empty() && token[0] == '-';
    const std::string_view digits = token.substr(!token.empty() && (token[0] == '-' || token[0] == '+'));
    if (!digits.empty() && digits.size() <= 9 && std::all_of(digits.begin(), digits.end(), isDigit)) {
        std::int32_t value = 0;
        for (const char ch : digits) value = value * 10 + (ch - '0');
        return negative ? -value : value;
    }
    const auto value = decimalNumber(token);
    if (!value || *value != std::floor(*value) || *value < lowest || *value > highest) return std::nullopt;
    return static_cast<std::int32_t>(*value);
}

// The weight of a row: a finite decimal number.
std::optional<double> finiteNumber(std::string_view token) {
    const auto value = decimalNumber(token);
    if (!value || !std::isfinite(*value)) return std::nullopt;
    return value;
}

// Number of the file's last line, for a last row that is cut short.
int lastLine(std::string_view bytes) {
    const auto breaks = std::count(bytes.begin(), bytes.end(), '\n');
    const bool unterminated = !bytes.empty() && bytes.back() != '\n';
    const auto lines = std::clamp<std::int64_t>(breaks + (unterminated ? 1 : 0), 1, kLastLineNumber);
    return static_cast<int>(lines);
}

std::optional<std::string> readWholeFile(const char* name) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(name, "r"), std::fclose);
    if (!file) return std::nullopt;
    std::string bytes;
    if (std::fseek(file.get(), 0, SEEK_END) == 0) {
        const long size = std::ftell(file.get());
        if (size > 0) bytes.reserve(static_cast<std::size_t>(size));
        std::rewind(file.get());
    }
    char chunk[1 << 16];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.append(chunk, got);
    if (std::ferror(file.get())) return std::nullopt;
    return bytes;
}

bool loadDataFile(AnalysisState& s, Console& con, const char* name, FileLayout layout) {
    const auto bytes = readWholeFile(name);
    if (!bytes) {
        con.putLine("\nERROR opening file. \n");
        return false;
    }
    const ParseOutcome outcome = parseDataFile(*bytes, layout, s);
    if (!outcome.ok()) {
        con.print("\n ERROR reading the data file (line %d). Reload the data file.", outcome.errorLine);
        return false;
    }
    return true;
}

}  // namespace

ParseOutcome parseDataFile(std::string_view bytes, FileLayout layout, AnalysisState& s) {
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    if (bytes.starts_with(byteOrderMark)) bytes.remove_prefix(byteOrderMark.size());

    const bool weighted = layout == FileLayout::Weighted;
    const std::string_view firstLine = bytes.substr(0, bytes.find('\n'));
    const auto tabs = std::count(firstLine.begin(), firstLine.end(), '\t');
    const std::int32_t raters = static_cast<std::int32_t>(tabs) - (weighted ? 1 : 0);

    // Everything is read into local tables first, so that a file that cannot
    // be read leaves the state of the last good load untouched.
    std::int32_t rows = 0;
    std::int32_t largestCode = 0;
    std::int64_t subjects = 0;
    std::vector<std::int32_t> cells;
    std::vector<double> weights;

    if (raters > 0) {
        const std::size_t columns = static_cast<std::size_t>(raters) + 1;  // codes and frequency
        // Room for a row a line, but never more numbers than the bytes can hold.
        const std::size_t rowsGuess = static_cast<std::size_t>(lastLine(bytes));
        cells.reserve(std::min(rowsGuess * columns, bytes.size() / 2 + 1));
        TokenReader tokens(bytes);
        std::string_view token;
        int line = 0;
        for (;;) {
            std::size_t column = 0;
            for (; column < columns; ++column) {
                if (!tokens.next(token, line)) break;
                const auto value = wholeNumber(token);
                if (!value) return {line};
                cells.push_back(*value);
                if (column < columns - 1) largestCode = std::max(largestCode, *value);
            }
            if (column == 0) break;  // the file ends after a complete row
            if (column < columns) return {lastLine(bytes)};
            if (weighted) {
                if (!tokens.next(token, line)) return {lastLine(bytes)};
                const auto weight = finiteNumber(token);
                if (!weight) return {line};
                weights.push_back(*weight);
            }
            subjects += cells.back();
            if (rows == std::numeric_limits<std::int32_t>::max()) return {line};
            ++rows;
        }
    }

    s.nraters = raters;
    s.contextra = rows;
    s.maxclase = largestCode;
    s.data = Matrix<std::int32_t>(static_cast<std::size_t>(rows), static_cast<std::size_t>(std::max(raters + 1, 0)),
                                  std::move(cells));
    if (weighted) s.pesostot = std::move(weights);
    s.Naux = static_cast<double>(subjects);
    return {};
}

bool Archivo(AnalysisState& s, Console& con) {
    return loadDataFile(s, con, s.entrada == 1 ? kUnweightedFile : kComputedWeightsFile, FileLayout::Unweighted);
}

bool Archivo_Weight(AnalysisState& s, Console& con) {
    return loadDataFile(s, con, kWeightedFile, FileLayout::Weighted);
}

}  // namespace kappa
