#include "commands.hpp"
#include "orlim_core/gds/parser.hpp"

namespace orlim_cli {

CLI::App* define_extract_ports(CLI::App& app, ExtractPorts& cmd) {
    CLI::App* sub =
        app.add_subcommand("extract-ports", "Extract component port table from a GDS file");
    sub->add_option("GDS", cmd.gds, "Path to the GDS file")->required()->type_name("");
    add_format_option(*sub, cmd.format);
    add_output_option(*sub, cmd.output);
    return sub;
}

CommandResult run_command(const ExtractPorts& cmd) {
    using namespace orlim_core::gds::parser;
    auto table = load_component_ports(cmd.gds);
    if (!table) {
        return std::unexpected(table.error().display());
    }
    return CommandText{cmd.format == OutputFormat::Json ? component_ports_json(*table)
                                                        : component_ports_yaml(*table),
                       "component ports"};
}

} // namespace orlim_cli
