"""The model's arrays against the C library's reading, the operations against the library's own,
and how views live: past their Model, through operations that change or replace an array."""

import gc

import numpy as np
import pytest

import objgen
import zel
from conftest import assert_model_matches, c_dump, write_case

# The generated files name a material their library lacks now and then.
pytestmark = pytest.mark.filterwarnings("ignore::zel.ZelWarning")

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


def floats(dumped, key):
    return np.frombuffer(dumped[key][0], np.float32).reshape(-1, 3)


@pytest.mark.parametrize("seed", range(24))
def test_arrays_equal_the_c_reading(tmp_path, seed):
    path = write_case(tmp_path, *objgen.case(seed))
    dumped = c_dump(path)
    assert_model_matches(zel.load(path), dumped)
    # The same bytes from memory, with the libraries from the callable: the same model.
    library = lambda name: (tmp_path / name).read_bytes()  # noqa: E731
    assert_model_matches(zel.load_bytes(path.read_bytes(), str(path), library=library), dumped)


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
    model = zel.load(path)
    apply(model, operations)
    assert_model_matches(model, c_dump(path, *operations))


def test_views_outlive_the_model(tmp_path):
    path = write_case(tmp_path, *objgen.case(7))
    dumped = c_dump(path)
    model = zel.load(path)
    vertices, triangles, groups = model.vertices[1:], model.triangles, model.groups
    del model
    gc.collect()
    np.testing.assert_array_equal(vertices, floats(dumped, "vertices")[1:])  # a slice, too
    assert triangles.tobytes() == dumped["triangles"][0]
    assert [g.triangles.tobytes() for g in groups] == dumped["group.triangles"]


def test_operations_in_place_show_through_views(tmp_path):
    path = write_case(tmp_path, *objgen.case(8))
    model = zel.load(path)
    model.compute_facet_normals()
    model.vertex_normals(60)
    views = [model.vertices, model.normals, model.facet_normals]
    triangles = model.triangles
    operations = ["facets", "smooth=60", "scale=3", "fit", "flip", "weld=0.5"]
    apply(model, operations[2:])
    after = c_dump(path, *operations)
    for view, key in zip(views[1:], ["normals", "facetnorms"]):
        np.testing.assert_array_equal(view, floats(after, key))
    assert triangles.tobytes() == after["triangles"][0]  # flipped and renumbered in place
    # The weld replaced the vertices: the view shows them as they were just before.
    np.testing.assert_array_equal(views[0], floats(c_dump(path, *operations[:-1]), "vertices"))
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
    model = zel.load_bytes(b"v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 2 3\nf 1 3 4\n")
    model.compute_facet_normals()
    model.vertex_normals(90)
    model.planar_texcoords()
    old = getattr(model, array)
    before = old.copy()
    operation(model)
    gc.collect()
    np.testing.assert_array_equal(old, before)  # not freed, not overwritten
    assert not np.shares_memory(old, getattr(model, array))
    old[:] = 7  # the old array is the view's own now: writing it changes nothing else
    assert not (getattr(model, array) == 7).all()


def test_index_arrays_are_read_only_and_float_arrays_writable():
    model = zel.load_bytes(b"v 0 0 0\nv 2 0 0\nv 0 1 0\nf 1 2 3\n")
    for array in (model.triangles["vertexidx"], model.groups[0].triangles):
        with pytest.raises(ValueError, match="read-only"):
            array[0] = 2
    model.vertices[1] = (4, 0, 0)
    assert model.extents() == (4.0, 1.0, 0.0)


def test_faces_of_a_large_model():
    # Large enough for the faces to be computed on several threads.
    corners = np.random.default_rng(5).integers(1, 1001, size=(400_000, 3))
    text = "v 0 0 0\n" * 1000 + "".join(f"f {a} {b} {c}\n" for a, b, c in corners.tolist())
    np.testing.assert_array_equal(zel.load_bytes(text.encode()).faces, corners - 1)


def test_shape_views_are_read_only_uint32_and_empty_when_nothing_is_kept(tmp_path):
    model = zel.load_bytes(b"v 0 0 0\nv 2 0 0\nv 2 1 0\nv 0 1 0\nf 1 2 3 4\n")
    group = model.groups[0]
    for name, shape in [("polygon_starts", (0,)), ("polygon_corners", (0, 3)),
                        ("polygon_triangles", (0,)), ("line_starts", (0,)),
                        ("line_corners", (0, 3)), ("points", (0,))]:
        view = getattr(group, name)
        assert view.dtype == np.uint32 and view.shape == shape, name
        assert not view.flags.writeable, name
    assert model.smoothing_groups is None
    # Saved with the shapes (the default) or without, a model that keeps none is the same file.
    model.save(tmp_path / "a.obj")
    model.save(tmp_path / "b.obj", polygons=False)
    assert (tmp_path / "a.obj").read_bytes() == (tmp_path / "b.obj").read_bytes()
    # The options that keep and cut polygons are taken.
    kept = zel.load_bytes(b"v 0 0 0\nv 2 0 0\nv 2 1 0\nv 0 1 0\nf 1 2 3 4\n",
                          concave_polygons=True, polygons=True)
    assert len(kept.triangles) == 2
