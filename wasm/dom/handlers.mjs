// What a tree's handlers and bindings do on the page.
//
// The client holds data fields (a name and any JSON-like value each). A binding shows a field on a
// property: as it is, or through the compute hook its `compute` names; a two-way binding also
// writes the property back to the field when the element reports input (`input` or `change`).
// A binding is live once its field has a value (or, with a compute hook, at once); until then the
// property shows the node's own value.
//
// Handlers run when their event fires on their element. Expressions read the event, a
// component's property, a field, or build objects and texts; actions set a component's property
// (it then shows the handler's value until the host sets that property), set fields, raise
// events (a DOM CustomEvent that bubbles, and a message to the host unless a listener cancels
// it), send patches to the host, branch, call endpoints with fetch, and run the script handlers
// a page registers. A handler that fails stops its sequence and is reported; the page goes on.

import { recordOf } from "./view.mjs";

/** A handler or binding the client cannot carry out as written. */
export class HandlerError extends Error {}
HandlerError.prototype.name = "HandlerError";

const EMITTER = Symbol("vorlik.emitter");
const CONTROLS = new Set(["input", "select", "textarea", "button", "output", "option"]);
const NOT_LIVE = Object.freeze([false, undefined]);
const INPUT_EVENTS = ["input", "change"];

const isObject = (value) => value !== null && typeof value === "object" && !Array.isArray(value);

export class Runtime {
  /**
   * `report(error)` hears failures; `send(message)` takes the messages for the host (`event`
   * and `patch`, as objects without `v`); `fetch` makes the calls; `handlers` and `computes`
   * are the page's script handlers and compute hooks (objects or Maps of name to function).
   */
  constructor({ report, send, fetch, handlers, computes, client }) {
    this.report = report;
    this.send = send;
    this.fetch = fetch;
    this.client = client;
    this.view = null; // set by the client once the view exists
    this.fields = new Map();
    this.handlers = new Map(Object.entries(handlers ?? {}));
    this.computes = new Map(Object.entries(computes ?? {}));
    this.watchers = new Map(); // field -> elements with a binding to it
    this.everyField = new Set(); // elements with a computed binding of no field
    this.bound = 0; // elements with bindings: while none, removals skip the walk
    this.warned = new Set(); // missing hooks already reported
    this.fieldListeners = new Set();
  }

  // ---- elements come and go

  attach(element, record) {
    if (record.events.size) this.eventsChanged(element, record);
    if (record.bindings.size) this.bindingsChanged(element, record);
  }

  detach(element) {
    if (this.bound === 0) return;
    const stack = [element];
    while (stack.length) {
      const record = recordOf(stack.pop());
      if (record === undefined) continue;
      if (record.watching) this.unwatch(record.watching.element, record);
      for (const list of record.slots.values()) stack.push(...list);
    }
  }

  eventsChanged(element, record) {
    const listeners = (record.listeners ??= new Map());
    for (const [name, listener] of listeners) {
      if (!record.events.has(name)) {
        element.removeEventListener(name, listener);
        listeners.delete(name);
      }
    }
    for (const name of record.events.keys()) {
      if (!listeners.has(name)) {
        const listener = (event) => this.fire(element, name, event);
        element.addEventListener(name, listener);
        listeners.set(name, listener);
      }
    }
  }

  bindingsChanged(element, record) {
    if (record.watching) this.unwatch(element, record);
    if (record.bindings.size === 0) return;
    const fields = [];
    let everyField = false;
    let twoWay = false;
    for (const binding of record.bindings.values()) {
      if (!isObject(binding)) continue;
      if (typeof binding.field === "string") fields.push(binding.field);
      else if (binding.compute != null) everyField = true;
      twoWay ||= binding.mode === "two-way" && typeof binding.field === "string";
    }
    for (const field of fields) {
      let set = this.watchers.get(field);
      if (set === undefined) this.watchers.set(field, (set = new Set()));
      set.add(element);
    }
    if (everyField) this.everyField.add(element);
    // Capture listeners on the element itself run before its own handlers of the same event,
    // so a handler of `input` reads the field the user just changed.
    const listener = twoWay ? () => this.takeInput(element, record) : null;
    if (listener) for (const name of INPUT_EVENTS) element.addEventListener(name, listener, true);
    record.watching = { element, fields, everyField, listener };
    this.bound += 1;
  }

  unwatch(element, record) {
    const { fields, everyField, listener } = record.watching;
    for (const field of fields) {
      const set = this.watchers.get(field);
      set?.delete(element);
      if (set?.size === 0) this.watchers.delete(field);
    }
    if (everyField) this.everyField.delete(element);
    if (listener) for (const name of INPUT_EVENTS) element.removeEventListener(name, listener, true);
    record.watching = null;
    this.bound -= 1;
  }

  // ---- fields and bindings

