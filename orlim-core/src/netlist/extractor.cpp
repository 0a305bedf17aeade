#include "orlim_core/netlist/extractor.hpp"

#include <cmath>
#include <numbers>

#include <fmt/format.h>

namespace orlim_core::netlist {

using gds::parser::GdsCellData;
using gds::parser::GdsData;
using gds::parser::GdsInstanceRef;
using gds::parser::simplify_cell_name;

Placement placement_of(const GdsInstanceRef& ref) {
    return {ref.x, ref.y, ref.rotation, ref.mirror};
}

Placement compose(const Placement& parent, const GdsInstanceRef& child) {
    const double theta = parent.rotation * std::numbers::pi / 180.0;
    const double cx = static_cast<double>(child.x);
    const double cy = parent.mirror ? -static_cast<double>(child.y) : static_cast<double>(child.y);
    Placement p;
    p.rotation = parent.mirror ? std::fmod(parent.rotation - child.rotation + 360.0, 360.0)
                               : std::fmod(parent.rotation + child.rotation, 360.0);
    p.x = parent.x + round_to_i64(std::cos(theta) * cx - std::sin(theta) * cy);
    p.y = parent.y + round_to_i64(std::sin(theta) * cx + std::cos(theta) * cy);
    p.mirror = parent.mirror != child.mirror;
    return p;
}

void record_instance(Accumulator& acc, const GdsData& gds, std::string_view name,
                     std::string_view cell_name, std::string_view component,
                     const Placement& placement) {
    acc.instances.insert_or_assign(std::string(name), std::string(component));
    if (acc.with_positions) {
        acc.instance_positions.insert_or_assign(
            std::string(name), std::pair{gds.um_per_dbu * static_cast<double>(placement.x),
                                         gds.um_per_dbu * static_cast<double>(placement.y)});
    }
    const auto* raw = gds.get_cell_ports(cell_name);
    if (raw == nullptr) {
        return;
    }
    for (const Port& port : transform_ports(*raw, placement, gds.um_per_dbu)) {
        if (acc.with_positions) {
            acc.port_positions.insert_or_assign(
                std::pair{std::string(name), std::string(port.name)},
                PortPosition{port.width, port.x, port.y});
        }
        acc.ports.push_back(PlacedPort{name, port});
    }
}

Result<void> extract_cell_recursive(const GdsData& gds, std::string_view cell,
                                    std::string_view prefix, const Placement& placement,
                                    const FlattenSet& flatten, Accumulator& acc) {
    struct Frame {
        const GdsCellData* cell;
        std::string_view prefix;
        Placement placement;
        std::size_t next;
    };
    const GdsCellData* root = gds.get_cell(cell);
    if (root == nullptr) {
        return {};
    }
    std::vector<Frame> stack{{root, prefix, placement, 0}};
    std::string buf;
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next == f.cell->instances.size()) {
            stack.pop_back();
            continue;
        }
        const GdsInstanceRef& child = f.cell->instances[f.next++];
        buf.assign(f.prefix);
        buf.push_back('~');
        buf.append(child.name);
        const std::string_view name = acc.names.store(buf);
        const Placement composed = compose(f.placement, child);
        const std::string component = simplify_cell_name(child.cell_name);
        if (!flatten.empty() && flatten.contains(component)) {
            if (const GdsCellData* inner = gds.get_cell(child.cell_name)) {
                stack.push_back(Frame{inner, name, composed, 0});
            }
            continue;
        }
        record_instance(acc, gds, name, child.cell_name, component, composed);
        if (acc.instances.size() > MAX_EXTRACTED_INSTANCES) {
            return Unexpected(
                OrlimError::gds(fmt::format("flattening cell '{}' places more than {} instances",
                                            cell, MAX_EXTRACTED_INSTANCES)));
        }
    }
    return {};
}

