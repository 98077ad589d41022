#include <fstream>
#include <vector>

#include "drive_library.h"
#include "qpxdrv.h"

namespace qpx::cmd {
namespace {

// Reads a text through one of the library's buffer calls, growing the
// buffer while the library answers "too small".
template <typename Read>
std::optional<std::string> read_text(Read read) {
    for (std::uint32_t size = 2048; size <= (1u << 20); size *= 4) {
        std::vector<char> buf(size);
        int r = read(buf.data(), size);
        if (r == 0) return std::string(buf.data());
        if (r != 1) return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

int QpxDriveLibrary::number_of_units() { return QPXGetNumberOfUnits(); }

std::string QpxDriveLibrary::drive_letters() {
    char buf[64] = {};
    if (QPXGetDriveLetters(buf, 0) == -1) return {};
    return buf;
}

int QpxDriveLibrary::drive_unit(char letter) { return QPXGetDriveUnit(letter); }

std::optional<std::string> QpxDriveLibrary::container_files() {
    return read_text([](char* b, std::uint32_t n) { return QPXGetContainerFiles(b, n); });
}

bool QpxDriveLibrary::set_container_files(const std::string& list) {
    return QPXSetContainerFiles(list.c_str()) == 0;
}

bool QpxDriveLibrary::insert(int drive, const std::string& path) { return QPXInsert(drive, path.c_str()) != 0; }

bool QpxDriveLibrary::eject(int drive) { return QPXEject(drive) != 0; }

int QpxDriveLibrary::number_of_containers() { return QPXGetNumberOfContainers(); }

std::optional<std::string> QpxDriveLibrary::container_record(int n) {
    return read_text([n](char* b, std::uint32_t size) { return QPXGetContainerIndex(n, b, size); });
}

bool QpxDriveLibrary::set_container_record(int n, const std::string& record) {
    return QPXSetContainerIndex(n, record.c_str()) == 0;
}

int QpxDriveLibrary::add_container(const std::string& record) { return QPXAddContainer(record.c_str()); }

int QpxDriveLibrary::find_container(const std::string& path) { return QPXGetContainerIndexNumber(path.c_str()); }

HeaderRead QpxDriveLibrary::read_header(const std::string& path) {
    HeaderRead result;
    std::string header(QPX_CONTAINER_HEADER_SIZE, '\0');
    if (QPXReadContainerHeader(path.c_str(), header.data())) {
        result.status = HeaderRead::Status::ok;
        result.header = std::move(header);
        return result;
    }
    // The library refuses foreign signatures; read the bytes to say which.
    std::ifstream in(path, std::ios::binary);
    if (in.read(header.data(), static_cast<std::streamsize>(header.size())) &&
        in.gcount() == static_cast<std::streamsize>(header.size())) {
        constexpr std::size_t kSignatureOffset = 140, kSignatureSize = 12;
        std::string sig = header.substr(kSignatureOffset, kSignatureSize);
        result.signature = sig.substr(0, sig.find('\0'));
        result.status = HeaderRead::Status::bad_signature;
    }
    return result;
}

}  // namespace qpx::cmd
