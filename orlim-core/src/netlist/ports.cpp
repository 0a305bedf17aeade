#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <unordered_map>

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

bool facing(double a, double b) {
    return std::fabs(std::fmod(std::fabs(a - b), 360.0) - 180.0) < 1.0;
}

// Whether two placed ports form a net: different instances, within the tolerance, facing,
// compatible port types.
bool connects(const PortSpot& a, const PortSpot& b, std::int64_t tolerance_nm) {
    return within_tolerance(a.x - b.x, tolerance_nm) && within_tolerance(a.y - b.y, tolerance_nm) &&
           facing(a.orientation, b.orientation) && a.instance != b.instance &&
           (a.type == 0 || b.type == 0 || a.type == b.type);
}

// A sort record: the key and the value it carries.
struct Keyed {
    std::uint64_t key;
    std::uint32_t value;
};

// Stable sort by the low `bits` bits of the keys, in as few passes of at most twelve bits as
// the width allows.
void radix_sort(std::vector<Keyed>& v, unsigned bits) {
    constexpr unsigned widest = 12;
    const unsigned passes = (bits + widest - 1) / widest;
    if (passes == 0 || v.size() < 2) {
        return;
    }
    const unsigned digit = (bits + passes - 1) / passes;
    const std::size_t buckets = std::size_t{1} << digit;
    std::vector<std::array<std::size_t, std::size_t{1} << widest>> counts(passes);
    for (auto& c : counts) {
        c.fill(0);
    }
    for (const Keyed& k : v) {
        for (unsigned p = 0; p < passes; ++p) {
            ++counts[p][(k.key >> (p * digit)) & (buckets - 1)];
        }
    }
    std::vector<Keyed> other(v.size());
    for (unsigned p = 0; p < passes; ++p) {
        auto& c = counts[p];
        const unsigned shift = p * digit;
        if (c[(v[0].key >> shift) & (buckets - 1)] == v.size()) {
            continue; // one digit value: the order stays
        }
        std::size_t sum = 0;
        for (std::size_t d = 0; d < buckets; ++d) {
            sum += std::exchange(c[d], sum);
        }
        for (const Keyed& k : v) {
            other[c[(k.key >> shift) & (buckets - 1)]++] = k;
        }
        v.swap(other);
    }
}

