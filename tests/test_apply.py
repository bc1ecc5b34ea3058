"""Patch application: effects of the child ops, positions after earlier ops, and the limits."""

import json
import pathlib
import random
import sys

import pytest

import vorlik

ABC = '{"tag":"r","slots":{"s":[{"tag":"a"},{"tag":"b"},{"tag":"c"}]}}'


def run(*ops, root=ABC):
    return vorlik.apply(root, json.dumps({"ops": list(ops)}))


def order(tree_text):
    return "".join(c["tag"] for c in json.loads(tree_text).get("slots", {}).get("s", []))


def move(frm, to, slot="s"):
    return {"MoveChild": {"path": [], "slot": slot, "from": frm, "to": to}}


def insert(index, tag="n", slot="s", path=()):
    return {"InsertChild": {"path": list(path), "slot": slot, "index": index, "node": {"tag": tag}}}


def remove(index, slot="s"):
    return {"RemoveChild": {"path": [], "slot": slot, "index": index}}


def key_at(*steps):
    return {"SetKey": {"path": [{"slot": s, "index": i} for s, i in steps], "key": "k"}}


@pytest.mark.parametrize(
    "ops, result",
    [
        ([move(0, 2)], "bca"),
        ([move(2, 0)], "cab"),
        ([move(1, 1)], "abc"),
        ([move(2, 1)], "acb"),
        ([insert(3)], "abcn"),
        ([insert(0, "x"), insert(0, "y")], "yxabc"),
        ([remove(2), remove(1)], "a"),
        ([move(2, 0), remove(0), insert(2, "z")], "abz"),
        ([remove(0), remove(0), remove(0), insert(0, "z")], "z"),
    ],
)
def test_positions_follow_earlier_ops(ops, result):
    assert order(run(*ops)) == result


@pytest.mark.parametrize(
    "ops, message",
    [
        ([move(0, 3)], "insertion index (is 3) should be <= len (is 2)"),
        ([move(3, 0)], "removal index (is 3) should be < len (is 3)"),
        # `from` is checked first, against the length with the child still in the list.
        ([move(2**64 - 1, 2**64 - 1)], "removal index (is 18446744073709551615) should be < len (is 3)"),
        ([insert(4)], "insertion index (is 4) should be <= len (is 3)"),
        ([insert(1, slot="new")], "insertion index (is 1) should be <= len (is 0)"),
        ([remove(3)], "removal index (is 3) should be < len (is 3)"),
        ([key_at(("s", 3))], "index out of bounds: the len is 3 but the index is 3"),
        ([key_at(("s", 0), ("t", 0))], "path references an existing slot"),
        # Also for ops that would do nothing on an absent entry.
        ([{"RemoveProp": {"path": [{"slot": "zz", "index": 0}], "name": "p"}}], "path references an existing slot"),
        ([remove(0), remove(0), remove(0), key_at(("s", 0))], "path references an existing slot"),
        ([{"Replace": {"path": [], "node": {"tag": "n"}}}, key_at(("s", 0))], "path references an existing slot"),
        (
            [insert(0, slot="e", path=[{"slot": "s", "index": 0}]), remove(0), key_at(("s", 2))],
            "index out of bounds: the len is 2 but the index is 2",
        ),
    ],
)
def test_limits(ops, message):
    with pytest.raises(ValueError) as info:
        run(*ops)
    assert str(info.value) == message


def test_existing_empty_slot_has_no_child():
    with pytest.raises(ValueError, match="^index out of bounds: the len is 0 but the index is 0$"):
        run(key_at(("s", 0)), root='{"tag":"r","slots":{"s":[]}}')


def test_slots_come_and_go_with_their_children():
    assert run(remove(0), remove(0), remove(0)) == '{"tag":"r"}'
    assert (
        run(insert(0, slot="new"))
        == '{"tag":"r","slots":{"new":[{"tag":"n"}],"s":[{"tag":"a"},{"tag":"b"},{"tag":"c"}]}}'
    )


@pytest.mark.parametrize(
    "op",
    [
        {"RemoveProp": {"path": [], "name": "x"}},
        {"RemoveEvent": {"path": [], "name": "x"}},
        {"RemoveBinding": {"path": [], "name": "x"}},
        remove(7, slot="zz"),
        move(7, 9, slot="zz"),
    ],
)
def test_absent_entry_or_slot_is_left_alone(op):
    assert run(op) == ABC


def test_replace():
    assert run({"Replace": {"path": [], "node": {"tag": "x", "key": "q"}}}) == '{"tag":"x","key":"q"}'
    # Later paths step through the replacement.
    second = [{"slot": "s", "index": 1}]
    out = run(
        {"Replace": {"path": second, "node": {"tag": "q", "slots": {"t": [{"tag": "u"}]}}}},
        {"SetProp": {"path": second + [{"slot": "t", "index": 0}], "name": "p", "value": "Null"}},
    )
    assert json.loads(out)["slots"]["s"][1] == {"tag": "q", "slots": {"t": [{"tag": "u", "props": {"p": "Null"}}]}}


