// Example: a demonstration class holding one text value, shown by str() and repr().
#include <array>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "python/binder.hpp"
#include "python/module.hpp"

namespace vorlik::py {
namespace {

struct ExampleObject {
  PyObject ob_base;
  std::string value;  // UTF-8, fixed at construction
};

ExampleObject* as_example(PyObject* self) noexcept {
  return reinterpret_cast<ExampleObject*>(self);
}

constexpr const char* kParams[] = {"value"};

PyObject* example_new(PyTypeObject* cls, PyObject* args, PyObject* kwargs) noexcept {
  std::array<PyObject*, 1> arg{};
  std::string_view text;
  if (!bind({"Example.__new__", kParams}, args, kwargs, arg) ||
      !to_text(arg[0], kParams[0], text)) {
    return nullptr;
  }
  std::string value;
  try {
    value.assign(text);
  } catch (...) {
    return PyErr_NoMemory();
  }
  Ref no_args(PyTuple_New(0));
  if (!no_args) return nullptr;
  // object's own constructor, which the stable ABI reaches only through the slot (3.10 and
  // later); it never changes, so it is looked up once.
  static const auto object_new =
      reinterpret_cast<newfunc>(PyType_GetSlot(&PyBaseObject_Type, Py_tp_new));
  PyObject* self = object_new(cls, no_args.get(), nullptr);
  if (self == nullptr) return nullptr;
  // Moving a string cannot throw, so the object is never left half built.
  new (&as_example(self)->value) std::string(std::move(value));
  return self;
}

void example_dealloc(PyObject* self) noexcept {
  PyTypeObject* type = Py_TYPE(self);
  std::destroy_at(&as_example(self)->value);
  reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
  // Instances of a heap type own a reference to it.
  Py_DECREF(type);
}

PyObject* example_str(PyObject* self) noexcept {
  return str_from_utf8(as_example(self)->value);
}

PyObject* example_repr(PyObject* self) noexcept {
  try {
    return str_from_utf8("Example<" + as_example(self)->value + ">");
  } catch (...) {
    return PyErr_NoMemory();
  }
}

template <typename Fn>
void* slot(Fn fn) noexcept {
  return reinterpret_cast<void*>(fn);
}

}  // namespace

PyObject* example_type() noexcept {
  static constexpr char kDoc[] = "Example(value)\n--\n\n";
  static PyType_Slot slots[] = {
      {Py_tp_new, slot(example_new)},       {Py_tp_str, slot(example_str)},
      {Py_tp_repr, slot(example_repr)},     {Py_tp_dealloc, slot(example_dealloc)},
      {Py_tp_doc, const_cast<char*>(kDoc)}, {0, nullptr},
  };
  // No Py_TPFLAGS_BASETYPE (not subclassable) and no GC: an instance refers to no Python object.
  static PyType_Spec example_spec = {"builtins.Example", sizeof(ExampleObject), 0,
                                     Py_TPFLAGS_DEFAULT, slots};
  // Created once per process under the static-initialisation guard, and deliberately never
  // released: a static destructor would run after the interpreter is gone. The interpreter
  // mutates type objects (reference count), so the pointee cannot be const.
  // NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables)
  static PyObject* const type = PyType_FromSpec(&example_spec);
  return type;
}

}  // namespace vorlik::py
