"""Tree diff: op order and indexes, keyed and positional slots, and the round trip through apply."""

import json

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import vorlik


def dumps(value):
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False)


def li(key=None, **extra):
    return {"tag": "li", **({"key": key} if key is not None else {}), **extra}


def ul(children):
    return {"tag": "ul", "slots": {"items": children}} if children else {"tag": "ul"}


def diff_ops(old, new):
    return json.loads(vorlik.diff(dumps(old), dumps(new)))["ops"]


def at(index):
    return [{"slot": "items", "index": index}]


def move(frm, to):
    return {"MoveChild": {"path": [], "slot": "items", "from": frm, "to": to}}


def remove(index):
    return {"RemoveChild": {"path": [], "slot": "items", "index": index}}


def insert(index, node):
    return {"InsertChild": {"path": [], "slot": "items", "index": index, "node": node}}


# Children given by key. Each child carries a label telling old from new, so every compared pair
# shows up as one SetProp at the pair's final index.
def labelled(keys, mark):
    return [li(k, props={"v": {"Str": mark + k}}) for k in keys]


@pytest.mark.parametrize(
    "old, new, slot_ops, pairs",
    [
        ("ab", "ba", [move(1, 0)], "ba"),
        ("abc", "cad", [remove(1), move(1, 0), insert(2, *labelled("d", "n"))], "ca"),
        ("abc", "ac", [remove(1)], "ac"),
        ("", "ab", [insert(0, *labelled("a", "n")), insert(1, *labelled("b", "n"))], ""),
        ("ab", "", [remove(1), remove(0)], ""),
        ("abcd", "dcba", [move(3, 0), move(3, 1), move(3, 2)], "dcba"),
        # Surplus old children go after placement; later repeats in the new list are inserted.
        ("aab", "ab", [move(2, 1), remove(2)], "ab"),
        ("aba", "ba", [move(1, 0), remove(2)], "ba"),
        ("a", "aa", [insert(1, *labelled("a", "n"))], "a"),
    ],
)
def test_keyed_slot(old, new, slot_ops, pairs):
    relabels = [{"SetProp": {"path": at(i), "name": "v", "value": {"Str": "n" + k}}} for i, k in enumerate(pairs)]
    assert diff_ops(ul(labelled(old, "o")), ul(labelled(new, "n"))) == slot_ops + relabels


def keyed_reference(old, new):
    """The working-list walk done literally, one list operation per op."""
    ops, work, wanted = [], list(old), set(new)
    for i in reversed(range(len(work))):
        if work[i] not in wanted:
            ops.append(remove(i))
            del work[i]
    for j, k in enumerate(new):
        p = next((p for p in range(j, len(work)) if work[p] == k), None)
        if p is None:
            ops.append(insert(j, li(k)))
            work.insert(j, k)
        elif p > j:
            ops.append(move(p, j))
            work.insert(j, work.pop(p))
    return ops + [remove(pos) for pos in reversed(range(len(new), len(work)))]


@settings(max_examples=300, deadline=None)
@given(st.lists(st.sampled_from("abcde"), max_size=12), st.lists(st.sampled_from("abcdef"), max_size=12))
def test_keyed_ops_follow_the_working_list(old, new):
    assert diff_ops(ul([li(k) for k in old]), ul([li(k) for k in new])) == keyed_reference(old, new)


def test_whole_call():
    old = '{"tag":"ul","slots":{"items":[{"tag":"li","key":"a","props":{"label":{"Str":"A"}}},{"tag":"li","key":"b"}]}}'
    new = (
        '{"tag":"ul","props":{"title":{"Str":"T"}},"slots":{"items":[{"tag":"li","key":"b"},'
        '{"tag":"li","key":"a","props":{"label":{"Str":"A2"}}}]}}'
    )
    assert vorlik.diff(old, new) == (
        '{"ops":[{"SetProp":{"path":[],"name":"title","value":{"Str":"T"}}},'
        '{"MoveChild":{"path":[],"slot":"items","from":1,"to":0}},'
        '{"SetProp":{"path":[{"slot":"items","index":1}],"name":"label","value":{"Str":"A2"}}}]}'
    )


PLAIN = [li(None, props={"i": {"Int": i}}) for i in range(5)]


