// The module's functions, one source file each; registered in module.cpp.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace orlim_py {

extern const char* const EXTRACT_NETLIST_DOC;
PyObject* extract_netlist(PyObject* self, PyObject* args, PyObject* kwargs);

extern const char* const EXTRACT_PORTS_DOC;
PyObject* extract_ports(PyObject* self, PyObject* args, PyObject* kwargs);

extern const char* const CONVERT_DOC;
PyObject* convert(PyObject* self, PyObject* args, PyObject* kwargs);

extern const char* const SIMPLIFY_DOC;
PyObject* simplify(PyObject* self, PyObject* args, PyObject* kwargs);

extern const char* const LOAD_SCHEMATICS_DOC;
PyObject* load_schematics(PyObject* self, PyObject* args, PyObject* kwargs);

extern const char* const CLI_DOC;
PyObject* cli(PyObject* self, PyObject* args, PyObject* kwargs);

} // namespace orlim_py
