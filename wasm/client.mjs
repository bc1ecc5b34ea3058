// vorlik in the browser: shows a host's component tree on a page and keeps it in step, frame by
// frame, applying each patch to the page in place.
//
//   import { connect } from "./client.mjs";
//   const client = await connect("ws://127.0.0.1:8765/", document.getElementById("app"), {
//     handlers: { confirmDelete: ({ element }) => ... },   // for {"kind":"js","handler":...}
//     computes: { upper: (value) => String(value ?? "").toUpperCase() },  // for bindings
//   });
//
// The client keeps its copy of the tree as text and advances it with the WebAssembly core
// (vorlik.mjs), so it applies each patch with the very code the host made it with; the same ops
// then change the page. A snapshot that arrives while a tree is shown (after a reconnect or a
// resync) is shown through the diff from the tree held, so the page keeps its state there too.
// Plain ES modules, no dependencies, no build step.

import { Connection, JSON_CODEC, MSGPACK_CODEC, ProtocolError, messageText } from "./dom/connection.mjs";
import { difference } from "./dom/check.mjs";
import { HandlerError, Runtime } from "./dom/handlers.mjs";
import { UnexpectedForm, View, recordOf } from "./dom/view.mjs";
import { VorlikError, load } from "./vorlik.mjs";

export { HandlerError, JSON_CODEC, MSGPACK_CODEC, ProtocolError, UnexpectedForm, VorlikError, messageText, recordOf };
export { longestIncreasing } from "./dom/order.mjs";

const NO_OPS = '{"ops":[]}';

/** A frame that does not follow the tree the client holds; the client asks for a snapshot. */
export class OutOfSync extends Error {}
OutOfSync.prototype.name = "OutOfSync";

/** The check mode found the page different from a fresh render of the client's tree. */
export class CheckFailed extends Error {}
CheckFailed.prototype.name = "CheckFailed";

/**
 * Kind, model type, revision (a bigint) and payload text of what `decodeFrame` returned. The
 * payload is cut out as written, not parsed again, so its numbers keep their exact form: inside
 * the model type every quotation mark is escaped, so the first `,"payload":` is the member's
 * own, and `rev` is always the last member.
 */
export function splitDecoded(decoded) {
  const head = decoded.indexOf(',"payload":');
  const tail = decoded.lastIndexOf(',"rev":');
  const meta = JSON.parse(`${decoded.slice(0, head)}}`);
  return [meta.kind, meta.model_type, BigInt(decoded.slice(tail + 7, -1)), decoded.slice(head + 11, tail)];
}

/**
 * The page side of one model: a tree shown in `container` (the client owns what the container
 * holds), kept up to date by `receive(frame)`.
 *
 * Options: `vorlik`, the loaded core (`await load()` of vorlik.mjs), required; `modelType`, the
 * model type frames must carry (any, if null); `check`, compare the page with a fresh render of
 * the tree after every frame and report any difference; `handlers` and `computes`, the page's
 * script handlers and compute hooks by name; `send(message)`, where the handlers' messages to the
 * host go (a connection sets it); `onError(error)`, hears every failure (by default the console);
 * `fetch`, for `call` handlers; `moveBefore` (default true), move elements with
 * `ParentNode.moveBefore` where the browser has it; `allowHtml`, let trees set innerHTML,
 * outerHTML and srcdoc (off: they would run markup from data).
 */
