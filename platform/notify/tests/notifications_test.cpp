// Runs on a private session bus (the test program is started under
// dbus-run-session).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "notify/fake_notifier.h"
#include "notify/notifications.h"

namespace qpx::notify {
namespace {

using namespace std::chrono_literals;

TEST(Notifications, NamesAreTheRegisteredOnes) {
    EXPECT_EQ(message_name(Message::ImageChanged), "WM_QPXIMAGECHANGED");
    EXPECT_EQ(message_name(Message::EditorBuildDone), "WM_QPXEDITORBUILDDONE");
    for (Message m : kAllMessages) EXPECT_EQ(message_from_name(message_name(m)), m);
    EXPECT_FALSE(message_from_name("WM_QPXNOTHING"));
}

TEST(Notifications, AnotherProgramHearsWhatItRegisteredInOrder) {
    ASSERT_NE(std::getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr) << "run under dbus-run-session";
    int ready[2], result[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(result), 0);
    pid_t listener = fork();
    if (listener == 0) {
        const Message wanted[] = {Message::IndexChanged, Message::ImageAdded};
        auto n = connect_session(wanted);
        (void)!write(ready[1], n->connected() ? "y" : "n", 1);
        std::vector<Notification> got;
        for (int i = 0; i < 50 && got.size() < 2; ++i) {
            n->wait(100ms);
            for (const auto& x : n->take()) got.push_back(x);
        }
        // Anything else that arrives late would show up here too.
        n->wait(200ms);
        for (const auto& x : n->take()) got.push_back(x);
        std::string text;
        for (const auto& x : got)
            text += std::string(message_name(x.message)) + " " + std::to_string(x.wparam) + " " +
                    std::to_string(x.lparam) + ";";
        (void)!write(result[1], text.data(), text.size());
        _exit(0);
    }
    close(ready[1]);
    close(result[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');

    const Message mine[] = {Message::IndexChanged};
    auto sender = connect_session(mine);
    ASSERT_TRUE(sender->connected());
    sender->post(Message::ImageAdded, 7, 0);
    sender->post(Message::ShowTrayIcon, 0, 0);  // not registered by the listener
    sender->post(Message::IndexChanged, 0, kFromManager);

    std::string text;
    char buf[512];
    ssize_t r;
    while ((r = read(result[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(r));
    waitpid(listener, nullptr, 0);
    EXPECT_EQ(text, "WM_QPXIMAGEADDED 7 0;WM_QPXINDEXCHANGED 0 999;");

    // The sender hears its own broadcast, as every program does.
    ASSERT_TRUE(sender->wait(2000ms));
    auto own = sender->take();
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(own[0], (Notification{Message::IndexChanged, 0, kFromManager}));
}

TEST(Notifications, WithoutABusProgramsGoOnSilently) {
    pid_t child = fork();
    if (child == 0) {
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        setenv("XDG_RUNTIME_DIR", "/nonexistent-runtime-dir", 1);
        auto n = connect_session(kAllMessages);
        n->post(Message::IndexChanged, 0, 0);
        _exit(!n->connected() && n->take().empty() && !n->wait(10ms) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(Notifications, ASessionNameHasOneHolder) {
    bool taken = true;
    auto first = claim_session_name("org.quoplex.TestInstance", &taken);
    ASSERT_TRUE(first);
    EXPECT_FALSE(taken);
    auto second = claim_session_name("org.quoplex.TestInstance", &taken);
    EXPECT_FALSE(second);
    EXPECT_TRUE(taken);
    first.reset();
    EXPECT_TRUE(claim_session_name("org.quoplex.TestInstance", &taken));
}

TEST(FakeNotifications, FilterByRegistrationAndEchoToTheSender) {
    auto bus = FakeBus::create();
    const Message tray[] = {Message::ImageAdded, Message::IndexChanged};
    const Message editor[] = {Message::EditorBuildDone};
    auto a = bus->connect(tray);
    auto b = bus->connect(editor);
    a->post(Message::IndexChanged, 0, 0);
    b->post(Message::EditorBuildDone, 0, 0);
    EXPECT_EQ(a->take(), (std::vector<Notification>{{Message::IndexChanged, 0, 0}}));
    EXPECT_EQ(b->take(), (std::vector<Notification>{{Message::EditorBuildDone, 0, 0}}));
    EXPECT_EQ(bus->posted().size(), 2u);
}

}  // namespace
}  // namespace qpx::notify
