#include <charconv>

#include "px_netlist/netlist.hpp"

namespace px_netlist {

using orlim_text::Writer;

namespace {

void write_port_map(Writer& w, const PortMap& map) {
    w.begin_map();
    for (const auto& [from, to] : map) {
        w.key(from.to_string());
        w.string(to.to_string());
    }
    w.end_map();
}

void write_values(Writer& w, const OrderedMap<Value>& values) {
    w.begin_map();
    for (const auto& [k, v] : values) {
        w.key(k);
        w.value(v);
    }
    w.end_map();
}

// Shortest text that reads back as the same 32-bit float, as a double.
double float_as_shortest_double(float f) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, f);
    double d = 0.0;
    std::from_chars(buf, r.ptr, d);
    return d;
}

void write_instance(Writer& w, const Instance& inst) {
    w.begin_map();
    w.key("component");
    w.string(inst.component);
    w.key("settings");
    write_values(w, inst.settings);
    if (inst.array) {
        const Array& a = *inst.array;
        w.key("array");
        w.begin_map();
        w.key("columns");
        w.unsigned_integer(a.columns);
        w.key("rows");
        w.unsigned_integer(a.rows);
        w.key("column_pitch");
        w.real(float_as_shortest_double(a.column_pitch));
        w.key("row_pitch");
        w.real(float_as_shortest_double(a.row_pitch));
        w.end_map();
    }
    if (inst.virtual_) {
        w.key("virtual");
        w.boolean(true);
    }
    w.end_map();
}

} // namespace

void write_port_ref(Writer& w, PortRef p, std::string& buf) {
    buf.assign(p.instance);
    buf.push_back(',');
    buf.append(p.port);
    w.string(buf);
}

void Netlist::write(Writer& w) const {
    w.begin_map();
    w.key("instances");
    w.begin_map();
    for (const auto& [name, inst] : instances) {
        w.key(name);
        write_instance(w, inst);
    }
    w.end_map();
    if (!connections.empty()) {
        w.key("connections");
        write_port_map(w, connections);
    }
    if (!routes.empty()) {
        w.key("routes");
        w.begin_map();
        for (const auto& [name, b] : routes) {
            w.key(name);
            w.begin_map();
            w.key("links");
            write_port_map(w, b.links);
            w.key("routing_strategy");
            w.string(b.routing_strategy);
            w.key("settings");
            write_values(w, b.settings);
            w.end_map();
        }
        w.end_map();
    }
    if (!nets.empty()) {
        w.key("nets");
        write_nets(w, nets);
    }
    w.key("ports");
    write_ports(w, ports);
    if (!placements.empty()) {
        w.key("placements");
        w.begin_map();
        for (const auto& [name, fields] : placements) {
            w.key(name);
            write_values(w, fields);
        }
        w.end_map();
    }
    for (const auto& [k, v] : extra) {
        w.key(k);
        w.value(v);
    }
    w.end_map();
}

std::string Netlist::to_yaml() const {
    return orlim_text::to_yaml([this](Writer& w) { write(w); });
}

std::string Netlist::to_json(bool pretty) const {
    return orlim_text::to_json([this](Writer& w) { write(w); }, pretty);
}

void write_recursive(Writer& w, const RecursiveNetlist& netlists) {
    w.begin_map();
    for (const auto& [name, netlist] : netlists) {
        w.key(name);
        netlist.write(w);
    }
    w.end_map();
}

std::string recursive_to_yaml(const RecursiveNetlist& netlists) {
    return orlim_text::to_yaml([&](Writer& w) { write_recursive(w, netlists); });
}

std::string recursive_to_json(const RecursiveNetlist& netlists, bool pretty) {
    return orlim_text::to_json([&](Writer& w) { write_recursive(w, netlists); }, pretty);
}

} // namespace px_netlist
