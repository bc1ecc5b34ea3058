#include "python/binder.hpp"

#include <algorithm>
#include <string>

namespace vorlik::py {
namespace {

// Attaches "while processing '{param}'" to the pending exception. Interpreters before 3.11 have
// no add_note; the exception is then raised as it is.
void add_note(const char* param) noexcept {
  Ref exc = take_exception();
  if (!exc) return;
  Ref note(PyUnicode_FromFormat("while processing '%s'", param));
  Ref done(note ? PyObject_CallMethod(exc.get(), "add_note", "O", note.get()) : nullptr);
  if (!done) PyErr_Clear();
  restore_exception(std::move(exc));
}

// The short name of obj's type, as the interpreter's own messages show it: its __name__ with
// everything up to the last dot cut off (a type made from a spec is named "module.Name"). The
// stable ABI of 3.10 has no call for the name. A class whose metaclass is type itself answers
// __name__ from type's own getter; any other metaclass could shadow it, so there that getter
// (type.__dict__["__name__"]) is called directly.
Ref type_name(PyObject* obj) noexcept {
  auto* type = reinterpret_cast<PyObject*>(Py_TYPE(obj));
  Ref name;
  if (Py_TYPE(type) == &PyType_Type) {
    name = Ref(PyObject_GetAttrString(type, "__name__"));
  } else {
    Ref members(PyObject_GetAttrString(reinterpret_cast<PyObject*>(&PyType_Type), "__dict__"));
    Ref getter(members ? PyMapping_GetItemString(members.get(), "__name__") : nullptr);
    name = Ref(getter ? PyObject_CallMethod(getter.get(), "__get__", "O", type) : nullptr);
  }
  if (!name) return name;
  const Py_ssize_t size = PyUnicode_GetLength(name.get());
  const Py_ssize_t dot = size < 0 ? -2 : PyUnicode_FindChar(name.get(), '.', 0, size, -1);
  if (dot == -2) return Ref();
  return dot < 0 ? std::move(name) : Ref(PyUnicode_Substring(name.get(), dot + 1, size));
}

bool wrong_type(PyObject* obj, const char* param, const char* wanted) noexcept {
  if (obj == Py_None) {
    PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", wanted);
  } else if (Ref name = type_name(obj)) {
    PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", name.get(), wanted);
  }
  add_note(param);
  return false;
}

// Refuses more positional arguments than parameters; otherwise empties out for the binding.
bool check_positional(const Signature& sig, Py_ssize_t count, std::span<PyObject*> out) noexcept {
  std::fill(out.begin(), out.end(), nullptr);
  const auto limit = static_cast<Py_ssize_t>(sig.params.size());
  if (count <= limit) return true;
  PyErr_Format(PyExc_TypeError, "%s() takes %zd positional arguments but %zd %s given", sig.name,
               limit, count, count == 1 ? "was" : "were");
  return false;
}

bool place_keyword(const Signature& sig, PyObject* name, PyObject* value,
                   std::span<PyObject*> out) noexcept {
  if (!PyUnicode_Check(name)) {
    PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", sig.name);
    return false;
  }
  for (std::size_t i = 0; i < sig.params.size(); ++i) {
    if (PyUnicode_CompareWithASCIIString(name, sig.params[i]) != 0) continue;
    if (out[i] != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", sig.name,
                   sig.params[i]);
      return false;
    }
    out[i] = value;
    return true;
  }
  PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", sig.name, name);
  return false;
}

bool check_complete(const Signature& sig, std::span<PyObject*> out) noexcept {
  const auto missing = static_cast<std::size_t>(std::count(out.begin(), out.end(), nullptr));
  if (missing == 0) return true;
  try {
    std::string msg = sig.name;
    msg += "() missing " + std::to_string(missing) + " required positional argument";
    msg += missing == 1 ? ": " : "s: ";
    std::size_t listed = 0;
    for (std::size_t i = 0; i < sig.params.size(); ++i) {
      if (out[i] != nullptr) continue;
      if (listed > 0) msg += missing == 2 ? " " : ", ";
      if (listed > 0 && listed + 1 == missing) msg += "and ";
      msg += '\'';
      msg += sig.params[i];
      msg += '\'';
      ++listed;
    }
    PyErr_SetString(PyExc_TypeError, msg.c_str());
  } catch (...) {
    PyErr_NoMemory();
  }
  return false;
}

}  // namespace

// The stable ABI of 3.10 has only the three-part form of the error indicator; 3.12's single
// exception object (PyErr_GetRaisedException) would not load on 3.10 and 3.11.
Ref take_exception() noexcept {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* tb = nullptr;
  PyErr_Fetch(&type, &value, &tb);
  PyErr_NormalizeException(&type, &value, &tb);
  Ref owned_type(type);
  Ref owned_tb(tb);
  if (value != nullptr && tb != nullptr) PyException_SetTraceback(value, tb);
  return Ref(value);
}

void restore_exception(Ref exc) noexcept {
  if (!exc) return;
  auto* type = reinterpret_cast<PyObject*>(Py_TYPE(exc.get()));
  Py_INCREF(type);
  PyObject* tb = PyException_GetTraceback(exc.get());
  PyErr_Restore(type, exc.release(), tb);
}

bool bind(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
          std::span<PyObject*> out) noexcept {
  if (!check_positional(sig, nargs, out)) return false;
  std::copy_n(args, nargs, out.begin());
  if (kwnames != nullptr) {
    const Py_ssize_t nkw = PyTuple_Size(kwnames);
    for (Py_ssize_t i = 0; i < nkw; ++i) {
      if (!place_keyword(sig, PyTuple_GetItem(kwnames, i), args[nargs + i], out)) return false;
    }
  }
  return check_complete(sig, out);
}

bool bind(const Signature& sig, PyObject* args, PyObject* kwargs,
          std::span<PyObject*> out) noexcept {
  const Py_ssize_t nargs = PyTuple_Size(args);
  if (!check_positional(sig, nargs, out)) return false;
  for (Py_ssize_t i = 0; i < nargs; ++i)
    out[static_cast<std::size_t>(i)] = PyTuple_GetItem(args, i);
  if (kwargs != nullptr) {
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      if (!place_keyword(sig, key, value, out)) return false;
    }
  }
  return check_complete(sig, out);
}

bool to_text(PyObject* obj, const char* param, std::string_view& out) noexcept {
  if (!PyUnicode_Check(obj)) return wrong_type(obj, param, "str");
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(obj, &size);
  if (data == nullptr) {
    add_note(param);
    return false;
  }
  out = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

bool to_bytes(PyObject* obj, const char* param, std::string_view& out) noexcept {
  if (!PyBytes_Check(obj)) return wrong_type(obj, param, "bytes");
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(obj, &data, &size) < 0) return false;
  out = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

bool to_u64(PyObject* obj, const char* param, std::uint64_t& out) noexcept {
  unsigned long long value = 0;
  if (PyLong_Check(obj)) {
    value = PyLong_AsUnsignedLongLong(obj);
  } else {
    Ref index(PyNumber_Index(obj));
    if (!index) {
      add_note(param);
      return false;
    }
    value = PyLong_AsUnsignedLongLong(index.get());
  }
  // All ones is also the error marker, but a legitimate value when no error is set.
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    add_note(param);
    return false;
  }
  out = value;
  return true;
}

PyObject* str_from_utf8(std::string_view text) noexcept {
  // The decoder copies pure ASCII a word at a time into the compact form.
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr);
}

}  // namespace vorlik::py
