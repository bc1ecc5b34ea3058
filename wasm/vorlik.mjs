// vorlik in JavaScript: the C++ core of the Python module `vorlik`, compiled to WebAssembly, so
// that a client applies a patch with exactly the code that made it.
//
//   import { load, VorlikError } from "./vorlik.mjs";
//   const vorlik = await load();               // fetches vorlik.wasm from beside this file
//   const patch = vorlik.diff(oldTree, newTree);
//
// Texts go in and come out as strings (UTF-8 inside), frames as Uint8Array. Input the core
// refuses throws VorlikError, whose message is the Python module's ValueError text to the byte;
// a wrong argument throws TypeError or RangeError, exhausted memory RangeError. Plain ES module,
// no dependencies; runs in browsers and in Node.

const OK = 0;
const FAILED = 1; // 2: out of memory
const PAGE = 65536;
// The module's own limits (its link options in CMakeLists.txt): 16 MiB to start, at most 2 GiB.
const INITIAL_PAGES = 256;
const MAXIMUM_PAGES = 32768;
const REV_MAX = 0xffff_ffff_ffff_ffffn;
const LONE_SURROGATE = /\p{Cs}/u; // in a u-mode pattern a pair is one code point: only lone halves

/** Input the core refuses; `message` is exactly the Python module's ValueError text. */
export class VorlikError extends Error {}
VorlikError.prototype.name = "VorlikError";

const byUrl = new Map(); // "href pages" -> Promise of an instance
const byObject = new WeakMap(); // bytes or compiled module -> Map(pages -> Promise of an instance)

/**
 * Instantiates the module. Without `wasm` it comes from vorlik.wasm beside this file; `wasm` may
 * name another URL (relative to this file), or be the module's bytes or a compiled module.
 * `memoryLimit` caps the module's memory in bytes (16 MiB to 2 GiB, the default). Calls with the
 * same source and limit return the same promise of one instance, so load() may be called
 * wherever it is needed; a failed load, or an instance that has failed, is not kept.
 */
export function load(options = {}) {
  try {
    const { wasm = new URL("vorlik.wasm", import.meta.url), memoryLimit } = options ?? {};
    const pages = limitPages(memoryLimit);
    let cache;
    let key = pages;
    let compile;
    if (typeof wasm === "string" || wasm instanceof URL) {
      const url = new URL(wasm, import.meta.url);
      [cache, key, compile] = [byUrl, `${url.href} ${pages}`, () => fetchModule(url)];
    } else if (wasm instanceof WebAssembly.Module || wasm instanceof ArrayBuffer || ArrayBuffer.isView(wasm)) {
      if (!byObject.has(wasm)) byObject.set(wasm, new Map());
      cache = byObject.get(wasm);
      compile = () => (wasm instanceof WebAssembly.Module ? wasm : WebAssembly.compile(wasm));
    } else {
      throw new TypeError(`load(): options.wasm must be a URL, a string, the module's bytes or a ` +
                          `WebAssembly.Module, not ${describe(wasm)}`);
    }
    let loading = cache.get(key);
    if (!loading) {
      const forget = () => cache.get(key) === loading && cache.delete(key);
      loading = instantiate(compile(), pages, forget);
      cache.set(key, loading);
      loading.catch(forget);
    }
    return loading;
  } catch (error) {
    return Promise.reject(error);
  }
}

function limitPages(memoryLimit) {
  if (memoryLimit === undefined) return MAXIMUM_PAGES;
  if (typeof memoryLimit !== "number" || !Number.isInteger(memoryLimit)) {
    throw new TypeError(`load(): options.memoryLimit must be an integer number of bytes, not ${describe(memoryLimit)}`);
  }
  if (memoryLimit < INITIAL_PAGES * PAGE || memoryLimit > MAXIMUM_PAGES * PAGE) {
    throw new RangeError(`load(): options.memoryLimit must be between ${INITIAL_PAGES * PAGE} (16 MiB) ` +
                         `and ${MAXIMUM_PAGES * PAGE} (2 GiB), not ${memoryLimit}`);
  }
  return Math.floor(memoryLimit / PAGE);
}

async function fetchModule(url) {
  try {
    if (url.protocol === "file:") {
      // Node (a file: URL cannot be fetched there). The name is not a literal, so that bundlers
      // for the browser leave it alone.
      const fs = "node:fs/promises";
      return await WebAssembly.compile(await (await import(/* webpackIgnore: true */ fs)).readFile(url));
    }
    const response = await fetch(url);
    if (!response.ok) throw new Error(`HTTP ${response.status} ${response.statusText}`.trim());
    // Compiled while it downloads when served as application/wasm, which compileStreaming demands.
    if (typeof WebAssembly.compileStreaming === "function" &&
        response.headers.get("Content-Type")?.split(";")[0].trim() === "application/wasm") {
      return await WebAssembly.compileStreaming(response);
    }
    return await WebAssembly.compile(await response.arrayBuffer());
  } catch (error) {
    throw new Error(`load(): cannot load the WebAssembly module from ${url.href}: ${error.message}`, { cause: error });
  }
}

