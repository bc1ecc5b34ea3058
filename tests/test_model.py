"""Reading and writing the component model: values, handlers, nodes and bindings.

A tree passes through the typed model on every `apply`, so `apply(tree, EMPTY)` shows how a
tree reads and how it is written back; `diff` shows what the model counts as equal.
"""

import json

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import vorlik

EMPTY = '{"ops":[]}'


def normal(tree):
    return vorlik.apply(tree, EMPTY)


def with_prop(value):
    return '{"tag":"t","props":{"p":%s}}' % value


def with_event(action):
    return '{"tag":"t","events":{"e":%s}}' % action


@pytest.mark.parametrize(
    "given, written",
    [
        ('"Null"', '"Null"'),
        ('{"Null":null}', '"Null"'),
        ('{"Bool":false}', '{"Bool":false}'),
        ('{"Int":-9223372036854775808}', '{"Int":-9223372036854775808}'),
        ('{"Float":1}', '{"Float":1.0}'),
        ('{"Float":-0}', '{"Float":-0.0}'),
        ('{"Float":1e16}', '{"Float":1e+16}'),
        ('{"Float":0.000001}', '{"Float":1e-6}'),
        ('{"Float":0.00001}', '{"Float":0.00001}'),
        ('{"Float":123.456}', '{"Float":123.456}'),
        ('{"Float":1e400}', None),
        (
            '{"Str":"a\\u0000\\b\\t\\n\\f\\r\\u001f\\"\\\\/\\u00e9\\ud83d\\ude00"}',
            '{"Str":"a\\u0000\\b\\t\\n\\f\\r\\u001f\\"\\\\/é😀"}',
        ),
        ('{"List":[{"Int":1},"Null",{"List":[]}]}', '{"List":[{"Int":1},"Null",{"List":[]}]}'),
        ('{"Map":{"b":{"Int":1},"a":{"Int":2},"b":{"Int":3}}}', '{"Map":{"a":{"Int":2},"b":{"Int":3}}}'),
        ('{"Submodel":18446744073709551615}', '{"Submodel":18446744073709551615}'),
        ('{ "I\\u006et" :\n 5 }', '{"Int":5}'),
    ],
)
def test_value_forms(given, written):
    if written is None:
        with pytest.raises(ValueError, match="^number out of range"):
            normal(with_prop(given))
    else:
        assert normal(with_prop(given)) == with_prop(written)


MARK = "‸"


def raises_at(text, description):
    """The text holds MARK where the error is placed; the message must name that place."""
    assert text.count(MARK) == 1
    before, _, _ = text.partition(MARK)
    line = before.count("\n") + 1
    column = len(before.rpartition("\n")[2].encode())
    with pytest.raises(ValueError) as e:
        normal(text.replace(MARK, ""))
    assert str(e.value) == f"{description} at line {line} column {column}"


# Faults at a byte are placed just after it; faults of a value already read just after the
# value; faults found while typing a buffered value at the end of the enclosing container.
@pytest.mark.parametrize(
    "value, description",
    [
        ('"Bool"}‸', "invalid type: unit variant, expected newtype variant"),
        (
            '"null"‸',
            "unknown variant `null`, expected one of `Null`, `Bool`, `Int`, `Float`, `Str`, `List`, `Map`, `Submodel`",
        ),
        ("n‸ull", "expected value"),
        ("[‸]", "expected value"),
        ("{}‸", "expected value"),
        ('{"Int":5‸,"x":1}', "expected value"),
        ("{1‸:2}", "key must be a string"),
        ('{"Int":9223372036854775808‸}', "invalid value: integer `9223372036854775808`, expected i64"),
        ('{"Int":-0‸}', "invalid type: floating point `-0.0`, expected i64"),
        ('{"Int":1.0‸}', "invalid type: floating point `1.0`, expected i64"),
        ('{"Submodel":-1‸}', "invalid value: integer `-1`, expected u64"),
        ('{"Float":null‸}', "invalid type: null, expected f64"),
        ('{"Null":5‸}', "invalid type: integer `5`, expected unit"),
        ('{"Bool":"x\\ny\\"\\t"‸}', 'invalid type: string "x\\ny\\"\\t", expected a boolean'),
        ('{"List":‸{}}', "invalid type: map, expected a sequence"),
        ('{"Map":‸[]}', "invalid type: sequence, expected a map"),
    ],
)
def test_value_errors(value, description):
    raises_at(with_prop(value), description)


