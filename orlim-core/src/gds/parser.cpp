#include "orlim_core/gds/parser.hpp"

#include <charconv>
#include <cmath>
#include <fmt/format.h>
#include <unordered_set>

#include "orlim_text/writer.hpp"

namespace orlim_core::gds::parser {

namespace {

using stream::Element;
using stream::ElementKind;

std::string_view name_property(const stream::Library& lib, const Element& e) {
    for (const stream::Property& p : lib.properties_of(e)) {
        if (p.attr == 0) {
            return p.value;
        }
    }
    return {};
}

bool has_name_property(const stream::Library& lib, const Element& e) {
    for (const stream::Property& p : lib.properties_of(e)) {
        if (p.attr == 0) {
            return true;
        }
    }
    return false;
}

void append_int(std::string& out, std::int64_t v) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, res.ptr);
}

// "{cell}_{x}_{y}" with "_r{angle}" and "_m" suffixes.
void append_generated_name(std::string& out, std::string_view cell, std::int64_t x, std::int64_t y,
                           double rotation, bool mirror) {
    out.append(cell);
    out.push_back('_');
    append_int(out, x);
    out.push_back('_');
    append_int(out, y);
    if (rotation != 0.0) {
        // Truncation toward zero into 32 bits, saturating like a float-to-int cast.
        std::int32_t r;
        if (std::isnan(rotation)) {
            r = 0;
        } else if (rotation >= 2147483647.0) {
            r = 2147483647;
        } else if (rotation <= -2147483648.0) {
            r = -2147483647 - 1;
        } else {
            r = static_cast<std::int32_t>(rotation);
        }
        out.append("_r");
        append_int(out, r);
    }
    if (mirror) {
        out.append("_m");
    }
}

struct Transform {
    double rotation;
    bool mirror;
};

Transform transform_of(const Element& e) {
    if (!e.has_strans) {
        return {0.0, false};
    }
    return {e.has_angle ? e.angle : 0.0, e.reflect};
}

bool is_context_cell(std::string_view name) {
    return name == CONTEXT_CELL;
}

// Port metadata of every cell that the context cell describes, in reference order.
OrderedMap<std::vector<RawPort>> read_context_info(const stream::Library& library) {
    OrderedMap<std::vector<RawPort>> cell_ports;
    std::string joined;
    for (const stream::Structure& s : library.structures) {
        if (s.name != CONTEXT_CELL) {
            continue;
        }
        for (const Element& e : s.elements) {
            if (e.kind != ElementKind::Sref) {
                continue;
            }
            joined.clear();
            for (const stream::Property& p : library.properties_of(e)) {
                joined.append(p.value);
                joined.push_back('\0');
            }
            auto ports = metadata::parse_ports_from_properties(joined);
            if (ports && !ports->empty()) {
                cell_ports.insert_or_assign(std::string(e.name), std::move(*ports));
            }
        }
    }
    return cell_ports;
}

// The port table of a cell -> ports map (first cell of each component name wins).
ComponentPorts port_table(const OrderedMap<std::vector<RawPort>>& cell_ports) {
    ComponentPorts table;
    for (const auto& [cell, ports] : cell_ports) {
        std::string component = simplify_cell_name(cell);
        if (table.contains(component)) {
            continue;
        }
        std::vector<std::string> names;
        names.reserve(ports.size());
        for (const RawPort& p : ports) {
            names.push_back(p.name);
        }
        table.emplace(std::move(component), std::move(names));
    }
    return table;
}

// The hierarchy checks every load makes before anything walks it.
Result<void> check_hierarchy(const stream::Library& library) {
    if (std::string cycle = stream::find_reference_cycle(library); !cycle.empty()) {
        return Unexpected(OrlimError::gds("recursive cell hierarchy: " + cycle));
    }
    std::uint64_t total = 0;
    for (const stream::Structure& s : library.structures) {
        total += s.instance_count;
        if (total > MAX_INSTANCES) {
            return Unexpected(OrlimError::gds(fmt::format(
                "too many instances: structure '{}' at byte offset {} takes the library past "
                "{} placed instances",
                s.name, s.offset, MAX_INSTANCES)));
        }
    }
    return {};
}

