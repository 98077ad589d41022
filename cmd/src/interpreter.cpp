#include "interpreter.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "text.h"

namespace qpx::cmd {
namespace {

namespace fs = std::filesystem;
using notify::Message;

constexpr std::size_t kDescriptionOffset = 12;
constexpr std::size_t kDescriptionSize = 128;

std::string drive_text(char letter) { return letter ? std::string(1, letter) + ":" : std::string(); }

// The description a container shows: the header's, else the file name
// without folder and extension.
std::string description_of(const std::string& header, const std::string& path) {
    std::string d = header.substr(kDescriptionOffset, kDescriptionSize);
    d = d.substr(0, d.find('\0'));
    if (!d.empty()) return d;
    return fs::path(path).stem().string();
}

}  // namespace

std::vector<std::string> split_record(const std::string& record) {
    std::vector<std::string> fields;
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        std::size_t comma = record.find(',', pos);
        if (comma == std::string::npos) break;
        fields.push_back(record.substr(pos, comma - pos));
        pos = comma + 1;
    }
    fields.push_back(record.substr(pos));  // the start application may hold commas
    fields.resize(5);
    return fields;
}

Interpreter::Interpreter(const InterpreterServices& services) : s_(services) {}

void Interpreter::show(Level level, int id, const std::vector<std::string>& args) {
    if (verbosity_ == Verbosity::Quiet) return;
    if (level == Level::Progress && verbosity_ != Verbosity::Verbose) return;
    std::string text = s_.strings.format(id, args);
    if (level != Level::Catalogue) text += '\n';
    s_.messages.show(text, level == Level::Progress ? ui::Severity::Info
                           : level == Level::Error  ? ui::Severity::Error
                                                    : ui::Severity::Warning);
}

void Interpreter::start() {
    const int units = s_.library.number_of_units();
    const std::string letters = s_.library.drive_letters();
    if (static_cast<int>(letters.size()) < units) show(Level::Catalogue, msg::kRestartNeeded);
    drives_.clear();
    for (char letter : letters) {
        int number = s_.library.drive_unit(letter);
        if (number >= 0) drives_.push_back({number, letter});
    }
    std::sort(drives_.begin(), drives_.end(), [](const Drive& a, const Drive& b) { return a.number < b.number; });

    // A list that cannot be read is written anew with one empty entry per
    // drive, so the drives can still be used.
    if (!s_.library.container_files()) {
        std::string list;
        for (std::size_t i = 0; i < drives_.size(); ++i) list += ';';
        s_.library.set_container_files(list);
    }
}

std::vector<std::string> Interpreter::list_entries() {
    std::vector<std::string> entries;
    const std::string list = s_.library.container_files().value_or("");
    std::size_t pos = 0;
    while (pos < list.size()) {
        std::size_t sep = list.find(';', pos);
        if (sep == std::string::npos) sep = list.size();
        entries.push_back(list.substr(pos, sep - pos));
        pos = sep + 1;
    }
    return entries;
}

const Interpreter::Drive* Interpreter::drive_of_letter(char letter) const {
    for (const Drive& d : drives_)
        if (d.letter == letter) return &d;
    return nullptr;
}

std::optional<Interpreter::Record> Interpreter::load_record(int number) {
    auto text = s_.library.container_record(number);
    if (!text) return std::nullopt;
    auto fields = split_record(*text);
    Record r{number, fields[0], fields[1], fields[2], fields[3], fields[4], {}};
    HeaderRead header = s_.library.read_header(r.path);
    if (header.status != HeaderRead::Status::ok) return std::nullopt;
    r.description = description_of(header.header, r.path);
    return r;
}

int Interpreter::find_description(const std::string& description) {
    const int count = s_.library.number_of_containers();
    for (int n = 1; n <= count; ++n) {
        auto text = s_.library.container_record(n);
        if (!text) continue;
        const std::string path = split_record(*text)[0];
        HeaderRead header = s_.library.read_header(path);
        if (header.status != HeaderRead::Status::ok) continue;
        if (equal_ignoring_case(description_of(header.header, path), description)) return n;
    }
    return 0;
}