def test_value_cut_short():
    with pytest.raises(ValueError, match="^EOF while parsing an object at line 1 column 32$"):
        normal('{"tag":"t","props":{"p":{"Int":5')


@pytest.mark.parametrize(
    "a, b, equal",
    [
        ('{"Int":1}', '{"Float":1.0}', False),
        ('{"Int":1}', '{"Submodel":1}', False),
        ('{"Float":0.0}', '{"Float":-0.0}', True),
        ('{"Map":{"a":"Null","b":"Null"}}', '{"Map":{"b":"Null","a":"Null"}}', True),
        ('{"List":[{"Int":1}]}', '{"List":[{"Int":1},{"Int":1}]}', False),
        ('{"Str":"é"}', '{"Str":"\\u00e9"}', True),
    ],
)
def test_value_equality(a, b, equal):
    assert (vorlik.diff(with_prop(a), with_prop(b)) == EMPTY) is equal


@pytest.mark.parametrize(
    "given, written",
    [
        ('{"kind":"emit","event":"x"}', '{"kind":"emit","event":"x","detail":null}'),
        (
            '{"kind":"call","method":"GET","url":"/a"}',
            '{"kind":"call","method":"GET","url":"/a","body":null,"result":null}',
        ),
        (
            '{"prop":"p","target":{"ref":"this"},"value":{"expr":"lit","value":1},"kind":"set","x":[1]}',
            '{"kind":"set","target":{"ref":"this"},"prop":"p","value":{"expr":"lit","value":1}}',
        ),
        (
            '{"kind":"toggle","target":{"ref":"this","id":"x"},"prop":""}',
            '{"kind":"toggle","target":{"ref":"this"},"prop":""}',
        ),
        (
            '{"kind":"set-field","field":"f","value":{"expr":"lit","value":{"b":[2.50,-0],"a":null,"b":1}}}',
            '{"kind":"set-field","field":"f","value":{"expr":"lit","value":{"a":null,"b":1}}}',
        ),
        (
            '{"kind":"seq","actions":[{"handler":"h","kind":"js"},{"kind":"toggle-field","field":"f"}]}',
            '{"kind":"seq","actions":[{"kind":"js","handler":"h"},{"kind":"toggle-field","field":"f"}]}',
        ),
        (
            '{"kind":"if","cond":{"expr":"not","of":{"expr":"field","name":"b"}},"then":{"kind":"js","handler":"a"},"else":null}',
            '{"kind":"if","cond":{"expr":"not","of":{"expr":"field","name":"b"}},"then":{"kind":"js","handler":"a"},"else":null}',
        ),
        (
            '{"kind":"call","method":"P","url":{"expr":"concat","parts":[{"expr":"lit","value":"/"}]},'
            '"body":{"expr":"obj","fields":{"b":{"expr":"event"},"a":{"expr":"prop","target":{"ref":"id","id":"i"},"name":"n"}}},"result":"r"}',
            '{"kind":"call","method":"P","url":{"expr":"concat","parts":[{"expr":"lit","value":"/"}]},'
            '"body":{"expr":"obj","fields":{"a":{"expr":"prop","target":{"ref":"id","id":"i"},"name":"n"},"b":{"expr":"event"}}},"result":"r"}',
        ),
        (
            '{"kind":"patch","model":"m","field":"f","value":{"expr":"event","extra":1}}',
            '{"kind":"patch","model":"m","field":"f","value":{"expr":"event"}}',
        ),
        # The array form and numbered variants are accepted as well.
        ('["toggle",["id","i"],"p"]', '{"kind":"toggle","target":{"ref":"id","id":"i"},"prop":"p"}'),
        (
            '{"kind":"seq","actions":[[9,"a"],{"kind":3,"field":"f"}]}',
            '{"kind":"seq","actions":[{"kind":"js","handler":"a"},{"kind":"toggle-field","field":"f"}]}',
        ),
    ],
)
def test_action_forms(given, written):
    assert normal(with_event(given)) == with_event(written)


