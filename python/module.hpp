// What the module's execution step gathers from the other translation units.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <span>

namespace vorlik::py {

// The Example class, created on first use and shared by every module object in the process.
// Returns a borrowed reference, or nullptr with an exception set when creation failed.
PyObject* example_type() noexcept;

// The five module functions, in the order they are added to the module.
std::span<PyMethodDef> function_defs() noexcept;

}  // namespace vorlik::py
