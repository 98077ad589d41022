#include "player_texts.h"

#include "messages/string_table.h"

extern const char qpxplayer_strings[];

namespace qpx::player::texts {

std::string text(int id) {
    static const ui::StringTable table(qpxplayer_strings);
    const std::string name = table.text(kPlayerName);
    return table.format(id, {name, name});
}

}  // namespace qpx::player::texts
