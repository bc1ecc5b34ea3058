// The JavaScript face: loading, argument checks, errors, and what crosses the boundary.
import assert from "node:assert/strict";
import { copyFileSync, mkdtempSync, readFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { test } from "node:test";
import { pathToFileURL } from "node:url";

import { clientDir, clientUrl } from "./support.mjs";

const { load, VorlikError } = await import(clientUrl("vorlik.mjs"));
const vorlik = await load();
const wasmBytes = readFileSync(`${clientDir}/vorlik.wasm`);
const MiB = 1 << 20;

test("load() shares one instance per source and limit", async () => {
  assert.equal(load(), load());
  assert.equal(await load({ wasm: clientUrl("vorlik.wasm") }), vorlik);
  assert.equal(await load({ wasm: "vorlik.wasm" }), vorlik); // relative to vorlik.mjs
  assert.notEqual(await load({ memoryLimit: 64 * MiB }), vorlik);
  const fromBytes = await load({ wasm: wasmBytes });
  assert.notEqual(fromBytes, vorlik);
  assert.equal(await load({ wasm: wasmBytes }), fromBytes);
  const module = await WebAssembly.compile(wasmBytes);
  assert.equal(await load({ wasm: module }), await load({ wasm: module }));
  assert.equal((await load({ wasm: wasmBytes.buffer.slice(0) })).diff("{\"tag\":\"a\"}", "{\"tag\":\"a\"}"), "{\"ops\":[]}");
});

test("the face", () => {
  assert.deepEqual(Object.keys(vorlik).sort(), ["apply", "decodeFrame", "diff", "encodeFrame", "parseCem", "version"]);
  assert.ok(Object.isFrozen(vorlik));
  const pyproject = readFileSync(new URL("../../pyproject.toml", import.meta.url), "utf8");
  assert.equal(vorlik.version, /^version = "([^"]+)"/m.exec(pyproject)[1]);
  const { diff } = vorlik; // the functions need no `this`
  assert.equal(diff("{\"tag\":\"a\"}", "{\"tag\":\"a\"}"), "{\"ops\":[]}");
});

test("the loader provides every import the module asks for", () => {
  const asked = WebAssembly.Module.imports(new WebAssembly.Module(wasmBytes)).map((i) => `${i.module}.${i.name}`);
  assert.deepEqual(asked.sort(), ["env.emscripten_notify_memory_growth", "env.getentropy", "env.memory",
    "wasi_snapshot_preview1.clock_time_get", "wasi_snapshot_preview1.proc_exit"]);
});

test("a failed load is not kept", async () => {
  const folder = mkdtempSync(`${tmpdir()}/vorlik-`);
  const url = pathToFileURL(`${folder}/vorlik.wasm`);
  await assert.rejects(load({ wasm: url }), (e) => e.message.startsWith(`load(): cannot load the WebAssembly module from ${url.href}: ENOENT`));
  copyFileSync(`${clientDir}/vorlik.wasm`, `${folder}/vorlik.wasm`);
  assert.equal((await load({ wasm: url })).version, vorlik.version);
});

test("load() refuses bad options", async () => {
  for (const [options, type, message] of [
    [{ wasm: 5 }, TypeError, "load(): options.wasm must be a URL, a string, the module's bytes or a WebAssembly.Module, not number"],
    [{ memoryLimit: "1GB" }, TypeError, "load(): options.memoryLimit must be an integer number of bytes, not string"],
    [{ memoryLimit: 8 * MiB }, RangeError, "load(): options.memoryLimit must be between 16777216 (16 MiB) and 2147483648 (2 GiB), not 8388608"],
    [{ memoryLimit: 4096 * MiB }, RangeError, /not 4294967296$/],
    [{ wasm: new Uint8Array([0, 97, 115, 109]) }, WebAssembly.CompileError, /./],
  ]) {
    await assert.rejects(load(options), (e) => e instanceof type && (message instanceof RegExp ? message.test(e.message) : e.message === message));
  }
});

test("refused input throws VorlikError with the core's message", () => {
  for (const [call, message] of [
    [() => vorlik.diff("", "{}"), "EOF while parsing a value at line 1 column 0"],
    [() => vorlik.diff("{\"tag\":1}", "]"), "invalid type: integer `1`, expected a string at line 1 column 8"], // old first
    [() => vorlik.apply("{\"tag\":\"a\"} x", "{\"ops\":[]}"), "trailing characters at line 1 column 13"],
    [() => vorlik.encodeFrame("{}", "m", "patch", 1, "text/plain"), "unknown codec: text/plain"],
    [() => vorlik.decodeFrame(new Uint8Array(3)), "truncated frame"],
    [() => vorlik.parseCem("{\"modules\":5}"), "invalid type: integer `5`, expected a sequence at line 1 column 12"],
  ]) {
    assert.throws(call, (e) => e instanceof VorlikError && e instanceof Error && e.name === "VorlikError" && e.message === message);
  }
});

