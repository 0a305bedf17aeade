#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "gds_builder.hpp"
#include "orlim_core/gds/parser.hpp"

using namespace orlim_core::gds::parser;
using orlim_test::GdsBuilder;

namespace {

GdsData load_ok(const GdsBuilder& b) {
    auto data = GdsData::from_bytes(b.file());
    EXPECT_TRUE(data.has_value()) << (data ? "" : data.error().display());
    return data ? std::move(*data) : GdsData{};
}

std::vector<std::string> names_of(const GdsCellData& cell) {
    std::vector<std::string> out;
    for (const auto& i : cell.instances) {
        out.emplace_back(i.name);
    }
    return out;
}

std::string ports_prop(std::initializer_list<const char*> names) {
    std::string s;
    int i = 0;
    for (const char* n : names) {
        s += "zindel:ports:" + std::to_string(i++) + "')={'name'=>'" + n + "'}";
    }
    return s;
}

} // namespace

TEST(GdsData, NamesInstancesByPropertyOrPlacement) {
    using T = GdsBuilder::Trans;
    const T r90m{.reflect = true, .has_angle = true, .angle = 90.0};
    const T r457{.has_angle = true, .angle = 45.7};
    const T rm90{.has_angle = true, .angle = -90.0};
    const T mirror_only{.reflect = true};
    const T mag_only{.has_mag = true, .mag = 3.0};
    GdsBuilder b;
    b.start()
        .bgnstr("top")
        .sref_open("mmi", 100, -200, &r90m)
        .property(0, "u1")
        .endel()
        .sref_open("mmi", 100, -200, &r90m)
        .property(1, "not a name")
        .endel()
        .sref("mmi", 1, 2, &r457)
        .sref("mmi", 0, 0, &rm90)
        .sref("mmi", 5, 5, &mirror_only)
        .sref("mmi", 5, 5, &mag_only)
        .endstr()
        .bgnstr("mmi")
        .endstr()
        .endlib();
    GdsData data = load_ok(b);
    const GdsCellData* top = data.get_cell("top");
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(names_of(*top), (std::vector<std::string>{"u1", "mmi_100_-200_r90_m", "mmi_1_2_r45",
                                                        "mmi_0_0_r-90", "mmi_5_5_m", "mmi_5_5"}));
    const GdsInstanceRef& u1 = top->instances[0];
    EXPECT_EQ(u1.cell_name, "mmi");
    EXPECT_EQ(u1.x, 100);
    EXPECT_EQ(u1.y, -200);
    EXPECT_EQ(u1.rotation, 90.0);
    EXPECT_TRUE(u1.mirror);
    EXPECT_EQ(top->instances[5].rotation, 0.0);
    EXPECT_FALSE(top->instances[5].mirror);
}

TEST(GdsData, ExpandsArraysColumnsFirst) {
    GdsBuilder b;
    b.start()
        .bgnstr("top")
        .aref_open("c", 2, 3, {0, 0, 20, 0, 0, 30})
        .property(0, "arr")
        .endel()
        .aref_open("c", 3, 1, {0, 0, 10, 0, 0, 5})
        .endel()
        .aref_open("c", 0, 4, {0, 0, 10, 0, 0, 5})
        .endel()
        .aref_open("c", 1, 1, {7, 8, 9, 8, 7, 9})
        .endel()
        .endstr()
        .bgnstr("c")
        .endstr()
        .endlib();
    GdsData data = load_ok(b);
    const GdsCellData* top = data.get_cell("top");
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(names_of(*top),
              (std::vector<std::string>{"arr<0.0>", "arr<0.1>", "arr<0.2>", "arr<1.0>", "arr<1.1>",
                                        "arr<1.2>", "c_0_0<0.0>", "c_0_0<1.0>", "c_0_0<2.0>",
                                        "c_7_8<0.0>"}));
    // Steps are (P1 - P0) / columns and (P2 - P0) / rows, truncated: 10 / 3 gives 3.
    std::vector<std::pair<std::int64_t, std::int64_t>> pos;
    for (const auto& i : top->instances) {
        pos.emplace_back(i.x, i.y);
    }
    EXPECT_EQ(pos, (std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 0},
                                                                       {0, 10},
                                                                       {0, 20},
                                                                       {10, 0},
                                                                       {10, 10},
                                                                       {10, 20},
                                                                       {0, 0},
                                                                       {3, 0},
                                                                       {6, 0},
                                                                       {7, 8}}));
}

