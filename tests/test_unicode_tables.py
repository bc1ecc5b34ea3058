"""The generated uppercase and White_Space tables agree with ICU on every code point."""

import json
import pathlib
import re

import icu_reference
import pytest

import vorlik

TABLES = pathlib.Path(__file__).resolve().parent.parent / "src" / "cem" / "unicode_tables.hpp"
# Separators of tag names and type texts, and the NUL that ends pieces, would change the shape.
SKIPPED = {"-", "_", "|", "\0"}
SCALARS = [chr(c) for c in range(0x110000) if not 0xD800 <= c <= 0xDFFF and chr(c) not in SKIPPED]
BATCH = 0x10000


@pytest.fixture(scope="module")
def icu():
    icu = icu_reference.load()
    if icu is None:
        pytest.skip("ICU's runtime library is not installed")
    ours = re.search(r'kUnicodeVersion = "([\d.]+)"', TABLES.read_text()).group(1)
    if icu.unicode_version != ours:
        pytest.skip(f"ICU has Unicode {icu.unicode_version}, the tables {ours}")
    return icu


def batches():
    return [SCALARS[i : i + BATCH] for i in range(0, len(SCALARS), BATCH)]


def parse(declarations):
    return json.loads(vorlik.parse_cem(json.dumps({"modules": [{"declarations": declarations}]})))


def test_class_names_use_the_full_uppercase_mapping(icu):
    mismatches = []
    for chars in batches():
        # One piece per character, each ending in NUL so the results can be told apart; root
        # uppercasing has no context, so ICU may map the whole text at once.
        [schema] = parse([{"customElement": True, "tagName": "-".join(c + "\0" for c in chars)}])
        ours = schema["class_name"].split("\0")
        theirs = icu.upper("".join(c + "\0" for c in chars)).split("\0")
        assert len(ours) == len(theirs) == len(chars) + 1
        mismatches += [f"U+{ord(c):04X}" for c, a, b in zip(chars, ours, theirs) if a != b]
    assert mismatches == []


def test_type_texts_are_trimmed_of_white_space_only(icu):
    mismatches = []
    for chars in batches():
        texts = [json.dumps(t) for c in chars for t in (c + "string", "string" + c)]
        attributes = ",".join('{"name":"","type":{"text":%s}}' % t for t in texts)
        manifest = (
            '{"modules":[{"declarations":[{"customElement":true,"tagName":"t","attributes":[%s]}]}]}' % attributes
        )
        types = re.findall(r'"ty":"(\w+)"', vorlik.parse_cem(manifest))
        assert len(types) == 2 * len(chars)
        for c, lead, trail in zip(chars, types[0::2], types[1::2]):
            expected = "Str" if icu.is_white_space(c) else "Any"
            if lead != expected or trail != expected:
                mismatches.append(f"U+{ord(c):04X}")
    assert mismatches == []
