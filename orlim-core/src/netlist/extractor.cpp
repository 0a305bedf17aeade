#include "orlim_core/netlist/extractor.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

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
    const auto [c, s] = cos_sin_degrees(parent.rotation);
    const double cx = static_cast<double>(child.x);
    const double cy = parent.mirror ? -static_cast<double>(child.y) : static_cast<double>(child.y);
    Placement p;
    p.rotation = parent.mirror ? std::fmod(parent.rotation - child.rotation + 360.0, 360.0)
                               : std::fmod(parent.rotation + child.rotation, 360.0);
    p.x = parent.x + round_to_i64(c * cx - s * cy);
    p.y = parent.y + round_to_i64(s * cx + c * cy);
    p.mirror = parent.mirror != child.mirror;
    return p;
}

std::uint32_t InstanceTable::insert_or_assign(std::string_view name, std::string_view component) {
    if ((entries_.size() + 1) * 2 > buckets_.size()) {
        rehash(std::max<std::size_t>(16, buckets_.size() * 2));
    }
    const std::uint64_t h = std::hash<std::string_view>{}(name);
    const auto tag = static_cast<std::uint32_t>(h >> 32);
    const std::size_t mask = buckets_.size() - 1;
    for (std::size_t at = h & mask;; at = (at + 1) & mask) {
        Bucket& b = buckets_[at];
        if (b.slot == 0) {
            const auto slot = static_cast<std::uint32_t>(entries_.size());
            b = Bucket{tag, slot + 1};
            entries_.emplace_back(name, component);
            return slot;
        }
        if (b.hash == tag && entries_[b.slot - 1].first == name) {
            entries_[b.slot - 1].second = component;
            return b.slot - 1;
        }
    }
}

void InstanceTable::prefetch(std::string_view name) const {
    if (!buckets_.empty()) {
        __builtin_prefetch(&buckets_[std::hash<std::string_view>{}(name) & (buckets_.size() - 1)]);
    }
}

void InstanceTable::reserve(std::size_t n) {
    entries_.reserve(n);
    std::size_t count = 16;
    while (count < n * 2) {
        count *= 2;
    }
    if (count > buckets_.size()) {
        rehash(count);
    }
}

void InstanceTable::rehash(std::size_t count) {
    buckets_.assign(count, Bucket{0, 0});
    const std::size_t mask = count - 1;
    for (std::size_t slot = 0; slot < entries_.size(); ++slot) {
        const std::uint64_t h = std::hash<std::string_view>{}(entries_[slot].first);
        std::size_t at = h & mask;
        while (buckets_[at].slot != 0) {
            at = (at + 1) & mask;
        }
        buckets_[at] =
            Bucket{static_cast<std::uint32_t>(h >> 32), static_cast<std::uint32_t>(slot + 1)};
    }
}

CellInfo Accumulator::cell(const GdsData& gds, std::string_view cell_name) {
    // References to one cell tend to come in runs.
    if (last_name_.data() != nullptr && cell_name == last_name_) {
        return last_;
    }
    auto it = cells_.find(cell_name);
    if (it == cells_.end()) {
        CellInfo info{components_.store(simplify_cell_name(cell_name)),
                      gds.get_cell_ports(cell_name)};
        if (info.ports != nullptr) {
            auto& types = cell_types_.emplace_back(std::make_unique<std::vector<std::uint32_t>>());
            for (const auto& r : *info.ports) {
                types->push_back(
                    r.port_type
                        ? type_ids_.try_emplace(*r.port_type, type_ids_.size() + 1).first->second
                        : 0);
            }
            info.types = types.get();
        }
        it = cells_.emplace(cell_name, info).first;
    }
    last_name_ = it->first.data() != nullptr ? it->first : std::string_view("", 0);
    last_ = it->second;
    return last_;
}

void record_instance(Accumulator& acc, const GdsData& gds, std::string_view name,
                     const CellInfo& cell, const Placement& placement) {
    const std::uint32_t slot = acc.instances.insert_or_assign(name, cell.component);
    if (acc.with_positions) {
        acc.instance_positions.insert_or_assign(
            std::string(name), std::pair{gds.um_per_dbu * static_cast<double>(placement.x),
                                         gds.um_per_dbu * static_cast<double>(placement.y)});
    }
    if (cell.ports == nullptr) {
        return;
    }
    const std::size_t first = acc.ports.size();
    const auto recording = static_cast<std::uint32_t>(acc.recordings.size());
    acc.recordings.push_back(
        Accumulator::Recording{slot, static_cast<std::uint32_t>(first), cell.ports});
    const auto [c, s] = cos_sin_degrees(placement.rotation);
    const auto& raw = *cell.ports;
    for (std::size_t k = 0; k < raw.size(); ++k) {
        PortSpot& spot = acc.ports.emplace_back();
        place_spot(raw[k], placement, c, s, gds.um_per_dbu, spot);
        spot.instance = slot;
        spot.type = (*cell.types)[k];
        spot.source = recording;
        spot.entry = static_cast<std::uint32_t>(k);
        if (acc.with_positions) {
            std::optional<double> width;
            if (raw[k].width) {
                width = gds.um_per_dbu * static_cast<double>(*raw[k].width);
            }
            acc.port_positions.insert_or_assign(std::pair{std::string(name), raw[k].name},
                                                PortPosition{width, spot.x, spot.y});
        }
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
        const CellInfo info = acc.cell(gds, child.cell_name);
        if (!flatten.empty() && flatten.contains(info.component)) {
            if (const GdsCellData* inner = gds.get_cell(child.cell_name)) {
                stack.push_back(Frame{inner, name, composed, 0});
            }
            continue;
        }
        record_instance(acc, gds, name, info, composed);
        if (acc.instances.size() > MAX_EXTRACTED_INSTANCES) {
            return Unexpected(
                OrlimError::gds(fmt::format("flattening cell '{}' places more than {} instances",
                                            cell, MAX_EXTRACTED_INSTANCES)));
        }
    }
    return {};
}