@pytest.mark.parametrize(
    "old, new, expected",
    [
        ({"tag": "a", "props": {"p": {"Int": 1}}}, {"tag": "b"}, [{"Replace": {"path": [], "node": {"tag": "b"}}}]),
        (
            ul([li()]),
            ul([{"tag": "p", "slots": {"x": [li("k")]}}]),
            [{"Replace": {"path": at(0), "node": {"tag": "p", "slots": {"x": [li("k")]}}}}],
        ),
        # One child without a key makes the slot positional: no moves, keys set in place.
        (
            ul([li("a"), li("b"), li()]),
            ul([li("b"), li("a"), li(props={"p": "Null"})]),
            [
                {"SetKey": {"path": at(0), "key": "b"}},
                {"SetKey": {"path": at(1), "key": "a"}},
                {"SetProp": {"path": at(2), "name": "p", "value": "Null"}},
            ],
        ),
        (ul(PLAIN[:3]), ul(PLAIN), [insert(3, PLAIN[3]), insert(4, PLAIN[4])]),
        (ul(PLAIN), ul(PLAIN[:3]), [remove(4), remove(3)]),
        ({"tag": "a", "props": {"f": {"Float": 0.0}}}, {"tag": "a", "props": {"f": {"Float": -0.0}}}, []),
        (
            {"tag": "a", "props": {"f": {"Int": 1}}},
            {"tag": "a", "props": {"f": {"Float": 1.0}}},
            [{"SetProp": {"path": [], "name": "f", "value": {"Float": 1.0}}}],
        ),
        ({"tag": "a", "slots": {"s": []}}, {"tag": "a"}, []),
        ({"tag": "a", "key": ""}, {"tag": "a"}, [{"SetKey": {"path": [], "key": None}}]),
    ],
    ids=["root-tag", "child-tag", "unkeyed", "append", "truncate", "zero-sign", "int-float", "empty-slot", "empty-key"],
)
def test_node_pair(old, new, expected):
    assert diff_ops(old, new) == expected


def test_op_order_within_a_node():
    old = {
        "tag": "x",
        "key": "k",
        "props": {"a": {"Int": 1}, "z": "Null"},
        "events": {"e": {"kind": "js", "handler": "h"}},
        "bindings": {"b": {"mode": "one-way"}},
        "slots": {"s": [li()], "t": [li(props={"p": "Null"})]},
    }
    new = {
        "tag": "x",
        "props": {"a": {"Int": 2}, "b": "Null"},
        "events": {"f": {"kind": "js", "handler": "h"}},
        "bindings": {"c": {"mode": "two-way"}},
        "slots": {"s": [li("q")], "t": [li()], "u": [li()]},
    }
    summary = [
        (name, body.get("name"), body["path"], body.get("slot"))
        for op in diff_ops(old, new)
        for name, body in op.items()
    ]
    assert summary == [
        ("SetKey", None, [], None),
        ("SetProp", "a", [], None),
        ("SetProp", "b", [], None),
        ("RemoveProp", "z", [], None),
        ("SetEvent", "f", [], None),
        ("RemoveEvent", "e", [], None),
        ("SetBinding", "c", [], None),
        ("RemoveBinding", "b", [], None),
        ("SetKey", None, [{"slot": "s", "index": 0}], None),
        ("RemoveProp", "p", [{"slot": "t", "index": 0}], None),
        ("InsertChild", None, [], "u"),
    ]


# --- Properties over generated trees ----------------------------------------------------------------

# -0.0 equals 0.0, so a change of the sign of zero gives no op and would show in the written form.
floats = st.floats(allow_nan=False, allow_infinity=False).map(lambda f: f + 0.0)
generic_json = st.recursive(
    st.one_of(st.none(), st.booleans(), st.integers(-(2**63), 2**64 - 1), floats, st.text(max_size=4)),
    lambda inner: st.one_of(st.lists(inner, max_size=3), st.dictionaries(st.text(max_size=2), inner, max_size=3)),
    max_leaves=6,
)
values = st.recursive(
    st.one_of(
        st.just("Null"),
        st.booleans().map(lambda b: {"Bool": b}),
        st.integers(-(2**63), 2**63 - 1).map(lambda i: {"Int": i}),
        floats.map(lambda f: {"Float": f}),
        st.text(max_size=5).map(lambda s: {"Str": s}),
        st.integers(0, 2**64 - 1).map(lambda u: {"Submodel": u}),
    ),
    lambda inner: st.one_of(
        st.lists(inner, max_size=3).map(lambda items: {"List": items}),
        st.dictionaries(st.text(max_size=2), inner, max_size=3).map(lambda m: {"Map": m}),
    ),
    max_leaves=5,
)
words = st.sampled_from(["", "a", "b"])
actions = st.recursive(
    st.one_of(
        st.builds(lambda h: {"kind": "js", "handler": h}, words),
        st.builds(
            lambda p, v: {"kind": "set", "target": {"ref": "this"}, "prop": p, "value": {"expr": "lit", "value": v}},
            words,
            generic_json,
        ),
    ),
    lambda inner: st.lists(inner, max_size=2).map(lambda a: {"kind": "seq", "actions": a}),
    max_leaves=3,
)
bindings = st.fixed_dictionaries(
    {"mode": st.sampled_from(["one-way", "two-way"])}, optional={"field": words, "compute": generic_json}
)
keys = st.sampled_from(["k", "m", "n", "p"])
FIELDS = {"props": values, "events": actions, "bindings": bindings}


def fields(draw, node):
    for name, strategy in FIELDS.items():
        if draw(st.booleans()):
            more = draw(st.dictionaries(st.sampled_from("abcd"), strategy, max_size=3))
            node[name] = {**node.get(name, {}), **more}


