"""Component schemas: reading a custom-elements manifest and the schema list derived from it."""

import json
import pathlib

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import vorlik

EXAMPLE = pathlib.Path(__file__).resolve().parent.parent / "examples" / "custom-elements.json"


def manifest(*declarations):
    return json.dumps({"modules": [{"declarations": list(declarations)}]}, ensure_ascii=False)


def component(tag="x-y", **fields):
    return {"customElement": True, "tagName": tag, **fields}


def schemas(*declarations):
    return json.loads(vorlik.parse_cem(manifest(*declarations)))


def only_prop(**attribute):
    [schema] = schemas(component(attributes=[{"name": "p", **attribute}]))
    [prop] = schema["props"]
    return prop


def error(text):
    with pytest.raises(ValueError) as info:
        vorlik.parse_cem(text)
    return str(info.value)


# --- Which declarations become components ---------------------------------------------------


@pytest.mark.parametrize(
    "text", ["{}", "[]", "[[]]", '{"modules":[{}]}', '{"modules":[[]]}', '{"modules":[{"declarations":[]}]}']
)
def test_manifests_without_declarations_give_no_components(text):
    assert vorlik.parse_cem(text) == "[]"


@pytest.mark.parametrize(
    "declaration, selected",
    [
        ({"customElement": True, "tagName": "a-b"}, True),
        ({"customElement": True, "tagName": ""}, True),
        ({"customElement": False, "tagName": "a-b"}, False),
        ({"tagName": "a-b"}, False),
        ({"customElement": True}, False),
        ({"customElement": True, "tagName": None}, False),
        ({"kind": "mixin", "name": "M"}, False),
    ],
)
def test_selection_needs_the_flag_and_a_tag_name(declaration, selected):
    assert len(schemas(declaration)) == (1 if selected else 0)


def test_components_keep_manifest_order_across_modules():
    text = json.dumps(
        {
            "modules": [
                {"declarations": [component("b-one"), {"name": "helper"}, component("a-two")]},
                {"declarations": [component("c-three")]},
            ]
        }
    )
    assert [s["tag_name"] for s in json.loads(vorlik.parse_cem(text))] == ["b-one", "a-two", "c-three"]


@pytest.mark.parametrize(
    "fields, summary",
    [
        ({"summary": "S", "description": "D"}, "S"),
        ({"summary": "", "description": "D"}, ""),
        ({"summary": None, "description": "D"}, "D"),
        ({"description": " D \n"}, " D \n"),
        ({"description": None}, None),
        ({}, None),
    ],
)
def test_summary_falls_back_to_the_description(fields, summary):
    [schema] = schemas(component(**fields))
    assert schema.get("summary") == summary
    assert ("summary" in schema) == (summary is not None)


def test_names_are_kept_as_given_in_order_with_duplicates():
    [schema] = schemas(
        component(
            attributes=[{"name": "a"}, {"name": "a", "description": " doc "}],
            events=[{"name": "change"}, {"name": ""}, {"name": "change"}],
            slots=[{"name": ""}, {"name": "footer"}],
        )
    )
    assert schema["props"] == [{"name": "a", "ty": "Any"}, {"name": "a", "ty": "Any", "doc": " doc "}]
    assert schema["events"] == ["change", "", "change"]
    assert schema["slots"] == ["", "footer"]


# --- Class names ------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "tag, name",
    [
        ("my-button", "MyButton"),
        ("x_foo-bar", "XFooBar"),
        ("my--ELEMENT-", "MyELEMENT"),
        ("app-2fa", "App2fa"),
        ("__a__b__", "AB"),
        ("-", ""),
        ("", ""),
        ("a.b c", "A.b c"),
        # Full uppercase mappings, not title case, of the first character only.
        ("ß-x", "SSX"),
        ("ǆ-ǅ", "ǄǄ"),
        ("ﬀ-x", "FFX"),
        ("ŉ", "ʼN"),
        ("ΐ", "\u0399\u0308\u0301"),
        ("ı-i", "II"),
        ("𐐨-x", "𐐀X"),
        ("élé-ment", "ÉléMent"),
        ("x-σς", "XΣς"),
    ],
)
def test_class_name(tag, name):
    [schema] = schemas(component(tag))
    assert schema["class_name"] == name


# --- Property types ---------------------------------------------------------------------------