  /** Gives field `name` a value and shows it wherever it is bound (except on `source`, the
   * element the value came from, whose caret and selection are left alone). */
  setField(name, value, source = null) {
    if (value === undefined) value = null;
    this.fields.set(name, value);
    for (const element of this.watchers.get(name) ?? []) if (element !== source) this.refresh(element, name);
    for (const element of this.everyField) if (element !== source) this.refresh(element, null);
    for (const listener of this.fieldListeners) {
      try {
        listener(name, value);
      } catch (error) {
        this.report(error);
      }
    }
  }

  // Shows again the bindings of `element` to `field` (null: those of no field).
  refresh(element, field) {
    for (const [prop, binding] of recordOf(element).bindings) {
      if ((typeof binding?.field === "string" ? binding.field : null) === field) this.view.show(element, prop);
    }
  }

  /** Shows every binding again (after the page registered a compute hook, for instance). */
  refreshAll() {
    for (const set of [...this.watchers.values(), this.everyField]) {
      for (const element of set) {
        for (const prop of recordOf(element).bindings.keys()) this.view.show(element, prop);
      }
    }
  }

  /** [true, value] when the binding of `prop` decides what `element` shows, else [false]. */
  boundValue(element, prop, binding) {
    if (!isObject(binding)) return NOT_LIVE;
    const field = typeof binding.field === "string" ? binding.field : null;
    const known = field !== null && this.fields.has(field);
    if (binding.compute == null) return known ? [true, this.fields.get(field)] : NOT_LIVE;
    const hook = this.hook(binding.compute);
    if (hook === null) return NOT_LIVE;
    const show = typeof hook === "function" ? hook : hook.toProp;
    try {
      return [true, show(known ? this.fields.get(field) : undefined, this.hookContext(element, prop, binding))];
    } catch (error) {
      this.report(new HandlerError(`compute hook ${hookName(binding.compute)} failed on property ${prop}: ${error?.message}`,
                                   { cause: error }));
      return NOT_LIVE;
    }
  }

  hook(compute) {
    const name = hookName(compute);
    const hook = name === null ? undefined : this.computes.get(name);
    if (typeof hook === "function" || typeof hook?.toProp === "function") return hook;
    const problem = name === null
      ? `a binding's compute ${JSON.stringify(compute)} names no hook (a string, or an object with a string "hook")`
      : `no compute hook ${JSON.stringify(name)} is registered`;
    if (!this.warned.has(problem)) {
      this.warned.add(problem);
      this.report(new HandlerError(problem));
    }
    return null;
  }

  hookContext(element, prop, binding) {
    return { element, prop, field: binding.field ?? null, compute: binding.compute, fields: this.client.fields, client: this.client };
  }

  // The user changed a two-way bound element: its properties go to their fields.
  takeInput(element, record) {
    for (const [prop, binding] of record.bindings) {
      if (binding?.mode !== "two-way" || typeof binding.field !== "string") continue;
      let value = element[prop];
      if (binding.compute != null) {
        const hook = this.hook(binding.compute);
        if (typeof hook?.toField === "function") {
          try {
            value = hook.toField(value, this.hookContext(element, prop, binding));
          } catch (error) {
            this.report(new HandlerError(`compute hook ${hookName(binding.compute)} failed to read property ${prop}: ` +
                                         `${error?.message}`, { cause: error }));
            continue;
          }
        }
      }
      this.setField(binding.field, value, element);
    }
  }

  // ---- handlers

  fire(element, name, event) {
    if (event?.[EMITTER] === element) return; // raised by this element's own handler
    if (name === "submit") event.preventDefault?.(); // a form that runs a handler stays on the page
    const action = recordOf(element)?.events.get(name);
    if (action === undefined) return;
    this.run(action, { element, event }).catch((error) => {
      this.report(error instanceof HandlerError ? error
        : new HandlerError(`the handler of ${name} on <${recordOf(element).tag}> failed: ${error?.message}`, { cause: error }));
    });
  }

  /** Runs `action` for the event `context.event` on `context.element`. */
  async run(action, context) {
    if (!isObject(action)) throw new HandlerError(`not a handler: ${JSON.stringify(action)}`);
    switch (action.kind) {
      case "set":
        return this.setProp(this.target(action.target, context), action.prop, this.evaluate(action.value, context));
      case "toggle": {
        const element = this.target(action.target, context);
        return this.setProp(element, action.prop, !element[action.prop]);
      }
      case "set-field":
        return this.setField(action.field, this.evaluate(action.value, context));
      case "toggle-field":
        return this.setField(action.field, !this.fields.get(action.field));
      case "seq":
        for (const step of action.actions) await this.run(step, context);
        return;
      case "emit":
        return this.emit(action, context);
      case "patch":
        return this.send({ type: "patch", model: action.model, field: action.field,
                           value: this.evaluate(action.value, context) });
      case "if":
        if (this.evaluate(action.cond, context)) return this.run(action.then, context);
        if (action.else != null) return this.run(action.else, context);
        return;
      case "call":
        return this.call(action, context);
      case "js":
        return this.script(action.handler, context);
      default:
        throw new HandlerError(`unknown handler kind ${JSON.stringify(action.kind)}`);
    }
  }

