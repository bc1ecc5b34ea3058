// The DOM client's connection: hello and welcome, frames, resync after a frame that fails,
// reconnection with resume, and the messages the host would refuse, over a fake WebSocket.
import assert from "node:assert/strict";
import { test } from "node:test";

import { Connection, ProtocolError, helloText, messageText } from "../dom/connection.mjs";
import { MODEL, list, makeClient, vorlik } from "./client-support.mjs";

class FakeSocket {
  static opened = [];

  constructor(url) {
    this.url = url;
    this.sent = [];
    this.closed = null;
    FakeSocket.opened.push(this);
  }

  send(data) {
    this.sent.push(data);
  }

  close(code, reason) {
    this.closed = [code, reason];
  }

  // the host's side
  open() {
    this.onopen();
  }

  welcome(epoch = "e1", modelType = MODEL) {
    this.onmessage({ data: JSON.stringify({ v: 1, type: "welcome", model_type: modelType, epoch, codec: "application/json" }) });
  }

  frame(payload, kind, rev) {
    const bytes = vorlik.encodeFrame(typeof payload === "string" ? payload : JSON.stringify(payload), MODEL, kind, rev, "application/json");
    this.onmessage({ data: bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length) });
  }

  drop(code = 1006, reason = "") {
    this.onclose({ code, reason });
  }
}

function connected() {
  FakeSocket.opened = [];
  const made = makeClient({ send: null });
  const waits = [];
  const timers = { setTimeout: (fn, ms) => waits.push([fn, ms]), clearTimeout() {} };
  const connection = new Connection(made.client, "ws://127.0.0.1:1/", { WebSocket: FakeSocket, timers, random: () => 1 });
  made.client.connection = connection;
  connection.open();
  return { ...made, connection, waits, socket: () => FakeSocket.opened.at(-1) };
}

const json = (text) => JSON.parse(text);

test("hello, welcome, frames; resume from the revision held after a drop, with growing waits", () => {
  const { client, connection, waits, socket, errors, container } = connected();
  const first = socket();
  first.open();
  assert.deepEqual(json(first.sent[0]), { v: 1, type: "hello", codec: "application/json" });
  first.welcome();
  assert.equal(connection.status, "open");
  assert.equal(container.getAttribute("data-vorlik-status"), "open");
  first.frame(list(["a"]), "snapshot", 10n);
  first.frame(vorlik.diff(client.tree, JSON.stringify(list(["a", "b"]))), "patch", 11n);
  assert.equal(client.rev, 11n);
  first.drop();
  assert.equal(connection.status, "offline");
  waits.shift()[0]();
  socket().drop(); // the host is away: the next wait is longer
  assert.deepEqual(waits.map(([, ms]) => ms), [500]);
  waits.shift()[0]();
  const again = socket();
  again.open();
  assert.equal(again.sent[0], '{"v":1,"type":"hello","codec":"application/json","epoch":"e1","rev":11}');
  again.welcome();
  again.frame(vorlik.diff(client.tree, JSON.stringify(list(["b"]))), "patch", 12n);
  assert.equal(client.stats.frames, 3);
  assert.deepEqual(errors, []);
});

test("a frame that fails asks for one snapshot; patches until it comes are skipped", () => {
  const { client, socket, errors } = connected();
  const host = socket();
  host.open();
  host.welcome();
  host.frame(list(["a"]), "snapshot", 1n);
  host.onmessage({ data: new Uint8Array([0, 0, 0, 200, 1]).buffer }); // malformed
  host.frame(vorlik.diff(client.tree, JSON.stringify(list(["a", "x"]))), "patch", 3n); // out of sync
  host.frame(vorlik.diff(client.tree, JSON.stringify(list(["a", "y"]))), "patch", 2n); // skipped
  assert.deepEqual(host.sent.slice(1).map(json), [{ v: 1, type: "resync" }]);
  assert.deepEqual(errors.map((e) => e.name), ["VorlikError"]);
  host.frame(list(["z"]), "snapshot", 3n);
  host.frame(vorlik.diff(client.tree, JSON.stringify(list(["z", "w"]))), "patch", 4n);
  assert.equal(client.rev, 4n);
  assert.equal(client.stats.skipped, 2);
  assert.equal(client.stats.checkFailures, 0);
});

test("a host that serves another model type, or breaks the protocol, is reported", () => {
  const { connection, socket, errors } = connected();
  socket().open();
  socket().welcome("e", "other");
  assert.equal(connection.status, "closed");
  assert.match(errors[0].message, /serves model type "other", not "list"/);
  const second = connected();
  second.socket().open();
  second.socket().onmessage({ data: "{}" });
  second.socket().drop(1008, "hello: member `codec` must be one of application/json");
  assert.deepEqual(second.errors.map((e) => e.message), [
    "the host's first message is not a welcome: {}"]);
});

test("messages: the host's form, and what it would refuse is refused before sending", () => {
  assert.equal(messageText({ type: "event", event: "e", detail: { n: 12345678901234567890n } }),
               '{"v":1,"type":"event","event":"e","detail":{"n":"12345678901234567890"}}');
  assert.equal(helloText("application/msgpack", "e", 2n ** 64n - 1n),
               '{"v":1,"type":"hello","codec":"application/msgpack","epoch":"e","rev":18446744073709551615}');
  let deep = 1;
  for (let i = 0; i < 31; i++) deep = [deep];
  messageText({ type: "patch", model: "m", field: "f", value: deep }); // 32 levels with the message
  const refused = [
    [{ type: "patch", model: "m", field: "f", value: [deep] }, /nest deeper than 32/],
    [{ type: "event", event: "e", detail: "\ud800" }, /lone surrogate/],
    [{ type: "event", event: "e", detail: 1e20 }, /more than 20 digits/],
    [{ type: "event", event: "e", detail: "x".repeat(70_000) }, /longer than the host takes \(65536\)/],
  ];
  for (const [message, why] of refused) assert.throws(() => messageText(message), (e) => e instanceof ProtocolError && why.test(e.message));
});

test("handlers' messages go over the open connection, and are reported while offline", async () => {
  const { client, socket, errors, container, document } = connected();
  const host = socket();
  host.open();
  host.welcome();
  host.frame({ tag: "button", events: { click: { kind: "emit", event: "hi", detail: null } } }, "snapshot", 1n);
  const click = () => container.firstElementChild.dispatchEvent(new document.defaultView.Event("click"));
  click();
  await new Promise((resolve) => setTimeout(resolve, 0));
  assert.deepEqual(json(host.sent.at(-1)), { v: 1, type: "event", event: "hi", detail: null });
  host.drop();
  click();
  await new Promise((resolve) => setTimeout(resolve, 0));
  assert.match(errors.at(-1).message, /not connected: the event message was not sent/);
  client.close();
});
