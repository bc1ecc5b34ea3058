// Drives the JavaScript face for a Python process (the differential tests and the benchmark):
// one JSON request per line on standard input, one JSON answer per line on standard output.
//
//   {"call": "diff", "args": [...]}                  -> {"ok": result} or {"error": {"name", "message"}}
//   {"keep": "k", "args": [...]}                     -> {"ok": null}, the arguments kept under "k"
//   {"time": "diff", "kept": "k", "repeat": n}       -> {"ok": [seconds of each call]}
//
// Arguments and results: strings as they are, {"bytes": base64} for a Uint8Array and
// {"bigint": "digits"} for a bigint. Usage: node driver.mjs [URL of vorlik.mjs]
import { createInterface } from "node:readline";

const face = process.argv[2] ?? new URL("../build/wasm/client/vorlik.mjs", import.meta.url).href;
const { load } = await import(face);
const vorlik = await load();
const kept = new Map();

const decode = (arg) => (typeof arg !== "object" || arg === null ? arg
  : "bytes" in arg ? new Uint8Array(Buffer.from(arg.bytes, "base64"))
  : BigInt(arg.bigint));
const encode = (value) => (value instanceof Uint8Array ? { bytes: Buffer.from(value).toString("base64") } : value);

function answer(request) {
  if ("keep" in request) {
    kept.set(request.keep, request.args.map(decode));
    return null;
  }
  if ("time" in request) {
    const fn = vorlik[request.time];
    const args = kept.get(request.kept);
    const seconds = [];
    for (let i = 0; i < request.repeat; i++) {
      const start = process.hrtime.bigint();
      fn(...args);
      seconds.push(Number(process.hrtime.bigint() - start) / 1e9);
    }
    return seconds;
  }
  return encode(vorlik[request.call](...request.args.map(decode)));
}

for await (const line of createInterface({ input: process.stdin, crlfDelay: Infinity })) {
  let reply;
  try {
    reply = { ok: answer(JSON.parse(line)) };
  } catch (error) {
    reply = { error: { name: error.name, message: error.message } };
  }
  process.stdout.write(`${JSON.stringify(reply)}\n`);
}
