"""Inputs built to hurt the host: each must end in a result or a clear ValueError, never in a
crash, a hang or memory far beyond the input. The heavy cases run in a subprocess, so that a crash
fails one test instead of the run, and a hang fails by timeout."""

import json
import os
import subprocess
import sys
import textwrap

import pytest
from hostile_inputs import CASES

import vorlik

# Generous: a slow CI machine must pass; a quadratic or runaway case takes far longer.
TIMEOUT = 60


def run_isolated(code: str, data: str = "", timeout: float = TIMEOUT) -> str:
    """Runs `code` in a fresh interpreter that imports the same vorlik, with `data` as the text
    of its variable `data`; returns its output."""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    done = subprocess.run(
        [sys.executable, "-c", "import sys; data = sys.stdin.read()\n" + textwrap.dedent(code)],
        input=data,
        capture_output=True,
        text=True,
        timeout=timeout,
        env=env,
    )
    assert done.returncode == 0, f"exit {done.returncode}: {done.stderr[-2000:]}"
    return done.stdout


def keyed(keys):
    return json.dumps({"tag": "ul", "slots": {"s": [{"tag": "li", "key": k} for k in keys]}})


def chain_patch(levels: int, chunk: int = 40) -> str:
    """A patch that nests node into node, `chunk` levels per op, down to `levels` levels: each
    op inserts a chain at the deepest node so far. Far deeper than any reader accepts."""
    node: dict = {"tag": "x"}
    for _ in range(chunk - 1):
        node = {"tag": "x", "slots": {"s": [node]}}
    text = json.dumps(node, separators=(",", ":"))
    ops, depth = [], 0
    while depth < levels:
        path = ",".join(['["s",0]'] * depth)
        ops.append(f'{{"InsertChild":[[{path}],"s",0,{text}]}}')
        depth += chunk
    return '{"ops":[' + ",".join(ops) + "]}"


# --- apply stays n log n in the number of child ops ------------------------------------------


@pytest.mark.parametrize(
    "order",
    ["reversed", "shuffled", "front-insert", "duplicated"],
)
def test_large_keyed_reorders_apply_back_to_the_new_tree(order):
    out = run_isolated(
        f"""
        import json, random, vorlik
        n = 100_000
        keys = [str(i) for i in range(n)]
        new = list(keys)
        order = {order!r}
        if order == "reversed":
            new.reverse()
        elif order == "shuffled":
            random.Random(7).shuffle(new)
        elif order == "front-insert":
            new.insert(0, "new")
        else:
            new = [k for k in keys for _ in (0, 1)]
        old_t = json.dumps({{"tag": "ul", "slots": {{"s": [{{"tag": "li", "key": k}} for k in keys]}}}})
        new_t = json.dumps({{"tag": "ul", "slots": {{"s": [{{"tag": "li", "key": k}} for k in new]}}}})
        patch = vorlik.diff(old_t, new_t)
        assert vorlik.apply(old_t, patch) == vorlik.apply(new_t, '{{"ops":[]}}')
        print("ok")
        """
    )
    assert out.strip() == "ok"


def test_crafted_moves_on_one_long_slot_do_not_hold_the_host():
    n = 30_000
    tree = json.dumps({"tag": "r", "slots": {"s": [{"tag": "x", "key": str(i)} for i in range(n)]}})
    patch = '{"ops":[' + ",".join([f'{{"MoveChild":[[],"s",0,{n - 1}]}}'] * n) + "]}"
    out = run_isolated(
        """
        import vorlik
        tree, patch = data.split("\\n")
        print(vorlik.apply(tree, patch) == vorlik.apply(tree, '{"ops":[]}'))
        """,
        tree + "\n" + patch,
    )
    assert out.strip() == "True"  # n rotations by one bring the list back


