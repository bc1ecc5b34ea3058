"""The tree builder: its text is vorlik's normal form, reads back to the same tree, and every
refusal names its place in the tree."""

import collections
import enum
import json
import math
import struct
import types

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import vorlik
from vorlik_tree import (
    Binding,
    CallEndpoint,
    Concat,
    Emit,
    Event,
    Field,
    Id,
    If,
    Lit,
    NamedJs,
    Node,
    Not,
    Obj,
    Prop,
    SendPatch,
    Seq,
    SetField,
    SetProp,
    Submodel,
    This,
    Toggle,
    ToggleField,
    normalize,
)
from vorlik_tree.write import LIMIT, float_text

NO_OPS = '{"ops":[]}'
I64, U64 = 2**63, 2**64

# ---- strategies: plain Python values and builder objects

texts = st.text(st.characters(blacklist_categories=("Cs",)), max_size=8)
keys = st.text(st.characters(blacklist_categories=("Cs",)), max_size=4)
ints = st.integers(-I64, I64 - 1) | st.sampled_from([-I64, I64 - 1, 0, -1])
floats = st.floats(allow_nan=False, allow_infinity=False) | st.sampled_from(
    [1e-5, 9.999999999999999e-6, 1e-6, 1e15, 1e16, 9999999999999998.0, 5e-324, 1.7976931348623157e308, -0.0, 0.1]
)
scalars = st.none() | st.booleans() | ints | floats | texts | st.integers(0, U64 - 1).map(Submodel)
values = st.recursive(
    scalars,
    lambda inner: st.lists(inner, max_size=4) | st.tuples(inner, inner) | st.dictionaries(keys, inner, max_size=4),
    max_leaves=12,
)
json_values = st.recursive(
    st.none() | st.booleans() | st.integers(-I64, U64 - 1) | floats | texts,
    lambda inner: st.lists(inner, max_size=3) | st.dictionaries(keys, inner, max_size=3),
    max_leaves=8,
)
refs = st.just(This()) | st.builds(Id, texts)


def _exprs(inner):
    return (
        st.builds(Not, inner)
        | st.builds(Prop, refs, texts)
        | st.builds(Obj, st.dictionaries(keys, inner, max_size=3))
        | st.builds(Concat, st.lists(inner, max_size=3))
    )


exprs = st.recursive(st.builds(Lit, json_values) | st.just(Event()) | st.builds(Field, texts), _exprs, max_leaves=6)
opt_exprs = st.none() | exprs
leaf_actions = (
    st.builds(SetProp, refs, texts, exprs)
    | st.builds(Toggle, refs, texts)
    | st.builds(SetField, texts, exprs)
    | st.builds(ToggleField, texts)
    | st.builds(Emit, texts, opt_exprs)
    | st.builds(SendPatch, texts, texts, exprs)
    | st.builds(NamedJs, texts)
    | st.builds(CallEndpoint, texts, texts | exprs, opt_exprs, st.none() | texts)
)
actions = st.recursive(
    leaf_actions,
    lambda inner: st.builds(Seq, st.lists(inner, max_size=3)) | st.builds(If, exprs, inner, st.none() | inner),
    max_leaves=5,
)
bindings = st.builds(Binding, st.sampled_from(["one-way", "two-way"]), st.none() | texts, json_values)


def _nodes(children):
    kids = st.just([]) if children is None else st.lists(children, max_size=3)
    return st.builds(
        Node,
        texts,
        st.none() | texts,
        props=st.none() | st.dictionaries(keys, values, max_size=4),
        slots=st.none() | st.dictionaries(keys, kids, max_size=2),
        events=st.none() | st.dictionaries(keys, actions, max_size=2),
        bindings=st.none() | st.dictionaries(keys, bindings, max_size=2),
    )


trees = st.recursive(_nodes(None), _nodes, max_leaves=6)


