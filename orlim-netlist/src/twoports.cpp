// Two-port removal. Every instance and port is looked up once; the per-port state of a trace
// is kept with the instance, and each trace stores its outcome on every port it passed, so
// that all traces together walk each chain once.
#include "orlim_netlist/twoports.hpp"

#include <array>
#include <cstdint>
#include <vector>

namespace orlim_netlist {

ComponentFilter ComponentFilter::from_list(std::span<const std::string> entries) {
    auto is_all = [](std::string_view s) {
        constexpr std::string_view word = "all";
        if (s.size() != word.size()) {
            return false;
        }
        for (std::size_t i = 0; i < s.size(); ++i) {
            const char c = s[i] >= 'A' && s[i] <= 'Z' ? static_cast<char>(s[i] - 'A' + 'a') : s[i];
            if (c != word[i]) {
                return false;
            }
        }
        return true;
    };
    if (entries.size() == 1 && is_all(entries[0])) {
        return all_components();
    }
    ComponentFilter out;
    out.names.insert(entries.begin(), entries.end());
    return out;
}

PortUsage count_ports_from_nets(const ExtractedNetlist& netlist) {
    PortUsage out;
    for (const Net& net : netlist.nets) {
        out[net.p1.instance].insert(net.p1.port);
        out[net.p2.instance].insert(net.p2.port);
    }
    for (const auto& [name, target] : netlist.ports) {
        out[target.instance].insert(target.port);
    }
    return out;
}

namespace {

enum class Trace : std::uint8_t { Unknown, Running, Done, Failed };

// What one instance's ports are used for. Only whether exactly two distinct ports are in use
// matters, so two names and a capped count suffice.
struct Usage {
    std::array<std::string_view, 2> ports;
    std::uint8_t count = 0; // distinct ports in use, at most 3
    bool twoport = false;
    // Per port of a two-port instance: the net end that the port continues into (nullptr when
    // no net continues it), and the outcome of tracing from the port.
    std::array<const InstancePort*, 2> neighbour{};
    std::array<Usage*, 2> neighbour_usage{};
    std::array<Trace, 2> trace{Trace::Unknown, Trace::Unknown};
    std::array<const InstancePort*, 2> result{};

    void add(std::string_view port) {
        if ((count >= 1 && ports[0] == port) || (count >= 2 && ports[1] == port)) {
            return;
        }
        if (count < 2) {
            ports[count] = port;
        }
        if (count < 3) {
            ++count;
        }
    }
    int side(std::string_view port) const {
        if (count >= 1 && ports[0] == port) {
            return 0;
        }
        if (count >= 2 && ports[1] == port) {
            return 1;
        }
        return -1;
    }
};

using UsageMap = std::unordered_map<std::string_view, Usage, StringHash, StringEq>;

// The two resolved ends of a net, compared without regard to their order.
struct NetKey {
    const InstancePort* a;
    const InstancePort* b;
};
struct NetKeyHash {
    std::size_t operator()(const NetKey& k) const noexcept {
        const px_netlist::InstancePortHash h;
        const std::size_t x = h(*k.a);
        const std::size_t y = h(*k.b);
        return x ^ (y + 0x9e3779b97f4a7c15ULL + (x << 6) + (x >> 2));
    }
};
struct NetKeyEq {
    bool operator()(const NetKey& l, const NetKey& r) const noexcept {
        return *l.a == *r.a && *l.b == *r.b;
    }
};

bool less(const InstancePort& l, const InstancePort& r) {
    if (const int c = l.instance.compare(r.instance); c != 0) {
        return c < 0;
    }
    return l.port < r.port;
}

class Remover {
public:
    Remover(const ExtractedNetlist& netlist, const ComponentFilter& filter) : netlist_(netlist) {
        usage_.reserve(netlist.instances.size() + netlist.ports.size());
        ends_.reserve(netlist.nets.size());
        for (const Net& net : netlist.nets) {
            Usage* a = &usage_[net.p1.instance];
            a->add(net.p1.port);
            Usage* b = &usage_[net.p2.instance];
            b->add(net.p2.port);
            ends_.push_back({a, b});
        }
        port_ends_.reserve(netlist.ports.size());
        for (const auto& [name, target] : netlist.ports) {
            Usage* u = &usage_[target.instance];
            u->add(target.port);
            port_ends_.push_back(u);
        }
        for (auto& [name, u] : usage_) {
            if (u.count != 2) {
                continue;
            }
            if (filter.all) {
                u.twoport = true;
            } else if (auto it = netlist.instances.find(name); it != netlist.instances.end()) {
                u.twoport = filter.matches(it->second);
            }
        }
        for (std::size_t i = 0; i < netlist.nets.size(); ++i) {
            const Net& net = netlist.nets[i];
            auto [a, b] = ends_[i];
            if (a->twoport) {
                const int s = a->side(net.p1.port);
                a->neighbour[s] = &net.p2;
                a->neighbour_usage[s] = b;
            }
            if (b->twoport) {
                const int s = b->side(net.p2.port);
                b->neighbour[s] = &net.p1;
                b->neighbour_usage[s] = a;
            }
        }
    }

