#include "command_line.h"

#include "text.h"

namespace qpx::cmd {

std::vector<std::string> tokenize(std::string_view line) {
    std::vector<std::string> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        std::size_t end;
        std::string token;
        if (line[i] == '"') {
            end = line.find('"', i + 1);
            if (end == std::string_view::npos) end = line.size();
            token = line.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            end = line.find_first_of(" \t", i);
            if (end == std::string_view::npos) end = line.size();
            token = line.substr(i, end - i);
            i = end;
        }
        if (!token.empty()) tokens.push_back(std::move(token));
    }
    return tokens;
}

namespace {

bool is_switch(const std::string& token) {
    return token.size() >= 2 && (token[0] == '/' || token[0] == '-') && token.find('/', 1) == std::string::npos;
}

bool is_drive(const std::string& token) {
    const std::string u = upper_ascii(token);
    return (u.size() == 1 || (u.size() == 2 && u[1] == ':')) && u[0] >= 'A' && u[0] <= 'Z';
}

}  // namespace

ParsedLine parse_line(std::string_view line) {
    ParsedLine p;
    bool after_execute = false;
    for (const std::string& token : tokenize(line)) {
        if (ends_with_ignoring_case(token, ".CMD")) {
            p.parameter_file = token;
            break;  // the rest of the line is ignored
        }
        if (ends_with_ignoring_case(token, ".QIM")) {
            p.container_file = token;
            continue;
        }
        if (is_switch(token)) {
            switch (upper_ascii(token.substr(1, 1))[0]) {
                case 'I':
                    if (p.command == Command::Execute) p.insert_then_execute = true;
                    else p.command = Command::Insert;
                    break;
                case 'E': p.command = Command::Eject; break;
                case 'X':
                    if (p.command == Command::Insert) p.insert_then_execute = true;
                    else p.command = Command::Execute;
                    after_execute = true;
                    break;
                case 'V':
                    p.verbosity = Verbosity::Verbose;
                    p.verbose_switch = true;
                    break;
                case 'Q': p.verbosity = Verbosity::Quiet; break;
                case 'N': p.verbosity = Verbosity::Normal; break;
                case '?':
                case 'H': p.help = true; break;
                default: break;  // other switches are ignored
            }
            continue;
        }
        if (after_execute) {
            p.program = token;
            continue;
        }
        if (is_drive(token)) {
            p.drive = upper_ascii(token)[0];
            continue;
        }
        if (token.size() <= kMaxDescription) p.description = token;
    }
    return p;
}

}  // namespace qpx::cmd
