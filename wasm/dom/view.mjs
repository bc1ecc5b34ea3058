// The page side of a component tree: one element per node, kept in step with the tree op by op.
//
// A node becomes an element of its tag; its properties are set as the element's properties, its
// children follow it in the order of their slots (the slot "" first, as slot names sort), each
// child of a named slot carrying that name in its `slot` attribute. Every element holds a record
// of its node (key, properties, handlers, bindings, children by slot), through which patch paths
// are resolved without looking at the page.
//
// Child ops change the records at once and the page at the end of the patch: each slot that
// changed is put in order once, moving only the children outside a longest increasing
// subsequence of their old places (`ParentNode.moveBefore` where the browser has it, which keeps
// focus and state; otherwise `insertBefore`, after which focus and selection are restored).

import { longestIncreasing } from "./order.mjs";

const RECORD = Symbol("vorlik.node");

/** The record of an element this client made, or undefined. */
export const recordOf = (element) => element?.[RECORD];

/** A patch or a node not in the form a host's diff writes; the caller renders the tree afresh. */
export class UnexpectedForm extends Error {}
UnexpectedForm.prototype.name = "UnexpectedForm";

// Properties a page does not take from the wire: markup (unless the client allows it), which
// would run script from data, and the names that reach an element's prototype.
const MARKUP = new Set(["innerHTML", "outerHTML", "srcdoc"]);
const NEVER = new Set(["__proto__", "constructor", "prototype"]);
const SCRIPT_URL = /^\s*(javascript|vbscript|data)\s*:/i;
const URL_PROPS = new Set(["href", "src", "action", "formAction", "xlinkHref", "data", "codebase"]);

class NodeRecord {
  constructor(tag, key, slot) {
    this.tag = tag;
    this.key = key;
    this.slot = slot; // the slot of the parent this element stands in
    this.props = new Map(); // the node's properties, as JavaScript values
    this.events = new Map(); // event name -> handler (as the tree holds it)
    this.bindings = new Map(); // property name -> binding
    this.slots = new Map(); // slot name -> child elements in order
    this.names = []; // slot names in the order they stand on the page
    this.local = null; // property -> value a handler set on this element (until the host sets it)
    this.edited = null; // properties the user changed by typing, choosing or toggling
    this.written = new Set(); // every property this client ever set on the element
    this.listeners = null; // event name -> listener, for elements that run handlers
  }
}

/** A node property value as a JavaScript value. */
export function toValue(value) {
  if (value === "Null") return null;
  if (value !== null && typeof value === "object" && !Array.isArray(value)) {
    for (const kind in value) {
      const payload = value[kind];
      switch (kind) {
        case "Str":
        case "Bool":
        case "Int":
          return payload;
        case "Float":
          return payload ?? NaN; // a non-finite Float is written as null
        case "List":
          return payload.map(toValue);
        case "Map": // fromEntries defines members, so a key "__proto__" stays a plain member
          return Object.fromEntries(Object.entries(payload).map(([name, item]) => [name, toValue(item)]));
        case "Null":
          return null;
        case "Submodel":
          return Object.freeze({ submodel: payload });
      }
      break;
    }
  }
  throw new UnexpectedForm(`not a property value: ${brief(value)}`);
}

/** Slot and map names in the order vorlik writes them: by UTF-8 bytes, that is by code point. */
export function byCodePoint(a, b) {
  const n = Math.min(a.length, b.length);
  for (let i = 0; i < n; i++) {
    let x = a.charCodeAt(i);
    let y = b.charCodeAt(i);
    if (x === y) continue;
    // UTF-16 puts U+E000..U+FFFF above the surrogates that spell every later code point.
    if (x >= 0xd800) x += x <= 0xdfff ? 0x2000 : -0x800;
    if (y >= 0xd800) y += y <= 0xdfff ? 0x2000 : -0x800;
    return x - y;
  }
  return a.length - b.length;
}

/**
 * The elements of one tree in one container. `runtime` runs the handlers and bindings (see
 * handlers.mjs); `report(error)` hears what went wrong without stopping the view.
 */
export class View {
  constructor(container, runtime, report, { moveBefore = true, allowHtml = false } = {}) {
    this.container = container;
    this.document = container.ownerDocument;
    this.runtime = runtime;
    this.report = (error) => this.silent || report(error);
    this.silent = false;
    this.useMoveBefore = moveBefore;
    this.allowHtml = allowHtml;
    this.root = null;
    this.stats = { moves: 0, inserts: 0, removes: 0, replaces: 0 };
    this.dirty = new Map(); // parent element -> slot names whose children are out of place
    this.pristine = new Map(); // tag -> an untouched element, for the defaults of removed props
  }

