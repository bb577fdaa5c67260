"""What real files hold beyond the classic dialect: vertex colours, texture maps and dissolve, the
load flags and the byte limit, read by the library and passed through by the binding."""

import warnings

import numpy as np
import pytest

import zel
from test_mesh import check_mesh

TRIANGLE = b"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"


def test_vertex_colours_load_save_and_mesh(tmp_path):
    model = zel.load_bytes(b"v 0 0 0 1 0 0\nv 1 0 0 0 1 0.5\nv 0 1 0\nf 1 2 3\n")
    np.testing.assert_array_equal(model.colors, np.float32([[1, 0, 0], [0, 1, 0.5], [1, 1, 1]]))
    mesh = model.mesh(colors=True)
    assert mesh.stride == 6
    np.testing.assert_array_equal(mesh.colors[mesh.indices], model.colors[model.faces])
    check_mesh(model, mesh, None, False, colors=True)
    model.save(tmp_path / "coloured.obj", colors=True)
    np.testing.assert_array_equal(zel.load(tmp_path / "coloured.obj").colors, model.colors)


def test_texture_maps_and_dissolve():
    mtl = (
        b"newmtl wood\nd 0.25\nmap_Kd -s 2 2 1 -o 0.5 -clamp on tex\\wood grain.png\n"
        b"map_bump -bm 0.5 bump.png\n"
    )
    obj = b"mtllib lib.mtl\n" + TRIANGLE.replace(b"f ", b"usemtl wood\nf ")
    wood = zel.load_bytes(obj, "models/a.obj", library=lambda path: mtl).materials[1]
    assert wood.dissolve == 0.25
    texture = wood.diffuse_map
    assert (texture.name, texture.path) == ("tex\\wood grain.png", "models/tex/wood grain.png")
    assert (texture.offset, texture.scale, texture.clamp) == ((0.5, 0, 0), (2, 2, 1), True)
    assert wood.bump_map.bump_multiplier == 0.5 and wood.bump_map.path == "models/bump.png"
    assert wood.alpha_map is None and wood.ambient_map is None


BLENDER_MTL = (
    b"newmtl Material\nNs 250.000000\nKa 1 1 1\nKd 0.8 0.8 0.8\nKs 0.5 0.5 0.5\n"
    b"Ke 0.1 0.2 0.3\nNi 1.450000\nd 1.000000\nillum 2\nPr 0.25\nPm 1\n"
    b"norm n.png\nrefl -type sphere sky.png\nKm 0.5\nsharpness 60\n"
)


@pytest.mark.parametrize("whole", [False, True])
def test_material_parameters_maps_and_kept_statements(tmp_path, whole):
    obj = b"mtllib lib.mtl\n" + TRIANGLE
    model = zel.load_bytes(obj, library=lambda path: BLENDER_MTL, whole_keywords=whole)
    # By first letters "Ni" sets the shininess too, and "norm" opens a material.
    assert len(model.materials) == (2 if whole else 3)
    material = model.materials[1]
    assert material.shininess == pytest.approx(32 if whole else 0.1856)
    assert material.ior == pytest.approx(1.45) and material.illum == 2
    np.testing.assert_array_equal(material.emission, np.float32([0.1, 0.2, 0.3]))
    np.testing.assert_array_equal(material.transmission, np.float32([1, 1, 1]))
    assert (material.roughness, material.metallic, material.sheen) == (0.25, 1, 0)
    assert material.emission_map is None
    if whole:
        assert material.normal_map.name == "n.png"
        assert material.reflection_map.type == "sphere"
        assert material.statements == ("Km 0.5", "sharpness 60")
        model.save(tmp_path / "out.obj", materials=True)
        back = zel.load(tmp_path / "out.obj", whole_keywords=True).materials[2]
        assert (back.shininess, back.illum, back.statements) == (32, 2, material.statements)
        assert back.ior == pytest.approx(1.45) and back.reflection_map.type == "sphere"


@pytest.mark.parametrize(
    "text, flag, warned",
    [
        (b"o ship\n" + TRIANGLE, "objects", None),
        (b"mtllib nowhere.mtl\n" + TRIANGLE, "missing_libraries", "nowhere.mtl"),
        (b"vp 0.5 0.5\n" + TRIANGLE, "unknown_keywords", '"vp"'),
    ],
)
def test_load_flags_are_on_by_default_and_off_when_documented(text, flag, warned):
    # Each flag is on by default, on by itself beside documented=True, and off with documented=True.
    for options in [{}, {"documented": True, flag: True}]:
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            model = zel.load_bytes(text, **options)
        assert [warned in str(w.message) for w in caught] == ([True] if warned else [])
        if flag == "objects":
            assert [g.name.strip() for g in model.groups] == ["ship", "default"]
        assert model.faces.tolist() == [[0, 1, 2]]
    if flag == "objects":
        assert len(zel.load_bytes(text, documented=True).groups) == 1
        assert len(zel.load_bytes(text, objects=False).groups) == 1
    else:
        with pytest.raises(zel.LoadError):
            zel.load_bytes(text, documented=True)
        with pytest.raises(zel.LoadError):
            zel.load_bytes(text, **{flag: False})


def test_confined_libraries_and_maps_inside_the_folder(tmp_path):
    (tmp_path / "model").mkdir()
    (tmp_path / "secret.mtl").write_bytes(b"newmtl secret\nmap_Kd ../x.png\n")
    (tmp_path / "model" / "lib.mtl").write_bytes(b"newmtl m\nmap_Kd x.png\nmap_Ka ../x.png\n")
    up = tmp_path / "model" / "up.obj"
    up.write_bytes(b"mtllib ../secret.mtl\n" + TRIANGLE)
    assert zel.load(up).materials[1].name == "secret"
    with pytest.raises(zel.LoadError, match="is outside the model's folder"):
        zel.load(up, confined_libraries=True, missing_libraries=False)
    with pytest.warns(zel.ZelWarning, match="is outside the model's folder"):
        assert len(zel.load(up, confined_libraries=True).materials) == 0
    inside = tmp_path / "model" / "in.obj"
    inside.write_bytes(b"mtllib lib.mtl\n" + TRIANGLE)
    material = zel.load(inside, confined_libraries=True).materials[1]
    assert (material.diffuse_map.inside, material.ambient_map.inside) == (True, False)


def test_max_bytes_refuses_a_larger_model():
    assert zel.load_bytes(TRIANGLE, max_bytes=1 << 20).faces.tolist() == [[0, 1, 2]]
    with pytest.raises(zel.LoadError, match="bytes"):
        zel.load_bytes(TRIANGLE, max_bytes=16)
