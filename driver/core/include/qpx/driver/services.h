// What the core needs from its host: somewhere to run work items, the drive
// list, a way to open containers, the player channel and a signal for
// finished reads. The host (a daemon) provides the real ones; tests provide
// fakes and call the core directly.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <system_error>

#include "qpx/container/container.h"

namespace qpx::driver {

// Runs work items (opening a container, serving a read) outside the
// serialised context, one at a time or on a pool. Work items never complete
// requests themselves; they raise the CompletionSignal instead.
class WorkExecutor {
public:
    virtual ~WorkExecutor() = default;
    virtual void queue(std::function<void()> item) = 0;
};

enum class DriveListStatus {
    ok,          // `text` holds the value
    missing,     // the key or the value does not exist
    unreadable,  // the store could not be read
};

// Reads the per-drive container list: entries separated (and ended) by ";",
// entry k naming the container of drive k.
class DriveListReader {
public:
    virtual ~DriveListReader() = default;
    virtual DriveListStatus read_container_files(std::string& text) = 0;
};

// Opens a container for a drive. Errors are those of Container::open
// (not_found for a missing file, open_failed, bad_container, medium_error).
class ContainerOpener {
public:
    virtual ~ContainerOpener() = default;
    virtual std::error_code open(const std::string& path,
                                 std::shared_ptr<const container::Container>& out) = 0;
};

// Commands for the audio player, in the order the drives issue them.
enum class PlayerCommandCode : std::uint32_t { play = 0, stop = 1, pause = 2, resume = 3 };

struct PlayerCommand {
    PlayerCommandCode code = PlayerCommandCode::stop;
    std::uint32_t unit = 0;          // unit number of the drive (8 + drive); 0 for stop
    std::uint32_t frame_offset = 0;  // play: frames (1/75 s) into the track
    std::string wave_path;           // play: at most kMaxWavePathBytes bytes
};

// The path field of a play record holds 128 bytes including its NUL.
inline constexpr std::size_t kMaxWavePathBytes = 127;

class PlayerChannel {
public:
    virtual ~PlayerChannel() = default;
    virtual void send(const PlayerCommand& command) = 0;
};

// Raised from a work item when a read has finished; the host then calls
// Adapter::complete_finished in its serialised context.
class CompletionSignal {
public:
    virtual ~CompletionSignal() = default;
    virtual void read_finished() = 0;
};

// Told when the player announces its shutdown (WRITE BUFFER message 0x55E2);
// the host completes the requests it holds for the player.
class PlayerShutdownListener {
public:
    virtual ~PlayerShutdownListener() = default;
    virtual void player_shut_down() = 0;
};

// Takes the container out of a drive when a program asks the drive to eject
// (START STOP UNIT with LoEj): the host empties the drive's entry of the
// drive list and updates the drive, as the library's eject does. The core
// never writes the drive list itself. Called in the serialised context; the
// host may do the work later.
class EjectRequester {
public:
    virtual ~EjectRequester() = default;
    virtual void request_eject(std::uint32_t drive) = 0;
};

struct AdapterServices {
    WorkExecutor& work;
    DriveListReader& drive_list;
    ContainerOpener& opener;
    PlayerChannel& player;
    CompletionSignal& completion;
    PlayerShutdownListener* shutdown = nullptr;  // optional
    EjectRequester* eject = nullptr;             // optional; without it drives refuse to eject
};

}  // namespace qpx::driver
