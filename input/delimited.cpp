#include "input/delimited.h"

#include <algorithm>
#include <cstring>

#include "platform/compat.h"

namespace kappa {

namespace {

// Blanks that make a line empty, whatever the delimiter.
bool isLineBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Where the first record of `bytes` ends: the first line break outside
// quotes (taken as a field's quotes wherever they are); npos when none.
std::size_t firstRecordEnd(std::string_view bytes) {
    bool quoted = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '"') quoted = !quoted;
        if (bytes[i] == '\n' && !quoted) return i;
    }
    return std::string_view::npos;
}

// Whether a line holds a carriage return that ends a line alone, as in old
// Mac OS files: one followed by more than blanks (a carriage return in quotes
// is part of a field).
bool hasLoneCarriageReturn(std::string_view line) {
    bool quoted = false;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (line[i] == '\r' && !quoted && !isLineBlank(line[i + 1]) && line[i + 1] != '\n') return true;
    }
    return false;
}

}  // namespace

bool isDelimiter(char delimiter) {
    return delimiter == '\t' || delimiter == ',' || delimiter == ';' || delimiter == '|' || delimiter == kBlanks;
}

std::string_view delimiterName(char delimiter) {
    switch (delimiter) {
        case '\t': return "TAB";
        case ',': return "comma";
        case ';': return "semicolon";
        case '|': return "'|'";
        case kBlanks: return "blanks";
        default: return "none";
    }
}

char detectDelimiter(std::string_view line) {
    bool seen[3] = {false, false, false};  // TAB, comma, semicolon outside quotes
    bool quoted = false;
    for (const char c : line) {
        quoted = quoted != (c == '"');
        if (!quoted) {
            seen[0] = seen[0] || c == '\t';
            seen[1] = seen[1] || c == ',';
            seen[2] = seen[2] || c == ';';
        }
    }
    return seen[0] ? '\t' : seen[1] ? ',' : seen[2] ? ';' : kBlanks;
}

DelimitedReader::DelimitedReader(ByteSource& source, std::optional<char> delimiter, std::size_t chunk)
    : source_(source),
      buffer_(make_unique_for_overwrite<char[]>(std::clamp<std::size_t>(chunk, 1, kLongestRecord))),
      capacity_(std::clamp<std::size_t>(chunk, 1, kLongestRecord)),
      delimiter_(delimiter && isDelimiter(*delimiter) ? *delimiter : 0) {
    fields_.reserve(64);
}

bool DelimitedReader::fail(std::int64_t line, std::int64_t column, std::string message) {
    error_ = InputError{line, column, std::move(message)};
    return false;
}