@pytest.mark.parametrize(
    "action, description",
    [
        ('"x"‸', 'invalid type: string "x", expected internally tagged enum Action'),
        ('{"event":"e"}‸', "missing field `kind`"),
        ('{"kind":"emit","kind"‸:"emit","event":"e"}', "duplicate field `kind`"),
        (
            '{"kind":"Set"‸}',
            "unknown variant `Set`, expected one of `set`, `toggle`, `set-field`, "
            "`toggle-field`, `seq`, `emit`, `patch`, `if`, `call`, `js`",
        ),
        ('{"kind":5‸}', "invalid type: integer `5`, expected variant identifier"),
        ('{"kind":"toggle","target":{"ref":"x"},"prop":"p"}‸‸', "unknown variant `x`, expected `this` or `id`"),
        ('{"kind":"toggle","target":{"ref":"id"},"prop":"p"}‸‸', "missing field `id`"),
        ('{"kind":"set-field","field":"f","value":{"expr":"lit"}}‸‸', "missing field `value`"),
        ('{"kind":"js","handler":null}‸‸', "invalid type: null, expected a string"),
        ('{"kind":"js","handler":"a","handler":"b"}‸‸', "duplicate field `handler`"),
        ('{"kind":"call","method":"GET","url":7}‸‸', "data did not match any variant of untagged enum EndpointUrl"),
        ('{"kind":"seq","actions":{}}‸‸', "invalid type: map, expected a sequence"),
        ('{"kind":"emit","event":"e","x":1e400‸}', "number out of range"),
    ],
)
def test_action_errors(action, description):
    # "‸‸": errors found while typing the buffered handler, placed after the events map.
    text = with_event(action.replace("‸‸", ""))
    if "‸‸" in action:
        text = text[:-1] + MARK + "}"
    raises_at(text, description)


def test_action_equality_is_structural():
    lit = '{"kind":"set-field","field":"f","value":{"expr":"lit","value":%s}}'
    assert vorlik.diff(with_event(lit % "1"), with_event(lit % "1.0")) != EMPTY
    assert vorlik.diff(with_event(lit % '{"a":1,"b":2}'), with_event(lit % '{"b":2,"a":1}')) == EMPTY
    obj = '{"kind":"emit","event":"e","detail":{"expr":"obj","fields":%s}}'
    assert (
        vorlik.diff(
            with_event(obj % '{"a":{"expr":"event"},"b":{"expr":"event"}}'),
            with_event(obj % '{"b":{"expr":"event"},"a":{"expr":"event"}}'),
        )
        == EMPTY
    )
    url = '{"kind":"call","method":"G","url":%s}'
    assert vorlik.diff(with_event(url % '"/a"'), with_event(url % '{"expr":"lit","value":"/a"}')) != EMPTY


