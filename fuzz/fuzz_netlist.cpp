// Fuzz harness: the YAML and JSON netlist readers, and the writers on what they read. A
// netlist that reads must write text that reads back to the same netlist.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "orlim_netlist/extracted.hpp"

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

template <class Read> void round_trip_netlist(Read read, std::string_view text) {
    auto n = read(text);
    if (!n) {
        return;
    }
    const std::string json = n->to_json(false);
    auto from_json = px_netlist::Netlist::from_json(json);
    check(from_json.has_value() && from_json->to_json(false) == json);
    auto from_yaml = px_netlist::Netlist::from_yaml(n->to_yaml());
    check(from_yaml.has_value() && from_yaml->to_json(false) == json);
    // Array expansion writes every element: a few bytes can ask for billions of them.
    for (const auto& [name, inst] : n->instances) {
        if (inst.array && (inst.array->columns > 1000 || inst.array->rows > 1000)) {
            return;
        }
    }
    (void)orlim_netlist::ExtractedNetlist::from_netlist(*n).to_yaml();
}

template <class Read> void round_trip_extracted(Read read, std::string_view text) {
    auto n = read(text);
    if (!n) {
        return;
    }
    const std::string json = n->to_json(false);
    auto from_yaml = orlim_netlist::ExtractedNetlist::from_yaml(n->to_yaml());
    check(from_yaml.has_value() && from_yaml->to_json(false) == json);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    round_trip_netlist([](std::string_view t) { return px_netlist::Netlist::from_yaml(t); }, text);
    round_trip_netlist([](std::string_view t) { return px_netlist::Netlist::from_json(t); }, text);
    round_trip_extracted(
        [](std::string_view t) { return orlim_netlist::ExtractedNetlist::from_yaml(t); }, text);
    round_trip_extracted(
        [](std::string_view t) { return orlim_netlist::ExtractedNetlist::from_json(t); }, text);
    for (auto cells :
         {px_netlist::recursive_from_yaml(text), px_netlist::recursive_from_json(text)}) {
        if (cells) {
            auto again = px_netlist::recursive_from_json(px_netlist::recursive_to_json(*cells));
            check(again.has_value() &&
                  px_netlist::recursive_to_json(*again) == px_netlist::recursive_to_json(*cells));
        }
    }
    return 0;
}
