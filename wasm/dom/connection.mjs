// The client's end of the host's WebSocket protocol (vorlik_stream.protocol on the host).
//
// Frames come as binary messages, host to client. The client's own messages are text, one JSON
// object each with "v": 1 and a "type": `hello` first on every connection (the codec it reads,
// and the epoch and revision it holds when it has a tree, so that the host sends only what it
// missed), `resync` when a frame does not fit or cannot be read (the host answers with a
// snapshot; patches until then are dropped), and `event` and `patch` for what handlers send. The
// host answers hello with `welcome` (`model_type`, `epoch`, `codec`) before any frame.
//
// A message the host would refuse (too long, nested too deep, a string UTF-8 cannot carry, a
// number of more than 20 digits) would cost the client its connection: it is refused here and
// reported instead. A dropped connection is opened again after a growing, jittered wait, at once
// when the browser comes back online.

export const JSON_CODEC = "application/json";
export const MSGPACK_CODEC = "application/msgpack";
const VERSION = 1;
const MAX_DEPTH = 32;
const MAX_DIGITS = 20;

/** A message the host's protocol would refuse, or a host that breaks the protocol. */
export class ProtocolError extends Error {}
ProtocolError.prototype.name = "ProtocolError";

/**
 * The text of a client message (`type` and its members, `v` added), or a ProtocolError naming
 * what the host would refuse in it.
 */
export function messageText(message, maxMessage = 64 * 1024) {
  checkValue(message);
  const text = JSON.stringify({ v: VERSION, ...message }, (key, value) => {
    if (typeof value !== "bigint") return value;
    if (value >= BigInt(Number.MIN_SAFE_INTEGER) && value <= BigInt(Number.MAX_SAFE_INTEGER)) return Number(value);
    return String(value);
  });
  if (text.length > maxMessage) {
    throw new ProtocolError(`a ${message.type} message of ${text.length} characters is longer than the host takes (${maxMessage})`);
  }
  return text;
}

function checkValue(value) {
  const stack = [[value, 1]];
  while (stack.length) {
    const [item, depth] = stack.pop();
    if (typeof item === "string") {
      if (!(item.isWellFormed?.() ?? !/\p{Cs}/u.test(item))) throw new ProtocolError("a string holds a lone surrogate");
    } else if (typeof item === "number") {
      if (Number.isInteger(item) && Math.abs(item) >= 10 ** MAX_DIGITS) {
        throw new ProtocolError(`a number has more than ${MAX_DIGITS} digits`);
      }
    } else if (item !== null && typeof item === "object") {
      if (typeof item.toJSON === "function") continue; // dates and the like write themselves
      if (depth > MAX_DEPTH) throw new ProtocolError(`values nest deeper than ${MAX_DEPTH} levels`);
      for (const [key, member] of Object.entries(item)) stack.push([key, depth], [member, depth + 1]);
    }
  }
}

/** The hello of a client that holds revision `rev` of epoch `epoch` (both or neither). */
export function helloText(codec, epoch, rev) {
  const text = JSON.stringify({ v: VERSION, type: "hello", codec, ...(epoch == null ? {} : { epoch }) });
  return epoch == null || rev == null ? text : `${text.slice(0, -1)},"rev":${rev}}`; // rev: a bigint, exact
}

/** The host's welcome, checked; a ProtocolError if `text` is not one. */
export function readWelcome(text) {
  let message;
  try {
    message = JSON.parse(text);
  } catch {
    message = null;
  }
  if (message?.v !== VERSION || message.type !== "welcome" || typeof message.model_type !== "string" ||
      typeof message.epoch !== "string" || typeof message.codec !== "string") {
    throw new ProtocolError(`the host's first message is not a welcome: ${text.slice(0, 120)}`);
  }
  return message;
}

/**
 * One client's connection to a host: says hello, hands frames to `client.receive`, asks for
 * a snapshot when one fails, sends the client's messages, and connects again when dropped.
 */