  /** Shows `tree` (a parsed node) in place of whatever the container held. */
  mount(tree) {
    const root = this.render(tree, "");
    this.forget(this.root);
    this.container.replaceChildren(root);
    this.root = root;
    this.dirty.clear();
  }

  /** Replays `ops` (a parsed patch's op list) on the page. Throws when an op is not in the form
   * a host writes; the page may then be half done, and the caller mounts the new tree. */
  patch(ops) {
    if (!Array.isArray(ops)) throw new UnexpectedForm("a patch without an op list");
    try {
      for (const op of ops) this.apply(op);
    } finally {
      this.settle();
    }
  }

  /** Runs `work` with reports held back (for renders made only to compare with). */
  quietly(work) {
    const silent = this.silent;
    this.silent = true;
    try {
      return work();
    } finally {
      this.silent = silent;
    }
  }

  // ---- rendering

  /** The element tree of `node` standing in slot `slot`; `inert` makes one for comparison
   * only (no listeners, no registration with the runtime). */
  render(node, slot, inert = false) {
    if (node === null || typeof node !== "object" || Array.isArray(node) || typeof node.tag !== "string") {
      throw new UnexpectedForm(`not a node: ${brief(node)}`);
    }
    const element = this.create(node.tag);
    const record = new NodeRecord(node.tag, node.key ?? null, slot);
    element[RECORD] = record;
    if (slot !== "") element.setAttribute("slot", slot);
    const slots = node.slots ?? {};
    record.names = Object.keys(slots).sort(byCodePoint);
    for (const name of record.names) {
      const children = slots[name].map((child) => this.render(child, name, inert));
      record.slots.set(name, children);
      for (const child of children) element.appendChild(child);
    }
    for (const [name, action] of Object.entries(node.events ?? {})) record.events.set(name, action);
    for (const [name, binding] of Object.entries(node.bindings ?? {})) record.bindings.set(name, binding);
    // Props after the children (a <select> takes its value only from an option it has), `type`
    // first (an <input> reads its value by its type).
    const props = node.props ?? {};
    for (const name of Object.keys(props)) record.props.set(name, toValue(props[name]));
    if (record.props.has("type")) this.show(element, "type");
    for (const name of new Set([...record.props.keys(), ...record.bindings.keys()])) {
      if (name !== "type") this.show(element, name);
    }
    if (!inert) this.runtime.attach(element, record);
    return element;
  }

  create(tag) {
    try {
      return this.document.createElement(tag);
    } catch (error) {
      this.report(new Error(`a node's tag ${JSON.stringify(tag)} is no element name; shown as <vorlik-unknown>`,
                            { cause: error }));
      return this.document.createElement("vorlik-unknown");
    }
  }

  // ---- properties

  /** What property `name` of `element` shows: its binding's value when the binding is live,
   * else what a handler set, else the node's property; `undefined` for none of these. */
  intended(element, name) {
    const record = element[RECORD];
    const binding = record.bindings.get(name);
    if (binding !== undefined) {
      const [live, value] = this.runtime.boundValue(element, name, binding);
      if (live) return [true, value];
    }
    if (record.local?.has(name)) return [true, record.local.get(name)];
    if (record.props.has(name)) return [true, record.props.get(name)];
    return [false, undefined];
  }

  /** Sets property `name` of `element` to what it should show (or back to its default). */
  show(element, name) {
    const [shown, value] = this.intended(element, name);
    if (shown) this.write(element, name, value);
    else this.reset(element, name);
  }

  write(element, name, value) {
    const record = element[RECORD];
    if (NEVER.has(name) || (MARKUP.has(name) && !this.allowHtml)) {
      this.report(new Error(`property ${name} of <${record.tag}> is not set from the host's tree`));
      return;
    }
    if (URL_PROPS.has(name) && typeof value === "string" && SCRIPT_URL.test(value)) {
      this.report(new Error(`property ${name} of <${record.tag}>: a script or data URL is not set from the host's tree`));
      return;
    }
    record.written.add(name);
    record.edited?.delete(name);
    try {
      if (!Object.is(element[name], value)) element[name] = value;
    } catch (error) {
      this.report(new Error(`cannot set property ${name} of <${record.tag}>: ${error.message}`, { cause: error }));
    }
  }

