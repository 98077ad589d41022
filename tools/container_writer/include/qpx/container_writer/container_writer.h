// Writes a container from a plan. The file is built under a temporary name in
// the target's folder, synced and renamed into place, so a failed or
// interrupted write never leaves a half-written container under the target's
// name. Throws std::runtime_error (or std::invalid_argument for plans that
// cannot be laid out) with a message naming the cause.
#pragma once

#include <filesystem>

#include "qpx/container_writer/container_plan.h"

namespace qpx::container_writer {

void write_container(const ContainerPlan& plan, const std::filesystem::path& target);

// Packed MSF (minute * 65,536 + second * 256 + frame) of lba + 150.
std::uint32_t packed_msf(std::uint32_t lba);

}  // namespace qpx::container_writer