@pytest.mark.parametrize(
    "given, written",
    [
        ('{"tag":"div","key":null,"props":{},"slots":{},"events":{},"bindings":{}}', '{"tag":"div"}'),
        (
            '{"bindings":{},"tag":"x","props":{"b":{"Int":1},"a":"Null"}}',
            '{"tag":"x","props":{"a":"Null","b":{"Int":1}}}',
        ),
        ('{"tag":"a","extra":[1,{"x":null}],"more":"\\ud800"}', '{"tag":"a"}'),
        (
            '{"tag":"ul","slots":{"items":[{"tag":"li"},["li","2"]],"empty":[]}}',
            '{"tag":"ul","slots":{"empty":[],"items":[{"tag":"li"},{"tag":"li","key":"2"}]}}',
        ),
        ('["div"]', '{"tag":"div"}'),
        (
            '["div",null,{"p":"Null"},{},{},{"v":["f",null,"one-way"]}]',
            '{"tag":"div","props":{"p":"Null"},"bindings":{"v":{"field":"f","mode":"one-way"}}}',
        ),
        (
            '{"tag":"x","bindings":{"v":{"field":"n","mode":"two-way","compute":null}}}',
            '{"tag":"x","bindings":{"v":{"field":"n","mode":"two-way"}}}',
        ),
        (
            '{"tag":"x","bindings":{"v":{"mode":{"one-way":null},"compute":{"b":1,"a":[true,2.50]}}}}',
            '{"tag":"x","bindings":{"v":{"compute":{"a":[true,2.5],"b":1},"mode":"one-way"}}}',
        ),
        ('{"tag":"x","props":{"a":{"Int":1},"a":{"Int":2}}}', '{"tag":"x","props":{"a":{"Int":2}}}'),
        (' \t\r\n{"tag":"x"} \n', '{"tag":"x"}'),
    ],
)
def test_node_forms(given, written):
    assert normal(given) == written


@pytest.mark.parametrize(
    "tree, description",
    [
        ("‸", "EOF while parsing a value"),
        ("{}‸", "missing field `tag`"),
        ('{"tag":"a","tag"‸:"b"}', "duplicate field `tag`"),
        ('{"tag":"a","key":null,"key"‸:"k"}', "duplicate field `key`"),
        ("[]‸", "invalid length 0, expected struct Node with 6 elements"),
        ('["div",null,{},{},{},{},0‸]', "trailing characters"),
        ('["div",]‸', "trailing comma"),
        ('{"tag":"x"}x‸', "trailing characters"),
        ('{"tag":"x"\n,"props":null‸}', "invalid type: null, expected a map"),
        ('{"tag":"x","slots":{"s":‸{}}}', "invalid type: map, expected a sequence"),
        ('{"tag":"x","slots":{"s":[1‸]}}', "invalid type: integer `1`, expected struct Node"),
        ('{"tag":"x","bindings":{"v":{"field":"n"}‸}}', "missing field `mode`"),
        ('{"tag":"x","bindings":{"v":[]‸}}', "invalid length 2, expected struct Binding with 3 elements"),
        ('{"tag":"x","bindings":{"v":{"mode":"both"‸}}}', "unknown variant `both`, expected `one-way` or `two-way`"),
        ('{"tag":"x","bindings":{"v":{"mode":1‸}}}', "expected value"),
        ('{"tag":"x\\q‸"}', "invalid escape"),
        ('{"tag":"\\ud800"‸}', "unexpected end of hex escape"),
        ('{"tag":"\\udc00‸"}', "lone leading surrogate in hex escape"),
        ('{"tag":"\\u12"‸}', "invalid escape"),
        ('{"tag":"a\x01‸"}', "control character (\\u0000-\\u001F) found while parsing a string"),
        ('{"tag":tru}‸', "expected ident"),
        ('{"tag":01‸}', "invalid number"),
        ('{"tag" "‸x"}', "expected `:`"),
        ('{"tag":"x" "‸y"}', "expected `,` or `}`"),
        ('{"tag":"x",}‸', "trailing comma"),
        ('{"tag":"x","e":[1,]‸}', "expected value"),
    ],
)
def test_node_errors(tree, description):
    raises_at(tree, description)


def nested(depth, inner="1"):
    return "[" * depth + inner + "]" * depth


@pytest.mark.parametrize("arrays, ok", [(124, True), (125, False)])
def test_nesting_limit_counts_open_arrays_and_objects(arrays, ok):
    # The node, its bindings map and the binding are three open objects: 124 arrays inside make
    # the 127 that may be open at once, one more is refused where its bracket stands.
    tree = '{"tag":"x","bindings":{"v":{"mode":"one-way","compute":%s}}}' % nested(arrays)
    if ok:
        assert nested(arrays) in normal(tree)
    else:
        column = tree.index("[") + 125
        with pytest.raises(ValueError, match=f"^recursion limit exceeded at line 1 column {column}$"):
            normal(tree)


