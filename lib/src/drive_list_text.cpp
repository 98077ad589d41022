#include "drive_list_text.h"

namespace qpx::lib {

std::optional<std::string_view> list_entry(std::string_view list, int k) {
    if (k < 0) return std::nullopt;
    std::size_t start = 0;
    for (int i = 0; i < k; ++i) {
        std::size_t sep = list.find(';', start);
        if (sep == std::string_view::npos) return std::nullopt;
        start = sep + 1;
    }
    std::size_t end = list.find(';', start);
    return list.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

std::string rebuilt_list(std::string_view old, int drives) {
    std::string out;
    for (int k = 0; k < drives; ++k) {
        if (auto e = list_entry(old, k)) out += *e;
        out += ';';
    }
    return out;
}

}  // namespace qpx::lib
