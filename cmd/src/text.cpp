#include "text.h"

namespace qpx::cmd {
namespace {

// Reads one UTF-8 character at `i` (advancing it) folded to lower case for
// the letters this program compares; other bytes come back as they are.
unsigned fold_next(std::string_view s, std::size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i++]);
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c == 0xC3 && i < s.size()) {
        unsigned char d = static_cast<unsigned char>(s[i]);
        if (d >= 0x80 && d <= 0xBF) {
            ++i;
            unsigned cp = 0xC0 + (d - 0x80);
            if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) cp += 0x20;
            return 0x100 | cp;  // keep it apart from single bytes
        }
    }
    return c;
}

}  // namespace

std::string_view trim(std::string_view text) {
    const char* blanks = " \t\r\n";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::string upper_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size())
        if (fold_next(a, i) != fold_next(b, j)) return false;
    return i == a.size() && j == b.size();
}

bool ends_with_ignoring_case(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && upper_ascii(text.substr(text.size() - suffix.size())) == upper_ascii(suffix);
}

}  // namespace qpx::cmd
