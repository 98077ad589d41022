// The player's texts from its string table.
#pragma once

#include <string>

namespace qpx::player::texts {

inline constexpr int kInfoTitle = 100;
inline constexpr int kInfoItem = 101;
inline constexpr int kPlayerName = 102;
inline constexpr int kCannotConvert = 107;
inline constexpr int kConfirmClose = 109;
inline constexpr int kStopPlayer = 32782;
inline constexpr int kClosePlayer = 32783;

// The text, with its placeholders filled with the player's name.
std::string text(int id);

}  // namespace qpx::player::texts
