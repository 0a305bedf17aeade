// Times the stages of netlist extraction on one layout: full load, recording the instances,
// building the port index, matching, the whole extraction and its YAML text. Prints one JSON
// object.
#include <chrono>
#include <cstdio>

#include "orlim_core/netlist/extractor.hpp"

using namespace orlim_core;
using Clock = std::chrono::steady_clock;

namespace {
double since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s LAYOUT.gds\n", argv[0]);
        return 2;
    }
    auto t0 = Clock::now();
    auto gds = gds::parser::GdsData::load(argv[1]);
    const double load = since(t0);
    if (!gds) {
        std::fprintf(stderr, "%s\n", gds.error().display().c_str());
        return 1;
    }
    const auto* top = gds->get_cell(*gds->top_cell_name());
    t0 = Clock::now();
    netlist::Accumulator acc;
    acc.with_positions = false;
    for (const auto& inst : top->instances) {
        netlist::record_instance(acc, *gds, inst.name, acc.cell(*gds, inst.cell_name),
                                 netlist::placement_of(inst));
    }
    const double record = since(t0);
    t0 = Clock::now();
    const netlist::PortIndex index(acc.ports, 1);
    const double index_build = since(t0);
    t0 = Clock::now();
    const auto nets = netlist::match_ports(acc.ports, index, 1);
    const double matching = since(t0);

    t0 = Clock::now();
    auto whole = netlist::extract_layout(argv[1], 1);
    const double extract = since(t0);
    if (!whole) {
        return 1;
    }
    t0 = Clock::now();
    const std::string text = whole->to_yaml();
    const double yaml = since(t0);
    std::printf("{\"load\": %.6f, \"record\": %.6f, \"index\": %.6f, \"matching\": %.6f, "
                "\"extract\": %.6f, \"yaml\": %.6f, \"bytes\": %zu, \"ports\": %zu, \"nets\": %zu, "
                "\"instances\": %zu}\n",
                load, record, index_build, matching, extract, yaml, text.size(), acc.ports.size(),
                nets.size(), whole->acc.instances.size());
    return 0;
}
