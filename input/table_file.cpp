#include "input/table_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/numbers.h"
#include "input/printable.h"
#include "platform/compat.h"

namespace kappa {

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;
constexpr std::size_t kFirstChunk = std::size_t{1} << 16;
// The digits of a plain number, read as they are scanned: any nine fit in 32 bits.
constexpr std::size_t kPlainDigits = 9;

constexpr std::array<bool, 256> blankBytes() {
    std::array<bool, 256> blank{};
    for (const unsigned char ch : {' ', '\t', '\n', '\r', '\v', '\f'}) blank[ch] = true;
    return blank;
}
constexpr std::array<bool, 256> kBlank = blankBytes();

bool isBlank(char ch) { return kBlank[static_cast<unsigned char>(ch)]; }

}  // namespace

void readNumber(std::string_view token, TableNumber& number) {
    number = TableNumber{};
    const bool negative = !token.empty() && token[0] == '-';
    const std::string_view digits = token.substr(!token.empty() && (token[0] == '-' || token[0] == '+'));
    std::int64_t plain = 0;
    if (const char* end = digits.data() + digits.size();
        !digits.empty() && readDigits<kPlainDigits>(digits.data(), end, plain) == end) {
        number.whole = number.finite = true;
        number.integer = static_cast<std::int32_t>(negative ? -plain : plain);
        number.value = number.integer;
        return;
    }
    if (!isDecimalNumber(token)) return;
    const std::string_view unsigned_ = token[0] == '+' ? token.substr(1) : token;
    double value = 0.0;
    const auto [end, error] = fromChars(unsigned_.data(), unsigned_.data() + unsigned_.size(), value);
    bool underflow = false;
    if (error != std::errc() || end != unsigned_.data() + unsigned_.size()) {
        // Beyond the range of a double: as strtod reads it, 0 or infinite.
        const std::string text(token);
        value = std::strtod(text.c_str(), nullptr);
        underflow = value == 0;
    }
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    number.value = value;
    number.finite = std::isfinite(value);
    number.whole = !underflow && value == std::floor(value) && value >= lowest && value <= highest;
    if (number.whole) number.integer = static_cast<std::int32_t>(value);
}

std::string shownNumber(const TableNumber& number, std::string_view token) {
    if (!number.finite || (number.value == 0 && !number.whole)) return quote(token);
    return toChars(number.value);
}

std::string fieldRefusal(TableField field, const TableNumber& number, std::string_view token) {
    switch (field) {
        case TableField::Code:
            return number.finite ? "expected a whole category code, found " + shownNumber(number, token)
                                 : "expected a number, found " + quote(token);
        case TableField::Frequency:
            return "expected a whole frequency in the 32-bit range, found " + shownNumber(number, token);
        case TableField::Weight:
            return "expected a finite weight, found " + quote(token);
    }
    return {};
}

std::string rowLayout(std::int64_t raters, bool weighted) {
    return std::to_string(raters + (weighted ? 2 : 1)) + " numbers (" + std::to_string(raters) +
           (raters == 1 ? " category code" : " category codes") +
           (weighted ? ", a frequency and a weight)" : " and a frequency)");
}

namespace {

class Parser {
public:
    // `rest`: for a reading of plain lines only, where the bytes go from the
    // line it stops at on.
    Parser(FileLayout layout, TableRows& rows, std::string* rest = nullptr)
        : weighted_(layout == FileLayout::Weighted), rows_(rows), rest_(rest) {
        codes_.reserve(kKeptCodes);
    }

    ParseOutcome run(ByteSource& source) {
        ParseOutcome outcome = read(source);
        outcome.firstLine = std::move(sample_);
        return outcome;
    }

private:
    static constexpr std::size_t kSample = 256;
    // Below every code, so that a line of negative codes has the largest of them.
    static constexpr std::int32_t kNoCode = std::numeric_limits<std::int32_t>::min();

    ParseOutcome read(ByteSource& source) {
        // A small file is read into a small buffer; a read that fills it
        // brings the buffer to its full size.
        std::size_t capacity = kFirstChunk;
        auto buffer = make_unique_for_overwrite<char[]>(capacity);
        // The first bytes, at least three unless the file is shorter, to see
        // whether they are a byte-order mark.
        std::size_t have = 0;
        bool ended = false;
        while (have < 3 && !ended) {
            const std::ptrdiff_t got = source.read(buffer.get() + have, capacity - have);
            if (got < 0) return {ParseOutcome::Status::ReadFailed, line_, source.error(), {}};
            ended = got == 0;
            have += static_cast<std::size_t>(got);
        }
        std::string_view bytes(buffer.get(), have);
        if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
        // Until a read finds the end: a first read that held only the mark
        // leaves nothing to take yet.
        while (!bytes.empty() || !ended) {
            if (!(rest_ ? takePlain(bytes) : take(bytes))) return outcome_;
            if (ended) break;
            if (bytes.end() == buffer.get() + capacity && capacity < kChunk) {
                capacity = kChunk;
                buffer = make_unique_for_overwrite<char[]>(capacity);
            }
            const std::ptrdiff_t got = source.read(buffer.get(), capacity);
            if (got < 0) return {ParseOutcome::Status::ReadFailed, line_, source.error(), {}};
            ended = got == 0;
            bytes = std::string_view(buffer.get(), static_cast<std::size_t>(got));
        }
        if (rest_) {
            // A last line without its line break.
            if (!carry_.empty()) plainLine(carry_ += '\n', {});
            return outcome_;
        }
        if (!partial_.empty() && !finishToken(partial_, false, 0)) return outcome_;
        endOfLine();
        return outcome_;
    }

