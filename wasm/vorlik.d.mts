// Declarations of vorlik.mjs (TypeScript finds them beside it by this name): the C++ core of the
// Python module `vorlik` as WebAssembly.

/** Where the WebAssembly module comes from, and how much memory it may take. */
export interface LoadOptions {
  /**
   * The module's URL (a string is resolved against vorlik.mjs's own URL), its bytes, or a
   * compiled module. Default: vorlik.wasm beside vorlik.mjs.
   */
  wasm?: string | URL | ArrayBuffer | ArrayBufferView | WebAssembly.Module;
  /** The most memory the module may take, in bytes: 16 MiB to 2 GiB (the default). */
  memoryLimit?: number;
}

export type FrameKind = "snapshot" | "patch";
export type Codec = "application/json" | "application/msgpack";

/**
 * The five routines of the core. Every call is a pure function of its arguments. Input the core
 * refuses throws {@link VorlikError}; an argument of the wrong type throws TypeError (a string
 * holding a lone surrogate, which UTF-8 cannot carry, too); a `rev` out of range RangeError; and
 * exhausted memory RangeError.
 */
export interface Vorlik {
  /** The patch ('{"ops":[...]}') that turns the component tree `old` into `new` (JSON texts). */
  diff(old: string, new_: string): string;
  /** The component tree `root` with the ops of `patch` replayed in order, in normal form. */
  apply(root: string, patch: string): string;
  /**
   * The frame carrying `payload` (a tree for "snapshot", a patch for "patch"): a 4-byte
   * big-endian header length, the JSON header, a 4-byte big-endian payload length, the payload
   * as JSON text or MessagePack.
   * @param rev 0 to 2**64 - 1: a bigint, or a number that is a safe integer.
   */
  encodeFrame(payload: string, modelType: string, kind: FrameKind, rev: bigint | number, codec: Codec): Uint8Array;
  /** '{"kind":...,"model_type":...,"payload":...,"rev":...}' of the first frame in `frame`. */
  decodeFrame(frame: Uint8Array): string;
  /** The component schemas (a JSON array) of a custom-elements.json manifest. */
  parseCem(manifest: string): string;
  /** The core's version, the same as the Python package's. */
  readonly version: string;
}

/** Input the core refuses; `message` is exactly the Python module's ValueError text. */
export class VorlikError extends Error {
  name: "VorlikError";
}

/**
 * The module, instantiated. Calls with the same source and memory limit share one instance
 * (the same promise); a failed load is not kept.
 */
export function load(options?: LoadOptions): Promise<Vorlik>;