bool Interpreter::execute_line(std::string_view raw_line) {
    const std::string line(trim(raw_line));
    const bool was_verbose = verbosity_ == Verbosity::Verbose;
    show(Level::Progress, msg::kExecuteLine, {line});
    ParsedLine p = parse_line(line);
    if (p.verbosity) verbosity_ = *p.verbosity;
    if (p.verbose_switch && !was_verbose) show(Level::Progress, msg::kExecuteLine, {line});

    if (!p.parameter_file.empty()) return run_parameter_file(p.parameter_file);

    int number = 0;
    if (!p.description.empty() && p.command != Command::Execute) {
        number = find_description(p.description);
        if (!number) {
            // Told once; a drive on the same line may still be ejected.
            show(Level::Error, msg::kUnknownDescription, {p.description});
            p.container_file.clear();
            if (p.command == Command::Insert || (p.command == Command::None && !p.drive)) return false;
        }
    }

    Command command = p.command;
    if (p.help) command = Command::None;
    else if (command == Command::None) {
        if (!p.container_file.empty() || number) command = Command::Insert;
        else if (p.drive) command = Command::Eject;
    }

    bool ok = false;
    switch (command) {
        case Command::None:
            show(Level::Error, msg::kUnknownParameter, {line});
            return false;
        case Command::Insert:
            ok = insert(p.container_file, number, p.drive);
            if (ok && p.insert_then_execute && !p.program.empty()) ok = execute(p.program);
            break;
        case Command::Eject: {
            std::string file = p.container_file;
            if (file.empty() && number) {
                if (auto text = s_.library.container_record(number)) file = split_record(*text)[0];
            }
            ok = eject(p.drive, file);
            break;
        }
        case Command::Execute:
            ok = execute(p.program);
            break;
    }
    show(Level::Progress, msg::kAllDone);
    return ok;
}

bool Interpreter::run_parameter_file(const std::string& path) {
    show(Level::Progress, msg::kRunningParameterFile, {path});
    if (depth_ >= kMaxParameterFileDepth) {
        show(Level::Error, msg::kParameterFilesTooDeep, {path});
        return false;
    }
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        show(Level::Error, msg::kParameterFileMissing, {path});
        return false;
    }
    const auto size = fs::file_size(path, ec);
    if (!ec && size > kMaxParameterFileBytes) {
        show(Level::Error, msg::kParameterFileTooLong, {path});
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    if (ec || !in || !(content << in.rdbuf())) {
        if (ec || !in || size != 0) {
            show(Level::Error, msg::kParameterFileUnreadable, {path});
            return false;
        }
    }
    // Lines end at CR, LF or CR LF; the last one needs no end.
    const std::string text = content.str();
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(std::move(current));
            current.clear();
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            current += text[i];
        }
    }
    lines.push_back(std::move(current));

    ++depth_;
    bool all_ok = true;
    for (const std::string& line : lines)
        if (!trim(line).empty()) all_ok = execute_line(line) && all_ok;
    --depth_;
    return all_ok;
}