async function instantiate(compiling, pages, forget) {
  const module = await compiling;
  const memory = new WebAssembly.Memory({ initial: INITIAL_PAGES, maximum: pages });
  const instance = await WebAssembly.instantiate(module, imports(module, memory));
  instance.exports._initialize?.();
  return face(instance.exports, memory, pages, forget);
}

// What the module asks of its host: its memory, a note when that grows, random bytes (the key
// under which a diff hashes keys a peer chose), the clock (which seeds the randomised index of
// long child lists), and exit, which only abort() calls.
function imports(module, memory) {
  const provided = {
    env: {
      memory,
      emscripten_notify_memory_growth() {},
      getentropy(at, length) { // at most 256 bytes, as the C library's getentropy gives
        crypto.getRandomValues(new Uint8Array(memory.buffer, at >>> 0, length >>> 0));
        return 0;
      },
    },
    wasi_snapshot_preview1: {
      clock_time_get(clock, precision, at) {
        const milliseconds = clock === 0 ? Date.now() : performance.now(); // realtime, else monotonic
        new DataView(memory.buffer).setBigUint64(at >>> 0, BigInt(Math.round(milliseconds * 1e6)), true);
        return 0;
      },
      proc_exit(status) {
        throw new Error(`vorlik: the WebAssembly module stopped (exit status ${status})`);
      },
    },
  };
  const ENOSYS = 52; // WASI's "function not supported"
  const result = {};
  for (const { module: from, name, kind } of WebAssembly.Module.imports(module)) {
    let value = provided[from]?.[name];
    if (value === undefined && kind === "function") {
      value = from === "wasi_snapshot_preview1" ? () => ENOSYS : () => {
        throw new Error(`vorlik: the WebAssembly module called ${from}.${name}, which this loader does not provide`);
      };
    }
    (result[from] ??= {})[name] = value;
  }
  return result;
}

