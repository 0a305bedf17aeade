#include "orlim_cli/cli.hpp"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "commands.hpp"
#include "orlim_core/error.hpp"

namespace orlim_cli {

CLI::Validator choice_validator(std::vector<std::string> values) {
    std::string shown = "{";
    std::string listed;
    for (const std::string& v : values) {
        shown += (shown.size() > 1 ? "," : "") + v;
        listed += (listed.empty() ? "" : ", ") + v;
    }
    shown += "}";
    return CLI::Validator(
        [values, listed](std::string& value) -> std::string {
            for (const std::string& v : values) {
                if (value == v) {
                    return {};
                }
            }
            return "invalid value '" + value + "' (possible values: " + listed + ")";
        },
        shown);
}

void add_format_option(CLI::App& sub, OutputFormat& target) {
    sub.add_option_function<std::string>(
           "-f,--format",
           [&target](const std::string& v) {
               target = v == "json" ? OutputFormat::Json : OutputFormat::Yaml;
           },
           "Output format")
        ->check(choice_validator({"yaml", "json"}))
        ->type_name("FORMAT")
        ->default_str("yaml");
}

void add_output_option(CLI::App& sub, std::optional<std::string>& target) {
    sub.add_option("-o,--output", target, "Output file (stdout if not specified)")
        ->type_name("OUTPUT");
}

namespace {

constexpr const char* VERSION = "0.1.8";

std::string program_name(std::span<const std::string> args) {
    if (args.empty() || args[0].empty()) {
        return "orlim";
    }
    // `python -m orlim` passes the path of the package's __main__.py.
    std::string name = std::filesystem::path(args[0]).filename().string();
    return name.empty() || name.ends_with(".py") ? "orlim" : name;
}

// Help of one command itself (CLI11's help() delegates to a selected subcommand).
std::string help_of(const CLI::App& cmd, const std::string& path) {
    return cmd.get_formatter()->make_help(&cmd, path, CLI::AppFormatMode::Normal);
}

// Every subcommand's record, filled by the parser; the selected one becomes the Cli.
struct Targets {
    Extract extract;
    Convert convert;
    ExtractPorts extract_ports;
    Simplify simplify;
};

} // namespace

std::variant<Cli, ParseStop> parse(std::span<const std::string> args) {
    CLI::App app{"Orlim - A simple LVS tool for Plarix", program_name(args)};
    app.set_version_flag("-V,--version", std::string("orlim ") + VERSION, "Print version");
    app.set_help_flag("-h,--help", "Print help");
    app.require_subcommand(1);
    app.failure_message([](const CLI::App* failed, const CLI::Error& e) {
        return std::string("error: ") + e.what() + "\n\n" + failed->help();
    });

    Targets t;
    CLI::App* extract = define_extract(app, t.extract);
    CLI::App* convert = define_convert(app, t.convert);
    CLI::App* extract_ports = define_extract_ports(app, t.extract_ports);
    CLI::App* simplify = define_simplify(app, t.simplify);

    std::vector<std::string> topics;
    CLI::App* help = app.add_subcommand(
        "help", "Print this message or the help of the given subcommand(s)");
    help->add_option("COMMAND", topics, "Subcommand whose help to print");

    if (args.size() <= 1) {
        return ParseStop{2, "", app.help()};
    }
    std::vector<std::string> rest(args.begin() + 1, args.end());
    std::reverse(rest.begin(), rest.end());
    try {
        app.parse(rest);
    } catch (const CLI::ParseError& e) {
        std::ostringstream out, err;
        const int code = app.exit(e, out, err);
        return ParseStop{code == 0 ? 0 : 2, out.str(), err.str()};
    }
    if (help->parsed()) {
        CLI::App* target = &app;
        std::string path = app.get_name();
        for (const std::string& topic : topics) {
            CLI::App* sub = nullptr;
            for (CLI::App* s : target->get_subcommands({})) {
                if (s->get_name() == topic) {
                    sub = s;
                }
            }
            if (sub == nullptr) {
                return ParseStop{2, "",
                                 "error: unrecognized subcommand '" + topic + "'\n\n" +
                                     help_of(app, app.get_name())};
            }
            target = sub;
            path += " " + topic;
        }
        return ParseStop{0, help_of(*target, path), ""};
    }
    if (extract->parsed()) {
        return Cli{t.extract};
    }
    if (convert->parsed()) {
        return Cli{t.convert};
    }
    if (extract_ports->parsed()) {
        return Cli{t.extract_ports};
    }
    if (simplify->parsed()) {
        return Cli{t.simplify};
    }
    return ParseStop{2, "", app.help()};
}

Outcome run_from(const Cli& cli, Streams io) {
    const auto& [result, output] = std::visit(
        [](const auto& cmd) {
            return std::pair<CommandResult, std::optional<std::string>>{run_command(cmd),
                                                                        cmd.output};
        },
        cli.command);
    if (!result) {
        std::fprintf(io.err, "Error: %s\n", result.error().c_str());
        std::fflush(io.err);
        return {1, true};
    }
    if (std::error_code ec = write_output(output, result->text, result->label, io)) {
        std::fprintf(io.err, "Error: %s\n", orlim_core::describe_os_error(ec).c_str());
        std::fflush(io.err);
        return {1, true};
    }
    return {0, false};
}

Outcome main(std::span<const std::string> args, Streams io) {
    auto parsed = parse(args);
    if (auto* stop = std::get_if<ParseStop>(&parsed)) {
        std::fputs(stop->out.c_str(), io.out);
        std::fputs(stop->err.c_str(), io.err);
        std::fflush(io.out);
        std::fflush(io.err);
        return {stop->status, true};
    }
    return run_from(std::get<Cli>(parsed), io);
}

} // namespace orlim_cli
