#include "input/printable.h"

#include <cstdio>

namespace kappa {

namespace {

// Bytes shown of a quoted text.
constexpr std::size_t kQuoted = 40;

bool continuationByte(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

std::string printable(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        char escaped[8];
        if (c == '\n') {
            shown += "\\n";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            shown += escaped;
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned char>(text[++i]));
            shown += escaped;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

std::string quote(std::string_view text) {
    std::size_t cut = text.size();
    if (cut > kQuoted)
        for (cut = kQuoted; cut > 0 && continuationByte(static_cast<unsigned char>(text[cut]));) --cut;
    std::string quoted(1, '\'');
    quoted.append(printable(text.substr(0, cut)));
    quoted.append(cut < text.size() ? "...'" : "'");
    return quoted;
}

std::string listOf(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i == 8) return text + ", ... (" + std::to_string(items.size()) + " in all)";
        text += (i ? ", " : "") + (items[i].empty() ? std::string("(the empty field)") : quote(items[i]));
    }
    return text;
}

std::string plural(std::int64_t count, std::string_view one, std::string_view many) {
    if (count == 1) return "1 " + std::string(one);
    return std::to_string(count) + " " + (many.empty() ? std::string(one) + "s" : std::string(many));
}

}  // namespace kappa
