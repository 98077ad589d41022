// The library's registry places and the result codes of its registry calls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qpx::lib {

inline constexpr std::string_view kCatalogueKey = "SOFTWARE\\Calder\\Quoplex CD-ROM";
inline constexpr std::string_view kDriverServiceKey = "SYSTEM\\CurrentControlSet\\Services\\qpxmport";

// Results of the reading calls.
enum ReadResult : int { kReadOk = 0, kReadTooSmall = 1, kReadNoKey = 2, kReadMissing = 3 };
// Results of the writing calls.
enum WriteResult : int { kWriteOk = 0, kWriteNoKey = 2, kWriteFailed = 4 };

// Reads a text value of `key`: kReadOk, kReadNoKey or kReadMissing (also for
// an empty value).
int read_text(std::string_view key, std::string_view name, std::string& out);
int read_text(std::string_view name, std::string& out);  // catalogue key
// Copies text and its NUL into buffer: kReadOk, or kReadTooSmall when the
// text is not shorter than the buffer (nothing copied then).
int copy_out(const std::string& text, char* buffer, std::uint32_t size);

// Writes a text (without NUL) or a DWORD, creating the key when needed:
// kWriteOk, kWriteNoKey or kWriteFailed.
int write_text(std::string_view key, std::string_view name, std::string_view text);
int write_text(std::string_view name, std::string_view text);  // catalogue key
int write_dword(std::string_view key, std::string_view name, std::uint32_t value);
int write_dword(std::string_view name, std::uint32_t value);  // catalogue key

// A DWORD of the catalogue key, or `fallback` when it cannot be read.
std::uint32_t read_dword_or(std::string_view name, std::uint32_t fallback);

// "Container%04d" of catalogue number n.
std::string record_value_name(int n);

// Catalogue records: "path,letter,modifiers,key,start application".
std::string_view record_path(std::string_view record);
// Whether a container path can be stored in a record and in the drive list:
// not empty, and no "," (field separator) or ";" (drive list separator).
bool is_storable_path(std::string_view path);

}  // namespace qpx::lib
