#include <gtest/gtest.h>

#include <functional>

#include "orlim_text/writer.hpp"

using orlim_text::Writer;

namespace {

std::string yaml(const std::function<void(Writer&)>& f) {
    return orlim_text::to_yaml(f);
}

// A one-entry mapping {k: v}.
std::string scalar_yaml(std::string_view v) {
    return yaml([&](Writer& w) {
        w.begin_map();
        w.key("k");
        w.string(v);
        w.end_map();
    });
}

} // namespace

TEST(YamlWriter, BlockLayout) {
    const std::string text = yaml([](Writer& w) {
        w.begin_map();
        w.key("instances");
        w.begin_map();
        w.key("mmi1");
        w.begin_map();
        w.key("component");
        w.string("mmi1x2");
        w.key("settings");
        w.begin_map();
        w.end_map();
        w.end_map();
        w.end_map();
        w.key("nets");
        w.begin_seq();
        w.begin_map();
        w.key("p1");
        w.string("a,o1");
        w.key("p2");
        w.string("b,o2");
        w.end_map();
        w.begin_seq();
        w.integer(1);
        w.begin_seq();
        w.end_seq();
        w.end_seq();
        w.end_seq();
        w.key("empty");
        w.begin_seq();
        w.end_seq();
        w.key("n");
        w.real(2.0);
        w.key("flag");
        w.boolean(false);
        w.key("none");
        w.null();
        w.end_map();
    });
    EXPECT_EQ(text, "instances:\n"
                    "  mmi1:\n"
                    "    component: mmi1x2\n"
                    "    settings: {}\n"
                    "nets:\n"
                    "- p1: a,o1\n"
                    "  p2: b,o2\n"
                    "- - 1\n"
                    "  - []\n"
                    "empty: []\n"
                    "n: 2.0\n"
                    "flag: false\n"
                    "none: null\n");
}

TEST(YamlWriter, TopLevelForms) {
    EXPECT_EQ(yaml([](Writer& w) {
                  w.begin_map();
                  w.end_map();
              }),
              "{}\n");
    EXPECT_EQ(yaml([](Writer& w) {
                  w.begin_seq();
                  w.string("a");
                  w.begin_map();
                  w.key("b");
                  w.begin_seq();
                  w.string("c");
                  w.end_seq();
                  w.end_map();
                  w.end_seq();
              }),
              "- a\n- b:\n  - c\n");
    EXPECT_EQ(yaml([](Writer& w) { w.string("x"); }), "x\n");
}

TEST(YamlWriter, ScalarStyles) {
    const std::pair<const char*, const char*> cases[] = {
        // plain
        {"mmi1x2", "mmi1x2"},
        {"a,o1", "a,o1"},
        {"gc<0.1>", "gc<0.1>"},
        {"u1~u2~inst", "u1~u2~inst"},
        {"-a", "-a"},
        {"a:b", "a:b"},
        {"a#b", "a#b"},
        {"x y", "x y"},
        {"yes", "yes"},
        {"inf", "inf"},
        {"nulls", "nulls"},
        {"Falsey", "Falsey"},
        {"µm straight", "µm straight"},
        // would read back as null, boolean or number
        {"", "''"},
        {"~", "'~'"},
        {"null", "'null'"},
        {"True", "'True'"},
        {"false", "'false'"},
        {"NULL", "'NULL'"},
        {"TRUE", "'TRUE'"},
        {"12", "'12'"},
        {"-3", "'-3'"},
        {"+4", "'+4'"},
        {"0x1F", "'0x1F'"},
        {"0o17", "'0o17'"},
        {"1.5", "'1.5'"},
        {"1e5", "'1e5'"},
        {".5", "'.5'"},
        {"1.", "'1.'"},
        {".inf", "'.inf'"},
        {"-.INF", "'-.INF'"},
        {".nan", "'.nan'"},
        {"12345678901234567890123", "'12345678901234567890123'"},
        // the core schema reads leading zeros as an integer and an overflowing float as a float
        {"007", "'007'"},
        {"1e999", "'1e999'"},
        // indicators and spaces
        {"- a", "'- a'"},
        {"a: b", "'a: b'"},
        {"a #b", "'a #b'"},
        {"#x", "'#x'"},
        {"&anchor", "'&anchor'"},
        {"*alias", "'*alias'"},
        {"!tag", "'!tag'"},
        {"[x]", "'[x]'"},
        {"{x}", "'{x}'"},
        {"%x", "'%x'"},
        {"@x", "'@x'"},
        {"`x", "'`x'"},
        {"'q'", "'''q'''"},
        {"\"q\"", "'\"q\"'"},
        {"? x", "'? x'"},
        {"abc:", "'abc:'"},
        {"---", "'---'"},
        {" lead", "' lead'"},
        {"trail ", "'trail '"},
        {"it's", "it's"},
        // special characters need double quotes
        {"a\tb", "\"a\\tb\""},
        {"a\rb", "\"a\\rb\""},
        {"bell\x07", "\"bell\\a\""},
        {"nul\x01", "\"nul\\x01\""},
        // line breaks other than LF are escaped, never folded in quotes or blocks
        {"n\u0085ame", "\"n\\Name\""},
        {"a\u2028b\nc", "\"a\\Lb\\nc\""},
        {"it's\u2029", "\"it's\\P\""},
    };
    for (auto [in, out] : cases) {
        EXPECT_EQ(scalar_yaml(in), std::string("k: ") + out + "\n") << in;
    }
}

