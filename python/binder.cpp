#include "python/binder.hpp"

#include <algorithm>
#include <cstring>
#include <string>

namespace vorlik::py {
namespace {

// Attaches "while processing '{param}'" to the pending exception. Interpreters before 3.11 have
// no add_note; the exception is then raised as it is.
void add_note(const char* param) noexcept {
  Ref exc = take_exception();
  if (!exc) return;
  Ref note(PyUnicode_FromFormat("while processing '%s'", param));
  Ref add(note ? PyObject_GetAttrString(exc.get(), "add_note") : nullptr);
  Ref done(add ? PyObject_CallOneArg(add.get(), note.get()) : nullptr);
  if (!done) PyErr_Clear();
  restore_exception(std::move(exc));
}

// The interpreter's short type name: heap types made by PyType_FromSpec carry a dotted tp_name.
const char* type_name(PyObject* obj) noexcept {
  const char* name = Py_TYPE(obj)->tp_name;
  const char* dot = std::strrchr(name, '.');
  return dot != nullptr ? dot + 1 : name;
}

bool wrong_type(PyObject* obj, const char* param, const char* wanted) noexcept {
  if (obj == Py_None) {
    PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", wanted);
  } else {
    PyErr_Format(PyExc_TypeError, "'%s' object is not an instance of '%s'", type_name(obj), wanted);
  }
  add_note(param);
  return false;
}

bool place_positional(const Signature& sig, PyObject* const* items, Py_ssize_t count,
                      std::span<PyObject*> out) noexcept {
  std::fill(out.begin(), out.end(), nullptr);
  const auto limit = static_cast<Py_ssize_t>(sig.params.size());
  if (count > limit) {
    PyErr_Format(PyExc_TypeError, "%s() takes %zd positional arguments but %zd %s given", sig.name,
                 limit, count, count == 1 ? "was" : "were");
    return false;
  }
  std::copy_n(items, count, out.begin());
  return true;
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

Ref take_exception() noexcept {
#if PY_VERSION_HEX >= 0x030C0000
  return Ref(PyErr_GetRaisedException());
#else
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* tb = nullptr;
  PyErr_Fetch(&type, &value, &tb);
  PyErr_NormalizeException(&type, &value, &tb);
  Ref owned_type(type);
  Ref owned_tb(tb);
  if (value != nullptr && tb != nullptr) PyException_SetTraceback(value, tb);
  return Ref(value);
#endif
}

void restore_exception(Ref exc) noexcept {
  if (!exc) return;
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(exc.release());
#else
  auto* type = reinterpret_cast<PyObject*>(Py_TYPE(exc.get()));
  Py_INCREF(type);
  PyObject* tb = PyException_GetTraceback(exc.get());
  PyErr_Restore(type, exc.release(), tb);
#endif
}

bool bind(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
          std::span<PyObject*> out) noexcept {
  if (!place_positional(sig, args, nargs, out)) return false;
  if (kwnames != nullptr) {
    const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t i = 0; i < nkw; ++i) {
      if (!place_keyword(sig, PyTuple_GET_ITEM(kwnames, i), args[nargs + i], out)) return false;
    }
  }
  return check_complete(sig, out);
}

bool bind(const Signature& sig, PyObject* args, PyObject* kwargs,
          std::span<PyObject*> out) noexcept {
  if (!place_positional(sig, PySequence_Fast_ITEMS(args), PyTuple_GET_SIZE(args), out)) {
    return false;
  }
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
  out = std::string_view(PyBytes_AS_STRING(obj), static_cast<std::size_t>(PyBytes_GET_SIZE(obj)));
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
  const auto size = static_cast<Py_ssize_t>(text.size());
  unsigned char high = 0;
  for (const char c : text) high |= static_cast<unsigned char>(c);
  if (high < 0x80) {
    // Pure ASCII: the compact ASCII form is the UTF-8 itself, so skip the decoder.
    PyObject* str = PyUnicode_New(size, 127);
    if (str != nullptr && size > 0) std::memcpy(PyUnicode_DATA(str), text.data(), text.size());
    return str;
  }
  return PyUnicode_DecodeUTF8(text.data(), size, nullptr);
}

}  // namespace vorlik::py
