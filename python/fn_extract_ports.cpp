#include "args.hpp"
#include "functions.hpp"
#include "orlim_core/gds/parser.hpp"

namespace orlim_py {

const char* const EXTRACT_PORTS_DOC =
    "extract_ports(gds_path, format=\"yaml\")\n--\n\n"
    "Extract component port table from a GDS file.\n\n"
    "Returns a mapping of component name to the list of its port names, as parsed from\n"
    "the port metadata that the layout library writes into the GDS cells.\n\n"
    "Args:\n"
    "    gds_path: Path to the GDS file.\n"
    "    format: Output format, \"yaml\" (default) or \"json\".\n\n"
    "Returns:\n"
    "    The port table as a string in the requested format.";

PyObject* extract_ports(PyObject*, PyObject* args, PyObject* kwargs) {
    PyObject* slots[2];
    if (!bind(args, kwargs, "extract_ports", {"gds_path", "format"}, 1, slots)) {
        return nullptr;
    }
    auto path = to_str(slots[0], "extract_ports", "gds_path");
    if (!path) {
        return nullptr;
    }
    auto format = to_str(slots[1], "extract_ports", "format", "yaml");
    if (!format) {
        return nullptr;
    }
    using namespace orlim_core::gds::parser;
    auto table = load_component_ports(*path);
    if (!table) {
        return raise_value_error(table.error().display());
    }
    if (*format == "yaml") {
        return from_text(component_ports_yaml(*table));
    }
    if (*format == "json") {
        return from_text(component_ports_json(*table));
    }
    return raise_value_error("format must be 'yaml' or 'json'");
}

} // namespace orlim_py
