"""Native core of a server-driven component UI: tree diff and patch, frames, component schemas.

Every argument is required and may be given by position or by keyword. Text arguments must be
`str` (or a subclass), `frame` must be `bytes` (or a subclass; `bytearray` and `memoryview` are
refused). Results are compact JSON text, with map keys in ascending byte order and record
members in their fixed order.

Argument errors raise `TypeError` ("diff() missing 1 required positional argument: 'new'",
"'int' object is not an instance of 'str'") or the interpreter's own `UnicodeEncodeError` for a
`str` holding a lone surrogate; from Python 3.11 on, a conversion error carries the note
"while processing '<name>'".
Input the core cannot process raises `ValueError` whose only argument is the message, for JSON
"<description> at line <l> column <c>" (for example "EOF while parsing a value at line 1
column 0"). JSON input may nest at most 127 arrays and objects.
"""

from typing import Literal, SupportsIndex, final

__all__ = ["Example", "diff", "apply", "parse_cem", "encode_frame", "decode_frame"]

__version__: str

@final
class Example:
    """Holds one text value and shows it: `str(e)` is the value, `repr(e)` is "Example<value>".

    Cannot be subclassed, has no attributes (no `value`, no `__dict__`) and compares by
    identity.

    Raises:
        TypeError: `value` missing, given twice or not a `str` ("'int' object is not an
            instance of 'str'", with the note "while processing 'value'").
        UnicodeEncodeError: `value` holds a lone surrogate.
    """

    def __new__(cls, value: str) -> Example: ...

def diff(old: str, new: str) -> str:
    """The patch that turns the component tree `old` into `new`.

    Args:
        old: a component tree as JSON text, for example
            '{"tag":"ul","slots":{"items":[{"tag":"li","key":"a"}]}}'; a node may also be
            given as the array of its fields in order.
        new: the tree to reach, in the same form.

    Returns:
        The patch as JSON text, '{"ops":[...]}'; '{"ops":[]}' when the trees are equal.

    Raises:
        ValueError: either text is not a component tree; `old` is read entirely first, so
            when both are faulty the message describes `old`.
        TypeError, UnicodeEncodeError: see the module's documentation.
    """

def apply(root: str, patch: str) -> str:
    """The component tree `root` with the operations of `patch` replayed in order.

    Args:
        root: a component tree as JSON text.
        patch: a patch as JSON text, as `diff` returns it: '{"ops":[...]}'.

    Returns:
        The resulting tree as JSON text in its normal form (the form `diff` reads, with
        defaults left out and maps sorted).

    Raises:
        ValueError: either text cannot be read, or the patch does not fit the tree (for
            example "index out of bounds: the len is 1 but the index is 3"); nothing is
            returned half-applied.
        TypeError, UnicodeEncodeError: see the module's documentation.
    """

def parse_cem(manifest: str) -> str:
    """The component schemas of a `custom-elements.json` manifest.

    Args:
        manifest: the manifest as JSON text: '{"modules":[{"declarations":[...]}]}'; only
            declarations with "customElement": true and a "tagName" become components.

    Returns:
        A JSON array with one object per component, members in this order: "tag_name",
        "class_name" ("my-button" gives "MyButton"), "summary" (left out when absent),
        "props" (objects with "name", "ty", "default", "doc"; the last two left out when
        absent; "ty" is "Bool", "Str", "Number", "Any", {"Enum":[...]} or
        {"Optional":...}), "events" and "slots" (arrays of names). '[]' when there is none.

    Raises:
        ValueError: the text is not JSON or does not have the manifest's shape.
        TypeError, UnicodeEncodeError: see the module's documentation.
    """

def encode_frame(
    payload: str,
    model_type: str,
    kind: Literal["snapshot", "patch"],
    rev: SupportsIndex,
    codec: Literal["application/json", "application/msgpack"],
) -> bytes:
    """A frame carrying `payload`: a 4-byte big-endian header length, the JSON header, a 4-byte
    big-endian payload length and the payload.

    Args:
        payload: a component tree (kind "snapshot") or a patch (kind "patch") as JSON text.
        model_type: any text naming the model; carried in the header.
        kind: "snapshot" or "patch", exactly.
        rev: the revision, an `int` (or any object with `__index__`; `True` is 1) from 0 to
            2**64 - 1.
        codec: "application/json" (the payload text is carried as it is, not checked) or
            "application/msgpack" (the payload is parsed and carried as one MessagePack value).

    Returns:
        The frame bytes.

    Raises:
        ValueError: "unknown codec: <codec>", then (MessagePack only) the JSON reader's message
            for a payload that is not JSON, then "unknown frame kind: <kind>", in this order of
            checking; a header or payload too large for the 32-bit length fields.
        OverflowError: `rev` is negative or above 2**64 - 1.
        TypeError: `rev` has no `__index__` (a `float` is refused); see also the module's
            documentation.
        UnicodeEncodeError: see the module's documentation.
    """

def decode_frame(frame: bytes) -> str:
    """The header and payload of one frame, as a JSON object text.

    Args:
        frame: the frame bytes; bytes after the first frame are ignored. Must be `bytes`:
            convert a `bytearray` or `memoryview` with `bytes(...)` first.

    Returns:
        '{"kind":...,"model_type":...,"payload":...,"rev":...}' with the keys in that order:
        "kind" is "snapshot" or "patch", "rev" an integer, and "payload" the payload as a JSON
        value (not a string), its objects re-sorted by key.

    Raises:
        ValueError: "truncated frame"; "bad frame header: " and the JSON reader's message;
            "unknown codec: <codec>"; a JSON payload that is not UTF-8 ("invalid utf-8 sequence
            of 1 bytes from index 0") or not JSON; a MessagePack payload that cannot be decoded
            ("IO error while reading marker: ...").
        TypeError: `frame` is not `bytes`, or the arguments do not bind.
    """