def same(a, b):
    """Equal as the tree form sees them: kinds apart (1, 1.0 and True differ), lists and tuples alike."""
    if isinstance(a, (list, tuple)) and isinstance(b, (list, tuple)):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, dict) and isinstance(b, dict):
        return a.keys() == b.keys() and all(same(a[k], b[k]) for k in a)
    if type(a) is not type(b):
        return False
    return math.copysign(1, a) == math.copysign(1, b) and a == b if type(a) is float else a == b


# ---- the text is the normal form, and reads back


@settings(max_examples=300, deadline=None)
@given(trees)
def test_text_is_vorliks_normal_form_and_reads_back(tree):
    text = tree.to_json()
    assert vorlik.apply(text, NO_OPS) == text
    back = Node.from_json(text)
    assert back.to_json() == text and back == tree
    assert same(back.props or {}, tree.props or {})


@settings(max_examples=300, deadline=None)
@given(values)
def test_values_are_tagged_as_the_tree_form_wants(value):
    text = Node("x", props={"v": value}).to_json()
    assert vorlik.apply(text, NO_OPS) == text
    assert same(Node.from_json(text).props["v"], value)


def _vorlik_float(x):
    return json.loads(vorlik.apply('{"tag":"x","props":{"f":{"Float":%s}}}' % repr(x), NO_OPS))


@settings(max_examples=2000, deadline=None)
@given(st.integers(0, U64 - 1))
def test_floats_have_vorliks_digits_and_layout(bits):
    x = struct.unpack("<d", struct.pack("<Q", bits))[0]
    if not math.isfinite(x):
        return
    text = vorlik.apply('{"tag":"x","props":{"f":{"Float":%s}}}' % repr(x), NO_OPS)
    assert text == '{"tag":"x","props":{"f":{"Float":%s}}}' % float_text(x)


@pytest.mark.parametrize(
    "x, text",
    [
        (1.0, "1.0"),
        (1e-5, "0.00001"),
        (-1.5e-5, "-0.000015"),
        (1e-6, "1e-6"),
        (1.5e-7, "1.5e-7"),
        (1e15, "1000000000000000.0"),
        (1e16, "1e+16"),
        (1.7976931348623157e308, "1.7976931348623157e+308"),
        (5e-324, "5e-324"),
        (-0.0, "-0.0"),
    ],
)
def test_float_layout(x, text):
    assert float_text(x) == text


@settings(max_examples=300, deadline=None)
@given(st.text(st.characters(blacklist_categories=("Cs",))))
def test_strings_are_escaped_as_vorlik_escapes_them(s):
    tree = Node(s, s, props={s: s}, events={s: NamedJs(s)}, bindings={s: Binding("one-way", s, {s: [s]})})
    assert vorlik.apply(tree.to_json(), NO_OPS) == tree.to_json()


def test_a_handler_shared_by_many_nodes_is_written_at_each_place():
    shared = Emit("e", Lit([[1, 2.5], {"b": None, "a": "x"}]))
    chain = Node("leaf", events={"e": shared})
    for _ in range(3):
        chain = Node("n", slots={"s": [chain]}, events={"e": shared})
    text = chain.to_json()
    assert vorlik.apply(text, NO_OPS) == text and text.count('"value":[[1,2.5],{"a":"x","b":null}]') == 4


@pytest.mark.parametrize(
    "value, written",
    [
        (collections.OrderedDict([("b", 1), ("a", 2)]), '{"Map":{"a":{"Int":2},"b":{"Int":1}}}'),
        (types.MappingProxyType({"k": "v"}), '{"Map":{"k":{"Str":"v"}}}'),
        (enum.IntEnum("E", "A B").B, '{"Int":2}'),
        (type("S", (str,), {})("s"), '{"Str":"s"}'),
        (range(2), '{"List":[{"Int":0},{"Int":1}]}'),
    ],
)
def test_subclasses_and_other_containers_are_written_as_their_kind(value, written):
    assert Node("x", props={"v": value}).to_json() == '{"tag":"x","props":{"v":%s}}' % written