function face(exports, memory, pages, forget) {
  const encoder = new TextEncoder();
  const decoder = new TextDecoder("utf-8", { ignoreBOM: true }); // a leading U+FEFF is kept
  let broken = null; // set once the module has trapped: its state can no longer be trusted
  const view = (at, size) => new Uint8Array(memory.buffer, at, size);
  const outOfMemory = (fn) =>
    new RangeError(`${fn}(): out of memory (the WebAssembly memory is limited to ${pages * PAGE} bytes)`);

  // Copies a checked string into a new buffer as UTF-8; [address, size], or 0 when out of memory.
  // ASCII takes one byte per UTF-16 unit, so that size is tried first; other text takes a second
  // step with room for three bytes per unit left.
  function copyText(text) {
    let at = exports.vorlik_buffer(text.length) >>> 0;
    if (!at) return [0, 0];
    let { read, written } = encoder.encodeInto(text, view(at, text.length));
    if (read < text.length) {
      const room = written + (text.length - read) * 3;
      const grown = exports.vorlik_buffer_resize(at, room) >>> 0;
      if (!grown) {
        exports.vorlik_buffer_free(at);
        return [0, 0];
      }
      at = grown;
      written += encoder.encodeInto(text.slice(read), view(at + written, room - written)).written;
    }
    return [at, written];
  }

  function copyBytes(bytes) {
    const at = exports.vorlik_buffer(bytes.length) >>> 0;
    if (at) view(at, bytes.length).set(bytes);
    return [at, bytes.length];
  }

  // Runs one core routine on its inputs (strings and Uint8Arrays, already checked), each copied
  // into the module's memory as (address, size), and reads its result with `read`.
  function run(fn, inputs, routine, read) {
    if (broken) throw broken;
    const held = [];
    try {
      const ranges = [];
      for (const input of inputs) {
        const range = typeof input === "string" ? copyText(input) : copyBytes(input);
        if (!range[0]) throw outOfMemory(fn);
        held.push(range[0]);
        ranges.push(range);
      }
      const result = routine(ranges) >>> 0;
      if (!result) throw outOfMemory(fn);
      try {
        const status = exports.vorlik_result_status(result);
        if (status !== OK && status !== FAILED) throw outOfMemory(fn);
        const data = view(exports.vorlik_result_data(result) >>> 0, exports.vorlik_result_size(result) >>> 0);
        if (status === FAILED) throw new VorlikError(decoder.decode(data));
        return read(data);
      } finally {
        exports.vorlik_result_free(result);
      }
    } catch (error) {
      if (error instanceof WebAssembly.RuntimeError) {
        broken = new Error(`vorlik: the WebAssembly module failed in ${fn}() and cannot be used ` +
                           `any more; load() gives a new one`, { cause: error });
        forget();
        throw broken;
      }
      throw error;
    } finally {
      if (!broken) for (const at of held) exports.vorlik_buffer_free(at);
    }
  }

  const text = (data) => decoder.decode(data);
  const bytes = (data) => data.slice();

  const version = (() => {
    const at = exports.vorlik_version() >>> 0;
    const all = new Uint8Array(memory.buffer);
    return decoder.decode(all.subarray(at, all.indexOf(0, at)));
  })();

  return Object.freeze({
    /** The patch (JSON text) that turns the component tree `old` into `new` (JSON texts). */
    diff(old, new_) {
      checkText("diff", "old", old);
      checkText("diff", "new", new_);
      return run("diff", [old, new_], ([a, b]) => exports.vorlik_diff(...a, ...b), text);
    },
    /** The component tree `root` with the ops of `patch` replayed, in normal form. */
    apply(root, patch) {
      checkText("apply", "root", root);
      checkText("apply", "patch", patch);
      return run("apply", [root, patch], ([r, p]) => exports.vorlik_apply(...r, ...p), text);
    },
    /** The frame (Uint8Array) carrying `payload` with the given header. */
    encodeFrame(payload, modelType, kind, rev, codec) {
      checkText("encodeFrame", "payload", payload);
      checkText("encodeFrame", "modelType", modelType);
      checkText("encodeFrame", "kind", kind);
      const [high, low] = revHalves(rev);
      checkText("encodeFrame", "codec", codec);
      return run("encodeFrame", [payload, modelType, kind, codec],
                 ([p, m, k, c]) => exports.vorlik_encode_frame(...p, ...m, ...k, high, low, ...c), bytes);
    },
    /** The frame's header and payload as '{"kind","model_type","payload","rev"}' JSON text. */
    decodeFrame(frame) {
      if (frame?.[Symbol.toStringTag] !== "Uint8Array") {
        throw new TypeError(`decodeFrame(): frame must be a Uint8Array, not ${describe(frame)}`);
      }
      return run("decodeFrame", [frame], ([f]) => exports.vorlik_decode_frame(...f), text);
    },
    /** The component schemas (JSON text) of a custom-elements.json manifest. */
    parseCem(manifest) {
      checkText("parseCem", "manifest", manifest);
      return run("parseCem", [manifest], ([m]) => exports.vorlik_parse_cem(...m), text);
    },
    /** The version of the core, the Python package's version. */
    version,
  });
}

function checkText(fn, name, value) {
  if (typeof value !== "string") throw new TypeError(`${fn}(): ${name} must be a string, not ${describe(value)}`);
  // UTF-8 cannot carry a lone surrogate; it is refused rather than silently replaced.
  if (!(value.isWellFormed?.() ?? !LONE_SURROGATE.test(value))) {
    throw new TypeError(`${fn}(): ${name} holds a lone surrogate at index ${value.search(LONE_SURROGATE)}, ` +
                        `which UTF-8 cannot carry`);
  }
}

// The revision as two 32-bit halves: a bigint, or a number that is a safe integer.
function revHalves(rev) {
  let value;
  if (typeof rev === "bigint") {
    value = rev;
  } else if (typeof rev === "number") {
    if (!Number.isInteger(rev)) throw new TypeError(`encodeFrame(): rev must be an integer, not ${rev}`);
    if (!Number.isSafeInteger(rev)) {
      throw new RangeError(`encodeFrame(): rev ${rev} is beyond Number.MAX_SAFE_INTEGER, where numbers ` +
                           `are not exact; give it as a bigint`);
    }
    value = BigInt(rev);
  } else {
    throw new TypeError(`encodeFrame(): rev must be a bigint or an integer number, not ${describe(rev)}`);
  }
  if (value < 0n || value > REV_MAX) {
    throw new RangeError(`encodeFrame(): rev must be between 0 and 2**64 - 1, not ${value}`);
  }
  return [Number(value >> 32n), Number(value & 0xffff_ffffn)];
}

function describe(value) {
  if (value === null) return "null";
  if (typeof value === "object") return value.constructor?.name ?? "object";
  return typeof value;
}
