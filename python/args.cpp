#include "args.hpp"

#include <vector>

namespace orlim_py {

bool bind(PyObject* args, PyObject* kwargs, const char* fname,
          std::initializer_list<const char*> names, int required, PyObject** slots) {
    std::string format(static_cast<std::size_t>(required), 'O');
    if (names.size() > static_cast<std::size_t>(required)) {
        format += '|';
        format.append(names.size() - static_cast<std::size_t>(required), 'O');
    }
    format += ':';
    format += fname;
    std::vector<char*> keywords;
    for (const char* n : names) {
        keywords.push_back(const_cast<char*>(n));
    }
    keywords.push_back(nullptr);
    for (std::size_t i = 0; i < names.size(); ++i) {
        slots[i] = nullptr;
    }
    // PyArg_ParseTupleAndKeywords takes a C varargs list of PyObject** slots.
    switch (names.size()) {
    case 1:
        return PyArg_ParseTupleAndKeywords(args, kwargs, format.c_str(), keywords.data(),
                                           &slots[0]) != 0;
    case 2:
        return PyArg_ParseTupleAndKeywords(args, kwargs, format.c_str(), keywords.data(), &slots[0],
                                           &slots[1]) != 0;
    case 3:
        return PyArg_ParseTupleAndKeywords(args, kwargs, format.c_str(), keywords.data(), &slots[0],
                                           &slots[1], &slots[2]) != 0;
    case 4:
        return PyArg_ParseTupleAndKeywords(args, kwargs, format.c_str(), keywords.data(), &slots[0],
                                           &slots[1], &slots[2], &slots[3]) != 0;
    case 5:
        return PyArg_ParseTupleAndKeywords(args, kwargs, format.c_str(), keywords.data(), &slots[0],
                                           &slots[1], &slots[2], &slots[3], &slots[4]) != 0;
    case 8:
        return PyArg_ParseTupleAndKeywords(args, kwargs, format.c_str(), keywords.data(), &slots[0],
                                           &slots[1], &slots[2], &slots[3], &slots[4], &slots[5],
                                           &slots[6], &slots[7]) != 0;
    default:
        PyErr_SetString(PyExc_SystemError, "unsupported parameter count");
        return false;
    }
}

namespace {
void type_error(PyObject* o, const char* fname, const char* param, const char* expected) {
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be %s, not %.200s", fname, param,
                 expected, Py_TYPE(o)->tp_name);
}
} // namespace

std::optional<std::string> to_str(PyObject* o, const char* fname, const char* param,
                                  std::optional<std::string_view> fallback) {
    if (o == nullptr && fallback) {
        return std::string(*fallback);
    }
    if (!PyUnicode_Check(o)) {
        type_error(o, fname, param, "str");
        return std::nullopt;
    }
    // Undecodable bytes that Python carries as surrogates (sys.argv, os.listdir) come back
    // as the original bytes.
    PyObject* bytes = PyUnicode_EncodeFSDefault(o);
    if (bytes == nullptr) {
        return std::nullopt;
    }
    std::string s(PyBytes_AS_STRING(bytes), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes)));
    Py_DECREF(bytes);
    return s;
}

std::optional<std::string_view> to_text_view(PyObject* o, const char* fname, const char* param,
                                             std::string& storage) {
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_Check(o) ? PyUnicode_AsUTF8AndSize(o, &size) : nullptr;
    if (utf8 != nullptr) {
        return std::string_view(utf8, static_cast<std::size_t>(size));
    }
    PyErr_Clear();
    auto s = to_str(o, fname, param);
    if (!s) {
        return std::nullopt;
    }
    storage = std::move(*s);
    return std::string_view(storage);
}

std::optional<std::int64_t> to_i64(PyObject* o, const char* fname, const char* param,
                                   std::optional<std::int64_t> fallback) {
    if (o == nullptr && fallback) {
        return fallback;
    }
    if (!PyIndex_Check(o)) {
        type_error(o, fname, param, "int");
        return std::nullopt;
    }
    PyObject* index = PyNumber_Index(o);
    if (index == nullptr) {
        return std::nullopt;
    }
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(index, &overflow);
    Py_DECREF(index);
    if (overflow != 0) {
        PyErr_Format(PyExc_OverflowError,
                     "%s() argument '%s' is out of range for a signed "
                     "64-bit integer",
                     fname, param);
        return std::nullopt;
    }
    if (v == -1 && PyErr_Occurred()) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(v);
}

std::optional<bool> to_bool(PyObject* o, const char* fname, const char* param) {
    if (!PyBool_Check(o)) {
        type_error(o, fname, param, "bool");
        return std::nullopt;
    }
    return o == Py_True;
}

PyObject* from_text(std::string_view text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

PyObject* raise_value_error(std::string_view message) {
    PyObject* m = from_text(message);
    if (m != nullptr) {
        PyErr_SetObject(PyExc_ValueError, m);
        Py_DECREF(m);
    }
    return nullptr;
}

} // namespace orlim_py
