// Netlist extraction from a loaded layout: instances of the top cell (or, for flattened
// components, the instances inside them), nets of touching ports, and the top cell's ports.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "orlim_core/error.hpp"
#include "orlim_core/gds/parser.hpp"
#include "orlim_core/netlist/types.hpp"
#include "orlim_core/strings.hpp"

namespace orlim_core::netlist {

using orlim_netlist::ExtractedNetlist;

struct PortPosition {
    std::optional<double> width; // micrometres
    double x = 0.0;
    double y = 0.0;
};

struct PortKeyHash {
    using is_transparent = void;
    std::size_t operator()(const std::pair<std::string, std::string>& k) const noexcept {
        return hash(k.first, k.second);
    }
    std::size_t operator()(const std::pair<std::string_view, std::string_view>& k) const noexcept {
        return hash(k.first, k.second);
    }
    static std::size_t hash(std::string_view a, std::string_view b) noexcept {
        const std::size_t h = std::hash<std::string_view>{}(a);
        return h ^ (std::hash<std::string_view>{}(b) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
    }
};

// Component names whose instances are replaced by their contents.
using FlattenSet = std::unordered_set<std::string, StringHash, StringEq>;

struct ExtractionResult {
    ExtractedNetlist netlist;
    std::vector<InstancePort> open_ports;
    gds::parser::GdsData gds;
    // (instance, port) -> width and position, micrometres; a later port replaces an earlier.
    std::unordered_map<std::pair<std::string, std::string>, PortPosition, PortKeyHash>
        port_positions;
    // instance -> origin, micrometres, top-cell coordinates.
    std::unordered_map<std::string, std::pair<double, double>, StringHash, StringEq>
        instance_positions;
};

// What extraction gathers while it walks the hierarchy.
struct Accumulator {
    orlim_netlist::OrderedMap<std::string> instances; // name -> component, extraction order
    std::vector<PlacedPort> ports;
    decltype(ExtractionResult::port_positions) port_positions;
    decltype(ExtractionResult::instance_positions) instance_positions;
    bool with_positions = true;
    StringArena names; // hierarchical names of flattened instances
};

// The placement of a child reference inside a cell placed at `parent`.
Placement compose(const Placement& parent, const gds::parser::GdsInstanceRef& child);
Placement placement_of(const gds::parser::GdsInstanceRef& ref);

// Records one instance: its component, origin and placed ports.
void record_instance(Accumulator& acc, const gds::parser::GdsData& gds, std::string_view name,
                     std::string_view cell_name, std::string_view component,
                     const Placement& placement);

// Adds the contents of cell `cell` placed at `placement` under the name prefix, flattening
// further the children whose component is in the set. The layout's hierarchy is acyclic (the
// loader refuses cycles), so this walk ends; it keeps its own stack, so depth costs no
// native stack.
Result<void> extract_cell_recursive(const gds::parser::GdsData& gds, std::string_view cell,
                                    std::string_view prefix, const Placement& placement,
                                    const FlattenSet& flatten, Accumulator& acc);

// Loads the layout and extracts its netlist; tolerance in nanometres.
Result<ExtractionResult> extract_with_positions(const std::filesystem::path& gds_path,
                                                std::int64_t tolerance_nm,
                                                const FlattenSet& flatten);

// The netlist of extract_with_positions with nothing flattened.
Result<ExtractedNetlist> extract_netlist_with_tolerance(const std::filesystem::path& gds_path,
                                                        std::int64_t tolerance_nm);

// Extraction from an already loaded layout, which the result takes over. Position tables
// are filled only when asked for.
Result<ExtractionResult> extract_from(gds::parser::GdsData gds, std::int64_t tolerance_nm,
                                      const FlattenSet& flatten, bool with_positions = true);

// Instance -> number of ports: from the port table for known components, otherwise the
// distinct port names the instance shows in nets and top-level ports.
std::unordered_map<std::string, std::size_t, StringHash, StringEq>
count_instance_ports(const ExtractedNetlist& netlist, const gds::parser::ComponentPorts& table);

// The netlist's YAML and pretty JSON texts.
Result<std::string> to_yaml(const ExtractedNetlist& netlist);
Result<std::string> to_json(const ExtractedNetlist& netlist);

// Upper bound on the instances one extraction records after flattening.
inline constexpr std::uint64_t MAX_EXTRACTED_INSTANCES = 100'000'000;

} // namespace orlim_core::netlist