def test_equality_is_equality_of_the_written_tree():
    assert Lit(1) != Lit(1.0) and Lit(1) != Lit(True) and Lit({"a": 1, "b": 2}) == Lit({"b": 2, "a": 1})
    assert Node("x", props={"n": 1}) != Node("x", props={"n": 1.0})
    assert Toggle(This(), "p") != Prop(This(), "p")


def test_normalize_is_vorliks_normal_form():
    assert (
        normalize('{"props":{"b":"Null","a":{"Int":1}},"tag":"x","key":null}')
        == '{"tag":"x","props":{"a":{"Int":1},"b":"Null"}}'
    )
    assert Node.from_json('["div","k",{"a":{"Int":1}}]') == Node("div", "k", props={"a": 1})
    with pytest.raises(ValueError, match="missing field `tag` at line 1 column 2"):
        normalize("{}")


# ---- refusals


@pytest.mark.parametrize(
    "tree, error, message",
    [
        (Node("x", props={"n": float("nan")}), ValueError, "root.props['n']: float nan cannot be written"),
        (Node("x", props={"n": [1, -math.inf]}), ValueError, "root.props['n'][1]: float -inf cannot be written"),
        (Node("x", props={"n": I64}), ValueError, "root.props['n']: int 9223372036854775808 is outside the Int range"),
        (Node("x", props={"n": {"m": [-I64 - 1]}}), ValueError, "root.props['n']['m'][0]: int -9223372036854775809 is"),
        (Node("x", props={"n": 10**400}), ValueError, "root.props['n']: int an int of 1329 bits is outside"),
        (Node("x", props={"n": Submodel(-1)}), ValueError, "root.props['n']: Submodel -1 is outside 0..2**64-1"),
        (Node("x", props={"n": Submodel("1")}), TypeError, "root.props['n']: a Submodel holds an int, not str"),
        (Node("x", props={1: 2}), TypeError, "root.props: keys must be str, not int: 1"),
        (Node("x", props={"a": 1, 2: 2}), TypeError, "root.props: keys must be str, not int: 2"),
        (Node("x", props={"m": {("t",): 1}}), TypeError, "root.props['m']: keys must be str, not tuple"),
        (
            Node("x", props={"s": "a\ud800b"}),
            ValueError,
            "root.props['s']: the str holds the lone surrogate '\\ud800' at",
        ),
        (Node("x", slots={"s": [Node("y", "\udfff")]}), ValueError, "root.slots['s'][0]: the str holds the lone"),
        (Node("x", props={"b": b"bytes"}), TypeError, "root.props['b']: a value must be None, bool, int, float, str, "),
        (Node("x", props={"e": Emit("e")}), TypeError, "root.props['e']: a value must be"),
        (Node("x", props={"s": {1, 2}}), TypeError, "root.props['s']: a value must be"),
        (Node("x", props=[("a", 1)]), TypeError, "root.props: props must be a mapping with str keys, not list"),
        (Node(None), TypeError, "root.tag: tag must be a str, not None"),
        (Node("x", 5), TypeError, "root.key: key must be a str or None, not int"),
        (Node("x", slots={"s": Node("y")}), TypeError, "root.slots['s']: a slot must be a list or tuple, not Node"),
        (
            Node("x", slots={"s": [Node("y"), {"tag": "z"}]}),
            TypeError,
            "root.slots['s'][1]: a slot holds Nodes, not dict",
        ),
        (Node("x", events={"e": Lit(1)}), TypeError, "root.events['e']: wanted an action (SetProp, Toggle,"),
        (
            Node("x", events={"e": SetProp(Field("f"), "p", Lit(1))}),
            TypeError,
            "root.events['e'].target: wanted This()",
        ),
        (
            Node("x", events={"e": Seq([ToggleField("a"), "js"])}),
            TypeError,
            "root.events['e'].actions[1]: wanted an act",
        ),
        (
            Node("x", events={"e": If(Lit(True), Emit("a"), Emit(3))}),
            TypeError,
            "root.events['e'].else_.event: wanted a",
        ),
        (Node("x", events={"e": CallEndpoint("GET", 7)}), TypeError, "root.events['e'].url: wanted an expression"),
        (
            Node("x", events={"e": Emit("e", Obj({"a": Lit(float("nan"))}))}),
            ValueError,
            "root.events['e'].detail.fields['a'].value: float nan",
        ),
        (
            Node("x", events={"e": Emit("e", Lit({"a": U64}))}),
            ValueError,
            "root.events['e'].detail.value['a']: int 18446744073709551616 is outside -2**63..2**64-1",
        ),
        (Node("x", events={"e": Emit("e", Lit(object()))}), TypeError, "root.events['e'].detail.value: a JSON value"),
        (Node("x", events={"e": Emit("e", Lit([Submodel(1)]))}), TypeError, "root.events['e'].detail.value[0]: a JSON"),
        (Node("x", bindings={"b": Binding("both")}), ValueError, "root.bindings['b'].mode: mode must be 'one-way' or"),
        (
            Node("x", bindings={"b": Binding("one-way", 3)}),
            TypeError,
            "root.bindings['b'].field: wanted a str, not int",
        ),
        (
            Node("x", bindings={"b": Binding("one-way", None, {"x": [math.inf]})}),
            ValueError,
            "root.bindings['b'].compute['x'][0]: float inf",
        ),
        (
            Node("x", bindings={"b": SetField("f", Event())}),
            TypeError,
            "root.bindings['b']: wanted a Binding, not SetField",
        ),
    ],
)
def test_refusals_name_their_place(tree, error, message):
    with pytest.raises(error) as raised:
        tree.to_json()
    assert str(raised.value).startswith(message), str(raised.value)


