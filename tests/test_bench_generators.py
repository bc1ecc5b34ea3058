"""The benchmark's workloads are seeded and valid, and its plain Python diff/apply give
vorlik's exact patch and result, so the baseline it times does the same work."""

import json
import sys
from pathlib import Path

import pytest

import vorlik

BENCH = Path(__file__).resolve().parent.parent / "bench"
sys.path.insert(0, str(BENCH))
workloads = pytest.importorskip("workloads")
pydiff = pytest.importorskip("pydiff")


PAIRS = [(shape, change) for shape, changes in workloads.CHANGES_OF.items() for change in changes]


@pytest.mark.parametrize("shape,change", PAIRS)
def test_python_diff_and_apply_match_vorlik(shape, change):
    old, new = workloads.pair(shape, change, 6_000, seed=3)
    patch = vorlik.diff(old, new)
    assert pydiff.diff(json.loads(old), json.loads(new)) == patch
    assert pydiff.apply(json.loads(old), json.loads(patch)) == vorlik.apply(old, patch) == new


@pytest.mark.parametrize("shape", sorted(workloads.SHAPES))
def test_generation_is_seeded_and_near_the_target_size(shape):
    first = workloads.pair(shape, workloads.CHANGES_OF[shape][0], 20_000, seed=5)
    assert first == workloads.pair(shape, workloads.CHANGES_OF[shape][0], 20_000, seed=5)
    assert 15_000 <= len(first[0].encode()) <= 60_000


@pytest.mark.parametrize(
    "x", [0.0, -0.0, 1.0, 1e16, 1e15, 0.00001, 1e-6, 123.456, -1.5e-7, 1.7976931348623157e308, 5e-324, 0.1, 1234567.125]
)
def test_float_writing_matches_vorlik(x):
    tree = json.dumps({"tag": "t", "props": {"f": {"Float": x}}})
    expected = vorlik.apply(tree, '{"ops":[]}')
    out = []
    pydiff.write_node(json.loads(tree), out)
    assert "".join(out) == expected


def test_manifest_parses():
    assert json.loads(vorlik.parse_cem(workloads.manifest(10_000)))