namespace {

bool names_distinct(const std::vector<gds::metadata::RawPort>& raw) {
    std::unordered_set<std::string_view> seen;
    for (const auto& r : raw) {
        if (!seen.insert(r.name).second) {
            return false;
        }
    }
    return true;
}

struct SlotPortHash {
    std::size_t operator()(const std::pair<std::uint32_t, std::string_view>& k) const noexcept {
        return std::hash<std::string_view>{}(k.second) * 0x9E3779B97F4A7C15ull + k.first;
    }
};

// Per placed port, the first placed port with the same (instance, port name). An instance
// recorded once whose cell names each port once needs no lookup: each port is its own.
std::vector<std::uint32_t> port_identities(const Accumulator& acc) {
    std::vector<std::uint32_t> identity(acc.ports.size());
    std::vector<std::uint32_t> times(acc.instances.size(), 0);
    for (const auto& r : acc.recordings) {
        ++times[r.slot];
    }
    std::unordered_map<const void*, bool> distinct;
    std::unordered_map<std::pair<std::uint32_t, std::string_view>, std::uint32_t, SlotPortHash>
        first;
    for (const auto& r : acc.recordings) {
        bool own = times[r.slot] == 1;
        if (own) {
            auto [it, fresh] = distinct.try_emplace(r.raw, true);
            if (fresh) {
                it->second = names_distinct(*r.raw);
            }
            own = it->second;
        }
        const auto end = r.first + static_cast<std::uint32_t>(r.raw->size());
        for (std::uint32_t i = r.first; i < end; ++i) {
            identity[i] =
                own ? i
                    : first.try_emplace({r.slot, acc.raw_of(acc.ports[i]).name}, i).first->second;
        }
    }
    return identity;
}

} // namespace

Result<LayoutExtraction> extract_layout(GdsData gds, std::int64_t tolerance_nm,
                                        const FlattenSet& flatten, bool with_positions) {
    LayoutExtraction x;
    x.gds = std::move(gds);
    const GdsData& layout = x.gds;
    const auto top_name = layout.top_cell_name();
    if (!top_name) {
        return Unexpected(OrlimError::cell_not_found("No cells found in GDS"));
    }
    const GdsCellData* top = layout.get_cell(*top_name);
    if (top == nullptr) {
        return Unexpected(OrlimError::cell_not_found(std::string(*top_name)));
    }
    Accumulator& acc = x.acc;
    acc.with_positions = with_positions;
    acc.instances.reserve(top->instances.size());
    std::size_t port_count = 0;
    for (const GdsInstanceRef& inst : top->instances) {
        if (const auto* raw = acc.cell(layout, inst.cell_name).ports) {
            port_count += raw->size();
        }
    }
    // Placed ports are numbered with 32 bits.
    constexpr std::size_t max_ports = std::numeric_limits<std::uint32_t>::max();
    const auto too_many = [] {
        return Unexpected(OrlimError::gds(fmt::format("the layout places more than {} ports",
                                                      std::numeric_limits<std::uint32_t>::max())));
    };
    if (port_count > max_ports) {
        return too_many();
    }
    acc.ports.reserve(port_count);
    acc.recordings.reserve(top->instances.size());
    const auto& refs = top->instances;
    for (std::size_t i = 0; i < refs.size(); ++i) {
        if (i + 8 < refs.size()) {
            acc.instances.prefetch(refs[i + 8].name);
        }
        const GdsInstanceRef& inst = refs[i];
        const CellInfo info = acc.cell(layout, inst.cell_name);
        if (!flatten.empty() && flatten.contains(info.component)) {
            if (auto r = extract_cell_recursive(layout, inst.cell_name, inst.name,
                                                placement_of(inst), flatten, acc);
                !r) {
                return Unexpected(r.error());
            }
            continue;
        }
        record_instance(acc, layout, inst.name, info, placement_of(inst));
    }

    if (acc.ports.size() > max_ports) {
        return too_many();
    }
    const PortIndex index(acc.ports, tolerance_nm);
    x.nets = match_ports(acc.ports, index, tolerance_nm);
    x.identity = port_identities(acc);
    x.connected.assign(acc.ports.size(), false);
    for (const PortPair& p : x.nets) {
        x.connected[x.identity[p.a]] = true;
        x.connected[x.identity[p.b]] = true;
    }
    if (const auto* top_ports = layout.get_cell_ports(*top_name)) {
        x.top_ports =
            expose_top_ports(*top_ports, acc.ports, index, tolerance_nm, layout.um_per_dbu,
                             [&](std::uint32_t c) { return x.connected[x.identity[c]]; });
    }
    return x;
}

