"""Wavefront OBJ models with their MTL materials, as numpy arrays.

The zel library's models, operations, writer and meshes for Python. A model's arrays are numpy
views of the library's own memory, not copies; a view keeps its model alive.

    import zel
    model = zel.load("ship.obj")
    model.vertices            # (n, 3) float32, a view
    model.faces               # (t, 3) uint32, 0-based indices into model.vertices
    model.compute_facet_normals()
    model.vertex_normals(90)
    mesh = model.mesh(normals="smooth")
    model.save("out.obj", normals="smooth", materials=True)
"""

try:
    import numpy as _numpy  # noqa: F401  (the module's arrays are numpy arrays)
except ImportError as error:  # pragma: no cover - depends on the interpreter
    raise ImportError(
        "zel needs numpy; this interpreter has none. Use the python3 the package was built "
        "for (Debian's /usr/bin/python3 with python3-numpy)."
    ) from error

from ._zel import (
    Group,
    LoadError,
    Material,
    Mesh,
    MeshGroup,
    Model,
    SaveError,
    TextureMap,
    ZelWarning,
    __version__,
    load,
    load_bytes,
)

__all__ = [
    "Group",
    "LoadError",
    "Material",
    "Mesh",
    "MeshGroup",
    "Model",
    "SaveError",
    "TextureMap",
    "ZelWarning",
    "load",
    "load_bytes",
]

# Shown as zel.Model, zel.load ... rather than under the extension module's own name.
for _name in __all__:
    globals()[_name].__module__ = __name__
del _name
