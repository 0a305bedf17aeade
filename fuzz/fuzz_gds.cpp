// Fuzz harness: GDS library loading, port metadata, the port table writers and netlist
// extraction, flat and with every component flattened. The borrowed-text writer must give
// the text of the netlist it stands for.
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "orlim_core/gds/parser.hpp"
#include "orlim_core/netlist/extractor.hpp"

namespace {

using namespace orlim_core;

std::optional<gds::parser::GdsData> load(const std::uint8_t* data, std::size_t size) {
    auto lib = gds::stream::parse_library(FileBytes::copy_of(data, size));
    if (!lib) {
        return std::nullopt;
    }
    // Large arrays are legal but expanding them only slows the search down.
    std::uint64_t placed = 0;
    for (const auto& s : lib->structures) {
        placed += s.instance_count;
    }
    if (placed > 100'000) {
        return std::nullopt;
    }
    auto gds = gds::parser::GdsData::from_library(std::move(*lib));
    if (!gds) {
        return std::nullopt;
    }
    return std::move(*gds);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto gds = load(data, size);
    if (!gds) {
        return 0;
    }
    (void)gds->top_cell_name();
    const auto table = gds->component_ports();
    (void)gds::parser::component_ports_yaml(table);
    (void)gds::parser::component_ports_json(table);

    // The tolerance comes from the last byte: negative, zero, small and wide grids.
    const std::int64_t tolerance = static_cast<std::int8_t>(data[size - 1]) * 37;
    netlist::FlattenSet all;
    for (const auto& [name, cell] : gds->cells) {
        all.insert(gds::parser::simplify_cell_name(name));
    }
    for (const bool flatten : {false, true}) {
        auto layout = flatten ? load(data, size) : std::move(gds);
        auto x = netlist::extract_layout(std::move(*layout), tolerance,
                                         flatten ? all : netlist::FlattenSet{}, flatten);
        if (!x) {
            continue;
        }
        const auto n = x->netlist();
        if (x->to_yaml() != n.to_yaml() || x->to_json() != n.to_json()) {
            std::abort();
        }
        (void)x->open_ports();
    }
    return 0;
}
