"""The control messages between a host and its clients over a message transport (WebSocket).

Frames travel as binary messages, one frame per message, host to client only. Everything else
is a text message holding one JSON object with the protocol version `v` and a `type`:

==========  ==============  ===============================================================
direction   type            members (besides ``"v": 1`` and ``"type"``)
==========  ==============  ===============================================================
client      ``hello``       ``codec``: ``"application/json"`` (the default) or
                            ``"application/msgpack"``, optional; ``epoch`` (string) and
                            ``rev`` (integer): the epoch and revision the client holds,
                            both or neither. The first message of every connection, and
                            only the first.
client      ``resync``      none. The client lost track: it wants a snapshot of the latest
                            revision; the frames queued for it until then are dropped.
client      ``event``       ``event``: string, the event's name; ``detail``: any JSON value,
                            optional (null). What an ``emit`` handler raised.
client      ``patch``       ``model``, ``field``: strings; ``value``: any JSON value. What a
                            ``patch`` handler sends: give ``field`` of ``model`` that value.
host        ``welcome``     ``model_type``, ``epoch``, ``codec``: strings. The answer to
                            ``hello``, sent before any frame.
==========  ==============  ===============================================================

For example ``{"v":1,"type":"hello","codec":"application/json","epoch":"9f1c0a7e5b3d2c1e",
"rev":41}`` resumes from revision 41, and ``{"v":1,"type":"event","event":"save","detail":
{"id":3}}`` reports an event.

Rules, the same on every transport:

- `v` is the integer 1. A later version adds message types or members and raises `v`; a host
  refuses a version it does not speak.
- Every member listed is checked for its type; a member that is not listed, a key given twice,
  a number with more than 20 digits or beyond the range of a double, `NaN` or `Infinity`, a string with a lone surrogate,
  values nested more than 32 arrays and objects deep, or a text longer than the host's limit
  (64 KiB unless told otherwise) make the message malformed.
- An epoch names one run of one broadcast: revisions count from the start of their epoch. A
  client that resumes from another epoch, or from a revision the host no longer holds the
  patches for, gets a snapshot.
- A malformed message, a binary message from a client, or a second ``hello`` close the
  connection with the close code below and a reason that says what was wrong (at most 123
  bytes, as the WebSocket close frame allows).

==========  ==========================================================================
close code  meaning
==========  ==========================================================================
1000        normal closure
1001        the host is going away
1003        the client sent a binary message
1008        a malformed or unexpected text message, an unsupported version or codec, or
            no ``hello`` in time
1011        the host's handler of the client's message failed
==========  ==========================================================================
"""

from __future__ import annotations

import json
import math
from dataclasses import dataclass
from typing import Any, NoReturn

from ._choice import CODECS, JSON, MAX_REV

__all__ = [
    "VERSION",
    "MAX_MESSAGE",
    "MAX_DEPTH",
    "NORMAL",
    "GOING_AWAY",
    "UNSUPPORTED_DATA",
    "POLICY_VIOLATION",
    "INTERNAL_ERROR",
    "Hello",
    "Resync",
    "Event",
    "FieldPatch",
    "Welcome",
    "ClientMessage",
    "BadMessage",
    "parse_client_message",
    "parse_host_message",
    "encode_message",
]

#: The protocol version this module speaks.
VERSION = 1
#: Longest text message a host takes from a client, in characters, unless told otherwise.
MAX_MESSAGE = 64 * 1024
#: Deepest nesting of arrays and objects taken in a message.
MAX_DEPTH = 32
_MAX_DIGITS = 20
_MAX_REASON = 123

NORMAL = 1000
GOING_AWAY = 1001
UNSUPPORTED_DATA = 1003
POLICY_VIOLATION = 1008
INTERNAL_ERROR = 1011

#: A JSON value as `json.loads` gives it.
JsonValue = Any


@dataclass(frozen=True)
class Hello:
    """First message of a client: the codec it reads, and where it resumes from (if anywhere)."""

    codec: str = JSON
    epoch: str | None = None
    rev: int | None = None


@dataclass(frozen=True)
class Resync:
    """The client wants a snapshot of the latest revision."""


@dataclass(frozen=True)
class Event:
    """An event the client raised (an `emit` handler)."""

    event: str
    detail: JsonValue = None


@dataclass(frozen=True)
class FieldPatch:
    """A new value for one field of one model (a `patch` handler)."""

    model: str
    field: str
    value: JsonValue


@dataclass(frozen=True)
class Welcome:
    """The host's answer to `Hello`."""

    model_type: str
    epoch: str
    codec: str


ClientMessage = Hello | Resync | Event | FieldPatch
Message = ClientMessage | Welcome


class BadMessage(ValueError):
    """A message that breaks the protocol; `code` and `reason` close the connection over it."""

    def __init__(self, reason: str, code: int = POLICY_VIOLATION) -> None:
        reason = reason.encode()[:_MAX_REASON].decode(errors="ignore")
        super().__init__(reason)
        self.reason = reason
        self.code = code


def _bad(reason: str) -> NoReturn:
    raise BadMessage(reason)


