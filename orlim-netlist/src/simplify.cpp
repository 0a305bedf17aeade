#include "orlim_netlist/simplify.hpp"

#include <type_traits>

namespace orlim_netlist {

using px_netlist::Instance;
using px_netlist::Netlist;
using px_netlist::RecursiveNetlist;

namespace {

// Whether the instance, or one of its array elements, is among the remaining instances.
bool survives(const OrderedMap<std::string>& remaining, const std::string& name,
              const Instance& instance) {
    const auto& a = instance.array;
    if (!a || a->columns == 0 || a->rows == 0 || (a->columns == 1 && a->rows == 1)) {
        return remaining.contains(name);
    }
    std::string element;
    for (std::uint64_t c = 0; c < a->columns; ++c) {
        for (std::uint64_t r = 0; r < a->rows; ++r) {
            px_netlist::array_element_name(element, name, c, r);
            if (remaining.contains(element)) {
                return true;
            }
        }
    }
    return false;
}

template <class N> Netlist simplify(N&& netlist, const ComponentFilter& filter) {
    constexpr bool consume = std::is_rvalue_reference_v<N&&>;
    ExtractedNetlist simplified =
        remove_twoports(ExtractedNetlist::from_netlist(std::forward<N>(netlist)), filter);
    Netlist out;
    out.instances.reserve(simplified.instances.size());
    for (auto it = netlist.instances.begin(); it != netlist.instances.end(); ++it) {
        if (!survives(simplified.instances, it->first, it->second)) {
            continue;
        }
        if constexpr (consume) {
            out.instances.emplace(it->first, std::move(it.value()));
        } else {
            out.instances.emplace(it->first, it->second);
        }
    }
    out.nets = std::move(simplified.nets);
    out.ports = std::move(simplified.ports);
    for (auto it = netlist.placements.begin(); it != netlist.placements.end(); ++it) {
        if (!out.instances.contains(it->first)) {
            continue;
        }
        if constexpr (consume) {
            out.placements.emplace(it->first, std::move(it.value()));
        } else {
            out.placements.emplace(it->first, it->second);
        }
    }
    if constexpr (consume) {
        out.extra = std::move(netlist.extra);
    } else {
        out.extra = netlist.extra;
    }
    return out;
}

} // namespace

Netlist simplify_px_netlist(const Netlist& netlist, const ComponentFilter& filter) {
    return simplify(netlist, filter);
}

Netlist simplify_px_netlist(Netlist&& netlist, const ComponentFilter& filter) {
    return simplify(std::move(netlist), filter);
}

RecursiveNetlist simplify_recursive_netlist(const RecursiveNetlist& cells,
                                            const ComponentFilter& filter) {
    RecursiveNetlist out;
    out.reserve(cells.size());
    for (const auto& [name, netlist] : cells) {
        out.emplace(name, simplify_px_netlist(netlist, filter));
    }
    return out;
}

RecursiveNetlist simplify_recursive_netlist(RecursiveNetlist&& cells,
                                            const ComponentFilter& filter) {
    RecursiveNetlist out;
    out.reserve(cells.size());
    for (auto it = cells.begin(); it != cells.end(); ++it) {
        out.emplace(it->first, simplify_px_netlist(std::move(it.value()), filter));
    }
    return out;
}

} // namespace orlim_netlist
