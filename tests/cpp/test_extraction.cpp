#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "gds_builder.hpp"
#include "orlim_core/netlist/extractor.hpp"

using namespace orlim_core::netlist;
using orlim_core::gds::metadata::RawPort;
using orlim_core::gds::parser::GdsData;
using orlim_test::GdsBuilder;

namespace {

RawPort raw(std::string name, std::int64_t x, std::int64_t y, std::int32_t rot,
            std::optional<std::string> type = std::nullopt) {
    RawPort p;
    p.name = std::move(name);
    p.x = x;
    p.y = y;
    p.rotation = rot;
    p.port_type = std::move(type);
    return p;
}

// Ports of different instances given directly in micrometres.
struct Fixture {
    std::vector<PlacedPort> ports;
    // A port named "o" of the instance.
    void add(std::string_view instance, double x, double y, double o,
             std::optional<std::string_view> type = std::nullopt) {
        Port p;
        p.name = "o";
        p.x = x;
        p.y = y;
        p.orientation = o;
        p.port_type = type;
        ports.push_back({instance, p});
    }
    std::vector<Net> nets(std::int64_t tol) const {
        return find_connections(ports, PortIndex(ports, tol), tol);
    }
};

std::vector<std::string> net_texts(const std::vector<Net>& nets) {
    std::vector<std::string> out;
    for (const Net& n : nets) {
        out.push_back(n.p1.to_string() + " " + n.p2.to_string());
    }
    return out;
}

} // namespace

