// Files in every encoding the command line reads, turned into UTF-8 however
// their bytes arrive; the bytes that are not text, refused with their line,
// their character and the --encoding that reads them. The expected UTF-8 was
// made with Python's codecs.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "input/decoding.h"
#include "input/study_reader.h"

namespace kappa {
namespace {

struct Decoded {
    std::string text;
    std::optional<InputError> refusal;
};

// All of `bytes` decoded, from reads of one byte to reads of everything and
// into buffers of one byte to 64 KiB: every way must give the same.
Decoded decode(const std::string& bytes, Encoding encoding) {
    Decoded first;
    bool firstRead = true;
    for (const std::size_t maxRead : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{5}, SIZE_MAX})
        for (const std::size_t size : {std::size_t{1}, std::size_t{3}, std::size_t{65536}}) {
            ByteSource raw(bytes, maxRead);
            DecodingSource source(raw, encoding);
            std::vector<char> buffer(size);
            Decoded decoded;
            for (std::ptrdiff_t got; (got = source.read(buffer.data(), size)) > 0;)
                decoded.text.append(buffer.data(), static_cast<std::size_t>(got));
            decoded.refusal = source.settle(std::nullopt);
            if (firstRead) {
                first = decoded;
                firstRead = false;
                continue;
            }
            SCOPED_TRACE("reads of " + std::to_string(maxRead) + " bytes into " + std::to_string(size));
            EXPECT_EQ(decoded.refusal.has_value(), first.refusal.has_value());
            if (decoded.refusal && first.refusal) {
                EXPECT_EQ(decoded.refusal->line, first.refusal->line);
                EXPECT_EQ(decoded.refusal->message, first.refusal->message);
            } else {
                EXPECT_EQ(decoded.text, first.text);
            }
        }
    return first;
}

TEST(Encodings, DecodedToUtf8) {
    struct Case {
        const char* name;
        std::string bytes;
        Encoding encoding;
        std::string utf8;
    };
    const Case cases[] = {
        {"UTF-8 as it is", "a,\xC3\xA9\n\xF0\x9F\x98\x80", Encoding::Detect, "a,\xC3\xA9\n\xF0\x9F\x98\x80"},
        {"a UTF-8 byte-order mark is left to the readers", "\xEF\xBB\xBFx\n", Encoding::Utf8, "\xEF\xBB\xBFx\n"},
        {"UTF-16 LE found by its mark, a surrogate pair", std::string("\xFF\xFE" "a\0\xE9\0\n\0\x3D\xD8\0\xDE", 12),
         Encoding::Detect, "\xEF\xBB\xBF" "a\xC3\xA9\n\xF0\x9F\x98\x80"},
        {"UTF-16 BE found by its mark", std::string("\xFE\xFF\0a\0\xE9\xD8\x3D\xDE\0", 10), Encoding::Detect,
         "\xEF\xBB\xBF" "a\xC3\xA9\xF0\x9F\x98\x80"},
        {"UTF-16 LE without a mark", std::string("a\0,\0b\0", 6), Encoding::Utf16, "a,b"},
        {"UTF-16 BE without a mark", std::string("\0a\0,\0b", 6), Encoding::Utf16, "a,b"},
        {"an empty file, even in UTF-16 of no byte order", "", Encoding::Utf16, ""},
        {"UTF-16 BE given, its mark agrees", std::string("\xFE\xFF\0a", 4), Encoding::Utf16Be, "\xEF\xBB\xBF" "a"},
        {"Latin-1: every byte is its character", "\x80\xA0\xE9\xFF", Encoding::Latin1,
         "\xC2\x80\xC2\xA0\xC3\xA9\xC3\xBF"},
        {"Windows-1252: euro, quotes, dashes at 0x80-0x9F, Latin-1 above",
         "\x80\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9E"
         "\x9F\xA0\xFF",
         Encoding::Cp1252,
         "\xE2\x82\xAC\xE2\x80\x9A\xC6\x92\xE2\x80\x9E\xE2\x80\xA6\xE2\x80\xA0\xE2\x80\xA1\xCB\x86\xE2\x80\xB0\xC5\xA0"
         "\xE2\x80\xB9\xC5\x92\xC5\xBD\xE2\x80\x98\xE2\x80\x99\xE2\x80\x9C\xE2\x80\x9D\xE2\x80\xA2\xE2\x80\x93\xE2\x80"
         "\x94\xCB\x9C\xE2\x84\xA2\xC5\xA1\xE2\x80\xBA\xC5\x93\xC5\xBE\xC5\xB8\xC2\xA0\xC3\xBF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded decoded = decode(c.bytes, c.encoding);
        EXPECT_FALSE(decoded.refusal) << decoded.refusal->message;
        EXPECT_EQ(decoded.text, c.utf8);
    }
}

TEST(Encodings, RefusedWithLineCharacterAndOption) {
    const std::string notUtf8 = "; a file saved as Windows-1252 or Latin-1 is read with --encoding cp1252 (or latin1)";
    const std::string looksUtf16 = "; with a NUL every other byte, the file looks like UTF-16 without a byte-order "
                                   "mark: read it with --encoding utf-16";
    std::string manyLines;
    for (int i = 0; i < 5000; ++i) manyLines += i % 2 ? "1,2\n" : std::string(70, 'x') + "\n";
    struct Case {
        const char* name;
        std::string bytes;
        Encoding encoding;
        std::int64_t line;
        std::string message;
    };
    const Case cases[] = {
        {"Latin-1 in a label", "a,b\n1,2\nl\xE9ger,1\n", Encoding::Detect, 3,
         "at character 2, bytes 0xE9 0x67 are not UTF-8" + notUtf8},
        {"characters counted, not bytes", "\xC3\xA9\xE2\x82\xAC,\xFF", Encoding::Utf8, 1,
         "at character 4, byte 0xFF is not UTF-8" + notUtf8},
        {"line breaks counted 64 bytes at a time", manyLines + "ab\x80", Encoding::Detect, 5001,
         "at character 3, byte 0x80 is not UTF-8" + notUtf8},
        {"... and in every byte", std::string(20000, '\n') + "\x80", Encoding::Detect, 20001,
         "at character 1, byte 0x80 is not UTF-8" + notUtf8},
        {"an overlong form", "x\n\xC0\xAF", Encoding::Detect, 2,
         "at character 1, bytes 0xC0 0xAF are not UTF-8 (an overlong form)" + notUtf8},
        {"an overlong form of three bytes", "\xE0\x80\xAF", Encoding::Detect, 1,
         "at character 1, bytes 0xE0 0x80 0xAF are not UTF-8 (an overlong form)" + notUtf8},
        {"a surrogate", "\xED\xA0\x80", Encoding::Detect, 1,
         "at character 1, bytes 0xED 0xA0 0x80 are not UTF-8 (a UTF-16 surrogate)" + notUtf8},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", Encoding::Detect, 1,
         "at character 1, bytes 0xF4 0x90 0x80 0x80 are not UTF-8 (a code point beyond U+10FFFF)" + notUtf8},
        {"a character cut by a line break", "\xE2\x82\n", Encoding::Detect, 1,
         "at character 1, bytes 0xE2 0x82 0x0A are not UTF-8" + notUtf8},
        {"a character cut by the end", "a\nb\xE2\x82", Encoding::Detect, 2,
         "at character 2, bytes 0xE2 0x82 are not UTF-8 (the file ends inside a character)" + notUtf8},
        {"UTF-16 without a mark read as UTF-8", std::string("a\0,\0b\0\n\0", 8), Encoding::Detect, 1,
         "at character 2, byte 0x00 (NUL) is not text" + looksUtf16},
        {"... or as Latin-1", std::string("\0a\0,", 4), Encoding::Latin1, 1,
         "at character 1, byte 0x00 (NUL) is not text" + looksUtf16},
        {"a NUL in a text", std::string("ab\ncd\0e", 7), Encoding::Detect, 2,
         "at character 3, byte 0x00 (NUL) is not text"},
        {"not a character of Windows-1252", "ok\na\x81", Encoding::Cp1252, 2,
         "at character 2, byte 0x81 is not a character of Windows-1252; --encoding latin1 reads every byte"},
        {"UTF-8 read as Windows-1252", "a\nl\xC3\xA9ger\n\xE2\x82\xAC", Encoding::Cp1252, 2,
         "the file is UTF-8: from this line on its bytes above 0x7F all form UTF-8 characters, which --encoding "
         "cp1252 would misread as two or more characters each; leave --encoding out"},
        {"a byte-order mark against --encoding", std::string("\xFF\xFE" "a\0", 4), Encoding::Latin1, 1,
         "the file starts with the byte-order mark of UTF-16 LE (0xFF 0xFE), which --encoding latin1 does not "
         "read: leave --encoding out to read it as UTF-16 LE"},
        {"UTF-8 marked, UTF-16 given", "\xEF\xBB\xBF" "ab", Encoding::Utf16, 1,
         "the file starts with the byte-order mark of UTF-8 (0xEF 0xBB 0xBF), which --encoding utf-16 does not read: "
         "leave --encoding out to read it as UTF-8"},
        {"UTF-16 of no byte order that shows", "\x10\x04\x11\x04", Encoding::Utf16, 1,
         "UTF-16 without a byte-order mark, and its first bytes do not show the byte order: give --encoding "
         "utf-16le or --encoding utf-16be"},
        {"a low surrogate alone", std::string("\xFF\xFE" "a\0\0\xDC", 6), Encoding::Detect, 1,
         "at character 2, UTF-16 code unit 0xDC00 is a low surrogate without a high surrogate before it (read as "
         "UTF-16 LE)"},
        {"a high surrogate without its low one", std::string("\xFE\xFF\xD8\x3D\0a", 6), Encoding::Detect, 1,
         "at character 1, UTF-16 code unit 0xD83D, a high surrogate, is followed by 0x0061 instead of a low "
         "surrogate (read as UTF-16 BE)"},
        {"a high surrogate at the end", std::string("\n\0\x3D\xD8", 4), Encoding::Utf16Le, 2,
         "at character 1, UTF-16 code unit 0xD83D, a high surrogate, ends the file without its low surrogate (read "
         "as UTF-16 LE)"},
        {"an odd number of bytes", std::string("\xFF\xFE" "a\0\n\0b", 7), Encoding::Detect, 2,
         "at character 1, the file ends inside a UTF-16 code unit, after an odd number of bytes (read as UTF-16 LE)"},
        {"a NUL in UTF-16", std::string("\xFF\xFE" "a\0\0\0", 6), Encoding::Detect, 1,
         "at character 2, character U+0000 (NUL) is not text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded decoded = decode(c.bytes, c.encoding);
        ASSERT_TRUE(decoded.refusal);
        EXPECT_EQ(decoded.refusal->line, c.line);
        EXPECT_EQ(decoded.refusal->column, 0);
        EXPECT_EQ(decoded.refusal->message, c.message);
    }
}

// A fault in the encoding is reported wherever it is, before what the reader
// finds wrong, however far ahead the reader reads.
TEST(Encodings, TheFaultOutranksTheReadersRefusal) {
    InputOptions options;
    options.format = InputFormat::Ratings;
    for (const std::size_t chunk : {std::size_t{1}, DelimitedReader::kChunk}) {
        ByteSource raw("a,b\n1,2,3\nx,y\nl\xE9ger,1\n");
        DecodingSource source(raw, Encoding::Detect);
        InputDescription input;
        const auto error = source.settle(readStudies(source, options, input, [](StudyGroup&&) {}, chunk));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->line, 4);
        EXPECT_TRUE(error->message.starts_with("at character 2, bytes 0xE9 0x67")) << error->message;
    }
}

TEST(Encodings, NamesAndUtf8Text) {
    EXPECT_EQ(encodingNamed("UTF-8"), Encoding::Utf8);
    EXPECT_EQ(encodingNamed("Windows-1252"), Encoding::Cp1252);
    EXPECT_EQ(encodingNamed("iso-8859-1"), Encoding::Latin1);
    EXPECT_EQ(encodingNamed("utf16le"), Encoding::Utf16Le);
    EXPECT_EQ(encodingNamed("ascii"), std::nullopt);
    EXPECT_EQ(encodingName(Encoding::Cp1252), "cp1252");
    EXPECT_EQ(firstNonUtf8("l\xC3\xA9ger"), std::nullopt);
    EXPECT_EQ(firstNonUtf8("ab\xC3"), 2u);
    EXPECT_EQ(firstNonUtf8("a\xED\xA0\x80"), 1u);
}

}  // namespace
}  // namespace kappa
