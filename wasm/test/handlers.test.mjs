// The DOM client's handlers and bindings: every action and expression kind, fields, one-way and
// two-way bindings, compute hooks, emitted events, messages to the host, calls, script handlers.
import assert from "node:assert/strict";
import { test } from "node:test";

import { makeClient, step } from "./client-support.mjs";

const lit = (value) => ({ expr: "lit", value });
const field = (name) => ({ expr: "field", name });
const THIS = { ref: "this" };
const settle = () => new Promise((resolve) => setTimeout(resolve, 0));

// A page with one button (id "b") whose click runs `action`, beside an input (id "in").
function page(action, options = {}, extra = {}) {
  const made = makeClient(options);
  step(made.client, {
    tag: "div",
    slots: { "": [
      { tag: "button", props: { id: { Str: "b" }, value: { Str: "7" } }, events: { click: action } },
      { tag: "input", props: { id: { Str: "in" }, value: { Str: "typed" } }, ...extra },
    ] },
  });
  const [button, input] = made.container.firstElementChild.children;
  const Event = made.document.defaultView.Event;
  const click = async () => {
    button.dispatchEvent(new Event("click", { bubbles: true }));
    await settle();
  };
  return { ...made, button, input, click, Event };
}

test("expressions: every kind, as handlers read them", async () => {
  const { client, click, sent, errors } = page({
    kind: "emit", event: "e", detail: { expr: "obj", fields: {
      lit: lit({ a: [1, null] }), event: { expr: "event" }, not: { expr: "not", of: field("none") },
      prop: { expr: "prop", target: THIS, name: "value" }, other: { expr: "prop", target: { ref: "id", id: "in" }, name: "value" },
      field: field("f"), missing: field("none"),
      text: { expr: "concat", parts: [lit("n="), lit(3), lit(null), field("f"), lit({ x: 1 })] },
      list: { expr: "concat", parts: [lit([1]), lit([[2]])] },
    } },
  });
  client.fields.set("f", "F");
  await click();
  assert.deepEqual(errors, []);
  assert.deepEqual(sent, [{ type: "event", event: "e", detail: {
    lit: { a: [1, null] }, event: "7", not: true, prop: "7", other: "typed", field: "F", missing: null,
    text: 'n=3F{"x":1}', list: [1, [2]],
  } }]);
});

test("actions on components and fields: set, toggle, set-field, toggle-field, seq, if", async () => {
  const { client, click, input, button, errors } = page({ kind: "seq", actions: [
    { kind: "set", target: { ref: "id", id: "in" }, prop: "placeholder", value: lit("p") },
    { kind: "toggle", target: THIS, prop: "disabled" },
    { kind: "set-field", field: "n", value: { expr: "prop", target: THIS, name: "value" } },
    { kind: "toggle-field", field: "flag" },
    { kind: "if", cond: field("flag"), then: { kind: "set-field", field: "branch", value: lit("then") },
      else: { kind: "set-field", field: "branch", value: lit("else") } },
    { kind: "if", cond: { expr: "not", of: field("flag") }, then: { kind: "set-field", field: "never", value: lit(1) }, else: null },
  ] });
  await click();
  assert.deepEqual([input.placeholder, button.disabled], ["p", true]);
  assert.deepEqual(Object.fromEntries(client.fields.entries()), { n: "7", flag: true, branch: "then" });
  assert.equal(client.check(), null); // what handlers set is the page's, not a drift
  // the host setting the property takes it back
  step(client, { tag: "div", slots: { "": [
    { tag: "button", props: { id: { Str: "b" }, value: { Str: "7" }, disabled: { Bool: false } } },
    { tag: "input", props: { id: { Str: "in" }, value: { Str: "typed" } } }] } });
  assert.equal(button.disabled, false);
  assert.deepEqual(errors, []);
});

test("emit raises a bubbling, cancelable CustomEvent; a cancelled one stays on the page", async () => {
  const { container, click, sent } = page({ kind: "emit", event: "save", detail: lit({ id: 3 }) });
  const heard = [];
  container.addEventListener("save", (event) => heard.push(event.detail));
  await click();
  container.addEventListener("save", (event) => event.preventDefault());
  await click();
  assert.deepEqual(heard, [{ id: 3 }, { id: 3 }]);
  assert.deepEqual(sent, [{ type: "event", event: "save", detail: { id: 3 } }]);
});

test("an element that handles the event it emits does not run its handler again", async () => {
  const { button, sent, Event } = page({ kind: "emit", event: "click", detail: null });
  button.dispatchEvent(new Event("click", { bubbles: true }));
  await settle();
  assert.deepEqual(sent, [{ type: "event", event: "click", detail: null }]);
});

test("patch sends the host a field patch; a message the host would refuse is reported, not sent", async () => {
  const { click, sent, errors, client } = page({ kind: "patch", model: "item-1", field: "text", value: field("v") });
  client.fields.set("v", "new text");
  await click();
  assert.deepEqual(sent, [{ type: "patch", model: "item-1", field: "text", value: "new text" }]);
  client.sender = null; // no connection: reported
  await click();
  assert.match(errors[0].message, /no host to send the patch message to/);
});

