"""vorlik_web: the folder of the WebAssembly client files, or a clear word on how to get them."""

import os

import pytest

import vorlik_web


@pytest.mark.parametrize("present", [vorlik_web.FILES, ("vorlik.mjs", "vorlik.d.mts"), ()])
def test_client_dir(tmp_path, monkeypatch, present):
    monkeypatch.setattr(vorlik_web, "_CLIENT", tmp_path)
    for name in present:
        (tmp_path / name).write_text("")
    if present == vorlik_web.FILES:
        assert vorlik_web.client_dir() == tmp_path
        return
    with pytest.raises(FileNotFoundError) as info:
        vorlik_web.client_dir()
    missing = [name for name in vorlik_web.FILES if name not in present]
    assert str(info.value).startswith(
        f"vorlik_web: the WebAssembly client files are not installed ({', '.join(missing)} missing from {tmp_path})"
    )
    assert "`make wasm`" in str(info.value)


def test_every_file_has_its_media_type():
    assert sorted(vorlik_web.MEDIA_TYPES) == sorted(vorlik_web.FILES + vorlik_web.DOM_CLIENT)


@pytest.mark.skipif(not os.environ.get("VORLIK_WASM_REQUIRED"), reason="the client may not have been built")
def test_installed_with_the_client():
    folder = vorlik_web.client_dir()
    assert (folder / "vorlik.wasm").read_bytes()[:4] == b"\0asm"
    # The DOM client comes with the core, whole: every module it imports is there.
    assert sorted(str(p.relative_to(folder)) for p in folder.rglob("*.mjs")) == sorted(
        ("vorlik.mjs",) + vorlik_web.DOM_CLIENT
    )
