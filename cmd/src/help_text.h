// The parameter description the dialog shows (and a terminal prints).
#pragma once

#include <string>

#include "messages/string_table.h"

namespace qpx::cmd {

// Ids of the dialog's texts.
inline constexpr int kDialogCaption = 103;
inline constexpr int kHelpTitle = 1001;
inline constexpr int kHelpFirst = 1002, kHelpLast = 1015;  // syntax and explanation, in pairs
inline constexpr int kInputLabel = 1016, kRunButton = 1017, kCancelButton = 1018;

inline std::string help_text(const ui::StringTable& strings) {
    std::string text = strings.text(kHelpTitle) + "\n\n";
    for (int id = kHelpFirst; id < kHelpLast; id += 2)
        text += strings.text(id) + "\t" + strings.text(id + 1) + "\n";
    return text;
}

}  // namespace qpx::cmd