  reset(element, name) {
    const record = element[RECORD];
    if (!record.written.has(name)) return;
    record.edited?.delete(name);
    const fallback = this.defaultOf(record.tag, element.localName, name);
    try {
      if (fallback === undefined && Object.hasOwn(element, name)) delete element[name];
      else if (!Object.is(element[name], fallback)) element[name] = fallback;
    } catch (error) {
      this.report(new Error(`cannot reset property ${name} of <${record.tag}>: ${error.message}`, { cause: error }));
    }
  }

  /** The value of property `name` on a new element of the same kind. */
  defaultOf(tag, localName, name) {
    let blank = this.pristine.get(localName);
    if (blank === undefined) {
      blank = this.create(tag);
      this.pristine.set(localName, blank);
    }
    return blank[name];
  }

  /** Marks the properties that the user changes on `element` (a form control) as the user's. */
  userChanged(element) {
    const record = element[RECORD];
    if (record) (record.edited ??= new Set()).add("value").add("checked").add("selectedIndex").add("open");
  }

  // ---- ops

  apply(op) {
    if (op === null || typeof op !== "object") throw new UnexpectedForm(`not an op: ${brief(op)}`);
    const names = Object.keys(op);
    const body = op[names[0]];
    if (names.length !== 1 || body === null || typeof body !== "object" || Array.isArray(body) ||
        !Array.isArray(body.path)) {
      throw new UnexpectedForm(`not an op in the written form: ${brief(op)}`);
    }
    if (names[0] === "Replace") return this.replace(body.path, body.node);
    const element = this.resolve(body.path);
    const record = element[RECORD];
    switch (names[0]) {
      case "SetProp":
        record.props.set(body.name, toValue(body.value));
        record.local?.delete(body.name); // the host has spoken
        return this.show(element, body.name);
      case "RemoveProp":
        record.props.delete(body.name);
        record.local?.delete(body.name);
        return this.show(element, body.name);
      case "SetEvent":
        record.events.set(body.name, body.action);
        return this.runtime.eventsChanged(element, record);
      case "RemoveEvent":
        record.events.delete(body.name);
        return this.runtime.eventsChanged(element, record);
      case "SetBinding":
        record.bindings.set(body.name, body.binding);
        this.runtime.bindingsChanged(element, record);
        return this.show(element, body.name);
      case "RemoveBinding":
        record.bindings.delete(body.name);
        this.runtime.bindingsChanged(element, record);
        return this.show(element, body.name);
      case "SetKey":
        record.key = body.key ?? null;
        return;
      case "InsertChild":
        return this.insert(element, record, body.slot, body.index, body.node);
      case "RemoveChild":
        return this.remove(record, body.slot, body.index);
      case "MoveChild":
        return this.move(element, record, body.slot, body.from, body.to);
      default:
        throw new UnexpectedForm(`unknown op ${brief(names[0])}`);
    }
  }

  resolve(path) {
    let element = this.root;
    for (const step of path) {
      element = element[RECORD].slots.get(step?.slot)?.[step?.index];
      if (element === undefined) throw new UnexpectedForm(`a path the page does not have: ${brief(path)}`);
    }
    return element;
  }

  children(record, slot) {
    const list = record.slots.get(slot);
    if (list === undefined) throw new UnexpectedForm(`no slot ${brief(slot)} on <${record.tag}>`);
    return list;
  }

  insert(parent, record, slot, index, node) {
    if (typeof slot !== "string") throw new UnexpectedForm(`a slot name that is no string: ${brief(slot)}`);
    let list = record.slots.get(slot);
    if (list === undefined) {
      list = [];
      record.slots.set(slot, list);
      record.names = [...record.slots.keys()].sort(byCodePoint);
    }
    if (!(index <= list.length)) throw new UnexpectedForm(`an insertion beyond the list: ${index}`);
    list.splice(index, 0, this.render(node, slot));
    this.stats.inserts += 1;
    this.touch(parent, slot);
  }

  remove(record, slot, index) {
    const list = record.slots.get(slot);
    if (list === undefined) return; // removing from a slot the node lacks does nothing
    const [child] = list.splice(index, 1);
    if (child === undefined) throw new UnexpectedForm(`a removal beyond the list: ${index}`);
    if (list.length === 0) {
      record.slots.delete(slot);
      record.names = record.names.filter((name) => name !== slot);
    }
    child.remove();
    this.forget(child);
    this.stats.removes += 1;
  }

  move(parent, record, slot, from, to) {
    const list = record.slots.get(slot);
    if (list === undefined) return;
    if (!(from < list.length && to < list.length)) throw new UnexpectedForm(`a move beyond the list: ${from} to ${to}`);
    list.splice(to, 0, list.splice(from, 1)[0]);
    this.touch(parent, slot);
  }