@pytest.mark.parametrize(
    "text, ty",
    [
        ("string", "Str"),
        ("number", "Number"),
        ("  boolean\t", "Bool"),
        ("string | null", {"Optional": "Str"}),
        ("boolean|undefined|null", {"Optional": "Bool"}),
        ("'a' | \"b\"", {"Enum": ["a", "b"]}),
        ("'a' | 'a'", {"Enum": ["a", "a"]}),
        ("''", {"Enum": [""]}),
        ("'a\\n'", {"Enum": ["a\\n"]}),
        ("| 'x' ||", {"Enum": ["x"]}),
        ("null | 'x' | undefined", {"Optional": {"Enum": ["x"]}}),
        # Everything else is Any, never wrapped.
        ("null", "Any"),
        ("null | undefined", "Any"),
        ("", "Any"),
        (" | ", "Any"),
        ("Boolean", "Any"),
        ("string[]", "Any"),
        ("string | number", "Any"),
        ("number | null | foo", "Any"),
        ("'a' | string", "Any"),
        ("'", "Any"),
        ("'a\"", "Any"),
        ('"a|b"', "Any"),
    ],
)
def test_parse_type(text, ty):
    assert only_prop(type={"text": text})["ty"] == ty


@pytest.mark.parametrize(
    "attribute", [{}, {"type": None}, {"type": {}}, {"type": {"text": None}}, {"type": {"text": "x", "other": [1]}}]
)
def test_attribute_without_a_usable_type_is_any(attribute):
    assert only_prop(**attribute)["ty"] == "Any"


# --- Defaults ---------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "text, default",
    [
        ("true", "true"),
        ("false", "false"),
        (" 'x' ", "x"),
        ('""', ""),
        ("' '", " "),
        ("'null'", "null"),
        ('"it\'s"', "it's"),
        ("-0.5", "-0.5"),
        (".5", ".5"),
        ("5.", "5."),
        ("+1E-3", "+1E-3"),
        ("1e999", "1e999"),
        ("00012", "00012"),
        ("NaN", "NaN"),
        ("-Infinity", "-Infinity"),
        ("+inf", "+inf"),
        ("\t7\n", "7"),
        # Absent.
        (None, None),
        ("null", None),
        ("undefined", None),
        ("", None),
        ("  ", None),
        ("True", None),
        ("primary", None),
        ("'x", None),
        ("0x10", None),
        ("1_000", None),
        ("1e", None),
        ("e5", None),
        (".", None),
        ("1.2.3", None),
        ("--1", None),
        ("infinit", None),
        ("1 2", None),
        ("١٢", None),
    ],
)
def test_default(text, default):
    prop = only_prop(default=text)
    assert prop.get("default") == default
    assert ("default" in prop) == (default is not None)


@pytest.mark.parametrize(
    "padding, trimmed",
    [
        ("\u00a0", True),  # no-break space
        ("\u3000", True),  # ideographic space
        ("\u2028", True),  # line separator
        ("\u0085", True),  # next line
        ("\u200b", False),  # zero width space is not white space
        ("\ufeff", False),  # neither is the byte order mark
    ],
)
def test_trimming_uses_unicode_white_space(padding, trimmed):
    assert only_prop(default=padding + "5" + padding).get("default") == ("5" if trimmed else None)
    assert only_prop(type={"text": padding + "number"})["ty"] == ("Number" if trimmed else "Any")


# --- Reading ----------------------------------------------------------------------------------


def test_escapes_are_decoded_and_output_escaped():
    text = r'{"modules":[{"declarations":[{"customElement":true,"tagName":"a\u002db","summary":"say \"hi\"\u0001\n\u00e9"}]}]}'
    assert vorlik.parse_cem(text) == (
        r'[{"tag_name":"a-b","class_name":"AB","summary":"say \"hi\"\u0001\né",'
        r'"props":[],"events":[],"slots":[]}]'
    )


def test_escaped_keys_are_matched_after_decoding():
    text = r'{"modul\u0065s":[{"declarations":[{"customElement":true,"tag\u004eame":"a-b"}]}]}'
    assert [s["tag_name"] for s in json.loads(vorlik.parse_cem(text))] == ["a-b"]


