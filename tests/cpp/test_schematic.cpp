// Schematic loading and preparation: argument and file-name rules, flat-file detection,
// loading several files, placements and array names.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "orlim_core/lvs/runner/schematic.hpp"

using namespace orlim_core::lvs::runner;

namespace {

TEST(ParseNamedPath, NameOnlyBeforeARelativePath) {
    struct Case {
        const char* text;
        std::optional<std::string> name;
        const char* path;
    };
    const Case cases[] = {
        {"top:x.pic.yml", "top", "x.pic.yml"},
        {"top:a:b.yml", "top", "a:b.yml"},
        {"C:\\x.pic.yml", std::nullopt, "C:\\x.pic.yml"},
        {"top:/abs/x.pic.yml", std::nullopt, "top:/abs/x.pic.yml"},
        {":x.pic.yml", std::nullopt, ":x.pic.yml"},
        {"top:", std::nullopt, "top:"},
        {"x.pic.yml", std::nullopt, "x.pic.yml"},
    };
    for (const Case& c : cases) {
        const SchematicEntry e = parse_named_path(c.text);
        EXPECT_EQ(e.name, c.name) << c.text;
        EXPECT_EQ(e.path, c.path) << c.text;
    }
}

TEST(PicYmlStem, Suffixes) {
    EXPECT_EQ(pic_yml_stem("dir/chip.pic.yml"), "chip");
    EXPECT_EQ(pic_yml_stem("chip.pic.yaml"), "chip");
    EXPECT_EQ(pic_yml_stem("dir/.pic.yml"), "");
    EXPECT_EQ(pic_yml_stem("chip.yml"), std::nullopt);
    EXPECT_EQ(pic_yml_stem("chip.pic.yml/x"), std::nullopt);
}

TEST(IsFlatNetlist, FirstMeaningfulLineDecides) {
    EXPECT_TRUE(is_flat_netlist("# comment\n\n  \r\ninstances:\n  a: b\n"));
    EXPECT_TRUE(is_flat_netlist("nets: []"));
    EXPECT_TRUE(is_flat_netlist("  placements:\r\n"));
    EXPECT_FALSE(is_flat_netlist("top:\n  instances:\n"));
    EXPECT_FALSE(is_flat_netlist("---\ninstances:\n"));
    EXPECT_FALSE(is_flat_netlist("{\"instances\": {}}"));
    EXPECT_FALSE(is_flat_netlist("# only a comment\n"));
    EXPECT_FALSE(is_flat_netlist(""));
}

TEST(ParseArrayBase, ElementNames) {
    EXPECT_EQ(parse_array_base("mmi<2.3>"), (std::pair<std::string, std::string>{"mmi", "2.3"}));
    EXPECT_EQ(parse_array_base("a<b>c<0.1>"),
              (std::pair<std::string, std::string>{"a<b>c", "0.1"}));
    EXPECT_EQ(parse_array_base("m<+1.02>"), (std::pair<std::string, std::string>{"m", "+1.02"}));
    for (const char* bad : {"mmi<2>", "mmi<2.>", "mmi<-1.0>", "mmi<1.2.3>", "mmi", "mmi<1.2>x",
                            "m<99999999999999999999.0>", "m<+.1>"}) {
        EXPECT_EQ(parse_array_base(bad), std::nullopt) << bad;
    }
}

class LoadSchematics : public ::testing::Test {
protected:
    std::filesystem::path dir_;
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("orlim_schematic_" +
                std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string file(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name) << text;
        return (dir_ / name).string();
    }
    // Absolute paths: a name is given as a separate entry field ("name:/abs" is a path).
    std::string load(std::vector<SchematicEntry> entries) {
        auto r = load_schematics(entries);
        return r ? px_netlist::recursive_to_json(*r, false) : r.error().display();
    }
    static SchematicEntry plain(const std::string& path) { return {std::nullopt, path}; }
    static SchematicEntry named(const std::string& name, const std::string& path) {
        return {name, path};
    }
};

TEST_F(LoadSchematics, CellNamesAndOrder) {
    const std::string chip = file("chip.pic.yml", "instances:\n  a: x\n");
    const std::string other = file("other.yml", "# flat\nports: {p: 'a,o1'}\n");
    const std::string raw = file("raw", "instances: {}\n");
    EXPECT_EQ(
        load({plain(chip), plain(other), plain(raw)}),
        R"({"chip":{"instances":{"a":{"component":"x","settings":{}}},"ports":{}},)"
        R"("other":{"instances":{},"ports":{"p":"a,o1"}},"raw":{"instances":{},"ports":{}}})");
    // The same name twice: the later file replaces the cell at its first position.
    const std::string y = file("y.pic.yml", "instances:\n  b: y\n");
    EXPECT_EQ(load({named("a", chip), plain(other), named("a", y)}),
              R"({"a":{"instances":{"b":{"component":"y","settings":{}}},"ports":{}},)"
              R"("other":{"instances":{},"ports":{"p":"a,o1"}}})");
}

TEST_F(LoadSchematics, FilesOfCells) {
    const std::string cells =
        file("cells.pic.yml",
             "top:\n  instances:\n    u: sub\nsub:\n  instances:\ninstances:\n  x: {}\n");
    // A given name is not used for a file of cells; its own names are kept.
    EXPECT_EQ(
        load({named("given", cells)}),
        R"({"top":{"instances":{"u":{"component":"sub","settings":{}}},"ports":{}},)"
        R"("sub":{"instances":{},"ports":{}},"instances":{"instances":{},"ports":{},"x":{}}})");
    // A flat netlist is also recognised after a document marker and in JSON.
    const std::string marked = file("marked.pic.yml", "---\nnets:\n- {p1: 'a,1', p2: 'b,1'}\n");
    const std::string json = file("j.json", R"({"nets": [{"p1": "a,1", "p2": "b,1"}]})");
    EXPECT_EQ(load({plain(marked), plain(json)}),
              R"({"marked":{"instances":{},"nets":[{"p1":"a,1","p2":"b,1"}],"ports":{}},)"
              R"("j":{"instances":{},"nets":[{"p1":"a,1","p2":"b,1"}],"ports":{}}})");
    EXPECT_EQ(load({plain(file("empty.pic.yml", "# nothing\n"))}), "{}");
}

TEST_F(LoadSchematics, Failures) {
    EXPECT_EQ(load({plain((dir_ / "missing.pic.yml").string())}),
              "IO error: No such file or directory (os error 2)");
    EXPECT_TRUE(
        load({plain(file("bad.pic.yml", "instances:\n  a: [x\n"))}).starts_with("Parse error: "));
    EXPECT_EQ(load({plain(file("badport.pic.yml", "ports:\n  p: nocomma\n"))}),
              "Parse error: Invalid InstancePort format: 'nocomma' (expected 'instance,port') at "
              "line 2 column 6");
    EXPECT_TRUE(load({plain(file("cells.yml", "top:\n  nets: 5\n"))})
                    .starts_with("Parse error: invalid type"));
}

TEST(ExtractPlacements, NumbersOnly) {
    px_netlist::OrderedMap<px_netlist::OrderedMap<px_netlist::Value>> p;
    p["a"]["x"] = 1.5;
    p["b"]["x"] = 2;
    p["b"]["y"] = -3;
    p["c"]["x"] = "4";
    p["c"]["rotation"] = 90;
    const Placements out = extract_placements(p);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out.at("a"), (std::pair{1.5, 0.0}));
    EXPECT_EQ(out.at("b"), (std::pair{2.0, -3.0}));
    EXPECT_EQ(out.at("c"), (std::pair{0.0, 0.0}));
}

