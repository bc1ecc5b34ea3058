"""Module layout, argument binding and conversion of the five functions."""

import collections
import importlib.util
import os
import subprocess
import sys

import pytest

import vorlik

PARAMS = {
    "diff": ("old", "new"),
    "apply": ("root", "patch"),
    "parse_cem": ("manifest",),
    "encode_frame": ("payload", "model_type", "kind", "rev", "codec"),
    "decode_frame": ("frame",),
}
FUNCS = list(PARAMS)
# Arguments that convert cleanly; the core may still refuse them.
GOOD = dict(
    old="{}",
    new="{}",
    root="{}",
    patch="{}",
    manifest="{}",
    payload="{}",
    model_type="m",
    kind="snapshot",
    rev=1,
    codec="application/json",
    frame=b"",
)
DOCS = {
    "diff": "Diff two JSON-encoded component trees, returning the JSON-encoded patch.\n\nThin wrapper over "
    "the shared core (`vorlik::diff_json`); the same code runs in the wasm binding.",
    "apply": "Apply a JSON-encoded patch to a JSON-encoded tree, returning the JSON-encoded result.",
    "parse_cem": "Parse a `custom-elements.json` manifest into the JSON-encoded list of component schemas.",
    "encode_frame": "Frame a JSON-encoded tree/patch into belvane' length-prefixed envelope bytes.\n\n`kind` is "
    '`"snapshot"` or `"patch"`; `codec` is `"application/json"` or `"application/msgpack"`.',
    "decode_frame": 'Decode one frame back to a `{"model_type","kind","rev","payload"}` JSON string.',
}


def args_for(name):
    return [GOOD[p] for p in PARAMS[name]]


def outcome(fn, *args, **kwargs):
    """The result, or the core's ValueError; any conversion error propagates."""
    try:
        return fn(*args, **kwargs)
    except ValueError as e:
        assert type(e) is ValueError and len(e.args) == 1 and not hasattr(e, "__notes__")
        return e.args


def raises(exc_type, message, fn, *args, note=None, **kwargs):
    with pytest.raises(exc_type) as info:
        fn(*args, **kwargs)
    assert message is None or str(info.value) == message
    # Interpreters before 3.11 have no add_note: the exception is raised without the note.
    if not hasattr(BaseException, "add_note"):
        note = None
    assert getattr(info.value, "__notes__", None) == (note and [f"while processing '{note}'"])


def test_module_attributes():
    assert vorlik.__all__ == ["Example", "diff", "apply", "parse_cem", "encode_frame", "decode_frame"]
    assert vorlik.__doc__ == ""
    assert [k for k in vars(vorlik) if k in vorlik.__all__] == vorlik.__all__
    # A second module object runs its own exec step but shares the one class object.
    found = importlib.util.find_spec("vorlik")
    other = importlib.util.module_from_spec(found)
    found.loader.exec_module(other)
    assert other.Example is vorlik.Example and other.diff.__self__ is other
    assert other.__all__ == vorlik.__all__ and other.__all__ is not vorlik.__all__


@pytest.mark.parametrize("name", FUNCS)
def test_function_metadata(name):
    fn = getattr(vorlik, name)
    assert (fn.__name__, fn.__module__, fn.__self__) == (name, "vorlik", vorlik)
    assert fn.__doc__ == DOCS[name]
    assert fn.__text_signature__ == "(" + ", ".join(PARAMS[name]) + ")"