Result<ExtractionResult> extract_from(GdsData gds, std::int64_t tolerance_nm,
                                      const FlattenSet& flatten, bool with_positions) {
    const auto top_name = gds.top_cell_name();
    if (!top_name) {
        return Unexpected(OrlimError::cell_not_found("No cells found in GDS"));
    }
    const GdsCellData* top = gds.get_cell(*top_name);
    if (top == nullptr) {
        return Unexpected(OrlimError::cell_not_found(std::string(*top_name)));
    }
    Accumulator acc;
    acc.with_positions = with_positions;
    acc.instances.reserve(top->instances.size());
    acc.ports.reserve(top->instances.size() * 2);
    for (const GdsInstanceRef& inst : top->instances) {
        const std::string component = simplify_cell_name(inst.cell_name);
        if (!flatten.empty() && flatten.contains(component)) {
            if (auto r = extract_cell_recursive(gds, inst.cell_name, inst.name, placement_of(inst),
                                                flatten, acc);
                !r) {
                return Unexpected(r.error());
            }
            continue;
        }
        record_instance(acc, gds, inst.name, inst.cell_name, component, placement_of(inst));
    }

    ExtractionResult result;
    const PortIndex index(acc.ports, tolerance_nm);
    result.netlist.nets = find_connections(acc.ports, index, tolerance_nm);
    if (const auto* top_ports = gds.get_cell_ports(*top_name)) {
        result.netlist.ports = find_top_ports(*top_ports, acc.ports, index, result.netlist.nets,
                                              tolerance_nm, gds.um_per_dbu);
    }
    result.open_ports = find_open_ports(acc.ports, result.netlist.nets, result.netlist.ports);
    result.netlist.instances = std::move(acc.instances);
    result.port_positions = std::move(acc.port_positions);
    result.instance_positions = std::move(acc.instance_positions);
    result.gds = std::move(gds);
    return result;
}

Result<ExtractionResult> extract_with_positions(const std::filesystem::path& gds_path,
                                                std::int64_t tolerance_nm,
                                                const FlattenSet& flatten) {
    auto gds = GdsData::load(gds_path);
    if (!gds) {
        return Unexpected(gds.error());
    }
    return extract_from(std::move(*gds), tolerance_nm, flatten, true);
}

Result<ExtractedNetlist> extract_netlist_with_tolerance(const std::filesystem::path& gds_path,
                                                        std::int64_t tolerance_nm) {
    auto gds = GdsData::load(gds_path);
    if (!gds) {
        return Unexpected(gds.error());
    }
    auto result = extract_from(std::move(*gds), tolerance_nm, {}, false);
    if (!result) {
        return Unexpected(result.error());
    }
    return std::move(result->netlist);
}

std::unordered_map<std::string, std::size_t, StringHash, StringEq>
count_instance_ports(const ExtractedNetlist& netlist, const gds::parser::ComponentPorts& table) {
    std::unordered_map<std::string, std::size_t, StringHash, StringEq> counts;
    for (const auto& [name, component] : netlist.instances) {
        if (auto it = table.find(component); it != table.end()) {
            counts.insert_or_assign(name, it->second.size());
        }
    }
    // Instances without a table entry: the distinct ports they show in nets and top ports.
    std::unordered_map<std::string_view, std::unordered_set<std::string_view>> seen;
    auto note = [&](const InstancePort& p) {
        if (!counts.contains(p.instance)) {
            seen[p.instance].insert(p.port);
        }
    };
    for (const Net& n : netlist.nets) {
        note(n.p1);
        note(n.p2);
    }
    for (const auto& [name, p] : netlist.ports) {
        note(p);
    }
    for (const auto& [instance, ports] : seen) {
        counts.emplace(std::string(instance), ports.size());
    }
    return counts;
}

Result<std::string> to_yaml(const ExtractedNetlist& netlist) {
    return netlist.to_yaml();
}
Result<std::string> to_json(const ExtractedNetlist& netlist) {
    return netlist.to_json();
}

} // namespace orlim_core::netlist
