"""Every function and the class, called as documented; mypy --strict must accept this."""

import json

import vorlik

tree: str = '{"tag":"ul","slots":{"items":[{"tag":"li","key":"a"}]}}'
patch: str = vorlik.diff(tree, '{"tag":"ul"}')
same: str = vorlik.diff(old=tree, new=tree)
result: str = vorlik.apply(root=tree, patch=patch)
schemas: str = vorlik.parse_cem(manifest='{"modules":[]}')


class Revision:
    def __index__(self) -> int:
        return 3


frames: list[bytes] = [
    vorlik.encode_frame(tree, "page", "snapshot", 1, "application/json"),
    vorlik.encode_frame(payload=patch, model_type="page", kind="patch", rev=Revision(), codec="application/msgpack"),
    vorlik.encode_frame(tree, "page", "snapshot", True, "application/json"),
]
decoded: list[object] = [json.loads(vorlik.decode_frame(frame=f)) for f in frames]

example: vorlik.Example = vorlik.Example(value="hi")
shown: tuple[str, str] = (str(example), repr(example))
version: str = vorlik.__version__
names: list[str] = vorlik.__all__
