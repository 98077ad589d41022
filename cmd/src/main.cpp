// qpxcmd: inserts and ejects containers and starts programs from the command
// line or parameter files; without arguments it shows its dialog (with a
// display) or its parameter description (in a terminal).
#include <cstdio>
#include <string>

#include "drive_library.h"
#include "help_text.h"
#include "interpreter.h"
#include "messages/message_box.h"

extern const char qpxcmd_strings[];

#ifdef QPX_WITH_QT
namespace qpx::cmd {
int run_with_display(int argc, char** argv, const std::string& line, const ui::StringTable& strings);
}
#endif

namespace {

// The command line as typed: arguments holding blanks get their quotes back.
std::string command_line(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!line.empty()) line += ' ';
        line += arg.find_first_of(" \t") != std::string::npos ? "\"" + arg + "\"" : arg;
    }
    return line;
}

const qpx::notify::Message kRegistered[] = {
    qpx::notify::Message::ImageChanged, qpx::notify::Message::IndexChanged, qpx::notify::Message::DriveChanged,
    qpx::notify::Message::ImageAdded, qpx::notify::Message::ImageDeleted};

}  // namespace

int main(int argc, char** argv) {
    const qpx::ui::StringTable strings(qpxcmd_strings);
    const std::string line = command_line(argc, argv);
#ifdef QPX_WITH_QT
    if (qpx::ui::display_available()) return qpx::cmd::run_with_display(argc, argv, line, strings);
#endif
    if (line.empty()) {
        std::fputs(qpx::cmd::help_text(strings).c_str(), stdout);
        return 0;
    }
    auto notifier = qpx::notify::connect_session(kRegistered);
    qpx::cmd::QpxDriveLibrary library;
    qpx::ui::StderrMessageSink messages;
    qpx::process::Launcher launcher;
    qpx::cmd::Interpreter interpreter({library, messages, *notifier, launcher, strings});
    interpreter.start();
    return interpreter.execute_line(line) ? 0 : 1;
}
