#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "interpreter.h"
#include "notify/fake_notifier.h"
#include "support/temp_dir.h"

extern const char qpxcmd_strings[];

namespace qpx::cmd {
namespace {

using notify::Message;
using notify::Notification;

// The library as a scripted machine: drives with letters, a drive list, a
// catalogue, container headers, and a log of inserts and ejects.
class ScriptedLibrary final : public DriveLibrary {
public:
    int units = 0;
    std::map<char, int> letters;  // letter -> drive number
    std::vector<std::string> entries;
    std::map<int, std::string> records;
    int count = 0;
    std::map<std::string, HeaderRead> headers;
    std::vector<std::string> log;

    void add_drive(char letter, int number) {
        letters[letter] = number;
        units = static_cast<int>(letters.size());
        if (static_cast<int>(entries.size()) <= number) entries.resize(number + 1);
    }
    void add_header(const std::string& path, const std::string& description) {
        std::string h(152, '\0');
        h.replace(12, description.size(), description);
        h.replace(140, 8, "QIM V1.0");
        headers[path] = {HeaderRead::Status::ok, h, {}};
    }

    int number_of_units() override { return units; }
    std::string drive_letters() override {
        std::string out;
        for (auto& [l, n] : letters) out += l;
        return out;
    }
    int drive_unit(char letter) override { return letters.count(letter) ? letters[letter] : -1; }
    std::optional<std::string> container_files() override {
        std::string list;
        for (auto& e : entries) list += e + ";";
        return list;
    }
    bool set_container_files(const std::string&) override { return true; }
    bool insert(int drive, const std::string& path) override {
        log.push_back("insert " + std::to_string(drive) + " " + path);
        entries.at(drive) = path;
        return true;
    }
    bool eject(int drive) override {
        log.push_back("eject " + std::to_string(drive));
        entries.at(drive).clear();
        return true;
    }
    int number_of_containers() override { return count; }
    std::optional<std::string> container_record(int n) override {
        if (!records.count(n)) return std::nullopt;
        return records[n];
    }
    bool set_container_record(int n, const std::string& r) override {
        records[n] = r;
        return true;
    }
    int add_container(const std::string& record) override {
        records[++count] = record;
        return count;
    }
    int find_container(const std::string& path) override {
        for (auto& [n, r] : records)
            if (split_record(r)[0] == path) return n;
        return 0;
    }
    HeaderRead read_header(const std::string& path) override {
        return headers.count(path) ? headers[path] : HeaderRead{};
    }
};

class InterpreterTest : public ::testing::Test {
protected:
    InterpreterTest() : strings_(qpxcmd_strings) {
        lib_.add_drive('E', 1);
        lib_.add_drive('F', 2);
        lib_.add_drive('G', 0);
    }
    Interpreter& interpreter() {
        if (!interpreter_) {
            interpreter_ = std::make_unique<Interpreter>(
                InterpreterServices{lib_, messages_, *notifier_, launcher_, strings_});
            interpreter_->start();
        }
        return *interpreter_;
    }
    std::string make_file(const std::string& name) {
        auto p = dir_ / name;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p) << "container";
        return p.string();
    }

