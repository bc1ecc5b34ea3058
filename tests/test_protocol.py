"""The control messages: what goes over the wire, and every malformed or hostile message refused."""

import json

import pytest

from vorlik_stream.protocol import (
    MAX_DEPTH,
    POLICY_VIOLATION,
    UNSUPPORTED_DATA,
    BadMessage,
    Event,
    FieldPatch,
    Hello,
    Resync,
    Welcome,
    encode_message,
    parse_client_message,
    parse_host_message,
)


@pytest.mark.parametrize(
    "message, text",
    [
        (Hello(), '{"v":1,"type":"hello","codec":"application/json"}'),
        (
            Hello("application/msgpack", "e1", 41),
            '{"v":1,"type":"hello","codec":"application/msgpack","epoch":"e1","rev":41}',
        ),
        (Resync(), '{"v":1,"type":"resync"}'),
        (
            Event("save", {"id": 3, "tags": ["a", "é"]}),
            '{"v":1,"type":"event","event":"save","detail":{"id":3,"tags":["a","é"]}}',
        ),
        (Event("close"), '{"v":1,"type":"event","event":"close","detail":null}'),
        (FieldPatch("todo", "done", True), '{"v":1,"type":"patch","model":"todo","field":"done","value":true}'),
    ],
)
def test_client_messages_on_the_wire(message, text):
    assert encode_message(message) == text
    assert parse_client_message(text) == message


@pytest.mark.parametrize(
    "text, message",
    [
        ('{"type":"hello","v":1}', Hello()),
        (' {"v":1, "type":"event", "event":""}\n', Event("")),
        ('{"v":1,"type":"hello","epoch":"x","rev":18446744073709551615}', Hello(epoch="x", rev=2**64 - 1)),
        ('{"v":1,"type":"patch","model":"m","field":"f","value":null}', FieldPatch("m", "f", None)),
        (
            '{"v":1,"type":"event","event":"e","detail":' + "[" * (MAX_DEPTH - 1) + "]" * (MAX_DEPTH - 1) + "}",
            Event("e", json.loads("[" * (MAX_DEPTH - 1) + "]" * (MAX_DEPTH - 1))),
        ),
    ],
)
def test_lenient_where_json_is(text, message):
    assert parse_client_message(text) == message


def test_the_welcome():
    welcome = Welcome("page", "9f1c", "application/json")
    text = encode_message(welcome)
    assert text == '{"v":1,"type":"welcome","model_type":"page","epoch":"9f1c","codec":"application/json"}'
    assert parse_host_message(text) == welcome
    with pytest.raises(BadMessage, match="unknown message type; expected one of welcome"):
        parse_host_message(encode_message(Resync()))
    with pytest.raises(BadMessage, match="welcome: member `epoch` is missing"):
        parse_host_message('{"v":1,"type":"welcome","model_type":"p","codec":"c"}')


HELLO = '{"v":1,"type":"hello"'


