// The _orlim extension module: multi-phase initialisation and the function table.
#include "functions.hpp"

namespace {

#define ORLIM_FN(name, fn, doc)                                                                    \
    PyMethodDef {                                                                                  \
        name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fn)),                     \
            METH_VARARGS | METH_KEYWORDS, doc                                                      \
    }

// In the module's documented order.
PyMethodDef methods[] = {
    ORLIM_FN("extract_netlist", orlim_py::extract_netlist, orlim_py::EXTRACT_NETLIST_DOC),
    ORLIM_FN("extract_ports", orlim_py::extract_ports, orlim_py::EXTRACT_PORTS_DOC),
    ORLIM_FN("convert", orlim_py::convert, orlim_py::CONVERT_DOC),
    ORLIM_FN("simplify", orlim_py::simplify, orlim_py::SIMPLIFY_DOC),
    ORLIM_FN("load_schematics", orlim_py::load_schematics, orlim_py::LOAD_SCHEMATICS_DOC),
    ORLIM_FN("cli", orlim_py::cli, orlim_py::CLI_DOC),
    {nullptr, nullptr, 0, nullptr},
};

int exec_module(PyObject* module) {
    if (PyModule_AddFunctions(module, methods) != 0) {
        return -1;
    }
    return PyModule_AddIntConstant(module, "DEFAULT_TOLERANCE_NM", 1);
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_orlim",
    "Layout-versus-schematic checking for port-connected photonic layouts.",
    0,
    nullptr,
    slots,
    nullptr,
    nullptr,
    nullptr,
};

} // namespace

PyMODINIT_FUNC PyInit__orlim() { return PyModuleDef_Init(&module_def); }
