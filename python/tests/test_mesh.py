"""Meshes reproduce every corner of their model, group by group; they and their views live on
after the model is gone."""

import gc
import threading

import numpy as np
import pytest

import objgen
import zel
from conftest import bits, write_case


def with_slot_zero(array, width):
    """A model array with its slot 0 (which holds zero, and which index 0 names) in front."""
    return np.vstack([np.zeros((1, width), np.float32), array])


def check_mesh(model, mesh, normals, texture, colors=False):
    """What zelMakeMesh promises, written out with numpy: the stride for what was kept, each
    group's name, material and range in list order, its triangles' corners (as bits, in some
    order, each with its corners in order), every vertex used and no two equal, the materials."""
    assert mesh.stride == 3 + 3 * (normals is not None) + 2 * texture + 3 * colors
    assert (mesh.normals is None) == (normals is None)
    assert (mesh.texcoords is None) == (not texture)
    assert (mesh.colors is None) == (not colors)
    at = 0
    columns = [(mesh.positions, 3), (mesh.normals, 3), (mesh.texcoords, 2), (mesh.colors, 3)]
    for column, width in columns:
        if column is not None:  # x y z, then the normal, then u v, then r g b
            np.testing.assert_array_equal(bits(column), bits(mesh.vertices[:, at : at + width]))
            at += width

    triangles = model.triangles
    corners = [with_slot_zero(model.vertices, 3)[triangles["vertexidx"]]]
    if normals == "flat":
        facet = with_slot_zero(model.facet_normals, 3)[triangles["facetidx"]]
        corners.append(np.repeat(facet[:, None, :], 3, axis=1))
    elif normals == "smooth":
        corners.append(with_slot_zero(model.normals, 3)[triangles["normalidx"]])
    if texture:
        corners.append(with_slot_zero(model.texcoords, 2)[triangles["texcoordidx"]])
    if colors:
        corners.append(with_slot_zero(model.colors, 3)[triangles["vertexidx"]])
    corners = bits(np.concatenate(corners, axis=2))  # (triangles, 3, stride)
    made = bits(mesh.vertices)[mesh.indices]

    def as_sorted_rows(triangle_bits):
        rows = triangle_bits.reshape(len(triangle_bits), 3 * mesh.stride)
        return rows[np.lexsort(rows.T[::-1])]

    first = 0
    assert len(mesh.groups) == len(model.groups)
    for group, ranged in zip(model.groups, mesh.groups):
        assert (ranged.name, ranged.material) == (group.name, group.material)
        assert (ranged.first, ranged.count) == (first, 3 * len(group.triangles))
        mine = made[first // 3 : (first + ranged.count) // 3]
        np.testing.assert_array_equal(
            as_sorted_rows(mine), as_sorted_rows(corners[group.triangles])
        )
        first += ranged.count
    assert first == mesh.indices.size
    assert np.array_equal(np.unique(mesh.indices), np.arange(len(mesh.vertices)))
    assert len(np.unique(bits(mesh.vertices), axis=0)) == len(mesh.vertices)
    assert [(m.name, m.diffuse.tolist()) for m in mesh.materials] == [
        (m.name, m.diffuse.tolist()) for m in model.materials
    ]


@pytest.mark.filterwarnings("ignore::zel.ZelWarning")
@pytest.mark.parametrize("seed", range(8))
@pytest.mark.parametrize(
    "normals, texture", [(None, False), ("flat", False), ("smooth", True), (None, True)]
)
def test_mesh_reproduces_every_corner(tmp_path, seed, normals, texture):
    model = zel.load(write_case(tmp_path, *objgen.case(seed)))
    model.compute_facet_normals()
    if seed % 2:
        model.vertex_normals(45)
    if model.texcoords is None:
        model.planar_texcoords()
    mesh = model.mesh(normals=normals, texture=texture)
    kept = None if normals == "smooth" and model.normals is None else normals
    check_mesh(model, mesh, kept, texture)


def test_mesh_and_its_views_outlive_the_model():
    model = zel.load_bytes(b"v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 4 3\n")
    model.compute_facet_normals()
    mesh = model.mesh(normals="flat")
    corners = mesh.vertices[mesh.indices]
    del model
    gc.collect()
    vertices, normals, indices = mesh.vertices, mesh.normals, mesh.indices
    del mesh
    gc.collect()
    np.testing.assert_array_equal(vertices[indices], corners)
    np.testing.assert_array_equal(normals, np.tile(np.float32([0, 0, 1]), (len(vertices), 1)))


def test_changing_a_model_while_a_mesh_is_made_raises():
    # Two threads: one makes meshes of a large model without the GIL, the other tries to scale
    # it meanwhile. Every attempt either raises or runs between the meshes, never during one.
    model = zel.load_bytes(b"v 0 0 0\nv 1 0 0\nv 0 1 0\n" + b"f 1 2 3\n" * 300_000)
    done, refused = threading.Event(), []

    def make_meshes():
        for _ in range(5):
            model.mesh()
        done.set()

    thread = threading.Thread(target=make_meshes)
    thread.start()
    while not done.is_set():
        try:
            model.scale(1.0)
        except RuntimeError as error:
            refused.append(str(error))
    thread.join()
    assert refused and "being read by another thread" in refused[0]