Result<LayoutExtraction> extract_layout(const std::filesystem::path& gds_path,
                                        std::int64_t tolerance_nm) {
    auto gds = GdsData::load(gds_path);
    if (!gds) {
        return Unexpected(gds.error());
    }
    return extract_layout(std::move(*gds), tolerance_nm, {}, false);
}

InstancePort LayoutExtraction::instance_port(std::uint32_t i) const {
    const PortSpot& p = acc.ports[i];
    return InstancePort{std::string(acc.instance_of(p)), acc.raw_of(p).name};
}

ExtractedNetlist LayoutExtraction::netlist() const {
    ExtractedNetlist n;
    n.instances.reserve(acc.instances.size());
    for (const auto& [name, component] : acc.instances.entries()) {
        n.instances.emplace(std::string(name), std::string(component));
    }
    n.nets.reserve(nets.size());
    for (const PortPair& p : nets) {
        n.nets.push_back(Net{instance_port(p.a), instance_port(p.b)});
    }
    for (const auto& [name, c] : top_ports) {
        n.ports.emplace(std::string(name), instance_port(c));
    }
    return n;
}

std::vector<InstancePort> LayoutExtraction::open_ports() const {
    std::vector<bool> used = connected;
    for (const auto& [name, c] : top_ports) {
        used[identity[c]] = true;
    }
    std::vector<InstancePort> open;
    for (std::size_t i = 0; i < acc.ports.size(); ++i) {
        if (!used[identity[i]]) {
            open.push_back(instance_port(static_cast<std::uint32_t>(i)));
        }
    }
    return open;
}

void LayoutExtraction::write(orlim_text::Writer& w) const {
    const auto ref = [this](std::uint32_t i) {
        const PortSpot& p = acc.ports[i];
        return px_netlist::PortRef{acc.instance_of(p), acc.raw_of(p).name};
    };
    orlim_netlist::write_extracted(
        w, acc.instances.entries(), nets,
        [&](const PortPair& p) {
            return std::pair{ref(p.a), ref(p.b)};
        },
        top_ports,
        [&](const auto& e) {
            return std::pair{e.first, ref(e.second)};
        });
}

namespace {
// A guess at the text's size, a little over for common layouts: net ends are taken at the
// mean instance name length. Pages reserved and never written cost nothing.
std::size_t expected_text_size(const LayoutExtraction& x) {
    const auto& entries = x.acc.instances.entries();
    std::size_t size = 64, names = 0;
    for (const auto& [name, component] : entries) {
        size += name.size() + component.size() + 16;
        names += name.size();
    }
    const std::size_t mean = entries.empty() ? 0 : names / entries.size();
    return size + (x.nets.size() + x.top_ports.size()) * 2 * (mean + 24);
}
} // namespace

std::string LayoutExtraction::to_yaml() const {
    return orlim_text::to_yaml([this](orlim_text::Writer& w) { write(w); },
                               expected_text_size(*this));
}

std::string LayoutExtraction::to_json() const {
    return orlim_text::to_json([this](orlim_text::Writer& w) { write(w); }, true,
                               expected_text_size(*this));
}

Result<ExtractionResult> extract_from(GdsData gds, std::int64_t tolerance_nm,
                                      const FlattenSet& flatten, bool with_positions) {
    auto x = extract_layout(std::move(gds), tolerance_nm, flatten, with_positions);
    if (!x) {
        return Unexpected(x.error());
    }
    ExtractionResult result;
    result.netlist = x->netlist();
    result.open_ports = x->open_ports();
    result.port_positions = std::move(x->acc.port_positions);
    result.instance_positions = std::move(x->acc.instance_positions);
    result.gds = std::move(x->gds);
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
    auto x = extract_layout(gds_path, tolerance_nm);
    if (!x) {
        return Unexpected(x.error());
    }
    return x->netlist();
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
Result<std::string> to_yaml(const LayoutExtraction& extraction) {
    return extraction.to_yaml();
}
Result<std::string> to_json(const LayoutExtraction& extraction) {
    return extraction.to_json();
}

} // namespace orlim_core::netlist