GdsCellData parse_struct(GdsData& data, const stream::Structure& s) {
    GdsCellData cell;
    cell.name = std::string(s.name);
    cell.instances.reserve(s.instance_count);
    std::string buf;
    for (const Element& e : s.elements) {
        if (e.kind != ElementKind::Sref && e.kind != ElementKind::Aref) {
            continue;
        }
        const Transform t = transform_of(e);
        const stream::Point p0 = e.point(0);
        const bool named = has_name_property(data.library, e);
        if (e.kind == ElementKind::Sref) {
            GdsInstanceRef ref{{}, e.name, p0.x, p0.y, t.rotation, t.mirror};
            if (named) {
                ref.name = name_property(data.library, e);
            } else {
                buf.clear();
                append_generated_name(buf, e.name, p0.x, p0.y, t.rotation, t.mirror);
                ref.name = data.names.store(buf);
            }
            cell.instances.push_back(ref);
            continue;
        }
        const std::int64_t cols = e.cols;
        const std::int64_t rows = e.rows;
        if (cols < 1 || rows < 1) {
            continue;
        }
        const stream::Point p1 = e.point(1);
        const stream::Point p2 = e.point(2);
        const std::int64_t col_dx = (std::int64_t{p1.x} - p0.x) / cols;
        const std::int64_t col_dy = (std::int64_t{p1.y} - p0.y) / cols;
        const std::int64_t row_dx = (std::int64_t{p2.x} - p0.x) / rows;
        const std::int64_t row_dy = (std::int64_t{p2.y} - p0.y) / rows;
        std::string base;
        if (named) {
            base = std::string(name_property(data.library, e));
        } else {
            append_generated_name(base, e.name, p0.x, p0.y, t.rotation, t.mirror);
        }
        for (std::int64_t c = 0; c < cols; ++c) {
            for (std::int64_t r = 0; r < rows; ++r) {
                px_netlist::array_element_name(buf, base, static_cast<std::uint64_t>(c),
                                               static_cast<std::uint64_t>(r));
                cell.instances.push_back(
                    GdsInstanceRef{data.names.store(buf), e.name, p0.x + c * col_dx + r * row_dx,
                                   p0.y + c * col_dy + r * row_dy, t.rotation, t.mirror});
            }
        }
    }
    return cell;
}

} // namespace

Result<GdsData> GdsData::load(const std::filesystem::path& path) {
    auto lib = stream::read_library(path);
    if (!lib) {
        return Unexpected(lib.error());
    }
    return from_library(std::move(*lib));
}

Result<GdsData> GdsData::from_bytes(FileBytes bytes) {
    auto lib = stream::parse_library(std::move(bytes));
    if (!lib) {
        return Unexpected(lib.error());
    }
    return from_library(std::move(*lib));
}

Result<GdsData> GdsData::from_library(stream::Library&& lib) {
    GdsData data;
    data.library = std::move(lib);
    const stream::Library& library = data.library;
    if (auto checked = check_hierarchy(library); !checked) {
        return Unexpected(checked.error());
    }
    data.um_per_dbu = library.meters_per_dbu * 1'000'000.0;
    data.cell_ports = read_context_info(library);
    data.cells.reserve(library.structures.size());
    for (const stream::Structure& s : library.structures) {
        if (s.name == CONTEXT_CELL) {
            continue;
        }
        GdsCellData cell = parse_struct(data, s);
        data.cells.insert_or_assign(std::string(s.name), std::move(cell));
    }
    return data;
}

std::optional<std::string_view> GdsData::top_cell_name() const {
    // The cells are the last structure of each name; their references are what they place.
    std::unordered_set<std::string_view> defined;
    std::unordered_set<std::string_view> referenced;
    for (auto it = library.structures.rbegin(); it != library.structures.rend(); ++it) {
        if (it->name == CONTEXT_CELL || !defined.insert(it->name).second) {
            continue;
        }
        referenced.insert(it->references.begin(), it->references.end());
    }
    for (const auto& [name, cell] : cells) {
        if (!referenced.contains(name)) {
            return std::string_view(name);
        }
    }
    return std::nullopt;
}

const GdsCellData* GdsData::get_cell(std::string_view name) const {
    auto it = cells.find(name);
    return it == cells.end() ? nullptr : &it->second;
}

const std::vector<RawPort>* GdsData::get_cell_ports(std::string_view name) const {
    auto it = cell_ports.find(name);
    return it == cell_ports.end() ? nullptr : &it->second;
}

ComponentPorts GdsData::component_ports() const {
    return port_table(cell_ports);
}

Result<ComponentPorts> load_component_ports(const std::filesystem::path& path) {
    // Every record is validated, but only the context cell's elements are kept.
    auto lib = stream::read_library(path, is_context_cell);
    if (!lib) {
        return Unexpected(lib.error());
    }
    if (auto checked = check_hierarchy(*lib); !checked) {
        return Unexpected(checked.error());
    }
    return port_table(read_context_info(*lib));
}

namespace {
void write_component_ports(const ComponentPorts& table, orlim_text::Writer& w) {
    w.begin_map();
    for (const auto& [component, ports] : table) {
        w.key(component);
        w.begin_seq();
        for (const std::string& port : ports) {
            w.string(port);
        }
        w.end_seq();
    }
    w.end_map();
}
} // namespace

std::string component_ports_yaml(const ComponentPorts& table) {
    return orlim_text::to_yaml([&](orlim_text::Writer& w) { write_component_ports(table, w); });
}

std::string component_ports_json(const ComponentPorts& table) {
    return orlim_text::to_json([&](orlim_text::Writer& w) { write_component_ports(table, w); });
}

std::string simplify_cell_name(std::string_view name) {
    if (const std::size_t cut = name.find("_plarix"); cut != std::string_view::npos) {
        name = name.substr(0, cut);
    }
    for (std::size_t i = 0; i + 1 < name.size(); ++i) {
        if (name[i] == '_' && name[i + 1] >= 'A' && name[i + 1] <= 'Z') {
            return std::string(name.substr(0, i));
        }
    }
    return std::string(name);
}

} // namespace orlim_core::gds::parser