    // Takes in a chunk of the file a line at a time while its lines are
    // plain; false when reading stops. A line that goes on into the next
    // chunk is carried over to it, up to a chunk's length.
    bool takePlain(std::string_view bytes) {
        const char* p = bytes.data();
        const char* const end = p + bytes.size();
        if (!carry_.empty()) {
            const auto* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
            if (newline == nullptr) {
                if (carry_.size() + bytes.size() > kChunk) return stop(carry_, bytes);
                carry_.append(bytes);
                return true;
            }
            carry_.append(p, newline + 1);
            p = newline + 1;
            if (!plainLine(carry_, {p, static_cast<std::size_t>(end - p)})) return false;
            carry_.clear();
        }
        while (p != end) {
            const auto* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
            if (newline == nullptr) {
                carry_.assign(p, end);
                return true;
            }
            const std::string_view line(p, static_cast<std::size_t>(newline + 1 - p));
            if (!plainLine(line, {newline + 1, static_cast<std::size_t>(end - newline - 1)})) return false;
            p = newline + 1;
        }
        return true;
    }

    // One line, with its line break, of a reading of plain lines; `after`:
    // the bytes that follow it in the chunk. False when reading stops.
    bool plainLine(std::string_view line, std::string_view after) {
        if (!firstLineDone_) {
            if (std::all_of(line.begin(), line.end(), isBlank)) {
                if (line_ < INT_MAX) ++line_;
                return true;
            }
            const auto tabs = static_cast<std::int64_t>(std::count(line.begin(), line.end(), '\t'));
            const std::int64_t raters = tabs - (weighted_ ? 1 : 0);
            if (raters < 1 || raters > static_cast<std::int64_t>(kKeptCodes)) return stop(line, after);
            expected_ = tabs + 1;
        }
        const Quick quick = quickLine(line);
        if (quick == Quick::NotPlain) return stop(line, after);
        if (quick == Quick::Stop) return false;
        firstLineDone_ = true;
        if (line_ < INT_MAX) ++line_;
        return true;
    }

    bool stop(std::string_view line, std::string_view after) {
        rest_->assign(line);
        rest_->append(after);
        outcome_ = {ParseOutcome::Status::Stopped, line_, {}, {}};
        return false;
    }

    // Takes in a chunk of the file; false when reading stops. Whole lines of
    // plain numbers, nearly every line of a table, go by a quick way; the
    // rest, and a line that goes on into the next chunk, token by token.
    bool take(std::string_view bytes) {
        const char* p = bytes.data();
        const char* const end = p + bytes.size();
        while (p != end) {
            const auto* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
            if (newline == nullptr) return scan({p, static_cast<std::size_t>(end - p)});
            const std::string_view line(p, static_cast<std::size_t>(newline + 1 - p));
            p = newline + 1;
            if (atLineStart_ && firstLineDone_) {
                const Quick quick = quickLine(line);
                if (quick == Quick::Stop) return false;
                if (quick == Quick::Taken) {
                    if (line_ < INT_MAX) ++line_;
                    continue;
                }
            }
            if (!scan(line)) return false;
        }
        return true;
    }

    enum class Quick { Taken, Stop, NotPlain };

