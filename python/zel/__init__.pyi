"""Wavefront OBJ models with their MTL materials, as numpy arrays (type stub of zel)."""

import os
from typing import Callable, Literal, Optional, Sequence, SupportsFloat, Union

import numpy as np
import numpy.typing as npt

__version__: str

_Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]
_Bytes = Union[bytes, bytearray, memoryview]
_Normals = Optional[Literal["flat", "smooth"]]
_Floats = npt.NDArray[np.float32]
_Indices = npt.NDArray[np.uint32]

class LoadError(ValueError):
    """An OBJ file or its material library could not be read."""

    line: int
    """The 1-based line of the file the failure is about, or 0."""

class SaveError(OSError):
    """A model could not be written; the files under the target names are left as they were."""

class ZelWarning(UserWarning):
    """A line the library reports and goes on."""

class TextureMap:
    """A material's texture map (names and paths, never pixels)."""

    @property
    def name(self) -> str: ...
    @property
    def path(self) -> str: ...
    @property
    def offset(self) -> tuple[float, float, float]: ...
    @property
    def scale(self) -> tuple[float, float, float]: ...
    @property
    def clamp(self) -> bool: ...
    @property
    def bump_multiplier(self) -> float: ...

class Material:
    """A material from an MTL library; the colours are writable (4,) float32 views."""

    @property
    def name(self) -> str: ...
    @property
    def diffuse(self) -> _Floats: ...
    @property
    def ambient(self) -> _Floats: ...
    @property
    def specular(self) -> _Floats: ...
    @property
    def shininess(self) -> float: ...
    @shininess.setter
    def shininess(self, value: SupportsFloat) -> None: ...
    @property
    def dissolve(self) -> float: ...
    @dissolve.setter
    def dissolve(self, value: SupportsFloat) -> None: ...
    @property
    def diffuse_map(self) -> Optional[TextureMap]: ...
    @property
    def ambient_map(self) -> Optional[TextureMap]: ...
    @property
    def specular_map(self) -> Optional[TextureMap]: ...
    @property
    def shininess_map(self) -> Optional[TextureMap]: ...
    @property
    def alpha_map(self) -> Optional[TextureMap]: ...
    @property
    def bump_map(self) -> Optional[TextureMap]: ...

class Group:
    """A named group of a model's triangles."""

    @property
    def name(self) -> str: ...
    @property
    def material(self) -> int: ...
    @property
    def triangles(self) -> _Indices:
        """0-based indices into Model.triangles (read-only)."""

class MeshGroup:
    """One group's range of a mesh's indices, as glDrawElements takes it."""

    @property
    def name(self) -> str: ...
    @property
    def first(self) -> int: ...
    @property
    def count(self) -> int: ...
    @property
    def material(self) -> int: ...

class Mesh:
    """One interleaved vertex per distinct corner, three indices per triangle."""

    @property
    def vertices(self) -> _Floats:
        """(vertexcount, stride) float32."""
    @property
    def indices(self) -> _Indices:
        """(triangles, 3) uint32, 0-based."""
    @property
    def stride(self) -> int: ...
    @property
    def positions(self) -> _Floats: ...
    @property
    def normals(self) -> Optional[_Floats]: ...
    @property
    def texcoords(self) -> Optional[_Floats]: ...
    @property
    def colors(self) -> Optional[_Floats]: ...
    @property
    def groups(self) -> list[MeshGroup]: ...
    @property
    def materials(self) -> list[Material]: ...

class Model:
    """A model read from an OBJ file; its arrays are views of the model's memory."""

    @property
    def path(self) -> str: ...
    @property
    def mtllib(self) -> Optional[str]: ...
    @property
    def vertices(self) -> _Floats:
        """(n, 3) float32."""
    @property
    def normals(self) -> Optional[_Floats]: ...
    @property
    def texcoords(self) -> Optional[_Floats]: ...
    @property
    def colors(self) -> Optional[_Floats]: ...
    @property
    def facet_normals(self) -> Optional[_Floats]: ...
    @property
    def triangles(self) -> npt.NDArray[np.void]:
        """Structured: vertexidx, normalidx, texcoordidx ((3,) uint32 each), facetidx."""
    @property
    def faces(self) -> _Indices:
        """(t, 3) uint32 0-based vertex indices, computed."""
    @property
    def groups(self) -> list[Group]: ...
    @property
    def materials(self) -> list[Material]: ...
    def extents(self, /) -> tuple[float, float, float]: ...
    def fit_to_unit_cube(self, /) -> float: ...
    def scale(self, factor: SupportsFloat, /) -> None: ...
    def translate(self, offset: Sequence[SupportsFloat], /) -> None: ...
    def flip_winding(self, /) -> None: ...
    def compute_facet_normals(self, /) -> None: ...
    def vertex_normals(self, angle: SupportsFloat, /) -> None: ...
    def planar_texcoords(self, /) -> None: ...
    def sphere_texcoords(self, /) -> None: ...
    def weld(self, epsilon: SupportsFloat, /) -> None: ...
    def save(
        self,
        path: _Path,
        *,
        normals: _Normals = None,
        texture: bool = False,
        materials: bool = False,
        colors: bool = False,
    ) -> None: ...
    def mesh(
        self, *, normals: _Normals = None, texture: bool = False, colors: bool = False
    ) -> Mesh: ...

def load(
    path: _Path,
    *,
    threads: int = 0,
    objects: bool = False,
    missing_libraries: bool = False,
    unknown_keywords: bool = False,
    max_bytes: int = 0,
) -> Model: ...
def load_bytes(
    data: _Bytes,
    path: _Path = "memory.obj",
    *,
    library: Optional[Callable[[str], Optional[_Bytes]]] = None,
    threads: int = 0,
    objects: bool = False,
    missing_libraries: bool = False,
    unknown_keywords: bool = False,
    max_bytes: int = 0,
) -> Model: ...
