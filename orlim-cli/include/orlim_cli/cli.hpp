// The orlim command line: parsing into a Cli record, dispatch, and output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>

namespace orlim_cli {

enum class OutputFormat { Yaml, Json };

// Output schema of a netlist: "orlim", "plarix" (alias "px") or "keep".
enum class NetlistSchemaFormat { Orlim, Plarix, Keep };
std::optional<NetlistSchemaFormat> parse_netlist_schema_format(std::string_view text);

struct Extract {
    std::string gds;
    OutputFormat format = OutputFormat::Yaml;
    std::optional<std::string> output;
    std::int64_t tolerance = 1; // nanometres
};

struct ExtractPorts {
    std::string gds;
    OutputFormat format = OutputFormat::Yaml;
    std::optional<std::string> output;
};

struct Convert {
    std::string input;
    OutputFormat format = OutputFormat::Yaml;
    std::optional<std::string> output;
};

struct Simplify {
    std::string input;
    std::string remove_twoports; // "all" (any letter case) or comma-separated component names
    NetlistSchemaFormat output_format = NetlistSchemaFormat::Keep;
    OutputFormat format = OutputFormat::Yaml;
    std::optional<std::string> output;
    bool flatten = false;
};

using Commands = std::variant<Extract, Convert, ExtractPorts, Simplify>;

struct Cli {
    Commands command;
};

// The parser ended the run itself (help, version, usage error): what to print and the status.
struct ParseStop {
    int status;
    std::string out; // for standard output
    std::string err; // for standard error
};

// args[0] is the program name, used only in usage texts.
std::variant<Cli, ParseStop> parse(std::span<const std::string> args);

struct Streams {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
};

// How a run ended: the exit status, and whether the process must end with it (any failure,
// and every stop of the parser) or the caller may simply return (success).
struct Outcome {
    int status = 0;
    bool terminate = false;
};

// Runs the parsed command; failures are printed as "Error: {}" with status 1.
Outcome run_from(const Cli& cli, Streams io = {});

// Parses and runs; prints the parser's texts.
Outcome main(std::span<const std::string> args, Streams io = {});

// No path: text and a newline to standard output. A path: the text exactly into the file,
// then "Wrote {label} to {path}" on standard error.
std::error_code write_output(const std::optional<std::string>& output, std::string_view text,
                             std::string_view label, Streams io = {});

} // namespace orlim_cli
