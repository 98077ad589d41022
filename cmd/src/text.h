// Small text helpers of the command line.
#pragma once

#include <string>
#include <string_view>

namespace qpx::cmd {

std::string_view trim(std::string_view text);
// ASCII letters to upper case; everything else as it is.
std::string upper_ascii(std::string_view text);
// Equal ignoring case: ASCII letters and the accented Latin letters
// (UTF-8 U+00C0..U+00DE against U+00E0..U+00FE).
bool equal_ignoring_case(std::string_view a, std::string_view b);
bool ends_with_ignoring_case(std::string_view text, std::string_view suffix);

}  // namespace qpx::cmd
