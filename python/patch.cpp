// The five module functions: bind and convert the arguments, run the core routine, and turn its
// outcome into a str, bytes or ValueError.
#include <array>
#include <cstdint>
#include <string_view>

#include "python/binder.hpp"
#include "python/module.hpp"
#include "src/api.hpp"

namespace vorlik::py {
namespace {

PyObject* raise_failure(const Outcome& outcome) noexcept {
  if (outcome.status == Outcome::Status::OutOfMemory) return PyErr_NoMemory();
  // Core messages are UTF-8; "replace" keeps a stray byte from turning this into a decode error.
  Ref message(PyUnicode_DecodeUTF8(outcome.data.data(),
                                   static_cast<Py_ssize_t>(outcome.data.size()), "replace"));
  if (message) PyErr_SetObject(PyExc_ValueError, message.get());
  return nullptr;
}

PyObject* text_result(const Outcome& outcome) noexcept {
  if (outcome.status != Outcome::Status::Ok) return raise_failure(outcome);
  return str_from_utf8(outcome.data);
}

PyObject* bytes_result(const Outcome& outcome) noexcept {
  if (outcome.status != Outcome::Status::Ok) return raise_failure(outcome);
  return PyBytes_FromStringAndSize(outcome.data.data(),
                                   static_cast<Py_ssize_t>(outcome.data.size()));
}

constexpr const char* kDiffParams[] = {"old", "new"};
constexpr const char* kApplyParams[] = {"root", "patch"};
constexpr const char* kParseCemParams[] = {"manifest"};
constexpr const char* kEncodeFrameParams[] = {"payload", "model_type", "kind", "rev", "codec"};
constexpr const char* kDecodeFrameParams[] = {"frame"};

PyObject* diff(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  std::array<PyObject*, 2> arg{};
  std::string_view old_text;
  std::string_view new_text;
  if (!bind({"diff", kDiffParams}, args, nargs, kwnames, arg) ||
      !to_text(arg[0], kDiffParams[0], old_text) || !to_text(arg[1], kDiffParams[1], new_text)) {
    return nullptr;
  }
  return text_result(diff_json(old_text, new_text));
}

PyObject* apply(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  std::array<PyObject*, 2> arg{};
  std::string_view root;
  std::string_view patch;
  if (!bind({"apply", kApplyParams}, args, nargs, kwnames, arg) ||
      !to_text(arg[0], kApplyParams[0], root) || !to_text(arg[1], kApplyParams[1], patch)) {
    return nullptr;
  }
  return text_result(apply_json(root, patch));
}

PyObject* parse_cem(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames) noexcept {
  std::array<PyObject*, 1> arg{};
  std::string_view manifest;
  if (!bind({"parse_cem", kParseCemParams}, args, nargs, kwnames, arg) ||
      !to_text(arg[0], kParseCemParams[0], manifest)) {
    return nullptr;
  }
  return text_result(vorlik::parse_cem(manifest));
}

PyObject* encode_frame(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
  std::array<PyObject*, 5> arg{};
  std::string_view payload;
  std::string_view model_type;
  std::string_view kind;
  std::uint64_t rev = 0;
  std::string_view codec;
  if (!bind({"encode_frame", kEncodeFrameParams}, args, nargs, kwnames, arg) ||
      !to_text(arg[0], kEncodeFrameParams[0], payload) ||
      !to_text(arg[1], kEncodeFrameParams[1], model_type) ||
      !to_text(arg[2], kEncodeFrameParams[2], kind) ||
      !to_u64(arg[3], kEncodeFrameParams[3], rev) ||
      !to_text(arg[4], kEncodeFrameParams[4], codec)) {
    return nullptr;
  }
  return bytes_result(vorlik::encode_frame(payload, model_type, kind, rev, codec));
}

PyObject* decode_frame(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
  std::array<PyObject*, 1> arg{};
  std::string_view frame;
  if (!bind({"decode_frame", kDecodeFrameParams}, args, nargs, kwnames, arg) ||
      !to_bytes(arg[0], kDecodeFrameParams[0], frame)) {
    return nullptr;
  }
  return text_result(vorlik::decode_frame(frame));
}

constexpr const char kDiffDoc[] =
    "diff(old, new)\n--\n\n"
    "Diff two JSON-encoded component trees, returning the JSON-encoded patch.\n\n"
    "Thin wrapper over the shared core (`vorlik::diff_json`); the same code runs in the wasm "
    "binding.";
constexpr const char kApplyDoc[] =
    "apply(root, patch)\n--\n\n"
    "Apply a JSON-encoded patch to a JSON-encoded tree, returning the JSON-encoded result.";
constexpr const char kParseCemDoc[] =
    "parse_cem(manifest)\n--\n\n"
    "Parse a `custom-elements.json` manifest into the JSON-encoded list of component schemas.";
constexpr const char kEncodeFrameDoc[] =
    "encode_frame(payload, model_type, kind, rev, codec)\n--\n\n"
    "Frame a JSON-encoded tree/patch into belvane' length-prefixed envelope bytes.\n\n"
    "`kind` is `\"snapshot\"` or `\"patch\"`; `codec` is `\"application/json\"` or "
    "`\"application/msgpack\"`.";
constexpr const char kDecodeFrameDoc[] =
    "decode_frame(frame)\n--\n\n"
    "Decode one frame back to a `{\"model_type\",\"kind\",\"rev\",\"payload\"}` JSON string.";

using FastCall = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) noexcept;

// PyMethodDef stores every calling convention under the one PyCFunction type; going through a
// generic function pointer keeps -Wcast-function-type quiet about the deliberate cast.
PyCFunction as_cfunction(FastCall fn) noexcept {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fn));
}

}  // namespace

std::span<PyMethodDef> function_defs() noexcept {
  // The C API wants a mutable table, but nothing ever writes to it.
  static PyMethodDef defs[] = {
      {"diff", as_cfunction(diff), METH_FASTCALL | METH_KEYWORDS, kDiffDoc},
      {"apply", as_cfunction(apply), METH_FASTCALL | METH_KEYWORDS, kApplyDoc},
      {"parse_cem", as_cfunction(parse_cem), METH_FASTCALL | METH_KEYWORDS, kParseCemDoc},
      {"encode_frame", as_cfunction(encode_frame), METH_FASTCALL | METH_KEYWORDS, kEncodeFrameDoc},
      {"decode_frame", as_cfunction(decode_frame), METH_FASTCALL | METH_KEYWORDS, kDecodeFrameDoc},
  };
  return defs;
}

}  // namespace vorlik::py