TEST(ProcessSchematic, TopCellChoice) {
    auto cells = px_netlist::recursive_from_yaml(
        "top:\n  instances: {u: sub, g: gc}\n  placements: {u: {x: 5, y: 6}}\n"
        "sub:\n  instances: {m: mmi}\n  placements: {m: {x: 1}}\n");
    ASSERT_TRUE(cells.has_value());
    PreparedSchematic p = process_schematic(*cells, std::nullopt);
    EXPECT_EQ(p.netlist.to_json(false), R"({"instances":{"u~m":"mmi","g":"gc"}})");
    EXPECT_EQ(p.placements.size(), 1u);
    EXPECT_EQ(p.placements.at("u"), (std::pair{5.0, 6.0}));
    EXPECT_EQ(p.cells.size(), 2u);
    p = process_schematic(*cells, "sub");
    EXPECT_EQ(p.netlist.to_json(false), R"({"instances":{"m":"mmi"}})");
    EXPECT_EQ(p.placements.at("m"), (std::pair{1.0, 0.0}));
    p = process_schematic(*cells, "nosuch");
    EXPECT_EQ(p.netlist.instances.size(), 2u);

    cells->erase("sub");
    p = process_schematic(*cells, "nosuch");
    EXPECT_EQ(p.netlist.to_json(false), R"({"instances":{"u":"sub","g":"gc"}})");
    EXPECT_TRUE(p.cells.empty());
    EXPECT_TRUE(process_schematic({}, std::nullopt).netlist.instances.empty());
}

} // namespace
