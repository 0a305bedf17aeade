#include "orlim_netlist/simplify.hpp"
#include "commands.hpp"
#include "orlim_core/io.hpp"
#include "orlim_core/lvs/runner/schematic.hpp"

namespace orlim_cli {

namespace {

bool is_all(std::string_view s) {
    return s.size() == 3 && (s[0] | 0x20) == 'a' && (s[1] | 0x20) == 'l' && (s[2] | 0x20) == 'l';
}

// "all" (the whole value, any letter case) or the set of the trimmed comma-separated pieces,
// empty pieces included.
orlim_netlist::ComponentFilter parse_filter(std::string_view value) {
    if (is_all(value)) {
        return orlim_netlist::ComponentFilter::all_components();
    }
    auto is_space = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    };
    orlim_netlist::ComponentFilter filter;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = value.find(',', start);
        std::string_view piece =
            value.substr(start, comma == std::string_view::npos ? value.npos : comma - start);
        while (!piece.empty() && is_space(piece.front())) {
            piece.remove_prefix(1);
        }
        while (!piece.empty() && is_space(piece.back())) {
            piece.remove_suffix(1);
        }
        filter.names.emplace(piece);
        if (comma == std::string_view::npos) {
            return filter;
        }
        start = comma + 1;
    }
}

template <class T> std::string serialise(const T& value, OutputFormat format) {
    return format == OutputFormat::Json ? value.to_json() : value.to_yaml();
}

// The file in the orlim schema: loaded as a schematic, reduced to one flat netlist (the first
// cell flattened when there are several), then simplified.
CommandResult orlim_route(const Simplify& cmd, const orlim_netlist::ComponentFilter& filter) {
    const auto netlist = load_flat_netlist(cmd.input);
    if (!netlist) {
        return std::unexpected(netlist.error());
    }
    return CommandText{serialise(orlim_netlist::simplify_netlist(*netlist, filter), cmd.format),
                       "simplified netlist"};
}

// The file in the Plarix schema: a flat netlist simplified; a map of cells flattened into the
// first cell when asked for, else simplified cell by cell.
CommandResult plarix_route(const Simplify& cmd, const orlim_netlist::ComponentFilter& filter,
                           std::string_view text, const orlim_text::Document& doc) {
    using orlim_core::lvs::runner::is_flat_netlist;
    const bool flat = is_flat_netlist(text) || px_netlist::is_netlist_document(doc, doc.root());
    if (flat) {
        auto netlist = px_netlist::Netlist::read(doc, doc.root());
        if (!netlist) {
            return std::unexpected(netlist.error().message);
        }
        return CommandText{
            serialise(orlim_netlist::simplify_px_netlist(std::move(*netlist), filter), cmd.format),
            "simplified netlist"};
    }
    if (cmd.flatten) {
        // Flattening keeps only the connectivity.
        auto cells = px_netlist::read_recursive(doc, doc.root(), {.keep_values = false});
        if (!cells) {
            return std::unexpected(cells.error().message);
        }
        const std::string top = cells->empty() ? std::string() : cells->begin()->first;
        auto netlist = orlim_netlist::flatten_recursive(*cells, top).into_netlist();
        cells->clear();
        return CommandText{
            serialise(orlim_netlist::simplify_px_netlist(std::move(netlist), filter), cmd.format),
            "simplified netlist"};
    }
    auto cells = px_netlist::read_recursive(doc, doc.root());
    if (!cells) {
        return std::unexpected(cells.error().message);
    }
    const auto simplified = orlim_netlist::simplify_recursive_netlist(std::move(*cells), filter);
    return CommandText{cmd.format == OutputFormat::Json ? px_netlist::recursive_to_json(simplified)
                                                        : px_netlist::recursive_to_yaml(simplified),
                       "simplified netlist"};
}

} // namespace

CLI::App* define_simplify(CLI::App& app, Simplify& cmd) {
    CLI::App* sub =
        app.add_subcommand("simplify", "Simplify a netlist by removing 2-port routing instances");
    sub->add_option("INPUT", cmd.input, "Path to the input netlist (.pic.yml)")
        ->required()
        ->type_name("");
    sub->add_option("--remove-twoports", cmd.remove_twoports,
                    "Remove 2-port instances: \"all\" or comma-separated component names")
        ->required()
        ->type_name("FILTER");
    sub->add_option_function<std::string>(
           "--output-format",
           [&cmd](const std::string& v) { cmd.output_format = *parse_netlist_schema_format(v); },
           "Output netlist schema: orlim, plarix (alias: px), or keep (default: auto-detect)")
        ->check(CLI::Validator(
            [](std::string& v) -> std::string {
                if (parse_netlist_schema_format(v)) {
                    return {};
                }
                return "invalid value '" + v + "' (possible values: orlim, plarix, keep)";
            },
            "{orlim,plarix,keep}"))
        ->type_name("OUTPUT_FORMAT")
        ->default_str("keep");
    add_format_option(*sub, cmd.format);
    sub->get_option("--format")->description("Serialization format");
    add_output_option(*sub, cmd.output);
    sub->add_flag("--flatten", cmd.flatten, "Flatten hierarchical netlist before simplification")
        ->disable_flag_override();
    return sub;
}

CommandResult run_command(const Simplify& cmd) {
    auto text = orlim_core::read_file_text(cmd.input);
    if (!text) {
        return std::unexpected(orlim_core::describe_os_error(text.error()));
    }
    const auto filter = parse_filter(cmd.remove_twoports);
    if (cmd.output_format != NetlistSchemaFormat::Orlim) {
        // One parse serves the detection and the Plarix reading.
        auto doc = orlim_text::Document::from_yaml(*text);
        const bool orlim_schema = cmd.output_format == NetlistSchemaFormat::Keep && doc &&
                                  orlim_netlist::ExtractedNetlist::read(*doc, doc->root());
        if (!orlim_schema) {
            if (!doc) {
                return std::unexpected(doc.error().message);
            }
            return plarix_route(cmd, filter, *text, *doc);
        }
    }
    text->clear();
    text->shrink_to_fit();
    return orlim_route(cmd, filter);
}

} // namespace orlim_cli
