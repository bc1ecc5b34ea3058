// Argument binding and conversion shared by the module functions and Example.__new__.
// Everything here reports failure by returning false (or nullptr) with a Python exception set.
// The whole extension keeps to the stable ABI of CPython 3.10 (the build sets Py_LIMITED_API), so
// one binary loads in every later CPython; it compiles unchanged against the full API as well.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <span>
#include <string_view>
#include <utility>

namespace vorlik::py {

// An owned (strong) reference, released when it goes out of scope.
class Ref {
 public:
  Ref() noexcept = default;
  explicit Ref(PyObject* owned) noexcept : obj_(owned) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : obj_(other.release()) {}
  Ref& operator=(Ref&& other) noexcept {
    Ref(std::move(other)).swap(*this);
    return *this;
  }
  ~Ref() { Py_XDECREF(obj_); }

  PyObject* get() const noexcept { return obj_; }
  PyObject* release() noexcept { return std::exchange(obj_, nullptr); }
  explicit operator bool() const noexcept { return obj_ != nullptr; }
  void swap(Ref& other) noexcept { std::swap(obj_, other.obj_); }

 private:
  PyObject* obj_ = nullptr;
};

// The pending exception, normalised, with the error indicator cleared (empty when none).
Ref take_exception() noexcept;
// Makes exc the pending exception again.
void restore_exception(Ref exc) noexcept;

// A callable's parameters, all positional-or-keyword and required.
struct Signature {
  const char* name;  // as shown in messages, before "()"
  std::span<const char* const> params;
};

// Fills out[i] with a borrowed reference for every parameter, from a vectorcall-style argument
// list (METH_FASTCALL | METH_KEYWORDS). out must have one slot per parameter.
bool bind(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
          std::span<PyObject*> out) noexcept;

// The same for a tuple of positional arguments and an optional keyword dict (tp_new).
bool bind(const Signature& sig, PyObject* args, PyObject* kwargs,
          std::span<PyObject*> out) noexcept;

// Conversions. On failure the exception carries the note "while processing '{param}'".
// The text view points into the object's cached UTF-8 form and lives as long as the object.
bool to_text(PyObject* obj, const char* param, std::string_view& out) noexcept;
bool to_bytes(PyObject* obj, const char* param, std::string_view& out) noexcept;
bool to_u64(PyObject* obj, const char* param, std::uint64_t& out) noexcept;

// A new str from UTF-8 text.
PyObject* str_from_utf8(std::string_view text) noexcept;

}  // namespace vorlik::py
