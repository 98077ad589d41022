// Messages to the user: a German text from a program's string table, shown
// as a dialog when the program has a display, printed to standard error
// otherwise, and recorded in tests.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qpx::ui {

enum class Severity { Info, Warning, Error };

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Shows the text and returns when the user has seen it (OK pressed).
    virtual void show(std::string_view text, Severity severity) = 0;
};

// Prints "text" on a line of its own to standard error.
class StderrMessageSink final : public MessageSink {
public:
    void show(std::string_view text, Severity severity) override;
};

// Keeps every message for tests to look at.
class RecordingMessageSink final : public MessageSink {
public:
    struct Entry {
        std::string text;
        Severity severity;
    };
    void show(std::string_view text, Severity severity) override {
        entries.push_back({std::string(text), severity});
    }
    std::vector<Entry> entries;
};

// True when a graphical display is there to show dialogs on.
bool display_available();

}  // namespace qpx::ui
