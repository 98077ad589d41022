// qpxcmd with a display: messages as message boxes, and the dialog for
// entering parameters when started without a command line.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "drive_library.h"
#include "help_text.h"
#include "interpreter.h"

namespace qpx::cmd {
namespace {

class MessageBoxSink final : public ui::MessageSink {
public:
    explicit MessageBoxSink(QString caption) : caption_(std::move(caption)) {}
    void show(std::string_view text, ui::Severity severity) override {
        const QString t = QString::fromUtf8(text.data(), static_cast<int>(text.size())).trimmed();
        if (severity == ui::Severity::Error)
            QMessageBox::critical(nullptr, caption_, t);
        else if (severity == ui::Severity::Warning)
            QMessageBox::warning(nullptr, caption_, t);
        else
            QMessageBox::information(nullptr, caption_, t);
    }

private:
    QString caption_;
};

QString qt(const std::string& s) { return QString::fromStdString(s); }

// The Windows-style "&&" for a literal ampersand and "&x" for a mnemonic
// mean the same in Qt.
class ParameterDialog : public QDialog {
public:
    ParameterDialog(const ui::StringTable& strings, const QString& prefill) {
        setWindowTitle(qt(strings.text(kDialogCaption)));
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(qt(strings.text(kHelpTitle))));
        auto* grid = new QGridLayout;
        int row = 0;
        for (int id = kHelpFirst; id < kHelpLast; id += 2, ++row) {
            grid->addWidget(new QLabel(qt(strings.text(id))), row, 0);
            grid->addWidget(new QLabel(qt(strings.text(id + 1))), row, 1);
        }
        layout->addLayout(grid);
        auto* label = new QLabel(qt(strings.text(kInputLabel)));
        edit_ = new QLineEdit(prefill);
        label->setBuddy(edit_);
        layout->addWidget(label);
        layout->addWidget(edit_);
        auto* buttons = new QDialogButtonBox;
        auto* run = buttons->addButton(qt(strings.text(kRunButton)), QDialogButtonBox::AcceptRole);
        buttons->addButton(qt(strings.text(kCancelButton)), QDialogButtonBox::RejectRole);
        run->setDefault(true);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        layout->addWidget(buttons);
    }
    std::string text() const { return edit_->text().toStdString(); }

private:
    QLineEdit* edit_;
};

const notify::Message kRegistered[] = {notify::Message::ImageChanged, notify::Message::IndexChanged,
                                       notify::Message::DriveChanged, notify::Message::ImageAdded,
                                       notify::Message::ImageDeleted};

}  // namespace

int run_with_display(int argc, char** argv, const std::string& line, const ui::StringTable& strings) {
    QApplication app(argc, argv);
    auto notifier = notify::connect_session(kRegistered);
    QpxDriveLibrary library;
    MessageBoxSink messages(qt(strings.text(kDialogCaption)));
    process::Launcher launcher;
    Interpreter interpreter({library, messages, *notifier, launcher, strings});
    interpreter.start();
    if (!line.empty()) return interpreter.execute_line(line) ? 0 : 1;

    QString prefill;
    for (;;) {
        ParameterDialog dialog(strings, prefill);
        if (dialog.exec() != QDialog::Accepted) return 0;
        const std::string text = dialog.text();
        if (text.empty()) return 0;
        const bool ok = interpreter.execute_line(text);
        if (ok && interpreter.program_started()) return 0;
        prefill = ok ? QString() : qt(text);
    }
}

}  // namespace qpx::cmd