// Sort by the low `bits` bits of the keys, ties in value order: one pass scatters by the top
// bits into buckets of a few hundred entries, each then sorted in cache.
void bucket_sort(std::vector<Keyed>& v, unsigned bits) {
    const std::size_t n = v.size();
    unsigned top = 1;
    while (top < 16 && (std::size_t{1} << (top + 8)) < n) {
        ++top;
    }
    if (bits <= top) {
        radix_sort(v, bits);
        return;
    }
    const unsigned shift = bits - top;
    std::vector<std::size_t> start((std::size_t{1} << top) + 1, 0);
    for (const Keyed& k : v) {
        ++start[(k.key >> shift) + 1];
    }
    for (std::size_t b = 1; b < start.size(); ++b) {
        start[b] += start[b - 1];
    }
    std::vector<Keyed> out(n);
    std::vector<std::size_t> next(start.begin(), start.end() - 1);
    for (const Keyed& k : v) {
        out[next[k.key >> shift]++] = k;
    }
    for (std::size_t b = 0; b + 1 < start.size(); ++b) {
        std::sort(out.begin() + static_cast<std::ptrdiff_t>(start[b]),
                  out.begin() + static_cast<std::ptrdiff_t>(start[b + 1]),
                  [](const Keyed& x, const Keyed& y) {
                      return x.key != y.key ? x.key < y.key : x.value < y.value;
                  });
    }
    v.swap(out);
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

namespace {

// One raw port placed; c and s are the cosine and sine of the placement's rotation.
Port place_port(const gds::metadata::RawPort& r, const Placement& placement, double c, double s,
                double um_per_dbu) {
    PortSpot spot;
    place_spot(r, placement, c, s, um_per_dbu, spot);
    Port p;
    p.x = spot.x;
    p.y = spot.y;
    p.orientation = spot.orientation;
    if (r.width) {
        p.width = um_per_dbu * static_cast<double>(*r.width);
    }
    p.name = r.name;
    if (r.port_type) {
        p.port_type = std::string_view(*r.port_type);
    }
    return p;
}

} // namespace

std::pair<double, double> cos_sin_degrees(double degrees) {
    // Most placements are unrotated; cos 0 and sin 0 are exactly 1 and 0 anyway.
    if (degrees == 0.0) {
        return {1.0, 0.0};
    }
    const double theta = degrees * std::numbers::pi / 180.0;
    return {std::cos(theta), std::sin(theta)};
}

std::vector<Port> transform_ports(const std::vector<gds::metadata::RawPort>& raw,
                                  const Placement& placement, double um_per_dbu) {
    const auto [c, s] = cos_sin_degrees(placement.rotation);
    std::vector<Port> out;
    out.reserve(raw.size());
    for (const gds::metadata::RawPort& r : raw) {
        out.push_back(place_port(r, placement, c, s, um_per_dbu));
    }
    return out;
}

void place_spot(const gds::metadata::RawPort& r, const Placement& placement, double c, double s,
                double um_per_dbu, PortSpot& spot) {
    const double px = static_cast<double>(r.x);
    const double py = placement.mirror ? -static_cast<double>(r.y) : static_cast<double>(r.y);
    const std::int64_t dx = round_to_i64(c * px - s * py);
    const std::int64_t dy = round_to_i64(s * px + c * py);
    spot.x = um_per_dbu * static_cast<double>(placement.x + dx);
    spot.y = um_per_dbu * static_cast<double>(placement.y + dy);
    const double angle = placement.mirror ? placement.rotation + 360.0 - r.rotation
                                          : placement.rotation + r.rotation;
    // The remainder of an angle already within (-360, 360) is the angle itself.
    spot.orientation = angle > -360.0 && angle < 360.0 ? angle : std::fmod(angle, 360.0);
}

std::vector<PortSpot> spots_of(const std::vector<PlacedPort>& ports) {
    std::unordered_map<std::string_view, std::uint32_t> instances, types;
    std::vector<PortSpot> spots(ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const Port& p = ports[i].port;
        PortSpot& s = spots[i];
        s.x = p.x;
        s.y = p.y;
        s.orientation = p.orientation;
        s.instance = instances.try_emplace(ports[i].instance, instances.size()).first->second;
        if (p.port_type) {
            s.type = types.try_emplace(*p.port_type, types.size() + 1).first->second;
        }
        s.source = static_cast<std::uint32_t>(i);
    }
    return spots;
}

PortIndex::PortIndex(const std::vector<PlacedPort>& ports, std::int64_t tolerance_nm)
    : cell_(tolerance_nm > 1 ? tolerance_nm : 1) {
    build(ports);
}

PortIndex::PortIndex(const std::vector<PortSpot>& ports, std::int64_t tolerance_nm)
    : cell_(tolerance_nm > 1 ? tolerance_nm : 1) {
    build(ports);
}

namespace {
const Port& position_of(const PlacedPort& p) {
    return p.port;
}
const PortSpot& position_of(const PortSpot& p) {
    return p;
}
} // namespace

template <class Ports> void PortIndex::build(const Ports& ports) {
    const std::size_t n = ports.size();
    positions_.resize(n);
    if (n == 0) {
        return;
    }
    // Keys are sorted along the axis the list moves along least: when consecutive ports mostly
    // step in x (rows), cells are ordered by y, then x, so the sweep reads the list in about
    // its own order.
    std::size_t x_steps = 0, y_steps = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto& p = position_of(ports[i]);
        positions_[i] = std::pair{round_to_i64(p.x * 1000.0), round_to_i64(p.y * 1000.0)};
        if (i > 0) {
            const double dx = std::fabs(p.x - position_of(ports[i - 1]).x);
            const double dy = std::fabs(p.y - position_of(ports[i - 1]).y);
            x_steps += dx > dy;
            y_steps += dy > dx;
        }
    }
    y_major_ = x_steps > y_steps;
    constexpr auto lowest = std::numeric_limits<std::int64_t>::min();
    constexpr auto highest = std::numeric_limits<std::int64_t>::max();
    const auto key_at = [&](std::size_t i) {
        return sort_key(key_of(positions_[i].first, positions_[i].second));
    };
    std::int64_t min_a = highest, max_a = lowest, min_b = highest, max_b = lowest;
    for (std::size_t i = 0; i < n; ++i) {
        const auto [ka, kb] = key_at(i);
        min_a = std::min(min_a, ka);
        max_a = std::max(max_a, ka);
        min_b = std::min(min_b, kb);
        max_b = std::max(max_b, kb);
    }
    // Sort by key, keeping index order within a cell. Keys relative to the minimum usually fit
    // one 64-bit word together and sort by radix; otherwise by comparison.
    const auto span = [](std::int64_t lo, std::int64_t hi) {
        return static_cast<std::uint64_t>(hi) - static_cast<std::uint64_t>(lo);
    };
    const unsigned ba = static_cast<unsigned>(std::bit_width(span(min_a, max_a)));
    const unsigned bb = static_cast<unsigned>(std::bit_width(span(min_b, max_b)));
    std::vector<Keyed> order(n);
    const bool packed = ba + bb <= 64;
    if (packed) {
        for (std::size_t i = 0; i < n; ++i) {
            const auto [ka, kb] = key_at(i);
            const std::uint64_t hi = bb >= 64 ? 0 : span(min_a, ka) << bb;
            order[i] = Keyed{hi | span(min_b, kb), static_cast<std::uint32_t>(i)};
        }
        bucket_sort(order, ba + bb);
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            order[i] = Keyed{0, static_cast<std::uint32_t>(i)};
        }
        std::stable_sort(order.begin(), order.end(), [&](const Keyed& a, const Keyed& b) {
            return key_at(a.value) < key_at(b.value);
        });
    }
    // The sort key of the i-th port in sorted order; a packed key holds it, which spares a
    // scattered read of the positions.
    const std::uint64_t low_mask = bb >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bb) - 1;
    const auto sorted_key = [&](std::size_t i) {
        if (!packed) {
            return key_at(order[i].value);
        }
        const std::uint64_t k = order[i].key;
        const std::uint64_t hi = bb >= 64 ? 0 : k >> bb;
        return std::pair{
            static_cast<std::int64_t>(static_cast<std::uint64_t>(min_a) + hi),
            static_cast<std::int64_t>(static_cast<std::uint64_t>(min_b) + (k & low_mask))};
    };
    std::size_t cell_count = 1;
    for (std::size_t i = 1; i < n; ++i) {
        cell_count +=
            packed ? order[i].key != order[i - 1].key : sorted_key(i) != sorted_key(i - 1);
    }
    cells_.reserve(cell_count);
    members_.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        members_[i] = order[i].value;
        const auto [ka, kb] = sorted_key(i);
        if (cells_.empty() || cells_.back().major != ka || cells_.back().minor != kb) {
            cells_.push_back(Cell{ka, kb, static_cast<std::uint32_t>(i), 0});
        }
        ++cells_.back().count;
    }
}

