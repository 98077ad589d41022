// Runs the tests on a private session bus: without one, the program starts
// itself again under dbus-run-session.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (!std::getenv("QPX_PRIVATE_BUS")) {
        setenv("QPX_PRIVATE_BUS", "1", 1);
        std::vector<char*> args = {const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
        for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("dbus-run-session", args.data());
        std::perror("dbus-run-session");
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