def test_long_slots_follow_the_same_rules_as_short_ones():
    # Moves on a long (indexed) slot interleaved with edits whose paths go through it.
    ops = [
        {"MoveChild": {"path": [], "slot": "s", "from": 99, "to": 0}},
        {"SetProp": {"path": [{"slot": "s", "index": 0}], "name": "p", "value": {"Int": 1}}},
        {"RemoveChild": {"path": [], "slot": "s", "index": 50}},
        {"InsertChild": {"path": [], "slot": "s", "index": 99, "node": {"tag": "li", "key": "z"}}},
        {"MoveChild": {"path": [], "slot": "s", "from": 0, "to": 98}},
    ]
    got = json.loads(vorlik.apply(keyed([str(i) for i in range(100)]), json.dumps({"ops": ops})))
    expect = [str(i) for i in range(100)]
    expect.insert(0, expect.pop(99))
    del expect[50]
    expect.insert(99, "z")
    expect.insert(98, expect.pop(0))
    assert [c["key"] for c in got["slots"]["s"]] == expect
    assert got["slots"]["s"][98]["props"] == {"p": {"Int": 1}}


def test_long_slot_errors_keep_their_texts():
    tree = keyed([str(i) for i in range(100)])
    cases = [
        ('{"MoveChild":[[],"s",100,0]}', "removal index (is 100) should be < len (is 100)"),
        ('{"MoveChild":[[],"s",0,100]}', "insertion index (is 100) should be <= len (is 99)"),
        ('{"InsertChild":[[],"s",101,{"tag":"x"}]}', "insertion index (is 101) should be <= len (is 100)"),
        ('{"RemoveChild":[[],"s",100]}', "removal index (is 100) should be < len (is 100)"),
        ('{"SetKey":[[["s",100]],null]}', "index out of bounds: the len is 100 but the index is 100"),
    ]
    for op, message in cases:
        # The first op indexes the list, the second fails against it.
        patch = '{"ops":[{"MoveChild":[[],"s",1,0]},' + op + "]}"
        with pytest.raises(ValueError) as e:
            vorlik.apply(tree, patch)
        assert e.value.args == (message,)


def test_removing_every_child_of_a_long_slot_removes_the_slot():
    tree = keyed([str(i) for i in range(70)])
    patch = '{"ops":[' + ",".join(['{"RemoveChild":[[],"s",0]}'] * 70) + "]}"
    assert vorlik.apply(tree, patch) == '{"tag":"ul"}'


# --- trees deeper than any reader accepts ----------------------------------------------------

DEEP = 6_000  # levels; 128 KB of stack gives out after about 2,000 recursive ones


# AddressSanitizer's frames are several times larger, so the reader's own bounded recursion
# needs more room there.
STACK = (1024 if os.environ.get("VORLIK_SANITIZED") == "1" else 128) * 1024


def in_small_thread(call: str, patch: str) -> str:
    """Runs `call` (an expression using `patch`) in a thread with a 128 KB stack, as hosts on
    small-stack platforms have; returns what it gave or raised."""
    return run_isolated(
        f"""
        import threading, vorlik
        threading.stack_size({STACK})
        patch = data
        result = []
        def work():
            try:
                result.append({call})
            except BaseException as e:
                result.append(repr(e))
        t = threading.Thread(target=work)
        t.start()
        t.join()
        print(result[0] if result else "nothing")
        """,
        patch,
    ).strip()


@pytest.fixture(scope="module")
def deep_patch():
    return chain_patch(DEEP)


def test_a_tree_built_deep_by_a_patch_is_written_and_freed(deep_patch):
    out = in_small_thread("""vorlik.apply('{"tag":"r"}', patch).count('"tag":"x"')""", deep_patch)
    assert out == str(DEEP)


def test_a_deep_tree_is_freed_when_a_later_op_fails(deep_patch):
    failing = deep_patch[:-2] + ',{"RemoveChild":[[],"s",5]}]}'
    out = in_small_thread("""vorlik.apply('{"tag":"r"}', patch)""", failing)
    assert out == "ValueError('removal index (is 5) should be < len (is 1)')"


