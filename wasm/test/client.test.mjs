// The DOM client's view: trees on a page, patches applied in place, the fewest moves for keyed
// reorders, focus kept, and the check mode, on a fake DOM.
import assert from "node:assert/strict";
import { test } from "node:test";

import { OutOfSync, longestIncreasing } from "../client.mjs";
import { MODEL, item, list, makeClient, randomMoves, range, seeded, shown, step, vorlik } from "./client-support.mjs";

test("longestIncreasing marks one longest increasing run, never an absent entry", () => {
  const random = seeded(7);
  for (let round = 0; round < 300; round++) {
    const n = Math.floor(random() * 9);
    const positions = Array.from({ length: n }, () => Math.floor(random() * 12) - 2);
    const stays = longestIncreasing(positions);
    const kept = positions.filter((_, i) => stays[i]);
    assert.ok(kept.every((value, i) => value >= 0 && (i === 0 || kept[i - 1] < value)), `${positions}`);
    // the longest, by trying every subset
    let best = 0;
    for (let mask = 0; mask < 1 << n; mask++) {
      const run = positions.filter((_, i) => mask & (1 << i));
      if (run.every((value, i) => value >= 0 && (i === 0 || run[i - 1] < value))) best = Math.max(best, run.length);
    }
    assert.equal(kept.length, best, `${positions}`);
  }
});

const reorders = {
  "first to last": (keys) => [...keys.slice(1), keys[0]],
  "last to first": (keys) => [keys.at(-1), ...keys.slice(0, -1)],
  reversal: (keys) => [...keys].reverse(),
  "10 random moves": (keys) => randomMoves(keys, 10, seeded(2026)),
};

for (const withMoveBefore of [true, false]) {
  test(`keyed reorders of 1,000 move the fewest elements (moveBefore ${withMoveBefore ? "present" : "absent"})`, () => {
    const keys = range(1000);
    for (const [name, reorder] of Object.entries(reorders)) {
      const { client, document, errors } = makeClient({ withMoveBefore });
      step(client, list(keys));
      const elements = new Map(client.view.root.children.map((element) => [element.textContent, element]));
      const target = reorder(keys);
      const ops = JSON.parse(vorlik.diff(client.tree, JSON.stringify(list(target)))).ops.length;
      step(client, list(target));
      const stays = longestIncreasing(target.map((key) => keys.indexOf(key)));
      const fewest = target.length - stays.reduce((a, b) => a + b, 0);
      assert.equal(client.moves.moves, fewest, name);
      assert.equal(document.moved, fewest, name);
      assert.ok(ops >= fewest, name);
      assert.deepEqual(shown(client.container), target);
      assert.ok(client.view.root.children.every((element) => elements.get(element.textContent) === element), "identity kept");
      assert.deepEqual(errors, []);
      if (name === "first to last") assert.deepEqual([fewest, ops], [1, 999]);
      if (name === "reversal") assert.equal(fewest, 999);
      if (name === "10 random moves") assert.ok(fewest <= 10);
    }
  });
}

test("a focused input keeps its focus, typed text and selection across a keyed move", () => {
  for (const withMoveBefore of [true, false]) {
    const { client, document, errors } = makeClient({ withMoveBefore });
    const row = (key) => ({ tag: "li", key, slots: { "": [{ tag: "input", props: { value: { Str: key } } }] } });
    const tree = (keys) => ({ tag: "ul", slots: { "": keys.map(row) } });
    const keys = range(20);
    step(client, tree(keys));
    const input = client.view.root.children[0].firstElementChild;
    input.focus();
    input.value = "typed";
    input.setSelectionRange(1, 3);
    client.view.userChanged(input);
    // k0 must move: every other row keeps its place
    step(client, tree([...keys.slice(1), keys[0]]));
    assert.equal(client.moves.moves, 1);
    assert.equal(document.activeElement, input);
    assert.equal(client.view.root.children.at(-1).firstElementChild, input);
    assert.deepEqual([input.value, input.selectionStart, input.selectionEnd], ["typed", 1, 3]);
    assert.deepEqual(errors, []);
  }
});

