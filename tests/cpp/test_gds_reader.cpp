#include <gtest/gtest.h>

#include <random>

#include "gds_builder.hpp"
#include "orlim_core/gds/reader.hpp"

using namespace orlim_core::gds::stream;
using orlim_test::encode_real8;
using orlim_test::GdsBuilder;

namespace {

Library parse_ok(const GdsBuilder& b) {
    auto lib = parse_library(b.file());
    EXPECT_TRUE(lib.has_value()) << (lib ? "" : lib.error().display());
    return lib ? std::move(*lib) : Library{};
}

std::string parse_error(const GdsBuilder& b) {
    auto lib = parse_library(b.file());
    EXPECT_FALSE(lib.has_value());
    return lib ? std::string() : lib.error().display();
}

} // namespace

TEST(Real8, RoundTripsEveryDoubleExactly) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> mant(-1.0, 1.0);
    std::uniform_int_distribution<int> exp(-200, 200);
    for (int i = 0; i < 20000; ++i) {
        const double v = std::ldexp(mant(rng), exp(rng));
        ASSERT_EQ(decode_real8(encode_real8(v).data()), v) << v;
    }
    for (double v : {1.0, -1.0, 100.0, 0.001, 1e-9, 1e-6, 0.5, 90.0, 45.7, 0.0}) {
        EXPECT_EQ(decode_real8(encode_real8(v).data()), v);
    }
}

