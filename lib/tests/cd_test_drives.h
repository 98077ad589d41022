// CD-ROM drive letters for the library's CD tests: disc images attached as
// drives, and discs with faults described by fault plans whose journal
// tells what the library did.
#pragma once

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "cdrom/drive_registration.h"
#include "lib_fixture.h"
#include "support/test_discs.h"

namespace qpx::testing {

class CdLibraryTest : public LibraryTest {
protected:
    static char attach(const std::filesystem::path& image) {
        char letter = 0;
        std::string error;
        EXPECT_TRUE(cdrom::attach_image(image, std::nullopt, letter, error)) << error;
        return letter;
    }

    // A drive serving `disc` (the mixed disc unless told) with the faults of
    // `directives`; every access and wait goes to the journal.
    char attach_faulty(const std::string& directives, const std::filesystem::path& disc = {}) {
        const auto plan = plans_.path() / ("plan" + std::to_string(++plans_made_) + ".qpxfaults");
        std::ofstream(plan) << "disc " << (disc.empty() ? test_discs().mixed.cue : disc).string() << "\n"
                            << "journal " << journal_file().string() << "\n"
                            << directives << "\n";
        return attach(plan);
    }

    std::vector<std::string> journal() const {
        std::vector<std::string> lines;
        std::ifstream in(journal_file());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    // The lines added after the first `skip`.
    std::vector<std::string> journal_since(std::size_t skip) const {
        auto lines = journal();
        lines.erase(lines.begin(), lines.begin() + static_cast<long>(std::min(skip, lines.size())));
        return lines;
    }

    static std::size_t count_of(const std::vector<std::string>& lines, const std::string& line) {
        return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
    }

private:
    std::filesystem::path journal_file() const { return plans_.path() / "journal.txt"; }
    TempDir plans_{"plans"};
    int plans_made_ = 0;
};

inline std::vector<std::uint8_t> file_bytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace qpx::testing
