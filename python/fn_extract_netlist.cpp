#include "args.hpp"
#include "functions.hpp"
#include "netlist_format.hpp"
#include "orlim_core/netlist/extractor.hpp"

namespace orlim_py {

const char* const EXTRACT_NETLIST_DOC =
    "extract_netlist(gds_path, format=\"yaml\", tolerance_nm=...)\n--\n\n"
    "Extract a netlist from a GDS file.\n\n"
    "Instances of the top cell become the netlist's instances; ports of different\n"
    "instances that coincide within the tolerance, face each other and have compatible\n"
    "port types form its nets; the top cell's own ports name the instance ports they\n"
    "expose.\n\n"
    "Args:\n"
    "    gds_path: Path to the GDS file.\n"
    "    format: Output format, \"yaml\" (default) or \"json\".\n"
    "    tolerance_nm: Port matching tolerance in nanometers (default: 1).\n\n"
    "Returns:\n"
    "    The extracted netlist as a string in the requested format.";

PyObject* extract_netlist(PyObject*, PyObject* args, PyObject* kwargs) {
    PyObject* slots[3];
    if (!bind(args, kwargs, "extract_netlist", {"gds_path", "format", "tolerance_nm"}, 1, slots)) {
        return nullptr;
    }
    auto path = to_str(slots[0], "extract_netlist", "gds_path");
    if (!path) {
        return nullptr;
    }
    auto format = to_str(slots[1], "extract_netlist", "format", "yaml");
    if (!format) {
        return nullptr;
    }
    auto tolerance = to_i64(slots[2], "extract_netlist", "tolerance_nm", 1);
    if (!tolerance) {
        return nullptr;
    }
    auto extraction = orlim_core::netlist::extract_layout(*path, *tolerance);
    if (!extraction) {
        return raise_value_error(extraction.error().display());
    }
    return format_extracted_netlist(*extraction, *format);
}

} // namespace orlim_py