TEST(Real8, KnownEncodings) {
    const unsigned char one[8] = {0x41, 0x10, 0, 0, 0, 0, 0, 0};
    const unsigned char minus_hundred[8] = {0xC2, 0x64, 0, 0, 0, 0, 0, 0};
    const unsigned char zero[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(decode_real8(one), 1.0);
    EXPECT_EQ(decode_real8(minus_hundred), -100.0);
    EXPECT_EQ(decode_real8(zero), 0.0);
}

TEST(Real8, FullMantissaRoundsOnceToNearest) {
    // 56 significant bits do not fit a double: the result must be the correctly rounded value.
    std::mt19937_64 rng(11);
    for (int i = 0; i < 5000; ++i) {
        unsigned char b[8];
        b[0] = static_cast<unsigned char>(rng() & 0xFF);
        std::uint64_t m = (rng() & 0x00FFFFFFFFFFFFFFull) | 0x0010000000000000ull;
        for (int k = 7; k >= 1; --k) {
            b[k] = static_cast<unsigned char>(m & 0xFF);
            m >>= 8;
        }
        std::uint64_t mant = 0;
        for (int k = 1; k < 8; ++k) {
            mant = (mant << 8) | b[k];
        }
        // x87 long double holds 64 mantissa bits, so this product is exact before the final
        // rounding to double.
        const long double exact =
            std::ldexp(static_cast<long double>(mant), 4 * ((b[0] & 0x7F) - 64) - 56);
        const double expected = static_cast<double>((b[0] & 0x80) ? -exact : exact);
        ASSERT_EQ(decode_real8(b), expected);
    }
}

TEST(Reader, ReadsStructuresElementsAndProperties) {
    GdsBuilder::Trans t{
        .reflect = true, .has_angle = true, .angle = 90.0, .has_mag = true, .mag = 2.0};
    GdsBuilder b;
    b.start(0.001, 1e-9)
        .bgnstr("top")
        .boundary(1, 2, {{0, 0}, {10, 0}, {10, 10}, {0, 0}})
        .sref_open("child", -5, 7, &t)
        .property(0, "u1")
        .property(3, "abc")
        .endel()
        .aref_open("child", 2, 3, {0, 0, 20, 0, 0, 30})
        .endel()
        .endstr()
        .bgnstr("child")
        .endstr()
        .endlib();
    Library lib = parse_ok(b);
    EXPECT_EQ(lib.meters_per_dbu, 1e-9);
    EXPECT_EQ(lib.user_units_per_dbu, 0.001);
    ASSERT_EQ(lib.structures.size(), 2u);
    const Structure& top = lib.structures[0];
    EXPECT_EQ(top.name, "top");
    ASSERT_EQ(top.elements.size(), 3u);

    const Element& poly = top.elements[0];
    EXPECT_EQ(poly.kind, ElementKind::Boundary);
    EXPECT_EQ(poly.layer, 1);
    EXPECT_EQ(poly.datatype, 2);
    ASSERT_EQ(poly.xy_count, 4u);
    EXPECT_EQ(poly.point(2).x, 10);
    EXPECT_EQ(poly.point(2).y, 10);

    const Element& ref = top.elements[1];
    EXPECT_EQ(ref.kind, ElementKind::Sref);
    EXPECT_EQ(ref.name, "child");
    EXPECT_TRUE(ref.has_strans && ref.reflect && ref.has_angle && ref.has_mag);
    EXPECT_EQ(ref.angle, 90.0);
    EXPECT_EQ(ref.mag, 2.0);
    EXPECT_EQ(ref.point(0).x, -5);
    auto props = lib.properties_of(ref);
    ASSERT_EQ(props.size(), 2u);
    EXPECT_EQ(props[0].attr, 0);
    EXPECT_EQ(props[0].value, "u1"); // padding NUL removed
    EXPECT_EQ(props[1].value, "abc");

    const Element& arr = top.elements[2];
    EXPECT_EQ(arr.kind, ElementKind::Aref);
    EXPECT_EQ(arr.cols, 2);
    EXPECT_EQ(arr.rows, 3);
    EXPECT_EQ(arr.point(2).y, 30);
    EXPECT_FALSE(arr.has_strans);
    EXPECT_TRUE(lib.properties_of(arr).empty());
}

TEST(Reader, IgnoresPaddingAfterEndlib) {
    GdsBuilder b;
    b.start().bgnstr("a").endstr().endlib().bytes(std::vector<unsigned char>(300, 0));
    EXPECT_EQ(parse_ok(b).structures.size(), 1u);
}

TEST(Reader, RejectsMalformedInput) {
    struct Case {
        const char* what;
        GdsBuilder gds;
        const char* message;
    };
    auto lib = [] { return GdsBuilder().start(); };
    std::vector<Case> cases;
    cases.push_back({"empty", GdsBuilder(), "empty file"});
    cases.push_back({"no header", GdsBuilder().bgnlib(),
                     "not a GDSII stream file (no HEADER record at the start): it starts with a "
                     "BGNLIB record"});
    cases.push_back({"no bgnlib", GdsBuilder().header().libname(), "expected BGNLIB record"});
    cases.push_back({"no units", GdsBuilder().header().bgnlib().libname().bgnstr("a"),
                     "unexpected BGNSTR record before UNITS at byte offset 42"});
    cases.push_back({"truncated header", GdsBuilder().header().bytes({0x00, 0x04}),
                     "truncated record header (2 of 4 bytes) at byte offset 6"});
    cases.push_back({"truncated record", GdsBuilder().header().bytes({0x00, 0x20, 0x01, 0x02}),
                     "truncated record: length 32 but only 4 bytes left at byte offset 6"});
    cases.push_back(
        {"zero length", GdsBuilder().header().bytes({0, 0, 0, 0}), "invalid record length 0"});
    cases.push_back({"odd length", GdsBuilder().header().bytes({0, 5, 0x01, 0x02, 0}),
                     "invalid odd record length 5"});
    cases.push_back({"unknown type", GdsBuilder().header().raw(0x77, 0, {}),
                     "unknown record type 0x77 at byte offset 6"});
    cases.push_back({"wrong data type",
                     GdsBuilder().header().raw(0x01, 3, std::vector<unsigned char>(24)),
                     "BGNLIB record has data type 0x03 (4-byte integer), expected 2-byte integer"});
    cases.push_back({"wrong size",
                     GdsBuilder().header().raw(0x01, 2, std::vector<unsigned char>(10)),
                     "BGNLIB record has 10 data bytes, expected 24"});
    cases.push_back({"no endlib", lib(), "unexpected end of file (ENDLIB record missing)"});
    cases.push_back({"unterminated structure", lib().bgnstr("a"), "ENDLIB record missing"});
    cases.push_back({"zero database unit", GdsBuilder().start(0.001, 0.0).endlib(),
                     "UNITS record has a database unit of 0 metres"});
    cases.push_back({"element without xy",
                     lib().bgnstr("a").raw(0x0A, 0, {}).raw(0x12, 6, GdsBuilder::text("b")).endel(),
                     "SREF element without XY record"});
    cases.push_back({"sref with two points",
                     lib()
                         .bgnstr("a")
                         .raw(0x0A, 0, {})
                         .raw(0x12, 6, GdsBuilder::text("b"))
                         .raw(0x10, 3, GdsBuilder::i32s({1, 2, 3, 4}))
                         .endel(),
                     "SREF element has 2 points, expected 1"});
    cases.push_back({"aref without colrow",
                     lib()
                         .bgnstr("a")
                         .raw(0x0B, 0, {})
                         .raw(0x12, 6, GdsBuilder::text("b"))
                         .raw(0x10, 3, GdsBuilder::i32s({0, 0, 1, 0, 0, 1}))
                         .endel(),
                     "AREF element without COLROW record"});
    cases.push_back({"xy not whole points",
                     lib()
                         .bgnstr("a")
                         .raw(0x08, 0, {})
                         .raw(0x0D, 2, GdsBuilder::i16s({1}))
                         .raw(0x0E, 2, GdsBuilder::i16s({0}))
                         .raw(0x10, 3, GdsBuilder::i32s({1, 2, 3})),
                     "XY record has 12 data bytes, not a whole number of points"});
    cases.push_back({"duplicate record",
                     lib()
                         .bgnstr("a")
                         .raw(0x08, 0, {})
                         .raw(0x0D, 2, GdsBuilder::i16s({1}))
                         .raw(0x0D, 2, GdsBuilder::i16s({2})),
                     "duplicate LAYER record in BOUNDARY element"});
    cases.push_back({"record of another element",
                     lib().bgnstr("a").raw(0x08, 0, {}).raw(0x13, 2, GdsBuilder::i16s({1, 1})),
                     "unexpected COLROW record in BOUNDARY element"});
    cases.push_back(
        {"propattr without value",
         lib().bgnstr("a").sref_open("b", 0, 0).raw(0x2B, 2, GdsBuilder::i16s({0})).endel(),
         "expected PROPVALUE after PROPATTR, found ENDEL"});
    cases.push_back({"element outside structure", lib().raw(0x08, 0, {}),
                     "unexpected BOUNDARY record between structures"});
    cases.push_back({"structure without name",
                     lib().raw(0x05, 2, std::vector<unsigned char>(24)).endstr(),
                     "expected STRNAME record after BGNSTR, found ENDSTR"});
    for (const Case& c : cases) {
        const std::string msg = parse_error(c.gds);
        EXPECT_NE(msg.find(c.message), std::string::npos) << c.what << ": " << msg;
        EXPECT_EQ(msg.rfind("GDS file error: ", 0), 0u) << c.what;
    }
}

TEST(Reader, MissingFileAndDirectory) {
    auto missing = read_library("/nonexistent/dir/x.gds");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().display(), "GDS file error: cannot read '/nonexistent/dir/x.gds': "
                                         "No such file or directory (os error 2)");
    auto dir = read_library("/");
    ASSERT_FALSE(dir);
    EXPECT_NE(dir.error().message.find("Is a directory"), std::string::npos);
}