@pytest.mark.parametrize(
    "data, reason",
    [
        (b'{"v":1,"type":"resync"}', "clients send text messages only"),
        ("", "not a JSON text"),
        ("{", "not a JSON text"),
        ('{"v":1,"type":"resync"} {}', "not a JSON text"),
        ("[1]", "not a JSON object"),
        ('"hello"', "not a JSON object"),
        ('{"type":"resync"}', "member `v` must be the protocol version, an integer"),
        ('{"v":"1","type":"resync"}', "member `v` must be the protocol version, an integer"),
        ('{"v":true,"type":"resync"}', "member `v` must be the protocol version, an integer"),
        ('{"v":1.0,"type":"resync"}', "member `v` must be the protocol version, an integer"),
        ('{"v":2,"type":"resync"}', "unsupported protocol version; this side speaks 1"),
        ('{"v":1}', "member `type` must be a string"),
        (
            '{"v":1,"type":"welcome","model_type":"p","epoch":"e","codec":"c"}',
            "unknown message type; expected one of hello, resync, event, patch",
        ),
        ('{"v":1,"type":"Resync"}', "unknown message type"),
        ('{"v":1,"type":"resync","x":1}', "resync: unknown member"),
        ('{"v":1,"type":"resync","type":"resync"}', "a key is given twice"),
        ('{"v":1,"type":"event"}', "event: member `event` is missing"),
        ('{"v":1,"type":"event","event":5}', "member `event` must be a string"),
        ('{"v":1,"type":"event","event":null}', "member `event` must be a string"),
        ('{"v":1,"type":"patch","model":"m","field":"f"}', "patch: member `value` is missing"),
        ('{"v":1,"type":"patch","model":["m"],"field":"f","value":1}', "member `model` must be a string"),
        (
            HELLO + ',"codec":"APPLICATION/JSON"}',
            "hello: member `codec` must be one of application/json, application/msgpack",
        ),
        (HELLO + ',"codec":null}', "hello: member `codec` must be one of"),
        (HELLO + ',"epoch":"e"}', "hello: members `epoch` and `rev` go together"),
        (HELLO + ',"rev":3}', "hello: members `epoch` and `rev` go together"),
        (HELLO + ',"epoch":7,"rev":3}', "hello: member `epoch` must be a string"),
        (HELLO + ',"epoch":"e","rev":-1}', "hello: member `rev` must be an integer from 0 to 2**64-1"),
        (HELLO + ',"epoch":"e","rev":18446744073709551616}', "hello: member `rev` must be an integer"),
        (HELLO + ',"epoch":"e","rev":1.5}', "hello: member `rev` must be an integer"),
        (HELLO + ',"epoch":"e","rev":true}', "hello: member `rev` must be an integer"),
        # hostile
        ('{"v":1,"type":"event","event":"e","detail":' + "1" * 21 + "}", "a number has too many digits"),
        ('{"v":1,"type":"event","event":"e","detail":' + "9" * 5000 + "}", "a number has too many digits"),
        ('{"v":1,"type":"event","event":"e","detail":1e999}', "a number is out of range"),
        ('{"v":1,"type":"event","event":"e","detail":NaN}', "NaN is not JSON"),
        ('{"v":1,"type":"event","event":"e","detail":-Infinity}', "-Infinity is not JSON"),
        ('{"v":1,"type":"event","event":"e","detail":"\\ud800"}', "a string holds a lone surrogate"),
        ('{"v":1,"type":"event","event":"\\udfff","detail":1}', "a string holds a lone surrogate"),
        ('{"v":1,"type":"event","event":"e","detail":{"\\ud800x":1}}', "a string holds a lone surrogate"),
        (
            '{"v":1,"type":"event","event":"e","detail":' + "[" * MAX_DEPTH + "]" * MAX_DEPTH + "}",
            f"values nest deeper than {MAX_DEPTH} levels",
        ),
        (
            '{"v":1,"type":"event","event":"e","detail":' + '{"a":' * MAX_DEPTH + "1" + "}" * MAX_DEPTH + "}",
            f"values nest deeper than {MAX_DEPTH} levels",
        ),
        ("[" * 100_000, "message longer than 65536 characters"),
        ("[" * 60_000 + "]" * 4_000, "not a JSON text"),  # deeper than the JSON parser goes
        ('{"v":1,"type":"event","event":"' + "x" * 70_000 + '"}', "message longer than 65536 characters"),
    ],
)
def test_malformed_and_hostile_messages_are_refused_with_a_reason(data, reason):
    with pytest.raises(BadMessage) as info:
        parse_client_message(data)
    assert info.value.reason.startswith(reason)
    assert info.value.code == (UNSUPPORTED_DATA if isinstance(data, bytes) else POLICY_VIOLATION)
    assert len(info.value.reason.encode()) <= 123


def test_a_host_may_lower_the_size_limit():
    text = encode_message(Event("e", "x" * 100))
    assert parse_client_message(text, max_message=len(text)) == Event("e", "x" * 100)
    with pytest.raises(BadMessage, match="message longer than 50 characters"):
        parse_client_message(text, max_message=50)


def test_reasons_are_cut_to_what_a_close_frame_holds():
    assert len(BadMessage("é" * 100).reason.encode()) == 122
