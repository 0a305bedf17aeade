// The Plarix schematic netlist model and its YAML/JSON form.
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>
#include <tsl/ordered_map.h>

#include "orlim_text/document.hpp"
#include "orlim_text/writer.hpp"

namespace px_netlist {

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
        return std::hash<std::string_view>{}(s);
    }
};
struct StringEq {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return a == b; }
};

// Insertion-ordered map with text keys; inserting an existing key keeps its first position.
// Values live in one vector (cheaper than the default deque for the many small maps).
template <class T>
using OrderedMap = tsl::ordered_map<std::string, T, StringHash, StringEq,
                                    std::allocator<std::pair<std::string, T>>,
                                    std::vector<std::pair<std::string, T>>>;

// Free-form data: objects keep their keys in ascending byte order.
using Value = nlohmann::json;
using Settings = OrderedMap<Value>;

using orlim_text::ReadError;
using orlim_text::ReadResult;

// One port of one instance; text form "instance,port".
struct InstancePort {
    std::string instance;
    std::string port;

    // Splits at the first comma and trims both pieces; fails without a comma with
    // "Invalid InstancePort format: '{}' (expected 'instance,port')".
    static std::expected<InstancePort, std::string> parse(std::string_view text);
    std::string to_string() const;
    bool operator==(const InstancePort&) const = default;
};

struct InstancePortHash {
    std::size_t operator()(const InstancePort& p) const noexcept {
        const std::size_t a = std::hash<std::string_view>{}(p.instance);
        const std::size_t b = std::hash<std::string_view>{}(p.port);
        return a ^ (b + 0x9e3779b97f4a7c15ULL + (a << 6) + (a >> 2));
    }
};

using PortMap =
    tsl::ordered_map<InstancePort, InstancePort, InstancePortHash, std::equal_to<InstancePort>,
                     std::allocator<std::pair<InstancePort, InstancePort>>,
                     std::vector<std::pair<InstancePort, InstancePort>>>;

// A point-to-point connection.
struct Net {
    InstancePort p1;
    InstancePort p2;
    bool operator==(const Net&) const = default;
};

struct Array {
    std::uint64_t columns = 1;
    std::uint64_t rows = 1;
    float column_pitch = 0.0f;
    float row_pitch = 0.0f;
    bool operator==(const Array&) const = default;
};

// Writes into `out` the name of one array element, "{base}<{column}.{row}>".
void array_element_name(std::string& out, std::string_view base, std::uint64_t column,
                        std::uint64_t row);

struct Instance {
    std::string component;
    Settings settings;
    std::optional<Array> array;
    bool virtual_ = false;
};

std::string default_routing_strategy();

struct Bundle {
    PortMap links;
    std::string routing_strategy = default_routing_strategy();
    Settings settings;
};

// keep_values false: free-form values (instance and bundle settings, placements, unrecognised
// keys) are checked but not kept, for callers that need only the connectivity.
struct ReadOptions {
    bool keep_values = true;
};

struct Netlist {
    OrderedMap<Instance> instances;
    PortMap connections;
    OrderedMap<Bundle> routes;
    std::vector<Net> nets;
    OrderedMap<InstancePort> ports;
    OrderedMap<OrderedMap<Value>> placements;
    OrderedMap<Value> extra;

    static ReadResult<Netlist> from_yaml(std::string_view text);
    static ReadResult<Netlist> from_json(std::string_view text);
    static ReadResult<Netlist> read(const orlim_text::Document& doc, orlim_text::NodeId node,
                                    ReadOptions options = {});

    void write(orlim_text::Writer& w) const;
    std::string to_yaml() const;
    std::string to_json(bool pretty = true) const;
};

// Cell name to netlist, in load order.
using RecursiveNetlist = OrderedMap<Netlist>;

ReadResult<RecursiveNetlist> read_recursive(const orlim_text::Document& doc,
                                            orlim_text::NodeId node, ReadOptions options = {});
ReadResult<RecursiveNetlist> recursive_from_yaml(std::string_view text);
ReadResult<RecursiveNetlist> recursive_from_json(std::string_view text);

void write_recursive(orlim_text::Writer& w, const RecursiveNetlist& netlists);
std::string recursive_to_yaml(const RecursiveNetlist& netlists);
std::string recursive_to_json(const RecursiveNetlist& netlists, bool pretty = true);

// Whether a document is one netlist rather than a map of cells: a mapping whose first key is
// one of the netlist fields (instances, connections, routes, nets, ports, placements).
bool is_netlist_document(const orlim_text::Document& doc, orlim_text::NodeId node);

// Rules shared with the extracted-netlist schema.
namespace read_rules {
// Mapping entries as (key, value) node pairs; an empty YAML value is an empty mapping.
ReadResult<std::span<const orlim_text::NodeId>>
mapping(const orlim_text::Document& doc, orlim_text::NodeId node, std::string_view expected);
ReadResult<std::span<const orlim_text::NodeId>>
sequence(const orlim_text::Document& doc, orlim_text::NodeId node, std::string_view expected);
// A key or a text value: a JSON string, or any YAML scalar read as its text.
ReadResult<std::string_view> text(const orlim_text::Document& doc, orlim_text::NodeId node);
ReadResult<InstancePort> instance_port(const orlim_text::Document& doc, orlim_text::NodeId node);
ReadResult<OrderedMap<InstancePort>> port_names(const orlim_text::Document& doc,
                                                orlim_text::NodeId node);
ReadResult<std::vector<Net>> nets(const orlim_text::Document& doc, orlim_text::NodeId node);
} // namespace read_rules

// Borrowed texts of an instance port.
struct PortRef {
    std::string_view instance;
    std::string_view port;
};

// Writes the port as its text form "instance,port"; `buf` is scratch space.
void write_port_ref(orlim_text::Writer& w, PortRef p, std::string& buf);

// Nets as a sequence of {p1, p2} maps; `ends(item)` gives a pair of PortRef.
template <class Range, class Ends>
void write_nets(orlim_text::Writer& w, const Range& nets, Ends&& ends) {
    std::string buf;
    w.begin_seq();
    for (const auto& n : nets) {
        const auto [p1, p2] = ends(n);
        w.begin_map();
        w.key("p1");
        write_port_ref(w, p1, buf);
        w.key("p2");
        write_port_ref(w, p2, buf);
        w.end_map();
    }
    w.end_seq();
}

// External ports as a map name -> "instance,port"; `exposed(item)` gives (name, PortRef).
template <class Range, class Exposed>
void write_ports(orlim_text::Writer& w, const Range& ports, Exposed&& exposed) {
    std::string buf;
    w.begin_map();
    for (const auto& e : ports) {
        const auto [name, p] = exposed(e);
        w.key(name);
        write_port_ref(w, p, buf);
    }
    w.end_map();
}

inline PortRef port_ref(const InstancePort& p) {
    return {p.instance, p.port};
}
inline std::pair<PortRef, PortRef> net_refs(const Net& n) {
    return {port_ref(n.p1), port_ref(n.p2)};
}
inline std::pair<std::string_view, PortRef>
exposed_ref(const std::pair<std::string, InstancePort>& e) {
    return {e.first, port_ref(e.second)};
}

inline void write_nets(orlim_text::Writer& w, const std::vector<Net>& nets) {
    write_nets(w, nets, net_refs);
}
inline void write_ports(orlim_text::Writer& w, const OrderedMap<InstancePort>& ports) {
    write_ports(w, ports, exposed_ref);
}

} // namespace px_netlist
