// Every way a container can hold one data track: the single-track types and
// type 5 with each data storage. Tests run the same checks over all of them.
#pragma once

#include <array>
#include <ostream>
#include <string>

#include "qpx/container/format.h"

namespace qpx::testing {

struct ContainerLayout {
    const char* name;
    container::ContainerType type;
    container::Storage storage;  // type 5 only
};

inline constexpr std::array<ContainerLayout, 7> kDataTrackLayouts = {{
    {"type0", container::ContainerType::plain, container::Storage::plain},
    {"type1", container::ContainerType::normal_blocks, container::Storage::plain},
    {"type6", container::ContainerType::maximal_blocks, container::Storage::plain},
    {"type5_storage0", container::ContainerType::track_table, container::Storage::plain},
    {"type5_storage1", container::ContainerType::track_table, container::Storage::normal},
    {"type5_storage3", container::ContainerType::track_table, container::Storage::raw},
    {"type5_storage5", container::ContainerType::track_table, container::Storage::maximal},
}};

inline void PrintTo(const ContainerLayout& layout, std::ostream* os) { *os << layout.name; }

// Names parameterised tests after their layout.
struct LayoutName {
    template <typename Info>
    std::string operator()(const Info& info) const {
        return info.param.name;
    }
};

}  // namespace qpx::testing