TEST(RoundToI64, HalvesAwayFromZeroAndSaturates) {
    constexpr auto lo = std::numeric_limits<std::int64_t>::min();
    constexpr auto hi = std::numeric_limits<std::int64_t>::max();
    const std::pair<double, std::int64_t> cases[] = {
        {0.5, 1},
        {-0.5, -1},
        {1.5, 2},
        {-2.5, -3},
        {0.49999999999999994, 0},
        {-0.49999999999999994, 0},
        {4503599627370495.5, 4503599627370496},
        {9007199254740993.0, 9007199254740992},
        {9223372036854774784.0, 9223372036854774784}, // the largest double below 2^63
        {9223372036854775808.0, hi},
        {-9223372036854775808.0, lo},
        {1e300, hi},
        {-std::numeric_limits<double>::infinity(), lo},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (auto [v, want] : cases) {
        EXPECT_EQ(round_to_i64(v), want) << v;
    }
    // Against the library rounding over many magnitudes.
    std::mt19937_64 rng(3);
    for (int i = 0; i < 100000; ++i) {
        const double v = std::ldexp(static_cast<double>(rng() >> 11) / 9007199254740992.0,
                                    static_cast<int>(rng() % 70)) *
                         (rng() % 2 ? 1 : -1);
        const double r = std::round(v);
        const std::int64_t want = r >= 9.2233720368547758e18    ? hi
                                  : r <= -9.2233720368547758e18 ? lo
                                                                : static_cast<std::int64_t>(r);
        ASSERT_EQ(round_to_i64(v), want) << v;
    }
}

TEST(TransformPorts, RotationMirrorAndScale) {
    const std::vector<RawPort> ports = {raw("a", 10, 0, 0), raw("b", 0, 10, 90)};
    auto r90 = transform_ports(ports, Placement{1000, 0, 90.0, false}, 0.001);
    EXPECT_DOUBLE_EQ(r90[0].x, 1.0);
    EXPECT_DOUBLE_EQ(r90[0].y, 0.01);
    EXPECT_EQ(r90[0].orientation, 90.0);
    auto m90 = transform_ports(ports, Placement{1000, 0, 90.0, true}, 0.001);
    EXPECT_DOUBLE_EQ(m90[1].x, 1.01);
    EXPECT_DOUBLE_EQ(m90[1].y, 0.0);
    EXPECT_EQ(m90[1].orientation, 0.0); // 90 + 360 - 90, remainder 0
    // The remainder keeps the sign of the angle sum.
    auto neg = transform_ports({raw("c", 0, 0, 90)}, Placement{0, 0, -450.0, false}, 1.0);
    EXPECT_EQ(neg[0].orientation, -0.0);
    EXPECT_EQ(
        transform_ports({raw("d", 0, 0, 0)}, Placement{0, 0, -90.0, false}, 1.0)[0].orientation,
        -90.0);
    // Offsets round half away from zero before the origin is added.
    auto half = transform_ports({raw("e", 1, 0, 0)}, Placement{0, 0, 60.0, false}, 1.0);
    EXPECT_EQ(half[0].x, 1.0); // cos 60 = 0.5000000000000001 rounds to 1
    auto width = raw("w", 0, 0, 0);
    width.width = 500;
    EXPECT_DOUBLE_EQ(*transform_ports({width}, Placement{}, 0.001)[0].width, 0.5);
}

TEST(PortIndex, NeighbourhoodAcrossGridLines) {
    Fixture f;
    // Cell size 10 nm: -1 nm is in cell -1, 0 in cell 0, 9 in cell 0, 10 in cell 1.
    f.add("a", -0.001, 0, 0);
    f.add("b", 0.0, 0, 0);
    f.add("c", 0.009, 0, 0);
    f.add("d", 0.010, 0, 0);
    f.add("e", 0.025, 0, 0);
    PortIndex index(f.ports, 10);
    EXPECT_EQ(index.cell_size(), 10);
    EXPECT_EQ(index.positions()[0], (std::pair<std::int64_t, std::int64_t>{-1, 0}));
    std::vector<std::uint32_t> near;
    index.candidates(0, 0, near);
    EXPECT_EQ(near, (std::vector<std::uint32_t>{0, 1, 2, 3}));
    near.clear();
    index.candidates(25, 5, near);
    EXPECT_EQ(near, (std::vector<std::uint32_t>{3, 4}));
    EXPECT_EQ(PortIndex(f.ports, 0).cell_size(), 1);
    EXPECT_EQ(PortIndex(f.ports, -5).cell_size(), 1);
}

TEST(Connections, TableOfPairs) {
    struct Case {
        const char* what;
        double dx_um;
        double o1, o2;
        std::optional<std::string_view> t1, t2;
        std::int64_t tol;
        bool connects;
    };
    const Case cases[] = {
        {"same point, facing", 0, 0, 180, "t1", "t1", 1, true},
        {"same direction", 0, 0, 0, {}, {}, 1, false},
        {"180.5 apart", 0, 90, 270.5, {}, {}, 1, true},
        {"181 apart", 0, 90, 271, {}, {}, 1, false},
        {"-90 and 90", 0, -90, 90, {}, {}, 1, true},
        {"0 and 178.5", 0, 0, 178.5, {}, {}, 1, false},
        {"1 nm with tolerance 1", 0.001, 0, 180, {}, {}, 1, true},
        {"2 nm with tolerance 1", 0.002, 0, 180, {}, {}, 1, false},
        {"exactly one cell apart", 0.005, 0, 180, {}, {}, 5, true},
        {"0.4 nm rounds to 0 with tolerance 0", 0.0004, 0, 180, {}, {}, 0, true},
        {"1 nm with tolerance 0", 0.001, 0, 180, {}, {}, 0, false},
        {"negative tolerance", 0, 0, 180, {}, {}, -1, false},
        {"types differ", 0, 0, 180, "t1", "t2", 1, false},
        {"one untyped", 0, 0, 180, "t1", {}, 1, true},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.add("a", 5.0, 1.0, c.o1, c.t1);
        f.add("b", 5.0 + c.dx_um, 1.0, c.o2, c.t2);
        EXPECT_EQ(f.nets(c.tol).size(), c.connects ? 1u : 0u) << c.what;
    }
    Fixture same;
    same.add("a", 0, 0, 0);
    same.add("a", 0, 0, 180);
    EXPECT_TRUE(same.nets(1).empty());
    Fixture three;
    three.add("a", 0, 0, 0);
    three.add("b", 0, 0, 180);
    three.add("c", 0, 0, 0);
    EXPECT_EQ(net_texts(three.nets(1)), (std::vector<std::string>{"a,o b,o", "b,o c,o"}));
}

namespace {

std::pair<std::int64_t, std::int64_t> cell_of(const PlacedPort& p, std::int64_t tol) {
    const std::int64_t cell = std::max<std::int64_t>(tol, 1);
    const auto floor_div = [cell](std::int64_t v) {
        return v / cell - ((v % cell != 0) && (v < 0) ? 1 : 0);
    };
    return {floor_div(round_to_i64(p.port.x * 1000.0)), floor_div(round_to_i64(p.port.y * 1000.0))};
}

// -1, 0 or 1 when b's key is that far from a's (keys wrap at the ends of the range), else 2.
int offset(std::int64_t a, std::int64_t b) {
    const auto d = static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a);
    return d == 0 ? 0 : d == 1 ? 1 : d == ~std::uint64_t{0} ? -1 : 2;
}

// The neighbourhood query by definition: every port of the 3 x 3 cells, cell by cell with x
// offsets outer, y offsets inner, ascending index within a cell.
std::vector<std::uint32_t> plain_candidates(const std::vector<PlacedPort>& ports,
                                            std::pair<std::int64_t, std::int64_t> key,
                                            std::int64_t tol) {
    std::vector<std::pair<int, std::uint32_t>> ranked;
    for (std::uint32_t b = 0; b < ports.size(); ++b) {
        const auto kb = cell_of(ports[b], tol);
        const int dx = offset(key.first, kb.first), dy = offset(key.second, kb.second);
        if (dx != 2 && dy != 2) {
            ranked.emplace_back((dx + 1) * 3 + dy + 1, b);
        }
    }
    std::sort(ranked.begin(), ranked.end());
    std::vector<std::uint32_t> out;
    for (auto [rank, b] : ranked) {
        out.push_back(b);
    }
    return out;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>>
plain_matching(const std::vector<PlacedPort>& ports, std::int64_t tol) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    for (std::uint32_t a = 0; a < ports.size(); ++a) {
        const Port& pa = ports[a].port;
        for (std::uint32_t b : plain_candidates(ports, cell_of(ports[a], tol), tol)) {
            const Port& pb = ports[b].port;
            const double d = std::fmod(std::fabs(pa.orientation - pb.orientation), 360.0);
            if (b > a && ports[a].instance != ports[b].instance &&
                within_tolerance(pa.x - pb.x, tol) && within_tolerance(pa.y - pb.y, tol) &&
                std::fabs(d - 180.0) < 1.0 &&
                !(pa.port_type && pb.port_type && *pa.port_type != *pb.port_type)) {
                out.emplace_back(a, b);
            }
        }
    }
    return out;
}

} // namespace

