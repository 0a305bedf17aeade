// The loaded layout: cells with their placed instances, port metadata per cell, and the scale.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orlim_core/error.hpp"
#include "orlim_core/gds/metadata.hpp"
#include "orlim_core/gds/reader.hpp"
#include "orlim_core/strings.hpp"

namespace orlim_core::gds::parser {

using metadata::RawPort;

inline constexpr std::string_view CONTEXT_CELL = "$$$CONTEXT_INFO$$$";

// One placed instance. The views point into the owning GdsData.
struct GdsInstanceRef {
    std::string_view name;
    std::string_view cell_name;
    std::int64_t x = 0; // database units
    std::int64_t y = 0;
    double rotation = 0.0; // degrees, counter-clockwise
    bool mirror = false;   // reflection about x, before the rotation
};

struct GdsCellData {
    std::string name;
    std::vector<GdsInstanceRef> instances; // element order, arrays expanded in place
};

// Component name -> port names, in file order of the cells.
using ComponentPorts = OrderedMap<std::vector<std::string>>;

// Immutable after load. The hierarchy is known to be acyclic: load refuses cyclic references,
// so every walk down from a cell terminates.
struct GdsData {
    stream::Library library;
    OrderedMap<GdsCellData> cells;               // file order; no context cell
    OrderedMap<std::vector<RawPort>> cell_ports; // order of the context references
    double um_per_dbu = 0.0;
    StringArena names; // generated instance names

    static Result<GdsData> load(const std::filesystem::path& path);
    // Loads from bytes already in memory (same checks as load).
    static Result<GdsData> from_bytes(FileBytes bytes);
    static Result<GdsData> from_library(stream::Library&& lib);

    // The first cell, in file order, that no instance references.
    std::optional<std::string_view> top_cell_name() const;
    const GdsCellData* get_cell(std::string_view name) const;
    const std::vector<RawPort>* get_cell_ports(std::string_view name) const;
    ComponentPorts component_ports() const;
};

// The port table of the layout at path: the same table as GdsData::load(path)
// .component_ports(), after the same checks, without building the cells.
Result<ComponentPorts> load_component_ports(const std::filesystem::path& path);

// The port table as YAML (ends with a newline) or pretty JSON (no trailing newline).
std::string component_ports_yaml(const ComponentPorts& table);
std::string component_ports_json(const ComponentPorts& table);

// Layout cell name -> component name: cut at "_plarix", then at the first "_" + capital.
std::string simplify_cell_name(std::string_view name);

// Upper bound on the instances one library may expand to (arrays included).
inline constexpr std::uint64_t MAX_INSTANCES = 100'000'000;

} // namespace orlim_core::gds::parser
