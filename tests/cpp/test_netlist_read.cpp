// Reading rules of the Plarix netlist document, YAML and JSON: each document is written back
// as compact JSON (the model's own form), or fails with the expected message.
#include <gtest/gtest.h>

#include "orlim_netlist/extracted.hpp"

using px_netlist::Netlist;

namespace {

struct Case {
    const char* name;
    bool json;
    const char* document;
    const char* expected; // compact JSON of the netlist, or a part of the error message
    bool error = false;
};

constexpr const char* kEmpty = R"({"instances":{},"ports":{}})";

const Case kCases[] = {
    // instances
    {"plain component and mapping read the same", false,
     "instances:\n  a: mmi\n  b: {component: mmi}\n",
     R"({"instances":{"a":{"component":"mmi","settings":{}},"b":{"component":"mmi","settings":{}}},"ports":{}})"},
    {"settings in ascending key order", false,
     "instances:\n  a:\n    component: x\n    settings: {width: 1, length: 2, width: 3}\n",
     R"({"instances":{"a":{"component":"x","settings":{"length":2,"width":3}}},"ports":{}})"},
    {"settings values typed by the core schema", false,
     "instances:\n  a:\n    component: x\n    settings: {a: 007, b: '007', c: 0x1F, d: 1e3, e: "
     ".inf, f: yes, g: ~, h: -0, i: 18446744073709551616}\n",
     R"({"instances":{"a":{"component":"x","settings":{"a":7,"b":"007","c":31,"d":1000.0,"e":null,"f":"yes","g":null,"h":0,"i":1.8446744073709552e19}}},"ports":{}})"},
    {"array mapping with defaults", false,
     "instances:\n  g: {component: gc, array: {columns: 3}}\n",
     R"({"instances":{"g":{"component":"gc","settings":{},"array":{"columns":3,"rows":1,"column_pitch":0.0,"row_pitch":0.0}}},"ports":{}})"},
    {"array sequence in field order, pitch as shortest float", true,
     R"({"instances": {"g": {"component": "gc", "array": [2, 3, 0.1, 127]}}})",
     R"({"instances":{"g":{"component":"gc","settings":{},"array":{"columns":2,"rows":3,"column_pitch":0.1,"row_pitch":127.0}}},"ports":{}})"},
    {"array that does not convert is dropped", false,
     "instances:\n  a: {component: x, array: {columns: -1}}\n  b: {component: x, array: {rows: "
     "1.5}}\n  c: {component: x, array: [1, 2, 3, 4, 5]}\n  d: {component: x, array: '3'}\n",
     R"({"instances":{"a":{"component":"x","settings":{}},"b":{"component":"x","settings":{}},"c":{"component":"x","settings":{}},"d":{"component":"x","settings":{}}},"ports":{}})"},
    {"virtual only for boolean true", false,
     "instances:\n  a: {component: x, virtual: true}\n  b: {component: x, virtual: 'true'}\n  c: "
     "{component: x, virtual: 1}\n",
     R"({"instances":{"a":{"component":"x","settings":{},"virtual":true},"b":{"component":"x","settings":{}},"c":{"component":"x","settings":{}}},"ports":{}})"},
    {"unknown instance keys ignored", true,
     R"({"instances": {"a": {"component": "x", "info": {"k": 1}}}})",
     R"({"instances":{"a":{"component":"x","settings":{}}},"ports":{}})"},
    {"repeated instance keeps first position, last value", false,
     "instances:\n  a: x\n  b: y\n  a: z\n",
     R"({"instances":{"a":{"component":"z","settings":{}},"b":{"component":"y","settings":{}}},"ports":{}})"},
    {"instance as number", false, "instances:\n  a: 5\n",
     "Invalid data format for Instance at line 2", true},
    {"instance with no value", false, "instances:\n  a:\n", "Invalid data format for Instance",
     true},
    {"instance as JSON null", true, R"({"instances": {"a": null}})",
     "Invalid data format for Instance", true},
    {"instance without component", false, "instances:\n  a: {settings: {}}\n",
     "missing field `component`", true},
    {"component not a string", true, R"({"instances": {"a": {"component": 1}}})",
     "missing field `component`", true},
    {"settings with no value", false, "instances:\n  a:\n    component: x\n    settings:\n",
     "Invalid data format for settings", true},
    {"settings a sequence", true, R"({"instances": {"a": {"component": "x", "settings": [1]}}})",
     "Invalid data format for settings", true},
    // connections, ports, nets, routes
    {"instance ports trimmed, later commas in the port", false,
     "connections:\n  ' a , o1 ': b,o2,x\nports:\n  in: ',p'\n  out: 'c,'\n",
     R"({"instances":{},"connections":{"a,o1":"b,o2,x"},"ports":{"in":",p","out":"c,"}})"},
    {"instance port without comma quotes the input", false, "ports:\n  in: ' nocomma '\n",
     "Invalid InstancePort format: ' nocomma ' (expected 'instance,port')", true},
    {"YAML scalar keys and values read as text", false,
     "ports:\n  1: a,2\nconnections:\n  a,1: b,true\n",
     R"({"instances":{},"connections":{"a,1":"b,true"},"ports":{"1":"a,2"}})"},
    {"JSON number where a text is expected", true, R"({"ports": {"in": 5}})",
     "invalid type: integer `5`, expected a string", true},
    {"net without p2, empty net item, unknown net key", false,
     "nets:\n  - p1: a,o1\n    width: 3\n  -\n",
     R"({"instances":{},"nets":[{"p1":"a,o1","p2":","},{"p1":",","p2":","}],"ports":{}})"},
    {"net duplicate field", false, "nets:\n  - p1: a,o1\n    p1: b,o1\n",
     "duplicate field `p1` at line 3", true},
    {"net as a sequence in YAML", false, "nets:\n  - [a,o1, b,o2]\n",
     "invalid type: sequence, expected struct Net", true},
    {"net as an array in JSON", true, R"({"nets": [["a,o1", "b,o2"]]})",
     R"({"instances":{},"nets":[{"p1":"a,o1","p2":"b,o2"}],"ports":{}})"},
    {"net as a string", true, R"({"nets": ["a,o1"]})", "expected struct Net", true},
    {"two nets keys: the second list remains", false,
     "nets:\n  - {p1: 'a,1', p2: 'b,1'}\nnets:\n  - {p1: 'c,1', p2: 'd,1'}\n",
     R"({"instances":{},"nets":[{"p1":"c,1","p2":"d,1"}],"ports":{}})"},
    {"bundle defaults and document-order settings", false,
     "routes:\n  r1:\n    links: {'a,o1': 'b,o1'}\n    settings: {z: 1, a: 2}\n  r2:\n",
     R"({"instances":{},"routes":{"r1":{"links":{"a,o1":"b,o1"},"routing_strategy":"route_bundle","settings":{"z":1,"a":2}},"r2":{"links":{},"routing_strategy":"route_bundle","settings":{}}},"ports":{}})"},
    {"bundle duplicate field", false, "routes:\n  r:\n    links: {}\n    links: {}\n",
     "duplicate field `links`", true},
    {"bundle as array in JSON", true, R"({"routes": {"r": [{"a,1": "b,1"}, "s"]}})",
     R"({"instances":{},"routes":{"r":{"links":{"a,1":"b,1"},"routing_strategy":"s","settings":{}}},"ports":{}})"},
    {"bundle as a number", true, R"({"routes": {"r": 1}})", "expected struct Bundle", true},
    // placements, extra, empty values
    {"placements keep document order, empty entry", false,
     "placements:\n  b: {y: 2, x: 1, y: 3}\n  a:\n",
     R"({"instances":{},"ports":{},"placements":{"b":{"y":3,"x":1},"a":{}}})"},
    {"unknown key kept after placements with sorted inner keys, _extra dropped", false,
     "info: {z: 1, a: [x, 2]}\n_extra: {k: v}\nports: {p: 'a,b'}\n",
     R"({"instances":{},"ports":{"p":"a,b"},"info":{"a":["x",2],"z":1}})"},
    {"top-level keys with no value read as empty", false,
     "instances:\nconnections:\nroutes:\nnets:\nports:\nplacements:\n", kEmpty},
    {"explicit null is a type error", false, "nets: ~\n", "invalid type: null, expected a sequence",
     true},
    {"JSON null is a type error", true, R"({"ports": null})", "invalid type: null, expected a map",
     true},
    {"empty document", false, "", kEmpty},
    {"empty mapping", true, "{}", kEmpty},
    {"document not a mapping", false, "- a\n",
     "invalid type: sequence, expected Could not deserialize netlist", true},
    {"JSON document not a mapping", true, "\"x\"",
     "invalid type: string \"x\", expected Could not deserialize netlist", true},
    // anchors, reader errors
    {"anchors and aliases resolved", false,
     "instances:\n  a: &inst {component: x, settings: {w: &w 2}}\n  b: *inst\nplacements:\n  a: "
     "{x: *w}\n",
     R"({"instances":{"a":{"component":"x","settings":{"w":2}},"b":{"component":"x","settings":{"w":2}}},"ports":{},"placements":{"a":{"x":2}}})"},
    {"unknown alias", false, "instances: *nope\n", "unknown anchor *nope at line 1", true},
    {"exponential aliases refused", false,
     "a: &a [1,1,1,1,1,1,1,1,1,1]\nb: &b [*a,*a,*a,*a,*a,*a,*a,*a,*a,*a]\nc: &c "
     "[*b,*b,*b,*b,*b,*b,*b,*b,*b,*b]\n"
     "d: &d [*c,*c,*c,*c,*c,*c,*c,*c,*c,*c]\ne: &e [*d,*d,*d,*d,*d,*d,*d,*d,*d,*d]\nf: &f "
     "[*e,*e,*e,*e,*e,*e,*e,*e,*e,*e]\n"
     "g: [*f,*f,*f,*f,*f,*f,*f,*f,*f,*f]\n",
     "repetition limit exceeded", true},
    {"YAML syntax error with position", false, "instances: [a\n",
     "flow sequence without a closing bracket at line", true},
    {"invalid UTF-8 refused with position", false, "ports:\n  a: \xe9t\n",
     "invalid UTF-8 at line 2 column 6", true},
    {"invalid UTF-8 in a directive", false, "%  \xff\xff\na: b\n", "invalid UTF-8 at line 1", true},
    {"single-quoted scalars unescaped and folded", false,
     "ports:\n  a: 'x,a''''b'\n  b: 'y,one\n    two  \n\n    three '\n",
     R"({"instances":{},"ports":{"a":"x,a''b","b":"y,one two\nthree"}})"},
    {"two YAML documents", false, "a: 1\n---\nb: 2\n",
     "deserializing from YAML containing more than one document", true},
    {"JSON syntax error with position", true, R"({"instances": })",
     "parse error at line 1, column 15", true},
    {"JSON number overflow", true, R"({"x": 1e999})", "number overflow parsing '1e999' at line 1",
     true},
};

class NetlistReading : public ::testing::TestWithParam<Case> {};

TEST_P(NetlistReading, Rule) {
    const Case& c = GetParam();
    auto n = c.json ? Netlist::from_json(c.document) : Netlist::from_yaml(c.document);
    if (c.error) {
        ASSERT_FALSE(n.has_value()) << n->to_json(false);
        EXPECT_NE(n.error().message.find(c.expected), std::string::npos) << n.error().message;
        return;
    }
    ASSERT_TRUE(n.has_value()) << n.error().message;
    EXPECT_EQ(n->to_json(false), c.expected);
    // What was written reads back unchanged, in both forms.
    auto from_json = Netlist::from_json(n->to_json());
    ASSERT_TRUE(from_json.has_value()) << from_json.error().message;
    EXPECT_EQ(from_json->to_json(false), c.expected);
    auto from_yaml = Netlist::from_yaml(n->to_yaml());
    ASSERT_TRUE(from_yaml.has_value()) << from_yaml.error().message << "\n" << n->to_yaml();
    EXPECT_EQ(from_yaml->to_json(false), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Rules, NetlistReading, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

TEST(NetlistWriting, YamlLayout) {
    auto n = Netlist::from_yaml(
        "instances:\n  mmi:\n    component: mmi1x2\n    settings: {length: 10.0, "
        "label: \"two\\nlines\"}\nnets:\n- p1: mmi,o2\n  p2: mmi,o3\n"
        "ports:\n  in: mmi,o1\nplacements:\n  mmi: {x: 1, y: -2.5}\n");
    ASSERT_TRUE(n.has_value()) << n.error().message;
    EXPECT_EQ(n->to_yaml(), "instances:\n"
                            "  mmi:\n"
                            "    component: mmi1x2\n"
                            "    settings:\n"
                            "      label: |-\n"
                            "        two\n"
                            "        lines\n"
                            "      length: 10.0\n"
                            "nets:\n"
                            "- p1: mmi,o2\n"
                            "  p2: mmi,o3\n"
                            "ports:\n"
                            "  in: mmi,o1\n"
                            "placements:\n"
                            "  mmi:\n"
                            "    x: 1\n"
                            "    y: -2.5\n");
}

TEST(RecursiveNetlist, CellsInOrderRepeatedCellReplaced) {
    auto cells = px_netlist::recursive_from_yaml(
        "b:\n  instances: {x: s}\na: {}\nb:\n  ports: {p: 'x,o1'}\n");
    ASSERT_TRUE(cells.has_value()) << cells.error().message;
    EXPECT_EQ(px_netlist::recursive_to_json(*cells, false),
              R"({"b":{"instances":{},"ports":{"p":"x,o1"}},"a":{"instances":{},"ports":{}}})");
    auto bad = px_netlist::recursive_from_json(R"({"top": {"nets": 3}})");
    ASSERT_FALSE(bad.has_value());
    EXPECT_TRUE(bad.error().message.starts_with("invalid type: integer `3`, expected a sequence"));
    auto flat = px_netlist::recursive_from_json(R"({"instances": {}, "nets": []})");
    ASSERT_FALSE(flat.has_value());
}

TEST(InstancePort, TextForm) {
    auto p = px_netlist::InstancePort::parse("\u00a0a\u2003,\tb,c ");
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->instance, "a");
    EXPECT_EQ(p->port, "b,c");
    EXPECT_EQ(p->to_string(), "a,b,c");
    EXPECT_EQ(px_netlist::InstancePort::parse("").error(),
              "Invalid InstancePort format: '' (expected 'instance,port')");
    EXPECT_EQ(px_netlist::InstancePort::parse(",")->to_string(), ",");
}

} // namespace