// Crowded random layouts, some ports beyond the key range: the index and the matching sweep
// give what the per-port definition gives, in the same order.
TEST(Connections, SweepMatchesThePerPortDefinition) {
    std::mt19937_64 rng(7);
    const char* instances[] = {"a", "b", "c", "d", "e"};
    const std::optional<std::string_view> types[] = {std::nullopt, "t1", "t2"};
    const double angles[] = {0, 90, 180, 270, -90, 180.5, 359.5, 0.5};
    const double far[] = {1e16, -1e16, 9.2233720368547e15, -9.2233720368547e15};
    for (int trial = 0; trial < 40; ++trial) {
        Fixture f;
        const int n = 50 + static_cast<int>(rng() % 250);
        for (int i = 0; i < n; ++i) {
            // Ports on a 1 nm lattice of a few cells, with sub-nanometre jitter.
            double x =
                static_cast<double>(rng() % 12) * 0.001 + static_cast<double>(rng() % 3) * 0.0004;
            double y =
                static_cast<double>(rng() % 12) * 0.001 - static_cast<double>(rng() % 3) * 0.0004;
            if (rng() % 20 == 0) {
                (rng() % 2 ? x : y) = far[rng() % 4];
            }
            f.add(instances[rng() % 5], x, y, angles[rng() % 8], types[rng() % 3]);
        }
        // Lists that step along rows or along columns are indexed along different axes.
        if (trial % 3 != 0) {
            const bool rows = trial % 3 == 1;
            std::stable_sort(f.ports.begin(), f.ports.end(), [rows](const auto& a, const auto& b) {
                return rows ? std::pair{a.port.y, a.port.x} < std::pair{b.port.y, b.port.x}
                            : std::pair{a.port.x, a.port.y} < std::pair{b.port.x, b.port.y};
            });
        }
        for (std::int64_t tol : {-1, 0, 1, 3, 2000}) {
            const PortIndex index(f.ports, tol);
            std::vector<std::pair<std::uint32_t, std::uint32_t>> got;
            for (const PortPair& p : match_ports(spots_of(f.ports), index, tol)) {
                got.emplace_back(p.a, p.b);
            }
            ASSERT_EQ(got, plain_matching(f.ports, tol)) << "trial " << trial << " tol " << tol;
            for (std::uint32_t q = 0; q < f.ports.size(); q += 7) {
                std::vector<std::uint32_t> near;
                const auto& pos = index.positions()[q];
                index.candidates(pos.first, pos.second, near);
                ASSERT_EQ(near, plain_candidates(f.ports, cell_of(f.ports[q], tol), tol));
            }
        }
    }
}

