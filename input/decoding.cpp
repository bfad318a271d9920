#include "input/decoding.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/compat.h"

namespace kappa {

namespace {

// How many bytes are read ahead to decode from (all but UTF-8).
constexpr std::size_t kRawChunk = std::size_t{64} << 10;
// How many of the first bytes show whether a file is UTF-16 without a byte-order mark.
constexpr std::size_t kStart = 64;
constexpr std::string_view kLooksUtf16 =
    "the file looks like UTF-16 without a byte-order mark: read it with --encoding utf-16";

struct Name {
    std::string_view name;
    Encoding encoding;
};
// The first name of each encoding is the one messages use.
constexpr Name kNames[] = {
    {"utf-8", Encoding::Utf8},        {"utf8", Encoding::Utf8},          {"utf-16", Encoding::Utf16},
    {"utf16", Encoding::Utf16},       {"utf-16le", Encoding::Utf16Le},   {"utf16le", Encoding::Utf16Le},
    {"utf-16be", Encoding::Utf16Be},  {"utf16be", Encoding::Utf16Be},    {"latin1", Encoding::Latin1},
    {"latin-1", Encoding::Latin1},    {"iso-8859-1", Encoding::Latin1},  {"cp1252", Encoding::Cp1252},
    {"windows-1252", Encoding::Cp1252},
};

// How messages call an encoding.
std::string_view title(Encoding encoding) {
    switch (encoding) {
        case Encoding::Utf16: return "UTF-16";
        case Encoding::Utf16Le: return "UTF-16 LE";
        case Encoding::Utf16Be: return "UTF-16 BE";
        case Encoding::Latin1: return "Latin-1";
        case Encoding::Cp1252: return "Windows-1252";
        default: return "UTF-8";
    }
}

struct Mark {
    std::string_view bytes;
    Encoding encoding;
};
constexpr Mark kMarks[] = {
    {"\xEF\xBB\xBF", Encoding::Utf8},
    {"\xFF\xFE", Encoding::Utf16Le},
    {"\xFE\xFF", Encoding::Utf16Be},
};

// The characters of Windows-1252 at bytes 0x80-0x9F; 0 where it has none.
constexpr char32_t kCp1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

std::string hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// The byte order of UTF-16 text without a byte-order mark, from its first
// bytes: mostly ASCII, whose high bytes are NUL, so that one byte of every two
// is NUL (the second in little-endian order). None when they do not look so.
std::optional<Encoding> utf16ByteOrder(std::string_view bytes) {
    const std::size_t pairs = bytes.size() / 2;
    std::size_t nuls[2] = {0, 0};  // at even and at odd offsets
    for (std::size_t i = 0; i < 2 * pairs; ++i) nuls[i % 2] += bytes[i] == '\0';
    if (pairs > 0 && 2 * nuls[1] >= pairs && 8 * nuls[0] <= nuls[1]) return Encoding::Utf16Le;
    if (pairs > 0 && 2 * nuls[0] >= pairs && 8 * nuls[1] <= nuls[0]) return Encoding::Utf16Be;
    return std::nullopt;
}

// The last line break of p[0, n), or null (what memrchr does, where the C
// library has it).
const unsigned char* lastLineBreak(const unsigned char* p, std::size_t n) {
    for (std::size_t i = n; i > 0; --i)
        if (p[i - 1] == '\n') return p + i - 1;
    return nullptr;
}

// The UTF-8 of code point c, into `out`; its length.
std::size_t encodeUtf8(char32_t c, char* out) {
    const auto byte = [](char32_t bits) { return static_cast<char>(static_cast<unsigned char>(bits)); };
    if (c < 0x80) {
        out[0] = byte(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = byte(0xC0 | c >> 6);
        out[1] = byte(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = byte(0xE0 | c >> 12);
        out[1] = byte(0x80 | (c >> 6 & 0x3F));
        out[2] = byte(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = byte(0xF0 | c >> 18);
    out[1] = byte(0x80 | (c >> 12 & 0x3F));
    out[2] = byte(0x80 | (c >> 6 & 0x3F));
    out[3] = byte(0x80 | (c & 0x3F));
    return 4;
}

// Vectors of 16 bytes, which every x86-64 and ARM64 has, and of 32 (AVX2),
// which check a ratings file in half the time where the processor has them.
using Bytes16 = unsigned char __attribute__((vector_size(16)));
using Words16 = std::uint64_t __attribute__((vector_size(16)));
using Bytes32 = unsigned char __attribute__((vector_size(32)));
using Words32 = std::uint64_t __attribute__((vector_size(32)));

// Passes over ASCII bytes other than NUL from p[i], 64 at a time in vectors
// of type Bytes, counting the line breaks; returns where it stopped: at a
// block that holds another byte, or fewer than 64 bytes before n.
template <typename Bytes, typename Words>
[[gnu::always_inline]] inline std::size_t asciiBlocksIn(const unsigned char* p, std::size_t i, std::size_t n,
                                                        std::int64_t& lineBreaks) {
    constexpr std::size_t kWidth = sizeof(Bytes);
    // The line breaks of each lane, at most 64 / kWidth a block, are summed before they pass 255.
    constexpr int kBlocksPerSum = 255 / (64 / kWidth);
    Bytes breaks{};
    int blocks = 0;
    const auto sum = [&] {
        for (std::size_t lane = 0; lane < kWidth; ++lane) lineBreaks += breaks[lane];
        breaks = Bytes{};
        blocks = 0;
    };
    while (n - i >= 64) {
        Bytes any{}, nul{}, lineBreak{};
        for (std::size_t k = 0; k < 64; k += kWidth) {
            Bytes v;
            std::memcpy(&v, p + i + k, kWidth);
            any |= v;
            // A comparison gives 0xFF in the lanes where it holds.
            nul |= (Bytes)(v == 0);
            lineBreak -= (Bytes)(v == '\n');
        }
        const Words other = (Words)((any | nul) & 0x80);
        std::uint64_t found = 0;
        for (std::size_t word = 0; word < kWidth / 8; ++word) found |= other[word];
        if (found != 0) break;
        breaks += lineBreak;
        if (++blocks == kBlocksPerSum) sum();
        i += 64;
    }
    sum();
    return i;
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] std::size_t asciiBlocksAvx2(const unsigned char* p, std::size_t i, std::size_t n,
                                                   std::int64_t& lineBreaks) {
    return asciiBlocksIn<Bytes32, Words32>(p, i, n, lineBreaks);
}
#endif

std::size_t asciiBlocks(const unsigned char* p, std::size_t i, std::size_t n, std::int64_t& lineBreaks) {
#if defined(__x86_64__)
    static const bool avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    if (avx2) return asciiBlocksAvx2(p, i, n, lineBreaks);
#endif
    return asciiBlocksIn<Bytes16, Words16>(p, i, n, lineBreaks);
}

}  // namespace

std::optional<Encoding> encodingNamed(std::string_view name) {
    std::string lower(name);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const Name& n : kNames)
        if (n.name == lower) return n.encoding;
    return std::nullopt;
}

std::string_view encodingName(Encoding encoding) {
    for (const Name& n : kNames)
        if (n.encoding == encoding) return n.name;
    return "";
}

// Well-formed UTF-8 as Unicode tables it: after a lead byte, the range of the
// second byte excludes overlong forms (E0, F0), surrogates (ED) and code
// points beyond U+10FFFF (F4); every other continuation byte is 0x80-0xBF.
Utf8Sequence::Step Utf8Sequence::add(unsigned char c) {
    if (size == 0) {
        if (c < 0x80) return Step::Ascii;
        bytes[0] = c;
        size = 1;
        length = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF8 ? 4 : 1;
        low = 0x80, high = 0xBF;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
        wellFormed = (c >= 0xC2 && c <= 0xF4);
        return length == 1 ? Step::Fault : Step::Partial;
    }
    bytes[size++] = c;
    if ((c & 0xC0) != 0x80) return Step::Fault;  // the character ends before its length
    wellFormed = wellFormed && c >= low && c <= high;
    low = 0x80, high = 0xBF;
    if (size < length) return Step::Partial;
    return wellFormed ? Step::Character : Step::Fault;
}

std::string_view Utf8Sequence::fault() const {
    const unsigned char lead = bytes[0];
    const unsigned char second = size > 1 && (bytes[1] & 0xC0) == 0x80 ? bytes[1] : 0;
    if (lead == 0xC0 || lead == 0xC1 || (lead == 0xE0 && second && second < 0xA0) ||
        (lead == 0xF0 && second && second < 0x90))
        return "an overlong form";
    if (lead == 0xED && second >= 0xA0) return "a UTF-16 surrogate";
    if ((lead == 0xF4 && second >= 0x90) || (lead >= 0xF5 && lead <= 0xF7)) return "a code point beyond U+10FFFF";
    return "";
}

std::string hexBytes(std::string_view bytes) {
    std::string text;
    for (const char c : bytes) {
        if (!text.empty()) text += ' ';
        text += hex(static_cast<unsigned char>(c), 2);
    }
    return text;
}

std::optional<std::size_t> firstNonUtf8(std::string_view text) {
    Utf8Sequence sequence;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (sequence.size == 0) start = i;
        switch (sequence.add(static_cast<unsigned char>(text[i]))) {
            case Utf8Sequence::Step::Character: sequence = {}; break;
            case Utf8Sequence::Step::Fault: return start;
            default: break;
        }
    }
    if (sequence.size > 0) return start;
    return std::nullopt;
}

DecodingSource::DecodingSource(ByteSource& source, Encoding encoding)
    : source_(source), encoding_(encoding), given_(encoding) {}

std::optional<InputError> DecodingSource::settle(std::optional<InputError> readerError) {
    if (readerError && !ended_) {
        const auto rest = make_unique_for_overwrite<char[]>(kRawChunk);
        while (read(rest.get(), kRawChunk) > 0) continue;
    }
    if (refusal_) return refusal_;
    return readerError;
}

std::ptrdiff_t DecodingSource::readInput(char* buffer, std::size_t size) {
    if (size == 0) return 0;
    const std::ptrdiff_t got = !started_ && !start() ? -1
                               : refusal_             ? deliverRefusal()
                               : encoding_ == Encoding::Utf8 ? readUtf8(buffer, size)
                                                             : readDecoded(buffer, size);
    ended_ = ended_ || got <= 0;
    return got;
}

// Reads the first bytes and settles the encoding: a byte-order mark names
// it, and must not contradict --encoding; UTF-16 without one takes its byte
// order from where the NUL bytes are.
bool DecodingSource::start() {
    started_ = true;
    raw_ = make_unique_for_overwrite<char[]>(kRawChunk);
    while (rawEnd_ < kStart && !sourceEnded_)
        if (!readRaw(kStart)) return false;
    start_.assign(raw_.get(), rawEnd_);
    const Mark* mark = nullptr;
    for (const Mark& m : kMarks)
        if (start_.starts_with(m.bytes)) mark = &m;

    const bool utf16 = given_ == Encoding::Utf16;
    const bool agrees = given_ == Encoding::Detect || (mark && given_ == mark->encoding) ||
                        (utf16 && mark && mark->encoding != Encoding::Utf8);
    if (mark && !agrees) {
        refuse(0, "the file starts with the byte-order mark of " + std::string(title(mark->encoding)) + " (" +
                      hexBytes(mark->bytes) +
                      "), which --encoding " + std::string(encodingName(given_)) +
                      " does not read: leave --encoding out to read it as " + std::string(title(mark->encoding)));
        return true;
    }
    if (given_ == Encoding::Detect) encoding_ = mark ? mark->encoding : Encoding::Utf8;
    if (utf16 && mark) encoding_ = mark->encoding;
    if (utf16 && !mark && rawEnd_ > 0) {
        if (const auto order = utf16ByteOrder(start_)) {
            encoding_ = *order;
        } else {
            refuse(0, "UTF-16 without a byte-order mark, and its first bytes do not show the byte order: give "
                      "--encoding utf-16le or --encoding utf-16be");
            return true;
        }
    }
    if (encoding_ == Encoding::Utf8 && mark) markToSkip_ = mark->bytes.size();
    return true;
}

void DecodingSource::refuse(std::int64_t column, const std::string& message) {
    const std::string where = column > 0 ? "at character " + std::to_string(column) + ", " : "";
    refusal_ = InputError{lineBreaks_ + 1, 0, where + message};
}

std::ptrdiff_t DecodingSource::deliverRefusal() {
    error_ = refusal_->message;
    return -1;
}

// UTF-8 is read straight into the caller's buffer and checked where it lies.
std::ptrdiff_t DecodingSource::readUtf8(char* buffer, std::size_t size) {
    std::size_t n = 0;
    if (rawBegin_ < rawEnd_) {
        n = std::min(size, rawEnd_ - rawBegin_);
        std::memcpy(buffer, raw_.get() + rawBegin_, n);
        rawBegin_ += n;
    } else if (!sourceEnded_) {
        const std::ptrdiff_t got = source_.read(buffer, size);
        if (got < 0) {
            error_ = source_.error();
            return -1;
        }
        n = static_cast<std::size_t>(got);
        sourceEnded_ = n == 0;
    }
    if (n == 0) {
        if (sequence_.size == 0) return 0;
        refuse(utf8Column(nullptr, 0), notUtf8(true));
        return deliverRefusal();
    }
    const std::size_t mark = std::min(markToSkip_, n);
    markToSkip_ -= mark;
    const auto* p = reinterpret_cast<const unsigned char*>(buffer) + mark;
    const std::size_t checked = n - mark;
    validate(p, checked);
    if (refusal_) return deliverRefusal();
    if (const unsigned char* last = lastLineBreak(p, checked))
        lineStart_ = offset_ + static_cast<std::size_t>(last - p) + 1;
    offset_ += checked;
    return static_cast<std::ptrdiff_t>(n);
}

// Checks p[0, n), which follows the bytes already checked; a fault sets the refusal.
void DecodingSource::validate(const unsigned char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (sequence_.size == 0) {
            i = skipAscii(p, i, n);
            if (i == n) return;
            sequenceStart_ = offset_ + i;
            if (p[i] == 0) return refuse(utf8Column(p, i), nul("byte 0x00 (NUL)"));
        }
        switch (sequence_.add(p[i])) {
            case Utf8Sequence::Step::Character:
                if (continuationLine_ != lineBreaks_) continuationLine_ = lineBreaks_, continuations_ = 0;
                continuations_ += sequence_.length - 1;
                sequence_ = {};
                break;
            case Utf8Sequence::Step::Fault:
                return refuse(utf8Column(p, sequenceStart_ > offset_ ? sequenceStart_ - offset_ : 0), notUtf8(false));
            default: break;
        }
    }
}

// Passes over ASCII bytes other than NUL from p[i], counting line breaks;
// returns where the first other byte is.
std::size_t DecodingSource::skipAscii(const unsigned char* p, std::size_t i, std::size_t n) {
    i = asciiBlocks(p, i, n, lineBreaks_);
    for (; i < n && p[i] - 1u < 0x7Fu; ++i) lineBreaks_ += p[i] == '\n';
    return i;
}

// The character of its line where the current sequence starts, `before`
// bytes into p (0: in an earlier buffer).
std::int64_t DecodingSource::utf8Column(const unsigned char* p, std::size_t before) const {
    std::uint64_t lineStart = lineStart_;
    if (const unsigned char* last = lastLineBreak(p, before))
        lineStart = offset_ + static_cast<std::size_t>(last - p) + 1;
    const std::int64_t continuations = continuationLine_ == lineBreaks_ ? continuations_ : 0;
    return static_cast<std::int64_t>(sequenceStart_ - lineStart) - continuations + 1;
}

std::string DecodingSource::notUtf8(bool atEnd) const {
    const std::string_view seen(reinterpret_cast<const char*>(sequence_.bytes), sequence_.size);
    std::string text = (sequence_.size == 1 ? "byte " : "bytes ") + hexBytes(seen) +
                       (sequence_.size == 1 ? " is not UTF-8" : " are not UTF-8");
    if (const std::string_view why = sequence_.fault(); !why.empty())
        text += " (" + std::string(why) + ")";
    else if (atEnd)
        text += " (the file ends inside a character)";
    if (utf16ByteOrder(start_)) return text + "; " + std::string(kLooksUtf16);
    return text + "; a file saved as Windows-1252 or Latin-1 is read with --encoding cp1252 (or latin1)";
}

std::string DecodingSource::nul(std::string_view what) const {
    std::string text = std::string(what) + " is not text";
    const bool eightBit = encoding_ == Encoding::Utf8 || encoding_ == Encoding::Latin1 || encoding_ == Encoding::Cp1252;
    if (eightBit && utf16ByteOrder(start_))
        text += "; with a NUL every other byte, " + std::string(kLooksUtf16);
    return text;
}

// Every encoding but UTF-8: characters decoded from the bytes read ahead,
// their UTF-8 into the caller's buffer.
std::ptrdiff_t DecodingSource::readDecoded(char* buffer, std::size_t size) {
    std::size_t out = 0;
    while (out < size && pendingBegin_ < pendingEnd_) buffer[out++] = pending_[pendingBegin_++];
    while (out < size) {
        out += copyAscii(buffer + out, size - out);
        if (out == size) break;
        char32_t c = 0;
        std::size_t used = 0;
        if (!nextCodePoint(c, used)) {
            if (refusal_ || sourceEnded_ || out > 0) break;  // hand out what there is rather than wait for more
            if (!refill()) return -1;
            continue;
        }
        if (encoding_ == Encoding::Latin1 || encoding_ == Encoding::Cp1252)
            seenAsUtf8(static_cast<unsigned char>(raw_[rawBegin_]));
        rawBegin_ += used;
        if (c == '\n') {
            ++lineBreaks_;
            column_ = 0;
        } else if (!(firstCharacter_ && c == 0xFEFF)) {
            ++column_;
        }
        firstCharacter_ = false;
        char utf8[4];
        const std::size_t length = encodeUtf8(c, utf8);
        const std::size_t fits = std::min(length, size - out);
        std::memcpy(buffer + out, utf8, fits);
        out += fits;
        std::memcpy(pending_, utf8 + fits, length - fits);
        pendingBegin_ = 0;
        pendingEnd_ = length - fits;
    }
    if (out > 0) return static_cast<std::ptrdiff_t>(out);
    if (!refusal_ && utf8All_ && utf8From_ > 0 && asUtf8_.size == 0)
        refusal_ = InputError{utf8From_, 0,
                              "the file is UTF-8: from this line on its bytes above 0x7F all form UTF-8 characters, "
                              "which --encoding " + std::string(encodingName(encoding_)) +
                                  " would misread as two or more characters each; leave --encoding out"};
    if (refusal_) return deliverRefusal();
    return 0;
}

// Copies the ASCII characters other than NUL that come next, as many as fit
// in `room` bytes, which are the same in UTF-8; returns how many.
std::size_t DecodingSource::copyAscii(char* to, std::size_t room) {
    const auto* p = reinterpret_cast<const unsigned char*>(raw_.get() + rawBegin_);
    const std::size_t available = rawEnd_ - rawBegin_;
    std::size_t run = 0;
    if (encoding_ == Encoding::Latin1 || encoding_ == Encoding::Cp1252) {
        const std::int64_t lineBreaks = lineBreaks_;
        run = skipAscii(p, 0, std::min(available, room));
        if (run == 0) return 0;
        std::memcpy(to, p, run);
        seenAsUtf8(p[0]);  // an ASCII byte ends a UTF-8 character, or is one
        if (lineBreaks_ > lineBreaks)
            column_ = p + run - lastLineBreak(p, run) - 1;
        else
            column_ += static_cast<std::int64_t>(run);
        rawBegin_ += run;
    } else {
        for (; run < room && 2 * run + 2 <= available; ++run) {
            const char32_t unit = codeUnit(p + 2 * run);
            if (unit == 0 || unit >= 0x80) break;
            to[run] = static_cast<char>(unit);
            if (unit == '\n') {
                ++lineBreaks_;
                column_ = 0;
            } else {
                ++column_;
            }
        }
        rawBegin_ += 2 * run;
    }
    firstCharacter_ = firstCharacter_ && run == 0;
    return run;
}

// A Latin-1 or Windows-1252 file whose bytes above 0x7F all form UTF-8
// characters is a UTF-8 file: text in those encodings is almost never so.
void DecodingSource::seenAsUtf8(unsigned char byte) {
    if (byte >= 0x80 && utf8From_ == 0) utf8From_ = lineBreaks_ + 1;
    if (!utf8All_) return;
    switch (asUtf8_.add(byte)) {
        case Utf8Sequence::Step::Fault: utf8All_ = false; break;
        case Utf8Sequence::Step::Character: asUtf8_ = {}; break;
        default: break;
    }
}

// Moves the bytes not yet decoded (less than one character's) to the front
// and reads after them.
bool DecodingSource::refill() {
    std::memmove(raw_.get(), raw_.get() + rawBegin_, rawEnd_ - rawBegin_);
    rawEnd_ -= rawBegin_;
    rawBegin_ = 0;
    return readRaw(kRawChunk);
}

// One read of the source after the bytes read ahead, up to `end`; false when it fails.
bool DecodingSource::readRaw(std::size_t end) {
    const std::ptrdiff_t got = source_.read(raw_.get() + rawEnd_, end - rawEnd_);
    if (got < 0) {
        error_ = source_.error();
        return false;
    }
    sourceEnded_ = got == 0;
    rawEnd_ += static_cast<std::size_t>(got);
    return true;
}

// The next character of the bytes read ahead and how many bytes it takes;
// false when they do not hold a whole one (then, at the end of the input or
// when they are not a character, the refusal is set).
bool DecodingSource::nextCodePoint(char32_t& c, std::size_t& used) {
    const auto* p = reinterpret_cast<const unsigned char*>(raw_.get() + rawBegin_);
    const std::size_t available = rawEnd_ - rawBegin_;
    const std::int64_t column = column_ + 1;
    if (encoding_ == Encoding::Latin1 || encoding_ == Encoding::Cp1252) {
        if (available == 0) return false;
        used = 1;
        c = p[0];
        if (c == 0) {
            refuse(column, nul("byte 0x00 (NUL)"));
            return false;
        }
        if (encoding_ == Encoding::Cp1252 && c >= 0x80 && c < 0xA0) {
            c = kCp1252[c - 0x80];
            if (c == 0) {
                refuse(column, "byte " + hex(p[0], 2) + " is not a character of Windows-1252; --encoding latin1 reads "
                                                        "every byte");
                return false;
            }
        }
        return true;
    }
    // UTF-16, in the byte order settled at the start.
    const auto order = [&] { return " (read as " + std::string(title(encoding_)) + ")"; };
    if (available < 2) {
        if (available == 1 && sourceEnded_)
            refuse(column, "the file ends inside a UTF-16 code unit, after an odd number of bytes" + order());
        return false;
    }
    c = codeUnit(p);
    used = 2;
    if (c == 0) {
        refuse(column, nul("character U+0000 (NUL)"));
        return false;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) {
        refuse(column,
               "UTF-16 code unit " + hex(c, 4) + " is a low surrogate without a high surrogate before it" + order());
        return false;
    }
    if (c >= 0xD800 && c <= 0xDBFF) {
        if (available < 4) {
            if (sourceEnded_)
                refuse(column, "UTF-16 code unit " + hex(c, 4) + ", a high surrogate, ends the file without its low "
                                                                  "surrogate" + order());
            return false;
        }
        const char32_t low = codeUnit(p + 2);
        if (low < 0xDC00 || low > 0xDFFF) {
            refuse(column, "UTF-16 code unit " + hex(c, 4) + ", a high surrogate, is followed by " + hex(low, 4) +
                               " instead of a low surrogate" + order());
            return false;
        }
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        used = 4;
    }
    return true;
}

// The UTF-16 code unit at p, in the byte order settled at the start.
char32_t DecodingSource::codeUnit(const unsigned char* p) const {
    return encoding_ == Encoding::Utf16Be ? char32_t{p[0]} << 8 | p[1] : char32_t{p[1]} << 8 | p[0];
}

}  // namespace kappa
