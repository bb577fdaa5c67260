// What ZelLoader asks of zel, in its worker or on the page's thread: a model read into the arrays
// a three.js scene takes.

/**
 * Reads `bytes` and makes the mesh a three.js scene wants: smooth normals when the file has
 * normals, else flat ones; texture coordinates and colours when it has them. Returns the mesh's
 * arrays, the model's counts, the warnings and the time taken; `transfer` lists the buffers.
 */
export async function readForThree(zel, bytes, path, options, library) {
    const warnings = [];
    const start = performance.now();
    const model = await zel.load(bytes, {
        ...options, path, library, onWarning: (message) => warnings.push(message),
    });
    try {
        let normals = "smooth";
        if (!model.normals) {
            model.computeFacetNormals();
            normals = "flat";
        }
        const mesh = model.mesh({
            normals, texture: model.texcoords !== null, colors: model.colors !== null,
            onWarning: (message) => warnings.push(message),
        });
        const counts = {
            vertices: model.vertices.length / 3, triangles: model.faces.length / 3,
            normals: model.normals ? model.normals.length / 3 : 0,
            texcoords: model.texcoords ? model.texcoords.length / 2 : 0,
            groups: model.groups.length, materials: model.materials.length,
            lines: model.groups.reduce((sum, group) => sum + Math.max(0, group.lineStarts.length - 1), 0),
            points: model.groups.reduce((sum, group) => sum + group.points.length, 0),
        };
        const result = { mesh, counts, mtllib: model.mtllib, warnings, milliseconds: performance.now() - start, threads: zel.threads };
        const transfer = [mesh.vertices.buffer, mesh.indices.buffer, mesh.lineIndices.buffer, mesh.pointIndices.buffer];
        return { result, transfer };
    } finally {
        model.dispose();
    }
}
