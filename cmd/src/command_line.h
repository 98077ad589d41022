// One command line taken apart: its command, switches, container file,
// drive, descriptions, program and parameter file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qpx::cmd {

// Splits at blanks; a token that starts with a double quote runs to the
// next one (both dropped); empty tokens are skipped. Tokens keep the case
// the user typed.
std::vector<std::string> tokenize(std::string_view line);

enum class Command { None, Insert, Eject, Execute };
enum class Verbosity { Normal, Quiet, Verbose };

struct ParsedLine {
    Command command = Command::None;  // explicit /i, /e or /x
    bool insert_then_execute = false; // /i ... /x program on one line
    bool help = false;                // /? or /h
    std::optional<Verbosity> verbosity;
    bool verbose_switch = false;      // /v seen: show the line at once
    std::string container_file;       // a token ending in .qim, as typed
    std::string description;          // a token naming a catalogue entry
    char drive = 0;                   // upper-case letter
    std::string program;              // the last plain token after /x
    std::string parameter_file;       // a token ending in .cmd: run it, ignore the rest
};

// Classifies the tokens left to right. Linux paths start with "/" too: a
// token is a switch only when it is a word after "/" or "-" without a
// further "/" and not a container or parameter file.
ParsedLine parse_line(std::string_view line);

inline constexpr std::size_t kMaxDescription = 260;

}  // namespace qpx::cmd
