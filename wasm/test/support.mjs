// Where the tests find the built client and the conformance vectors.
import { existsSync, readFileSync } from "node:fs";
import { fileURLToPath, pathToFileURL } from "node:url";

import { parseVectors } from "./vectors.mjs";

export * from "./vectors.mjs";

const root = fileURLToPath(new URL("../../", import.meta.url));

// VORLIK_WASM_CLIENT names another client folder (an installed vorlik_web's, for instance).
export const clientDir = process.env.VORLIK_WASM_CLIENT ?? `${root}build/wasm/client`;
export const clientUrl = (name) => pathToFileURL(`${clientDir}/${name}`);
export const vectorsPath = process.env.VORLIK_VECTORS ?? `${root}../shared/conformance/public.jsonl`;
export const haveVectors = existsSync(vectorsPath);

export const readVectors = (path = vectorsPath) => parseVectors(readFileSync(path, "utf8"));
