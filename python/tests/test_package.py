"""The package as users meet it: its version, its stub against the module, and the README's
example, which must be python/examples/tour.py word for word, run, and type-check."""

import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

import zel
from conftest import REPO

TOUR = REPO / "python" / "examples" / "tour.py"
BUILT = Path(zel.__file__).parents[1]  # the folder holding the package


def test_version_is_the_projects():
    project = re.search(r"project\(zel VERSION (\S+)", (REPO / "CMakeLists.txt").read_text())
    assert zel.__version__ == project.group(1)


def typing_run(tmp_path, *arguments):
    pytest.importorskip("mypy", reason="needs mypy (Debian python3-mypy)")
    environment = dict(
        os.environ, MYPYPATH=str(BUILT), PYTHONPATH=str(BUILT), MYPY_CACHE_DIR=str(tmp_path)
    )
    return subprocess.run(
        [sys.executable, "-m", *arguments], capture_output=True, text=True, env=environment,
        cwd=tmp_path,
    )


def test_stub_matches_the_module(tmp_path):
    allowlist = Path(__file__).parent / "stubtest-allowlist.txt"
    run = typing_run(tmp_path, "mypy.stubtest", "zel", "--allowlist", str(allowlist))
    assert run.returncode == 0, run.stdout + run.stderr


def test_readme_example_is_the_tour_and_runs(tmp_path):
    readme = (REPO / "README.md").read_text()
    shown = re.search(r"<!-- python/examples/tour.py -->\n```python\n(.*?)```\n", readme, re.S)
    assert shown and shown.group(1) == TOUR.read_text()

    source, target = REPO / "data" / "abort.obj", tmp_path / "out.obj"
    run = subprocess.run(
        [sys.executable, str(TOUR), str(source), str(target)],
        capture_output=True, text=True, env=dict(os.environ, PYTHONPATH=str(BUILT)),
    )
    assert run.returncode == 0, run.stderr
    assert f" {len(zel.load(source).faces)} triangles," in run.stdout and run.stderr == ""
    assert zel.load(target).normals is not None

    checked = typing_run(tmp_path, "mypy", "--strict", str(TOUR))
    assert checked.returncode == 0, checked.stdout + checked.stderr
