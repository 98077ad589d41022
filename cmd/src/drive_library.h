// What the command-line program asks of the drive and container library.
// The real one calls the library; tests give a scripted one.
#pragma once

#include <optional>
#include <string>

namespace qpx::cmd {

struct HeaderRead {
    enum class Status { ok, bad_signature, unreadable } status = Status::unreadable;
    std::string header;     // ok: the 152 bytes
    std::string signature;  // bad_signature: the text the file holds instead
};

class DriveLibrary {
public:
    virtual ~DriveLibrary() = default;

    virtual int number_of_units() = 0;
    // Letters of the emulated drives (mode 0: letter order); empty when none.
    virtual std::string drive_letters() = 0;
    virtual int drive_unit(char letter) = 0;

    // The per-drive container list; nullopt when it cannot be read.
    virtual std::optional<std::string> container_files() = 0;
    virtual bool set_container_files(const std::string& list) = 0;

    virtual bool insert(int drive, const std::string& path) = 0;
    virtual bool eject(int drive) = 0;

    virtual int number_of_containers() = 0;
    virtual std::optional<std::string> container_record(int n) = 0;
    virtual bool set_container_record(int n, const std::string& record) = 0;
    // New catalogue number, or -1.
    virtual int add_container(const std::string& record) = 0;
    // Catalogue number of the record for exactly this path, or 0.
    virtual int find_container(const std::string& path) = 0;

    // The first 152 bytes of a container's header.
    virtual HeaderRead read_header(const std::string& path) = 0;
};

// The library itself.
class QpxDriveLibrary final : public DriveLibrary {
public:
    int number_of_units() override;
    std::string drive_letters() override;
    int drive_unit(char letter) override;
    std::optional<std::string> container_files() override;
    bool set_container_files(const std::string& list) override;
    bool insert(int drive, const std::string& path) override;
    bool eject(int drive) override;
    int number_of_containers() override;
    std::optional<std::string> container_record(int n) override;
    bool set_container_record(int n, const std::string& record) override;
    int add_container(const std::string& record) override;
    int find_container(const std::string& path) override;
    HeaderRead read_header(const std::string& path) override;
};

}  // namespace qpx::cmd