TEST(Reader, FindsReferenceCycles) {
    struct Case {
        GdsBuilder gds;
        std::string cycle;
    };
    auto lib = [] { return GdsBuilder().start(); };
    std::vector<Case> cases;
    cases.push_back({lib().bgnstr("a").sref("a", 0, 0).endstr().endlib(), "a -> a"});
    cases.push_back({lib()
                         .bgnstr("top")
                         .sref("a", 0, 0)
                         .endstr()
                         .bgnstr("a")
                         .sref("b", 0, 0)
                         .endstr()
                         .bgnstr("b")
                         .aref_open("a", 1, 1, {0, 0, 1, 0, 0, 1})
                         .endel()
                         .endstr()
                         .endlib(),
                     "a -> b -> a"});
    // A diamond and a reference to a missing cell are not cycles.
    cases.push_back({lib()
                         .bgnstr("top")
                         .sref("a", 0, 0)
                         .sref("b", 0, 0)
                         .endstr()
                         .bgnstr("a")
                         .sref("c", 0, 0)
                         .endstr()
                         .bgnstr("b")
                         .sref("c", 0, 0)
                         .sref("missing", 0, 0)
                         .endstr()
                         .bgnstr("c")
                         .endstr()
                         .endlib(),
                     ""});
    for (const Case& c : cases) {
        EXPECT_EQ(find_reference_cycle(parse_ok(c.gds)), c.cycle);
    }
}
