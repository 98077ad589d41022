#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "process/launcher.h"
#include "support/temp_dir.h"

namespace qpx::process {
namespace {

TEST(SplitArguments, QuotesGroupAndBlanksSeparate) {
    struct Case {
        const char* line;
        std::vector<std::string> args;
    } cases[] = {
        {"prog a b", {"prog", "a", "b"}},
        {"  \"/opt/my game/run\"  --x \"\"  ", {"/opt/my game/run", "--x", ""}},
        {"say \\\"hi\\\"", {"say", "\"hi\""}},
        {"a\"b c\"d", {"ab cd"}},
        {"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(split_arguments(c.line), c.args) << c.line;
}

class LauncherTest : public ::testing::Test {
protected:
    // A script that writes its arguments, one per line, to `marker`.
    std::string make_recorder(const std::string& name, const std::filesystem::path& marker) {
        auto path = dir_ / name;
        std::ofstream(path) << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > " << marker.string()
                            << ".tmp\nmv " << marker.string() << ".tmp " << marker.string() << "\n";
        chmod(path.c_str(), 0755);
        return path.string();
    }
    // The marker's text once it appears (bounded wait).
    static std::string wait_for(const std::filesystem::path& marker) {
        for (int i = 0; i < 500 && !std::filesystem::exists(marker); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(marker);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    testing::TempDir dir_{"launch"};
};

TEST_F(LauncherTest, StartsProgramsWithTheirArguments) {
    auto marker = dir_ / "ran";
    std::string prog = make_recorder("my prog", marker);
    Launcher launcher;
    EXPECT_GT(launcher.open("\"" + prog + "\" \"one two\" three"), 32);
    EXPECT_EQ(wait_for(marker), "one two\nthree\n");
}

TEST_F(LauncherTest, OpensDocumentsWithTheDesktopsApplication) {
    auto marker = dir_ / "opened";
    Launcher launcher(make_recorder("opener", marker));
    auto doc = dir_ / "readme.txt";
    std::ofstream(doc) << "text";
    EXPECT_GT(launcher.open("\"" + doc.string() + "\""), 32);
    EXPECT_EQ(wait_for(marker), doc.string() + "\n");

    EXPECT_EQ(Launcher("/nonexistent/opener").open(doc.string()), kNoAssociation);
}

TEST_F(LauncherTest, FailuresMapOntoShellResults) {
    Launcher launcher;
    EXPECT_EQ(launcher.open((dir_ / "missing").string()), kFileNotFound);
    EXPECT_EQ(launcher.open("qpx-no-such-program-anywhere"), kFileNotFound);
    EXPECT_EQ(launcher.open((dir_ / "missing-dir" / "prog").string()), kFileNotFound);
    EXPECT_EQ(launcher.open(""), kFileNotFound);
    if (geteuid() != 0) {
        auto locked = dir_ / "locked.txt";
        std::ofstream(locked) << "x";
        chmod(locked.c_str(), 0);
        EXPECT_EQ(launcher.open(locked.string()), kAccessDenied);
    }
}

}  // namespace
}  // namespace qpx::process