// Moves the bytes not yet read to the front of the buffer and reads after them
// until the buffer is full or the input ends. When they fill the buffer (a
// record longer than it), the buffer doubles, up to kLongestRecord. False when
// the input cannot be read or a record is too long.
bool DelimitedReader::fill() {
    if (pos_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    quote_ = quoteLimit_ = 0;
    if (end_ == capacity_) {
        if (capacity_ >= kLongestRecord) {
            if (openQuoteLine_ > 0)
                return fail(openQuoteLine_, openQuoteColumn_,
                            "a quoted field opens here and has no closing quote within 16 MiB");
            return fail(line_, 0, "a line longer than 16 MiB: this is not a delimited text file");
        }
        const std::size_t larger = std::min(capacity_ * 2, kLongestRecord);
        auto grown = make_unique_for_overwrite<char[]>(larger);
        std::memcpy(grown.get(), buffer_.get(), end_);
        buffer_ = std::move(grown);
        capacity_ = larger;
    }
    while (end_ < capacity_) {
        const std::ptrdiff_t got = source_.read(buffer_.get() + end_, capacity_ - end_);
        if (got < 0) return fail(0, 0, source_.error());
        if (got == 0) {
            atEnd_ = true;
            break;
        }
        end_ += static_cast<std::size_t>(got);
    }
    return true;
}

// Skips a byte-order mark and the blank lines before the first record; when
// no delimiter was given, finds it from that record (its first line when its
// quotes do not close within kChunk bytes). Refuses a file whose first line
// has carriage returns alone for line ends.
bool DelimitedReader::start() {
    started_ = true;
    while (end_ - pos_ < kByteOrderMark.size() && !atEnd_)
        if (!fill()) return false;
    if (std::string_view(buffer_.get() + pos_, end_ - pos_).starts_with(kByteOrderMark)) pos_ += kByteOrderMark.size();
    for (;;) {
        const std::string_view rest(buffer_.get() + pos_, end_ - pos_);
        const std::size_t newline = rest.find('\n');
        const bool blanks = newline == std::string_view::npos && std::all_of(rest.begin(), rest.end(), isLineBlank);
        if (newline == std::string_view::npos && !atEnd_ && (rest.size() < kChunk || blanks)) {
            if (blanks && rest.size() == kLongestRecord) {  // a blank line, dropped as it comes
                pos_ = end_;
                longBlanks_ = true;
                continue;
            }
            if (!fill()) return false;
            continue;
        }
        const std::string_view line = rest.substr(0, std::min(newline, kChunk));
        if (std::all_of(line.begin(), line.end(), isLineBlank) && newline != std::string_view::npos) {
            pos_ += newline + 1;
            ++line_;
            longBlanks_ = false;
            continue;
        }
        if (longBlanks_) return fail(line_, 0, "a line longer than 16 MiB: this is not a delimited text file");
        if (hasLoneCarriageReturn(line))
            return fail(line_, 0,
                        "the lines end with a carriage return alone, as in files of old Mac OS: convert the line "
                        "ends to line feeds (tr '\\r' '\\n')");
        if (delimiter_ != 0) return true;
        const std::size_t recordEnd = firstRecordEnd(rest.substr(0, kChunk));
        if (recordEnd == std::string_view::npos && !atEnd_ && rest.size() < kChunk) {
            if (!fill()) return false;
            continue;
        }
        delimiter_ = detectDelimiter(recordEnd != std::string_view::npos ? rest.substr(0, recordEnd) : line);
        return true;
    }
}

bool DelimitedReader::next() {
    if (done_ || error_) return false;
    if (!started_ && !start()) return false;
    fields_.clear();
    for (;;) {
        if (pos_ == end_) {
            if (atEnd_) {
                done_ = true;
                return false;
            }
            if (!fill()) return false;
            continue;
        }
        const char* const base = buffer_.get();
        const auto* newline = static_cast<const char*>(std::memchr(base + pos_, '\n', end_ - pos_));
        if (!newline && !atEnd_) {
            // Blanks that fill the largest record: a blank line, dropped as it comes.
            if (end_ - pos_ == kLongestRecord && std::all_of(base + pos_, base + end_, isLineBlank)) {
                pos_ = end_;
                longBlanks_ = true;
                continue;
            }
            if (!fill()) return false;
            continue;
        }
        const std::size_t lineEnd = newline ? static_cast<std::size_t>(newline - base) : end_;
        const std::size_t afterLine = newline ? lineEnd + 1 : end_;
        if (std::all_of(base + pos_, base + lineEnd, isLineBlank)) {
            pos_ = afterLine;
            ++line_;
            longBlanks_ = false;
            continue;
        }
        if (longBlanks_) return fail(line_, 0, "a line longer than 16 MiB: this is not a delimited text file");
        recordLine_ = line_;
        if (quote_ < pos_ || quoteLimit_ < end_) {
            const auto* quote = static_cast<const char*>(std::memchr(base + pos_, '"', end_ - pos_));
            quote_ = quote ? static_cast<std::size_t>(quote - base) : end_;
            quoteLimit_ = end_;
        }
        if (quote_ >= lineEnd) {
            splitPlain(base + pos_, base + lineEnd);
            pos_ = afterLine;
            ++line_;
            return true;
        }
        // A record with quotes: find where it ends first, reading more when
        // it goes on past the buffer, then split it (unescaping in place).
        std::size_t recordEnd = 0;
        std::int64_t lineBreaks = 0;
        const Scan scan = scanQuoted(recordEnd, lineBreaks, false);
        if (scan == Scan::Failed) return false;
        if (scan == Scan::NeedMore) {
            if (!fill()) return false;
            continue;
        }
        openQuoteLine_ = 0;
        if (scanQuoted(recordEnd, lineBreaks, true) == Scan::Failed) return false;
        pos_ = recordEnd;
        line_ += lineBreaks + 1;
        return true;
    }
}

void DelimitedReader::splitPlain(const char* begin, const char* end) {
    if (delimiter_ == kBlanks) {
        for (const char* c = begin;;) {
            while (c < end && isLineBlank(*c)) ++c;
            if (c == end) return;
            const char* const field = c;
            while (c < end && !isLineBlank(*c)) ++c;
            fields_.emplace_back(field, static_cast<std::size_t>(c - field));
        }
    }
    const char delimiter = delimiter_;
    for (const char* field = begin;;) {
        const char* c = field;
        while (c < end && *c != delimiter) ++c;
        const char* left = field;
        const char* right = c;
        while (left < right && isBlank(*left)) ++left;
        while (right > left && isBlank(right[-1])) --right;
        fields_.emplace_back(left, static_cast<std::size_t>(right - left));
        if (c == end) return;
        field = c + 1;
    }
}

// The state machine of a record with quotes, from pos_. Without `split` it
// only finds where the record ends (recordEnd: past its line end) and how many
// line breaks its quoted fields hold, or says that the buffer ends first.
// With `split` (the record known to be whole) it also collects the fields,
// writing the content of quoted fields over their escapes.
DelimitedReader::Scan DelimitedReader::scanQuoted(std::size_t& recordEnd, std::int64_t& lineBreaks, bool split) {
    enum class State { FieldStart, Unquoted, Quoted, QuoteSeen, AfterQuote };
    char* const b = buffer_.get();
    const bool blankSeparated = delimiter_ == kBlanks;
    const auto separates = [&](char c) { return blankSeparated ? isLineBlank(c) : c == delimiter_; };
    const auto emit = [&](std::size_t from, std::size_t to) {
        if (split) fields_.emplace_back(b + from, to - from);
    };
    State state = State::FieldStart;
    std::int64_t breaks = 0;
    std::int64_t column = 1;
    std::int64_t quoteLine = 0, quoteColumn = 0;
    std::size_t fieldBegin = pos_, contentEnd = pos_, write = pos_;
    std::size_t i = pos_;
    for (; i < end_; ++i) {
        const char c = b[i];
        switch (state) {
            case State::FieldStart:
                if (c == '\n') {
                    if (!blankSeparated) emit(i, i);
                    goto recordDone;
                }
                if (separates(c)) {
                    if (!blankSeparated) {
                        emit(i, i);
                        ++column;
                    }
                } else if (c == '"') {
                    state = State::Quoted;
                    quoteLine = recordLine_ + breaks;
                    quoteColumn = column;
                    fieldBegin = write = i + 1;
                } else if (!isBlank(c)) {
                    state = State::Unquoted;
                    fieldBegin = i;
                    contentEnd = i + 1;
                }
                break;
            case State::Unquoted:
                if (c == '\n' || separates(c)) {
                    emit(fieldBegin, contentEnd);
                    if (c == '\n') goto recordDone;
                    ++column;
                    state = State::FieldStart;
                } else if (!isBlank(c)) {
                    contentEnd = i + 1;
                }
                break;
            case State::Quoted:
                if (c == '"') {
                    state = State::QuoteSeen;
                } else {
                    breaks += c == '\n';
                    if (split) b[write] = c;
                    ++write;
                }
                break;
            case State::QuoteSeen:
                if (c == '"') {  // a quote written twice stands for one
                    if (split) b[write] = '"';
                    ++write;
                    state = State::Quoted;
                    break;
                }
                emit(fieldBegin, write);
                state = State::AfterQuote;
                [[fallthrough]];
            case State::AfterQuote:
                if (c == '\n') goto recordDone;
                if (separates(c)) {
                    ++column;
                    state = State::FieldStart;
                } else if (!isBlank(c) && split) {
                    fail(recordLine_ + breaks, column,
                         std::string("'") + c + "' after the closing quote of a quoted field: expected " +
                             (blankSeparated ? "blanks"
                                             : "the delimiter (" + std::string(delimiterName(delimiter_)) + ")") +
                             " or the end of the line; a quote inside a quoted field is written twice (\"\")");
                    return Scan::Failed;
                }
                break;
        }
        continue;
    recordDone:
        recordEnd = i + 1;
        lineBreaks = breaks;
        return Scan::Record;
    }
    // The buffer ends inside the record.
    if (!atEnd_) {
        openQuoteLine_ = state == State::Quoted ? quoteLine : 0;
        openQuoteColumn_ = quoteColumn;
        return Scan::NeedMore;
    }
    switch (state) {
        case State::FieldStart:
            if (!blankSeparated) emit(i, i);
            break;
        case State::Unquoted: emit(fieldBegin, contentEnd); break;
        case State::Quoted:
            fail(quoteLine, quoteColumn, "a quoted field opens here and is never closed: expected a closing '\"'");
            return Scan::Failed;
        case State::QuoteSeen: emit(fieldBegin, write); break;
        case State::AfterQuote: break;
    }
    recordEnd = end_;
    lineBreaks = breaks;
    return Scan::Record;
}

}  // namespace kappa
