#include "drive_list_parser.h"

namespace qpx::driver {

std::optional<std::string> container_entry(std::string_view list, std::uint32_t drive) {
    std::size_t begin = 0;
    for (std::uint32_t k = 0; k < drive; ++k) {
        const std::size_t separator = list.find(';', begin);
        if (separator == std::string_view::npos) return std::nullopt;
        begin = separator + 1;
    }
    if (begin >= list.size()) return std::nullopt;
    const std::size_t end = list.find(';', begin);
    const std::string_view entry = list.substr(begin, end == std::string_view::npos ? end : end - begin);
    if (entry.empty()) return std::nullopt;
    return std::string(entry);
}

}  // namespace qpx::driver
