"""Patch reading: object and array forms, the optional key, skipped members, and the messages."""

import pytest

import vorlik

ROOT = '{"tag":"r","key":"k","props":{"n":"Null"},"slots":{"s":[{"tag":"a"},{"tag":"b"}]}}'
SWAPPED = ROOT.replace('{"tag":"a"},{"tag":"b"}', '{"tag":"b"},{"tag":"a"}')


def applied(patch):
    return vorlik.apply(ROOT, patch)


@pytest.mark.parametrize(
    "object_form, array_form",
    [
        ('{"SetProp":{"path":[],"name":"n","value":{"Int":1}}}', '{"SetProp":[[],"n",{"Int":1}]}'),
        ('{"RemoveProp":{"path":[],"name":"n"}}', '{"RemoveProp":[[],"n"]}'),
        (
            '{"SetEvent":{"path":[],"name":"e","action":{"kind":"js","handler":"h"}}}',
            '{"SetEvent":[[],"e",{"kind":"js","handler":"h"}]}',
        ),
        (
            '{"SetBinding":{"path":[],"name":"b","binding":{"mode":"one-way"}}}',
            '{"SetBinding":[[],"b",{"mode":"one-way"}]}',
        ),
        ('{"SetKey":{"path":[{"slot":"s","index":1}],"key":"q"}}', '{"SetKey":[[["s",1]],"q"]}'),
        ('{"SetKey":{"path":[]}}', '{"SetKey":[[],null]}'),
        (
            '{"InsertChild":{"path":[],"slot":"s","index":2,"node":{"tag":"n"}}}',
            '{"InsertChild":[[],"s",2,{"tag":"n"}]}',
        ),
        ('{"RemoveChild":{"path":[],"slot":"s","index":0}}', '{"RemoveChild":[[],"s",0]}'),
        ('{"MoveChild":{"path":[],"slot":"s","from":1,"to":0}}', '{"MoveChild":[[],"s",1,0]}'),
        (
            '{"Replace":{"path":[{"slot":"s","index":0}],"node":{"tag":"z"}}}',
            '{"Replace":[[{"slot":"s","index":0}],{"tag":"z"}]}',
        ),
    ],
)
def test_array_form_reads_as_object_form(object_form, array_form):
    expected = applied('{"ops":[%s]}' % object_form)
    assert expected != ROOT
    assert applied('{"ops":[%s]}' % array_form) == expected
    assert applied("[[%s]]" % array_form) == expected


@pytest.mark.parametrize(
    "op, expected",
    [
        ('{"MoveChild":{"to":0,"from":1,"slot":"s","path":[]}}', SWAPPED),
        # Skipped values need only be well-formed.
        ('{"MoveChild":{"path":[],"slot":"s","from":1,"to":0,"x":{"a":[1e400,"\\ud800"],"a":null}}}', SWAPPED),
        ('{"MoveChild":{"path":[{"slot":"s","index":0,"z":[]}],"slot":"none","from":9,"to":9}}', ROOT),
    ],
    ids=["member-order", "unknown-member", "unknown-in-path-seg"],
)
def test_members_in_any_order_and_unknown_ones_skipped(op, expected):
    assert applied('{"x":1,"ops":[%s]}' % op) == expected


@pytest.mark.parametrize(
    "patch, message",
    [
        ("{}", "missing field `ops` at line 1 column 2"),
        ('{"ops":[],"ops":[]}', "duplicate field `ops` at line 1 column 15"),
        ("[]", "invalid length 0, expected struct Patch with 1 element at line 1 column 2"),
        ("[[],1]", "trailing characters at line 1 column 5"),
        ("null", "invalid type: null, expected struct Patch at line 1 column 4"),
        # The op's tag.
        ('{"ops":["SetProp"]}', "invalid type: unit variant, expected struct variant at line 1 column 18"),
        ('{"ops":[{}]}', "expected value at line 1 column 10"),
        ('{"ops":[{"SetKey":{"path":[]},"x":1}]}', "expected value at line 1 column 29"),
        ('{"ops":[{"SetKey":null}]}', "invalid type: null, expected struct variant Op::SetKey at line 1 column 22"),
        # Fields in object form; a repeated one is refused before its value is read.
        ('{"ops":[{"SetProp":{"name":"n","value":"Null"}}]}', "missing field `path` at line 1 column 46"),
        ('{"ops":[{"MoveChild":{"path":[],"slot":"s","to":0}}]}', "missing field `from` at line 1 column 50"),
        ('{"ops":[{"SetKey":{"path":[],"key":"a","key":b}}]}', "duplicate field `key` at line 1 column 44"),
        (
            '{"ops":[{"RemoveChild":{"path":[],"slot":"s","index":-1}}]}',
            "invalid value: integer `-1`, expected u64 at line 1 column 55",
        ),
        (
            '{"ops":[{"RemoveChild":{"path":[],"slot":"s","index":1.0}}]}',
            "invalid type: floating point `1.0`, expected u64 at line 1 column 56",
        ),
        (
            '{"ops":[{"SetKey":{"path":[],"key":-1}}]}',
            "invalid type: integer `-1`, expected a string at line 1 column 37",
        ),
        # Array form: too short counts the values read, too long is the container's fault.
        (
            '{"ops":[{"SetProp":[[],"n"]}]}',
            "invalid length 2, expected struct variant Op::SetProp with 3 elements at line 1 column 27",
        ),
        (
            '{"ops":[{"SetKey":[[]]}]}',
            "invalid length 1, expected struct variant Op::SetKey with 2 elements at line 1 column 22",
        ),
        ('{"ops":[{"RemoveChild":[[],"s",0,0]}]}', "trailing characters at line 1 column 34"),
        # Path segments.
        (
            '{"ops":[{"SetKey":{"path":[["s"]]}}]}',
            "invalid length 1, expected struct PathSeg with 2 elements at line 1 column 32",
        ),
        ('{"ops":[{"SetKey":{"path":[{"index":0}]}}]}', "missing field `slot` at line 1 column 38"),
    ],
)
def test_read_errors(patch, message):
    with pytest.raises(ValueError) as info:
        applied(patch)
    assert str(info.value) == message
