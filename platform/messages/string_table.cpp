#include "messages/string_table.h"

#include <charconv>
#include <stdexcept>

namespace qpx::ui {

StringTable::StringTable(std::string_view table_text) {
    std::size_t pos = 0;
    int line_number = 0;
    while (pos < table_text.size()) {
        std::size_t end = table_text.find('\n', pos);
        if (end == std::string_view::npos) end = table_text.size();
        std::string_view line = table_text.substr(pos, end - pos);
        pos = end + 1;
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        std::size_t tab = line.find('\t');
        int id = 0;
        auto [ptr, ec] = std::from_chars(line.data(), line.data() + (tab == std::string_view::npos ? 0 : tab), id);
        if (tab == std::string_view::npos || ec != std::errc() || ptr != line.data() + tab)
            throw std::invalid_argument("string table line " + std::to_string(line_number) + " is malformed");
        std::string text;
        for (std::size_t i = tab + 1; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == 'n') {
                text += '\n';
                ++i;
            } else {
                text += line[i];
            }
        }
        if (!texts_.emplace(id, std::move(text)).second)
            throw std::invalid_argument("string table line " + std::to_string(line_number) + " repeats id " +
                                        std::to_string(id));
    }
}

const std::string& StringTable::text(int id) const {
    auto it = texts_.find(id);
    if (it != texts_.end()) return it->second;
    missing_ = "#" + std::to_string(id);
    return missing_;
}

std::string StringTable::format(int id, const std::vector<std::string>& args) const {
    return fill_placeholders(text(id), args);
}

std::string fill_placeholders(std::string_view text, const std::vector<std::string>& args) {
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size()) {
            if (text[i + 1] == 's') {
                if (next < args.size()) out += args[next];
                ++next;
                ++i;
                continue;
            }
            if (text[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

}  // namespace qpx::ui
