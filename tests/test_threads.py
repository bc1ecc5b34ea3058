"""Many threads calling every function at once on shared inputs get exactly what one thread
gets: the module shares nothing mutable between calls."""

import json
import threading

import vorlik

TREE = json.dumps({"tag": "ul", "slots": {"s": [{"tag": "li", "key": str(i)} for i in range(300)]}})
NEW = json.dumps({"tag": "ul", "slots": {"s": [{"tag": "li", "key": str(i)} for i in range(299, -1, -1)]}})
MANIFEST = (
    '{"modules":[{"declarations":[{"customElement":true,"tagName":"straße-x",'
    '"attributes":[{"name":"a","type":{"text":"\'x\' | null"},"default":" 3 "}]}]}]}'
)


def calls():
    patch = vorlik.diff(TREE, NEW)
    return [
        patch,
        vorlik.apply(TREE, patch),
        vorlik.encode_frame(NEW, "m", "patch", 9, "application/msgpack"),
        vorlik.decode_frame(vorlik.encode_frame(TREE, "m", "snapshot", 3, "application/json")),
        vorlik.parse_cem(MANIFEST),
        repr(vorlik.Example("x")),
        error(lambda: vorlik.apply(TREE, '{"ops":[{"MoveChild":[[],"s",400,0]}]}')),
        error(lambda: vorlik.diff(TREE, NEW + "x")),
    ]


def error(call):
    try:
        call()
    except ValueError as e:
        return str(e)
    raise AssertionError("no error")


def test_concurrent_calls_give_the_sequential_results():
    expected = calls()
    results, failures = [], []

    def work():
        try:
            for _ in range(20):
                results.append(calls())
        except BaseException as e:  # a thread's failure must fail the test
            failures.append(e)

    threads = [threading.Thread(target=work) for _ in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=300)
    assert not failures
    assert len(results) == 160 and all(r == expected for r in results)