@pytest.mark.parametrize("name", FUNCS)
def test_binding(name):
    fn, args, params = getattr(vorlik, name), args_for(name), PARAMS[name]
    kwargs = dict(zip(params, args))
    assert outcome(fn, **kwargs) == outcome(fn, *args)
    assert outcome(fn, **dict(reversed(kwargs.items()))) == outcome(fn, *args)
    n = len(params)
    raises(TypeError, f"{name}() takes {n} positional arguments but {n + 1} were given", fn, *args, "x")
    raises(TypeError, f"{name}() got an unexpected keyword argument 'bogus'", fn, *args, bogus=1)
    raises(TypeError, f"{name}() got multiple values for argument '{params[0]}'", fn, *args, **{params[0]: 1})
    outcome(fn, *[Str(a) if type(a) is str else Bytes(a) if type(a) is bytes else a for a in args])


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: vorlik.diff("a"), "diff() missing 1 required positional argument: 'new'"),
        (lambda: vorlik.diff(new="a"), "diff() missing 1 required positional argument: 'old'"),
        (lambda: vorlik.apply(), "apply() missing 2 required positional arguments: 'root' and 'patch'"),
        (lambda: vorlik.decode_frame(), "decode_frame() missing 1 required positional argument: 'frame'"),
        (
            lambda: vorlik.encode_frame(),
            "encode_frame() missing 5 required positional arguments: "
            "'payload', 'model_type', 'kind', 'rev', and 'codec'",
        ),
        (
            lambda: vorlik.encode_frame("p", codec="c"),
            "encode_frame() missing 3 required positional arguments: 'model_type', 'kind', and 'rev'",
        ),
        # Positional overflow first, then keywords in the order given, then missing ones; all
        # before any conversion.
        (lambda: vorlik.diff("a", "b", "c", bogus=1), "diff() takes 2 positional arguments but 3 were given"),
        (lambda: vorlik.diff("a", bogus=1, old="b"), "diff() got an unexpected keyword argument 'bogus'"),
        (lambda: vorlik.diff("a", old="b", bogus=1), "diff() got multiple values for argument 'old'"),
        (lambda: vorlik.diff(1, **{"\u00e9": 1}), "diff() got an unexpected keyword argument '\u00e9'"),
        (lambda: vorlik.diff(1), "diff() missing 1 required positional argument: 'new'"),
    ],
)
def test_binding_messages(call, message):
    raises(TypeError, message, call)


class Str(str):
    pass


class Bytes(bytes):
    pass


class Index:
    def __init__(self, value):
        self.value, self.calls = value, 0

    def __index__(self):
        self.calls += 1
        return self.value


class Boom:
    def __index__(self):
        raise KeyError("boom")


@pytest.mark.parametrize(
    "name, index, param", [(n, i, p) for n in FUNCS for i, p in enumerate(PARAMS[n]) if p not in ("rev", "frame")]
)
@pytest.mark.parametrize(
    "bad, exc, message",
    [
        (1, TypeError, "'int' object is not an instance of 'str'"),
        (None, TypeError, "'None' is not an instance of 'str'"),
        (b"{}", TypeError, "'bytes' object is not an instance of 'str'"),
        ("\ud800", UnicodeEncodeError, None),
    ],
)
def test_text_conversion_errors(name, index, param, bad, exc, message):
    args = args_for(name)
    args[index] = bad
    raises(exc, message, getattr(vorlik, name), *args, note=param)


class ShadowsName(type):
    __name__ = property(lambda cls: "Impostor")


class Renamed:
    pass


Renamed.__name__ = "x.y.Renamed"


# The type's own name up to its last dot, however the type was made or renamed, and whatever a
# metaclass pretends.
@pytest.mark.parametrize(
    "bad, shown",
    [
        (type("a.b", (), {})(), "b"),
        (type("\u00e9.\u00fc", (), {})(), "\u00fc"),
        (Renamed(), "Renamed"),
        (ShadowsName("Real", (), {})(), "Real"),
        (collections.OrderedDict(), "OrderedDict"),
        (vorlik.Example("x"), "Example"),
    ],
)
def test_type_names_in_messages(bad, shown):
    raises(TypeError, f"'{shown}' object is not an instance of 'str'", vorlik.diff, bad, "{}", note="old")


