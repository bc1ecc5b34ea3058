"""Seeded component trees for the host tests: a keyed list whose items come, go, move and change."""

import json
import random

import vorlik

NO_OPS = '{"ops":[]}'


def _item(rnd: random.Random, k: int) -> dict:
    return {"tag": "li", "key": f"k{k}", "props": {"n": {"Int": rnd.randrange(4)}, "label": {"Str": f"item {k}"}}}


def page(rnd: random.Random, keys: int = 12, title: str | None = None) -> str:
    """A page of a random subset of `keys` items in random order, with random props."""
    chosen = rnd.sample(range(keys), rnd.randrange(1, keys + 1))
    props = {"title": {"Str": title if title is not None else rnd.choice(["a", "b", "c"])}}
    return json.dumps({"tag": "ul", "props": props, "slots": {"items": [_item(rnd, k) for k in chosen]}})


def normal(tree: str) -> str:
    return vorlik.apply(tree, NO_OPS)


def pages(seed: int, count: int, keys: int = 12) -> list[str]:
    """`count` pages, each a small change of the one before (one in eight a whole new page),
    no two in a row the same."""
    rnd = random.Random(seed)
    trees = [page(rnd, keys)]
    while len(trees) < count:
        if rnd.random() < 0.125:
            trees.append(page(rnd, keys))
            continue
        tree = json.loads(trees[-1])
        items = tree["slots"]["items"]
        for _ in range(rnd.randrange(1, 4)):
            what = rnd.randrange(4)
            if what == 0:
                rnd.choice(items)["props"]["n"] = {"Int": rnd.randrange(100)}
            elif what == 1 and len(items) > 1:
                items.insert(rnd.randrange(len(items)), items.pop(rnd.randrange(len(items))))
            elif what == 2 and len(items) > 1:
                items.pop(rnd.randrange(len(items)))
            else:
                free = sorted(set(range(keys)) - {int(i["key"][1:]) for i in items})
                if free:
                    items.insert(rnd.randrange(len(items) + 1), _item(rnd, rnd.choice(free)))
        if json.dumps(tree) != trees[-1]:
            trees.append(json.dumps(tree))
    return trees