export class Client {
  constructor(container, options = {}) {
    const { vorlik, modelType = null, check = false, handlers, computes, send = null, onError, onStatus,
            fetch = globalThis.fetch?.bind(globalThis), moveBefore = true, allowHtml = false } = options;
    if (typeof vorlik?.apply !== "function") throw new TypeError("Client: options.vorlik must be the loaded core (await load())");
    this.container = container;
    this.vorlik = vorlik;
    this.modelType = modelType;
    this.checking = check;
    this.onError = onError ?? ((error) => console.error("vorlik:", error));
    this.onStatus = onStatus ?? null;
    this.sender = send;
    /** The tree the client holds (JSON text in normal form), and its revision (a bigint). */
    this.tree = null;
    this.rev = null;
    this.connection = null;
    this.stats = { frames: 0, snapshots: 0, patches: 0, skipped: 0, rerenders: 0, checks: 0, checkFailures: 0,
                   errors: 0, lastFrameMs: 0, lastTreeMs: 0, lastError: null };
    this.treeMs = 0; // of the frame being taken: time spent advancing the tree held
    const runtime = new Runtime({ report: (error) => this.report(error), send: (message) => this.send(message),
                                  fetch, handlers, computes, client: this });
    this.runtime = runtime;
    this.view = new View(container, runtime, (error) => this.report(error), { moveBefore, allowHtml });
    runtime.view = this.view;
    /** The client's data fields. */
    this.fields = Object.freeze({
      get: (name) => runtime.fields.get(name),
      has: (name) => runtime.fields.has(name),
      set: (name, value) => runtime.setField(name, value),
      entries: () => runtime.fields.entries(),
      /** Calls `listener(name, value)` after every change; returns what stops that. */
      subscribe: (listener) => {
        runtime.fieldListeners.add(listener);
        return () => runtime.fieldListeners.delete(listener);
      },
    });
    // What the user types, picks or toggles belongs to the user until the host sets it.
    this.userInput = (event) => recordOf(event.target) && this.view.userChanged(event.target);
    for (const name of ["input", "change", "toggle"]) container.addEventListener(name, this.userInput, true);
  }

  /** DOM moves, insertions, removals and replacements made so far. */
  get moves() {
    return this.view.stats;
  }

  /**
   * Takes one frame (a Uint8Array) and brings the page to its revision; returns its kind, or
   * "skipped" for a patch while `snapshotOnly`. Throws VorlikError for a frame that cannot be
   * read and OutOfSync for one that does not follow the tree held; the page is then unchanged.
   */
  receive(frame, { snapshotOnly = false } = {}) {
    const started = performance.now();
    this.treeMs = 0;
    const [kind, modelType, rev, payload] = splitDecoded(this.vorlik.decodeFrame(frame));
    if (this.modelType !== null && modelType !== this.modelType) {
      throw new OutOfSync(`a frame of model type ${JSON.stringify(modelType)}, not ${JSON.stringify(this.modelType)}`);
    }
    if (kind === "snapshot") {
      this.adopt(this.vorlik.apply(payload, NO_OPS));
      this.stats.snapshots += 1;
    } else if (snapshotOnly) {
      this.stats.skipped += 1;
      return "skipped";
    } else {
      if (this.tree === null) throw new OutOfSync(`a patch to revision ${rev} before any snapshot`);
      if (rev !== this.rev + 1n) throw new OutOfSync(`a patch to revision ${rev} does not follow revision ${this.rev}`);
      let tree;
      const applying = performance.now();
      try {
        tree = this.vorlik.apply(this.tree, payload);
        this.treeMs = performance.now() - applying;
      } catch (error) {
        if (error?.name !== "VorlikError") throw error; // (a VorlikError of any copy of vorlik.mjs)
        throw new OutOfSync(`the patch to revision ${rev} does not fit the tree held: ${error.message}`, { cause: error });
      }
      this.follow(tree, payload);
      this.stats.patches += 1;
    }
    this.rev = rev;
    this.stats.frames += 1;
    this.stats.lastFrameMs = performance.now() - started;
    this.stats.lastTreeMs = this.treeMs;
    if (this.checking) this.check();
    return kind;
  }

  /** Shows `tree` (JSON text of a tree vorlik reads): through the diff from the tree held, or
   * afresh when there is none. */
  show(tree) {
    this.adopt(this.vorlik.apply(tree, NO_OPS));
  }