def _tagged(value):
    """The hand-made tagged form of nested lists, for the levels the builder refuses."""
    return {"List": [_tagged(x) for x in value]} if isinstance(value, list) else {"Int": value}


def _accepted(text):
    try:
        vorlik.apply(text, NO_OPS)
        return True
    except ValueError as e:
        assert "recursion limit exceeded" in str(e)
        return False


@pytest.mark.parametrize("levels", range(58, 64))
def test_nesting_is_refused_exactly_where_a_reader_refuses_it(levels):
    nested = 1
    for _ in range(levels):
        nested = [nested]
    hand = json.dumps({"tag": "x", "props": {"v": _tagged(nested)}})
    try:
        text = Node("x", props={"v": nested}).to_json()
    except ValueError as e:
        assert "nests deeper than the 127 levels" in str(e) and not _accepted(hand)
    else:
        assert _accepted(text) and text == normalize(hand)


@pytest.mark.parametrize("depth", range(40, 45))
def test_deep_trees_are_refused_exactly_where_a_reader_refuses_them(depth):
    tree, hand = Node("leaf", props={"n": 1}), {"tag": "leaf", "props": {"n": {"Int": 1}}}
    for _ in range(depth - 1):
        tree, hand = Node("n", slots={"s": [tree]}), {"tag": "n", "slots": {"s": [hand]}}
    try:
        text = tree.to_json()
    except ValueError as e:
        assert str(e).startswith("root" + ".slots['s'][0]" * (depth - 2)) and not _accepted(json.dumps(hand))
    else:
        assert _accepted(text)


def test_a_cycle_is_refused_as_too_deep():
    loop = []
    loop.append(loop)
    with pytest.raises(ValueError, match=r"^root.props\['l'\](\[0\])+: nests deeper than the 127 levels"):
        Node("x", props={"l": loop}).to_json()
    assert LIMIT == 127
