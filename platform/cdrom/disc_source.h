// A disc that can be read: sectors in the three forms the copy programs use
// and the table of contents as a drive reports it. Physical drives, disc
// images and emulated drives each provide one.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qpx::cdrom {

inline constexpr std::size_t kUserDataSize = 2048;
inline constexpr std::size_t kRawSectorSize = 2352;
inline constexpr std::uint8_t kLeadOutTrack = 0xAA;

// How a sector is read.
enum class SectorForm {
    UserData,  // the 2048 user bytes of a data sector
    Audio,     // 2352 bytes read as CD-DA (the whole sector, data sectors included)
    RawData,   // 2352 bytes of a data sector: sync, header, mode byte, data, EDC/ECC
};

std::size_t sector_size(SectorForm form);

enum class ReadStatus {
    Ok,
    NotReady,       // no disc, or the disc is spinning up
    MediumChanged,  // the disc was changed since the last access
    OutOfRange,     // at or past the lead-out
    WrongTrackType, // user data asked of an audio sector
    ReadError,      // the sector could not be read
    Unsupported,    // the source cannot read this form
};

const char* to_string(ReadStatus status);

// One descriptor of a READ TOC answer (format 0): the tracks in order and
// the lead-out (track 0xAA). The address is the 32-bit LBA as the drive
// gives it.
struct TocDescriptor {
    std::uint8_t adr_control = 0;  // ADR in the high half, CONTROL in the low half
    std::uint8_t track = 0;
    std::uint32_t address = 0;
    bool operator==(const TocDescriptor&) const = default;
};

struct Toc {
    std::uint8_t first_track = 0;
    std::uint8_t last_track = 0;
    std::vector<TocDescriptor> descriptors;
    bool operator==(const Toc&) const = default;
};

class DiscSource {
public:
    virtual ~DiscSource() = default;
    // Reads `count` consecutive sectors starting at `lba` into `out`, which
    // holds count × sector_size(form) bytes. Either every sector arrives or
    // the read fails as a whole.
    virtual ReadStatus read(std::uint32_t lba, std::uint32_t count, SectorForm form,
                            std::span<std::uint8_t> out) = 0;
    virtual ReadStatus read_toc(Toc& out) = 0;
    // What serves the disc, for messages: "/dev/sr0", an image path.
    virtual std::string name() const = 0;
};

// Pauses between attempts on a drive. Drives wait for real; simulated
// discs only note the time.
class Waiter {
public:
    virtual ~Waiter() = default;
    virtual void wait(std::chrono::milliseconds duration) = 0;
};

class SleepingWaiter final : public Waiter {
public:
    void wait(std::chrono::milliseconds duration) override;
};

}  // namespace qpx::cdrom