std::pair<std::int64_t, std::int64_t> PortIndex::key_of(std::int64_t x, std::int64_t y) const {
    if (cell_ == 1) {
        return {x, y};
    }
    return {floor_div(x, cell_), floor_div(y, cell_)};
}

std::pair<std::int64_t, std::int64_t>
PortIndex::sort_key(std::pair<std::int64_t, std::int64_t> key) const {
    return y_major_ ? std::pair{key.second, key.first} : key;
}

std::pair<std::int64_t, std::int64_t> PortIndex::grid_key(const Cell& c) const {
    return y_major_ ? std::pair{c.minor, c.major} : std::pair{c.major, c.minor};
}

std::size_t PortIndex::lower_bound(std::int64_t major, std::int64_t minor) const {
    const auto it =
        std::lower_bound(cells_.begin(), cells_.end(), std::pair{major, minor},
                         [](const Cell& c, const std::pair<std::int64_t, std::int64_t>& k) {
                             return std::pair{c.major, c.minor} < k;
                         });
    return static_cast<std::size_t>(it - cells_.begin());
}

void PortIndex::append_cell(std::size_t at, std::vector<std::uint32_t>& out) const {
    const Cell& c = cells_[at];
    out.insert(out.end(), members_.begin() + c.begin, members_.begin() + c.begin + c.count);
}

