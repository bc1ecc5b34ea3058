// memcmp for the WebAssembly module. Natively the compiler expands a comparison of a known size
// (the readers match every member name that way) into a few loads; for WebAssembly it does not,
// so each is a call to the C library's memcmp, which compares byte by byte. Linked into the
// module, this one stands in for it.
#include <cstddef>

#include "wasm/compare_bytes.hpp"

extern "C" __attribute__((no_builtin("memcmp"))) int memcmp(const void* a, const void* b,
                                                            std::size_t n) {
  return vorlik::wasm::compare_bytes(static_cast<const unsigned char*>(a),
                                     static_cast<const unsigned char*>(b), n);
}