test("random edits: the page always equals a fresh render of the tree (check mode)", () => {
  const random = seeded(11);
  const { client, errors } = makeClient();
  const pick = (items) => items[Math.floor(random() * items.length)];
  let keys = range(30);
  const node = (key) => {
    const slots = random() < 0.3 ? { [pick(["", "a", "10", "9", "é"])]: [{ tag: pick(["b", "i"]), key: `${key}-c` }] } : undefined;
    const props = { textContent: { Str: key }, title: random() < 0.5 ? { Str: pick(["x", "y"]) } : undefined,
                    hidden: random() < 0.2 ? { Bool: true } : undefined };
    return { tag: pick(["li", "li", "p"]), key, props, slots, ...(random() < 0.1 ? { events: { click: { kind: "toggle-field", field: "f" } } } : {}) };
  };
  const tree = () => JSON.stringify({ tag: "ul", slots: { "": keys.map(node), side: keys.slice(0, 3).map(node) } },
                                    (name, value) => (value === undefined ? undefined : value));
  step(client, tree());
  for (let round = 0; round < 120; round++) {
    keys = randomMoves(keys, Math.floor(random() * 4), random);
    if (random() < 0.5) keys.splice(Math.floor(random() * keys.length), 1);
    if (random() < 0.5) keys.splice(Math.floor(random() * keys.length), 0, `n${round}`);
    step(client, tree());
  }
  assert.equal(client.stats.checks, 121);
  assert.equal(client.stats.rerenders, 0);
  assert.deepEqual(errors, []);
});

test("slots: the default slot first, then by name as vorlik orders them, with slot attributes", () => {
  const { client, container, errors } = makeClient();
  const child = (tag) => ({ tag });
  step(client, { tag: "x-card", slots: { "9": [child("i")], "": [child("p")], "10": [child("b"), child("u")], "\u{1F600}": [child("q")], "\uFFFD": [child("s")] } });
  const root = container.firstElementChild;
  assert.deepEqual(root.children.map((c) => [c.localName, c.getAttribute("slot")]),
                   [["p", null], ["b", "10"], ["u", "10"], ["i", "9"], ["s", "\uFFFD"], ["q", "\u{1F600}"]]);
  step(client, { tag: "x-card", slots: { "10": [child("u")], "8": [child("em")], "\u{1F600}": [child("q")] } });
  assert.deepEqual(root.children.map((c) => c.localName), ["u", "em", "q"]);
  assert.deepEqual(errors, []);
});

test("properties: set as element properties, removed back to the element's default, unsafe ones refused", () => {
  const { client, container, errors } = makeClient();
  step(client, '{"tag":"input","props":{"value":{"Str":"a"},"title":{"Str":"t"},"size":{"Int":3},"ratio":{"Float":0.5},' +
               '"tags":{"List":[{"Str":"x"},"Null"]},"meta":{"Map":{"__proto__":{"Int":1}}},"ref":{"Submodel":4}}}');
  const input = container.firstElementChild;
  assert.deepEqual([input.value, input.title, input.size, input.ratio, input.tags, input.ref], ["a", "t", 3, 0.5, ["x", null], { submodel: 4 }]);
  assert.equal(Object.getPrototypeOf(input.meta), Object.prototype);
  assert.deepEqual(Object.keys(input.meta), ["__proto__"]);
  step(client, { tag: "input", props: { size: { Int: 3 } } });
  assert.deepEqual([input.value, "title" in input, input.size], ["", false, 3]);
  step(client, { tag: "a", props: { innerHTML: { Str: "<img src=x onerror=alert(1)>" }, href: { Str: " javascript:alert(1)" } } });
  const link = container.firstElementChild;
  assert.equal(link.innerHTML, undefined);
  assert.equal(link.href, undefined);
  assert.deepEqual(errors.map((e) => e.message), [
    "property href of <a>: a script or data URL is not set from the host's tree",
    "property innerHTML of <a> is not set from the host's tree"]);
});

