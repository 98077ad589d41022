// The command interpreter: inserts containers into emulated drives, ejects
// them and starts programs, line by line, from the command line, parameter
// files or the dialog. Keeps no state between runs.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "drive_library.h"
#include "messages/message_box.h"
#include "messages/string_table.h"
#include "notify/notifications.h"
#include "process/launcher.h"

namespace qpx::cmd {

// Message ids of the interpreter's string table.
namespace msg {
inline constexpr int kBadSignature = 61229;
inline constexpr int kStartFailed = 61237, kStartAccessDenied = 61238, kStartNotFound = 61239,
                     kStartNoMemory = 61240, kStartNoAssociation = 61241;
inline constexpr int kRestartNeeded = 61243;
inline constexpr int kCannotOpen = 61244, kNotInserted = 61245, kInserting = 61246, kEjectingOld = 61247,
                     kNotAVirtualDrive = 61248, kDriveOccupied = 61249, kInserted = 61251, kSearchingEject = 61252,
                     kEjectElsewhere = 61253, kNotInsertedCannotEject = 61254, kEjectingFrom = 61255,
                     kNoVirtualDrive = 61256, kEjected = 61257, kEjectFailed = 61258, kExecuteLine = 61259,
                     kUnknownDescription = 61260, kUnknownParameter = 61261, kAllDone = 61262,
                     kRunningParameterFile = 61263, kParameterFileMissing = 61272, kParameterFileTooLong = 61273,
                     kParameterFileUnreadable = 61274, kParameterFilesTooDeep = 61275;
}  // namespace msg

struct InterpreterServices {
    DriveLibrary& library;
    ui::MessageSink& messages;
    notify::Notifier& notifier;
    const process::Launcher& launcher;
    const ui::StringTable& strings;
};

class Interpreter {
public:
    explicit Interpreter(const InterpreterServices& services);

    // Builds the drive table from the library (shows 61243 when drives are
    // missing their letters).
    void start();

    // Runs one line; true when its command succeeded.
    bool execute_line(std::string_view line);

    // True after a line started a program with /x.
    bool program_started() const { return program_started_; }

    static constexpr int kMaxParameterFileDepth = 16;
    static constexpr std::size_t kMaxParameterFileBytes = 1 << 20;

private:
    struct Drive {
        int number = 0;
        char letter = 0;
    };
    struct Record {
        int number = 0;
        std::string path, letter, modifiers, key, start_application;
        std::string description;
    };
    enum class Level { Error, Progress, Catalogue };

    void show(Level level, int id, const std::vector<std::string>& args = {});
    bool run_parameter_file(const std::string& path);
    bool insert(std::string file, int number, char letter);
    bool eject(char letter, const std::string& file);
    bool execute(const std::string& program);
    bool open_program(const std::string& command_line);

    std::optional<Record> load_record(int number);
    int find_description(const std::string& description);
    const Drive* drive_of_letter(char letter) const;
    std::vector<std::string> list_entries();

    InterpreterServices s_;
    Verbosity verbosity_ = Verbosity::Normal;
    std::vector<Drive> drives_;
    int depth_ = 0;
    bool program_started_ = false;
};

// Splits a catalogue record "path,letter,modifiers,key,start application".
std::vector<std::string> split_record(const std::string& record);

}  // namespace qpx::cmd
