// The extracted-netlist schema, conversions from and to the Plarix model, and flattening.
#include <gtest/gtest.h>

#include "orlim_netlist/extracted.hpp"

using orlim_netlist::ExtractedNetlist;
using px_netlist::Netlist;
using px_netlist::RecursiveNetlist;

namespace {

Netlist yaml(const char* text) {
    auto n = Netlist::from_yaml(text);
    EXPECT_TRUE(n.has_value()) << n.error().message;
    return n ? std::move(*n) : Netlist{};
}

RecursiveNetlist cells(const char* text) {
    auto n = px_netlist::recursive_from_yaml(text);
    EXPECT_TRUE(n.has_value()) << n.error().message;
    return n ? std::move(*n) : RecursiveNetlist{};
}

std::string names(const px_netlist::OrderedMap<std::string>& m) {
    std::string out;
    for (const auto& [k, v] : m) {
        out += (out.empty() ? "" : " ") + k;
    }
    return out;
}

std::string nets(const ExtractedNetlist& n) {
    std::string out;
    for (const auto& net : n.nets) {
        out += (out.empty() ? "" : " ") + net.p1.to_string() + "-" + net.p2.to_string();
    }
    return out;
}

TEST(ExtractedNetlist, DocumentForm) {
    ExtractedNetlist empty;
    EXPECT_EQ(empty.to_json(), "{}");
    EXPECT_EQ(empty.to_yaml(), "{}\n");
    ExtractedNetlist only_nets;
    only_nets.nets.push_back({{"a", "o1"}, {"b", "o2"}});
    EXPECT_EQ(only_nets.to_yaml(), "nets:\n- p1: a,o1\n  p2: b,o2\n");
    EXPECT_EQ(only_nets.to_json(),
              "{\n  \"nets\": [\n    {\n      \"p1\": \"a,o1\",\n      \"p2\": "
              "\"b,o2\"\n    }\n  ]\n}");
}

TEST(ExtractedNetlist, Reading) {
    struct Case {
        bool json;
        const char* document;
        const char* expected; // compact JSON or the start of the error
    };
    const Case cases[] = {
        {false, "instances:\n  a: x\n  b: y\n  a: z\nother: [1]\nports:\n  p: a,o1\n",
         R"({"instances":{"a":"z","b":"y"},"ports":{"p":"a,o1"}})"},
        {false, "nets:\n", "{}"},
        {true, R"([{"a": "x"}, [{"p1": "a,1", "p2": "a,2"}]])",
         R"({"instances":{"a":"x"},"nets":[{"p1":"a,1","p2":"a,2"}]})"},
        {false, "instances: {}\ninstances: {}\n", "duplicate field `instances`"},
        {false, "nets:\n- p1: nocomma\n", "Invalid InstancePort format: 'nocomma'"},
        {true, R"({"instances": {"a": 1}})", "invalid type: integer `1`, expected a string"},
        {false, "- a\n", "invalid type: sequence, expected struct ExtractedNetlist"},
    };
    for (const Case& c : cases) {
        auto n = c.json ? ExtractedNetlist::from_json(c.document)
                        : ExtractedNetlist::from_yaml(c.document);
        const std::string got = n ? n->to_json(false) : n.error().message;
        EXPECT_TRUE(got.starts_with(c.expected)) << c.document << "\n=> " << got;
        if (n) {
            auto again = ExtractedNetlist::from_yaml(n->to_yaml());
            ASSERT_TRUE(again.has_value());
            EXPECT_EQ(again->to_json(false), got);
        }
    }
}

TEST(ExpandInstances, ArraysColumnsOuter) {
    const Netlist n = yaml("instances:\n"
                           "  gc: {component: g, array: {columns: 2, rows: 3}}\n"
                           "  one: {component: g, array: {columns: 1, rows: 1}}\n"
                           "  none: {component: g, array: {columns: 0, rows: 5}}\n"
                           "  v: {component: p, virtual: true}\n");
    EXPECT_EQ(names(orlim_netlist::expand_instances(n.instances)),
              "gc<0.0> gc<0.1> gc<0.2> gc<1.0> gc<1.1> gc<1.2> one none v");
}

TEST(Conversion, NetOrderAndWhatIsDropped) {
    Netlist n = yaml("instances:\n  a: {component: x, settings: {w: 1}}\n  b: y\n"
                     "connections:\n  a,o1: b,o1\n"
                     "nets:\n- {p1: 'a,o2', p2: 'b,o2'}\n- {p1: 'a,o2', p2: 'b,o2'}\n"
                     "routes:\n  r:\n    links:\n      a,o3: b,o3\n      a,o4: b,o4\n"
                     "ports:\n  in: a,o5\nplacements:\n  a: {x: 1}\nextra: 1\n");
    const ExtractedNetlist e = ExtractedNetlist::from_netlist(n);
    EXPECT_EQ(names(e.instances), "a b");
    EXPECT_EQ(nets(e), "a,o1-b,o1 a,o2-b,o2 a,o2-b,o2 a,o3-b,o3 a,o4-b,o4");
    EXPECT_EQ(e.to_json(false), ExtractedNetlist::from_netlist(std::move(n)).to_json(false));

    Netlist back = ExtractedNetlist(e).into_netlist();
    EXPECT_EQ(back.to_yaml(),
              "instances:\n  a:\n    component: x\n    settings: {}\n  b:\n"
              "    component: y\n    settings: {}\n"
              "nets:\n- p1: a,o1\n  p2: b,o1\n- p1: a,o2\n  p2: b,o2\n"
              "- p1: a,o2\n  p2: b,o2\n- p1: a,o3\n  p2: b,o3\n- p1: a,o4\n  p2: b,o4\n"
              "ports:\n  in: a,o5\n");
}

TEST(Flatten, SubCellPortsRedirected) {
    const RecursiveNetlist c =
        cells("top:\n"
              "  instances: {u: sub, gc: grating}\n"
              "  nets:\n  - {p1: 'u,out', p2: 'gc,o1'}\n  - {p1: 'u,hidden', p2: 'gc,o2'}\n"
              "  ports: {in: 'u,in', out: 'gc,o3'}\n"
              "sub:\n"
              "  instances:\n    m1: mmi\n    m2: mmi\n"
              "    arr: {component: gc, array: [1, 2]}\n"
              "  nets:\n  - {p1: 'm1,o2', p2: 'm2,o1'}\n"
              "  ports: {out: 'm2,o2', in: 'm1,o1'}\n");
    const ExtractedNetlist f = orlim_netlist::flatten_recursive(c, "top");
    EXPECT_EQ(names(f.instances), "u~m1 u~m2 u~arr<0.0> u~arr<0.1> gc");
    EXPECT_EQ(nets(f), "u~m1,o2-u~m2,o1 u~m2,o2-gc,o1 u,hidden-gc,o2");
    EXPECT_EQ(f.to_json(false).substr(f.to_json(false).find("\"ports\"")),
              R"("ports":{"in":"u~m1,o1","out":"gc,o3"}})");
    EXPECT_EQ(orlim_netlist::flatten_recursive(c, "missing").to_json(), "{}");
    // The first cell is the top of a reduction; one cell is converted as it is.
    EXPECT_EQ(orlim_netlist::reduce_recursive(c).to_json(), f.to_json());
}

TEST(Flatten, ThreeLevels) {
    const RecursiveNetlist c = cells("top: {instances: {top1: mid}}\n"
                                     "mid: {instances: {mid1: leafcell}, ports: {p: 'mid1,q'}}\n"
                                     "leafcell: {instances: {inst1: x}, ports: {q: 'inst1,o1'}}\n");
    const ExtractedNetlist f = orlim_netlist::flatten_recursive(c, "top");
    EXPECT_EQ(names(f.instances), "top1~mid1~inst1");
}

TEST(Flatten, CyclesEndInLeafInstances) {
    // a -> b -> a and c -> c: the instance that closes the cycle stays a leaf.
    const RecursiveNetlist c =
        cells("a: {instances: {x: b}, nets: [{p1: 'x,p', p2: 'x,q'}]}\n"
              "b: {instances: {y: a, z: leaf}, ports: {p: 'y,o1', q: 'z,o1'}}\n"
              "c: {instances: {self: c}}\n");
    const ExtractedNetlist fa = orlim_netlist::flatten_recursive(c, "a");
    EXPECT_EQ(fa.to_json(false),
              R"({"instances":{"x~y":"a","x~z":"leaf"},"nets":[{"p1":"x~y,o1","p2":"x~z,o1"}]})");
    EXPECT_EQ(
        orlim_netlist::flatten_recursive(c, "b").to_json(false),
        R"({"instances":{"y~x":"b","z":"leaf"},"nets":[{"p1":"y~x,p","p2":"y~x,q"}],"ports":{"p":"y,o1","q":"z,o1"}})");
    EXPECT_EQ(orlim_netlist::flatten_recursive(c, "c").to_json(false),
              R"({"instances":{"self":"c"}})");
}

TEST(Flatten, DeepHierarchyDoesNotExhaustTheStack) {
    RecursiveNetlist c;
    const int depth = 10000;
    for (int i = 0; i < depth; ++i) {
        Netlist n;
        px_netlist::Instance inst;
        inst.component = i + 1 < depth ? "c" + std::to_string(i + 1) : "leaf";
        n.instances.emplace("i", std::move(inst));
        n.ports.emplace("p", px_netlist::InstancePort{"i", "p"});
        c.emplace("c" + std::to_string(i), std::move(n));
    }
    const ExtractedNetlist f = orlim_netlist::flatten_recursive(c, "c0");
    ASSERT_EQ(f.instances.size(), 1u);
    const std::string& name = f.instances.begin()->first;
    EXPECT_EQ(name.size(), depth * 2 - 1);
    EXPECT_EQ(f.ports.at("p").instance, name);
}

} // namespace
