// A small stand-in for the browser's DOM, enough for the client's logic under Node: elements
// with children, attributes, plain properties, events with capture and bubbling, focus, and
// `moveBefore` on request. Like a browser, `insertBefore` of a node that holds the focus blurs
// it, and `moveBefore` does not. Every move of a node already in a parent is counted.

class FakeEvent {
  constructor(type, { bubbles = false, cancelable = false, composed = false } = {}) {
    Object.assign(this, { type, bubbles, cancelable, composed, target: null, currentTarget: null, defaultPrevented: false });
    this.stopped = false;
  }

  preventDefault() {
    if (this.cancelable) this.defaultPrevented = true;
  }

  stopPropagation() {
    this.stopped = true;
  }
}

class FakeCustomEvent extends FakeEvent {
  constructor(type, options = {}) {
    super(type, options);
    this.detail = options.detail ?? null;
  }
}

const NAME = /^[A-Za-z][^\s/>\0]*$/;
const INPUT_DEFAULTS = { value: "", checked: false, type: "text", selectionStart: 0, selectionEnd: 0, selectionDirection: "none" };

class FakeElement {
  constructor(document, localName) {
    this.ownerDocument = document;
    this.localName = localName;
    this.tagName = localName.toUpperCase();
    this.parentNode = null;
    this.next = null; // the next sibling
    this.childList = [];
    this.attributes = new Map();
    this.listeners = [];
    this.id = "";
    this.scrollTop = 0;
    this.scrollLeft = 0;
    if (localName === "input" || localName === "textarea") Object.assign(this, INPUT_DEFAULTS);
  }

  get children() {
    return [...this.childList];
  }

  get firstElementChild() {
    return this.childList[0] ?? null;
  }

  get nextElementSibling() {
    return this.next;
  }

  get isConnected() {
    let node = this;
    while (node.parentNode) node = node.parentNode;
    return node === this.ownerDocument.documentElement;
  }

  getAttribute(name) {
    return this.attributes.get(name) ?? null;
  }

  setAttribute(name, value) {
    this.attributes.set(name, String(value));
  }

  removeAttribute(name) {
    this.attributes.delete(name);
  }

  contains(node) {
    for (; node; node = node.parentNode) if (node === this) return true;
    return false;
  }

  appendChild(node) {
    return this.insertBefore(node, null);
  }

  insertBefore(node, ref, keepFocus = false) {
    if (ref !== null && ref.parentNode !== this) throw new Error("NotFoundError: the reference is not a child");
    if (node.contains(this)) throw new Error("HierarchyRequestError: a node cannot hold itself");
    if (node.parentNode) {
      this.ownerDocument.moved += 1;
      node.detach(keepFocus);
    }
    const at = ref === null ? this.childList.length : this.childList.indexOf(ref);
    this.childList.splice(at, 0, node);
    node.parentNode = this;
    node.next = ref;
    if (at > 0) this.childList[at - 1].next = node;
    return node;
  }

  detach(keepFocus = false) {
    const siblings = this.parentNode.childList;
    const at = siblings.indexOf(this);
    if (at > 0) siblings[at - 1].next = this.next;
    siblings.splice(at, 1);
    this.parentNode = null;
    this.next = null;
    const document = this.ownerDocument;
    if (!keepFocus && this.contains(document.focused)) document.focused = null;
  }

  remove() {
    if (this.parentNode) this.detach();
  }

  replaceWith(node) {
    if (!this.parentNode) return;
    this.parentNode.insertBefore(node, this);
    this.detach();
  }

  replaceChildren(...nodes) {
    for (const child of [...this.childList]) child.detach();
    for (const node of nodes) this.appendChild(node);
  }

  focus() {
    if (this.isConnected) this.ownerDocument.focused = this;
  }

  setSelectionRange(start, end, direction = "none") {
    Object.assign(this, { selectionStart: start, selectionEnd: end, selectionDirection: direction });
  }

  addEventListener(type, listener, capture = false) {
    capture = typeof capture === "object" ? Boolean(capture.capture) : capture;
    if (!this.listeners.some((l) => l.type === type && l.listener === listener && l.capture === capture)) {
      this.listeners.push({ type, listener, capture });
    }
  }

  removeEventListener(type, listener, capture = false) {
    capture = typeof capture === "object" ? Boolean(capture.capture) : capture;
    this.listeners = this.listeners.filter((l) => !(l.type === type && l.listener === listener && l.capture === capture));
  }

  dispatchEvent(event) {
    const path = [];
    for (let node = this; node; node = node.parentNode) path.push(node);
    event.target = this;
    const call = (node, capture) => {
      event.currentTarget = node;
      for (const l of [...node.listeners]) if (l.type === event.type && l.capture === capture) l.listener.call(node, event);
    };
    for (let i = path.length - 1; i > 0 && !event.stopped; i--) call(path[i], true);
    if (!event.stopped) call(this, true);
    if (!event.stopped) call(this, false);
    if (event.bubbles) for (let i = 1; i < path.length && !event.stopped; i++) call(path[i], false);
    event.currentTarget = null;
    return !event.defaultPrevented;
  }
}

/** A document whose body is connected; `withMoveBefore` gives elements `moveBefore`. */
export function fakeDocument({ withMoveBefore = false } = {}) {
  const document = {
    moved: 0,
    focused: null,
    baseURI: "http://127.0.0.1/",
    defaultView: { CustomEvent: FakeCustomEvent, Event: FakeEvent },
    createElement(name) {
      if (!NAME.test(name)) throw new Error(`InvalidCharacterError: ${JSON.stringify(name)} is not a valid name`);
      const element = new FakeElement(document, name.toLowerCase());
      if (withMoveBefore) {
        element.moveBefore = function moveBefore(node, ref) {
          if (!this.isConnected || !node.isConnected) throw new Error("HierarchyRequestError: not connected");
          return this.insertBefore(node, ref, true);
        };
      }
      return element;
    },
    getElementById(id) {
      const stack = [document.documentElement];
      while (stack.length) {
        const node = stack.pop();
        if (node.id === id) return node;
        stack.push(...node.childList);
      }
      return null;
    },
    get activeElement() {
      return document.focused ?? document.body;
    },
  };
  document.documentElement = new FakeElement(document, "html");
  document.body = document.createElement("body");
  document.documentElement.appendChild(document.body);
  return document;
}

export { FakeCustomEvent, FakeEvent };