bool PortIndex::at_edge(const Cell& c) {
    constexpr auto lowest = std::numeric_limits<std::int64_t>::min();
    constexpr auto highest = std::numeric_limits<std::int64_t>::max();
    return c.major == lowest || c.major == highest || c.minor == lowest || c.minor == highest;
}

void PortIndex::order_neighbourhood(std::size_t* cells, std::size_t count) const {
    // Runs come major axis first; candidates go x offsets outer, y offsets inner.
    if (!y_major_) {
        return;
    }
    for (std::size_t i = 1; i < count; ++i) {
        for (std::size_t j = i;
             j > 0 && grid_key(cells_[cells[j]]) < grid_key(cells_[cells[j - 1]]); --j) {
            std::swap(cells[j], cells[j - 1]);
        }
    }
}

void PortIndex::candidates(std::int64_t x_nm, std::int64_t y_nm,
                           std::vector<std::uint32_t>& out) const {
    const auto [kx, ky] = key_of(x_nm, y_nm);
    const auto [ka, kb] = sort_key({kx, ky});
    if (!at_edge(Cell{ka, kb, 0, 0})) {
        // The three cells of a run are consecutive in key order.
        std::size_t around[9];
        std::size_t count = 0;
        for (std::int64_t d = -1; d <= 1; ++d) {
            for (std::size_t at = lower_bound(ka + d, kb - 1);
                 at < cells_.size() && cells_[at].major == ka + d && cells_[at].minor <= kb + 1;
                 ++at) {
                around[count++] = at;
            }
        }
        order_neighbourhood(around, count);
        for (std::size_t k = 0; k < count; ++k) {
            append_cell(around[k], out);
        }
        return;
    }
    // Keys wrap like the integers they are made of at the extremes of the range.
    const auto plus = [](std::int64_t k, std::int64_t d) {
        return static_cast<std::int64_t>(static_cast<std::uint64_t>(k) +
                                         static_cast<std::uint64_t>(d));
    };
    for (std::int64_t dx = -1; dx <= 1; ++dx) {
        for (std::int64_t dy = -1; dy <= 1; ++dy) {
            const auto [a, b] = sort_key({plus(kx, dx), plus(ky, dy)});
            const std::size_t at = lower_bound(a, b);
            if (at < cells_.size() && cells_[at].major == a && cells_[at].minor == b) {
                append_cell(at, out);
            }
        }
    }
}

