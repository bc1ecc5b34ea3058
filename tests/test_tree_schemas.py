"""Trees against component schemas: the constructors `vorlik cem --python` writes, and the check."""

import importlib.util
import inspect
import json
import os
import pathlib
import re
import subprocess
import sys

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import vorlik
import vorlik_tree
from vorlik_tree import Binding, Emit, Finding, Node, Schemas, check, python_module

ROOT = pathlib.Path(__file__).resolve().parent.parent
MANIFESTS = [ROOT / "examples" / "custom-elements.json", *sorted((ROOT / "tests" / "manifests").glob("*.json"))]
NO_OPS = '{"ops":[]}'


def schemas_of(path):
    return json.loads(vorlik.parse_cem(path.read_text(encoding="utf-8")))


def components(path):
    """Each tag's first schema, as the check and the constructors take them."""
    first = {}
    for schema in schemas_of(path):
        first.setdefault(schema["tag_name"], schema)
    return list(first.values())


@pytest.fixture(scope="module")
def generated(tmp_path_factory):
    folder = tmp_path_factory.mktemp("generated")
    modules = {}
    for i, path in enumerate(MANIFESTS):
        (folder / f"components_{i}.py").write_text(python_module(vorlik.parse_cem(path.read_text("utf-8")), path.name))
        spec = importlib.util.spec_from_file_location(f"components_{i}", folder / f"components_{i}.py")
        module = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(module)
        modules[path] = module
    return folder, modules


# ---- valid values for a prop type, and values that break it

texts = st.text(st.characters(blacklist_categories=("Cs",)), max_size=6)
anything = st.recursive(
    st.none()
    | st.booleans()
    | st.integers(-(2**63), 2**63 - 1)
    | st.floats(allow_nan=False, allow_infinity=False)
    | texts,
    lambda x: st.lists(x, max_size=3),
    max_leaves=4,
)


def valid(ty):
    if ty == "Any":
        return anything
    if ty == "Bool":
        return st.booleans()
    if ty == "Str":
        return texts
    if ty == "Number":
        return st.integers(-(2**63), 2**63 - 1) | st.floats(allow_nan=False, allow_infinity=False)
    if "Enum" in ty:
        return st.sampled_from(ty["Enum"])
    return st.none() | valid(ty["Optional"])


def wrong_kind(ty):
    """A value of a kind the type does not take, or None for Any."""
    base = ty["Optional"] if isinstance(ty, dict) and "Optional" in ty else ty
    return {"Any": None, "Bool": 1, "Str": 2.5, "Number": "3"}.get(base, True) if isinstance(base, str) else 7


@st.composite
def tree_of(draw, comps, depth=0):
    """A tree of the manifest's components with valid props, events, slots and bindings."""
    c = draw(st.sampled_from(comps))
    names = list(dict.fromkeys(p["name"] for p in c["props"]))
    types = {p["name"]: p["ty"] for p in reversed(c["props"])}  # the first declaration counts for a constructor
    props = {n: draw(valid(types[n])) for n in draw(st.lists(st.sampled_from(names), unique=True))} if names else {}
    events = {e: Emit(e) for e in draw(st.lists(st.sampled_from(c["events"]), unique=True))} if c["events"] else {}
    slots = {}
    if c["slots"] and depth < 2:
        for s in draw(st.lists(st.sampled_from(c["slots"]), unique=True, max_size=2)):
            slots[s] = draw(st.lists(tree_of(comps, depth + 1), max_size=2))
    bindings = (
        {n: Binding("one-way", "f") for n in draw(st.lists(st.sampled_from(names), unique=True, max_size=1))}
        if names
        else {}
    )
    return Node(c["tag_name"], draw(st.none() | texts), props=props, slots=slots, events=events, bindings=bindings)


def nodes_with_paths(node, path="root"):
    yield node, path
    for name, children in (node.slots or {}).items():
        for i, child in enumerate(children):
            yield from nodes_with_paths(child, f"{path}.slots[{name!r}][{i}]")


FAULTS = ["unknown tag", "unknown prop", "unknown event", "unknown slot", "wrong kind", "not in enum", "binding"]