TEST(GdsData, TopCellAndContextCell) {
    GdsBuilder only_context;
    only_context.start().bgnstr("$$$CONTEXT_INFO$$$").sref("x", 0, 0).endstr().endlib();
    GdsData none = load_ok(only_context);
    EXPECT_FALSE(none.top_cell_name().has_value());
    EXPECT_TRUE(none.cells.empty());

    GdsBuilder chain;
    chain.start()
        .bgnstr("C")
        .endstr()
        .bgnstr("B")
        .sref("C", 0, 0)
        .endstr()
        .bgnstr("A")
        .sref("B", 0, 0)
        .endstr()
        .bgnstr("$$$CONTEXT_INFO$$$")
        .sref("A", 0, 0)
        .endstr()
        .endlib();
    EXPECT_EQ(load_ok(chain).top_cell_name(), "A");

    GdsBuilder two;
    two.start().bgnstr("second").endstr().bgnstr("first").endstr().endlib();
    EXPECT_EQ(load_ok(two).top_cell_name(), "second"); // the first candidate in file order
}

TEST(GdsData, ScaleFromUnits) {
    GdsBuilder nm;
    nm.start(0.001, 1e-9).endlib();
    EXPECT_DOUBLE_EQ(load_ok(nm).um_per_dbu, 0.001);
    GdsBuilder um;
    um.start(1, 1e-6).endlib();
    EXPECT_DOUBLE_EQ(load_ok(um).um_per_dbu, 1.0);
}

TEST(GdsData, PortTableFromContextCell) {
    GdsBuilder b;
    b.start()
        .bgnstr("$$$CONTEXT_INFO$$$")
        .sref_open("wg_A", 0, 0)
        .property(0, ports_prop({"a1", "a2"}))
        .endel()
        .sref_open("wg_B", 0, 0)
        .property(0, ports_prop({"b1"}))
        .endel()
        .sref_open("mmi", 0, 0)
        .property(0, "no ports here")
        .endel()
        .sref_open("ring", 0, 0)
        .property(0, ports_prop({"r1"}))
        .endel()
        .sref_open("ring", 0, 0)
        .property(0, ports_prop({"r2", "r3"}))
        .endel()
        .sref_open("split", 0, 0)
        .property(0, "zindel:ports:0')={'name'=>'s1'")
        .property(1, "'trans'=>[trans:r90 1,2]}")
        .endel()
        .endstr()
        .bgnstr("wg_A")
        .endstr()
        .bgnstr("wg_B")
        .endstr()
        .endlib();
    GdsData data = load_ok(b);
    EXPECT_EQ(data.get_cell("$$$CONTEXT_INFO$$$"), nullptr);
    EXPECT_EQ(data.get_cell_ports("mmi"), nullptr);
    ASSERT_NE(data.get_cell_ports("ring"), nullptr);
    EXPECT_EQ(data.get_cell_ports("ring")->size(), 2u); // the later list replaces the first
    const auto* split = data.get_cell_ports("split");
    ASSERT_NE(split, nullptr);
    EXPECT_EQ((*split)[0].rotation, 0); // the placement sits in the next property value

    ComponentPorts table = data.component_ports();
    std::vector<std::pair<std::string, std::vector<std::string>>> rows(table.begin(), table.end());
    EXPECT_EQ(rows, (std::vector<std::pair<std::string, std::vector<std::string>>>{
                        {"wg", {"a1", "a2"}}, {"ring", {"r2", "r3"}}, {"split", {"s1"}}}));
    EXPECT_EQ(component_ports_json(table),
              "{\n  \"wg\": [\n    \"a1\",\n    \"a2\"\n  ],\n  \"ring\": [\n    \"r2\",\n    "
              "\"r3\"\n  ],\n  \"split\": [\n    \"s1\"\n  ]\n}");
    EXPECT_EQ(component_ports_yaml(table), "wg:\n- a1\n- a2\nring:\n- r2\n- r3\nsplit:\n- s1\n");
    EXPECT_EQ(component_ports_yaml({}), "{}\n");
    EXPECT_EQ(component_ports_json({}), "{}");
}

