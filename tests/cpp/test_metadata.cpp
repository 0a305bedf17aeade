#include <gtest/gtest.h>

#include "orlim_core/gds/metadata.hpp"

using orlim_core::gds::metadata::parse_ports_from_properties;
using orlim_core::gds::metadata::RawPort;

namespace {

using namespace std::string_literals;

std::string port(std::string_view index, std::string_view fields) {
    return "zindel:ports:" + std::string(index) + "')={" + std::string(fields) + "}" + '\0';
}
std::string xs(std::string_view name, std::string_view width) {
    return "zindel:cross_section:" + std::string(name) + "')={'width'=>#l" + std::string(width) +
           ",'layer'=>[layer:1/0]}" + '\0';
}

RawPort make(std::string name, std::int64_t x = 0, std::int64_t y = 0, std::int32_t rot = 0) {
    RawPort p;
    p.name = std::move(name);
    p.x = x;
    p.y = y;
    p.rotation = rot;
    return p;
}

} // namespace

TEST(Metadata, ReadsPortsAndTheirCrossSections) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<RawPort> expected;
    };
    RawPort full = make("o1", -5000, 250, 180);
    full.port_type = "optical";
    full.cross_section = "xs_1";
    full.width = 500;
    RawPort no_width = full;
    no_width.width.reset();
    RawPort later_width = full;
    later_width.width = 700;
    const std::string full_fields =
        "'name'=>'o1','port_type'=>'optical','trans'=>[trans:r180 -5000,250],"
        "'cross_section'=>'xs_1'";
    std::vector<Case> cases = {
        {"empty", "", {}},
        {"name only", port("0", "'name'=>'o1'"), {make("o1")}},
        {"all fields", xs("xs_1", "500") + port("0", full_fields), {full}},
        {"cross-section defined after the port",
         port("0", full_fields) + xs("xs_1", "500"),
         {full}},
        {"unknown cross-section", port("0", full_fields), {no_width}},
        {"later cross-section wins",
         xs("xs_1", "500") + port("0", full_fields) + xs("xs_1", "700"),
         {later_width}},
        {"width that overflows drops the entry",
         xs("xs_1", "99999999999999999999") + port("0", full_fields),
         {no_width}},
        {"rotation and negative x",
         port("0", "'name'=>'a','trans'=>[trans:r90 -1000,2000]"),
         {make("a", -1000, 2000, 90)}},
        {"x of twenty digits",
         port("0", "'name'=>'a','trans'=>[trans:r90 12345678901234567890,7]"),
         {make("a", 0, 7, 90)}},
        {"rotation beyond 32 bits",
         port("0", "'name'=>'a','trans'=>[trans:r4294967296 1,2]"),
         {make("a", 1, 2, 0)}},
        {"placement of another form",
         port("0", "'name'=>'a','trans'=>[trans:m90 1,2]"),
         {make("a")}},
        {"non-ASCII digits",
         port("0", "'name'=>'a','trans'=>[trans:r90 \u0661,2]"),
         {make("a", 0, 2, 90)}},
        {"entry without name is dropped",
         port("0", "'port_type'=>'optical'") + port("1", "'name'=>'b'"),
         {make("b")}},
        {"text order, not key order",
         port("1", "'name'=>'b'") + port("0", "'name'=>'a'") + port("2", "'name'=>'c'"),
         {make("b"), make("a"), make("c")}},
        {"duplicate names are kept",
         port("0", "'name'=>'a'") + port("0", "'name'=>'a'"),
         {make("a"), make("a")}},
        {"segment ends at the NUL",
         port("0", "'name'=>'a'") + "'trans'=>[trans:r90 1,2]"s + '\0',
         {make("a")}},
        {"two ports in one value",
         "zindel:ports:0')={'name'=>'a'} zindel:ports:1')={'name'=>'b','trans'=>[trans:r270 3,4]}"s,
         {make("a", 3, 4, 270), make("b", 3, 4, 270)}},
        {"invalid UTF-8 is replaced", port("0", "'name'=>'a\xff'"), {make("a\xEF\xBF\xBD")}},
    };
    for (const Case& c : cases) {
        auto got = parse_ports_from_properties(c.text);
        ASSERT_TRUE(got.has_value()) << c.what;
        EXPECT_EQ(*got, c.expected) << c.what;
    }
}
