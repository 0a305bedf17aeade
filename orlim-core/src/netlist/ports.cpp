#include <cmath>
#include <limits>
#include <numbers>

#include "orlim_core/netlist/types.hpp"

namespace orlim_core::netlist {

namespace {

// Floor division of integers (rounding toward minus infinity).
std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) {
        --q;
    }
    return q;
}

// Start slot of a grid cell: cells of one 32 x 32 block share a random base and sit at
// consecutive offsets from it, so the 3 x 3 neighbourhood of a query stays in a few cache
// lines.
std::uint64_t slot_start(std::int64_t kx, std::int64_t ky);

std::uint64_t mix(std::int64_t kx, std::int64_t ky) {
    std::uint64_t h = static_cast<std::uint64_t>(kx) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<std::uint64_t>(ky) + 0x7F4A7C159E3779B9ull + (h << 6) + (h >> 2);
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    return h ^ (h >> 32);
}

std::uint64_t slot_start(std::int64_t kx, std::int64_t ky) {
    const auto within_block = static_cast<std::uint64_t>(((kx & 31) << 5) | (ky & 31));
    return mix(kx >> 5, ky >> 5) + within_block;
}

// |round(d)| <= tolerance, without overflow for far-apart points.
bool within(double d_um, std::int64_t tolerance_nm) {
    const std::int64_t d = round_to_i64(d_um * 1000.0);
    return d != std::numeric_limits<std::int64_t>::min() && (d < 0 ? -d : d) <= tolerance_nm;
}

bool facing(double a, double b) {
    return std::fabs(std::fmod(std::fabs(a - b), 360.0) - 180.0) < 1.0;
}

// Set of (instance, port) text pairs: open addressing over the pairs' hashes.
class PortSet {
public:
    explicit PortSet(std::size_t expected) {
        std::size_t capacity = 16;
        while (capacity < expected * 2) {
            capacity *= 2;
        }
        entries_.resize(capacity);
        mask_ = capacity - 1;
    }
    void insert(std::string_view instance, std::string_view port) {
        const std::uint64_t h = hash(instance, port);
        for (std::size_t at = h & mask_;; at = (at + 1) & mask_) {
            Entry& e = entries_[at];
            if (!e.used) {
                e = Entry{h, instance, port, true};
                return;
            }
            if (e.hash == h && e.instance == instance && e.port == port) {
                return;
            }
        }
    }
    bool contains(std::string_view instance, std::string_view port) const {
        const std::uint64_t h = hash(instance, port);
        for (std::size_t at = h & mask_;; at = (at + 1) & mask_) {
            const Entry& e = entries_[at];
            if (!e.used) {
                return false;
            }
            if (e.hash == h && e.instance == instance && e.port == port) {
                return true;
            }
        }
    }

private:
    static std::uint64_t hash(std::string_view a, std::string_view b) {
        const std::uint64_t h = std::hash<std::string_view>{}(a);
        return h ^ (std::hash<std::string_view>{}(b) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
    }
    struct Entry {
        std::uint64_t hash = 0;
        std::string_view instance;
        std::string_view port;
        bool used = false;
    };
    std::vector<Entry> entries_;
    std::size_t mask_ = 0;
};

PortSet net_endpoints(const std::vector<Net>& nets, std::size_t extra = 0) {
    PortSet set(nets.size() * 2 + extra);
    for (const Net& n : nets) {
        set.insert(n.p1.instance, n.p1.port);
        set.insert(n.p2.instance, n.p2.port);
    }
    return set;
}

} // namespace

std::int64_t round_to_i64(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    const double r = std::round(v);
    if (r >= 9.2233720368547758e18) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (r <= -9.2233720368547758e18) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(r);
}

