#include "args.hpp"
#include "functions.hpp"
#include "netlist_format.hpp"

namespace orlim_py {

const char* const CONVERT_DOC =
    "convert(netlist_json, format=\"json\")\n--\n\n"
    "Convert a Plarix netlist to orlim-netlist format.\n\n"
    "A recursive netlist (cell name to netlist) is flattened with its first cell as the top\n"
    "cell; a single cell, or a flat netlist (an object starting with one of the netlist\n"
    "fields), is converted as it is.\n\n"
    "Args:\n"
    "    netlist_json: The Plarix netlist as JSON.\n"
    "    format: Output format, \"json\" (default) or \"yaml\".\n\n"
    "Returns:\n"
    "    The orlim netlist (instances, nets, ports) as a string in the requested format.";

namespace {

// The netlist JSON reduced to one extracted netlist. The document is dropped as soon as the
// netlists are read.
orlim_text::ReadResult<orlim_netlist::ExtractedNetlist> reduce_json(std::string_view text) {
    // Only the connectivity reaches the output.
    const px_netlist::ReadOptions options{.keep_values = false};
    px_netlist::RecursiveNetlist schematics;
    {
        auto doc = orlim_text::Document::from_json(text);
        if (!doc) {
            return std::unexpected(doc.error());
        }
        if (px_netlist::is_netlist_document(*doc, doc->root())) {
            auto netlist = px_netlist::Netlist::read(*doc, doc->root(), options);
            if (!netlist) {
                return std::unexpected(netlist.error());
            }
            schematics.emplace("top", std::move(*netlist));
        } else {
            auto cells = px_netlist::read_recursive(*doc, doc->root(), options);
            if (!cells) {
                return std::unexpected(cells.error());
            }
            schematics = std::move(*cells);
        }
    }
    if (schematics.size() == 1) {
        return orlim_netlist::ExtractedNetlist::from_netlist(std::move(schematics.begin().value()));
    }
    return orlim_netlist::reduce_recursive(schematics);
}

} // namespace

PyObject* convert(PyObject*, PyObject* args, PyObject* kwargs) {
    PyObject* slots[2];
    if (!bind(args, kwargs, "convert", {"netlist_json", "format"}, 1, slots)) {
        return nullptr;
    }
    std::string copy;
    auto text = to_text_view(slots[0], "convert", "netlist_json", copy);
    if (!text) {
        return nullptr;
    }
    auto format = to_str(slots[1], "convert", "format", "json");
    if (!format) {
        return nullptr;
    }
    auto result = reduce_json(*text);
    if (!result) {
        return raise_value_error("Failed to parse netlist JSON: " + result.error().message);
    }
    return format_extracted_netlist(*result, *format);
}

} // namespace orlim_py