TEST(GdsData, RefusesCyclesAndRunawayArrays) {
    GdsBuilder cyclic;
    cyclic.start()
        .bgnstr("a")
        .sref("b", 0, 0)
        .endstr()
        .bgnstr("b")
        .sref("a", 0, 0)
        .endstr()
        .endlib();
    auto c = GdsData::from_bytes(cyclic.file());
    ASSERT_FALSE(c);
    EXPECT_EQ(c.error().display(), "GDS file error: recursive cell hierarchy: a -> b -> a");

    GdsBuilder huge;
    huge.start().bgnstr("top");
    for (int i = 0; i < 100; ++i) {
        huge.aref_open("c", 32767, 32767, {0, 0, 1, 0, 0, 1}).endel();
    }
    huge.endstr().endlib();
    auto h = GdsData::from_bytes(huge.file());
    ASSERT_FALSE(h);
    EXPECT_NE(h.error().display().find("too many instances"), std::string::npos);
}

TEST(SimplifyCellName, Rules) {
    const std::pair<const char*, const char*> cases[] = {
        {"straight_L10_N2_CSxs_sc", "straight"},
        {"mmi1x2_plarix_1a2b", "mmi1x2"},
        {"bend_euler", "bend_euler"},
        {"bend_euler_R10", "bend_euler"},
        {"taper_w1", "taper_w1"},
        {"_Xanything", ""},
        {"_plarix_abc", ""},
        {"Top", "Top"},
        {"a_plarix_B_plarix", "a"},
        {"ends_with_", "ends_with_"},
    };
    for (auto [in, out] : cases) {
        EXPECT_EQ(simplify_cell_name(in), out) << in;
    }
}

TEST(GdsData, PortTableWithoutCellsMatchesTheFullLoad) {
    GdsBuilder b;
    b.start()
        .bgnstr("top")
        .sref("wg_A", 0, 0)
        .aref_open("mmi", 2, 2, {0, 0, 2, 0, 0, 2})
        .endel()
        .endstr()
        .bgnstr("$$$CONTEXT_INFO$$$")
        .sref_open("wg_A", 0, 0)
        .property(0, ports_prop({"a1", "a2"}))
        .endel()
        .sref_open("mmi", 0, 0)
        .property(0, ports_prop({"m1", "m2", "m3"}))
        .endel()
        .sref_open("wg_B", 0, 0)
        .property(0, ports_prop({"b1"}))
        .endel()
        .endstr()
        .bgnstr("wg_A")
        .endstr()
        .bgnstr("mmi")
        .endstr()
        .endlib();
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("orlim_ports_" + std::to_string(getpid()) + ".gds");
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(b.data().data()),
                  static_cast<std::streamsize>(b.size()));
    }
    auto lean = load_component_ports(path);
    auto full = GdsData::load(path);
    std::filesystem::remove(path);
    ASSERT_TRUE(lean && full);
    EXPECT_EQ(component_ports_yaml(*lean), component_ports_yaml(full->component_ports()));
    EXPECT_EQ(component_ports_yaml(*lean), "wg:\n- a1\n- a2\nmmi:\n- m1\n- m2\n- m3\n");
}