    ExtractedNetlist run() {
        ExtractedNetlist out;
        out.instances.reserve(netlist_.instances.size());
        for (const auto& [name, component] : netlist_.instances) {
            auto it = usage_.find(name);
            if (it == usage_.end() || !it->second.twoport) {
                out.instances.emplace(name, component);
            }
        }

        std::unordered_set<NetKey, NetKeyHash, NetKeyEq> emitted;
        emitted.reserve(netlist_.nets.size());
        out.nets.reserve(netlist_.nets.size());
        for (std::size_t i = 0; i < netlist_.nets.size(); ++i) {
            const Net& net = netlist_.nets[i];
            auto [a, b] = ends_[i];
            if (a->twoport && b->twoport) {
                continue; // carried by the traces from the chain's ends
            }
            const InstancePort* p1 = trace(net.p1, a);
            const InstancePort* p2 = trace(net.p2, b);
            if (p1 == nullptr || p2 == nullptr) {
                continue;
            }
            const NetKey key = less(*p2, *p1) ? NetKey{p2, p1} : NetKey{p1, p2};
            if (emitted.insert(key).second) {
                out.nets.push_back({*p1, *p2});
            }
        }

        out.ports.reserve(netlist_.ports.size());
        std::size_t k = 0;
        for (const auto& [name, target] : netlist_.ports) {
            if (const InstancePort* p = trace(target, port_ends_[k++])) {
                out.ports.emplace(name, *p);
            }
        }
        return out;
    }

private:
    // The first port along the chain from `start` whose instance is not a two-port instance,
    // or nullptr when the chain closes into a ring or ends in a port that no net continues.
    const InstancePort* trace(const InstancePort& start, Usage* u) {
        const InstancePort* current = &start;
        const InstancePort* found = nullptr;
        path_.clear();
        while (true) {
            if (!u->twoport) {
                found = current;
                break;
            }
            const int s = u->side(current->port);
            if (s < 0 || u->trace[s] == Trace::Failed || u->trace[s] == Trace::Running) {
                break;
            }
            if (u->trace[s] == Trace::Done) {
                found = u->result[s];
                break;
            }
            u->trace[s] = Trace::Running;
            path_.push_back({u, s});
            const int other = 1 - s;
            if (u->neighbour[other] == nullptr) {
                break;
            }
            current = u->neighbour[other];
            u = u->neighbour_usage[other];
        }
        for (auto [visited, s] : path_) {
            visited->trace[s] = found != nullptr ? Trace::Done : Trace::Failed;
            visited->result[s] = found;
        }
        return found;
    }

    const ExtractedNetlist& netlist_;
    UsageMap usage_;
    std::vector<std::array<Usage*, 2>> ends_; // per net: the usage of p1's and p2's instance
    std::vector<Usage*> port_ends_;           // per external port: its instance's usage
    std::vector<std::pair<Usage*, int>> path_;
};

} // namespace

ExtractedNetlist remove_twoports(const ExtractedNetlist& netlist, const ComponentFilter& filter) {
    return Remover(netlist, filter).run();
}

ExtractedNetlist simplify_netlist(const ExtractedNetlist& netlist, const ComponentFilter& filter) {
    return remove_twoports(netlist, filter);
}

} // namespace orlim_netlist
