// The declarations as a TypeScript user meets them: `tsc -p wasm/test` type-checks this file
// against vorlik.d.mts (nothing runs). Each @ts-expect-error line must be refused.
import { load, VorlikError, type Codec, type FrameKind, type LoadOptions, type Vorlik } from "../vorlik.mjs";

const options: LoadOptions = { wasm: new URL("./vorlik.wasm", import.meta.url), memoryLimit: 64 << 20 };
const vorlik: Vorlik = await load(options);
await load({ wasm: new Uint8Array(8) });
await load();
const patch: string = vorlik.diff("{}", "{}");
const tree: string = vorlik.apply("{}", patch);
const kind: FrameKind = "patch";
const codec: Codec = "application/msgpack";
const frame: Uint8Array = vorlik.encodeFrame(tree, "m", kind, 2n ** 64n - 1n, codec);
vorlik.encodeFrame(tree, "m", "snapshot", 7, "application/json");
const decoded: string = vorlik.decodeFrame(frame);
const schemas: string = vorlik.parseCem(decoded);
const version: string = vorlik.version;
try {
  vorlik.parseCem(schemas);
} catch (error) {
  if (error instanceof VorlikError) {
    const message: string = error.message;
    const name: "VorlikError" = error.name;
    console.log(message, name, version);
  }
}

// @ts-expect-error: texts only
vorlik.diff({}, "{}");
// @ts-expect-error: frames are Uint8Array
vorlik.decodeFrame("frame");
// @ts-expect-error: "snapshot" or "patch"
vorlik.encodeFrame(tree, "m", "Snapshot", 1, codec);
// @ts-expect-error: a rev is a number or a bigint
vorlik.encodeFrame(tree, "m", kind, "1", codec);
// @ts-expect-error: the face is read-only
vorlik.version = "2";
// @ts-expect-error: no such option
await load({ url: "vorlik.wasm" });
