// Two-port removal on extracted netlists, and its Plarix form that keeps instance data.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <sstream>

#include "orlim_netlist/simplify.hpp"

using orlim_netlist::ComponentFilter;
using orlim_netlist::ExtractedNetlist;
using orlim_netlist::remove_twoports;
using px_netlist::InstancePort;
using px_netlist::Net;
using px_netlist::Netlist;

namespace {

std::vector<std::string> words(std::string_view text) {
    std::istringstream in{std::string(text)};
    std::vector<std::string> out;
    for (std::string w; in >> w;) {
        out.push_back(w);
    }
    return out;
}

InstancePort port(std::string_view text) {
    auto p = InstancePort::parse(text);
    EXPECT_TRUE(p.has_value()) << text;
    return p ? *p : InstancePort{};
}

// "A:mmi X:straight", "A,o1-X,o1 X,o2-B,o1", "out=X,o2".
ExtractedNetlist build(std::string_view instances, std::string_view nets,
                       std::string_view ports = "") {
    ExtractedNetlist out;
    for (const std::string& w : words(instances)) {
        const std::size_t colon = w.find(':');
        out.instances.insert_or_assign(w.substr(0, colon), w.substr(colon + 1));
    }
    for (const std::string& w : words(nets)) {
        const std::size_t dash = w.find('-');
        out.nets.push_back({port(w.substr(0, dash)), port(w.substr(dash + 1))});
    }
    for (const std::string& w : words(ports)) {
        const std::size_t eq = w.find('=');
        out.ports.insert_or_assign(w.substr(0, eq), port(w.substr(eq + 1)));
    }
    return out;
}

// The same notation, instances without their components: "A B | A,o1-B,o1 | out=A,o1".
std::string summary(const ExtractedNetlist& n) {
    std::string out;
    for (const auto& [name, component] : n.instances) {
        out += (out.empty() ? "" : " ") + name;
    }
    out += " |";
    for (const Net& net : n.nets) {
        out += " " + net.p1.to_string() + "-" + net.p2.to_string();
    }
    out += " |";
    for (const auto& [name, p] : n.ports) {
        out += " " + name + "=" + p.to_string();
    }
    return out;
}

ComponentFilter only(std::initializer_list<std::string> names) {
    const std::vector<std::string> list(names);
    return ComponentFilter::from_list(list);
}

const ComponentFilter all = ComponentFilter::all_components();

TEST(ComponentFilter, FromList) {
    for (const char* word : {"all", "ALL", "All"}) {
        const std::vector<std::string> list{word};
        EXPECT_TRUE(ComponentFilter::from_list(list).all) << word;
    }
    const ComponentFilter two = only({"all", "straight", "straight"});
    EXPECT_FALSE(two.all);
    EXPECT_EQ(two.names.size(), 2u);
    EXPECT_TRUE(two.matches("all"));
    EXPECT_FALSE(two.matches("Straight"));
    EXPECT_FALSE(only({" all"}).all);
    EXPECT_FALSE(only({}).all);
    EXPECT_FALSE(only({}).matches("straight"));
}

TEST(CountPorts, DistinctPortsOfNetsAndExternalPorts) {
    const auto usage = orlim_netlist::count_ports_from_nets(
        build("A:a B:b C:c", "A,o1-B,o1 B,o1-A,o1 A,o2-A,o2", "out=B,o3 again=B,o3"));
    ASSERT_EQ(usage.size(), 2u); // C is used by nothing
    EXPECT_EQ(usage.at("A"), (std::unordered_set<std::string>{"o1", "o2"}));
    EXPECT_EQ(usage.at("B"), (std::unordered_set<std::string>{"o1", "o3"}));
}

TEST(RemoveTwoports, Cases) {
    struct Case {
        const char* what;
        const char* instances;
        const char* nets;
        const char* ports;
        ComponentFilter filter;
        const char* expected;
    };
    const char* const abxy = "A:mmi X:straight Y:bend B:mmi";
    const Case cases[] = {
        {"chain", abxy, "A,o1-X,o1 X,o2-Y,o1 Y,o2-B,o1", "", all, "A B | A,o1-B,o1 |"},
        {"chain written backwards", abxy, "B,o1-Y,o2 Y,o1-X,o2 X,o1-A,o1", "", all,
         "A B | B,o1-A,o1 |"},
        {"first net resolves from its two-port end", abxy, "Y,o2-B,o1 X,o2-Y,o1 A,o1-X,o1", "", all,
         "A B | A,o1-B,o1 |"},
        {"external port on a two-port moves to the chain end", "A:mmi X:straight", "A,o1-X,o1",
         "out=X,o2 in=A,o1", all, "A | | out=A,o1 in=A,o1"},
        {"external ports on both ends of a bare chain are lost", "X:straight Y:straight",
         "X,o2-Y,o1", "in=X,o1 out=Y,o2", all, " | |"},
        {"ring of two-ports alone", "A:mmi B:mmi X:straight Y:bend",
         "X,o2-Y,o1 A,o1-B,o1 Y,o2-X,o1", "", all, "A B | A,o1-B,o1 |"},
        {"net from a two-port to itself", "A:mmi X:straight", "A,o1-X,o1 X,o1-X,o2", "", all,
         "A | |"},
        {"chain running into a ring", "A:mmi X:s Y:s Z:s",
         "A,o1-X,o1 X,o2-Y,o1 Y,o2-Z,o1 Z,o2-Y,o1", "", all, "A | |"},
        {"dead end: the last port is used only by an external port", "A:mmi X:s Y:s",
         "A,o1-X,o1 X,o2-Y,o1", "out=Y,o2", all, "A | | out=A,o1"},
        {"one used port stays", "A:mmi S:straight", "A,o1-S,o1", "", all, "A S | A,o1-S,o1 |"},
        {"three used ports stay", "A:a B:b C:c T:straight", "A,o1-T,o1 B,o1-T,o2 C,o1-T,o3", "",
         all, "A B C T | A,o1-T,o1 B,o1-T,o2 C,o1-T,o3 |"},
        {"two of three ports in use is a two-port", "A:a B:b T:mmi", "A,o1-T,o1 T,o3-B,o1", "", all,
         "A B | A,o1-B,o1 |"},
        {"filter keeps other components", abxy, "A,o1-X,o1 X,o2-Y,o1 Y,o2-B,o1", "",
         only({"straight"}), "A Y B | A,o1-Y,o1 Y,o2-B,o1 |"},
        {"filter names are case-sensitive", abxy, "A,o1-X,o1 X,o2-Y,o1 Y,o2-B,o1", "",
         only({"Straight"}), "A X Y B | A,o1-X,o1 X,o2-Y,o1 Y,o2-B,o1 |"},
        {"empty filter removes nothing but duplicates", "A:a B:b", "A,o1-B,o1 B,o1-A,o1", "",
         only({}), "A B | A,o1-B,o1 |"},
        {"repeated nets and self nets come out once", "A:a B:b",
         "A,o1-A,o1 A,o1-B,o1 A,o1-A,o1 A,o1-B,o1", "", only({}), "A B | A,o1-A,o1 A,o1-B,o1 |"},
        {"two nets onto one two-port port", "A:a B:b C:c X:straight",
         "A,o1-X,o1 B,o1-X,o1 X,o2-C,o1", "", all, "A B C | A,o1-C,o1 B,o1-C,o1 |"},
        {"undeclared instance: removed by all", "A:a B:b", "A,o1-U,o1 U,o2-B,o1", "", all,
         "A B | A,o1-B,o1 |"},
        {"undeclared instance: kept by a set", "A:a B:b", "A,o1-U,o1 U,o2-B,o1", "",
         only({"straight"}), "A B | A,o1-U,o1 U,o2-B,o1 |"},
        {"two chains share nothing", "A:a B:b C:c D:d P:s Q:s",
         "A,o1-P,o1 C,o1-Q,o1 P,o2-B,o1 Q,o2-D,o1", "", all, "A B C D | A,o1-B,o1 C,o1-D,o1 |"},
        {"chain between two ports of one instance", "A:a X:s Y:s", "A,o1-X,o1 X,o2-Y,o1 Y,o2-A,o2",
         "p=A,o3", all, "A | A,o1-A,o2 | p=A,o3"},
    };
    for (const Case& c : cases) {
        const ExtractedNetlist input = build(c.instances, c.nets, c.ports);
        const std::string before = summary(input);
        EXPECT_EQ(summary(remove_twoports(input, c.filter)), c.expected) << c.what;
        EXPECT_EQ(summary(orlim_netlist::simplify_netlist(input, c.filter)), c.expected) << c.what;
        EXPECT_EQ(summary(input), before) << c.what << ": input changed";
    }
}

// A chain A - X1 - ... - Xk - B with its nets in every order and orientation: one net between
// A,o1 and B,o1 remains, oriented as the first of the two outer nets in the list points (its
// p1 on A's side gives A first).
TEST(RemoveTwoports, EveryOrientationAndOrderOfAChain) {
    for (int k = 1; k <= 3; ++k) {
        std::vector<Net> chain;
        std::string instances = "A:a B:b";
        std::string prev = "A,o1";
        for (int i = 1; i <= k; ++i) {
            const std::string x = "X" + std::to_string(i);
            instances += " " + x + ":straight";
            chain.push_back({port(prev), port(x + ",o1")});
            prev = x + ",o2";
        }
        chain.push_back({port(prev), port("B,o1")});
        std::vector<std::size_t> order(chain.size());
        std::iota(order.begin(), order.end(), 0);
        int variants = 0;
        do {
            for (unsigned flips = 0; flips < (1u << chain.size()); ++flips) {
                ExtractedNetlist n = build(instances, "");
                for (std::size_t i : order) {
                    const Net& net = chain[i];
                    n.nets.push_back((flips >> i) & 1u ? Net{net.p2, net.p1} : net);
                }
                const std::size_t outer = *std::find_if(order.begin(), order.end(), [&](auto i) {
                    return i == 0 || i + 1 == chain.size();
                });
                const bool first_flipped = (flips >> outer) & 1u;
                const std::string expected =
                    first_flipped ? "A B | B,o1-A,o1 |" : "A B | A,o1-B,o1 |";
                EXPECT_EQ(summary(remove_twoports(n, all)), expected) << summary(n);
                ++variants;
            }
        } while (std::next_permutation(order.begin(), order.end()));
        EXPECT_GT(variants, 1);
    }
}

TEST(RemoveTwoports, LongChain) {
    // Deep enough that a recursive trace would exhaust the stack.
    constexpr int length = 50000;
    ExtractedNetlist n;
    n.instances.emplace("A", "a");
    std::string prev_instance = "A";
    std::string prev_port = "o1";
    for (int i = 0; i < length; ++i) {
        const std::string x = "x" + std::to_string(i);
        n.instances.emplace(x, "straight");
        n.nets.push_back({{prev_instance, prev_port}, {x, "o1"}});
        prev_instance = x;
        prev_port = "o2";
    }
    n.instances.emplace("B", "b");
    n.nets.push_back({{prev_instance, prev_port}, {"B", "o1"}});
    n.ports.emplace("mid", InstancePort{"x100", "o1"});
    const ExtractedNetlist out = remove_twoports(n, all);
    // The trace leaves an exposed port through the instance's other port.
    EXPECT_EQ(summary(out), "A B | A,o1-B,o1 | mid=B,o1");
}

Netlist plarix(const char* yaml) {
    auto n = Netlist::from_yaml(yaml);
    EXPECT_TRUE(n.has_value()) << n.error().message;
    return n ? std::move(*n) : Netlist{};
}

TEST(SimplifyPxNetlist, KeepsTheDataOfWhatRemains) {
    const Netlist input = plarix(R"(instances:
  gc:
    component: grating
    settings: {wavelength: 1.55}
    array: {columns: 2, rows: 1, column_pitch: 127}
  s1: straight
  b1: {component: bend, settings: {radius: 10}, virtual: true}
  mmi: {component: mmi1x2, settings: {length: 5}}
  s2: straight
  s3: straight
  term: {component: terminator, virtual: true}
connections:
  gc<0.0>,o1: s1,o1
routes:
  r1:
    links:
      s1,o2: b1,o1
    routing_strategy: route_bundle_all_angle
    settings: {radius: 5}
nets:
- p1: b1,o2
  p2: mmi,o1
- p1: mmi,o2
  p2: s2,o1
- p1: s2,o2
  p2: s3,o1
- p1: s3,o2
  p2: gc<1.0>,o1
ports:
  out: mmi,o3
placements:
  gc: {x: 0, y: 0}
  s1: {x: 10, y: 0, rotation: 90}
  mmi: {x: 50, y: 0}
  s3: {x: 60, y: 0}
  nobody: {x: 1}
info: {b: 1, a: 2}
)");
    const Netlist out = orlim_netlist::simplify_px_netlist(input, all);
    EXPECT_EQ(out.to_yaml(), R"(instances:
  gc:
    component: grating
    settings:
      wavelength: 1.55
    array:
      columns: 2
      rows: 1
      column_pitch: 127.0
      row_pitch: 0.0
  mmi:
    component: mmi1x2
    settings:
      length: 5
  term:
    component: terminator
    settings: {}
    virtual: true
nets:
- p1: gc<0.0>,o1
  p2: mmi,o1
- p1: mmi,o2
  p2: gc<1.0>,o1
ports:
  out: mmi,o3
placements:
  gc:
    x: 0
    y: 0
  mmi:
    x: 50
    y: 0
info:
  a: 2
  b: 1
)");
    // Consuming the input gives the same netlist; the const form leaves the input as it was.
    Netlist copy = plarix(input.to_yaml().c_str());
    EXPECT_EQ(orlim_netlist::simplify_px_netlist(std::move(copy), all).to_yaml(), out.to_yaml());
    EXPECT_EQ(input.instances.size(), 7u);
    EXPECT_EQ(input.routes.size(), 1u);
}

TEST(SimplifyPxNetlist, ArraysRemainWhileAnElementDoes) {
    const char* text = R"(instances:
  a: {component: straight, array: {columns: 2, rows: 1}}
  m: mmi
  n: mmi
nets:
- {p1: "m,o1", p2: "a<0.0>,o1"}
- {p1: "a<0.0>,o2", p2: "n,o1"}
- {p1: "m,o2", p2: "a<1.0>,o1"}
)";
    // a<1.0> has one port in use and stays, so a stays whole.
    const ComponentFilter straight = only({"straight"});
    Netlist out = orlim_netlist::simplify_px_netlist(plarix(text), straight);
    EXPECT_EQ(summary(ExtractedNetlist::from_netlist(out)),
              "a<0.0> a<1.0> m n | m,o1-n,o1 m,o2-a<1.0>,o1 |");
    ASSERT_TRUE(out.instances.contains("a"));
    EXPECT_EQ(out.instances.at("a").array->columns, 2u);
    // Both elements pass through: the array goes.
    Netlist gone = orlim_netlist::simplify_px_netlist(plarix(R"(instances:
  a: {component: straight, array: {columns: 2, rows: 1}}
  m: mmi
  n: mmi
nets:
- {p1: "m,o1", p2: "a<0.0>,o1"}
- {p1: "a<0.0>,o2", p2: "n,o1"}
- {p1: "m,o2", p2: "a<1.0>,o1"}
- {p1: "a<1.0>,o2", p2: "n,o2"}
)"),
                                                      straight);
    EXPECT_EQ(summary(ExtractedNetlist::from_netlist(gone)), "m n | m,o1-n,o1 m,o2-n,o2 |");
}

