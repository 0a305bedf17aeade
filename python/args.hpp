// Argument conversion between Python objects and the core, shared by the module's functions.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace orlim_py {

// Binds positional and keyword arguments to the named parameters (all positional-or-keyword);
// the first `required` are mandatory. Slots of omitted parameters stay nullptr. Stock
// TypeErrors for missing, unknown and surplus arguments.
bool bind(PyObject* args, PyObject* kwargs, const char* fname,
          std::initializer_list<const char*> names, int required, PyObject** slots);

// Conversions; on failure a TypeError/OverflowError naming the parameter is set. An omitted
// argument (a null slot from bind) gives the fallback.
std::optional<std::string> to_str(PyObject* o, const char* fname, const char* param,
                                  std::optional<std::string_view> fallback = std::nullopt);
// A str argument as UTF-8 text, in place where Python holds it so already, else converted
// into `storage`.
std::optional<std::string_view> to_text_view(PyObject* o, const char* fname, const char* param,
                                             std::string& storage);
std::optional<std::int64_t> to_i64(PyObject* o, const char* fname, const char* param,
                                   std::optional<std::int64_t> fallback = std::nullopt);
std::optional<bool> to_bool(PyObject* o, const char* fname, const char* param);

// New references; nullptr with an exception set on failure.
PyObject* from_text(std::string_view text);
PyObject* raise_value_error(std::string_view message);

} // namespace orlim_py
