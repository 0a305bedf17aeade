// Two-port removal on Plarix netlists, keeping the Plarix data of what remains.
#pragma once

#include "orlim_netlist/twoports.hpp"

namespace orlim_netlist {

// The netlist without its two-port instances (remove_twoports). The remaining instances keep
// their settings, arrays and virtual flags, and their placements; an arrayed instance remains
// whole while any of its elements does. All connectivity is held in `nets` (connections and
// route links included), nets to array elements by element name. Unrecognised keys stay.
px_netlist::Netlist simplify_px_netlist(const px_netlist::Netlist& netlist,
                                        const ComponentFilter& filter);
px_netlist::Netlist simplify_px_netlist(px_netlist::Netlist&& netlist,
                                        const ComponentFilter& filter);

// Every cell simplified on its own, in the same order.
px_netlist::RecursiveNetlist simplify_recursive_netlist(const px_netlist::RecursiveNetlist& cells,
                                                        const ComponentFilter& filter);
px_netlist::RecursiveNetlist simplify_recursive_netlist(px_netlist::RecursiveNetlist&& cells,
                                                        const ComponentFilter& filter);

} // namespace orlim_netlist