# Strings read without escapes are written as they stand; every other one is escaped again.
@pytest.mark.parametrize("text", ['say "hi"', "back\\slash", "tab\tline\n", "\u0001", "é ü", "plain"])
def test_every_written_string_reads_back(text):
    [schema] = schemas(
        component(
            summary=text,
            attributes=[{"name": text, "default": "'" + text + "'", "description": text}],
            events=[{"name": text}],
            slots=[{"name": text}],
        )
    )
    [prop] = schema["props"]
    assert [schema["summary"], prop["name"], prop["default"], prop["doc"], *schema["events"], *schema["slots"]] == [
        text
    ] * 6


json_values = st.recursive(
    st.none() | st.booleans() | st.integers() | st.floats(allow_nan=False, allow_infinity=False) | st.text(),
    lambda inner: st.lists(inner, max_size=4) | st.dictionaries(st.text(max_size=5), inner, max_size=4),
    max_leaves=20,
)


@settings(max_examples=60, deadline=None)
@given(extra=json_values)
def test_unknown_members_are_skipped_at_every_level(extra):
    plain = component(
        attributes=[{"name": "n", "type": {"text": "number"}}], events=[{"name": "e"}], slots=[{"name": "s"}]
    )
    cluttered = {
        "x": extra,
        **component(
            attributes=[{"x": extra, "name": "n", "type": {"text": "number", "x": extra}}],
            events=[{"name": "e", "x": extra}],
            slots=[{"x": extra, "name": "s"}],
        ),
        "y": extra,
    }
    text = json.dumps({"x": extra, "modules": [{"x": extra, "declarations": [cluttered]}]})
    assert vorlik.parse_cem(text) == vorlik.parse_cem(manifest(plain))


def test_skipped_values_are_not_limited_in_depth():
    deep = "[" * 300 + "]" * 300
    assert vorlik.parse_cem('{"x":' + deep + ',"modules":[]}') == "[]"


# Errors carry the position rules of the reader: after a scalar that has the wrong type, before
# an array or object that has it, after the closing brace for a missing member, before the colon
# for a duplicate one.
@pytest.mark.parametrize(
    "text, message",
    [
        ("", "EOF while parsing a value at line 1 column 0"),
        ('"x"', 'invalid type: string "x", expected struct Manifest at line 1 column 3'),
        ("null", "invalid type: null, expected struct Manifest at line 1 column 4"),
        ('{"modules":null}', "invalid type: null, expected a sequence at line 1 column 15"),
        ('{"modules":{}}', "invalid type: map, expected a sequence at line 1 column 11"),
        ('{"modules":[5]}', "invalid type: integer `5`, expected struct Module at line 1 column 13"),
        ('{"modules":[{"declarations":null}]}', "invalid type: null, expected a sequence at line 1 column 32"),
        ('{"modules":[],"modules":[]}', "duplicate field `modules` at line 1 column 23"),
        ('{"modules":[]} x', "trailing characters at line 1 column 16"),
        ('{"modules":[]', "EOF while parsing an object at line 1 column 13"),
        ('{"x":[1,,2]}', "expected value at line 1 column 9"),
        ('{\n"modules":\n  [7]}', "invalid type: integer `7`, expected struct Module at line 3 column 4"),
    ],
)
def test_manifest_errors(text, message):
    assert error(text) == message


DECLARATION_AT = '{"modules":[{"declarations":['


def declaration_error(marked):
    """The error for a declaration text in which "^" marks where the error is placed."""
    column = len(DECLARATION_AT) + marked.index("^")
    return error(DECLARATION_AT + marked.replace("^", "") + "]}]}"), column


@pytest.mark.parametrize(
    "marked, description",
    [
        ('{"customElement":null^}', "invalid type: null, expected a boolean"),
        ('{"customElement":"true"^}', 'invalid type: string "true", expected a boolean'),
        ('{"tagName":5^}', "invalid type: integer `5`, expected a string"),
        ('{"tagName":^[]}', "invalid type: sequence, expected a string"),
        ('{"summary":"a","summary"^:"b"}', "duplicate field `summary`"),
        ('{"attributes":[{"type":{"text":"string"}}^]}', "missing field `name`"),
        ('{"attributes":[{"name":"a","type":"string"^}]}', 'invalid type: string "string", expected struct TypeText'),
        ('{"attributes":[{"name":"a","type":{"text":5^}}]}', "invalid type: integer `5`, expected a string"),
        ('{"attributes":[{"name":"a","default":5^}]}', "invalid type: integer `5`, expected a string"),
        ('{"attributes":[{"name":"a","name"^:"b"}]}', "duplicate field `name`"),
        ('{"events":[{"description":"x"}^]}', "missing field `name`"),
        ('{"slots":[null^]}', "invalid type: null, expected struct Named"),
        ('{"slots":null^}', "invalid type: null, expected a sequence"),
    ],
)
def test_declaration_errors(marked, description):
    message, column = declaration_error(marked)
    assert message == f"{description} at line 1 column {column}"