@pytest.mark.parametrize(
    "last, result",
    [('{"RemoveChild":[[],"s",0]}', '{"tag":"r"}'), ('{"Replace":[[],{"tag":"y"}]}', '{"tag":"y"}')],
)
def test_a_deep_subtree_taken_out_by_a_later_op_is_freed(deep_patch, last, result):
    patch = deep_patch[:-2] + "," + last + "]}"
    assert in_small_thread("""vorlik.apply('{"tag":"r"}', patch)""", patch) == result


def test_a_deep_tree_cannot_be_read_back_diffed_or_framed():
    text = vorlik.apply('{"tag":"r"}', chain_patch(400))
    for call in (
        lambda: vorlik.diff(text, text),
        lambda: vorlik.apply(text, '{"ops":[]}'),
        lambda: vorlik.encode_frame(text, "m", "snapshot", 1, "application/msgpack"),
        lambda: vorlik.decode_frame(vorlik.encode_frame(text, "m", "snapshot", 1, "application/json")),
    ):
        with pytest.raises(ValueError, match="^recursion limit exceeded"):
            call()


# --- MessagePack claims ----------------------------------------------------------------------


def msgpack_frame(payload: bytes) -> bytes:
    header = b'{"codec":"application/msgpack","model_type":"m","target":0,"rev":1,"kind":"Patch"}'
    return len(header).to_bytes(4, "big") + header + len(payload).to_bytes(4, "big") + payload


@pytest.mark.skipif(
    os.environ.get("VORLIK_SANITIZED") == "1",
    reason="AddressSanitizer reserves terabytes of address space for its shadow",
)
def test_nested_forged_counts_do_not_multiply_reservations():
    # 60 arrays each claiming 2**32-1 elements, then a megabyte of nils: the claims are lies, and
    # reserving for each against the whole remaining input would need gigabytes.
    frame = msgpack_frame(b"\xdd\xff\xff\xff\xff" * 60 + b"\xc0" * 1_000_000)
    out = run_isolated(
        """
        import resource, vorlik
        frame = data.encode("latin-1")
        resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))
        try:
            vorlik.decode_frame(frame)
        except ValueError as e:
            print("ValueError", str(e)[:40])
        """,
        frame.decode("latin-1"),
    )
    assert out.startswith("ValueError IO error while reading")


# --- every reader against inputs built to hurt it ----------------------------------------------


@pytest.mark.parametrize("case", CASES, ids=lambda case: case.name)
def test_hostile_input_ends_in_a_result_or_a_clear_error(case):
    name, args = case.build()
    try:
        getattr(vorlik, name)(*args)
        got = "ok"
    except ValueError as e:
        got = str(e)
    assert got == "ok" if case.expect == "ok" else got.startswith(case.expect), got[:200]


def deepest_trees():
    """Inputs at the readers' nesting limit: a chain of nodes (each opens the node, its slots and
    the child list) and a handler whose literal is nested arrays down to the limit."""
    chain = '{"tag":"x"}'
    for _ in range(42):
        chain = '{"tag":"x","slots":{"s":[' + chain + "]}}"
    literal = "[" * 123 + "]" * 123
    handler = '{"kind":"set-field","field":"f","value":{"expr":"lit","value":' + literal + "}}"
    return [chain, '{"tag":"x","events":{"e":' + handler + "}}"]


@pytest.mark.parametrize("tree", deepest_trees(), ids=["nodes", "literal"])
def test_input_at_the_nesting_limit_is_read_in_a_small_thread(tree):
    assert vorlik.apply(tree, '{"ops":[]}') == tree  # in the main thread first
    assert in_small_thread("vorlik.apply(patch, '{\"ops\":[]}') == patch", tree) == "True"
    assert in_small_thread("vorlik.diff(patch, patch)", tree) == '{"ops":[]}'
