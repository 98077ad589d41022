#include "target_fixture.h"

#include <gtest/gtest.h>

#include "container_fixtures.h"
#include "qpx/container/format.h"

namespace qpx::iscsi::test {

TargetFixture::TargetFixture(std::optional<ChapCredentials> chap)
    : source(driver::test::numbered_sectors(kSectors)) {
    const auto container = dir / "numbered.qim";
    driver::test::write_single_track(container, container::ContainerType::plain, source);
    runner.insert(0, container);
    TargetConfig config;
    config.port = 0;
    config.drives = {{0, 'g'}, {1, 'h'}};
    config.chap = std::move(chap);
    listener = std::make_unique<Listener>(config, runner);
    listener->start();
}

TargetFixture::~TargetFixture() { listener->stop(); }

Initiator TargetFixture::connect(char letter, const char* user, const char* secret, std::string* error) const {
    Initiator c(iscsi_create_context(kInitiator));
    if (!c) return nullptr;
    iscsi_set_targetname(c.get(), target(letter).c_str());
    iscsi_set_session_type(c.get(), ISCSI_SESSION_NORMAL);
    iscsi_set_header_digest(c.get(), ISCSI_HEADER_DIGEST_NONE);
    if (user) iscsi_set_initiator_username_pwd(c.get(), user, secret);
    if (iscsi_full_connect_sync(c.get(), portal().c_str(), 0) != 0) {
        if (error) *error = iscsi_get_error(c.get());
        return nullptr;
    }
    return c;
}

std::vector<std::uint8_t> TargetFixture::sectors(std::uint32_t first, std::uint32_t count) const {
    // The container stores the sectors from 16 on; those before read as zeros.
    std::vector<std::uint8_t> out(std::size_t{count} * 2048, 0);
    for (std::uint32_t s = first; s < first + count; ++s)
        if (s >= container::kFirstStoredSector)
            source.read(s, std::span(out).subspan(std::size_t{s - first} * 2048, 2048));
    return out;
}

}  // namespace qpx::iscsi::test
