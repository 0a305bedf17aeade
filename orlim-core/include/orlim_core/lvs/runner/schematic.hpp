// Loading schematic files into one recursive netlist, and preparing it for comparison.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "orlim_core/error.hpp"
#include "orlim_core/strings.hpp"
#include "orlim_netlist/extracted.hpp"

namespace orlim_core::lvs::runner {

// A schematic file argument: "path", or "name:path" naming the cell of a flat file.
struct SchematicEntry {
    std::optional<std::string> name;
    std::string path;
};

SchematicEntry parse_named_path(std::string_view text);

// The cell name of "x.pic.yml" or "x.pic.yaml" ("x"); nothing for other file names.
std::optional<std::string> pic_yml_stem(std::string_view path);

// Whether the text is one netlist (its first line that is neither empty nor a comment starts
// with a netlist field) rather than a map of cells.
bool is_flat_netlist(std::string_view text);

// Reads the files in order into one map of cells. A flat file becomes one cell named by the
// entry's name, else its ".pic.yml" stem, else its file stem, else "top"; a file of cells adds
// its own cells. A name given again replaces that cell and keeps its first position.
Result<px_netlist::RecursiveNetlist> load_schematics(std::span<const SchematicEntry> entries,
                                                     px_netlist::ReadOptions options = {});

using Placements = std::unordered_map<std::string, std::pair<double, double>, StringHash, StringEq>;

// Instance name -> (x, y); a missing or non-numeric coordinate is 0.0.
Placements extract_placements(
    const px_netlist::OrderedMap<px_netlist::OrderedMap<px_netlist::Value>>& placements);

struct PreparedSchematic {
    orlim_netlist::ExtractedNetlist netlist;
    Placements placements;
    std::unordered_set<std::string, StringHash, StringEq> cells;
};

// The flat netlist of the top cell (`top` when it names a cell, else the first cell), the
// positions of its instances and, for two or more cells, every cell name.
PreparedSchematic process_schematic(const px_netlist::RecursiveNetlist& schematics,
                                    std::optional<std::string_view> top);

// "base<col.row>" -> (base, "col.row"); nothing for any other name.
std::optional<std::pair<std::string, std::string>> parse_array_base(std::string_view name);

} // namespace orlim_core::lvs::runner
