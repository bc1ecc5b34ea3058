"""Indenting vorlik's compact JSON without re-reading its numbers or strings."""

from __future__ import annotations

_CLOSER = {"{": "}", "[": "]"}


def indent(compact: str, width: int = 2) -> str:
    """Lay out compact JSON text one member or element a line; tokens stay byte for byte."""
    out: list[str] = []
    depth = 0
    in_string = escaped = False
    i, n = 0, len(compact)
    while i < n:
        c = compact[i]
        if in_string:
            out.append(c)
            if escaped:
                escaped = False
            elif c == "\\":
                escaped = True
            elif c == '"':
                in_string = False
        elif c == '"':
            in_string = True
            out.append(c)
        elif c in _CLOSER:
            if i + 1 < n and compact[i + 1] == _CLOSER[c]:
                out.append(c + _CLOSER[c])
                i += 1
            else:
                depth += 1
                out.append(c + "\n" + " " * (depth * width))
        elif c in "}]":
            depth -= 1
            out.append("\n" + " " * (depth * width) + c)
        elif c == ",":
            out.append(",\n" + " " * (depth * width))
        elif c == ":":
            out.append(": ")
        else:
            out.append(c)
        i += 1
    return "".join(out)
