// Two-port removal: pass-through instances (exactly two ports in use) are taken out of a flat
// netlist and the connections that ran through them are joined end to end.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "orlim_netlist/extracted.hpp"

namespace orlim_netlist {

using px_netlist::StringEq;
using px_netlist::StringHash;

// Which components may be removed: all of them, or those named (exact match).
struct ComponentFilter {
    bool all = false;
    std::unordered_set<std::string, StringHash, StringEq> names;

    static ComponentFilter all_components() { return {true, {}}; }
    // A list whose only entry is "all" in any letter case means all components; any other
    // list (the empty one included) is the set of its entries as given.
    static ComponentFilter from_list(std::span<const std::string> entries);

    bool matches(std::string_view component) const { return all || names.contains(component); }
};

// Instance name -> the distinct port names that nets and external ports use on it.
using PortUsage = std::unordered_map<std::string, std::unordered_set<std::string>>;

PortUsage count_ports_from_nets(const ExtractedNetlist& netlist);

// A new netlist without the two-port instances that the filter selects; every chain of them
// becomes one net between the instances at its ends, and external ports on them are moved to
// those ends. Chains that close into a ring or end in an unconnected port are dropped. Nets
// given more than once (in either orientation) are kept once, at their first position.
ExtractedNetlist remove_twoports(const ExtractedNetlist& netlist, const ComponentFilter& filter);

// The simplification of a flat netlist: remove_twoports.
ExtractedNetlist simplify_netlist(const ExtractedNetlist& netlist, const ComponentFilter& filter);

} // namespace orlim_netlist
