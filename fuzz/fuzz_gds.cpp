// Fuzz harness: GDS library loading, port metadata and the port table writers.
#include <cstdint>

#include "orlim_core/gds/parser.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orlim_core;
    auto gds = gds::parser::GdsData::from_bytes(FileBytes::copy_of(data, size));
    if (!gds) {
        return 0;
    }
    (void)gds->top_cell_name();
    const auto table = gds->component_ports();
    (void)gds::parser::component_ports_yaml(table);
    (void)gds::parser::component_ports_json(table);
    return 0;
}
