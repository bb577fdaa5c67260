"""What the Python package's tests share: the C library's own reading of a file (zel_dump, a small
program linked with the library) and the comparison of a zel.Model with it, field by field."""

import os
import subprocess
from pathlib import Path

import numpy as np
import pytest

import zel

REPO = Path(os.environ.get("ZEL_REPO", Path(__file__).resolve().parents[2]))
ZEL_DUMP = Path(
    os.environ.get("ZEL_DUMP", Path(zel.__file__).parents[1] / "test-support" / "zel_dump")
)


def zel_dump(*arguments):
    """zel_dump's standard output for `arguments`."""
    if not ZEL_DUMP.is_file():
        pytest.fail(f"{ZEL_DUMP} is missing: build the target zel_dump, or set ZEL_DUMP")
    return subprocess.run([str(ZEL_DUMP), *arguments], capture_output=True, check=True).stdout


def c_printed(path, *operations):
    """The lines the C library prints on standard output while it applies `operations` (zel_dump's
    names) to the model at `path`, each operation's own text first."""
    return zel_dump("--printed", os.fspath(path), *operations).decode().splitlines()


def c_dump(path, *operations):
    """The model as the C library reads `path` and changes it with `operations` (zel_dump's
    names): {key: [record bytes, ...]} in file order."""
    out = zel_dump(os.fspath(path), *operations)
    records, at = {}, 0
    while at < len(out):
        header_end = out.index(b"\n", at)
        key, size = out[at:header_end].decode().split(" ")
        at = header_end + 1 + int(size)
        records.setdefault(key, []).append(out[header_end + 1 : at])
    return records


def bits(array):
    """The float32 values of `array` as their bit patterns, so that NaNs and -0 compare exactly."""
    return np.ascontiguousarray(array, dtype=np.float32).view(np.uint32)


def assert_model_matches(model, dumped):
    """Every field of `model` equals the C library's `dumped` reading, bit for bit."""
    assert "error" not in dumped, dumped.get("error")
    assert model.path == os.fsdecode(dumped["path"][0])
    assert model.mtllib == (os.fsdecode(dumped["mtllib"][0]) if "mtllib" in dumped else None)
    for name, key, width in [
        ("vertices", "vertices", 3),
        ("colors", "colors", 3),
        ("normals", "normals", 3),
        ("texcoords", "texcoords", 2),
        ("facet_normals", "facetnorms", 3),
    ]:
        array = getattr(model, name)
        if key not in dumped:
            assert array is None, name
            continue
        expected = np.frombuffer(dumped[key][0], dtype=np.uint32).reshape(-1, width)
        assert array.dtype == np.float32 and array.shape == expected.shape, name
        np.testing.assert_array_equal(bits(array), expected, err_msg=name)
    assert model.triangles.tobytes() == dumped["triangles"][0]
    np.testing.assert_array_equal(model.faces, model.triangles["vertexidx"].astype(np.int64) - 1)

    groups = model.groups
    assert [g.name for g in groups] == [os.fsdecode(n) for n in dumped["group"]]
    for group, material, triangles in zip(
        groups, dumped["group.material"], dumped["group.triangles"]
    ):
        assert group.material == int.from_bytes(material, "little")
        assert group.triangles.tobytes() == triangles

    materials = model.materials
    assert [m.name for m in materials] == [os.fsdecode(n) for n in dumped.get("material", [])]
    for material, values in zip(materials, dumped.get("material.values", [])):
        mine = np.concatenate(
            [material.diffuse, material.ambient, material.specular,
             np.float32([material.shininess, material.dissolve])]
        )
        assert bits(mine).tobytes() == values


def write_case(directory, obj_text, libraries, name="model.obj"):
    """Writes an OBJ text and its libraries into `directory`; returns the OBJ file's path."""
    for library, text in libraries.items():
        (directory / library).write_text(text, newline="")
    path = directory / name
    path.write_text(obj_text, newline="")
    return path