test("call: fetch with method, address and JSON body; the answer goes to a field; failures reported", async () => {
  const calls = [];
  const answers = [
    { ok: true, status: 200, headers: new Map([["content-type", "application/json"]]), text: async () => '{"n":2}' },
    { ok: false, status: 503, statusText: "Busy", headers: new Map(), text: async () => "" },
  ];
  const fetch = async (url, init) => {
    calls.push([url.href, init.method, init.body ?? null]);
    return answers.shift();
  };
  const { click, client, errors } = page({ kind: "seq", actions: [
    { kind: "call", method: "POST", url: { expr: "concat", parts: [lit("/api/"), field("id")] },
      body: { expr: "obj", fields: { a: lit(1) } }, result: "answer" },
    { kind: "set-field", field: "after", value: lit(true) },
  ] }, { fetch });
  client.fields.set("id", "x");
  await click();
  await settle();
  assert.deepEqual(calls, [["http://127.0.0.1/api/x", "POST", '{"a":1}']]);
  assert.deepEqual([client.fields.get("answer"), client.fields.get("after")], [{ n: 2 }, true]);
  client.fields.set("after", false);
  await click();
  await settle();
  assert.match(errors[0].message, /call POST http:\/\/127.0.0.1\/api\/x: HTTP 503 Busy/);
  assert.equal(client.fields.get("after"), false); // the failed call stopped its sequence
});

test("script handlers: registered ones run with their context; unknown ones are reported and skipped", async () => {
  const seen = [];
  const { click, client, errors, button } = page({ kind: "seq", actions: [
    { kind: "js", handler: "missing" }, { kind: "js", handler: "mine" }, { kind: "js", handler: "throws" }, { kind: "js", handler: "mine" },
  ] }, { handlers: { mine: ({ element, event, fields }) => seen.push([element, event.type, fields.get("x")]),
                      throws: () => { throw new Error("boom"); } } });
  client.fields.set("x", 1);
  await click();
  assert.deepEqual(seen, [[button, "click", 1]]);
  assert.deepEqual(errors.map((e) => e.message), ['no script handler "missing" is registered; skipped',
                                                  'script handler "throws" failed: boom']);
});

test("bindings: one-way shows a field once it has a value; two-way writes input back; compute hooks", () => {
  const computes = { upper: (value) => String(value ?? "").toUpperCase(),
                     cents: { toProp: (value) => (value ?? 0) / 100, toField: (shown) => Math.round(Number(shown) * 100) },
                     whole: (_, { fields, compute }) => `${fields.get("a") ?? ""}${compute.sep}${fields.get("b") ?? ""}` };
  const made = makeClient({ computes });
  const { client, container, errors } = made;
  const Event = made.document.defaultView.Event;
  step(client, { tag: "form", slots: { "": [
    { tag: "input", props: { value: { Str: "from tree" } }, bindings: { value: { field: "name", mode: "two-way" } } },
    { tag: "output", bindings: { value: { field: "name", mode: "one-way" }, title: { field: "name", compute: "upper", mode: "one-way" } } },
    { tag: "input", bindings: { value: { field: "price", compute: { hook: "cents" }, mode: "two-way" } } },
    { tag: "output", bindings: { value: { compute: { hook: "whole", sep: "+" }, mode: "one-way" } } },
    { tag: "output", bindings: { value: { field: "name", compute: "nope", mode: "one-way" } } },
  ] } });
  const [name, shown, price, joined] = container.firstElementChild.children;
  assert.deepEqual([name.value, shown.value, shown.title, joined.value], ["from tree", undefined, "", "+"]);
  name.value = "ada";
  name.dispatchEvent(new Event("input", { bubbles: true }));
  assert.deepEqual([client.fields.get("name"), shown.value, shown.title], ["ada", "ada", "ADA"]);
  client.fields.set("price", 1250);
  assert.equal(price.value, 12.5);
  price.value = "3.1";
  price.dispatchEvent(new Event("change", { bubbles: true }));
  assert.equal(client.fields.get("price"), 310);
  client.fields.set("a", "x");
  assert.equal(joined.value, "x+");
  client.fields.set("name", "bo");
  assert.equal(name.value, "bo");
  assert.equal(client.check(), null);
  assert.deepEqual(errors.map((e) => e.message), ['no compute hook "nope" is registered']);
  client.register({ computes: { nope: () => "late" } });
  assert.equal(container.firstElementChild.children[4].value, "late");
  // a binding removed: the property shows the node's own value again
  step(client, { tag: "form", slots: { "": [{ tag: "input", props: { value: { Str: "from tree" } } }] } });
  assert.equal(name.value, "from tree");
  assert.equal(client.runtime.bound, 0);
});

test("a set on a two-way bound property goes through its field; a submit handler keeps the page", async () => {
  const made = makeClient();
  const { client, container } = made;
  step(client, { tag: "form", events: { submit: { kind: "seq", actions: [
    { kind: "emit", event: "add", detail: { expr: "obj", fields: { text: field("draft") } } },
    { kind: "set", target: { ref: "id", id: "draft" }, prop: "value", value: lit("") }] } },
  slots: { "": [{ tag: "input", props: { id: { Str: "draft" } }, bindings: { value: { field: "draft", mode: "two-way" } } }] } });
  const form = container.firstElementChild;
  const input = form.firstElementChild;
  client.fields.set("draft", "milk");
  const submit = new made.document.defaultView.Event("submit", { bubbles: true, cancelable: true });
  form.dispatchEvent(submit);
  await settle();
  assert.ok(submit.defaultPrevented);
  assert.deepEqual(made.sent, [{ type: "event", event: "add", detail: { text: "milk" } }]);
  assert.deepEqual([input.value, client.fields.get("draft")], ["", ""]);
});