# Each type: (its class, required members, optional members), members besides `v` and `type`.
_SHAPES: dict[str, tuple[type, tuple[str, ...], tuple[str, ...]]] = {
    "hello": (Hello, (), ("codec", "epoch", "rev")),
    "resync": (Resync, (), ()),
    "event": (Event, ("event",), ("detail",)),
    "patch": (FieldPatch, ("model", "field", "value"), ()),
    "welcome": (Welcome, ("model_type", "epoch", "codec"), ()),
}
_TYPE_OF = {cls: name for name, (cls, _, _) in _SHAPES.items()}
_CLIENT_TYPES = ("hello", "resync", "event", "patch")


def _unique_members(pairs: list[tuple[str, Any]]) -> dict[str, Any]:
    members = dict(pairs)
    if len(members) != len(pairs):
        _bad("a key is given twice")
    return members


def _short_int(digits: str) -> int:
    if len(digits.lstrip("-")) > _MAX_DIGITS:
        _bad("a number has too many digits")
    return int(digits)


def _finite(digits: str) -> float:
    value = float(digits)
    if not math.isfinite(value):
        _bad("a number is out of range")
    return value


def _not_json(name: str) -> NoReturn:
    _bad(f"{name} is not JSON")


def _check_value(value: JsonValue) -> None:
    """Nesting depth and strings (keys included) that UTF-8 can carry, without recursion."""
    stack = [(value, 1)]
    while stack:
        item, depth = stack.pop()
        if isinstance(item, str):
            if not item.isascii():
                try:
                    item.encode()
                except UnicodeEncodeError:
                    _bad("a string holds a lone surrogate")
        elif isinstance(item, (list, dict)):
            if depth > MAX_DEPTH:
                _bad(f"values nest deeper than {MAX_DEPTH} levels")
            if isinstance(item, dict):
                stack.extend((key, depth) for key in item)
                stack.extend((member, depth + 1) for member in item.values())
            else:
                stack.extend((member, depth + 1) for member in item)


def _load(text: str, max_message: int) -> dict[str, Any]:
    if len(text) > max_message:
        _bad(f"message longer than {max_message} characters")
    try:
        value = json.loads(
            text, object_pairs_hook=_unique_members, parse_int=_short_int, parse_float=_finite, parse_constant=_not_json
        )
    except BadMessage:
        raise
    except (ValueError, RecursionError):
        _bad("not a JSON text")
    if not isinstance(value, dict):
        _bad("not a JSON object")
    _check_value(value)
    return value


def _string(members: dict[str, Any], name: str) -> str:
    value = members[name]
    if not isinstance(value, str):
        _bad(f"member `{name}` must be a string")
    return value


def _parse(text: str, types: tuple[str, ...], max_message: int) -> Message:
    members = _load(text, max_message)
    version = members.pop("v", None)
    if type(version) is not int:
        _bad("member `v` must be the protocol version, an integer")
    if version != VERSION:
        _bad(f"unsupported protocol version; this side speaks {VERSION}")
    kind = members.pop("type", None)
    if not isinstance(kind, str):
        _bad("member `type` must be a string")
    if kind not in types:
        _bad(f"unknown message type; expected one of {', '.join(types)}")
    cls, required, optional = _SHAPES[kind]
    for name in required:
        if name not in members:
            _bad(f"{kind}: member `{name}` is missing")
    for name in members:
        if name not in required and name not in optional:
            _bad(f"{kind}: unknown member")
    if kind == "hello":
        return _hello(members)
    if kind in ("event", "patch", "welcome"):
        for name in ("event", "model", "field", "model_type", "epoch", "codec"):
            if name in members:
                _string(members, name)
    return cls(**members)  # type: ignore[no-any-return]


def _hello(members: dict[str, Any]) -> Hello:
    codec = members.get("codec", JSON)
    if codec not in CODECS:
        _bad(f"hello: member `codec` must be one of {', '.join(CODECS)}")
    epoch, rev = members.get("epoch"), members.get("rev")
    if (epoch is None) != (rev is None):
        _bad("hello: members `epoch` and `rev` go together")
    if epoch is not None and not isinstance(epoch, str):
        _bad("hello: member `epoch` must be a string")
    if rev is not None and (type(rev) is not int or not 0 <= rev <= MAX_REV):
        _bad("hello: member `rev` must be an integer from 0 to 2**64-1")
    return Hello(codec, epoch, rev)


def parse_client_message(data: str | bytes, max_message: int = MAX_MESSAGE) -> ClientMessage:
    """The client's message in `data` (a text message); `BadMessage` if it breaks the protocol."""
    if not isinstance(data, str):
        raise BadMessage("clients send text messages only", UNSUPPORTED_DATA)
    return _parse(data, _CLIENT_TYPES, max_message)  # type: ignore[return-value]


def parse_host_message(data: str | bytes, max_message: int = MAX_MESSAGE) -> Welcome:
    """The host's text message in `data`; `BadMessage` if it breaks the protocol."""
    if not isinstance(data, str):
        _bad("expected the host's welcome, a text message")
    return _parse(data, ("welcome",), max_message)  # type: ignore[return-value]


def encode_message(message: Message) -> str:
    """The message as the compact JSON text that goes over the wire."""
    members: dict[str, Any] = {"v": VERSION, "type": _TYPE_OF[type(message)]}
    members.update(
        (name, value) for name, value in vars(message).items() if not (isinstance(message, Hello) and value is None)
    )
    return json.dumps(members, ensure_ascii=False, separators=(",", ":"), allow_nan=False)
