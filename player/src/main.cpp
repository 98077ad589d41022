// qpxplayer: plays the audio tracks that programs play on the emulated
// CD-ROM drives, until the session ends, a signal arrives or the tray's
// "Player schließen" is confirmed.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "alsa_sink.h"
#include "clock.h"
#include "driver_link.h"
#include "file_sink.h"
#include "messages/message_box.h"
#include "player_engine.h"
#include "player_options.h"
#include "player_texts.h"

#ifdef QPX_WITH_QT
#include <QApplication>
#include <QMessageBox>
#include <QSystemTrayIcon>

#include "tray_icon.h"
#endif

namespace {

using namespace qpx::player;

void log_line(std::string_view text) { std::cerr << "qpxplayer: " << text << std::endl; }

sigset_t quit_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&set, s);
    return set;
}

int wait_for_quit_signal() {
    const sigset_t set = quit_signals();
    int signal = 0;
    sigwait(&set, &signal);
    return signal;
}

// Shows text 107 when a track's format cannot be converted; the play
// thread calls it, the tray replaces it while it runs.
std::mutex conversion_mutex;
std::function<void(std::string)> conversion_handler = [](std::string text) {
    qpx::ui::StderrMessageSink().show(text, qpx::ui::Severity::Error);
};
void show_conversion_failure(std::string text) {
    std::lock_guard lock(conversion_mutex);
    conversion_handler(std::move(text));
}
void set_conversion_handler(std::function<void(std::string)> handler) {
    std::lock_guard lock(conversion_mutex);
    conversion_handler = std::move(handler);
}

#ifdef QPX_WITH_QT
// Runs the tray until it is closed or a signal ends the player.
void run_with_tray(int argc, char** argv, PlayerEngine& engine) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    std::unique_ptr<TrayIcon> tray;
    if (QSystemTrayIcon::isSystemTrayAvailable())
        tray = std::make_unique<TrayIcon>([&engine] { engine.abort_play(); });
    else
        log_line("no notification area: running without the tray icon");
    set_conversion_handler([&app](std::string text) {
        QMetaObject::invokeMethod(
            &app,
            [text] {
                QMessageBox::warning(nullptr, QString::fromStdString(texts::text(texts::kPlayerName)),
                                     QString::fromStdString(text));
            },
            Qt::QueuedConnection);
    });

    std::atomic<bool> leaving{false};
    std::thread signal_waiter([&] {
        wait_for_quit_signal();
        if (!leaving) QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QApplication::exec();
    leaving = true;
    pthread_kill(signal_waiter.native_handle(), SIGUSR1);
    signal_waiter.join();
    set_conversion_handler([](std::string text) { log_line(text); });
}
#endif

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = parse_player_options(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::cerr << "qpxplayer: " << error << "\n" << kPlayerUsage;
        return 2;
    }
    if (options->help) {
        std::cout << kPlayerUsage;
        return 0;
    }

    // Every thread leaves the quit signals to the one that waits for them.
    const sigset_t set = quit_signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);

    SteadyClock clock;
    std::unique_ptr<AudioSink> sink;
    if (options->file_sink)
        sink = std::make_unique<FileSink>(clock, *options->file_sink);
    else
        sink = std::make_unique<AlsaSink>(options->alsa_device);
    PortLink link;
    PlayerEngine engine({clock, *sink, link, &PortLink::map_ring, log_line, [](const PlayerEvent& e) {
                             if (e.kind == PlayerEvent::Kind::play_failed && e.undecodable)
                                 show_conversion_failure(texts::text(texts::kCannotConvert));
                         }});
    engine.start();

#ifdef QPX_WITH_QT
    if (options->tray && qpx::ui::display_available())
        run_with_tray(argc, argv, engine);
    else
        wait_for_quit_signal();
#else
    wait_for_quit_signal();
#endif
    engine.shut_down();
    return 0;
}