std::vector<PortPair> match_ports(const std::vector<PortSpot>& ports, const PortIndex& index,
                                  std::int64_t tolerance_nm) {
    // Sweep the cells in key order. The first cell of each neighbouring run only moves
    // forward, so three cursors find every neighbourhood in one pass. Pairs come out grouped
    // by their first port in candidate order; a stable sort by that port gives list order.
    const auto& cells = index.cells();
    const auto& members = index.members();
    const auto& pos = index.positions();
    constexpr std::size_t ahead = 32;
    std::vector<Keyed> found;
    found.reserve(ports.size() / 2);
    std::vector<std::uint32_t> near;
    std::size_t cursor[3] = {0, 0, 0};
    for (const PortIndex::Cell& c : cells) {
        if (c.begin + ahead < members.size()) {
            const auto* p = reinterpret_cast<const char*>(&ports[members[c.begin + ahead]]);
            __builtin_prefetch(p);
            __builtin_prefetch(p + sizeof(PortSpot) - 1);
        }
        if (PortIndex::at_edge(c)) {
            // Neighbourhoods that wrap around the key range are looked up one by one.
            for (std::uint32_t m = c.begin; m < c.begin + c.count; ++m) {
                const std::uint32_t a = members[m];
                near.clear();
                index.candidates(pos[a].first, pos[a].second, near);
                for (std::uint32_t b : near) {
                    if (b > a && connects(ports[a], ports[b], tolerance_nm)) {
                        found.push_back(Keyed{a, b});
                    }
                }
            }
            continue;
        }
        std::size_t around[9];
        std::size_t count = 0;
        for (std::size_t d = 0; d < 3; ++d) {
            const std::int64_t run = c.major + static_cast<std::int64_t>(d) - 1;
            std::size_t& at = cursor[d];
            while (at < cells.size() &&
                   (cells[at].major < run ||
                    (cells[at].major == run && cells[at].minor < c.minor - 1))) {
                ++at;
            }
            for (std::size_t j = at;
                 j < cells.size() && cells[j].major == run && cells[j].minor <= c.minor + 1; ++j) {
                around[count++] = j;
            }
        }
        index.order_neighbourhood(around, count);
        for (std::uint32_t m = c.begin; m < c.begin + c.count; ++m) {
            const std::uint32_t a = members[m];
            for (std::size_t k = 0; k < count; ++k) {
                const PortIndex::Cell& o = cells[around[k]];
                for (std::uint32_t q = o.begin; q < o.begin + o.count; ++q) {
                    const std::uint32_t b = members[q];
                    if (b > a && connects(ports[a], ports[b], tolerance_nm)) {
                        found.push_back(Keyed{a, b});
                    }
                }
            }
        }
    }
    // A list that the sweep follows closely often comes out in order already.
    if (!std::is_sorted(found.begin(), found.end(),
                        [](const Keyed& x, const Keyed& y) { return x.key < y.key; })) {
        radix_sort(found, static_cast<unsigned>(std::bit_width(ports.size())));
    }
    std::vector<PortPair> pairs(found.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        pairs[i] = PortPair{static_cast<std::uint32_t>(found[i].key), found[i].value};
    }
    return pairs;
}

std::vector<Net> find_connections(const std::vector<PlacedPort>& ports, const PortIndex& index,
                                  std::int64_t tolerance_nm) {
    std::vector<Net> nets;
    const auto pairs = match_ports(spots_of(ports), index, tolerance_nm);
    nets.reserve(pairs.size());
    for (const PortPair& p : pairs) {
        const PlacedPort& pa = ports[p.a];
        const PlacedPort& pb = ports[p.b];
        nets.push_back(Net{InstancePort{std::string(pa.instance), std::string(pa.port.name)},
                           InstancePort{std::string(pb.instance), std::string(pb.port.name)}});
    }
    return nets;
}

orlim_netlist::OrderedMap<InstancePort>
find_top_ports(const std::vector<gds::metadata::RawPort>& top_ports,
               const std::vector<PlacedPort>& ports, const PortIndex& index,
               const std::vector<Net>& nets, std::int64_t tolerance_nm, double um_per_dbu) {
    const PortSet connected = net_endpoints(nets);
    const auto exposed = expose_top_ports(
        top_ports, spots_of(ports), index, tolerance_nm, um_per_dbu,
        [&](std::uint32_t c) { return connected.contains(ports[c].instance, ports[c].port.name); });
    orlim_netlist::OrderedMap<InstancePort> result;
    for (const auto& [name, c] : exposed) {
        result.emplace(std::string(name), InstancePort{std::string(ports[c].instance),
                                                       std::string(ports[c].port.name)});
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