# --- Array form -------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "declaration, expected",
    [
        ('[true,"a-b",null,null]', {"tag_name": "a-b", "class_name": "AB", "props": [], "events": [], "slots": []}),
        (
            '[true,"a-b","S","D",[["n",{"text":"number"},"3",null]],[["e"]],[{"name":"s"}]]',
            {
                "tag_name": "a-b",
                "class_name": "AB",
                "summary": "S",
                "props": [{"name": "n", "ty": "Number", "default": "3"}],
                "events": ["e"],
                "slots": ["s"],
            },
        ),
        (
            '[true,"a-b",null,"D",[["n",["boolean"],"true","d"]]]',
            {
                "tag_name": "a-b",
                "class_name": "AB",
                "summary": "D",
                "props": [{"name": "n", "ty": "Bool", "default": "true", "doc": "d"}],
                "events": [],
                "slots": [],
            },
        ),
    ],
)
def test_records_as_arrays(declaration, expected):
    assert json.loads(vorlik.parse_cem(DECLARATION_AT + declaration + "]}]}")) == [expected]


@pytest.mark.parametrize(
    "marked, description",
    [
        # The flag and the lists may be left off the end; the optional strings may not.
        ("[]^", "invalid length 1, expected struct Declaration with 7 elements"),
        ("[true]^", "invalid length 1, expected struct Declaration with 7 elements"),
        ('[true,"a-b",null]^', "invalid length 3, expected struct Declaration with 7 elements"),
        ('[true,"a-b",null,null,[],[],[],1^]', "trailing characters"),
        ('[true,"a-b",null,null,[[]^]]', "invalid length 0, expected struct Attribute with 4 elements"),
        ('[true,"a-b",null,null,[["n",null]^]]', "invalid length 2, expected struct Attribute with 4 elements"),
        ('[true,"a-b",null,null,[["n",[]^,null,null]]]', "invalid length 0, expected struct TypeText with 1 element"),
        ('[true,"a-b",null,null,[],[[]^]]', "invalid length 0, expected struct Named with 1 element"),
        ('[true,"a-b",null,null,[],[],[["s",1^]]]', "trailing characters"),
        ('[null^,"a-b",null,null]', "invalid type: null, expected a boolean"),
    ],
)
def test_array_form_errors(marked, description):
    message, column = declaration_error(marked)
    assert message == f"{description} at line 1 column {column}"


# --- The whole road ---------------------------------------------------------------------------


def test_example_manifest():
    assert vorlik.parse_cem(EXAMPLE.read_text(encoding="utf-8")) == (
        '[{"tag_name":"ui-button","class_name":"UiButton","summary":"A clickable button.",'
        '"props":[{"name":"variant","ty":{"Enum":["primary","secondary","danger"]},'
        '"default":"primary","doc":"Visual emphasis."},'
        '{"name":"disabled","ty":"Bool","default":"false"},'
        '{"name":"label","ty":{"Optional":"Str"},'
        '"doc":"Text shown when the default slot is empty."}],'
        '"events":["ui-press"],"slots":["","icon"]},'
        '{"tag_name":"ui-range_slider","class_name":"UiRangeSlider",'
        '"summary":"Picks a number between a minimum and a maximum.",'
        '"props":[{"name":"min","ty":"Number","default":"0"},'
        '{"name":"max","ty":"Number","default":"100"},'
        '{"name":"step","ty":{"Optional":"Number"},"default":"0.5"},'
        '{"name":"orientation","ty":{"Optional":{"Enum":["horizontal","vertical"]}},'
        '"default":"horizontal"},'
        '{"name":"format","ty":"Any"}],'
        '"events":["input","change"],"slots":[]},'
        '{"tag_name":"ui-dialog","class_name":"UiDialog",'
        '"props":[{"name":"open","ty":"Bool"},'
        '{"name":"heading","ty":"Any","doc":"Title shown in the header."}],'
        '"events":["ui-close"],"slots":["","footer"]}]'
    )