def test_skipped_values_are_not_limited_in_depth():
    assert normal('{"tag":"x","extra":%s}' % nested(5000)) == '{"tag":"x"}'


# --- Handlers read either way ------------------------------------------------------------------
# A handler with its tag first is typed as it is read; with the tag elsewhere it is buffered
# first. Both ways must give the same handler.

names = st.sampled_from(["", "a", "é", "x\n"])
literals = st.recursive(
    st.one_of(
        st.none(),
        st.booleans(),
        st.integers(-(2**63), 2**64 - 1),
        st.floats(allow_nan=False, allow_infinity=False),
        st.text(max_size=3),
    ),
    lambda inner: st.one_of(st.lists(inner, max_size=2), st.dictionaries(st.text(max_size=2), inner, max_size=2)),
    max_leaves=4,
)
refs = st.one_of(st.just({"ref": "this"}), st.builds(lambda i: {"ref": "id", "id": i}, names))
exprs = st.recursive(
    st.one_of(
        st.builds(lambda v: {"expr": "lit", "value": v}, literals),
        st.just({"expr": "event"}),
        st.builds(lambda t, n: {"expr": "prop", "target": t, "name": n}, refs, names),
        st.builds(lambda n: {"expr": "field", "name": n}, names),
    ),
    lambda inner: st.one_of(
        st.builds(lambda e: {"expr": "not", "of": e}, inner),
        st.dictionaries(names, inner, max_size=2).map(lambda f: {"expr": "obj", "fields": f}),
        st.lists(inner, max_size=2).map(lambda p: {"expr": "concat", "parts": p}),
    ),
    max_leaves=4,
)
optional_exprs = st.one_of(st.none(), exprs)
handlers = st.recursive(
    st.one_of(
        st.builds(lambda t, p, v: {"kind": "set", "target": t, "prop": p, "value": v}, refs, names, exprs),
        st.builds(lambda t, p: {"kind": "toggle", "target": t, "prop": p}, refs, names),
        st.builds(lambda f, v: {"kind": "set-field", "field": f, "value": v}, names, exprs),
        st.builds(lambda f: {"kind": "toggle-field", "field": f}, names),
        st.builds(lambda e, d: {"kind": "emit", "event": e, "detail": d}, names, optional_exprs),
        st.builds(lambda m, f, v: {"kind": "patch", "model": m, "field": f, "value": v}, names, names, exprs),
        st.builds(
            lambda m, u, b, r: {"kind": "call", "method": m, "url": u, "body": b, "result": r},
            names,
            st.one_of(names, exprs),
            optional_exprs,
            st.one_of(st.none(), names),
        ),
        st.builds(lambda h: {"kind": "js", "handler": h}, names),
    ),
    lambda inner: st.one_of(
        st.lists(inner, max_size=2).map(lambda a: {"kind": "seq", "actions": a}),
        st.builds(
            lambda c, t, e: {"kind": "if", "cond": c, "then": t, "else": e}, exprs, inner, st.one_of(st.none(), inner)
        ),
    ),
    max_leaves=4,
)


def tag_last(value):
    """The same handler with every tag moved behind the other members."""
    if isinstance(value, list):
        return [tag_last(v) for v in value]
    if not isinstance(value, dict):
        return value
    tags = [k for k in ("kind", "expr", "ref") if k in value and isinstance(value[k], str)]
    if value.get("expr") == "lit":
        return {"value": value["value"], "expr": "lit"}
    rest = {k: tag_last(v) for k, v in value.items() if k not in tags}
    return {**rest, **{k: value[k] for k in tags}}


@settings(max_examples=300, deadline=None)
@given(handlers)
def test_a_handler_reads_the_same_whatever_its_member_order(handler):
    first = normal(with_event(json.dumps(handler)))
    last = normal(with_event(json.dumps(tag_last(handler))))
    assert first == last
    assert normal(first) == first
