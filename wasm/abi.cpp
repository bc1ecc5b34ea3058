// The C ABI of the WebAssembly module, as vorlik.mjs calls it. Texts and frames come in as
// (pointer, size) ranges in buffers the caller takes with vorlik_buffer and frees when the call
// has returned. Each routine returns a result that the caller reads through the vorlik_result_*
// accessors and then gives back to vorlik_result_free; a null result means that there was not
// even memory for it. Nothing throws across this boundary: the core's routines are noexcept.
#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

#include "src/api.hpp"

namespace {

using vorlik::Outcome;

// The status codes vorlik.mjs reads.
static_assert(static_cast<int>(Outcome::Status::Ok) == 0);
static_assert(static_cast<int>(Outcome::Status::Failed) == 1);
static_assert(static_cast<int>(Outcome::Status::OutOfMemory) == 2);

Outcome* hand_over(Outcome&& outcome) noexcept {
  std::unique_ptr<Outcome> result(new (std::nothrow) Outcome(std::move(outcome)));
  return result.release();  // owned by the caller until vorlik_result_free
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE const char* vorlik_version() noexcept {
  return VORLIK_VERSION;
}

// Input buffers: null when memory is exhausted.
EMSCRIPTEN_KEEPALIVE void* vorlik_buffer(std::size_t size) noexcept {
  return std::malloc(size > 0 ? size : 1);
}
EMSCRIPTEN_KEEPALIVE void* vorlik_buffer_resize(void* buffer, std::size_t size) noexcept {
  return std::realloc(buffer, size > 0 ? size : 1);
}
EMSCRIPTEN_KEEPALIVE void vorlik_buffer_free(void* buffer) noexcept {
  std::free(buffer);
}

EMSCRIPTEN_KEEPALIVE Outcome* vorlik_diff(const char* old_text, std::size_t old_size,
                                          const char* new_text, std::size_t new_size) noexcept {
  return hand_over(vorlik::diff_json({old_text, old_size}, {new_text, new_size}));
}

EMSCRIPTEN_KEEPALIVE Outcome* vorlik_apply(const char* root, std::size_t root_size,
                                           const char* patch, std::size_t patch_size) noexcept {
  return hand_over(vorlik::apply_json({root, root_size}, {patch, patch_size}));
}

EMSCRIPTEN_KEEPALIVE Outcome* vorlik_parse_cem(const char* manifest,
                                               std::size_t manifest_size) noexcept {
  return hand_over(vorlik::parse_cem({manifest, manifest_size}));
}

// `rev` comes in two 32-bit halves, as plain WebAssembly numbers.
EMSCRIPTEN_KEEPALIVE Outcome* vorlik_encode_frame(const char* payload, std::size_t payload_size,
                                                  const char* model_type,
                                                  std::size_t model_type_size, const char* kind,
                                                  std::size_t kind_size, std::uint32_t rev_high,
                                                  std::uint32_t rev_low, const char* codec,
                                                  std::size_t codec_size) noexcept {
  const std::uint64_t rev = (std::uint64_t{rev_high} << 32) | rev_low;
  return hand_over(vorlik::encode_frame({payload, payload_size}, {model_type, model_type_size},
                                        {kind, kind_size}, rev, {codec, codec_size}));
}

EMSCRIPTEN_KEEPALIVE Outcome* vorlik_decode_frame(const char* frame,
                                                  std::size_t frame_size) noexcept {
  return hand_over(vorlik::decode_frame({frame, frame_size}));
}

EMSCRIPTEN_KEEPALIVE int vorlik_result_status(const Outcome* result) noexcept {
  return static_cast<int>(result->status);
}
// The result's text or bytes when Ok, its message when Failed.
EMSCRIPTEN_KEEPALIVE const char* vorlik_result_data(const Outcome* result) noexcept {
  return result->data.data();
}
EMSCRIPTEN_KEEPALIVE std::size_t vorlik_result_size(const Outcome* result) noexcept {
  return result->data.size();
}
EMSCRIPTEN_KEEPALIVE void vorlik_result_free(Outcome* result) noexcept {
  std::unique_ptr<Outcome> owned(result);
}

}  // extern "C"
