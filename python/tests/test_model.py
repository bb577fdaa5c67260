"""The model's arrays against the C library's reading, the operations against the library's own,
and how views live: past their Model, through operations that change or replace an array."""

import gc
import warnings

import numpy as np
import pytest

import objgen
import zel
from conftest import REPO, assert_model_matches, c_dump, write_case

SEEDS = range(24)

# zel_dump's operation names and the same operations through the binding.
OPERATIONS = {
    "facets": lambda m: m.compute_facet_normals(),
    "smooth": lambda m, a: m.vertex_normals(a),
    "planar": lambda m: m.planar_texcoords(),
    "sphere": lambda m: m.sphere_texcoords(),
    "weld": lambda m, e: m.weld(e),
    "fit": lambda m: m.fit_to_unit_cube(),
    "flip": lambda m: m.flip_winding(),
    "scale": lambda m, f: m.scale(f),
}


def apply(model, operations):
    for operation in operations:
        name, _, value = operation.partition("=")
        OPERATIONS[name](model, *([float(value)] if value else []))


def load_quietly(*args, **kwargs):
    """A load whose "can't find material" warnings (the generated files name one) are let be."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", zel.ZelWarning)
        if isinstance(args[0], bytes):
            return zel.load_bytes(*args, **kwargs)
        return zel.load(*args, **kwargs)


@pytest.mark.parametrize("seed", SEEDS)
def test_arrays_equal_the_c_reading(tmp_path, seed):
    path = write_case(tmp_path, *objgen.case(seed))
    dumped = c_dump(path)
    assert_model_matches(load_quietly(path), dumped)
    # The same bytes from memory, with the libraries from the callable: the same model.
    library = lambda name: (tmp_path / name).read_bytes()  # noqa: E731
    assert_model_matches(load_quietly(path.read_bytes(), str(path), library=library), dumped)


@pytest.mark.parametrize("path", ["data/f-16.obj", "data/hang.obj", "data/abort.obj"])
def test_scene_models_equal_the_c_reading(path):
    assert_model_matches(zel.load(str(REPO / path), threads=1), c_dump(REPO / path))


@pytest.mark.parametrize(
    "seed, operations",
    [
        (1, ["facets", "smooth=90", "sphere"]),
        (2, ["planar", "weld=0.5", "fit"]),
        (3, ["flip", "scale=2.5", "facets", "smooth=180", "flip"]),
        (4, ["weld=3", "facets", "smooth=30", "planar", "weld=0"]),
        (5, ["fit", "facets", "smooth=0", "sphere", "flip"]),
    ],
)
def test_operations_equal_the_libraries(tmp_path, seed, operations):
    path = write_case(tmp_path, *objgen.case(seed))
    model = load_quietly(path)
    apply(model, operations)
    assert_model_matches(model, c_dump(path, *operations))


def test_views_outlive_the_model(tmp_path):
    path = write_case(tmp_path, *objgen.case(7))
    dumped = c_dump(path)
    model = load_quietly(path)
    vertices, triangles, groups, materials = (
        model.vertices[1:], model.triangles, model.groups, model.materials
    )
    del model
    gc.collect()
    expected = np.frombuffer(dumped["vertices"][0], dtype=np.float32).reshape(-1, 3)
    np.testing.assert_array_equal(vertices, expected[1:])  # a slice keeps the model alive too
    assert triangles.tobytes() == dumped["triangles"][0]
    assert [g.triangles.tobytes() for g in groups] == dumped["group.triangles"]
    assert [m.name for m in materials] == [n.decode() for n in dumped.get("material", [])]


def test_operations_that_change_arrays_show_through_views(tmp_path):
    path = write_case(tmp_path, *objgen.case(8))
    model = load_quietly(path)
    model.compute_facet_normals()
    model.vertex_normals(60)
    names = ("vertices", "normals", "facet_normals")
    views, triangles = [getattr(model, name) for name in names], model.triangles
    operations = ["facets", "smooth=60", "scale=3", "fit", "flip"]
    apply(model, operations[2:])
    after = c_dump(path, *operations)
    for view, key in zip(views, ["vertices", "normals", "facetnorms"]):
        np.testing.assert_array_equal(view, np.frombuffer(after[key][0], np.float32).reshape(-1, 3))
    assert triangles.tobytes() == after["triangles"][0]
    # The weld renumbers the triangles in place and replaces the vertices.
    model.weld(0.5)
    assert triangles.tobytes() == c_dump(path, *operations, "weld=0.5")["triangles"][0]
    np.testing.assert_array_equal(views[0], np.frombuffer(after["vertices"][0], np.float32)
                                  .reshape(-1, 3))
    vertices = model.vertices
    before = vertices.copy()
    model.translate((1, -2, 0.5))
    np.testing.assert_array_equal(vertices, before + np.float32([1, -2, 0.5]))


@pytest.mark.parametrize(
    "array, operation",
    [
        ("normals", lambda m: m.vertex_normals(20)),
        ("facet_normals", lambda m: m.compute_facet_normals()),
        ("texcoords", lambda m: m.planar_texcoords()),
        ("texcoords", lambda m: m.sphere_texcoords()),
        ("vertices", lambda m: m.weld(100.0)),
    ],
)
def test_views_of_a_replaced_array_keep_their_values(array, operation):
    model = zel.load_bytes(
        b"v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nvt 0.5 0.5\nf 1/1 2/1 3/1\nf 1/1 3/1 4/1\n"
    )
    model.compute_facet_normals()
    model.vertex_normals(90)
    model.planar_texcoords()
    old = getattr(model, array)
    before = old.copy()
    operation(model)
    gc.collect()
    np.testing.assert_array_equal(old, before)  # not freed, not overwritten
    new = getattr(model, array)
    assert not np.shares_memory(old, new)
    old[:] = 7  # the detached array is the view's own now: writing it is harmless
    assert not (getattr(model, array) == 7).all()


def test_index_arrays_are_read_only_and_float_arrays_writable():
    model = zel.load_bytes(b"v 0 0 0\nv 2 0 0\nv 0 1 0\nf 1 2 3\n")
    for array in (model.triangles["vertexidx"], model.groups[0].triangles):
        with pytest.raises(ValueError, match="read-only"):
            array[0] = 2
    model.vertices[1] = (4, 0, 0)
    assert model.extents() == (4.0, 1.0, 0.0)


def test_faces_of_a_large_model():
    # Large enough for the faces to be computed on several threads into huge-page memory.
    rng = np.random.default_rng(5)
    corners = rng.integers(1, 1001, size=(400_000, 3))
    text = "v 0 0 0\n" * 1000 + "".join(f"f {a} {b} {c}\n" for a, b, c in corners.tolist())
    faces = zel.load_bytes(text.encode()).faces
    assert faces.dtype == np.uint32 and faces.flags.c_contiguous
    np.testing.assert_array_equal(faces, corners - 1)