@pytest.mark.parametrize(
    "bad, message",
    [
        (bytearray(b"x"), "'bytearray' object is not an instance of 'bytes'"),
        (memoryview(b"x"), "'memoryview' object is not an instance of 'bytes'"),
    ],
)
def test_frame_must_be_bytes(bad, message):
    raises(TypeError, message, vorlik.decode_frame, bad, note="frame")


def encode(rev):
    return vorlik.encode_frame("{}", "m", "snapshot", rev, "application/json")


@pytest.mark.parametrize("rev, same", [(0, 0), (2**64 - 1, 2**64 - 1), (True, 1), (Index(9), 9)])
def test_rev_accepted(rev, same):
    assert outcome(encode, rev) == outcome(encode, same)


@pytest.mark.parametrize(
    "rev, exc",
    [
        (-1, OverflowError),
        (2**64, OverflowError),
        (Index(-1), OverflowError),
        (Index(2**64), OverflowError),
        (1.0, TypeError),
        ("1", TypeError),
        (None, TypeError),
        (Boom(), KeyError),
    ],
)
def test_rev_refused(rev, exc):
    raises(exc, None, encode, rev, note="rev")


def test_conversion_stops_at_first_failure():
    spy = Index(1)
    raises(TypeError, None, vorlik.encode_frame, 1, "m", "k", spy, 2, note="payload")
    assert spy.calls == 0
    raises(OverflowError, None, vorlik.encode_frame, "{}", "m", "k", -1, 2, note="rev")


@pytest.mark.parametrize("name", FUNCS)
def test_no_reference_leaks(name):
    fn, args = getattr(vorlik, name), args_for(name)
    probe, bad = (Bytes(b"p") if name == "decode_frame" else Str("p")), object()
    calls = [
        lambda: outcome(fn, probe, *args[1:]),
        lambda: fn(*args, probe),
        lambda: fn(*args[:-1], **{PARAMS[name][-1]: probe, "bogus": bad}),
        lambda: fn(probe, bad, *args[2:]),
    ]
    before = sys.getrefcount(probe), sys.getrefcount(bad)
    for _ in range(50):
        for call in calls:
            try:
                call()
            except TypeError:
                pass
    assert (sys.getrefcount(probe), sys.getrefcount(bad)) == before


@pytest.mark.skipif(
    os.environ.get("VORLIK_SANITIZED") == "1", reason="the sanitizers reserve address space of their own"
)
@pytest.mark.skipif(
    os.environ.get("VORLIK_EMULATED") == "1", reason="under qemu an address-space limit does not bind the guest"
)
@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc/self/statm")
@pytest.mark.parametrize("call", ["diff(tree, tree)", "apply(tree, '{\"ops\":[]}')"])
def test_running_out_of_memory_is_memory_error(call):
    # An address-space limit a little above what the interpreter holds: the core's allocations
    # for a tree of a million nodes fail, the call raises MemoryError (no ValueError, no crash),
    # and the interpreter goes on working once the limit is lifted.
    code = f"""
import os, resource, vorlik
tree = '{{"tag":"r","slots":{{"s":[' + ",".join(['{{"tag":"x"}}'] * 1_000_000) + ']}}}}'
with open("/proc/self/statm") as statm:
    held = int(statm.read().split()[0]) * os.sysconf("SC_PAGE_SIZE")
soft, hard = resource.getrlimit(resource.RLIMIT_AS)
resource.setrlimit(resource.RLIMIT_AS, (held + (48 << 20), hard))
try:
    vorlik.{call}
    print("no error")
except MemoryError as e:
    print(type(e).__name__, e.args)
resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
print(vorlik.diff('{{"tag":"a"}}', '{{"tag":"b"}}'))
"""
    done = subprocess.run(
        [sys.executable, "-c", code],
        capture_output=True,
        text=True,
        timeout=120,
        env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)),
    )
    assert done.returncode == 0, done.stderr[-2000:]
    assert done.stdout.splitlines() == ["MemoryError ()", '{"ops":[{"Replace":{"path":[],"node":{"tag":"b"}}}]}']
