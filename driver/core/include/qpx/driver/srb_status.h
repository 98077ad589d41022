// Request statuses and sense codes the emulated drives answer with. The
// numbers are those of the SCSI port interface the operating system's CD-ROM
// class driver understands; hosts hand them on unchanged.
#pragma once

#include <cstdint>

namespace qpx::driver {

// Status of a request as the port reports it.
enum class SrbStatus : std::uint8_t {
    pending = 0x00,           // accepted; completed later (READ(10))
    success = 0x01,
    aborted = 0x02,
    abort_failed = 0x03,
    error = 0x04,             // failed; no sense data
    busy = 0x05,
    invalid_request = 0x06,
    selection_timeout = 0x0A, // no such unit
    error_with_sense = 0x84,  // failed; fixed-format sense data in the sense buffer
};

// SCSI status byte of the target.
inline constexpr std::uint8_t kScsiGood = 0x00;
inline constexpr std::uint8_t kScsiCheckCondition = 0x02;

// Sense keys and additional sense codes used by the drives (qualifier always 0).
namespace sense {
inline constexpr std::uint8_t kNoSense = 0x00;
inline constexpr std::uint8_t kNotReady = 0x02;
inline constexpr std::uint8_t kMediumError = 0x03;
inline constexpr std::uint8_t kHardwareError = 0x04;
inline constexpr std::uint8_t kIllegalRequest = 0x05;
inline constexpr std::uint8_t kUnitAttention = 0x06;
inline constexpr std::uint8_t kAbortedCommand = 0x0B;

inline constexpr std::uint8_t kAscNone = 0x00;
inline constexpr std::uint8_t kAscInvalidOperationCode = 0x20;
inline constexpr std::uint8_t kAscInvalidFieldInCdb = 0x24;
inline constexpr std::uint8_t kAscInvalidFieldInParameterList = 0x26;
inline constexpr std::uint8_t kAscMediumChanged = 0x28;
inline constexpr std::uint8_t kAscResetOccurred = 0x29;
inline constexpr std::uint8_t kAscMediumNotPresent = 0x3A;
}  // namespace sense

}  // namespace qpx::driver