@pytest.mark.parametrize("manifest", MANIFESTS, ids=lambda p: p.name)
@settings(max_examples=60, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(data=st.data())
def test_trees_of_the_schemas_pass_and_every_injected_fault_is_found(manifest, data):
    comps = components(manifest)
    schemas = Schemas(vorlik.parse_cem(manifest.read_text("utf-8")))
    tree = data.draw(tree_of(comps))
    assert check(tree, schemas) == [] and check(tree.to_json(), schemas) == []
    node, path = data.draw(st.sampled_from(list(nodes_with_paths(tree))))
    c = next(c for c in comps if c["tag_name"] == node.tag)
    types = {p["name"]: p["ty"] for p in reversed(c["props"])}
    fault = data.draw(st.sampled_from(FAULTS))
    props = node.props = dict(node.props)
    if fault == "unknown tag":
        node.tag, expected = "zz-unknown", Finding(path, fault, "no component has the tag 'zz-unknown'")
    elif fault == "unknown prop":
        props["zz-prop"] = 1
        expected = Finding(f"{path}.props['zz-prop']", fault, f"{c['tag_name']!r} has no prop 'zz-prop'")
    elif fault == "unknown event":
        node.events = dict(node.events, **{"zz-event": Emit("x")})
        expected = Finding(f"{path}.events['zz-event']", fault, f"{c['tag_name']!r} has no event 'zz-event'")
    elif fault == "unknown slot":
        node.slots = dict(node.slots, **{"zz-slot": []})
        expected = Finding(f"{path}.slots['zz-slot']", fault, f"{c['tag_name']!r} has no slot 'zz-slot'")
    elif fault == "binding":
        node.bindings = {"zz-prop": Binding("two-way")}
        expected = Finding(
            f"{path}.bindings['zz-prop']", "unknown prop", f"{c['tag_name']!r} has no prop 'zz-prop' to bind"
        )
    else:
        choices = [
            n
            for n, ty in types.items()
            if (wrong_kind(ty) is not None if fault == "wrong kind" else "Enum" in str(ty))
            and all(p["ty"] == ty for p in c["props"] if p["name"] == n)
        ]
        if not choices:
            return
        name = data.draw(st.sampled_from(choices))
        props[name] = wrong_kind(types[name]) if fault == "wrong kind" else "zz-not-listed"
        found = check(tree, schemas)
        assert [(f.path, f.kind) for f in found] == [(f"{path}.props[{name!r}]", fault)], found
        return
    assert check(tree, schemas) == [expected]


@pytest.mark.parametrize(
    "value, kind, message",
    [
        (
            "huge",
            "not in enum",
            "'ui-button' prop 'variant' takes one of 'primary', 'secondary', 'danger', not Str 'huge'",
        ),
        (None, "wrong kind", "'ui-button' prop 'variant' takes one of 'primary', 'secondary', 'danger', not Null"),
        (1.5, "wrong kind", "'ui-button' prop 'variant' takes one of 'primary', 'secondary', 'danger', not Float"),
    ],
)
def test_findings_say_what_the_prop_takes(value, kind, message):
    manifest = MANIFESTS[0].read_text("utf-8")
    found = check(Node("ui-button", props={"variant": value}), Schemas.from_manifest(manifest))
    assert found == [Finding("root.props['variant']", kind, message)]
    assert str(found[0]) == f"root.props['variant']: {message}"


def test_allowed_tags_are_taken_as_they_are_and_their_children_checked():
    schemas = Schemas.from_manifest(MANIFESTS[0].read_text("utf-8"))
    tree = Node("div", props={"anything": 1}, slots={"": [Node("span"), Node("ui-dialog", props={"open": "yes"})]})
    assert [f.kind for f in check(tree, schemas, allow_tags={"div"})] == ["unknown tag", "wrong kind"]
    with pytest.raises(ValueError, match="missing field `tag`"):
        check("{}", schemas)


# ---- the generated constructors


def test_generated_modules_pass_strict_type_checking_and_misuse_is_reported(generated, tmp_path_factory):
    pytest.importorskip("mypy")
    folder, _ = generated
    misuse = folder / "misuse.py"
    misuse.write_text(
        "\n".join(
            [
                "from vorlik_tree import Binding, Emit, Node",
                "from components_0 import UiButton, UiDialog, UiRangeSlider",
                "ok: Node = UiButton(variant='danger', disabled=True, on_ui_press=Emit('x'), children=[UiDialog(open=False)],",
                "                    bindings={'label': Binding('one-way', 'f')})",
                "UiButton(variant='huge')  # error",
                "UiButton(disabled='no')  # error",
                "UiButton(size=3)  # error",
                "UiRangeSlider(min='0')  # error",
                "UiDialog(on_ui_close='close')  # error",
                "UiButton(bindings={'nope': Binding('one-way')})  # error",
                "UiButton(children=[{'tag': 'x'}])  # error",
                "from vorlik_tree import Id, If, Lit, Not, Field, SetProp, Submodel, This",
                "numbers: list[int] = [1, 2]",
                "tree = Node('x', 'k', props={'n': numbers, 'm': {'a': 1.5, 'b': [None, True]}, 's': Submodel(3)},",
                "            events={'e': If(Not(Field('f')), SetProp(Id('i'), 'p', Lit({'a': [1]})))})",
                "Node('x', props={'a': object()})  # error",
                "Node('x', events={'e': Lit(1)})  # error",
                "Emit(3)  # error",
                "SetProp(This(), 'p', Emit('e'))  # error",
                "Binding('both')  # error",
                "text: str = tree.to_json()",
            ]
        )
        + "\n"
    )
    env = dict(
        os.environ,
        MYPY_CACHE_DIR=str(tmp_path_factory.getbasetemp() / "mypy-cache"),
        PYTHONPATH=os.pathsep.join(
            [os.path.dirname(os.path.dirname(vorlik_tree.__file__)), os.path.dirname(vorlik.__file__)]
        ),
    )
    modules = sorted(str(p) for p in folder.glob("components_*.py"))
    done = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", *modules],
        capture_output=True,
        text=True,
        env=env,
        cwd=folder,
        timeout=600,
    )
    assert done.returncode == 0, done.stdout + done.stderr
    done = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "misuse.py"],
        capture_output=True,
        text=True,
        env=env,
        cwd=folder,
        timeout=600,
    )
    reported = {int(n) for n in re.findall(r"misuse\.py:(\d+): error", done.stdout)}
    marked = {i for i, line in enumerate(misuse.read_text().splitlines(), 1) if "# error" in line}
    assert reported == marked, done.stdout


