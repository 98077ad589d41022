#include "qpx/container/errors.h"

namespace qpx::container {
namespace {

class ContainerCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "qpx.container"; }

    std::string message(int value) const override {
        switch (static_cast<Errc>(value)) {
            case Errc::ok: return "success";
            case Errc::not_found: return "not found";
            case Errc::open_failed: return "container file cannot be opened";
            case Errc::bad_container: return "not a valid container";
            case Errc::medium_error: return "stored data unreadable or inconsistent";
            case Errc::defective_sector: return "sector was unreadable on the source disc";
            case Errc::wrong_track_mode: return "sector cannot be read in this mode";
            case Errc::invalid_argument: return "invalid argument";
        }
        return "unknown container error";
    }
};

}  // namespace

const std::error_category& container_category() noexcept {
    static const ContainerCategory category;
    return category;
}

}  // namespace qpx::container
