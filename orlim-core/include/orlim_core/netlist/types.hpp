// Placed ports and the grid index that matches them.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "orlim_core/gds/metadata.hpp"
#include "orlim_netlist/extracted.hpp"

namespace orlim_core::netlist {

using orlim_netlist::InstancePort;
using orlim_netlist::Net;

// A port placed in the top cell. Its texts view the loaded layout's port metadata.
struct Port {
    std::optional<double> width; // micrometres
    std::string_view name;
    std::optional<std::string_view> port_type;
    double x = 0.0; // micrometres, top-cell coordinates
    double y = 0.0;
    double orientation = 0.0; // degrees in (-360, 360), the sign of the placed angle
};

// Where a cell is placed: origin in database units, rotation in degrees, reflection about x
// before the rotation.
struct Placement {
    std::int64_t x = 0;
    std::int64_t y = 0;
    double rotation = 0.0;
    bool mirror = false;
};

// An instance's port; the instance name views the layout or the extraction's own names.
struct PlacedPort {
    std::string_view instance;
    Port port;
};

// Nearest integer, halves away from zero; NaN gives 0 and out-of-range values saturate.
// Inline and without a library call: it runs for every port coordinate.
inline std::int64_t round_to_i64(double v) {
    constexpr double limit = 9.2233720368547758e18; // 2^63
    if (!(v > -limit && v < limit)) {
        return v != v  ? 0
               : v > 0 ? std::numeric_limits<std::int64_t>::max()
                       : std::numeric_limits<std::int64_t>::min();
    }
    // Truncation and the fraction it drops are both exact.
    const auto t = static_cast<std::int64_t>(v);
    const double fraction = v - static_cast<double>(t);
    return fraction >= 0.5 ? t + 1 : fraction <= -0.5 ? t - 1 : t;
}

// Cosine and sine of an angle in degrees (converted by pi / 180); exactly 1 and 0 for 0.
std::pair<double, double> cos_sin_degrees(double degrees);

std::vector<Port> transform_ports(const std::vector<gds::metadata::RawPort>& raw,
                                  const Placement& placement, double um_per_dbu);

// A placed port as the index and the matching read it: position in micrometres, direction
// in degrees, and ids of its instance name and port type (equal ids for equal texts; type 0:
// untyped). `source` and `entry` say where its texts are, as the list's builder defines.
struct PortSpot {
    double x = 0.0;
    double y = 0.0;
    double orientation = 0.0;
    std::uint32_t instance = 0;
    std::uint32_t type = 0;
    std::uint32_t source = 0;
    std::uint32_t entry = 0;
};

// Places one raw port: the position and direction of transform_ports, in `spot`.
void place_spot(const gds::metadata::RawPort& raw, const Placement& placement, double cos_theta,
                double sin_theta, double um_per_dbu, PortSpot& spot);

// The spots of a placed-port list, in its order; instance and type ids number the distinct
// texts in order of appearance.
std::vector<PortSpot> spots_of(const std::vector<PlacedPort>& ports);

// Ports on a grid of tolerance-sized cells (at least 1 nm), each cell listing its ports in
// ascending index order. The occupied cells are kept sorted by key along a major axis, so a
// run of neighbouring cells is contiguous and a sweep over all cells reads memory in order.
// The major axis is y when the list mostly steps in x from port to port, else x.
class PortIndex {
public:
    PortIndex(const std::vector<PlacedPort>& ports, std::int64_t tolerance_nm);
    PortIndex(const std::vector<PortSpot>& ports, std::int64_t tolerance_nm);

    // Appends the ports of the 3 x 3 cells around the point (nanometres), cell by cell with x
    // offsets outer and y offsets inner.
    void candidates(std::int64_t x_nm, std::int64_t y_nm, std::vector<std::uint32_t>& out) const;

    const std::vector<std::pair<std::int64_t, std::int64_t>>& positions() const {
        return positions_;
    }
    std::int64_t cell_size() const { return cell_; }