TEST(Connections, TopAndOpenPorts) {
    Fixture f;
    f.add("a", 0, 0, 0);
    f.add("b", 0, 0, 180);
    f.add("c", 10, 0, 0);
    f.add("d", 10, 0, 0); // same spot as c, both unconnected
    f.add("e", 20, 0, 0);
    const PortIndex index(f.ports, 1);
    const auto nets = find_connections(f.ports, index, 1);
    ASSERT_EQ(nets.size(), 1u);
    // um_per_dbu 0.001: (0,0) lies on the connected a/b, (10000,0) on c and d, 30000 on nothing.
    const std::vector<RawPort> top = {raw("t_ab", 0, 0, 0), raw("t_cd", 10000, 0, 0),
                                      raw("t_none", 30000, 0, 0)};
    const auto exposed = find_top_ports(top, f.ports, index, nets, 1, 0.001);
    ASSERT_EQ(exposed.size(), 1u);
    EXPECT_EQ(exposed.at("t_cd").to_string(), "d,o"); // the last candidate wins
    const auto open = find_open_ports(f.ports, nets, exposed);
    std::vector<std::string> texts;
    for (const auto& p : open) {
        texts.push_back(p.to_string());
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"c,o", "e,o"}));
    EXPECT_TRUE(find_top_ports(top, f.ports, index, nets, -1, 0.001).empty());
}

namespace {

std::string ports_meta(std::initializer_list<std::tuple<const char*, int, int, int>> ports) {
    std::string s;
    int i = 0;
    for (auto [name, x, y, r] : ports) {
        s += "zindel:ports:" + std::to_string(i++) + "')={'name'=>'" + name +
             "','trans'=>[trans:r" + std::to_string(r) + " " + std::to_string(x) + "," +
             std::to_string(y) + "]}";
    }
    s.push_back('\0');
    return s;
}

GdsData load(const GdsBuilder& b) {
    auto data = GdsData::from_bytes(b.file());
    EXPECT_TRUE(data) << (data ? "" : data.error().display());
    return std::move(*data);
}

// top: u1 (a "wg" with ports o1 at 0 facing 180, o2 at 1000 facing 0) at the origin, u2 at
// (1000, 0); a "group" cell holding two wg instances; the top cell's own port lies on u2.o2.
GdsBuilder two_waveguides() {
    GdsBuilder::Trans r90{.has_angle = true, .angle = 90.0};
    GdsBuilder b;
    b.start()
        .bgnstr("wg")
        .endstr()
        .bgnstr("group_G")
        .sref_open("wg", 0, 0)
        .property(0, "w1")
        .endel()
        .sref("wg", 10, 0, &r90)
        .endstr()
        .bgnstr("top")
        .sref_open("wg", 0, 0)
        .property(0, "u1")
        .endel()
        .sref_open("wg", 1000, 0)
        .property(0, "u2")
        .endel()
        .sref_open("group_G", 1000, 0, &r90)
        .property(0, "g")
        .endel()
        .endstr()
        .bgnstr("$$$CONTEXT_INFO$$$")
        .sref_open("wg", 0, 0)
        .property(0, ports_meta({{"o1", 0, 0, 180}, {"o2", 1000, 0, 0}}))
        .endel()
        .sref_open("top", 0, 0)
        .property(0, ports_meta({{"out", 2000, 0, 0}}))
        .endel()
        .endstr()
        .endlib();
    return b;
}

} // namespace

TEST(Extraction, NetsTopPortsAndOpenPorts) {
    auto r = extract_from(load(two_waveguides()), 1, {});
    ASSERT_TRUE(r);
    const ExtractedNetlist& n = r->netlist;
    std::vector<std::pair<std::string, std::string>> instances(n.instances.begin(),
                                                               n.instances.end());
    EXPECT_EQ(instances, (std::vector<std::pair<std::string, std::string>>{
                             {"u1", "wg"}, {"u2", "wg"}, {"g", "group"}}));
    EXPECT_EQ(net_texts(n.nets), (std::vector<std::string>{"u1,o2 u2,o1"}));
    ASSERT_EQ(n.ports.size(), 1u);
    EXPECT_EQ(n.ports.at("out").to_string(), "u2,o2");
    EXPECT_TRUE(r->open_ports.size() == 1 && r->open_ports[0].to_string() == "u1,o1");
    EXPECT_DOUBLE_EQ(r->instance_positions.at("u2").first, 1.0);
    const auto& pos = r->port_positions.at({"u2", "o2"});
    EXPECT_DOUBLE_EQ(pos.x, 2.0);
    EXPECT_FALSE(pos.width.has_value());
}

