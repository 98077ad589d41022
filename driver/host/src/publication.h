// What the host announces to the machine: its SCSI ports under
// HARDWARE\DEVICEMAP\Scsi ("Driver" = "qpxmport") and a drive letter for
// each drive, from the first free letter at or after the configured one,
// while letters last.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qpx::host {

inline constexpr const char* kDriverName = "qpxmport";

// Removes ports and letters a host of this root left behind when it did not
// end cleanly. Call while holding the instance lock.
void remove_stale_publication();

// The `count` lowest port numbers no other driver uses, ascending.
std::vector<int> free_port_numbers(std::size_t count);

struct PublishedPort {
    int number = 0;
    std::uint32_t drive_count = 0;
};

class Publication {
public:
    Publication() = default;
    ~Publication() { withdraw(); }
    Publication(const Publication&) = delete;
    Publication& operator=(const Publication&) = delete;

    // Publishes the ports, then the letters of their drives in drive order
    // (ports in the given order). False with `error` set when the registry
    // refused; what was published stays recorded for withdraw().
    bool publish(const std::vector<PublishedPort>& ports, char first_letter, std::string& error);
    void withdraw();

    const std::vector<char>& letters() const { return letters_; }

private:
    std::vector<int> ports_;
    std::vector<char> letters_;
};

}  // namespace qpx::host