    struct Cell {
        std::int64_t major; // the cell's key on the major axis
        std::int64_t minor;
        std::uint32_t begin; // first member
        std::uint32_t count;
    };
    // Occupied cells in ascending (major, minor) order.
    const std::vector<Cell>& cells() const { return cells_; }
    // Port indices grouped by cell.
    const std::vector<std::uint32_t>& members() const { return members_; }
    // Whether a neighbour of the cell lies beyond the key range (keys wrap there).
    static bool at_edge(const Cell& c);
    // Puts the cells of one neighbourhood, given run by run, in candidate order.
    void order_neighbourhood(std::size_t* cells, std::size_t count) const;

private:
    template <class Ports> void build(const Ports& ports);
    std::pair<std::int64_t, std::int64_t> key_of(std::int64_t x, std::int64_t y) const;
    // A grid key (x, y) as (major, minor), and a cell's grid key.
    std::pair<std::int64_t, std::int64_t> sort_key(std::pair<std::int64_t, std::int64_t> key) const;
    std::pair<std::int64_t, std::int64_t> grid_key(const Cell& c) const;
    // First cell whose key is not below (major, minor).
    std::size_t lower_bound(std::int64_t major, std::int64_t minor) const;
    void append_cell(std::size_t at, std::vector<std::uint32_t>& out) const;

    std::vector<std::pair<std::int64_t, std::int64_t>> positions_;
    std::int64_t cell_;
    bool y_major_ = false;
    std::vector<Cell> cells_;
    std::vector<std::uint32_t> members_;
};

// Two connected ports by their indices in the placed-port list; a < b.
struct PortPair {
    std::uint32_t a;
    std::uint32_t b;
};

// The connections of find_connections as index pairs, in the same order.
std::vector<PortPair> match_ports(const std::vector<PortSpot>& ports, const PortIndex& index,
                                  std::int64_t tolerance_nm);

std::vector<Net> find_connections(const std::vector<PlacedPort>& ports, const PortIndex& index,
                                  std::int64_t tolerance_nm);

// Top-cell port name -> index of the placed port it exposes, in result order. `connected(i)`
// tells whether placed port i's (instance, port) is an endpoint of a net.
template <class Connected>
std::vector<std::pair<std::string_view, std::uint32_t>>
expose_top_ports(const std::vector<gds::metadata::RawPort>& top_ports,
                 const std::vector<PortSpot>& ports, const PortIndex& index,
                 std::int64_t tolerance_nm, double um_per_dbu, Connected&& connected);

orlim_netlist::OrderedMap<InstancePort>
find_top_ports(const std::vector<gds::metadata::RawPort>& top_ports,
               const std::vector<PlacedPort>& ports, const PortIndex& index,
               const std::vector<Net>& nets, std::int64_t tolerance_nm, double um_per_dbu);

std::vector<InstancePort> find_open_ports(const std::vector<PlacedPort>& ports,
                                          const std::vector<Net>& nets,
                                          const orlim_netlist::OrderedMap<InstancePort>& top_ports);

// |round(d * 1000)| <= tolerance for a distance d in micrometres.
inline bool within_tolerance(double d_um, std::int64_t tolerance_nm) {
    // The most negative distance has no absolute value; it is beyond any tolerance.
    const std::int64_t d = round_to_i64(d_um * 1000.0);
    return d != std::numeric_limits<std::int64_t>::min() && (d < 0 ? -d : d) <= tolerance_nm;
}

template <class Connected>
std::vector<std::pair<std::string_view, std::uint32_t>>
expose_top_ports(const std::vector<gds::metadata::RawPort>& top_ports,
                 const std::vector<PortSpot>& ports, const PortIndex& index,
                 std::int64_t tolerance_nm, double um_per_dbu, Connected&& connected) {
    // Few top ports: entries are found by name through a small map of positions.
    std::vector<std::pair<std::string_view, std::uint32_t>> result;
    orlim_netlist::OrderedMap<std::size_t> at;
    std::vector<std::uint32_t> near;
    for (const gds::metadata::RawPort& t : top_ports) {
        const double tx = um_per_dbu * static_cast<double>(t.x);
        const double ty = um_per_dbu * static_cast<double>(t.y);
        near.clear();
        index.candidates(round_to_i64(tx * 1000.0), round_to_i64(ty * 1000.0), near);
        for (std::uint32_t c : near) {
            const PortSpot& pc = ports[c];
            if (!within_tolerance(tx - pc.x, tolerance_nm) ||
                !within_tolerance(ty - pc.y, tolerance_nm) || connected(c)) {
                continue;
            }
            if (auto it = at.find(t.name); it != at.end()) {
                result[it->second].second = c;
            } else {
                at.emplace(t.name, result.size());
                result.emplace_back(t.name, c);
            }
        }
    }
    return result;
}

} // namespace orlim_core::netlist
