// Netlist extraction from a loaded layout: instances of the top cell (or, for flattened
// components, the instances inside them), nets of touching ports, and the top cell's ports.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
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

// Instance name -> component in first-insertion order, over borrowed texts. A repeated name
// takes the later component and keeps its first place.
class InstanceTable {
public:
    // The instance's slot: its place in insertion order.
    std::uint32_t insert_or_assign(std::string_view name, std::string_view component);
    void reserve(std::size_t n);
    // Hints the cache about a coming insertion of the name.
    void prefetch(std::string_view name) const;
    std::size_t size() const { return entries_.size(); }
    const std::vector<std::pair<std::string_view, std::string_view>>& entries() const {
        return entries_;
    }

private:
    void rehash(std::size_t buckets);

    std::vector<std::pair<std::string_view, std::string_view>> entries_;
    struct Bucket {
        std::uint32_t hash;
        std::uint32_t slot; // slot + 1; 0: empty
    };
    std::vector<Bucket> buckets_;
};

// A referenced cell as extraction uses it: its component name, raw ports (null: none) and
// the type ids of those ports.
struct CellInfo {
    std::string_view component;
    const std::vector<gds::metadata::RawPort>* ports = nullptr;
    const std::vector<std::uint32_t>* types = nullptr;
};

// What extraction gathers while it walks the hierarchy.
struct Accumulator {
    InstanceTable instances; // name -> component, extraction order
    // The placed-port list: instance ids are slots of `instances`; a spot's source is its
    // recording and its entry the raw port's index there.
    std::vector<PortSpot> ports;
    // Each recording of an instance with ports: its slot and its placed ports from `first`.
    struct Recording {
        std::uint32_t slot;
        std::uint32_t first;
        const std::vector<gds::metadata::RawPort>* raw;
    };
    std::vector<Recording> recordings;
    decltype(ExtractionResult::port_positions) port_positions;
    decltype(ExtractionResult::instance_positions) instance_positions;
    bool with_positions = true;
    StringArena names; // hierarchical names of flattened instances

    // The component and ports of a referenced cell, looked up once per cell name.
    CellInfo cell(const gds::parser::GdsData& gds, std::string_view cell_name);

    // The instance name and raw port of a placed port.
    std::string_view instance_of(const PortSpot& p) const {
        return instances.entries()[p.instance].first;
    }
    const gds::metadata::RawPort& raw_of(const PortSpot& p) const {
        return (*recordings[p.source].raw)[p.entry];
    }

private:
    std::unordered_map<std::string_view, CellInfo> cells_;
    std::unordered_map<std::string_view, std::uint32_t> type_ids_;
    std::vector<std::unique_ptr<std::vector<std::uint32_t>>> cell_types_;
    std::string_view last_name_;
    CellInfo last_;
    StringArena components_;
};

// The placement of a child reference inside a cell placed at `parent`.
Placement compose(const Placement& parent, const gds::parser::GdsInstanceRef& child);
Placement placement_of(const gds::parser::GdsInstanceRef& ref);

// Records one instance: its component, origin and placed ports.
void record_instance(Accumulator& acc, const gds::parser::GdsData& gds, std::string_view name,
                     const CellInfo& cell, const Placement& placement);

// Adds the contents of cell `cell` placed at `placement` under the name prefix, flattening
// further the children whose component is in the set. The layout's hierarchy is acyclic (the
// loader refuses cycles), so this walk ends; it keeps its own stack, so depth costs no
// native stack.
Result<void> extract_cell_recursive(const gds::parser::GdsData& gds, std::string_view cell,
                                    std::string_view prefix, const Placement& placement,
                                    const FlattenSet& flatten, Accumulator& acc);

// An extraction in terms of placed ports, before any text is copied: its texts view the
// layout it holds, which stays in place when the extraction is moved. The netlist and the
// open ports are made from it, and it writes the same text as its netlist().
struct LayoutExtraction {
    gds::parser::GdsData gds;
    Accumulator acc;
    std::vector<PortPair> nets;
    // Top-cell port name -> placed port it exposes.
    std::vector<std::pair<std::string_view, std::uint32_t>> top_ports;
    // Per placed port: the first placed port with the same (instance, port name).
    std::vector<std::uint32_t> identity;
    // Per identity: an endpoint of a net.
    std::vector<bool> connected;

    ExtractedNetlist netlist() const;
    std::vector<InstancePort> open_ports() const;
    InstancePort instance_port(std::uint32_t placed_port) const;
    void write(orlim_text::Writer& w) const;
    std::string to_yaml() const;
    std::string to_json() const;
};

// Extraction from an already loaded layout, which the result takes over. Position tables
// are filled only when asked for.
Result<LayoutExtraction> extract_layout(gds::parser::GdsData gds, std::int64_t tolerance_nm,
                                        const FlattenSet& flatten, bool with_positions);
// Loads the layout and extracts it with nothing flattened and no position tables.
Result<LayoutExtraction> extract_layout(const std::filesystem::path& gds_path,
                                        std::int64_t tolerance_nm);

// Loads the layout and extracts its netlist; tolerance in nanometres.
Result<ExtractionResult> extract_with_positions(const std::filesystem::path& gds_path,
                                                std::int64_t tolerance_nm,
                                                const FlattenSet& flatten);

// The netlist of extract_with_positions with nothing flattened.
Result<ExtractedNetlist> extract_netlist_with_tolerance(const std::filesystem::path& gds_path,
                                                        std::int64_t tolerance_nm);

// extract_layout, then the full result.
Result<ExtractionResult> extract_from(gds::parser::GdsData gds, std::int64_t tolerance_nm,
                                      const FlattenSet& flatten, bool with_positions = true);

// Instance -> number of ports: from the port table for known components, otherwise the
// distinct port names the instance shows in nets and top-level ports.
std::unordered_map<std::string, std::size_t, StringHash, StringEq>
count_instance_ports(const ExtractedNetlist& netlist, const gds::parser::ComponentPorts& table);

// The netlist's YAML and pretty JSON texts.
Result<std::string> to_yaml(const ExtractedNetlist& netlist);
Result<std::string> to_json(const ExtractedNetlist& netlist);
Result<std::string> to_yaml(const LayoutExtraction& extraction);
Result<std::string> to_json(const LayoutExtraction& extraction);

// Upper bound on the instances one extraction records after flattening.
inline constexpr std::uint64_t MAX_EXTRACTED_INSTANCES = 100'000'000;

} // namespace orlim_core::netlist
