// Texts that come from the user (labels, group and rater names, file names,
// options) as the program shows them in its text output and its messages:
// control characters escaped, so that no such text can break a line of a
// report or write one of its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kappa {

// The text with every control character escaped: "\n", "\t", "\r", "\xNN"
// for the other C0 controls and DEL, "\u0080".."\u009F" for the C1 controls
// written in UTF-8. Other bytes are kept as they are.
std::string printable(std::string_view text);

// A text as messages quote it: printable, between single quotes, cut after
// 40 bytes (at the start of a character) with "..." after the cut.
std::string quote(std::string_view text);

// The first eight items of a list, quoted and separated by commas (the empty
// one as "(the empty field)"), with the count of all when there are more.
std::string listOf(const std::vector<std::string>& items);

// A count and its word, the word with an "s" unless the count is 1: "1 field",
// "3 fields".
std::string plural(std::int64_t count, std::string_view one, std::string_view many = {});

}  // namespace kappa
