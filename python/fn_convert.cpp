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

PyObject* convert(PyObject*, PyObject* args, PyObject* kwargs) {
    PyObject* slots[2];
    if (!bind(args, kwargs, "convert", {"netlist_json", "format"}, 1, slots)) {
        return nullptr;
    }
    auto text = to_str(slots[0], "convert", "netlist_json");
    if (!text) {
        return nullptr;
    }
    std::string format = "json";
    if (slots[1] != nullptr) {
        auto f = to_str(slots[1], "convert", "format");
        if (!f) {
            return nullptr;
        }
        format = std::move(*f);
    }
    auto doc = orlim_text::Document::from_json(*text);
    if (!doc) {
        return raise_value_error("Failed to parse netlist JSON: " + doc.error().message);
    }
    orlim_netlist::ExtractedNetlist result;
    if (px_netlist::is_netlist_document(*doc, doc->root())) {
        auto netlist = px_netlist::Netlist::read(*doc, doc->root());
        if (!netlist) {
            return raise_value_error("Failed to parse netlist JSON: " + netlist.error().message);
        }
        result = orlim_netlist::ExtractedNetlist::from_netlist(std::move(*netlist));
    } else {
        auto schematics = px_netlist::read_recursive(*doc, doc->root());
        if (!schematics) {
            return raise_value_error("Failed to parse netlist JSON: " + schematics.error().message);
        }
        result = orlim_netlist::reduce_recursive(*schematics);
    }
    return format_extracted_netlist(result, format);
}

} // namespace orlim_py