bool Interpreter::insert(std::string file, int number, char letter) {
    if (!number) {
        std::error_code ec;
        if (file.empty() || !fs::is_regular_file(file, ec)) {
            show(Level::Error, msg::kNotInserted, {file});
            return false;
        }
        number = s_.library.find_container(file);
        if (!number) {
            HeaderRead header = s_.library.read_header(file);
            if (header.status == HeaderRead::Status::bad_signature)
                show(Level::Catalogue, msg::kBadSignature, {header.signature});
            if (header.status != HeaderRead::Status::ok) {
                show(Level::Error, msg::kCannotOpen, {file});
                return false;
            }
            number = s_.library.add_container(file + ",,,,");
            if (number < 1) {
                show(Level::Error, msg::kCannotOpen, {file});
                return false;
            }
            s_.notifier.post(Message::ImageAdded, static_cast<std::uint32_t>(number), 0);
        }
    }
    auto record = load_record(number);
    if (!record) {
        show(Level::Error, msg::kNotInserted, {file.empty() ? std::to_string(number) : file});
        return false;
    }
    show(Level::Progress, msg::kInserting, {record->description, drive_text(letter)});

    bool ejected = false;
    auto entries = list_entries();
    for (std::size_t k = 0; k < entries.size(); ++k) {
        if (entries[k] != record->path) continue;
        show(Level::Progress, msg::kEjectingOld);
        ejected = s_.library.eject(static_cast<int>(k)) || ejected;
    }

    const Drive* target = nullptr;
    if (letter) {
        target = drive_of_letter(letter);
        if (!target) {
            show(Level::Error, msg::kNotAVirtualDrive, {drive_text(letter)});
            if (ejected) s_.notifier.post(Message::IndexChanged, 0, 0);
            return false;
        }
    } else {
        if (!record->letter.empty()) target = drive_of_letter(upper_ascii(record->letter.substr(0, 1))[0]);
        if (!target && !drives_.empty() && drives_.front().number == 0) target = &drives_.front();
    }
    if (!target) {
        show(Level::Error, msg::kNotInserted, {record->description});
        if (ejected) s_.notifier.post(Message::IndexChanged, 0, 0);
        return false;
    }

    entries = list_entries();
    if (static_cast<std::size_t>(target->number) < entries.size() && !entries[target->number].empty()) {
        show(Level::Progress, msg::kDriveOccupied);
        ejected = s_.library.eject(target->number) || ejected;
    }
    show(Level::Progress, msg::kInserting, {record->description, drive_text(target->letter)});
    if (!s_.library.insert(target->number, record->path)) {
        show(Level::Error, msg::kNotInserted, {record->description});
        if (ejected) s_.notifier.post(Message::IndexChanged, 0, 0);
        return false;
    }
    if (record->letter.empty()) {
        auto fields = split_record(s_.library.container_record(number).value_or(record->path));
        fields[1] = std::string(1, target->letter);
        s_.library.set_container_record(number, fields[0] + "," + fields[1] + "," + fields[2] + "," + fields[3] +
                                                    "," + fields[4]);
    }
    show(Level::Progress, msg::kInserted);
    bool ok = true;
    if (!record->start_application.empty()) ok = open_program(record->start_application);
    s_.notifier.post(Message::IndexChanged, 0, 0);
    return ok;
}

bool Interpreter::eject(char letter, const std::string& file) {
    show(Level::Progress, msg::kSearchingEject, {drive_text(letter), file});
    if (const Drive* d = letter ? drive_of_letter(letter) : nullptr) {
        show(Level::Progress, msg::kEjectingFrom, {drive_text(letter)});
        if (!s_.library.eject(d->number)) {
            show(Level::Progress, msg::kEjectFailed);
            return false;
        }
        show(Level::Progress, msg::kEjected);
        s_.notifier.post(Message::IndexChanged, 0, 0);
        return true;
    }
    if (!file.empty()) {
        auto entries = list_entries();
        for (std::size_t k = 0; k < entries.size(); ++k) {
            if (entries[k] != file) continue;
            show(Level::Progress, msg::kEjectElsewhere);
            if (!s_.library.eject(static_cast<int>(k))) break;
            show(Level::Progress, msg::kEjected);
            s_.notifier.post(Message::IndexChanged, 0, 0);
            return true;
        }
        if (!letter) {
            show(Level::Progress, msg::kNotInsertedCannotEject);
            show(Level::Progress, msg::kEjectFailed);
            return false;
        }
    }
    show(Level::Error, msg::kNoVirtualDrive, {drive_text(letter)});
    show(Level::Progress, msg::kEjectFailed);
    return false;
}

bool Interpreter::execute(const std::string& program) {
    if (program.empty()) {
        show(Level::Catalogue, msg::kStartNotFound);
        return false;
    }
    const bool ok = open_program(program);
    if (ok) program_started_ = true;
    return ok;
}

bool Interpreter::open_program(const std::string& command_line) {
    const int r = s_.launcher.open(command_line);
    if (r > 32) return true;
    switch (r) {
        case 0:
        case process::kOutOfMemory: show(Level::Catalogue, msg::kStartNoMemory); break;
        case process::kFileNotFound:
        case process::kPathNotFound:
        case 27: show(Level::Catalogue, msg::kStartNotFound); break;
        case process::kAccessDenied: show(Level::Catalogue, msg::kStartAccessDenied); break;
        case process::kNoAssociation: show(Level::Catalogue, msg::kStartNoAssociation); break;
        default: show(Level::Catalogue, msg::kStartFailed); break;
    }
    return false;
}

}  // namespace qpx::cmd
