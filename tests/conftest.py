"""What the tests that start Python in a child process share."""

import os

import pytest

import vorlik
import vorlik_cli
import vorlik_stream


@pytest.fixture(scope="session", autouse=True)
def children_import_the_modules_under_test():
    """Child interpreters find the very modules this one tests, from whatever folder they run in."""
    folders = [os.path.dirname(os.path.abspath(vorlik.__file__))]
    folders += [os.path.dirname(os.path.dirname(os.path.abspath(m.__file__))) for m in (vorlik_cli, vorlik_stream)]
    with pytest.MonkeyPatch.context() as patch:
        patch.setenv("PYTHONPATH", os.pathsep.join(dict.fromkeys(folders)))
        yield