def _arguments(fn, schema):
    """The constructor's prop arguments, in the order of the schema's props."""
    names = list(dict.fromkeys(p["name"] for p in schema["props"]))
    params = list(inspect.signature(fn).parameters.values())[1 : 1 + len(names)]
    return dict(zip(names, params))


@pytest.mark.parametrize("manifest", MANIFESTS, ids=lambda p: p.name)
@settings(max_examples=40, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(data=st.data())
def test_constructors_build_the_trees_their_schemas_allow(generated, manifest, data):
    module = generated[1][manifest]
    comps = components(manifest)
    schemas = Schemas(comps)
    for name, schema in zip(module.__all__, comps):
        fn = getattr(module, name)
        types = {p["name"]: p["ty"] for p in reversed(schema["props"])}
        arguments = _arguments(fn, schema)
        given_props = (
            {
                prop: data.draw(valid(types[prop]))
                for prop in data.draw(st.lists(st.sampled_from(list(arguments)), unique=True))
            }
            if arguments
            else {}
        )
        kwargs = {arguments[prop].name: value for prop, value in given_props.items()}
        params = inspect.signature(fn).parameters
        for event in dict.fromkeys(schema["events"]):
            kwargs[next(p for p in params if p.startswith("on_") and params[p].default is None and p not in kwargs)] = (
                Emit(event)
            )
        tree = fn(key="k", **kwargs)
        text = tree.to_json()
        assert vorlik.apply(text, NO_OPS) == text and check(tree, schemas) == []
        assert tree.tag == schema["tag_name"]
        written = tree.props or {}
        for prop, value in given_props.items():
            default = arguments[prop].default
            at_default = value is default or (type(value) is type(default) and value == default)
            assert (prop not in written) if at_default else written[prop] is value
        assert sorted(tree.events or {}) == sorted(set(schema["events"]))


def test_constructor_arguments_and_defaults(generated):
    module = generated[1][MANIFESTS[0]]
    slider = inspect.signature(module.UiRangeSlider).parameters
    assert [(n, p.default) for n, p in slider.items()][:6] == [
        ("key", None),
        ("min", 0),
        ("max", 100),
        ("step", 0.5),
        ("orientation", "horizontal"),
        ("format", None),
    ]
    assert (
        module.UiRangeSlider(step=None, min=0.0).to_json()
        == '{"tag":"ui-range_slider","props":{"min":{"Float":0.0},"step":"Null"}}'
    )
    button = module.UiButton(label="Go", props={"label": "lost", "id": "b1"}, slot_icon=[Node("svg-icon")])
    assert button.to_json() == (
        '{"tag":"ui-button","props":{"id":{"Str":"b1"},"label":{"Str":"Go"}},"slots":{"icon":[{"tag":"svg-icon"}]}}'
    )
    assert "Visual emphasis. Default 'primary'." in module.UiButton.__doc__


def test_awkward_names_become_distinct_identifiers(generated):
    module = generated[1][MANIFESTS[1]]
    assert module.__all__ == ["XMapping", "Literal_", "Component", "_2faBox", "ÜBox", "XMapping_", "True_"]
    params = list(inspect.signature(module.XMapping).parameters)
    assert params[:8] == ["key", "class_", "for_", "type", "key_", "props_", "_vt_", "Literal_"]
    tree = module.XMapping(
        class_="c", key_="k", aria_label_="x", on_update_model_value_=Emit("e"), slot_a_b=[Node("i")]
    )
    assert tree.to_json() == (
        '{"tag":"x-mapping","props":{"aria_label":{"Str":"x"},"class":{"Str":"c"},'
        '"key":{"Str":"k"}},"slots":{"a b":[{"tag":"i"}]},"events":{"update-model-value":'
        '{"kind":"emit","event":"e","detail":null}}}'
    )
    # From 3.13 on the compiler expands a docstring's tabs, as inspect.getdoc does on every version.
    assert re.search(r'Backslash \\ and """ and a tab(\t| +)and\r\n', module.XMapping.__doc__)
    # A name Python refuses to bind, and a prop's later lines indented under its own entry.
    assert module.XMapping(__debug___=True).to_json() == '{"tag":"x-mapping","props":{"__debug__":{"Bool":true}}}'
    assert "    __debug___: First line\n        second line" in inspect.getdoc(module.XMapping)


def vorlik_cmd(*args, stdin=b""):
    return subprocess.run(
        [sys.executable, "-m", "vorlik_cli", *map(str, args)], input=stdin, capture_output=True, timeout=60
    )


def test_command_writes_the_module_and_checks_trees(tmp_path):
    manifest = MANIFESTS[0]
    r = vorlik_cmd("cem", "--python", manifest)
    assert (r.returncode, r.stderr) == (0, b"")
    assert r.stdout.decode() == python_module(vorlik.parse_cem(manifest.read_text("utf-8")), manifest.name)
    good = Node("ui-dialog", props={"open": True}, slots={"footer": [Node("ui-button", props={"variant": "danger"})]})
    bad = Node("ui-dialog", props={"open": "yes"}, slots={"footer": [Node("div")]})
    assert vorlik_cmd("check", "-", "--schemas", manifest, stdin=good.to_json().encode()).returncode == 0
    r = vorlik_cmd("check", "-", "--schemas", manifest, stdin=bad.to_json().encode())
    assert (r.returncode, r.stderr) == (1, b"")
    assert r.stdout.decode().splitlines() == [
        "root.props['open']: 'ui-dialog' prop 'open' takes Bool, not Str 'yes'",
        "root.slots['footer'][0]: no component has the tag 'div'",
    ]
    r = vorlik_cmd("check", "-", "--schemas", manifest, "--allow-tag", "div", "--json", stdin=bad.to_json().encode())
    assert r.returncode == 1 and json.loads(r.stdout) == [
        {
            "path": "root.props['open']",
            "kind": "wrong kind",
            "message": "'ui-dialog' prop 'open' takes Bool, not Str 'yes'",
        }
    ]
    r = vorlik_cmd("check", "-", "--schemas", manifest, stdin=b'{"tag":1}')
    assert (r.returncode, r.stdout) == (1, b"") and r.stderr.startswith(b"invalid type: integer `1`, expected a string")
    assert vorlik_cmd("check", "-", stdin=good.to_json().encode()).returncode == 2


def test_command_notes_a_manifest_without_components():
    r = vorlik_cmd("cem", "--python", "-", stdin=b'{"version":"experimental","tags":[{"name":"x-a"}]}')
    assert r.returncode == 0 and b"__all__ = []" in r.stdout
    assert r.stderr.startswith(b"note: the manifest declares no components")
