#include <cstdlib>
#include <string>
#include <vector>

#include "args.hpp"
#include "functions.hpp"
#include "orlim_cli/cli.hpp"

namespace orlim_py {

const char* const CLI_DOC =
    "cli(args)\n--\n\n"
    "Run the orlim CLI with the given arguments.\n\n"
    "Used by the `orlim` console script; passing sys.argv behaves like running the\n"
    "command-line program. On failure, and for help, version and usage errors, the\n"
    "process ends with the program's exit status.\n\n"
    "Args:\n"
    "    args: Command-line arguments, e.g. sys.argv (the first is the program name).";

namespace {
void flush_python_streams() {
    for (const char* name : {"stdout", "stderr"}) {
        PyObject* stream = PySys_GetObject(name); // borrowed
        if (stream != nullptr && stream != Py_None) {
            PyObject* r = PyObject_CallMethod(stream, "flush", nullptr);
            if (r == nullptr) {
                PyErr_Clear();
            }
            Py_XDECREF(r);
        }
    }
}
} // namespace

PyObject* cli(PyObject*, PyObject* args, PyObject* kwargs) {
    PyObject* slots[1];
    if (!bind(args, kwargs, "cli", {"args"}, 1, slots)) {
        return nullptr;
    }
    PyObject* seq = slots[0];
    if (PyUnicode_Check(seq) || PyBytes_Check(seq) || !PySequence_Check(seq)) {
        PyErr_Format(PyExc_TypeError, "cli() argument 'args' must be a sequence of str, not %.200s",
                     Py_TYPE(seq)->tp_name);
        return nullptr;
    }
    const Py_ssize_t n = PySequence_Size(seq);
    if (n < 0) {
        return nullptr;
    }
    std::vector<std::string> argv;
    argv.reserve(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = PySequence_GetItem(seq, i);
        if (item == nullptr) {
            return nullptr;
        }
        if (!PyUnicode_Check(item)) {
            PyErr_Format(PyExc_TypeError, "cli() argument 'args' must hold only str, not %.200s",
                         Py_TYPE(item)->tp_name);
            Py_DECREF(item);
            return nullptr;
        }
        auto s = to_str(item, "cli", "args");
        Py_DECREF(item);
        if (!s) {
            return nullptr;
        }
        argv.push_back(std::move(*s));
    }
    // Text printed from Python before this call comes first.
    flush_python_streams();
    const orlim_cli::Outcome outcome = orlim_cli::main(argv);
    if (outcome.terminate) {
        flush_python_streams();
        std::fflush(nullptr);
        std::exit(outcome.status);
    }
    Py_RETURN_NONE;
}

} // namespace orlim_py