    // A line of whole numbers of a few digits, as many as a row holds (the
    // weight of a weighted row may be any number), or a blank line. The line
    // ends with its line break, which ends every scan of digits.
    Quick quickLine(std::string_view line) {
        const char* p = line.data();
        const char* const end = p + line.size();
        const std::int64_t raters = expected_ - (weighted_ ? 2 : 1);
        if (raters > static_cast<std::int64_t>(kKeptCodes)) return Quick::NotPlain;
        std::int64_t count = 0;
        std::int32_t values[kKeptCodes + 1];
        std::int32_t largest = kNoCode, smallest = std::numeric_limits<std::int32_t>::max();
        TableNumber weight;
        for (;;) {
            while (p != end && isBlank(*p)) ++p;
            if (p == end) break;
            if (weighted_ && count == raters + 1) {
                const char* const start = p;
                while (!isBlank(*p)) ++p;
                if (static_cast<std::size_t>(p - start) > kLongestToken) return Quick::NotPlain;
                readNumber({start, static_cast<std::size_t>(p - start)}, weight);
                if (!weight.finite) return Quick::NotPlain;
                ++count;
                continue;
            }
            if (count > raters) return Quick::NotPlain;
            const bool negative = *p == '-';
            if (*p == '-' || *p == '+') ++p;
            const char* const digits = p;
            std::int32_t value = 0;
            p = readDigits<kPlainDigits, false>(p, end, value);  // the line break ends them
            // No digit, or more than a plain number has, or something else after them.
            if (p == digits || !isBlank(*p)) return Quick::NotPlain;
            const std::int32_t number = negative ? -value : value;
            if (count < raters) {
                largest = std::max(largest, number);
                smallest = std::min(smallest, number);
            }
            values[count++] = number;
        }
        if (count == 0) return Quick::Taken;
        if (count != expected_) return Quick::NotPlain;

        if (!firstLineDone_ && rest_) rows_.raters(static_cast<std::int32_t>(raters));
        TableRow row;
        row.raters = static_cast<std::int32_t>(raters);
        row.codes = std::span<const std::int32_t>(values, static_cast<std::size_t>(raters));
        row.largestCode = largest;
        row.codeBelowOne = smallest < 1;
        row.frequency = values[raters];
        row.weight = weight.value;
        return emit(row) ? Quick::Taken : Quick::Stop;
    }

    // Takes in bytes token by token; false when reading stops.
    bool scan(std::string_view bytes) {
        atLineStart_ = bytes.ends_with('\n');
        if (!firstLineDone_ && sample_.size() < kSample)
            sample_.append(bytes.substr(0, std::min({kSample - sample_.size(), bytes.find('\n'), bytes.size()})));
        const char* p = bytes.data();
        const char* const end = p + bytes.size();
        // A token begun in the last chunk goes on to the first blank.
        if (!partial_.empty()) {
            while (p != end && !isBlank(*p)) ++p;
            if (!extendPartial({bytes.data(), static_cast<std::size_t>(p - bytes.data())})) return false;
            if (p == end) return true;
            if (!finishToken(partial_, false, 0)) return false;
            partial_.clear();
        }
        while (p != end) {
            const char ch = *p;
            if (isBlank(ch)) {
                if (ch == '\n') {
                    if (!endOfLine()) return false;
                    if (line_ < INT_MAX) ++line_;
                } else if (ch == '\t' && !firstLineDone_) {
                    ++tabs_;
                }
                ++p;
                continue;
            }
            // A token. The usual one, a few digits, is read as it is scanned.
            const char* const start = p;
            if (ch == '-' || ch == '+') ++p;
            std::int64_t value = 0;
            const char* const digits = p;
            p = readDigits<kPlainDigits>(p, end, value);
            const bool plain = p != digits && (p == end || isBlank(*p));
            while (p != end && !isBlank(*p)) ++p;
            const std::string_view token(start, static_cast<std::size_t>(p - start));
            if (p == end) return extendPartial(token);  // it goes on in the next chunk
            if (token.size() > kLongestToken) return tooLong();
            if (!finishToken(token, plain, ch == '-' ? -value : value)) return false;
        }
        return true;
    }

    bool extendPartial(std::string_view more) {
        if (partial_.size() + more.size() > kLongestToken) return tooLong();
        partial_.append(more);
        return true;
    }

    bool tooLong() { return malformed("expected a number, found a token of more than 65536 characters"); }

    bool malformed(std::string message) {
        outcome_ = {ParseOutcome::Status::Malformed, line_, std::move(message), {}};
        return false;
    }

    // A complete token of the current line, `plain` when it is a few digits
    // with the value given. Of the tokens of a line only the last two can be
    // other than category codes (a frequency, or a frequency and a weight), so
    // each token is held until two more have come.
    bool finishToken(std::string_view token, bool plain, std::int64_t value) {
        std::size_t slot;
        if (held_ == 2) {
            if (!takeCode(number_[oldest_], text_[oldest_])) return false;
            slot = oldest_;
            oldest_ ^= 1;
        } else {
            slot = (oldest_ + held_) & 1;
            ++held_;
        }
        // Filled in place: a copy of a freshly built Number would stall on
        // its own stores.
        TableNumber& number = number_[slot];
        if (plain) {
            number.whole = number.finite = true;
            number.integer = static_cast<std::int32_t>(value);
            number.value = static_cast<double>(value);
        } else {
            readNumber(token, number);
            if (!number.whole) text_[slot] = token;
        }
        ++tokens_;
        return true;
    }