  // Shows `tree`, a tree in normal form.
  adopt(tree) {
    if (this.tree === null || this.view.root === null) {
      this.view.mount(JSON.parse(tree));
      this.tree = tree;
    } else {
      const diffing = performance.now();
      const patch = this.vorlik.diff(this.tree, tree);
      this.treeMs += performance.now() - diffing;
      if (patch !== NO_OPS) this.follow(tree, patch);
    }
  }

  // The page follows `patch`, which turned the tree held into `tree`.
  follow(tree, patch) {
    try {
      this.view.patch(JSON.parse(patch).ops);
    } catch (error) {
      this.report(new Error(`the page could not follow a patch op by op (${error.message}); shown afresh`, { cause: error }));
      this.stats.rerenders += 1;
      this.view.mount(JSON.parse(tree));
    }
    this.tree = tree;
  }

  /** Compares the page with a fresh render of the tree held; returns the first difference (also
   * reported as CheckFailed), or null. */
  check() {
    if (this.tree === null) return null;
    this.stats.checks += 1;
    const problem = difference(this.view, JSON.parse(this.tree));
    if (problem !== null) {
      this.stats.checkFailures += 1;
      this.report(new CheckFailed(problem));
    }
    return problem;
  }

  /** Adds script handlers and compute hooks (objects of name to function); bindings that use
   * the new hooks show their values at once. */
  register({ handlers = {}, computes = {} } = {}) {
    for (const [name, handler] of Object.entries(handlers)) this.runtime.handlers.set(name, handler);
    for (const [name, hook] of Object.entries(computes)) this.runtime.computes.set(name, hook);
    this.runtime.warned.clear();
    this.runtime.refreshAll();
  }

  /** Sends a message of the client's own to the host (`{type: "event", event, detail}` or
   * `{type: "patch", model, field, value}`). */
  send(message) {
    if (this.sender !== null) return this.sender(message);
    if (this.connection !== null) return this.connection.send(message);
    throw new ProtocolError(`no host to send the ${message.type} message to`);
  }

  /** Reports a failure: to `onError`, and as a `vorlik-error` event on the container. */
  report(error) {
    this.stats.errors += 1;
    this.stats.lastError = error;
    try {
      this.onError(error);
    } finally {
      const Custom = this.container.ownerDocument.defaultView?.CustomEvent ?? globalThis.CustomEvent;
      this.container.dispatchEvent(new Custom("vorlik-error", { detail: error, bubbles: true }));
    }
  }

  statusChanged(status) {
    this.container.setAttribute("data-vorlik-status", status);
    this.onStatus?.(status);
    const Custom = this.container.ownerDocument.defaultView?.CustomEvent ?? globalThis.CustomEvent;
    this.container.dispatchEvent(new Custom("vorlik-status", { detail: status, bubbles: true }));
  }

  /** Stops the connection, if any, and the client's listeners; the page stays as it is. */
  close() {
    this.connection?.close();
    for (const name of ["input", "change", "toggle"]) this.container.removeEventListener(name, this.userInput, true);
  }
}

/**
 * A client of the host at `url` (a WebSocket URL; relative to the page's address, with the
 * page's scheme turned into ws: or wss:), showing its tree in `container`. Options are those of
 * Client (`vorlik` is loaded when not given; `load` holds load()'s options) and of the
 * connection: `codec` (JSON_CODEC or MSGPACK_CODEC), `retry` ([first, longest] wait in ms before
 * connecting again), `maxMessage` (the host's limit, 64 KiB unless told otherwise), `WebSocket`.
 */
export async function connect(url, container, options = {}) {
  const vorlik = options.vorlik ?? (await load(options.load));
  const client = new Client(container, { ...options, vorlik });
  const address = new URL(url, container.ownerDocument.baseURI);
  if (address.protocol === "http:" || address.protocol === "https:") address.protocol = address.protocol.replace("http", "ws");
  client.connection = new Connection(client, address.href, options);
  client.connection.open();
  return client;
}
