// Subcommand definitions (argument tables) and their operations.
#pragma once

#include <expected>
#include <string>

#include <CLI/CLI.hpp>

#include "orlim_cli/cli.hpp"
#include "orlim_netlist/extracted.hpp"

namespace orlim_cli {

// A command's text for write_output, or the display text of its failure.
struct CommandText {
    std::string text;
    const char* label;
};
using CommandResult = std::expected<CommandText, std::string>;

// Accepts exactly one of the values (case-sensitive).
CLI::Validator choice_validator(std::vector<std::string> values);
// Adds "--format/-f FORMAT" with the yaml/json choice and default "yaml".
void add_format_option(CLI::App& sub, OutputFormat& target);
// Adds "--tolerance/-t TOLERANCE", a signed 64-bit integer (nanometres), default 1.
void add_tolerance_option(CLI::App& sub, std::int64_t& target, const char* help);
// Adds "--output/-o OUTPUT".
void add_output_option(CLI::App& sub, std::optional<std::string>& target);

CLI::App* define_extract(CLI::App& app, Extract& cmd);
CommandResult run_command(const Extract& cmd);

// One schematic file reduced to one flat netlist (several cells: the first flattened), or the
// display text of the failure.
std::expected<orlim_netlist::ExtractedNetlist, std::string>
load_flat_netlist(const std::string& path);

CLI::App* define_convert(CLI::App& app, Convert& cmd);
CommandResult run_command(const Convert& cmd);

CLI::App* define_extract_ports(CLI::App& app, ExtractPorts& cmd);
CommandResult run_command(const ExtractPorts& cmd);

CLI::App* define_simplify(CLI::App& app, Simplify& cmd);
CommandResult run_command(const Simplify& cmd);

} // namespace orlim_cli
