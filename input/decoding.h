// The encodings the command line reads, and the source that turns another
// source's bytes into UTF-8 for the readers, so that every label, column name
// and message the program handles is UTF-8 whatever the file was saved as.
//
// By default a file is UTF-8 (with or without a byte-order mark), or UTF-16
// when a byte-order mark says so. Bytes that are not UTF-8 are refused at
// their line, naming them and the --encoding that reads Latin-1, Windows-1252
// or UTF-16 without a byte-order mark. A NUL is never part of a text and is
// refused in every encoding (a UTF-16 file read as UTF-8 shows one every other
// byte, and the refusal says so).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "input/byte_source.h"
#include "input/input_error.h"

namespace kappa {

enum class Encoding {
    Detect,  // UTF-8, or UTF-16 when a byte-order mark says so
    Utf8,
    Utf16,   // the byte order from a byte-order mark, else from where the NUL bytes of ASCII text are
    Utf16Le,
    Utf16Be,
    Latin1,  // ISO 8859-1: every byte is the character of that number
    Cp1252,  // Windows-1252: Latin-1 with printable characters at 0x80-0x9F
};

// The encoding that --encoding names (in any case, with a few usual aliases
// such as utf8, iso-8859-1 and windows-1252), or none.
std::optional<Encoding> encodingNamed(std::string_view name);

// How --encoding names an encoding ("utf-8", "latin1", ...; "" for Detect).
std::string_view encodingName(Encoding encoding);

// The names --encoding takes, for messages and help.
inline constexpr std::string_view kEncodingNames = "utf-8, utf-16, utf-16le, utf-16be, latin1 or cp1252";

// A UTF-8 sequence read a byte at a time, which may be cut across reads.
struct Utf8Sequence {
    enum class Step { Ascii, Partial, Character, Fault };

    unsigned char bytes[4] = {};
    std::uint8_t size = 0;    // bytes taken; 0 between characters
    std::uint8_t length = 0;  // bytes its first byte announces
    unsigned char low = 0, high = 0;  // the range of well-formed next bytes
    bool wellFormed = true;

    // Takes the next byte. Ascii: an ASCII byte between characters (not
    // kept); Character: the sequence is a whole character; Fault: it is not
    // UTF-8, and `bytes` holds what was seen (the byte that broke it last).
    Step add(unsigned char c);
    // Why a faulty sequence is not UTF-8, when there is more to say than
    // that: "an overlong form", "a UTF-16 surrogate", ...
    std::string_view fault() const;
};

// The offset of the first byte of `text` that is not part of well-formed
// UTF-8, or none when all of it is.
std::optional<std::size_t> firstNonUtf8(std::string_view text);

// Bytes as messages show them: "0xE9 0x67".
std::string hexBytes(std::string_view bytes);

// Hands out the bytes of `source` as UTF-8 in `encoding`, however they are
// cut into reads. Bytes that do not decode make read() return -1; the refusal
// gives their line (the line breaks decoded before them, plus one), their
// character in the line, what they are and which --encoding reads them.
class DecodingSource final : public ByteSource {
public:
    DecodingSource(ByteSource& source, Encoding encoding);

    // The error that the reading of this source ends with. Bytes that do not
    // decode are the first thing wrong with a file wherever they are (how a
    // reader reads text that is not what it seems means little): when the
    // reader refused the file for a reason of its own, the rest of the input
    // is decoded still, and a fault found there is reported instead. So the
    // outcome does not depend on how far ahead the reader had read.
    std::optional<InputError> settle(std::optional<InputError> readerError);

protected:
    std::ptrdiff_t readInput(char* buffer, std::size_t size) override;

private:
    bool start();
    std::ptrdiff_t readUtf8(char* buffer, std::size_t size);
    void validate(const unsigned char* p, std::size_t n);
    std::size_t skipAscii(const unsigned char* p, std::size_t i, std::size_t n);
    std::int64_t utf8Column(const unsigned char* p, std::size_t faultAt) const;
    std::ptrdiff_t readDecoded(char* buffer, std::size_t size);
    bool refill();
    bool readRaw(std::size_t end);
    std::size_t copyAscii(char* to, std::size_t room);
    bool nextCodePoint(char32_t& c, std::size_t& used);
    char32_t codeUnit(const unsigned char* p) const;
    void seenAsUtf8(unsigned char byte);
    void refuse(std::int64_t column, const std::string& message);
    std::ptrdiff_t deliverRefusal();
    std::string notUtf8(bool atEnd) const;
    std::string nul(std::string_view what) const;

    ByteSource& source_;
    Encoding encoding_;
    Encoding given_;
    bool started_ = false;
    bool sourceEnded_ = false;

    // Bytes read from the source and not yet handed out: the first bytes
    // (UTF-8), or what the next characters are decoded from.
    std::unique_ptr<char[]> raw_;
    std::size_t rawBegin_ = 0, rawEnd_ = 0;
    // The first bytes of the input, which show a byte-order mark or the NUL
    // bytes of UTF-16 text.
    std::string start_;

    // The UTF-8 of a character that did not fit in the caller's buffer.
    char pending_[4] = {};
    std::size_t pendingBegin_ = 0, pendingEnd_ = 0;

    // Where the decoding is. UTF-8 is validated where it lies, so its
    // character column is found only for a fault: from the last line break
    // and the continuation bytes after it.
    std::int64_t lineBreaks_ = 0;
    std::int64_t column_ = 0;           // characters before the next one on its line (other encodings)
    bool firstCharacter_ = true;        // a byte-order mark takes no column
    std::size_t markToSkip_ = 0;        // UTF-8: bytes of the byte-order mark not yet handed out
    std::uint64_t offset_ = 0;          // UTF-8: bytes validated before the current buffer
    std::uint64_t lineStart_ = 0;       // UTF-8: the offset after the last line break of earlier buffers
    std::int64_t continuations_ = 0;    // UTF-8: continuation bytes on line continuationLine_
    std::int64_t continuationLine_ = 0;
    std::uint64_t sequenceStart_ = 0;
    Utf8Sequence sequence_;
    // Latin-1 and Windows-1252: the bytes read as UTF-8 all the same, and the
    // line of the first byte above 0x7F (0: none yet).
    Utf8Sequence asUtf8_;
    bool utf8All_ = true;
    std::int64_t utf8From_ = 0;

    std::optional<InputError> refusal_;
    bool ended_ = false;  // read() has returned 0 or -1
};

}  // namespace kappa