test("a snapshot over a shown tree is applied as a diff: elements, focus and typed text stay", () => {
  const { client, document } = makeClient();
  step(client, list(range(5)));
  const second = client.view.root.children[1];
  second.focus();
  step(client, list([...range(5), "new"]), "snapshot");
  assert.equal(client.view.root.children[1], second);
  assert.equal(document.activeElement, second);
  assert.equal(client.moves.inserts, 1);
});

test("frames that do not fit: the page and the tree held stay as they were", () => {
  const { client, container } = makeClient();
  step(client, list(["a", "b"]));
  const before = [client.tree, client.rev, container.innerHTML, shown(container).join()];
  const patch = vorlik.diff(client.tree, JSON.stringify(list(["b"])));
  const cases = [
    [new Uint8Array([0, 0, 0, 9, 1, 2]), /truncated frame/],
    [vorlik.encodeFrame(patch, MODEL, "patch", 5n, "application/json"), /revision 5 does not follow revision 1/],
    [vorlik.encodeFrame(patch, "other", "patch", 2n, "application/json"), /model type "other"/],
    [vorlik.encodeFrame('{"ops":[{"RemoveChild":{"path":[],"slot":"","index":7}}]}', MODEL, "patch", 2n, "application/json"),
     /does not fit the tree held: removal index \(is 7\) should be < len \(is 2\)/],
  ];
  for (const [frame, message] of cases) {
    assert.throws(() => client.receive(frame), message);
    assert.deepEqual([client.tree, client.rev, container.innerHTML, shown(container).join()], before);
  }
  assert.ok(cases.slice(1).every(([frame]) => { try { client.receive(frame); } catch (e) { return e instanceof OutOfSync; } }));
  step(client, list(["b", "c"])); // still usable
  assert.deepEqual(shown(container), ["b", "c"]);
});

test("a patch in a form the page does not follow op by op is shown afresh, and reported", () => {
  const { client, container, errors } = makeClient();
  step(client, list(["a", "b"]));
  const arrayForm = '{"ops":[{"MoveChild":[[],"",1,0]}]}'; // vorlik reads it; no host writes it
  client.receive(vorlik.encodeFrame(arrayForm, MODEL, "patch", 2n, "application/json"));
  assert.deepEqual(shown(container), ["b", "a"]);
  assert.equal(client.stats.rerenders, 1);
  assert.match(errors[0].message, /shown afresh/);
  assert.equal(client.stats.checkFailures, 0);
});

test("the check mode finds a page that drifted from the tree", () => {
  const { client, container, errors } = makeClient();
  step(client, { tag: "ul", slots: { "": ["a", "b", "c"].map((key) => item(key, { title: { Str: key } })) } });
  const root = container.firstElementChild;
  root.insertBefore(root.children[2], root.children[0]);
  assert.match(client.check(), /another order/);
  root.appendChild(root.children[0]);
  assert.equal(client.check(), null);
  root.children[1].title = "changed";
  assert.match(client.check(), /root <ul> > 1 <li key="b">: property title is "changed", should be "b"/);
  root.children[1].title = "b";
  root.children[2].lang = "fr"; // never set by the client: not its to check
  assert.equal(client.check(), null);
  root.children[0].remove();
  assert.match(client.check(), /2 children on the page, 3 in the tree/);
  assert.equal(errors.length, 3);
  assert.equal(client.stats.checkFailures, 3);
});

test("mount of a tag that is no element name reports it and shows a stand-in", () => {
  const { client, container, errors } = makeClient();
  step(client, { tag: "", slots: { "": [item("a")] } });
  assert.equal(container.firstElementChild.localName, "vorlik-unknown");
  assert.match(errors[0].message, /no element name/);
});
