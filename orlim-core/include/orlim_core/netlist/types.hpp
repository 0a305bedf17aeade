// Placed ports and the grid index that matches them.
#pragma once

#include <cstdint>
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
std::int64_t round_to_i64(double v);

std::vector<Port> transform_ports(const std::vector<gds::metadata::RawPort>& raw,
                                  const Placement& placement, double um_per_dbu);

// Ports on a grid of tolerance-sized cells (at least 1 nm), each cell listing its ports in
// ascending index order.
class PortIndex {
public:
    PortIndex(const std::vector<PlacedPort>& ports, std::int64_t tolerance_nm);

    // Appends the ports of the 3 x 3 cells around the point (nanometres), cell by cell with x
    // offsets outer and y offsets inner.
    void candidates(std::int64_t x_nm, std::int64_t y_nm, std::vector<std::uint32_t>& out) const;

    // Hints the cache about a coming candidates() query.
    void prefetch(std::int64_t x_nm, std::int64_t y_nm) const;

    const std::vector<std::pair<std::int64_t, std::int64_t>>& positions() const {
        return positions_;
    }
    std::int64_t cell_size() const { return cell_; }

private:
    std::pair<std::int64_t, std::int64_t> key_of(std::int64_t x, std::int64_t y) const;
    std::uint32_t find_slot(std::pair<std::int64_t, std::int64_t> key) const;

    std::vector<std::pair<std::int64_t, std::int64_t>> positions_;
    std::int64_t cell_;
    // Open-addressing table of occupied grid cells; each names a range of members_.
    struct Slot {
        std::int64_t kx;
        std::int64_t ky;
        std::uint32_t begin; // start in members_
        std::uint32_t count; // 0: empty slot
    };
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::vector<std::uint32_t> members_;
};

std::vector<Net> find_connections(const std::vector<PlacedPort>& ports, const PortIndex& index,
                                  std::int64_t tolerance_nm);

orlim_netlist::OrderedMap<InstancePort>
find_top_ports(const std::vector<gds::metadata::RawPort>& top_ports,
               const std::vector<PlacedPort>& ports, const PortIndex& index,
               const std::vector<Net>& nets, std::int64_t tolerance_nm, double um_per_dbu);

std::vector<InstancePort> find_open_ports(const std::vector<PlacedPort>& ports,
                                          const std::vector<Net>& nets,
                                          const orlim_netlist::OrderedMap<InstancePort>& top_ports);

} // namespace orlim_core::netlist
