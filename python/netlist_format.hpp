// Serialisation shared by the netlist functions: "yaml" or "json" (pretty), else ValueError.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>

#include "orlim_core/netlist/extractor.hpp"
#include "orlim_netlist/extracted.hpp"

namespace orlim_py {

PyObject* format_extracted_netlist(const orlim_netlist::ExtractedNetlist& netlist,
                                   std::string_view format);
PyObject* format_extracted_netlist(const orlim_core::netlist::LayoutExtraction& extraction,
                                   std::string_view format);
PyObject* format_px_netlist(const px_netlist::Netlist& netlist, std::string_view format);

} // namespace orlim_py
