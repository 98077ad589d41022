// Disc images (cue/bin, cdrdao toc, nrg) read through libcdio's image
// drivers. The image answers as a drive would: reads past the lead-out
// fail, user data exists only in data tracks.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "cdrom/disc_source.h"

typedef struct _CdIo CdIo_t;

namespace qpx::cdrom {

class CdioImageSource final : public DiscSource {
public:
    // Opens the image; null with a reason in `error` when it cannot be read.
    static std::unique_ptr<CdioImageSource> open(const std::filesystem::path& image, std::string& error);
    ~CdioImageSource() override;
    CdioImageSource(const CdioImageSource&) = delete;
    CdioImageSource& operator=(const CdioImageSource&) = delete;

    ReadStatus read(std::uint32_t lba, std::uint32_t count, SectorForm form, std::span<std::uint8_t> out) override;
    ReadStatus read_toc(Toc& out) override;
    std::string name() const override { return path_.string(); }

    // Whether the extension names an image kind this source opens.
    static bool is_image_path(const std::filesystem::path& path);

private:
    CdioImageSource(CdIo_t* cdio, std::filesystem::path path);
    bool is_data_sector(std::uint32_t lba) const;
    ReadStatus read_one(std::uint32_t lba, SectorForm form, std::uint8_t* out) const;

    CdIo_t* cdio_;
    std::filesystem::path path_;
    std::uint32_t lead_out_ = 0;
};

}  // namespace qpx::cdrom
