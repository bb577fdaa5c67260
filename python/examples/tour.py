"""tour: the zel package in one program: load a model, read its arrays, make a mesh, save.

    /usr/bin/python3 python/examples/tour.py FILE.obj OUT.obj    (a python3 with numpy)
"""

import sys

import numpy as np

import zel


def main(source: str, target: str) -> None:
    # 1. Load. A file that cannot be read raises zel.LoadError with the library's message and
    #    the file line it is about; "can't find material" lines come as zel.ZelWarning.
    try:
        model = zel.load(source)
    except zel.LoadError as error:
        sys.exit(f"{source}: {error} (line {error.line})")
    print(model)

    # 2. Read. The arrays are views of the model's memory, not copies; faces holds each
    #    triangle's 0-based vertex indices, so vertices[faces] gives every corner.
    vertices, faces = model.vertices, model.faces
    corners = vertices[faces]  # (triangles, 3, 3)
    crossed = np.cross(corners[:, 1] - corners[:, 0], corners[:, 2] - corners[:, 0])
    area = 0.5 * np.linalg.norm(crossed, axis=1).sum()
    print(f"{len(vertices)} vertices, {len(faces)} triangles, surface area {area:.3f}")
    for group in model.groups:
        print(f"  group {group.name!r}: {len(group.triangles)} triangles")

    # 3. Prepare. Operations change the model in place, and existing views show it.
    model.fit_to_unit_cube()
    model.compute_facet_normals()
    if model.normals is None:
        model.vertex_normals(90.0)  # edges sharper than 90 degrees stay sharp

    # 4. A mesh for vertex arrays or GPU buffers: one interleaved vertex (x y z nx ny nz) per
    #    distinct corner and three uint32 indices per triangle, e.g. for
    #    glBufferData(GL_ARRAY_BUFFER, mesh.vertices.nbytes, mesh.vertices, GL_STATIC_DRAW).
    mesh = model.mesh(normals="smooth")
    print(f"mesh: {len(mesh.vertices)} vertices of {mesh.stride} floats, "
          f"{len(mesh.indices)} triangles, {len(mesh.groups)} index ranges")

    # 5. Save, with the normals and, when the model has them, the materials.
    model.save(target, normals="smooth", materials=bool(model.materials))
    print(f"wrote {target}")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: tour.py FILE.obj OUT.obj")
    main(sys.argv[1], sys.argv[2])
