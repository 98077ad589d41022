#include "cdrom/cdio_image_source.h"

#include <cdio/cdio.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "cdrom/cdio_quiet.h"
#include "cdrom/cue_track_modes.h"
#include "cdrom/sector_layout.h"

namespace qpx::cdrom {
namespace {

std::string lowercase_extension(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

driver_id_t image_driver(const std::filesystem::path& path) {
    const std::string ext = lowercase_extension(path);
    if (ext == ".cue") return DRIVER_BINCUE;
    if (ext == ".toc") return DRIVER_CDRDAO;
    if (ext == ".nrg") return DRIVER_NRG;
    return DRIVER_UNKNOWN;
}

bool is_data_format(track_format_t format) {
    return format == TRACK_FORMAT_DATA || format == TRACK_FORMAT_XA || format == TRACK_FORMAT_CDI ||
           format == TRACK_FORMAT_PSX;
}

// CONTROL nibble of a track: 4-channel, data, copy permitted, pre-emphasis.
std::uint8_t control_of(CdIo_t* cdio, track_t track) {
    std::uint8_t control = 0;
    if (is_data_format(cdio_get_track_format(cdio, track))) control |= 0x4;
    if (cdio_get_track_copy_permit(cdio, track) == CDIO_TRACK_FLAG_TRUE) control |= 0x2;
    if (cdio_get_track_preemphasis(cdio, track) == CDIO_TRACK_FLAG_TRUE) control |= 0x1;
    if (cdio_get_track_channels(cdio, track) == 4) control |= 0x8;
    return control;
}

constexpr std::uint8_t kAdrPosition = 0x10;  // ADR 1: Q sub-channel holds the position

}  // namespace

bool CdioImageSource::is_image_path(const std::filesystem::path& path) { return image_driver(path) != DRIVER_UNKNOWN; }

std::unique_ptr<CdioImageSource> CdioImageSource::open(const std::filesystem::path& image, std::string& error) {
    const driver_id_t driver = image_driver(image);
    if (driver == DRIVER_UNKNOWN) {
        error = image.string() + ": not a disc image (expected .cue, .toc or .nrg)";
        return nullptr;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(image, ec)) {
        error = image.string() + ": no such image file";
        return nullptr;
    }
    if (driver == DRIVER_BINCUE) {
        if (auto mode = unreadable_cue_track_mode(image)) {
            error = image.string() + ": tracks of mode " + *mode +
                    " cannot be read; only AUDIO, MODE1/2352 and MODE2/2352 tracks can";
            return nullptr;
        }
    }
    quiet_libcdio();
    CdIo_t* cdio = cdio_open(image.c_str(), driver);
    if (!cdio) {
        error = image.string() + ": the image cannot be read (a damaged cue sheet or a missing track file)";
        return nullptr;
    }
    std::unique_ptr<CdioImageSource> source(new CdioImageSource(cdio, image));
    const track_t first = cdio_get_first_track_num(cdio);
    const track_t last = cdio_get_last_track_num(cdio);
    const lsn_t lead_out = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
    if (first == CDIO_INVALID_TRACK || last == CDIO_INVALID_TRACK || first > last || lead_out == CDIO_INVALID_LSN ||
        lead_out <= 0) {
        error = image.string() + ": the image has no usable table of contents";
        return nullptr;
    }
    source->lead_out_ = static_cast<std::uint32_t>(lead_out);
    return source;
}

CdioImageSource::CdioImageSource(CdIo_t* cdio, std::filesystem::path path) : cdio_(cdio), path_(std::move(path)) {}

CdioImageSource::~CdioImageSource() { cdio_destroy(cdio_); }

ReadStatus CdioImageSource::read_toc(Toc& out) {
    out = Toc{};
    out.first_track = cdio_get_first_track_num(cdio_);
    out.last_track = cdio_get_last_track_num(cdio_);
    for (track_t t = out.first_track; t <= out.last_track; ++t) {
        const lsn_t start = cdio_get_track_lsn(cdio_, t);
        if (start == CDIO_INVALID_LSN) return ReadStatus::ReadError;
        out.descriptors.push_back({static_cast<std::uint8_t>(kAdrPosition | control_of(cdio_, t)), t,
                                   static_cast<std::uint32_t>(start)});
    }
    out.descriptors.push_back({static_cast<std::uint8_t>(kAdrPosition | control_of(cdio_, out.last_track)),
                               kLeadOutTrack, lead_out_});
    return ReadStatus::Ok;
}

bool CdioImageSource::is_data_sector(std::uint32_t lba) const {
    const track_t track = cdio_get_track(cdio_, static_cast<lsn_t>(lba));
    return track != CDIO_INVALID_TRACK && is_data_format(cdio_get_track_format(cdio_, track));
}

ReadStatus CdioImageSource::read_one(std::uint32_t lba, SectorForm form, std::uint8_t* out) const {
    const lsn_t lsn = static_cast<lsn_t>(lba);
    if (form == SectorForm::UserData) {
        if (!is_data_sector(lba)) return ReadStatus::WrongTrackType;
        return cdio_read_data_sectors(cdio_, out, lsn, kUserDataSize, 1) == DRIVER_OP_SUCCESS ? ReadStatus::Ok
                                                                                             : ReadStatus::ReadError;
    }
    if (cdio_read_audio_sectors(cdio_, out, lsn, 1) != DRIVER_OP_SUCCESS) return ReadStatus::ReadError;
    // An image that keeps only the user data of a data track has no raw
    // sector to give: its bytes would not start with the sync pattern.
    if (is_data_sector(lba) && !has_sync_pattern(std::span<const std::uint8_t>(out, kRawSectorSize)))
        return ReadStatus::Unsupported;
    return ReadStatus::Ok;
}

ReadStatus CdioImageSource::read(std::uint32_t lba, std::uint32_t count, SectorForm form,
                                 std::span<std::uint8_t> out) {
    const std::size_t size = sector_size(form);
    if (out.size() < static_cast<std::size_t>(count) * size) return ReadStatus::ReadError;
    if (static_cast<std::uint64_t>(lba) + count > lead_out_) return ReadStatus::OutOfRange;
    for (std::uint32_t i = 0; i < count; ++i)
        if (ReadStatus st = read_one(lba + i, form, out.data() + static_cast<std::size_t>(i) * size);
            st != ReadStatus::Ok)
            return st;
    return ReadStatus::Ok;
}

}  // namespace qpx::cdrom