std::vector<Port> transform_ports(const std::vector<gds::metadata::RawPort>& raw,
                                  const Placement& placement, double um_per_dbu) {
    const double theta = placement.rotation * std::numbers::pi / 180.0;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    std::vector<Port> out;
    out.reserve(raw.size());
    for (const gds::metadata::RawPort& r : raw) {
        const double px = static_cast<double>(r.x);
        const double py = placement.mirror ? -static_cast<double>(r.y) : static_cast<double>(r.y);
        const std::int64_t dx = round_to_i64(c * px - s * py);
        const std::int64_t dy = round_to_i64(s * px + c * py);
        Port p;
        p.x = um_per_dbu * static_cast<double>(placement.x + dx);
        p.y = um_per_dbu * static_cast<double>(placement.y + dy);
        p.orientation = placement.mirror ? std::fmod(placement.rotation + 360.0 - r.rotation, 360.0)
                                         : std::fmod(placement.rotation + r.rotation, 360.0);
        if (r.width) {
            p.width = um_per_dbu * static_cast<double>(*r.width);
        }
        p.name = r.name;
        if (r.port_type) {
            p.port_type = std::string_view(*r.port_type);
        }
        out.push_back(p);
    }
    return out;
}

PortIndex::PortIndex(const std::vector<PlacedPort>& ports, std::int64_t tolerance_nm)
    : cell_(tolerance_nm > 1 ? tolerance_nm : 1) {
    positions_.reserve(ports.size());
    std::size_t capacity = 16;
    while (capacity < ports.size() * 2) {
        capacity *= 2;
    }
    slots_.assign(capacity, Slot{0, 0, 0, 0});
    mask_ = capacity - 1;
    // Positions and keys first; then the population of every cell; then members by cell.
    // The table is far larger than the caches, so each pass prefetches a few ports ahead.
    constexpr std::size_t ahead = 16;
    std::vector<std::pair<std::int64_t, std::int64_t>> keys;
    keys.reserve(ports.size());
    for (const PlacedPort& p : ports) {
        const auto pos =
            std::pair{round_to_i64(p.port.x * 1000.0), round_to_i64(p.port.y * 1000.0)};
        positions_.push_back(pos);
        keys.push_back(key_of(pos.first, pos.second));
    }
    std::vector<std::uint32_t> slot_of(ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (i + ahead < ports.size()) {
            const auto& k = keys[i + ahead];
            __builtin_prefetch(&slots_[slot_start(k.first, k.second) & mask_], 1);
        }
        const auto key = keys[i];
        std::size_t at = slot_start(key.first, key.second) & mask_;
        while (slots_[at].count != 0 &&
               (slots_[at].kx != key.first || slots_[at].ky != key.second)) {
            at = (at + 1) & mask_;
        }
        if (slots_[at].count == 0) {
            slots_[at].kx = key.first;
            slots_[at].ky = key.second;
        }
        ++slots_[at].count;
        slot_of[i] = static_cast<std::uint32_t>(at);
    }
    std::uint32_t next = 0;
    for (Slot& s : slots_) {
        s.begin = next; // used as the write cursor below, then set back
        next += s.count;
    }
    members_.resize(ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (i + ahead < ports.size()) {
            __builtin_prefetch(&slots_[slot_of[i + ahead]], 1);
        }
        members_[slots_[slot_of[i]].begin++] = static_cast<std::uint32_t>(i);
    }
    for (Slot& s : slots_) {
        s.begin -= s.count;
    }
}

void PortIndex::prefetch(std::int64_t x_nm, std::int64_t y_nm) const {
    const auto [kx, ky] = key_of(x_nm, y_nm);
    for (std::int64_t dx = -1; dx <= 1; ++dx) {
        __builtin_prefetch(&slots_[slot_start(kx + dx, ky - 1) & mask_]);
    }
}

std::pair<std::int64_t, std::int64_t> PortIndex::key_of(std::int64_t x, std::int64_t y) const {
    if (cell_ == 1) {
        return {x, y};
    }
    return {floor_div(x, cell_), floor_div(y, cell_)};
}

std::uint32_t PortIndex::find_slot(std::pair<std::int64_t, std::int64_t> key) const {
    std::size_t at = slot_start(key.first, key.second) & mask_;
    while (slots_[at].count != 0) {
        if (slots_[at].kx == key.first && slots_[at].ky == key.second) {
            return static_cast<std::uint32_t>(at);
        }
        at = (at + 1) & mask_;
    }
    return std::numeric_limits<std::uint32_t>::max();
}