TEST(SimplifyRecursiveNetlist, EachCellOnItsOwn) {
    auto cells = px_netlist::recursive_from_yaml(R"(top:
  instances:
    u: sub
    a: mmi
    b: mmi
  nets:
  - {p1: "a,o1", p2: "u,in"}
  - {p1: "u,out", p2: "b,o1"}
sub:
  instances:
    s: straight
    m: mmi
    t: term
  nets:
  - {p1: "s,o2", p2: "m,o1"}
  - {p1: "m,o3", p2: "t,o1"}
  ports:
    in: s,o1
    out: m,o2
)");
    ASSERT_TRUE(cells.has_value()) << cells.error().message;
    // u has two ports in use in top and goes with filter all; in sub, s goes and "in" moves.
    const auto out = orlim_netlist::simplify_recursive_netlist(*cells, all);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out.begin()->first, "top");
    EXPECT_EQ(summary(ExtractedNetlist::from_netlist(out.at("top"))), "a b | a,o1-b,o1 |");
    EXPECT_EQ(summary(ExtractedNetlist::from_netlist(out.at("sub"))),
              "m t | m,o3-t,o1 | in=m,o1 out=m,o2");
    // With a filter that names no cell, u stays.
    const auto kept = orlim_netlist::simplify_recursive_netlist(*cells, only({"straight"}));
    EXPECT_EQ(summary(ExtractedNetlist::from_netlist(kept.at("top"))),
              "u a b | a,o1-u,in u,out-b,o1 |");
    auto moved = px_netlist::RecursiveNetlist(*cells);
    EXPECT_EQ(px_netlist::recursive_to_yaml(
                  orlim_netlist::simplify_recursive_netlist(std::move(moved), all)),
              px_netlist::recursive_to_yaml(out));
}

} // namespace
