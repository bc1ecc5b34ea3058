// The check mode's comparison: the page as it stands against a fresh render of the client's tree.
//
// Element by element in page order: the tag, the `slot` attribute, the key, the node's
// properties, handlers and bindings as the records hold them, and every property the client
// ever set, read back from the page. A property a handler set or the user typed is compared
// with that value rather than the tree's.

import { brief, recordOf } from "./view.mjs";

/** The first place where the page differs from `tree` (a parsed node), or null. */
export function difference(view, tree) {
  const live = view.root;
  if (view.container.children.length !== 1 || view.container.firstElementChild !== live) {
    return `the container holds ${view.container.children.length} elements, not the tree's root alone`;
  }
  return view.quietly(() => compare(view, live, view.render(tree, "", true), "root"));
}

function compare(view, live, fresh, where) {
  const stack = [[live, fresh, where]];
  while (stack.length) {
    const [a, b, at] = stack.pop();
    const mine = recordOf(a);
    const theirs = recordOf(b);
    if (mine === undefined) return `${at}: <${a.localName}> is no element of the tree`;
    const here = `${at} <${b.localName}${theirs.key === null ? "" : ` key=${JSON.stringify(theirs.key)}`}>`;
    if (a.localName !== b.localName) return `${here}: the page has <${a.localName}>`;
    if (a.getAttribute("slot") !== b.getAttribute("slot")) {
      return `${here}: slot attribute ${brief(a.getAttribute("slot"))}, the tree says ${brief(b.getAttribute("slot"))}`;
    }
    if (mine.key !== theirs.key) return `${here}: key ${brief(mine.key)}`;
    for (const part of ["props", "events", "bindings"]) {
      if (!sameMap(mine[part], theirs[part])) return `${here}: ${part} ${brief(Object.fromEntries(mine[part]))}`;
    }
    // What handlers set stays until the host sets the property: the fresh element gets it too.
    for (const [name, value] of mine.local ?? []) {
      const binding = theirs.bindings.get(name);
      if (binding === undefined || !view.runtime.boundValue(b, name, binding)[0]) view.write(b, name, value);
    }
    for (const name of new Set([...mine.written, ...theirs.written])) {
      if (mine.edited?.has(name)) continue;
      if (!sameShown(a[name], b[name])) return `${here}: property ${name} is ${brief(a[name])}, should be ${brief(b[name])}`;
    }
    const kids = [...a.children];
    const wanted = [...b.children];
    const held = mine.names.flatMap((name) => mine.slots.get(name));
    if (kids.length !== wanted.length) return `${here}: ${kids.length} children on the page, ${wanted.length} in the tree`;
    if (held.length !== kids.length || held.some((child, i) => child !== kids[i])) {
      return `${here}: the page's children stand in another order than the client's record of them`;
    }
    for (let i = kids.length - 1; i >= 0; i--) stack.push([kids[i], wanted[i], `${here} > ${i}`]);
  }
  return null;
}

function sameMap(a, b) {
  if (a.size !== b.size) return false;
  for (const [name, value] of a) if (!b.has(name) || !same(value, b.get(name))) return false;
  return true;
}

// Values as JSON gives them: equal by content, whatever the order of object members.
function same(a, b) {
  if (Object.is(a, b)) return true;
  if (a === null || b === null || typeof a !== "object" || typeof b !== "object") return false;
  if (Array.isArray(a) !== Array.isArray(b)) return false;
  const names = Object.keys(a);
  if (names.length !== Object.keys(b).length) return false;
  return names.every((name) => Object.hasOwn(b, name) && same(a[name], b[name]));
}

// Property values read back from the page: styles and class lists by their text.
function sameShown(a, b) {
  if (same(a, b)) return true;
  if (a === null || b === null || typeof a !== "object" || typeof b !== "object") return false;
  if (typeof a.cssText === "string") return a.cssText === b.cssText;
  if (typeof a.value === "string" && typeof a.contains === "function") return a.value === b.value;
  return a.constructor === b.constructor && String(a) === String(b);
}