// A repeated instance name and a cell naming one port twice: what is open goes by the
// (instance, port) texts, not by the placed port.
TEST(Extraction, OpenPortsByInstancePortText) {
    GdsBuilder b;
    b.start()
        .bgnstr("wg")
        .endstr()
        .bgnstr("twin")
        .endstr()
        .bgnstr("top")
        .sref_open("wg", 0, 0)
        .property(0, "u")
        .endel()
        .sref_open("wg", 1000, 0)
        .property(0, "v")
        .endel()
        .sref_open("twin", 5000, 0)
        .property(0, "u")
        .endel()
        .sref_open("twin", 2000, 0)
        .property(0, "w")
        .endel()
        .endstr()
        .bgnstr("$$$CONTEXT_INFO$$$")
        .sref_open("wg", 0, 0)
        .property(0, ports_meta({{"o1", 0, 0, 180}, {"o2", 1000, 0, 0}}))
        .endel()
        .sref_open("twin", 0, 0)
        .property(0, ports_meta({{"o2", 0, 0, 0}, {"p", 0, 0, 180}, {"p", 500, 0, 0}}))
        .endel()
        .endstr()
        .endlib();
    auto x = extract_layout(load(b), 1, {}, false);
    ASSERT_TRUE(x);
    // u.o2 meets v.o1; v.o2 meets w's first p.
    const ExtractedNetlist n = x->netlist();
    EXPECT_EQ(net_texts(n.nets), (std::vector<std::string>{"u,o2 v,o1", "v,o2 w,p"}));
    ASSERT_EQ(n.instances.size(), 3u);
    EXPECT_EQ(n.instances.at("u"), "twin"); // first place, last component
    std::vector<std::string> open;
    for (const auto& p : x->open_ports()) {
        open.push_back(p.to_string());
    }
    // The second u's o2 shares its text with the connected u.o2, and w's second p with w's
    // first; the second u's two p are open, each listed.
    EXPECT_EQ(open, (std::vector<std::string>{"u,o1", "u,p", "u,p", "w,o2"}));
    EXPECT_EQ(*to_yaml(*x), n.to_yaml());
    EXPECT_EQ(*to_json(*x), n.to_json());
}

TEST(Extraction, FlattensComposedPlacements) {
    FlattenSet flatten{"group"};
    auto r = extract_from(load(two_waveguides()), 1, flatten);
    ASSERT_TRUE(r);
    std::vector<std::string> names;
    for (const auto& [name, component] : r->netlist.instances) {
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"u1", "u2", "g~w1", "g~wg_10_0_r90"}));
    // g at (1000, 0) rotated 90 holds w1 at the origin and a child at (10, 0) rotated 90:
    // the child lands at (1000, 10), rotated 180.
    EXPECT_DOUBLE_EQ(r->instance_positions.at("g~wg_10_0_r90").first, 1.0);
    EXPECT_DOUBLE_EQ(r->instance_positions.at("g~wg_10_0_r90").second, 0.01);
    // g~w1.o1 lies on u1.o2 and u2.o1 but faces neither of them (270 against 0 and 180).
    EXPECT_EQ(net_texts(r->netlist.nets).size(), 1u);
    auto mirrored = compose(Placement{1000, 0, 90.0, true},
                            orlim_core::gds::parser::GdsInstanceRef{"c", "wg", 0, 10, 0.0, false});
    EXPECT_EQ(mirrored.x, 1010);
    EXPECT_EQ(mirrored.y, 0);
    EXPECT_TRUE(mirrored.mirror);
    EXPECT_EQ(mirrored.rotation, 90.0);
}

TEST(Extraction, Failures) {
    GdsBuilder only_context;
    only_context.start().bgnstr("$$$CONTEXT_INFO$$$").endstr().endlib();
    auto r = extract_from(load(only_context), 1, {});
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().display(), "Cell not found: No cells found in GDS");
    auto missing = extract_netlist_with_tolerance("/nonexistent.gds", 1);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind, orlim_core::ErrorKind::GdsError);
}

TEST(Extraction, CountInstancePorts) {
    ExtractedNetlist n;
    n.instances.insert({"a", "wg"});
    n.instances.insert({"b", "mystery"});
    n.instances.insert({"c", "mystery"});
    n.nets.push_back(Net{{"a", "o1"}, {"b", "x"}});
    n.nets.push_back(Net{{"b", "y"}, {"d", "z"}});
    n.ports.insert({"top", InstancePort{"b", "x"}});
    orlim_core::gds::parser::ComponentPorts table;
    table.insert({"wg", {"o1", "o2", "o3"}});
    auto counts = count_instance_ports(n, table);
    EXPECT_EQ(counts.at("a"), 3u); // from the table, although one port is used
    EXPECT_EQ(counts.at("b"), 2u); // x and y
    EXPECT_EQ(counts.at("d"), 1u); // only in a net
    EXPECT_FALSE(counts.contains("c"));
}
