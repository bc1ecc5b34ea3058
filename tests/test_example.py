"""The Example class."""

import sys
import weakref

import pytest

from vorlik import Example


@pytest.mark.parametrize("value", ["hi", "", "a>b", "line\nbreak", "\u00e9\U0001f600", "nul\0byte"])
def test_str_and_repr(value):
    for e in (Example(value), Example(value=value), Example(type("S", (str,), {})(value))):
        assert str(e) == value and type(str(e)) is str
        assert repr(e) == f"Example<{value}>"


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: Example(), "Example.__new__() missing 1 required positional argument: 'value'"),
        (lambda: Example("a", "b"), "Example.__new__() takes 1 positional arguments but 2 were given"),
        (lambda: Example("a", value="b"), "Example.__new__() got multiple values for argument 'value'"),
        (lambda: Example(value="a", other="b"), "Example.__new__() got an unexpected keyword argument 'other'"),
    ],
)
def test_binding_messages(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


@pytest.mark.parametrize(
    "value, exc, message",
    [
        (5, TypeError, "'int' object is not an instance of 'str'"),
        (None, TypeError, "'None' is not an instance of 'str'"),
        ("\udc80", UnicodeEncodeError, None),
    ],
)
def test_conversion_errors(value, exc, message):
    with pytest.raises(exc) as info:
        Example(value)
    assert message is None or str(info.value) == message
    # Interpreters before 3.11 have no add_note: the exception is raised without the note.
    notes = ["while processing 'value'"] if hasattr(BaseException, "add_note") else None
    assert getattr(info.value, "__notes__", None) == notes


def test_class_properties():
    assert Example.__name__ == Example.__qualname__ == "Example"
    assert Example.__module__ == "builtins"
    assert repr(Example) == "<class 'builtins.Example'>"
    assert Example.__text_signature__ == "(value)" and Example.__doc__ == ""
    assert Example.__bases__ == (object,) and not hasattr(Example("x"), "value")
    with pytest.raises(TypeError):
        type("Sub", (Example,), {})
    e = Example("x")
    assert not hasattr(e, "__dict__")
    with pytest.raises(AttributeError):
        e.extra = 1
    with pytest.raises(TypeError):
        weakref.ref(e)


def test_instances_release_their_class():
    before = sys.getrefcount(Example)
    items = [Example("v" * i) for i in range(100)]
    assert sys.getrefcount(Example) == before + 100
    del items
    assert sys.getrefcount(Example) == before