  replace(path, node) {
    if (path.length === 0) {
      const root = this.render(node, "");
      this.root.replaceWith(root);
      this.forget(this.root);
      this.root = root;
    } else {
      const step = path[path.length - 1];
      const parent = this.resolve(path.slice(0, -1));
      const list = parent[RECORD].slots.get(step?.slot);
      const old = list?.[step?.index];
      if (old === undefined) throw new UnexpectedForm(`a path the page does not have: ${brief(path)}`);
      const element = this.render(node, step.slot);
      list[step.index] = element;
      if (old.parentNode) old.replaceWith(element); // in its place; a pending reorder puts it in order
      else this.touch(parent, step.slot);
      this.forget(old);
    }
    this.stats.replaces += 1;
  }

  // An element left the tree: its bindings stop following the data.
  forget(element) {
    if (element) this.runtime.detach(element);
  }

  touch(parent, slot) {
    let slots = this.dirty.get(parent);
    if (slots === undefined) this.dirty.set(parent, (slots = new Set()));
    slots.add(slot);
  }

  // ---- putting children in order

  /** Puts every slot the patch changed in order on the page (later slots first, so that the
   * first child of the next slot is in place when a slot is ordered before it). */
  settle() {
    for (const [parent, slots] of this.dirty) {
      const record = parent[RECORD];
      if (record === undefined) continue;
      const names = [...slots].sort(byCodePoint).reverse();
      for (const slot of names) this.order(parent, record, slot);
    }
    this.dirty.clear();
  }

  order(parent, record, slot) {
    const list = record.slots.get(slot);
    if (list === undefined) return;
    const place = new Map();
    let at = 0;
    for (let child = parent.firstElementChild; child !== null; child = child.nextElementSibling) place.set(child, at++);
    const before = list.map((child) => place.get(child) ?? -1);
    const stays = longestIncreasing(before);
    let next = this.after(record, slot);
    for (let i = list.length - 1; i >= 0; i--) {
      const child = list[i];
      if (!stays[i]) this.put(parent, child, next, before[i] >= 0);
      next = child;
    }
  }

  // The element that follows the children of `slot`: the first child of the next slot, if any.
  after(record, slot) {
    for (let i = record.names.indexOf(slot) + 1; i < record.names.length; i++) {
      const list = record.slots.get(record.names[i]);
      if (list?.length) return list[0];
    }
    return null;
  }

  put(parent, child, next, moved) {
    if (!moved) {
      parent.insertBefore(child, next);
      return;
    }
    this.stats.moves += 1;
    if (this.useMoveBefore && typeof parent.moveBefore === "function" && parent.isConnected) {
      try {
        parent.moveBefore(child, next);
        return;
      } catch {
        // moveBefore refuses some moves (across documents or shadow roots): move as before
      }
    }
    const kept = this.holdFocus(child);
    parent.insertBefore(child, next);
    kept?.();
  }

  // insertBefore takes a node out of the page and puts it back, which blurs the focused element
  // inside it and resets its selection and scroll. Returns what puts them back.
  holdFocus(child) {
    const active = this.document.activeElement;
    const focused = active && active !== child.ownerDocument?.body && child.contains(active) ? active : null;
    const scroll = child.scrollTop || child.scrollLeft ? [child.scrollTop, child.scrollLeft] : null;
    if (!focused && !scroll) return null;
    let selection = null;
    try {
      if (focused && typeof focused.selectionStart === "number") {
        selection = [focused.selectionStart, focused.selectionEnd, focused.selectionDirection];
      }
    } catch {
      // inputs of some types have no selection
    }
    return () => {
      if (scroll) [child.scrollTop, child.scrollLeft] = scroll;
      if (focused && this.document.activeElement !== focused) {
        focused.focus({ preventScroll: true });
        if (selection) focused.setSelectionRange(...selection);
      }
    };
  }

  // ---- lookups

  /** The element of this tree whose `id` property is `id`, or null. */
  byId(id) {
    if (this.root === null) return null;
    if (this.container.isConnected) {
      const found = this.document.getElementById(id);
      return found && this.container.contains(found) && found[RECORD] ? found : null;
    }
    const stack = [this.root];
    while (stack.length) {
      const element = stack.pop();
      if (element.id === id) return element;
      for (const list of element[RECORD].slots.values()) stack.push(...list);
    }
    return null;
  }
}

/** A short description of a value for messages. */
export function brief(value) {
  let text;
  try {
    text = JSON.stringify(value);
  } catch {
    text = undefined;
  }
  text ??= String(value);
  return text.length > 80 ? `${text.slice(0, 77)}...` : text;
}
