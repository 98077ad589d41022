#include "qpx/container_writer/image_container.h"

#include <memory>

#include "qpx/container_writer/container_plan.h"
#include "qpx/container_writer/container_writer.h"
#include "qpx/container_writer/sector_source.h"

namespace qpx::container_writer {

using namespace qpx::container;

void write_image_container(const std::filesystem::path& image, ContainerType type, Storage storage,
                           const std::filesystem::path& target, const ImageContainerOptions& options) {
    FileSectorSource iso(image, kUserSectorSize);
    std::unique_ptr<RawSectorAdapter> raw;
    const bool defects = !options.defective_sectors.empty();
    ContainerPlan plan;
    plan.type = type;
    plan.description = options.description;
    plan.defective_sectors = options.defective_sectors;
    plan.sectors = &iso;
    if (defects) plan.disc_format = disc_format::korrektur1;
    if (type == ContainerType::track_table) {
        const SectorSource* track_sectors = &iso;
        if (storage == Storage::raw) {
            raw = std::make_unique<RawSectorAdapter>(iso, 0, 1);
            track_sectors = raw.get();
            plan.disc_format = defects ? disc_format::korrektur2 : disc_format::cdi_bridge;
        }
        plan.tracks.push_back(data_track(0, iso.sector_count(), storage, *track_sectors));
    }
    write_container(plan, target);
}

}  // namespace qpx::container_writer
