#include "commands.hpp"
#include "orlim_core/lvs/runner/schematic.hpp"

namespace orlim_cli {

CLI::App* define_convert(CLI::App& app, Convert& cmd) {
    CLI::App* sub =
        app.add_subcommand("convert", "Convert a px-netlist (.pic.yml) to orlim-netlist format");
    sub->add_option("INPUT", cmd.input, "Path to the input netlist (.pic.yml)")
        ->required()
        ->type_name("");
    add_format_option(*sub, cmd.format);
    add_output_option(*sub, cmd.output);
    return sub;
}

std::expected<orlim_netlist::ExtractedNetlist, std::string>
load_flat_netlist(const std::string& path) {
    using namespace orlim_core::lvs::runner;
    const SchematicEntry entry{std::nullopt, path};
    // Only the connectivity reaches the result.
    auto schematics = load_schematics(std::span(&entry, 1), {.keep_values = false});
    if (!schematics) {
        return std::unexpected(schematics.error().display());
    }
    return orlim_netlist::reduce_recursive(*schematics);
}

CommandResult run_command(const Convert& cmd) {
    auto netlist = load_flat_netlist(cmd.input);
    if (!netlist) {
        return std::unexpected(netlist.error());
    }
    return CommandText{cmd.format == OutputFormat::Json ? netlist->to_json() : netlist->to_yaml(),
                       "converted netlist"};
}

} // namespace orlim_cli

namespace orlim_cli {

std::optional<NetlistSchemaFormat> parse_netlist_schema_format(std::string_view text) {
    if (text == "orlim") {
        return NetlistSchemaFormat::Orlim;
    }
    if (text == "plarix" || text == "px") {
        return NetlistSchemaFormat::Plarix;
    }
    if (text == "keep") {
        return NetlistSchemaFormat::Keep;
    }
    return std::nullopt;
}

} // namespace orlim_cli
