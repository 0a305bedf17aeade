// Reading rules of the netlist document, written once against the document tree.
#include <algorithm>

#include "px_netlist/netlist.hpp"

namespace px_netlist {

using orlim_text::Document;
using orlim_text::NodeId;
using orlim_text::NodeKind;

namespace read_rules {

ReadResult<std::span<const NodeId>> mapping(const Document& doc, NodeId node,
                                            std::string_view expected) {
    if (doc.kind(node) == NodeKind::Map) {
        return doc.children(node);
    }
    if (doc.is_empty_scalar(node)) {
        return std::span<const NodeId>{};
    }
    return std::unexpected(doc.type_error(node, expected));
}

ReadResult<std::span<const NodeId>> sequence(const Document& doc, NodeId node,
                                             std::string_view expected) {
    if (doc.kind(node) == NodeKind::Seq) {
        return doc.children(node);
    }
    if (doc.is_empty_scalar(node)) {
        return std::span<const NodeId>{};
    }
    return std::unexpected(doc.type_error(node, expected));
}

ReadResult<std::string_view> text(const Document& doc, NodeId node) {
    std::string_view s;
    if (doc.scalar_text(node, s)) {
        return s;
    }
    return std::unexpected(doc.type_error(node, "a string"));
}

ReadResult<InstancePort> instance_port(const Document& doc, NodeId node) {
    auto s = text(doc, node);
    if (!s) {
        return std::unexpected(s.error());
    }
    auto p = InstancePort::parse(*s);
    if (!p) {
        return std::unexpected(doc.error(node, p.error()));
    }
    return std::move(*p);
}

ReadResult<OrderedMap<InstancePort>> port_names(const Document& doc, NodeId node) {
    auto entries = mapping(doc, node, "a map");
    if (!entries) {
        return std::unexpected(entries.error());
    }
    OrderedMap<InstancePort> out;
    out.reserve(entries->size() / 2);
    for (std::size_t k = 0; k + 1 < entries->size(); k += 2) {
        auto name = text(doc, (*entries)[k]);
        if (!name) {
            return std::unexpected(name.error());
        }
        auto port = instance_port(doc, (*entries)[k + 1]);
        if (!port) {
            return std::unexpected(port.error());
        }
        out.insert_or_assign(std::string(*name), std::move(*port));
    }
    return out;
}

namespace {

ReadResult<PortMap> port_map(const Document& doc, NodeId node) {
    auto entries = mapping(doc, node, "a map");
    if (!entries) {
        return std::unexpected(entries.error());
    }
    PortMap out;
    out.reserve(entries->size() / 2);
    for (std::size_t k = 0; k + 1 < entries->size(); k += 2) {
        auto from = instance_port(doc, (*entries)[k]);
        if (!from) {
            return std::unexpected(from.error());
        }
        auto to = instance_port(doc, (*entries)[k + 1]);
        if (!to) {
            return std::unexpected(to.error());
        }
        out.insert_or_assign(std::move(*from), std::move(*to));
    }
    return out;
}

// A mapping of text keys to generic values, in document order.
ReadResult<OrderedMap<Value>> value_map(const Document& doc, NodeId node, bool keep) {
    auto entries = mapping(doc, node, "a map");
    if (!entries) {
        return std::unexpected(entries.error());
    }
    OrderedMap<Value> out;
    out.reserve(entries->size() / 2);
    for (std::size_t k = 0; k + 1 < entries->size(); k += 2) {
        auto key = text(doc, (*entries)[k]);
        if (!key) {
            return std::unexpected(key.error());
        }
        if (!keep) {
            if (auto check = doc.check_value((*entries)[k + 1]); !check) {
                return std::unexpected(check.error());
            }
            continue;
        }
        auto v = doc.to_value((*entries)[k + 1]);
        if (!v) {
            return std::unexpected(v.error());
        }
        out.insert_or_assign(std::string(*key), std::move(*v));
    }
    return out;
}

ReadError duplicate(const Document& doc, NodeId key, std::string_view field) {
    return doc.error(key, "duplicate field `" + std::string(field) + "`");
}

ReadResult<Net> net(const Document& doc, NodeId node) {
    Net out;
    if (doc.kind(node) == NodeKind::Seq && doc.is_json()) {
        auto items = doc.children(node);
        if (items.size() > 2) {
            return std::unexpected(doc.error(node, "invalid length " +
                                                       std::to_string(items.size()) +
                                                       ", expected struct Net with 2 elements"));
        }
        InstancePort* fields[] = {&out.p1, &out.p2};
        for (std::size_t i = 0; i < items.size(); ++i) {
            auto p = instance_port(doc, items[i]);
            if (!p) {
                return std::unexpected(p.error());
            }
            *fields[i] = std::move(*p);
        }
        return out;
    }
    auto entries = mapping(doc, node, "struct Net");
    if (!entries) {
        return std::unexpected(entries.error());
    }
    bool seen1 = false, seen2 = false;
    for (std::size_t k = 0; k + 1 < entries->size(); k += 2) {
        auto key = text(doc, (*entries)[k]);
        if (!key) {
            return std::unexpected(key.error());
        }
        InstancePort* target = nullptr;
        if (*key == "p1") {
            if (seen1) {
                return std::unexpected(duplicate(doc, (*entries)[k], "p1"));
            }
            seen1 = true;
            target = &out.p1;
        } else if (*key == "p2") {
            if (seen2) {
                return std::unexpected(duplicate(doc, (*entries)[k], "p2"));
            }
            seen2 = true;
            target = &out.p2;
        } else {
            continue;
        }
        auto p = instance_port(doc, (*entries)[k + 1]);
        if (!p) {
            return std::unexpected(p.error());
        }
        *target = std::move(*p);
    }
    return out;
}

ReadResult<Bundle> bundle(const Document& doc, NodeId node, bool keep) {
    Bundle out;
    auto set_links = [&](NodeId v) -> ReadResult<void> {
        auto links = port_map(doc, v);
        if (!links) {
            return std::unexpected(links.error());
        }
        out.links = std::move(*links);
        return {};
    };
    auto set_strategy = [&](NodeId v) -> ReadResult<void> {
        auto s = text(doc, v);
        if (!s) {
            return std::unexpected(s.error());
        }
        out.routing_strategy = std::string(*s);
        return {};
    };
    auto set_settings = [&](NodeId v) -> ReadResult<void> {
        auto s = value_map(doc, v, keep);
        if (!s) {
            return std::unexpected(s.error());
        }
        out.settings = std::move(*s);
        return {};
    };
    if (doc.kind(node) == NodeKind::Seq && doc.is_json()) {
        auto items = doc.children(node);
        if (items.size() > 3) {
            return std::unexpected(doc.error(node, "invalid length " +
                                                       std::to_string(items.size()) +
                                                       ", expected struct Bundle with 3 elements"));
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            auto r = i == 0   ? set_links(items[i])
                     : i == 1 ? set_strategy(items[i])
                              : set_settings(items[i]);
            if (!r) {
                return std::unexpected(r.error());
            }
        }
        return out;
    }
    auto entries = mapping(doc, node, "struct Bundle");
    if (!entries) {
        return std::unexpected(entries.error());
    }
    bool seen[3] = {false, false, false};
    for (std::size_t k = 0; k + 1 < entries->size(); k += 2) {
        auto key = text(doc, (*entries)[k]);
        if (!key) {
            return std::unexpected(key.error());
        }
        int field = *key == "links"              ? 0
                    : *key == "routing_strategy" ? 1
                    : *key == "settings"         ? 2
                                                 : -1;
        if (field < 0) {
            continue;
        }
        if (seen[field]) {
            return std::unexpected(duplicate(doc, (*entries)[k], *key));
        }
        seen[field] = true;
        const NodeId v = (*entries)[k + 1];
        auto r = field == 0 ? set_links(v) : field == 1 ? set_strategy(v) : set_settings(v);
        if (!r) {
            return std::unexpected(r.error());
        }
    }
    return out;
}

bool is_count(const Document& doc, NodeId v, std::uint64_t& out) {
    if (doc.kind(v) != NodeKind::UInt) {
        return false;
    }
    out = doc.as_uint(v);
    return true;
}

bool is_pitch(const Document& doc, NodeId v, float& out) {
    const NodeKind k = doc.kind(v);
    if (k != NodeKind::Int && k != NodeKind::UInt && k != NodeKind::Float) {
        return false;
    }
    out = static_cast<float>(doc.as_double(v));
    return true;
}

// An instance's "array" value; nothing when it does not convert.
std::optional<Array> array(const Document& doc, NodeId node) {
    Array a;
    if (doc.kind(node) == NodeKind::Seq) {
        auto items = doc.children(node);
        if (items.size() > 4) {
            return std::nullopt;
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            const bool ok = i == 0   ? is_count(doc, items[i], a.columns)
                            : i == 1 ? is_count(doc, items[i], a.rows)
                            : i == 2 ? is_pitch(doc, items[i], a.column_pitch)
                                     : is_pitch(doc, items[i], a.row_pitch);
            if (!ok) {
                return std::nullopt;
            }
        }
        return a;
    }
    if (doc.kind(node) != NodeKind::Map) {
        return std::nullopt;
    }
    auto kids = doc.children(node);
    for (std::size_t k = 0; k + 1 < kids.size(); k += 2) {
        std::string_view key;
        doc.scalar_text(kids[k], key);
        const NodeId v = kids[k + 1];
        bool ok = true;
        if (key == "columns") {
            ok = is_count(doc, v, a.columns);
        } else if (key == "rows") {
            ok = is_count(doc, v, a.rows);
        } else if (key == "column_pitch") {
            ok = is_pitch(doc, v, a.column_pitch);
        } else if (key == "row_pitch") {
            ok = is_pitch(doc, v, a.row_pitch);
        }
        if (!ok) {
            return std::nullopt;
        }
    }
    return a;
}

// The instance value is read as a generic value first: a string is the component, a mapping
// holds the fields, with a repeated key taking its last value and settings in key order.
ReadResult<Instance> instance(const Document& doc, NodeId node, bool keep) {
    Instance out;
    const NodeKind kind = doc.kind(node);
    if (kind == NodeKind::String) {
        out.component = std::string(doc.string(node));
        return out;
    }
    if (kind != NodeKind::Map) {
        return std::unexpected(doc.error(node, "Invalid data format for Instance"));
    }
    auto kids = doc.children(node);
    std::optional<NodeId> component, settings, arr, virt;
    for (std::size_t k = 0; k + 1 < kids.size(); k += 2) {
        std::string_view key;
        if (!doc.scalar_text(kids[k], key)) {
            return std::unexpected(doc.type_error(kids[k], "a string"));
        }
        const NodeId v = kids[k + 1];
        std::optional<NodeId>* slot = key == "component"  ? &component
                                      : key == "settings" ? &settings
                                      : key == "array"    ? &arr
                                      : key == "virtual"  ? &virt
                                                          : nullptr;
        if (slot != nullptr && !slot->has_value()) {
            *slot = v;
            continue;
        }
        // Values that are not used still have to be valid generic values.
        const NodeId unused = slot != nullptr ? **slot : v;
        if (slot != nullptr) {
            *slot = v;
        }
        if (auto check = doc.check_value(unused); !check) {
            return std::unexpected(check.error());
        }
    }
    std::vector<std::pair<std::string_view, NodeId>> setting_entries;
    if (settings && doc.kind(*settings) == NodeKind::Map) {
        auto s = doc.children(*settings);
        setting_entries.reserve(keep ? s.size() / 2 : 0);
        for (std::size_t k = 0; k + 1 < s.size(); k += 2) {
            std::string_view key;
            if (!doc.scalar_text(s[k], key)) {
                return std::unexpected(doc.type_error(s[k], "a string"));
            }
            if (keep) {
                setting_entries.emplace_back(key, s[k + 1]);
            } else if (auto check = doc.check_value(s[k + 1]); !check) {
                return std::unexpected(check.error());
            }
        }
    }
    for (const std::optional<NodeId>& used : {arr, virt}) {
        if (used) {
            if (auto check = doc.check_value(*used); !check) {
                return std::unexpected(check.error());
            }
        }
    }
    if (!component || doc.kind(*component) != NodeKind::String) {
        return std::unexpected(doc.error(node, "missing field `component`"));
    }
    out.component = std::string(doc.string(*component));
    if (settings) {
        if (doc.kind(*settings) != NodeKind::Map) {
            return std::unexpected(doc.error(*settings, "Invalid data format for settings"));
        }
        // Ascending key order; a repeated key keeps its last value.
        std::stable_sort(setting_entries.begin(), setting_entries.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        out.settings.reserve(setting_entries.size());
        for (std::size_t i = 0; i < setting_entries.size(); ++i) {
            if (i + 1 < setting_entries.size() &&
                setting_entries[i + 1].first == setting_entries[i].first) {
                continue;
            }
            auto v = doc.to_value(setting_entries[i].second);
            if (!v) {
                return std::unexpected(v.error());
            }
            out.settings.emplace(std::string(setting_entries[i].first), std::move(*v));
        }
    }
    if (arr) {
        out.array = array(doc, *arr);
    }
    out.virtual_ = virt && doc.kind(*virt) == NodeKind::Bool && doc.as_bool(*virt);
    return out;
}

} // namespace

ReadResult<std::vector<Net>> nets(const Document& doc, NodeId node) {
    auto items = sequence(doc, node, "a sequence");
    if (!items) {
        return std::unexpected(items.error());
    }
    std::vector<Net> out;
    out.reserve(items->size());
    for (NodeId item : *items) {
        auto n = net(doc, item);
        if (!n) {
            return std::unexpected(n.error());
        }
        out.push_back(std::move(*n));
    }
    return out;
}

} // namespace read_rules

using namespace read_rules;

namespace {

ReadResult<OrderedMap<Instance>> read_instances(const Document& doc, NodeId node, bool keep) {
    auto entries = mapping(doc, node, "a map");
    if (!entries) {
        return std::unexpected(entries.error());
    }
    OrderedMap<Instance> out;
    out.reserve(entries->size() / 2);
    for (std::size_t k = 0; k + 1 < entries->size(); k += 2) {
        auto name = text(doc, (*entries)[k]);
        if (!name) {
            return std::unexpected(name.error());
        }
        auto inst = read_rules::instance(doc, (*entries)[k + 1], keep);
        if (!inst) {
            return std::unexpected(inst.error());
        }
        out.insert_or_assign(std::string(*name), std::move(*inst));
    }
    return out;
}

ReadResult<OrderedMap<Bundle>> read_routes(const Document& doc, NodeId node, bool keep) {
    auto entries = mapping(doc, node, "a map");
    if (!entries) {
        return std::unexpected(entries.error());
    }
    OrderedMap<Bundle> out;
    for (std::size_t k = 0; k + 1 < entries->size(); k += 2) {
        auto name = text(doc, (*entries)[k]);
        if (!name) {
            return std::unexpected(name.error());
        }
        auto b = read_rules::bundle(doc, (*entries)[k + 1], keep);
        if (!b) {
            return std::unexpected(b.error());
        }
        out.insert_or_assign(std::string(*name), std::move(*b));
    }
    return out;
}

ReadResult<OrderedMap<OrderedMap<Value>>> read_placements(const Document& doc, NodeId node,
                                                          bool keep) {
    auto entries = mapping(doc, node, "a map");
    if (!entries) {
        return std::unexpected(entries.error());
    }
    OrderedMap<OrderedMap<Value>> out;
    out.reserve(entries->size() / 2);
    for (std::size_t k = 0; k + 1 < entries->size(); k += 2) {
        auto name = text(doc, (*entries)[k]);
        if (!name) {
            return std::unexpected(name.error());
        }
        auto fields = read_rules::value_map(doc, (*entries)[k + 1], keep);
        if (!fields) {
            return std::unexpected(fields.error());
        }
        if (keep) {
            out.insert_or_assign(std::string(*name), std::move(*fields));
        }
    }
    return out;
}

template <class T, class F> ReadResult<void> assign(T& field, F&& read) {
    auto v = read();
    if (!v) {
        return std::unexpected(v.error());
    }
    field = std::move(*v);
    return {};
}

constexpr std::string_view kFields[] = {"instances", "connections", "routes",
                                        "nets",      "ports",       "placements"};

} // namespace

ReadResult<Netlist> Netlist::read(const Document& doc, NodeId node, ReadOptions options) {
    const bool keep = options.keep_values;
    auto entries = mapping(doc, node, "Could not deserialize netlist");
    if (!entries) {
        return std::unexpected(entries.error());
    }
    Netlist out;
    for (std::size_t k = 0; k + 1 < entries->size(); k += 2) {
        auto key = text(doc, (*entries)[k]);
        if (!key) {
            return std::unexpected(key.error());
        }
        const NodeId v = (*entries)[k + 1];
        ReadResult<void> r;
        if (*key == "instances") {
            r = assign(out.instances, [&] { return read_instances(doc, v, keep); });
        } else if (*key == "connections") {
            r = assign(out.connections, [&] { return port_map(doc, v); });
        } else if (*key == "routes") {
            r = assign(out.routes, [&] { return read_routes(doc, v, keep); });
        } else if (*key == "nets") {
            r = assign(out.nets, [&] { return read_rules::nets(doc, v); });
        } else if (*key == "ports") {
            r = assign(out.ports, [&] { return port_names(doc, v); });
        } else if (*key == "placements") {
            r = assign(out.placements, [&] { return read_placements(doc, v, keep); });
        } else if (*key == "_extra") {
            continue;
        } else {
            if (!keep) {
                if (auto check = doc.check_value(v); !check) {
                    return std::unexpected(check.error());
                }
                continue;
            }
            auto value = doc.to_value(v);
            if (!value) {
                return std::unexpected(value.error());
            }
            out.extra.insert_or_assign(std::string(*key), std::move(*value));
        }
        if (!r) {
            return std::unexpected(r.error());
        }
    }
    return out;
}

ReadResult<Netlist> Netlist::from_yaml(std::string_view text) {
    auto doc = Document::from_yaml(text);
    if (!doc) {
        return std::unexpected(doc.error());
    }
    return read(*doc, doc->root());
}

ReadResult<Netlist> Netlist::from_json(std::string_view text) {
    auto doc = Document::from_json(text);
    if (!doc) {
        return std::unexpected(doc.error());
    }
    return read(*doc, doc->root());
}

ReadResult<RecursiveNetlist> read_recursive(const Document& doc, NodeId node, ReadOptions options) {
    auto entries = mapping(doc, node, "a map");
    if (!entries) {
        return std::unexpected(entries.error());
    }
    RecursiveNetlist out;
    for (std::size_t k = 0; k + 1 < entries->size(); k += 2) {
        auto name = text(doc, (*entries)[k]);
        if (!name) {
            return std::unexpected(name.error());
        }
        auto netlist = Netlist::read(doc, (*entries)[k + 1], options);
        if (!netlist) {
            return std::unexpected(netlist.error());
        }
        out.insert_or_assign(std::string(*name), std::move(*netlist));
    }
    return out;
}

ReadResult<RecursiveNetlist> recursive_from_yaml(std::string_view text) {
    auto doc = Document::from_yaml(text);
    if (!doc) {
        return std::unexpected(doc.error());
    }
    return read_recursive(*doc, doc->root());
}

ReadResult<RecursiveNetlist> recursive_from_json(std::string_view text) {
    auto doc = Document::from_json(text);
    if (!doc) {
        return std::unexpected(doc.error());
    }
    return read_recursive(*doc, doc->root());
}

bool is_netlist_document(const Document& doc, NodeId node) {
    if (doc.kind(node) != NodeKind::Map || doc.children(node).empty()) {
        return false;
    }
    std::string_view key;
    if (!doc.scalar_text(doc.children(node)[0], key)) {
        return false;
    }
    return std::find(std::begin(kFields), std::end(kFields), key) != std::end(kFields);
}

} // namespace px_netlist