@pytest.mark.parametrize(
    "root, patch, message",
    [
        ("{", "{", "EOF while parsing an object at line 1 column 1"),
        ('{"tag":"r"}', '{"ops":[]} x', "trailing characters at line 1 column 12"),
        # The tree does not fit the first op, but the whole patch is read before any op is applied.
        (
            ABC,
            '{"ops":[{"RemoveChild":[[],"s",9]},{"SetKey":[]}]}',
            "invalid length 0, expected struct variant Op::SetKey with 2 elements at line 1 column 47",
        ),
    ],
)
def test_read_errors(root, patch, message):
    with pytest.raises(ValueError) as info:
        vorlik.apply(root, patch)
    assert str(info.value) == message


def test_maps_edited_many_times_stay_ordered_and_whole():
    # Growth of a node's maps while a patch runs: hundreds of names in shuffled order, some
    # removed again, on props, events and bindings of a node that has none to begin with.
    import random

    rnd = random.Random(7)
    names = [f"n{i:03}" for i in range(300)]
    rnd.shuffle(names)
    ops, props, events = [], {}, {}
    for k, name in enumerate(names):
        ops.append({"SetProp": {"path": [], "name": name, "value": {"Int": k}}})
        ops.append({"SetEvent": {"path": [], "name": name, "action": {"kind": "js", "handler": name}}})
        props[name], events[name] = {"Int": k}, {"kind": "js", "handler": name}
        if k % 3 == 0:
            gone = names[k // 2]
            ops.append({"RemoveProp": {"path": [], "name": gone}})
            ops.append({"RemoveEvent": {"path": [], "name": gone}})
            props.pop(gone, None)
            events.pop(gone, None)
    expected = {"tag": "r", "props": dict(sorted(props.items())), "events": dict(sorted(events.items()))}
    assert run(*ops, root='{"tag":"r"}') == json.dumps(expected, separators=(",", ":"))


@pytest.mark.parametrize(
    "ops, result",
    [
        # The last handler or binding removed leaves no empty map behind.
        (
            [
                {"SetEvent": {"path": [], "name": "e", "action": {"kind": "js", "handler": "h"}}},
                {"RemoveEvent": {"path": [], "name": "e"}},
            ],
            '{"tag":"r"}',
        ),
        (
            [
                {"SetBinding": {"path": [], "name": "b", "binding": {"mode": "one-way"}}},
                {"RemoveBinding": {"path": [], "name": "b"}},
            ],
            '{"tag":"r"}',
        ),
        ([{"RemoveBinding": {"path": [], "name": "b"}}], '{"tag":"r"}'),
        # An empty key is a key.
        ([{"SetKey": {"path": [], "key": ""}}], '{"tag":"r","key":""}'),
    ],
)
def test_handlers_bindings_and_keys_of_a_plain_node(ops, result):
    assert run(*ops, root='{"tag":"r"}') == result


@pytest.mark.parametrize("old, new", [('{"tag":"a"}', '{"tag":"a","key":""}'), ('{"tag":"a","key":""}', '{"tag":"a"}')])
def test_an_empty_key_differs_from_none(old, new):
    patch = vorlik.diff(old, new)
    assert json.loads(patch)["ops"][0]["SetKey"]["key"] == json.loads(new).get("key")
    assert vorlik.apply(old, patch) == new


def keyed_list(order, edited):
    """A root with a list of keyed children in `order`; every fourth child has a long list of its
    own. An edited child has a new prop value, and its own list reversed, less its first child
    and with a new one."""

    def child(i):
        n = 70 if i % 4 == 0 else 3
        changed = edited and i % 3 == 0
        keys = [str(n - 1 - j if changed else j) for j in range(n)]
        if changed:
            keys = [k if k != "0" else "new" for k in keys]
        return {
            "tag": "li",
            "key": f"k{i}",
            "props": {"v": {"Int": -i if changed else i}},
            "slots": {"sub": [{"tag": "g", "key": k} for k in keys]},
        }

    return json.dumps({"tag": "ul", "slots": {"items": [child(i) for i in order]}})


@pytest.mark.parametrize("n", [64, 100, 257])
def test_long_slots_with_moves_and_edits_inside_moved_children(n):
    # The lists are long enough for apply to index them; the edits' paths lead through children
    # that moved in the same patch.
    new_order = [i for i in reversed(range(n)) if i != 5]
    new_order.insert(n // 2, n)
    new_order.insert(0, n + 1)
    old, new = keyed_list(range(n), False), keyed_list(new_order, True)
    patch = vorlik.diff(old, new)
    ops = json.loads(patch)["ops"]
    assert any("MoveChild" in op for op in ops)
    assert any(len(next(iter(op.values()))["path"]) == 1 for op in ops if "SetProp" in op)
    assert vorlik.apply(old, patch) == vorlik.apply(new, '{"ops":[]}')


# --- long maps: edits held apart from the map until the last op ------------------------------

BENCH = pathlib.Path(__file__).resolve().parent.parent / "bench"


def long_map_patch(seed: int) -> tuple[str, str]:
    """A root whose maps are long (or empty), and a patch of random edits to them: names added,
    replaced, removed and added again, slots made and dropped, and paths through those slots."""
    rnd = random.Random(seed)
    names = [f"n{i:03}" for i in range(150)]
    start = rnd.sample(names, 100 if seed % 2 else 0)
    slots = {n: 1 for n in rnd.sample(names, 80)}
    root = {
        "tag": "r",
        "props": {n: {"Int": 0} for n in start},
        "events": {n: {"kind": "js", "handler": "h"} for n in start},
        "bindings": {n: {"mode": "one-way"} for n in start},
        "slots": {n: [{"tag": "c"}] for n in slots},
    }
    ops = []
    for k in range(800):
        name = rnd.choice(names)
        kind = rnd.randrange(9)
        if kind < 3:
            member, op, payload = [
                ("SetProp", "value", {"Int": k}),
                ("SetEvent", "action", {"kind": "js", "handler": str(k)}),
                ("SetBinding", "binding", {"field": str(k), "mode": "two-way"}),
            ][kind]
            ops.append({member: {"path": [], "name": name, op: payload}})
        elif kind < 6:
            ops.append({["RemoveProp", "RemoveEvent", "RemoveBinding"][kind - 3]: {"path": [], "name": name}})
        elif kind == 6:
            index = rnd.randrange(slots.get(name, 0) + 1)
            slots[name] = slots.get(name, 0) + 1
            ops.append({"InsertChild": {"path": [], "slot": name, "index": index, "node": {"tag": "c", "key": str(k)}}})
        elif slots:
            slot = rnd.choice(sorted(slots))
            index = rnd.randrange(slots[slot])
            if kind == 7:
                slots[slot] -= 1
                if not slots[slot]:
                    del slots[slot]
                ops.append({"RemoveChild": {"path": [], "slot": slot, "index": index}})
            else:
                ops.append({"SetProp": {"path": [{"slot": slot, "index": index}], "name": "p", "value": {"Int": k}}})
    return json.dumps(root), json.dumps({"ops": ops})


@pytest.mark.parametrize("seed", range(10))
def test_long_maps_edited_in_any_order_match_a_plain_model(seed):
    sys.path.insert(0, str(BENCH))
    pydiff = pytest.importorskip("pydiff")
    root, patch = long_map_patch(seed)
    assert vorlik.apply(root, patch) == pydiff.apply(json.loads(root), json.loads(patch))


LONG = json.dumps({"tag": "r", "slots": {"empty": [], **{f"s{i:03}": [{"tag": "c"}] for i in range(100)}}})
DROP_S050 = {"RemoveChild": {"path": [], "slot": "s050", "index": 0}}


@pytest.mark.parametrize(
    "op, message",
    [
        # A slot dropped while the slots are edited apart is gone for later paths ...
        ({"SetKey": {"path": [{"slot": "s050", "index": 0}], "key": "k"}}, "path references an existing slot"),
        # ... while a slot read empty is still there, with no child.
        (
            {"SetKey": {"path": [{"slot": "empty", "index": 0}], "key": "k"}},
            "index out of bounds: the len is 0 but the index is 0",
        ),
        ({"RemoveChild": {"path": [], "slot": "empty", "index": 0}}, "removal index (is 0) should be < len (is 0)"),
        (
            {"InsertChild": {"path": [], "slot": "s050", "index": 1, "node": {"tag": "c"}}},
            "insertion index (is 1) should be <= len (is 0)",
        ),
    ],
)
def test_long_slot_maps_keep_the_limits(op, message):
    with pytest.raises(ValueError) as info:
        vorlik.apply(LONG, json.dumps({"ops": [DROP_S050, op]}))
    assert str(info.value) == message


def test_a_slot_dropped_from_a_long_map_can_come_back():
    again = {"InsertChild": {"path": [], "slot": "s050", "index": 0, "node": {"tag": "new"}}}
    out = json.loads(vorlik.apply(LONG, json.dumps({"ops": [DROP_S050, again]})))
    assert list(out["slots"]) == sorted(json.loads(LONG)["slots"])
    assert out["slots"]["s050"] == [{"tag": "new"}] and out["slots"]["empty"] == []
