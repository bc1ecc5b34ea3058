"""Prints a Markdown table of hostile inputs: what each call gives, how long it takes and how far
it grows the resident set. Each case runs in a fresh interpreter, so a crash shows as a row.

    PYTHONPATH=build/dev .venv/bin/python scripts/hostile_table.py
"""

import json
import subprocess
import sys
import textwrap

# (input, code that builds `data`, expression of the call)
CASES = [
    ("tree with a 100 MB string prop, apply",
     "data = '{\"tag\":\"x\",\"props\":{\"p\":{\"Str\":\"' + 'a' * 100_000_000 + '\"}}}'",
     "vorlik.apply(data, '{\"ops\":[]}')"),
    ("100 MB string payload, encode_frame msgpack",
     "data = '\"' + 'ab\\\\n' * 25_000_000 + '\"'",
     "vorlik.encode_frame(data, 'm', 'patch', 1, 'application/msgpack')"),
    ("100 MB payload of 9,000,000 short strings, encode_frame msgpack",
     "data = '[' + ','.join(['\"abcdefgh\"'] * 9_000_000) + ']'",
     "vorlik.encode_frame(data, 'm', 'patch', 1, 'application/msgpack')"),
    ("100 MB payload of 9,000,000 short strings, encode_frame json",
     "data = '[' + ','.join(['\"abcdefgh\"'] * 9_000_000) + ']'",
     "vorlik.encode_frame(data, 'm', 'patch', 1, 'application/json')"),
    ("128 nested arrays in a binding's compute, diff",
     "data = '{\"tag\":\"x\",\"bindings\":{\"b\":{\"mode\":\"one-way\",\"compute\":' + '[' * 125 + ']' * 125 + '}}}'",
     "vorlik.diff(data, data)"),
    ("unknown node member nested 10^6 deep, diff",
     "data = '{\"tag\":\"a\",\"x\":' + '[' * 10**6 + ']' * 10**6 + '}'",
     "vorlik.diff(data, data)"),
    ("MessagePack payload nested 1024 deep, decode_frame",
     "data = frame(b'\\x91' * 1024 + b'\\xc0')", "vorlik.decode_frame(data)"),
    ("60 nested array32 claiming 2^32-1, then 1 MB of nils, decode_frame",
     "data = frame(b'\\xdd\\xff\\xff\\xff\\xff' * 60 + b'\\xc0' * 1_000_000)", "vorlik.decode_frame(data)"),
    ("frame whose header length claims 4 GiB, decode_frame",
     "data = b'\\xff\\xff\\xff\\xff' + frame(b'\\xc0')[4:]", "vorlik.decode_frame(data)"),
    ("10^6-digit integer payload, encode_frame msgpack",
     "data = '1' * 10**6", "vorlik.encode_frame(data, 'm', 'patch', 1, 'application/msgpack')"),
    ("10^6 props in one node against them reversed, diff",
     "props = [f'\"{i}\":{{\"Int\":{i}}}' for i in range(10**6)]\n"
     "data = '{\"tag\":\"x\",\"props\":{' + ','.join(props) + '}}'\n"
     "other = '{\"tag\":\"x\",\"props\":{' + ','.join(reversed(props)) + '}}'",
     "vorlik.diff(data, other)"),
    ("100,000 keyed children reversed, diff then apply",
     "old = [{'tag': 'li', 'key': str(i)} for i in range(100_000)]\n"
     "data = json.dumps({'tag': 'ul', 'slots': {'s': old}})\n"
     "other = json.dumps({'tag': 'ul', 'slots': {'s': old[::-1]}})",
     "vorlik.apply(data, vorlik.diff(data, other))"),
    ("30,000 MoveChild on 30,000 children, apply",
     "data = json.dumps({'tag': 'r', 'slots': {'s': [{'tag': 'x'}] * 30_000}})\n"
     "patch = '{\"ops\":[' + ','.join(['{\"MoveChild\":[[],\"s\",0,29999]}'] * 30_000) + ']}'",
     "vorlik.apply(data, patch)"),
    ("patch nesting 6,000 levels, apply in a 128 KB thread",
     "node = {'tag': 'x'}\n"
     "for _ in range(39): node = {'tag': 'x', 'slots': {'s': [node]}}\n"
     "chain = json.dumps(node)\n"
     "data = '{\"ops\":[' + ','.join('{\"InsertChild\":[[' + ','.join(['[\"s\",0]'] * d) + '],\"s\",0,' + chain + ']}' "
     "for d in range(0, 6000, 40)) + ']}'",
     "in_small_thread(lambda: vorlik.apply('{\"tag\":\"r\"}', data))"),
    ("lone surrogate escape, encode_frame msgpack",
     "data = '\"\\\\udc00\"'", "vorlik.encode_frame(data, 'm', 'patch', 1, 'application/msgpack')"),
]

PRELUDE = """
import json, resource, threading, time, vorlik
def frame(payload):
    header = b'{"codec":"application/msgpack","model_type":"m","target":0,"rev":1,"kind":"Patch"}'
    return len(header).to_bytes(4, 'big') + header + len(payload).to_bytes(4, 'big') + payload
def in_small_thread(call):
    threading.stack_size(128 * 1024)
    out = []
    def work():
        try:
            out.append(call())
        except BaseException as e:
            out.append(e)
    t = threading.Thread(target=work)
    t.start()
    t.join()
    if isinstance(out[0], BaseException):
        raise out[0]
    return out[0]
def peak():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
"""

MEASURE = """
before = peak()
start = time.perf_counter()
try:
    result = {call}
    outcome = "ok, " + f"{{len(result):,}}" + (" bytes" if isinstance(result, bytes) else " chars")
except ValueError as e:
    outcome = "ValueError: " + str(e)[:50]
seconds = time.perf_counter() - start
print(json.dumps({{"outcome": outcome, "seconds": seconds, "growth": peak() - before,
                  "input": len(data)}}))
"""


def run(build: str, call: str) -> dict:
    program = PRELUDE + build + "\n" + textwrap.dedent(MEASURE.format(call=call))
    done = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True, timeout=600)
    if done.returncode != 0:
        return {"outcome": f"exit {done.returncode}", "seconds": float("nan"), "growth": 0, "input": 0}
    return json.loads(done.stdout)


def main() -> None:
    print("| input | result | time | peak memory growth |")
    print("|---|---|---|---|")
    for name, build, call in CASES:
        r = run(build, call)
        size = r["input"]
        ratio = f" ({r['growth'] / size:.1f}x input)" if size > 1 << 20 else ""
        print(f"| {name} | {r['outcome']} | {r['seconds']:.3f} s | {r['growth'] / 2**20:.1f} MB{ratio} |",
              flush=True)


if __name__ == "__main__":
    main()
