// What the DOM client's tests share: the core, a client on a fake page, trees, seeded randomness.
import { readFileSync } from "node:fs";

import { Client } from "../client.mjs";
import { load } from "../vorlik.mjs";
import { fakeDocument } from "./fake-dom.mjs";
import { clientDir } from "./support.mjs";

// The same copy of vorlik.mjs as client.mjs imports, with the module built beside the other.
export const vorlik = await load({ wasm: readFileSync(`${clientDir}/vorlik.wasm`) });
export const MODEL = "list";

/** A client with check mode on, in a container on a fake page; `errors` collects its reports. */
export function makeClient({ withMoveBefore = true, ...options } = {}) {
  const document = fakeDocument({ withMoveBefore });
  const container = document.createElement("div");
  document.body.appendChild(container);
  const errors = [];
  const sent = [];
  const client = new Client(container, {
    vorlik, modelType: MODEL, check: true, onError: (error) => errors.push(error), send: (message) => sent.push(message), ...options,
  });
  return { document, container, client, errors, sent };
}

/** Feeds `client` the frame that takes its tree to `tree` (a patch, or the first snapshot). */
export function step(client, tree, kind = client.tree === null ? "snapshot" : "patch") {
  const text = typeof tree === "string" ? tree : JSON.stringify(tree);
  const rev = client.rev === null ? 1n : client.rev + 1n;
  const payload = kind === "snapshot" ? text : vorlik.diff(client.tree, text);
  return client.receive(vorlik.encodeFrame(payload, MODEL, kind, rev, "application/json"));
}

export const item = (key, props = {}) => ({ tag: "li", key, props: { textContent: { Str: key }, ...props } });
export const list = (keys, extra = {}) => ({ tag: "ul", slots: { "": keys.map((key) => item(key)) }, ...extra });
export const range = (n) => Array.from({ length: n }, (_, i) => `k${i}`);

/** A reproducible source of numbers in [0, 1). */
export function seeded(seed) {
  let state = seed >>> 0;
  return () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 2 ** 32;
  };
}

/** `keys` with `count` random single moves (one element taken out and put back elsewhere). */
export function randomMoves(keys, count, random) {
  const result = [...keys];
  for (let i = 0; i < count; i++) {
    const [moved] = result.splice(Math.floor(random() * result.length), 1);
    result.splice(Math.floor(random() * (result.length + 1)), 0, moved);
  }
  return result;
}

/** The text shown by each child of the tree's root, in page order. */
export const shown = (container) => container.firstElementChild.children.map((child) => child.textContent);