  // A handler's value stays on the element until the host sets the property; a two-way bound
  // property takes it through its field, as if the user had entered it.
  setProp(element, prop, value) {
    const record = recordOf(element);
    const binding = record.bindings.get(prop);
    if (binding?.mode === "two-way" && typeof binding.field === "string" && binding.compute == null) {
      this.setField(binding.field, value);
      return;
    }
    (record.local ??= new Map()).set(prop, value);
    this.view.show(element, prop);
  }

  emit(action, context) {
    const detail = action.detail == null ? null : this.evaluate(action.detail, context);
    const Custom = this.view.document.defaultView?.CustomEvent ?? globalThis.CustomEvent;
    const event = new Custom(action.event, { detail, bubbles: true, composed: true, cancelable: true });
    event[EMITTER] = context.element;
    const on = context.element.isConnected ? context.element : this.view.container;
    if (on.dispatchEvent(event)) this.send({ type: "event", event: action.event, detail });
  }

  async call(action, context) {
    const address = typeof action.url === "string" ? action.url : this.evaluate(action.url, context);
    const url = new URL(String(address ?? ""), this.view.document.baseURI);
    const init = { method: action.method, headers: { accept: "application/json" }, credentials: "same-origin" };
    if (action.body != null) {
      init.body = JSON.stringify(this.evaluate(action.body, context));
      init.headers["content-type"] = "application/json";
    }
    const what = `call ${action.method} ${url.href}`;
    let response;
    try {
      response = await this.fetch(url, init);
    } catch (error) {
      throw new HandlerError(`${what} failed: ${error?.message}`, { cause: error });
    }
    if (!response.ok) throw new HandlerError(`${what}: HTTP ${response.status} ${response.statusText ?? ""}`.trim());
    if (action.result == null) return;
    const text = await response.text();
    let value = text;
    if (/[/+]json\b/.test(response.headers.get("content-type") ?? "")) {
      try {
        value = text === "" ? null : JSON.parse(text);
      } catch (error) {
        throw new HandlerError(`${what}: the answer is not JSON: ${error.message}`, { cause: error });
      }
    }
    this.setField(action.result, value);
  }

  async script(name, context) {
    const handler = this.handlers.get(name);
    if (typeof handler !== "function") {
      this.report(new HandlerError(`no script handler ${JSON.stringify(name)} is registered; skipped`));
      return;
    }
    try {
      await handler({ ...context, client: this.client, fields: this.client.fields });
    } catch (error) {
      throw new HandlerError(`script handler ${JSON.stringify(name)} failed: ${error?.message}`, { cause: error });
    }
  }

  // ---- expressions

  evaluate(expr, context) {
    if (!isObject(expr)) throw new HandlerError(`not an expression: ${JSON.stringify(expr)}`);
    switch (expr.expr) {
      case "lit":
        return expr.value;
      case "event":
        return this.eventValue(context.event);
      case "not":
        return !this.evaluate(expr.of, context);
      case "prop": {
        const value = this.target(expr.target, context)[expr.name];
        return value === undefined ? null : value;
      }
      case "field":
        return this.fields.get(expr.name) ?? null;
      case "obj":
        return Object.fromEntries(Object.entries(expr.fields).map(([name, part]) => [name, this.evaluate(part, context)]));
      case "concat": {
        const parts = expr.parts.map((part) => this.evaluate(part, context));
        if (parts.length > 0 && parts.every(Array.isArray)) return parts.flat(1);
        return parts.map(text).join("");
      }
      default:
        throw new HandlerError(`unknown expression kind ${JSON.stringify(expr.expr)}`);
    }
  }

  target(ref, context) {
    if (ref?.ref === "this") return context.element;
    if (ref?.ref === "id") {
      const element = this.view.byId(ref.id);
      if (element === null) throw new HandlerError(`no component with id ${JSON.stringify(ref.id)} on the page`);
      return element;
    }
    throw new HandlerError(`not a component reference: ${JSON.stringify(ref)}`);
  }

  /** What `{"expr":"event"}` gives: a custom event's detail, a submitted form's values, the
   * value of the control that changed (`checked` for check boxes and radio buttons), the key of
   * a key event; null for other events. */
  eventValue(event) {
    if (event == null) return null;
    const Custom = this.view.document.defaultView?.CustomEvent;
    if (Custom && event instanceof Custom) return event.detail ?? null;
    const target = event.target;
    if (event.type === "submit" && typeof FormData === "function" && target?.localName === "form") {
      return Object.fromEntries(new FormData(target));
    }
    if (target && (CONTROLS.has(target.localName) || target.localName?.includes("-")) && "value" in target) {
      return target.type === "checkbox" || target.type === "radio" ? target.checked : target.value;
    }
    return typeof event.key === "string" ? event.key : null;
  }
}

// What concatenation makes of a value: strings as they are, null as nothing, other values as
// JSON text.
function text(value) {
  if (typeof value === "string") return value;
  if (value == null) return "";
  if (typeof value === "object") return JSON.stringify(value);
  return String(value);
}

function hookName(compute) {
  if (typeof compute === "string") return compute;
  if (isObject(compute) && typeof compute.hook === "string") return compute.hook;
  return null;
}
