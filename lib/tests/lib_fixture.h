// A private machine root per test, with helpers to look at the library's key.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "drives/drive_letters.h"
#include "qpxdrv.h"
#include "registry/registry.h"
#include "support/temp_dir.h"

namespace qpx::testing {

inline constexpr const char* kCatalogueKey = "SOFTWARE\\Calder\\Quoplex CD-ROM";
inline constexpr const char* kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\qpxmport";

class LibraryTest : public ::testing::Test {
protected:
    // The catalogue key's text value, or "<missing>".
    static std::string catalogue_text(const char* name) {
        std::string v;
        return reg::read_string(reg::Hive::LocalMachine, kCatalogueKey, name, v) == reg::kSuccess ? v : "<missing>";
    }
    static std::uint32_t dword_of(const char* key, const char* name) {
        std::uint32_t v = 0xDEADBEEF;
        reg::read_dword(reg::Hive::LocalMachine, key, name, v);
        return v;
    }
    static void set_catalogue_dword(const char* name, std::uint32_t v) {
        reg::Key k;
        ASSERT_EQ(reg::Key::create(reg::Hive::LocalMachine, kCatalogueKey, k), reg::kSuccess);
        ASSERT_EQ(k.set_dword(name, v), reg::kSuccess);
    }
    static void protect(const char* key) {
        reg::Key k;
        ASSERT_EQ(reg::Key::create(reg::Hive::LocalMachine, key, k), reg::kSuccess);
        ASSERT_EQ(k.set_protected(true), reg::kSuccess);
    }
    // Publishes emulated drives on SCSI port `port` as qpxmport does: drive
    // k at bus k / 8 + 1, target k mod 8.
    static void publish_virtual_drive(char letter, int drive, int port = 1) {
        ASSERT_EQ(drives::publish_scsi_port(port, "qpxmport"), reg::kSuccess);
        drives::DriveEntry e;
        e.letter = letter;
        e.type = drives::DriveType::CdRom;
        e.scsi = drives::ScsiAddress{static_cast<std::uint8_t>(port), static_cast<std::uint8_t>(drive / 8 + 1),
                                     static_cast<std::uint8_t>(drive % 8), 0};
        e.device = "qpxmport";
        ASSERT_EQ(drives::publish(e), reg::kSuccess);
    }

    ScopedMachineRoot root_;
};

}  // namespace qpx::testing
