// What ZelLoader asks of zel, in its worker or on the page's thread: a model read into the arrays
// a three.js scene takes.

/**
 * Reads `bytes` and makes the mesh a three.js scene wants: normals when the file has them,
 * texture coordinates and colours when it has them. Returns the mesh's
 * arrays, the model's counts, the warnings and the time taken; `transfer` lists the buffers.
 */
export async function readForThree(zel, bytes, path, options, library) {
    const warnings = [];
    const start = performance.now();
    const model = await zel.load(bytes, {
        ...options, path, library, onWarning: (message) => warnings.push(message),
    });
    try {
        // A file without normals gets none: its material shades each triangle flat from the
        // positions (flatShading), so that its corners still share vertices. Flat normals in the
        // buffer would make a vertex of every corner: three times the vertices, and the time to
        // make them (five times the read's, measured on the benchmark's file b).
        const has = model.counts;
        const mesh = model.mesh({
            normals: has.normals ? "smooth" : null, texture: has.texcoords > 0, colors: has.colors,
            onWarning: (message) => warnings.push(message),
        });
        const counts = {
            vertices: has.vertices, triangles: has.triangles, normals: has.normals, texcoords: has.texcoords,
            groups: mesh.groups.length, materials: mesh.materials.length,
            lineSegments: mesh.lineIndices.length / 2, points: mesh.pointIndices.length,
        };
        const result = { mesh, counts, mtllib: model.mtllib, warnings, milliseconds: performance.now() - start, threads: zel.threads };
        const transfer = [mesh.vertices.buffer, mesh.indices.buffer, mesh.lineIndices.buffer, mesh.pointIndices.buffer];
        return { result, transfer };
    } finally {
        model.release();
    }
}
