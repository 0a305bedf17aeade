// The flat extracted netlist (instances, point-to-point nets, external ports) and its
// conversions to and from the Plarix model.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "px_netlist/netlist.hpp"

namespace orlim_netlist {

using px_netlist::InstancePort;
using px_netlist::Net;
using px_netlist::OrderedMap;
using px_netlist::ReadResult;

struct ExtractedNetlist {
    OrderedMap<std::string> instances; // instance name -> component name
    std::vector<Net> nets;
    OrderedMap<InstancePort> ports; // external port name -> exposed instance port

    static ReadResult<ExtractedNetlist> from_yaml(std::string_view text);
    static ReadResult<ExtractedNetlist> from_json(std::string_view text);
    static ReadResult<ExtractedNetlist> read(const orlim_text::Document& doc,
                                             orlim_text::NodeId node);

    // Keys "instances", "nets", "ports", each only when non-empty.
    void write(orlim_text::Writer& w) const;
    std::string to_yaml() const;
    std::string to_json(bool pretty = true) const;

    // Instances with arrays expanded; nets from connections, then nets, then route links.
    // The consuming form moves out the nets and ports only and leaves the netlist's other
    // fields as they were, so callers may still read its instances and placements.
    static ExtractedNetlist from_netlist(const px_netlist::Netlist& netlist);
    static ExtractedNetlist from_netlist(px_netlist::Netlist&& netlist);
    // Each instance becomes a component with no settings; nets and ports unchanged.
    px_netlist::Netlist into_netlist() &&;
};

// The extracted netlist's text from borrowed parts: `instances` yields (name, component)
// pairs; `ends` and `exposed` project the items of `nets` and `ports` as px_netlist's
// write_nets and write_ports take them. Keys "instances", "nets", "ports", each only when
// non-empty.
template <class Instances, class Nets, class Ends, class Ports, class Exposed>
void write_extracted(orlim_text::Writer& w, const Instances& instances, const Nets& nets,
                     Ends&& ends, const Ports& ports, Exposed&& exposed) {
    w.begin_map();
    if (!std::empty(instances)) {
        w.key("instances");
        w.begin_map();
        for (const auto& [name, component] : instances) {
            w.key(name);
            w.string(component);
        }
        w.end_map();
    }
    if (!std::empty(nets)) {
        w.key("nets");
        px_netlist::write_nets(w, nets, ends);
    }
    if (!std::empty(ports)) {
        w.key("ports");
        px_netlist::write_ports(w, ports, exposed);
    }
    w.end_map();
}

// Instance name -> component, each arrayed instance of two or more elements replaced by its
// elements "{name}<{column}.{row}>", columns in the outer loop.
OrderedMap<std::string> expand_instances(const OrderedMap<px_netlist::Instance>& instances);
// Adds one instance's entries to `out`.
void expand_instance(OrderedMap<std::string>& out, std::string_view name,
                     const px_netlist::Instance& instance);

// The cell flattened into leaf instances named by their path ("u1~u2~inst"), with nets and
// ports redirected through the exposed ports of each cell instance. An unknown cell gives
// the empty netlist. An instance of a cell that is already being flattened on the current
// path (a cyclic hierarchy) is kept as a leaf instance.
ExtractedNetlist flatten_recursive(const px_netlist::RecursiveNetlist& schematics,
                                   std::string_view cell);

// One cell converted, no cell empty, two or more flattened with the first cell as top.
ExtractedNetlist reduce_recursive(const px_netlist::RecursiveNetlist& schematics);

} // namespace orlim_netlist
