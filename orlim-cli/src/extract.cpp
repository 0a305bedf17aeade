#include <charconv>

#include "commands.hpp"
#include "orlim_core/netlist/extractor.hpp"

namespace orlim_cli {

void add_tolerance_option(CLI::App& sub, std::int64_t& target, const char* help) {
    sub.add_option_function<std::string>(
           "-t,--tolerance",
           [&target](const std::string& v) {
               std::from_chars(v.data(), v.data() + v.size(), target);
           },
           help)
        ->check(CLI::Validator(
            [](std::string& v) -> std::string {
                std::int64_t parsed = 0;
                auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), parsed);
                if (ec != std::errc{} || end != v.data() + v.size()) {
                    return "invalid value '" + v + "': expected a signed 64-bit integer";
                }
                return {};
            },
            "INT"))
        ->type_name("TOLERANCE")
        ->default_str("1");
}

CLI::App* define_extract(CLI::App& app, Extract& cmd) {
    CLI::App* sub = app.add_subcommand("extract", "Extract netlist from a GDS file");
    sub->add_option("GDS", cmd.gds, "Path to the GDS file")->required()->type_name("");
    add_format_option(*sub, cmd.format);
    add_output_option(*sub, cmd.output);
    add_tolerance_option(*sub, cmd.tolerance, "Port matching tolerance in nanometers");
    return sub;
}

CommandResult run_command(const Extract& cmd) {
    using namespace orlim_core::netlist;
    auto extraction = extract_layout(cmd.gds, cmd.tolerance);
    if (!extraction) {
        return std::unexpected(extraction.error().display());
    }
    auto text = cmd.format == OutputFormat::Json ? to_json(*extraction) : to_yaml(*extraction);
    if (!text) {
        return std::unexpected(text.error().display());
    }
    return CommandText{std::move(*text), "netlist"};
}

} // namespace orlim_cli
