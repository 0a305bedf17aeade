// Port metadata: the ports that the layout library records as text in the properties of the
// context-information cell's references.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orlim_core/error.hpp"

namespace orlim_core::gds::metadata {

struct RawPort {
    std::optional<std::int64_t> width; // database units, from the port's cross-section
    std::string name;
    std::optional<std::string> port_type;
    std::optional<std::string> cross_section;
    std::int64_t x = 0; // database units, cell coordinates
    std::int64_t y = 0;
    std::int32_t rotation = 0; // degrees, counter-clockwise from +x

    bool operator==(const RawPort&) const = default;
};

// Reads every port entry of the joined property values (each value followed by a NUL).
// Never fails: missing fields take defaults and entries without a name are dropped.
Result<std::vector<RawPort>> parse_ports_from_properties(std::string_view bytes);

} // namespace orlim_core::gds::metadata