    bool takeCode(const TableNumber& code, const std::string& text) {
        if (!code.whole) return deferOrFail(fieldRefusal(TableField::Code, code, text));
        if (codes_.size() < kKeptCodes)
            codes_.push_back(code.integer);
        else
            restHash_ = (restHash_ ^ static_cast<std::uint32_t>(code.integer)) * 1099511628211ull;
        largestCode_ = std::max(largestCode_, code.integer);
        codeBelowOne_ = codeBelowOne_ || code.integer < 1;
        return true;
    }

    // On the first line nothing is wrong until its TABs are counted: with no
    // raters no row is read at all.
    bool deferOrFail(std::string message) {
        if (firstLineDone_) return malformed(std::move(message));
        if (!deferred_) deferred_ = ParseOutcome{ParseOutcome::Status::Malformed, line_, std::move(message), {}};
        return true;
    }

    bool endOfLine() {
        if (!firstLineDone_) {
            firstLineDone_ = true;
            const auto tabs = static_cast<std::int32_t>(std::min<std::int64_t>(tabs_, INT32_MAX));
            const std::int32_t raters = tabs - (weighted_ ? 1 : 0);
            rows_.raters(raters);
            if (raters <= 0) return false;  // no raters: the rows are not read
            expected_ = std::int64_t{raters} + (weighted_ ? 2 : 1);
            if (deferred_) {
                outcome_ = *deferred_;
                return false;
            }
        }
        if (tokens_ > 0 && !emitRow()) return false;
        tokens_ = 0;
        held_ = 0;
        oldest_ = 0;
        codes_.clear();
        restHash_ = 0;
        largestCode_ = kNoCode;
        codeBelowOne_ = false;
        return true;
    }

    bool emitRow() {
        if (tokens_ != expected_)
            return malformed("expected " + rowLayout(expected_ - (weighted_ ? 2 : 1), weighted_) + ", found " +
                             std::to_string(tokens_));
        // The last two tokens, in order.
        const TableNumber& first = number_[oldest_];
        const TableNumber& second = number_[oldest_ ^ 1];
        const std::string& firstText = text_[oldest_];
        const std::string& secondText = text_[oldest_ ^ 1];
        TableRow row;
        if (!weighted_ && !takeCode(first, firstText)) return false;
        const TableNumber& frequency = weighted_ ? first : second;
        if (!frequency.whole)
            return malformed(fieldRefusal(TableField::Frequency, frequency, weighted_ ? firstText : secondText));
        row.frequency = frequency.integer;
        if (weighted_) {
            if (!second.finite) return malformed(fieldRefusal(TableField::Weight, second, secondText));
            row.weight = second.value;
        }
        row.raters = static_cast<std::int32_t>(expected_ - (weighted_ ? 2 : 1));
        row.codes = codes_;
        row.restHash = restHash_;
        row.largestCode = largestCode_;
        row.codeBelowOne = codeBelowOne_;
        return emit(row);
    }

    bool emit(TableRow& row) {
        if (rowCount_ == std::numeric_limits<std::int32_t>::max()) return malformed("more than 2147483647 rows");
        ++rowCount_;
        row.line = line_;
        if (!rows_.row(row)) {
            outcome_ = {ParseOutcome::Status::Refused, line_, {}, {}};
            return false;
        }
        return true;
    }

    bool weighted_;
    TableRows& rows_;
    std::string* rest_;   // a reading of plain lines only: the bytes from where it stops
    std::string carry_;   // a reading of plain lines only: a line begun in an earlier chunk
    ParseOutcome outcome_;
    int line_ = 1;
    bool atLineStart_ = true;
    std::string sample_;  // the start of the first line
    std::int64_t tabs_ = 0;
    bool firstLineDone_ = false;
    std::optional<ParseOutcome> deferred_;
    std::int64_t expected_ = 0;
    std::int32_t rowCount_ = 0;
    std::string partial_;
    // The current line.
    std::int64_t tokens_ = 0;
    std::array<TableNumber, 2> number_;
    std::array<std::string, 2> text_;
    std::size_t held_ = 0;    // tokens held, at most two
    std::size_t oldest_ = 0;  // the slot of the first of them
    std::vector<std::int32_t> codes_;
    std::uint64_t restHash_ = 0;
    std::int32_t largestCode_ = kNoCode;  // the largest code of the line so far
    bool codeBelowOne_ = false;
};

}  // namespace

ParseOutcome parseTable(ByteSource& source, FileLayout layout, TableRows& rows) {
    return Parser(layout, rows).run(source);
}

ParseOutcome parsePlainTable(ByteSource& source, FileLayout layout, TableRows& rows, std::string& rest) {
    rest.clear();
    return Parser(layout, rows, &rest).run(source);
}

}  // namespace kappa
