"""The zel package; its documentation is the extension module's (see below)."""

try:
    import numpy as _numpy  # noqa: F401  (the module's arrays are numpy arrays)
except ImportError as error:  # pragma: no cover - depends on the interpreter
    raise ImportError(
        "zel needs numpy; this interpreter has none. Use the python3 the package was built "
        "for (Debian's /usr/bin/python3 with python3-numpy)."
    ) from error

from . import _zel
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

__doc__ = _zel.__doc__

# Shown as zel.Model, zel.load ... rather than under the extension module's own name.
for _name in __all__:
    globals()[_name].__module__ = __name__
del _name
