// A program's string table: numbered texts kept as data, exactly as they are
// shown (typos and double blanks included), with "%s" placeholders.
//
// The table's text has one entry per line: the number, a tab, the text.
// Lines starting with "#" and empty lines are skipped; "\n" in a text stands
// for a line feed.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qpx::ui {

class StringTable {
public:
    // Throws std::invalid_argument naming the line of a malformed entry.
    explicit StringTable(std::string_view table_text);

    bool contains(int id) const { return texts_.count(id) != 0; }
    // The text of `id`; an unknown id gives "#<id>" so a missing text shows.
    const std::string& text(int id) const;
    // The text with each "%s" replaced by the next argument, in order.
    // Arguments are inserted as they are, never interpreted; missing ones
    // leave the placeholder empty, "%%" is a percent sign.
    std::string format(int id, const std::vector<std::string>& args = {}) const;

private:
    std::map<int, std::string> texts_;
    mutable std::string missing_;
};

// Fills "%s" placeholders of any text the same way.
std::string fill_placeholders(std::string_view text, const std::vector<std::string>& args);

}  // namespace qpx::ui
