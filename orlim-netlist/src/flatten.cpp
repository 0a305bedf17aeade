// Hierarchy flattening, top-down with an explicit stack: leaf instances and nets are written
// straight into the result under their full path, so deep hierarchies neither overflow the
// call stack nor rebuild names level by level.
#include <unordered_map>
#include <unordered_set>

#include "orlim_netlist/extracted.hpp"

namespace orlim_netlist {

namespace {

using px_netlist::Netlist;
using px_netlist::RecursiveNetlist;
using px_netlist::StringEq;
using px_netlist::StringHash;

// Exposed ports of one flattened cell instance, in flattened terms.
using PortRedirect = OrderedMap<InstancePort>;

struct Frame {
    const Netlist* netlist;
    std::string_view cell;
    std::size_t prefix_length; // of the shared path: this cell instance's path and "~"
    std::size_t next = 0;      // next instance to visit
    // Cell instance name -> its exposed ports; filled as the sub-cells finish.
    std::unordered_map<std::string_view, PortRedirect, StringHash, StringEq> redirect;
};

InstancePort resolve(const Frame& f, const std::string& path, const InstancePort& end) {
    if (auto it = f.redirect.find(end.instance); it != f.redirect.end()) {
        if (auto p = it->second.find(end.port); p != it->second.end()) {
            return p->second;
        }
    }
    return {path + end.instance, end.port};
}

} // namespace

ExtractedNetlist flatten_recursive(const RecursiveNetlist& schematics, std::string_view cell) {
    ExtractedNetlist out;
    auto top = schematics.find(cell);
    if (top == schematics.end()) {
        return out;
    }
    std::vector<Frame> stack;
    std::unordered_set<std::string_view, StringHash, StringEq> active; // cells on the path
    // The path of the innermost frame; frames keep only its length, so that a deep hierarchy
    // costs memory in proportion to its depth.
    std::string path;
    stack.push_back({&top->second, top->first, 0, 0, {}});
    active.insert(top->first);
    OrderedMap<std::string> element_names;

    while (!stack.empty()) {
        Frame& f = stack.back();
        path.resize(f.prefix_length);
        const auto& instances = f.netlist->instances;
        if (f.next < instances.size()) {
            const auto& [name, inst] = *(instances.begin() + static_cast<std::ptrdiff_t>(f.next));
            ++f.next;
            auto sub = schematics.find(inst.component);
            if (sub != schematics.end() && !active.contains(sub->first)) {
                active.insert(sub->first);
                path += name;
                path += '~';
                stack.push_back({&sub->second, sub->first, path.size(), 0, {}});
                continue;
            }
            // A leaf instance (also one that closes a cycle).
            element_names.clear();
            expand_instance(element_names, name, inst);
            for (const auto& [element, component] : element_names) {
                out.instances.insert_or_assign(path + element, component);
            }
            continue;
        }
        // All instances visited: the cell's own nets, then its exposed ports.
        const Netlist& nl = *f.netlist;
        for (const auto& [from, to] : nl.connections) {
            out.nets.push_back({resolve(f, path, from), resolve(f, path, to)});
        }
        for (const Net& n : nl.nets) {
            out.nets.push_back({resolve(f, path, n.p1), resolve(f, path, n.p2)});
        }
        for (const auto& [route, b] : nl.routes) {
            for (const auto& [from, to] : b.links) {
                out.nets.push_back({resolve(f, path, from), resolve(f, path, to)});
            }
        }
        PortRedirect exposed;
        exposed.reserve(nl.ports.size());
        for (const auto& [port, target] : nl.ports) {
            exposed.insert_or_assign(port, resolve(f, path, target));
        }
        active.erase(f.cell);
        if (stack.size() == 1) {
            out.ports = std::move(exposed);
            break;
        }
        // The parent's instance that this frame flattened is the one before its `next`.
        Frame& parent = stack[stack.size() - 2];
        const std::string& instance_name =
            (parent.netlist->instances.begin() + static_cast<std::ptrdiff_t>(parent.next - 1))
                ->first;
        parent.redirect.insert_or_assign(instance_name, std::move(exposed));
        stack.pop_back();
    }
    return out;
}

ExtractedNetlist reduce_recursive(const RecursiveNetlist& schematics) {
    if (schematics.empty()) {
        return {};
    }
    if (schematics.size() == 1) {
        return ExtractedNetlist::from_netlist(schematics.begin()->second);
    }
    return flatten_recursive(schematics, schematics.begin()->first);
}

} // namespace orlim_netlist