void PortIndex::candidates(std::int64_t x_nm, std::int64_t y_nm,
                           std::vector<std::uint32_t>& out) const {
    const auto [kx, ky] = key_of(x_nm, y_nm);
    for (std::int64_t dx = -1; dx <= 1; ++dx) {
        for (std::int64_t dy = -1; dy <= 1; ++dy) {
            // Keys wrap like the integers they are made of at the extremes of the range.
            const auto key = std::pair{static_cast<std::int64_t>(static_cast<std::uint64_t>(kx) +
                                                                 static_cast<std::uint64_t>(dx)),
                                       static_cast<std::int64_t>(static_cast<std::uint64_t>(ky) +
                                                                 static_cast<std::uint64_t>(dy))};
            const std::uint32_t at = find_slot(key);
            if (at == std::numeric_limits<std::uint32_t>::max()) {
                continue;
            }
            const Slot& s = slots_[at];
            out.insert(out.end(), members_.begin() + s.begin, members_.begin() + s.begin + s.count);
        }
    }
}

std::vector<Net> find_connections(const std::vector<PlacedPort>& ports, const PortIndex& index,
                                  std::int64_t tolerance_nm) {
    std::vector<Net> nets;
    std::vector<std::uint32_t> near;
    const auto& pos = index.positions();
    for (std::size_t a = 0; a < ports.size(); ++a) {
        if (a + 16 < ports.size()) {
            index.prefetch(pos[a + 16].first, pos[a + 16].second);
        }
        near.clear();
        index.candidates(pos[a].first, pos[a].second, near);
        const PlacedPort& pa = ports[a];
        for (std::uint32_t b : near) {
            if (b <= a) {
                continue;
            }
            const PlacedPort& pb = ports[b];
            if (pa.instance == pb.instance) {
                continue;
            }
            if (!within(pa.port.x - pb.port.x, tolerance_nm) ||
                !within(pa.port.y - pb.port.y, tolerance_nm)) {
                continue;
            }
            if (!facing(pa.port.orientation, pb.port.orientation)) {
                continue;
            }
            if (pa.port.port_type && pb.port.port_type &&
                *pa.port.port_type != *pb.port.port_type) {
                continue;
            }
            nets.push_back(Net{InstancePort{std::string(pa.instance), std::string(pa.port.name)},
                               InstancePort{std::string(pb.instance), std::string(pb.port.name)}});
        }
    }
    return nets;
}

orlim_netlist::OrderedMap<InstancePort>
find_top_ports(const std::vector<gds::metadata::RawPort>& top_ports,
               const std::vector<PlacedPort>& ports, const PortIndex& index,
               const std::vector<Net>& nets, std::int64_t tolerance_nm, double um_per_dbu) {
    orlim_netlist::OrderedMap<InstancePort> result;
    const PortSet connected = net_endpoints(nets);
    std::vector<std::uint32_t> near;
    for (const gds::metadata::RawPort& t : top_ports) {
        const double tx = um_per_dbu * static_cast<double>(t.x);
        const double ty = um_per_dbu * static_cast<double>(t.y);
        near.clear();
        index.candidates(round_to_i64(tx * 1000.0), round_to_i64(ty * 1000.0), near);
        for (std::uint32_t c : near) {
            const PlacedPort& pc = ports[c];
            if (!within(tx - pc.port.x, tolerance_nm) || !within(ty - pc.port.y, tolerance_nm)) {
                continue;
            }
            if (connected.contains(pc.instance, pc.port.name)) {
                continue;
            }
            result.insert_or_assign(
                t.name, InstancePort{std::string(pc.instance), std::string(pc.port.name)});
        }
    }
    return result;
}

std::vector<InstancePort>
find_open_ports(const std::vector<PlacedPort>& ports, const std::vector<Net>& nets,
                const orlim_netlist::OrderedMap<InstancePort>& top_ports) {
    PortSet used = net_endpoints(nets, top_ports.size());
    for (const auto& [name, p] : top_ports) {
        used.insert(p.instance, p.port);
    }
    std::vector<InstancePort> open;
    for (const PlacedPort& p : ports) {
        if (!used.contains(p.instance, p.port.name)) {
            open.push_back(InstancePort{std::string(p.instance), std::string(p.port.name)});
        }
    }
    return open;
}

} // namespace orlim_core::netlist
