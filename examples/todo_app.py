"""The example application: a to-do list, its view function and a scripted session of edits."""

from vorlik_tree import Binding, CallEndpoint, Event, NamedJs, Node, SendPatch


def render(state):
    """The host's view function: application state in, component tree out."""
    items = [
        Node(
            "todo-item",
            item["id"],
            props={"label": item["label"], "done": item["done"]},
            events={"toggle": SendPatch("todos", item["id"], Event())},
        )
        for item in state["items"]
    ]
    return Node(
        "todo-app",
        props={"title": state["title"], "remaining": sum(not i["done"] for i in state["items"])},
        slots={"items": items} if items else None,
        events={"clear": CallEndpoint("POST", "/todos/clear") if state["can_clear"] else NamedJs("noClear")},
        bindings={"filter": Binding("two-way", "filter")},
    )


def initial_state():
    """The state the scripted session starts from."""
    return {
        "title": "Groceries",
        "can_clear": False,
        "items": [
            {"id": "a", "label": "apples", "done": False},
            {"id": "b", "label": "bread", "done": False},
            {"id": "c", "label": "cheese", "done": True},
        ],
    }


#: The scripted edits: (what happens, how the state changes).
STEPS = [
    ("reorder the list", lambda s: s["items"].reverse()),
    ("insert an item", lambda s: s["items"].insert(1, {"id": "d", "label": "dates", "done": False})),
    ("tick one off", lambda s: next(i for i in s["items"] if i["id"] == "d").update(done=True)),
    ("remove two items", lambda s: s.update(items=[i for i in s["items"] if i["id"] not in "ab"])),
    ("rename and enable clearing", lambda s: s.update(title="Shopping", can_clear=True)),
    ("empty the list", lambda s: s.update(items=[])),
]


def scripted_trees():
    """The trees of the scripted session, in order: (what happened, tree JSON)."""
    state = initial_state()
    yield "first render", render(state).to_json()
    for what, change in STEPS:
        change(state)
        yield what, render(state).to_json()
