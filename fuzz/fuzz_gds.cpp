// Fuzz harness: GDS library loading, port metadata and the port table writers.
#include <cstdint>

#include "orlim_core/gds/parser.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orlim_core;
    auto lib = gds::stream::parse_library(FileBytes::copy_of(data, size));
    if (!lib) {
        return 0;
    }
    // Large arrays are legal but expanding them only slows the search down.
    std::uint64_t placed = 0;
    for (const auto& s : lib->structures) {
        placed += s.instance_count;
    }
    if (placed > 100'000) {
        return 0;
    }
    auto gds = gds::parser::GdsData::from_library(std::move(*lib));
    if (!gds) {
        return 0;
    }
    (void)gds->top_cell_name();
    const auto table = gds->component_ports();
    (void)gds::parser::component_ports_yaml(table);
    (void)gds::parser::component_ports_json(table);
    return 0;
}
