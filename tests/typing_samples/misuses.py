"""Each line marked "error" misuses the module; mypy --strict must report exactly those lines."""

import vorlik

vorlik.diff('{"tag":"a"}')  # error: missing argument
vorlik.diff(1, '{"tag":"a"}')  # error: not a str
vorlik.diff(old="{}", other="{}")  # error: unknown keyword
vorlik.apply(b"{}", "{}")  # error: bytes for str
vorlik.parse_cem(None)  # error: None for str
vorlik.encode_frame("{}", "m", "patch", 1.5, "application/json")  # error: float rev
vorlik.encode_frame("{}", "m", "patch", "1", "application/json")  # error: str rev
vorlik.encode_frame("{}", "m", "patch", 1)  # error: missing codec
vorlik.encode_frame("{}", "m", "Patch", 1, "application/json")  # error: no such kind
vorlik.encode_frame("{}", "m", "patch", 1, "application/cbor")  # error: no such codec
any_text: str = "patch"
vorlik.encode_frame("{}", "m", any_text, 1, "application/json")  # error: a str may be any kind
vorlik.decode_frame("frame")  # error: str for bytes
vorlik.decode_frame(bytearray(b""))  # error: bytearray for bytes (with --strict-bytes)
frame: str = vorlik.encode_frame("{}", "m", "patch", 1, "application/json")  # error: bytes result
length: int = vorlik.decode_frame(b"")  # error: str result
vorlik.Example()  # error: missing value
vorlik.Example("a").value  # noqa: B018  # error: no attribute


class Sub(vorlik.Example):  # error: final class
    pass