def keyed(draw, kids):
    for kid in kids:  # most lists keyed, so keyed mode is exercised
        kid.setdefault("key", draw(keys))
    return kids


@st.composite
def nodes(draw, depth=2):
    node = {"tag": draw(st.sampled_from(["div", "li"]))}
    if draw(st.booleans()):
        node["key"] = draw(keys)
    fields(draw, node)
    if depth > 0 and draw(st.booleans()):
        node["slots"] = {}
        for slot in draw(st.lists(st.sampled_from("stu"), max_size=2, unique=True)):
            kids = draw(st.lists(nodes(depth - 1), max_size=5))
            node["slots"][slot] = keyed(draw, kids) if draw(st.integers(0, 2)) else kids
    return node


@st.composite
def edited(draw, node, depth=2):
    """A variant of `node`: fields changed or dropped, children reordered, dropped, repeated or added."""
    if draw(st.integers(0, 9)) == 0:
        return draw(nodes(depth))
    new = {k: v for k, v in node.items() if k == "tag" or draw(st.integers(0, 4))}
    fields(draw, new)
    slots = {}
    for slot, kids in node.get("slots", {}).items():
        new_kids = [draw(edited(kid, max(depth - 1, 0))) for kid in kids]
        new_kids = list(draw(st.permutations(new_kids)))
        if new_kids and draw(st.booleans()):
            new_kids.pop(draw(st.integers(0, len(new_kids) - 1)))
        if new_kids and draw(st.booleans()):
            new_kids.insert(draw(st.integers(0, len(new_kids))), dict(draw(st.sampled_from(new_kids))))
        new_kids += draw(st.lists(nodes(max(depth - 1, 0)), max_size=1))
        all_keyed = all("key" in kid for kid in kids)
        slots[slot] = keyed(draw, new_kids) if all_keyed and draw(st.integers(0, 3)) else new_kids
    if slots:
        new["slots"] = slots
    return new


@st.composite
def tree_pairs(draw):
    old = draw(nodes())
    return old, (draw(edited(old)) if draw(st.integers(0, 4)) else draw(nodes()))


def normal_form(tree_text):
    """The tree as apply writes it, without empty slots: the diff neither keeps nor makes them."""

    def strip(node):
        slots = {k: [strip(c) for c in v] for k, v in node.pop("slots", {}).items() if v}
        return {**node, "slots": slots} if slots else node

    return dumps(strip(json.loads(vorlik.apply(tree_text, '{"ops":[]}'))))


PROPERTY = settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])


# The central promise of diff, so it gets thousands of pairs on every run.
@settings(PROPERTY, max_examples=2000)
@given(tree_pairs())
def test_applying_the_diff_gives_the_new_tree(pair):
    old, new = (dumps(t) for t in pair)
    patch = vorlik.diff(old, new)
    assert normal_form(vorlik.apply(old, patch)) == normal_form(new)
    moves = [op["MoveChild"] for op in json.loads(patch)["ops"] if "MoveChild" in op]
    assert all(m["from"] > m["to"] for m in moves)


@PROPERTY
@given(nodes())
def test_a_tree_against_itself_gives_no_ops(tree):
    text = dumps(tree)
    assert vorlik.diff(text, text) == '{"ops":[]}'
    assert vorlik.diff(text, vorlik.apply(text, '{"ops":[]}')) == '{"ops":[]}'


def test_long_reversed_keyed_list():
    old = ul([li(str(i)) for i in range(3000)])
    new = ul(old["slots"]["items"][::-1] + [li("new")])
    patch = vorlik.diff(dumps(old), dumps(new))
    assert vorlik.apply(dumps(old), patch) == vorlik.apply(dumps(new), '{"ops":[]}')
    assert len(json.loads(patch)["ops"]) == 3000  # 2999 moves and one insertion


@pytest.mark.parametrize("segments", [3, 4, 10])
def test_keys_of_one_plain_hash_give_the_patch_of_any_other_keys(segments):
    # From 9 keys in one chain on, the slot's keys are hashed again under the secret key: the
    # patch is the one the same list of other keys gives, key for key.
    from cost_inputs import colliding_keys

    keys = colliding_keys(segments)
    plain = dict(zip(keys, (f"p{i}" for i in range(len(keys)))))

    def lists(names):
        order = names[::-3] + names[1::3] + [names[i] for i in range(2, len(names), 6)]
        return dumps(ul([li(n) for n in names])), dumps(ul([li(n) for n in order + ["new"]]))

    def renamed(value):
        if isinstance(value, dict):
            return {k: renamed(v) for k, v in value.items()}
        if isinstance(value, list):
            return [renamed(v) for v in value]
        return plain.get(value, value)

    old, new = lists(keys)
    patch = vorlik.diff(old, new)
    assert renamed(json.loads(patch)) == json.loads(vorlik.diff(*lists(list(plain.values()))))
    assert vorlik.apply(old, patch) == vorlik.apply(new, '{"ops":[]}')