export class Connection {
  constructor(client, url, { codec = JSON_CODEC, WebSocket = globalThis.WebSocket, retry = [250, 10_000],
                             maxMessage = 64 * 1024, random = Math.random, timers = globalThis } = {}) {
    this.client = client;
    this.url = url;
    this.codec = codec;
    this.WebSocket = WebSocket;
    this.retry = retry;
    this.maxMessage = maxMessage;
    this.random = random;
    this.timers = timers;
    this.socket = null;
    this.welcome = null; // the host's welcome on the open connection
    this.epoch = null; // the epoch of the tree the client holds
    this.awaitingSnapshot = false;
    this.attempts = 0; // connections since the last one that delivered a frame
    this.timer = null;
    this.stopped = false;
    this.status = "closed";
    this.online = () => this.socket === null && !this.stopped && this.open();
    timers.addEventListener?.("online", this.online);
  }

  /** Opens the connection (again); the host resumes from what the client holds. */
  open() {
    this.timers.clearTimeout?.(this.timer);
    this.timer = null;
    if (this.stopped) return;
    this.setStatus("connecting");
    let socket;
    try {
      socket = new this.WebSocket(this.url);
    } catch (error) {
      this.client.report(new ProtocolError(`cannot open ${this.url}: ${error.message}`, { cause: error }));
      this.later();
      return;
    }
    socket.binaryType = "arraybuffer";
    this.socket = socket;
    this.welcome = null;
    this.awaitingSnapshot = false;
    socket.onopen = () => {
      const resume = this.epoch !== null && this.client.rev !== null;
      socket.send(helloText(this.codec, resume ? this.epoch : null, resume ? this.client.rev : null));
    };
    socket.onmessage = (message) => this.socket === socket && this.take(message.data);
    socket.onclose = (event) => this.socket === socket && this.dropped(event);
    socket.onerror = () => {}; // a close event follows
  }

  /** Closes the connection for good. */
  close() {
    this.stopped = true;
    this.timers.clearTimeout?.(this.timer);
    this.timers.removeEventListener?.("online", this.online);
    const socket = this.socket;
    this.socket = null;
    socket?.close(1000, "the page closed the connection");
    this.setStatus("closed");
  }

  /** Sends one of the client's messages (`{type: "event", ...}` or `{type: "patch", ...}`). */
  send(message) {
    const text = messageText(message, this.maxMessage); // refused here rather than by the host
    if (this.welcome === null) {
      throw new ProtocolError(`not connected: the ${message.type} message was not sent`);
    }
    this.socket.send(text);
  }

  take(data) {
    if (typeof data === "string") {
      if (this.welcome !== null) {
        this.client.report(new ProtocolError(`the host sent a text message after its welcome: ${data.slice(0, 120)}`));
        return;
      }
      try {
        this.welcome = readWelcome(data);
        if (this.client.modelType !== null && this.welcome.model_type !== this.client.modelType) {
          throw new ProtocolError(`the host serves model type ${JSON.stringify(this.welcome.model_type)}, ` +
                                  `not ${JSON.stringify(this.client.modelType)}`);
        }
      } catch (error) {
        this.client.report(error);
        this.close();
        return;
      }
      this.setStatus("open");
      return;
    }
    if (this.welcome === null) {
      this.client.report(new ProtocolError("the host sent a frame before its welcome"));
      this.socket.close(1002, "a frame before the welcome");
      return;
    }
    try {
      const kind = this.client.receive(new Uint8Array(data), { snapshotOnly: this.awaitingSnapshot });
      if (kind === "snapshot") {
        this.epoch = this.welcome.epoch;
        this.awaitingSnapshot = false;
      }
      if (kind !== "skipped") this.attempts = 0;
    } catch (error) {
      this.client.report(error);
      if (!this.awaitingSnapshot) {
        this.awaitingSnapshot = true;
        this.socket.send(messageText({ type: "resync" }));
      }
    }
  }

  dropped(event) {
    this.socket = null;
    this.welcome = null;
    if (event.code !== 1000 && event.code !== 1001 && event.code !== 1005 && event.code !== 1006) {
      this.client.report(new ProtocolError(`the host closed the connection (${event.code}): ${event.reason}`));
    }
    if (this.stopped) {
      this.setStatus("closed");
      return;
    }
    this.later();
  }

  later() {
    this.setStatus("offline");
    const [first, most] = this.retry;
    const wait = Math.min(most, first * 2 ** Math.min(this.attempts, 30)) * (0.5 + this.random() / 2);
    this.attempts += 1;
    this.timer = this.timers.setTimeout(() => this.open(), wait);
  }

  setStatus(status) {
    if (this.status === status) return;
    this.status = status;
    this.client.statusChanged(status);
  }
}