TEST(YamlWriter, LiteralBlocks) {
    EXPECT_EQ(scalar_yaml("line1\nline2"), "k: |-\n  line1\n  line2\n");
    EXPECT_EQ(scalar_yaml("line1\nline2\n"), "k: |\n  line1\n  line2\n");
    EXPECT_EQ(scalar_yaml("a\n\nb\n\n"), "k: |+\n  a\n\n  b\n\n");
    EXPECT_EQ(scalar_yaml(" indented\nnext"), "k: |2-\n   indented\n  next\n");
    // A space before a line break cannot be a block or a plain scalar.
    EXPECT_EQ(scalar_yaml("a \nb"), "k: \"a \\nb\"\n");
    EXPECT_EQ(yaml([](Writer& w) {
                  w.begin_map();
                  w.key("outer");
                  w.begin_seq();
                  w.string("x\ny");
                  w.end_seq();
                  w.end_map();
              }),
              "outer:\n- |-\n  x\n  y\n");
}

TEST(YamlWriter, KeysFollowTheScalarRules) {
    EXPECT_EQ(yaml([](Writer& w) {
                  w.begin_map();
                  w.key("1");
                  w.string("a");
                  w.key("null");
                  w.string("b");
                  w.key("a: b");
                  w.string("c");
                  w.end_map();
              }),
              "'1': a\n'null': b\n'a: b': c\n");
    const std::string long_key(130, 'k');
    EXPECT_EQ(yaml([&](Writer& w) {
                  w.begin_map();
                  w.key(long_key);
                  w.string("v");
                  w.key(long_key);
                  w.begin_map();
                  w.key("a");
                  w.integer(1);
                  w.end_map();
                  w.end_map();
              }),
              "? " + long_key + "\n: v\n? " + long_key + "\n: a: 1\n");
}

TEST(YamlWriter, NumbersAndInvalidText) {
    EXPECT_EQ(yaml([](Writer& w) {
                  w.begin_seq();
                  w.real(0.1);
                  w.real(-0.0);
                  w.real(1e20);
                  w.real(1.5e-7);
                  w.real(1e300 * 1e300);
                  w.real(-1e300 * 1e300);
                  w.unsigned_integer(18446744073709551615ull);
                  w.integer(-9223372036854775807LL - 1);
                  w.string("bad\xff");
                  w.end_seq();
              }),
              "- 0.1\n- -0.0\n- 1e20\n- 1.5e-7\n- .inf\n- -.inf\n- 18446744073709551615\n"
              "- -9223372036854775808\n- bad\xEF\xBF\xBD\n");
}

TEST(FormatDouble, ShortestRoundTrip) {
    const std::pair<double, const char*> cases[] = {
        {1.0, "1.0"},
        {0.0, "0.0"},
        {-2.5, "-2.5"},
        {0.1, "0.1"},
        {100.0, "100.0"},
        {1e15, "1000000000000000.0"},
        {1e16, "1e16"},
        {1.5e16, "1.5e16"},
        {123456.789, "123456.789"},
        {0.0001, "0.0001"},
        {0.00001, "0.00001"},
        {1.25e-5, "0.0000125"},
        {1e-6, "1e-6"},
        {1.5e-7, "1.5e-7"},
        {5e-324, "5e-324"},
        {0.3, "0.3"},
        {1.7976931348623157e308, "1.7976931348623157e308"},
    };
    for (auto [v, text] : cases) {
        EXPECT_EQ(orlim_text::format_double(v), text) << text;
    }
}