    testing::TempDir dir_{"cmd"};
    ScriptedLibrary lib_;
    ui::RecordingMessageSink messages_;
    std::shared_ptr<notify::FakeBus> bus_ = notify::FakeBus::create();
    std::unique_ptr<notify::Notifier> notifier_ = bus_->connect(notify::kAllMessages);
    process::Launcher launcher_;
    ui::StringTable strings_;
    std::unique_ptr<Interpreter> interpreter_;
};

TEST_F(InterpreterTest, AQuotedPathWithABlankIsRegisteredAndInsertedIntoTheNamedDrive) {
    const std::string path = make_file("My Games/Space Race.qim");
    lib_.add_header(path, "");
    ASSERT_TRUE(interpreter().execute_line("\"" + path + "\" e:"));
    EXPECT_EQ(lib_.log, (std::vector<std::string>{"insert 1 " + path}));
    EXPECT_EQ(lib_.records[1], path + ",E,,,") << "registered, then the drive became its default";
    EXPECT_EQ(bus_->posted(), (std::vector<Notification>{{Message::ImageAdded, 1, 0}, {Message::IndexChanged, 0, 0}}));
    EXPECT_TRUE(messages_.entries.empty()) << "normal level shows no progress";
}

TEST_F(InterpreterTest, EjectByLetterOrByContainerPath) {
    lib_.entries = {"/c/a.qim", "/c/b.qim", ""};
    EXPECT_TRUE(interpreter().execute_line("E:"));
    EXPECT_EQ(lib_.log, (std::vector<std::string>{"eject 1"}));
    EXPECT_TRUE(interpreter().execute_line("/e /c/a.qim"));
    EXPECT_EQ(lib_.log.back(), "eject 0") << "the drive that holds it";
    EXPECT_FALSE(interpreter().execute_line("/e /c/nowhere.qim"));
    EXPECT_EQ(bus_->posted().size(), 2u);
}

TEST_F(InterpreterTest, QuietInsertByDescriptionOfTheNewestEntry) {
    lib_.records = {{1, "/c/a.qim,,,,"}, {2, "/c/b.qim,G,0,0,"}};
    lib_.count = 2;
    lib_.add_header("/c/a.qim", "Atlas");
    lib_.add_header("/c/b.qim", "Große Reise");
    ASSERT_TRUE(interpreter().execute_line("/q \"GROßE REISE\" F:"));
    EXPECT_EQ(lib_.log, (std::vector<std::string>{"insert 2 /c/b.qim"}));
    EXPECT_TRUE(messages_.entries.empty());
}

TEST_F(InterpreterTest, UnknownInputIsToldWithItsText) {
    EXPECT_FALSE(interpreter().execute_line("/?"));
    ASSERT_EQ(messages_.entries.size(), 1u);
    EXPECT_EQ(messages_.entries[0].text, "/? ist ein unbekannter Parameter\n");

    messages_.entries.clear();
    EXPECT_FALSE(interpreter().execute_line("/i \"Kein Name\" G:"));
    ASSERT_EQ(messages_.entries.size(), 1u);
    EXPECT_EQ(messages_.entries[0].text, "Kein Name ist nicht die Beschreibung einer virtuelle CD\n");
    EXPECT_TRUE(lib_.log.empty());
}

TEST_F(InterpreterTest, AForeignSignatureIsNamedAndTheContainerRefused) {
    const std::string path = make_file("old.qim");
    lib_.headers[path] = {HeaderRead::Status::bad_signature, {}, "QIM V2.0"};
    EXPECT_FALSE(interpreter().execute_line(path + " G:"));
    ASSERT_EQ(messages_.entries.size(), 2u);
    EXPECT_EQ(messages_.entries[0].text, "Die Containerdatei kann nicht bearbeitet werden. (Die Signatur im Header ist: QIM V2.0)");
    EXPECT_EQ(messages_.entries[1].text, "Die virtuelle CD '" + path + "' konnte nicht geöffnet werden.\n");
    EXPECT_EQ(lib_.count, 0) << "not registered";
}

TEST_F(InterpreterTest, AnOccupiedDriveIsEmptiedFirstAndAContainerMovesFromItsOldDrive) {
    const std::string path = make_file("x.qim");
    lib_.add_header(path, "X");
    lib_.records = {{1, path + ",G,0,0,"}};
    lib_.count = 1;
    lib_.entries = {"/c/other.qim", path, ""};
    ASSERT_TRUE(interpreter().execute_line("/v " + path));
    EXPECT_EQ(lib_.log, (std::vector<std::string>{"eject 1", "eject 0", "insert 0 " + path}));
    bool told_occupied = false;
    for (const auto& e : messages_.entries)
        told_occupied |= e.text == "Das virtuelle Laufwerk ist belegt - virtuelle CD wird ausgeworfen.\n";
    EXPECT_TRUE(told_occupied);
    EXPECT_EQ(messages_.entries.front().text, "Befehl '/v " + path + "' ausführen.\n");
}

TEST_F(InterpreterTest, ADriveThatIsNotEmulatedIsRefused) {
    const std::string path = make_file("x.qim");
    lib_.add_header(path, "X");
    EXPECT_FALSE(interpreter().execute_line(path + " Q:"));
    EXPECT_EQ(messages_.entries.back().text, "Q: ist kein gültiges  virtuelles Laufwerk.\n");
    EXPECT_TRUE(lib_.log.empty());
}

TEST_F(InterpreterTest, ParameterFilesRunEveryLineAndStopWhenTheyCallThemselves) {
    lib_.entries = {"/c/a.qim", "/c/b.qim", "/c/c.qim"};
    const auto file = dir_ / "eject.cmd";
    std::ofstream(file) << "E:\r\n\r\nF:\rG:";  // the last line has no end
    EXPECT_TRUE(interpreter().execute_line(file.string()));
    EXPECT_EQ(lib_.log, (std::vector<std::string>{"eject 1", "eject 2", "eject 0"}));

    const auto loop = dir_ / "loop.cmd";
    std::ofstream(loop) << loop.string() << "\n";
    EXPECT_FALSE(interpreter().execute_line(loop.string()));
    EXPECT_EQ(messages_.entries.back().text,
              "Die Parameterdatei '" + loop.string() + "' ruft zu viele Parameterdateien auf.\n");

    EXPECT_FALSE(interpreter().execute_line((dir_ / "none.cmd").string()));
    EXPECT_EQ(messages_.entries.back().text,
              "Die Parameterdatei '" + (dir_ / "none.cmd").string() + "' existiert nicht.\n");
}

TEST_F(InterpreterTest, ExecuteStartsTheProgramAndFailuresAreExplained) {
    const auto marker = dir_ / "started";
    const auto prog = dir_ / "game";
    std::ofstream(prog) << "#!/bin/sh\necho \"$1\" > " << marker.string() << "\n";
    chmod(prog.c_str(), 0755);
    EXPECT_TRUE(interpreter().execute_line("/x \"" + prog.string() + " --fast\""));
    for (int i = 0; i < 500 && !std::filesystem::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(std::filesystem::exists(marker));
    EXPECT_TRUE(interpreter().program_started());

    EXPECT_FALSE(interpreter().execute_line("/x " + (dir_ / "missing").string()));
    EXPECT_EQ(messages_.entries.back().text,
              "Die Startanwendung wurden nicht gefunden. Bitte überprügen Sie die Angaben für die Startaanwendung.");
}

TEST_F(InterpreterTest, FewerLettersThanDrivesAsksForARestart) {
    lib_.units = 5;
    interpreter();
    ASSERT_EQ(messages_.entries.size(), 1u);
    EXPECT_EQ(messages_.entries[0].text,
              "Die Anzahl der virtuellen Laufwerke wurde verändert. Ein Systemneustart ist notwendig.");
}

TEST(CommandLine, TokensKeepTheirCaseAndLinuxPathsAreNoSwitches) {
    ParsedLine p = parse_line("/I \"/home/Me/My Disc.QIM\" g /v");
    EXPECT_EQ(p.command, Command::Insert);
    EXPECT_EQ(p.container_file, "/home/Me/My Disc.QIM");
    EXPECT_EQ(p.drive, 'G');
    EXPECT_EQ(p.verbosity, Verbosity::Verbose);

    p = parse_line("-eject /srv/x.qim rest.CMD ignored.qim");
    EXPECT_EQ(p.command, Command::Eject);
    EXPECT_EQ(p.container_file, "/srv/x.qim");
    EXPECT_EQ(p.parameter_file, "rest.CMD");

    p = parse_line("/x /usr/bin/game /y");
    EXPECT_EQ(p.command, Command::Execute);
    EXPECT_EQ(p.program, "/usr/bin/game");
    EXPECT_EQ(tokenize("  a  \"\"  \"b c\" "), (std::vector<std::string>{"a", "b c"}));
}

}  // namespace
}  // namespace qpx::cmd