test("wrong arguments throw TypeError or RangeError", () => {
  const frame = (rev) => () => vorlik.encodeFrame("{}", "m", "patch", rev, "application/json");
  for (const [call, type, message] of [
    [() => vorlik.diff("{}"), TypeError, "diff(): new must be a string, not undefined"],
    [() => vorlik.apply(null, "{}"), TypeError, "apply(): root must be a string, not null"],
    [() => vorlik.parseCem(new String("{}")), TypeError, "parseCem(): manifest must be a string, not String"],
    [() => vorlik.encodeFrame("{}", "m", 1, 1, "application/json"), TypeError, "encodeFrame(): kind must be a string, not number"],
    [() => vorlik.decodeFrame([0, 0, 0, 0]), TypeError, "decodeFrame(): frame must be a Uint8Array, not Array"],
    [() => vorlik.decodeFrame(new ArrayBuffer(8)), TypeError, "decodeFrame(): frame must be a Uint8Array, not ArrayBuffer"],
    [() => vorlik.decodeFrame(new Int8Array(8)), TypeError, "decodeFrame(): frame must be a Uint8Array, not Int8Array"],
    [() => vorlik.diff("{\"tag\":\"a\ud800\"}", "{}"), TypeError, "diff(): old holds a lone surrogate at index 9, which UTF-8 cannot carry"],
    [() => vorlik.diff("{}", "\udc00"), TypeError, "diff(): new holds a lone surrogate at index 0, which UTF-8 cannot carry"],
    [frame(1.5), TypeError, "encodeFrame(): rev must be an integer, not 1.5"],
    [frame(NaN), TypeError, "encodeFrame(): rev must be an integer, not NaN"],
    [frame("1"), TypeError, "encodeFrame(): rev must be a bigint or an integer number, not string"],
    [frame(true), TypeError, "encodeFrame(): rev must be a bigint or an integer number, not boolean"],
    [frame(-1), RangeError, "encodeFrame(): rev must be between 0 and 2**64 - 1, not -1"],
    [frame(-1n), RangeError, "encodeFrame(): rev must be between 0 and 2**64 - 1, not -1"],
    [frame(2n ** 64n), RangeError, "encodeFrame(): rev must be between 0 and 2**64 - 1, not 18446744073709551616"],
    [frame(2 ** 53), RangeError, "encodeFrame(): rev 9007199254740992 is beyond Number.MAX_SAFE_INTEGER, where numbers are not exact; give it as a bigint"],
  ]) {
    assert.throws(call, (e) => e.constructor === type && e.message === message, message);
  }
});

test("rev is carried exactly", () => {
  for (const [rev, written] of [[0, "0"], [-0, "0"], [2 ** 53 - 1, "9007199254740991"], [2n ** 32n, "4294967296"],
    [2n ** 64n - 1n, "18446744073709551615"]]) {
    for (const codec of ["application/json", "application/msgpack"]) {
      const decoded = vorlik.decodeFrame(vorlik.encodeFrame("{\"a\":1}", "m", "snapshot", rev, codec));
      assert.equal(decoded, `{"kind":"snapshot","model_type":"m","payload":{"a":1},"rev":${written}}`);
    }
  }
});

test("texts and bytes cross the boundary intact", () => {
  // Long enough that the UTF-8 copy takes its second step, with characters of every width on both
  // sides of where the first one stops.
  const words = ["a", "é", "日本", "😀", "\u0000", "\ufeff", "\"", "\\"];
  for (let n = 0; n < 64; n++) {
    const s = Array.from({ length: n }, (_, i) => words[(i * 7 + n) % words.length]).join("");
    const tree = JSON.stringify({ tag: "x", props: { s: { Str: s } } });
    assert.equal(vorlik.apply(tree, "{\"ops\":[]}"), tree);
    const frame = vorlik.encodeFrame(tree, s, "snapshot", n, "application/json");
    assert.equal(JSON.parse(vorlik.decodeFrame(frame)).model_type, s);
  }
  // A frame given as part of a larger buffer, and as a Node Buffer.
  const frame = vorlik.encodeFrame("{\"tag\":\"a\"}", "m", "patch", 7, "application/msgpack");
  const padded = new Uint8Array(frame.length + 10);
  padded.set(frame, 5);
  const expected = "{\"kind\":\"patch\",\"model_type\":\"m\",\"payload\":{\"tag\":\"a\"},\"rev\":7}";
  assert.equal(vorlik.decodeFrame(padded.subarray(5, 5 + frame.length)), expected);
  assert.equal(vorlik.decodeFrame(Buffer.from(frame)), expected);
  // The result is a copy of its own, not a view of the module's memory.
  assert.equal(frame.byteOffset, 0);
  assert.equal(frame.buffer.byteLength, frame.length);
});

test("exhausted memory throws RangeError and leaves the instance usable", async () => {
  const small = await load({ memoryLimit: 16 * MiB });
  const items = Array.from({ length: 40000 }, (_, i) => ({ tag: "li", key: `k${i}`, props: { n: { Int: i } } }));
  const big = JSON.stringify({ tag: "ul", slots: { items } }); // 2.3 MB, parsed in the core
  const outOfMemory = (fn) => (e) => e instanceof RangeError &&
    e.message === `${fn}(): out of memory (the WebAssembly memory is limited to 16777216 bytes)`;
  assert.throws(() => small.diff(big, big + " ".repeat(8 * MiB)), outOfMemory("diff")); // copying the input
  assert.throws(() => small.apply(big, "{\"ops\":[]}"), outOfMemory("apply")); // in the core
  assert.equal(small.diff("{\"tag\":\"a\"}", "{\"tag\":\"b\"}"), "{\"ops\":[{\"Replace\":{\"path\":[],\"node\":{\"tag\":\"b\"}}}]}");
  assert.equal(vorlik.apply(big, "{\"ops\":[]}"), big);
});
