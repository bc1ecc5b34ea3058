"""The example application: a to-do list, its view function and a scripted session of edits."""

import json


def render(state):
    """The host's view function: application state in, component tree (as JSON text) out."""
    items = [
        {
            "tag": "todo-item",
            "key": item["id"],
            "props": {
                "label": {"Str": item["label"]},
                "done": {"Bool": item["done"]},
            },
            "events": {
                "toggle": {"kind": "patch", "model": "todos", "field": item["id"],
                           "value": {"expr": "event"}},
            },
        }
        for item in state["items"]
    ]
    root = {
        "tag": "todo-app",
        "props": {
            "title": {"Str": state["title"]},
            "remaining": {"Int": sum(not i["done"] for i in state["items"])},
        },
        "slots": {"items": items} if items else {},
        "events": {
            "clear": {"kind": "call", "method": "POST", "url": "/todos/clear"}
            if state["can_clear"]
            else {"kind": "js", "handler": "noClear"},
        },
        "bindings": {"filter": {"field": "filter", "mode": "two-way"}},
    }
    return json.dumps(root)


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
    yield "first render", render(state)
    for what, change in STEPS:
        change(state)
        yield what, render(state)
