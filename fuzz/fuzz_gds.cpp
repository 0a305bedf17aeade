// Fuzz harness: GDS library loading, port metadata and the port table writers.
#include <cstdint>
#include <cstring>

#include "orlim_core/gds/parser.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orlim_core;
    FileBytes bytes;
    bytes.size = size;
    bytes.data = std::make_unique_for_overwrite<unsigned char[]>(size + 1);
    if (size != 0) {
        std::memcpy(bytes.data.get(), data, size);
    }
    auto gds = gds::parser::GdsData::from_bytes(std::move(bytes));
    if (!gds) {
        return 0;
    }
    (void)gds->top_cell_name();
    const auto table = gds->component_ports();
    (void)gds::parser::component_ports_yaml(table);
    (void)gds::parser::component_ports_json(table);
    return 0;
}
