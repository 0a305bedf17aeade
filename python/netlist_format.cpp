#include "netlist_format.hpp"

#include "args.hpp"

namespace orlim_py {

namespace {
template <class N> PyObject* format_netlist(const N& netlist, std::string_view format) {
    if (format == "yaml") {
        return from_text(netlist.to_yaml());
    }
    if (format == "json") {
        return from_text(netlist.to_json());
    }
    return raise_value_error("format must be 'yaml' or 'json'");
}
} // namespace

PyObject* format_extracted_netlist(const orlim_netlist::ExtractedNetlist& netlist,
                                   std::string_view format) {
    return format_netlist(netlist, format);
}

PyObject* format_extracted_netlist(const orlim_core::netlist::LayoutExtraction& extraction,
                                   std::string_view format) {
    return format_netlist(extraction, format);
}

PyObject* format_px_netlist(const px_netlist::Netlist& netlist, std::string_view format) {
    return format_netlist(netlist, format);
}

} // namespace orlim_py
