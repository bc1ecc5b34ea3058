// Module definition for `vorlik`: multi-phase initialisation with a single execution step that
// adds Example and the five functions, keeping __all__ in step.
#include "python/binder.hpp"
#include "python/module.hpp"

namespace vorlik::py {
namespace {

// Appends name to __all__ (creating the list on first use), then sets the attribute.
int add_name(PyObject* module, const char* name, PyObject* value) noexcept {
  PyObject* dict = PyModule_GetDict(module);
  PyObject* existing = PyDict_GetItemString(dict, "__all__");  // borrowed
  Py_XINCREF(existing);
  Ref all(existing);
  if (!all) {
    all = Ref(PyList_New(0));
    if (!all || PyDict_SetItemString(dict, "__all__", all.get()) < 0) return -1;
  } else if (!PyList_Check(all.get())) {
    PyErr_SetString(PyExc_TypeError, "vorlik.__all__ must be a list");
    return -1;
  }
  Ref key(PyUnicode_FromString(name));
  if (!key || PyList_Append(all.get(), key.get()) < 0) return -1;
  return PyObject_SetAttr(module, key.get(), value);
}

// Without the class the module cannot be completed; report it as an import failure that keeps
// the underlying exception as its cause.
int class_unavailable() noexcept {
  Ref cause = take_exception();
  Ref error(PyObject_CallFunction(PyExc_ImportError, "s", "vorlik: cannot create class Example"));
  if (!error) return -1;
  if (cause) PyException_SetCause(error.get(), cause.release());
  PyErr_SetObject(PyExc_ImportError, error.get());
  return -1;
}

int exec_module(PyObject* module) noexcept {
  PyObject* example = example_type();
  if (example == nullptr) return class_unavailable();
  if (add_name(module, "Example", example) < 0) return -1;
  Ref module_name(PyModule_GetNameObject(module));
  if (!module_name) return -1;
  for (PyMethodDef& def : function_defs()) {
    Ref fn(PyCFunction_NewEx(&def, module, module_name.get()));
    if (!fn || add_name(module, def.ml_name, fn.get()) < 0) return -1;
  }
  // Beside the public names, not in __all__.
  return PyModule_AddStringConstant(module, "__version__", VORLIK_VERSION);
}

// Only the execution step: no free-threading or sub-interpreter declarations. The C API takes
// the slots and the definition by non-const pointer and keeps its own bookkeeping in the latter.
// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables)
PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables)
PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "vorlik",  // m_name
    "",        // m_doc
    0,         // m_size: no per-module state
    nullptr,   // m_methods: functions are added by exec_module
    slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace vorlik::py

PyMODINIT_FUNC PyInit_vorlik() {
  return PyModuleDef_Init(&vorlik::py::module_def);
}
