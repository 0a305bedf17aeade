#include "orlim_netlist/extracted.hpp"

namespace orlim_netlist {

using orlim_text::Document;
using orlim_text::NodeId;
using orlim_text::NodeKind;
using orlim_text::Writer;
namespace rules = px_netlist::read_rules;

namespace {

ReadResult<OrderedMap<std::string>> instance_names(const Document& doc, NodeId node) {
    auto entries = rules::mapping(doc, node, "a map");
    if (!entries) {
        return std::unexpected(entries.error());
    }
    OrderedMap<std::string> out;
    out.reserve(entries->size() / 2);
    for (std::size_t k = 0; k + 1 < entries->size(); k += 2) {
        auto name = rules::text(doc, (*entries)[k]);
        if (!name) {
            return std::unexpected(name.error());
        }
        auto component = rules::text(doc, (*entries)[k + 1]);
        if (!component) {
            return std::unexpected(component.error());
        }
        out.insert_or_assign(std::string(*name), std::string(*component));
    }
    return out;
}

} // namespace

ReadResult<ExtractedNetlist> ExtractedNetlist::read(const Document& doc, NodeId node) {
    ExtractedNetlist out;
    auto field = [&](int index, NodeId v) -> ReadResult<void> {
        if (index == 0) {
            auto r = instance_names(doc, v);
            if (!r) {
                return std::unexpected(r.error());
            }
            out.instances = std::move(*r);
        } else if (index == 1) {
            auto r = rules::nets(doc, v);
            if (!r) {
                return std::unexpected(r.error());
            }
            out.nets = std::move(*r);
        } else {
            auto r = rules::port_names(doc, v);
            if (!r) {
                return std::unexpected(r.error());
            }
            out.ports = std::move(*r);
        }
        return {};
    };
    if (doc.kind(node) == NodeKind::Seq && doc.is_json()) {
        auto items = doc.children(node);
        if (items.size() > 3) {
            return std::unexpected(
                doc.error(node, "invalid length " + std::to_string(items.size()) +
                                    ", expected struct ExtractedNetlist with 3 elements"));
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (auto r = field(static_cast<int>(i), items[i]); !r) {
                return std::unexpected(r.error());
            }
        }
        return out;
    }
    auto entries = rules::mapping(doc, node, "struct ExtractedNetlist");
    if (!entries) {
        return std::unexpected(entries.error());
    }
    bool seen[3] = {false, false, false};
    for (std::size_t k = 0; k + 1 < entries->size(); k += 2) {
        auto key = rules::text(doc, (*entries)[k]);
        if (!key) {
            return std::unexpected(key.error());
        }
        const int index = *key == "instances" ? 0 : *key == "nets" ? 1 : *key == "ports" ? 2 : -1;
        if (index < 0) {
            continue;
        }
        if (seen[index]) {
            return std::unexpected(
                doc.error((*entries)[k], "duplicate field `" + std::string(*key) + "`"));
        }
        seen[index] = true;
        if (auto r = field(index, (*entries)[k + 1]); !r) {
            return std::unexpected(r.error());
        }
    }
    return out;
}

ReadResult<ExtractedNetlist> ExtractedNetlist::from_yaml(std::string_view text) {
    auto doc = Document::from_yaml(text);
    if (!doc) {
        return std::unexpected(doc.error());
    }
    return read(*doc, doc->root());
}

ReadResult<ExtractedNetlist> ExtractedNetlist::from_json(std::string_view text) {
    auto doc = Document::from_json(text);
    if (!doc) {
        return std::unexpected(doc.error());
    }
    return read(*doc, doc->root());
}

void ExtractedNetlist::write(Writer& w) const {
    write_extracted(w, instances, nets, px_netlist::net_refs, ports, px_netlist::exposed_ref);
}

std::string ExtractedNetlist::to_yaml() const {
    return orlim_text::to_yaml([this](Writer& w) { write(w); });
}

std::string ExtractedNetlist::to_json(bool pretty) const {
    return orlim_text::to_json([this](Writer& w) { write(w); }, pretty);
}

void expand_instance(OrderedMap<std::string>& out, std::string_view name,
                     const px_netlist::Instance& instance) {
    const auto& a = instance.array;
    // Product of at least 2, without overflowing: both non-zero and not both 1.
    if (a && a->columns != 0 && a->rows != 0 && (a->columns > 1 || a->rows > 1)) {
        std::string element;
        for (std::uint64_t c = 0; c < a->columns; ++c) {
            for (std::uint64_t r = 0; r < a->rows; ++r) {
                px_netlist::array_element_name(element, name, c, r);
                out.insert_or_assign(element, instance.component);
            }
        }
        return;
    }
    out.insert_or_assign(std::string(name), instance.component);
}

OrderedMap<std::string> expand_instances(const OrderedMap<px_netlist::Instance>& instances) {
    OrderedMap<std::string> out;
    out.reserve(instances.size());
    for (const auto& [name, inst] : instances) {
        expand_instance(out, name, inst);
    }
    return out;
}

namespace {

template <class N> ExtractedNetlist convert(N&& netlist) {
    ExtractedNetlist out;
    out.instances = expand_instances(netlist.instances);
    std::size_t links = 0;
    for (const auto& [name, b] : netlist.routes) {
        links += b.links.size();
    }
    out.nets.reserve(netlist.connections.size() + netlist.nets.size() + links);
    for (const auto& [from, to] : netlist.connections) {
        out.nets.push_back({from, to});
    }
    if constexpr (std::is_rvalue_reference_v<N&&>) {
        std::move(netlist.nets.begin(), netlist.nets.end(), std::back_inserter(out.nets));
        netlist.nets.clear();
        out.ports = std::move(netlist.ports);
        netlist.ports.clear();
    } else {
        out.nets.insert(out.nets.end(), netlist.nets.begin(), netlist.nets.end());
        out.ports = netlist.ports;
    }
    for (const auto& [name, b] : netlist.routes) {
        for (const auto& [from, to] : b.links) {
            out.nets.push_back({from, to});
        }
    }
    return out;
}

} // namespace

ExtractedNetlist ExtractedNetlist::from_netlist(const px_netlist::Netlist& netlist) {
    return convert(netlist);
}

ExtractedNetlist ExtractedNetlist::from_netlist(px_netlist::Netlist&& netlist) {
    return convert(std::move(netlist));
}

px_netlist::Netlist ExtractedNetlist::into_netlist() && {
    px_netlist::Netlist out;
    out.instances.reserve(instances.size());
    for (auto& [name, component] : instances) {
        px_netlist::Instance inst;
        inst.component = component;
        out.instances.emplace(name, std::move(inst));
    }
    out.nets = std::move(nets);
    out.ports = std::move(ports);
    instances.clear();
    return out;
}

} // namespace orlim_netlist
