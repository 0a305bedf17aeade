#include <vector>

#include "args.hpp"
#include "functions.hpp"
#include "orlim_core/lvs/runner/schematic.hpp"

namespace orlim_py {

const char* const LOAD_SCHEMATICS_DOC =
    "load_schematics(paths)\n--\n\n"
    "Load one or more schematic files (.pic.yml) and return the merged\n"
    "Plarix netlist as a JSON string.\n\n"
    "Each entry is a plain path or \"name:path\" to override the component name used for\n"
    "flat netlists. Cells keep the order in which their names first appear.\n\n"
    "Args:\n"
    "    paths: Sequence of schematic file arguments.\n\n"
    "Returns:\n"
    "    The recursive netlist (cell name to netlist) as compact JSON.";

PyObject* load_schematics(PyObject*, PyObject* args, PyObject* kwargs) {
    PyObject* slots[1];
    if (!bind(args, kwargs, "load_schematics", {"paths"}, 1, slots)) {
        return nullptr;
    }
    PyObject* seq = slots[0];
    if (PyUnicode_Check(seq) || PyBytes_Check(seq) || !PySequence_Check(seq)) {
        PyErr_Format(PyExc_TypeError,
                     "load_schematics() argument 'paths' must be a sequence of str, not %.200s",
                     Py_TYPE(seq)->tp_name);
        return nullptr;
    }
    const Py_ssize_t n = PySequence_Size(seq);
    if (n < 0) {
        return nullptr;
    }
    using namespace orlim_core::lvs::runner;
    std::vector<SchematicEntry> entries;
    entries.reserve(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = PySequence_GetItem(seq, i);
        if (item == nullptr) {
            return nullptr;
        }
        if (!PyUnicode_Check(item)) {
            PyErr_Format(PyExc_TypeError,
                         "load_schematics() argument 'paths' must hold only str, not %.200s",
                         Py_TYPE(item)->tp_name);
            Py_DECREF(item);
            return nullptr;
        }
        auto s = to_str(item, "load_schematics", "paths");
        Py_DECREF(item);
        if (!s) {
            return nullptr;
        }
        entries.push_back(parse_named_path(*s));
    }
    auto schematics = orlim_core::lvs::runner::load_schematics(entries);
    if (!schematics) {
        return raise_value_error("Failed to load schematics: " + schematics.error().display());
    }
    return from_text(px_netlist::recursive_to_json(*schematics, false));
}

} // namespace orlim_py
