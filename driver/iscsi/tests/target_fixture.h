// A running target over the real core: two drives (g and h), drive g holding
// a plain container of numbered sectors written by the container writer.
#pragma once

#include <iscsi/iscsi.h>
#include <iscsi/scsi-lowlevel.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapter_runner.h"
#include "qpx/container_writer/sector_source.h"
#include "qpx/iscsi/listener.h"
#include "support/temp_dir.h"

namespace qpx::iscsi::test {

inline constexpr std::uint32_t kSectors = 600;
inline constexpr char kInitiator[] = "iqn.2026-12.org.example:tester";

struct ContextCloser {
    void operator()(iscsi_context* c) const { iscsi_destroy_context(c); }
};
using Initiator = std::unique_ptr<iscsi_context, ContextCloser>;
struct TaskFreer {
    void operator()(scsi_task* t) const { scsi_free_scsi_task(t); }
};
using Task = std::unique_ptr<scsi_task, TaskFreer>;

class TargetFixture {
public:
    explicit TargetFixture(std::optional<ChapCredentials> chap = std::nullopt);
    ~TargetFixture();

    std::string portal() const { return "127.0.0.1:" + std::to_string(listener->port()); }
    std::string target(char letter) const { return "iqn.2026-12.org.quoplex:drive-" + std::string(1, letter); }
    std::string url(char letter) const { return "iscsi://" + portal() + "/" + target(letter) + "/0"; }

    // A logged-in initiator on `letter`, or null with the failure in *error.
    Initiator connect(char letter, const char* user = nullptr, const char* secret = nullptr,
                      std::string* error = nullptr) const;

    // The bytes of sectors [first, first + count) of the container.
    std::vector<std::uint8_t> sectors(std::uint32_t first, std::uint32_t count) const;

    qpx::testing::TempDir dir{"iscsi"};
    container_writer::MemorySectorSource source;
    AdapterRunner runner{2};
    std::unique_ptr<Listener> listener;
};

}  // namespace qpx::iscsi::test
