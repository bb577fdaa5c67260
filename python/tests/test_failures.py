"""Failures as exceptions, with the library's messages and lines, and nothing printed: the
bad-input matrix of docs/robustness.md, saving, the operations' preconditions, bad arguments;
and the library's warnings through Python's warnings module."""

import itertools
import re
import warnings

import numpy as np
import pytest

import zel
from conftest import REPO, c_dump, c_printed, write_case

CASES = REPO / "tests" / "robustness" / "cases"
TRIANGLE = b"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"


def code(text):
    return text.split("`")[1]


def failing_rows():
    """The matrix's OBJ rows that end the process: (case path, message, line)."""
    rows = []
    for line in (REPO / "docs" / "robustness.md").read_text().splitlines():
        if not re.match(r"^\|\s*\d+\s*\|", line):
            continue
        _, number, _, path, reader, status, outcome, _ = line.split("|")
        if code(reader) != "zelobj info --documented" or status.strip() != "1":
            continue
        assert re.match(r"\s*(stderr|stdout) `", outcome), f"row {number}: {outcome}"
        rows.append(pytest.param(code(path), code(outcome), id=f"row{number.strip()}"))
    assert len(rows) >= 10
    return rows


def expected_line(path, message):
    """The file line a failure is about, from its message and the case file itself."""
    found = re.search(r'" line (\d+): ', message)
    if found:
        return int(found.group(1))
    if "can't open data file" in message:
        return 0
    lines = (CASES / path).read_bytes().split(b"\n")
    token = re.search(r'Unknown token "([^"]*)"', message)
    if token:
        return 1 + [ln.split()[:1] for ln in lines].index([token.group(1).encode()])
    assert "can't open material file" in message, message
    return 1 + max(i for i, ln in enumerate(lines) if ln.startswith(b"mtllib"))


@pytest.mark.parametrize("path, message", failing_rows())
def test_matrix_failures_raise_load_error(monkeypatch, capfd, path, message):
    monkeypatch.chdir(CASES)
    with pytest.raises(zel.LoadError) as raised:
        zel.load(path, documented=True)
    assert str(raised.value) == message
    assert raised.value.line == expected_line(path, message)
    assert isinstance(raised.value, ValueError)
    assert capfd.readouterr() == ("", "")


def test_save_into_a_missing_folder_raises_save_error(tmp_path, capfd):
    source, target = tmp_path / "m.obj", tmp_path / "missing" / "out.obj"
    source.write_bytes(TRIANGLE)
    with pytest.raises(zel.SaveError) as raised:
        zel.load(source).save(target)
    assert str(raised.value) == c_dump(source, f"save={target}")["save-error"][0].decode()
    assert isinstance(raised.value, OSError) and not target.parent.exists()
    assert capfd.readouterr() == ("", "")


@pytest.mark.parametrize(
    "call, exception, text",
    [
        (lambda m: m.vertex_normals(90), ValueError, "needs facet normals"),
        (lambda m: m.sphere_texcoords(), ValueError, "needs normals"),
        (lambda m: m.translate((1, 2)), ValueError, "3 numbers"),
        (lambda m: m.scale("x"), TypeError, ""),
        (lambda m: m.mesh(normals="round"), ValueError, "normals must be"),
        (lambda m: m.save("x.obj", normals=1), ValueError, "normals must be"),
        (lambda m: zel.load("a\0b.obj"), ValueError, "null"),
        (lambda m: zel.load("x.obj", threads=-1), ValueError, "threads must be within"),
        (lambda m: zel.load("x.obj", max_bytes=1.5), TypeError, "max_bytes must be an int"),
        (lambda m: zel.load_bytes("v 0 0 0\n"), TypeError, "bytes-like"),
        (lambda m: zel.Model(), TypeError, ""),
    ],
)
def test_bad_calls_raise_and_change_nothing(capfd, call, exception, text):
    model = zel.load_bytes(TRIANGLE)
    with pytest.raises(exception, match=text):
        call(model)
    assert model.normals is None and model.texcoords is None
    np.testing.assert_array_equal(model.vertices, [[0, 0, 0], [1, 0, 0], [0, 1, 0]])
    assert capfd.readouterr() == ("", "")


@pytest.mark.parametrize(
    "call, lines",
    [
        (
            lambda m, d: zel.load_bytes(b"usemtl steel\n" + TRIANGLE, library=lambda p: b""),
            ['zelFindMaterial():  can\'t find material "steel".'],
        ),
        (
            lambda m, d: m.save(d / "out.obj", normals="flat", texture=True, materials=True),
            [
                "zelWriteOBJ() warning: flat normal output requested with no facet normals "
                "defined.",
                "zelWriteOBJ() warning: texture coordinate output requested with no texture "
                "coordinates defined.",
                "zelWriteOBJ() warning: material output requested with no materials defined.",
            ],
        ),
        (
            lambda m, d: m.mesh(normals="smooth", texture=True),
            [
                "zelMakeMesh() warning: smooth render mode requested with no normals defined.",
                "zelMakeMesh() warning: texture render mode requested with no texture "
                "coordinates defined.",
            ],
        ),
    ],
)
def test_library_warnings_are_python_warnings(tmp_path, capfd, call, lines):
    model = zel.load_bytes(TRIANGLE)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        call(model, tmp_path)
    assert [str(w.message) for w in caught] == lines
    assert {(w.category, w.filename) for w in caught} == {(zel.ZelWarning, __file__)}
    assert capfd.readouterr() == ("", "")


# Models that lack some of what a mode asks for: (OBJ text, MTL libraries, facet normals computed).
LACKING = [
    pytest.param(TRIANGLE.decode(), {}, False, id="bare"),
    pytest.param("v 0 0 0 1 0 0\nv 1 0 0 0 1 0\nv 0 1 0 0 0 1\nf 1 2 3\n", {}, True,
                 id="facets-colours"),
    pytest.param(
        "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nvt 0 0\nusemtl red\n"
        "f 1/1/1 2/1/1 3/1/1\n",
        {"m.mtl": "newmtl red\nKd 1 0 0\n"}, False, id="normals-texcoords-materials",
    ),
]
FLAGS = {"flat": 1, "smooth": 2, "texture": 4, "materials": 16, "colors": 64}


@pytest.mark.parametrize("text, libraries, facets", LACKING)
def test_mode_warnings_are_the_librarys_lines(tmp_path, text, libraries, facets):
    # Every mode mesh() and save() can ask for, in turn: the warnings equal, line for line, what
    # zelMakeMesh and zelWriteOBJ print for the same model and mode.
    path = write_case(tmp_path, text, libraries)
    (tmp_path / "out").mkdir()
    model = zel.load(path)
    operations = ["facets"] if facets else []
    if facets:
        model.compute_facet_normals()
    python = list(operations)
    cases = itertools.product(
        ["mesh", "save"], [None, "flat", "smooth"], [False, True], [False, True], [False, True]
    )
    for call, normals, texture, colors, materials in cases:
        if call == "mesh" and materials:
            continue
        mode = FLAGS.get(normals, 0) | FLAGS["texture"] * texture | FLAGS["colors"] * colors
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            if call == "mesh":
                model.mesh(normals=normals, texture=texture, colors=colors)
                operations.append(f"mesh={mode}")
            else:
                model.save(tmp_path / "out" / "py.obj", normals=normals, texture=texture,
                           materials=materials, colors=colors)
                mode |= FLAGS["materials"] * materials
                operations.append(f"write={mode}:{tmp_path / 'out' / 'c.obj'}")
        python += [operations[-1]] + [str(w.message) for w in caught]
    assert python == c_printed(path, *operations)
