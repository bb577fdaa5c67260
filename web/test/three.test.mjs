// ZelLoader in Node (on this thread, no worker): the Group it gives three.js, its materials from
// the MTL library, its geometry groups, vertex colours, lines and points.
import assert from "node:assert/strict";
import { readFileSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { test } from "node:test";
import { InterleavedBufferAttribute, LineSegments, Mesh, MeshPhongMaterial, Points } from "three";
import { LoadError, ZelLoader } from "../three.mjs";
import { scratch } from "./support.mjs";

const folder = scratch();
writeFileSync(join(folder, "two.mtl"),
    "newmtl red\nKd 1 0 0\nKs 0.5 0.5 0.5\nNs 500\nKe 0 0.25 0\nd 0.5\nmap_Kd -s 2 3 1 wood.png\nbump -bm 0.3 bumps.png\n" +
    "newmtl blue\nKd 0 0 1\n");
writeFileSync(join(folder, "two.obj"),
    "mtllib two.mtl\nv 0 0 0 1 0 0\nv 1 0 0 0 1 0\nv 1 1 0 0 0 1\nv 0 1 0 1 1 1\nvt 0 0\nvt 1 0\nvt 1 1\n" +
    "vn 0 0 1\ng first\nusemtl red\nf 1/1/1 2/2/1 3/3/1\ng second\nusemtl blue\nf 1/1/1 3/3/1 4/3/1\nl 1 2 3\np 4\n");

const parse = (file, options = {}) => {
    const loader = new ZelLoader(undefined, { onWarning: () => {}, ...options });
    const bytes = readFileSync(file);
    return loader.parse(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length), file).finally(() => loader.dispose());
};

test("a Group of one Mesh over one interleaved buffer, a geometry group and a material per group", async () => {
    for (const threads of [1, 2]) {
        const group = await parse(join(folder, "two.obj"), { threads });
        const [mesh, lines, points] = group.children;
        assert.ok(mesh instanceof Mesh && lines instanceof LineSegments && points instanceof Points);
        const { geometry } = mesh;
        const attributes = ["position", "normal", "uv", "color"].map((name) => geometry.attributes[name]);
        assert.ok(attributes.every((a) => a instanceof InterleavedBufferAttribute && a.data === attributes[0].data));
        assert.deepEqual(attributes.map((a) => a.offset), [0, 3, 6, 8]);
        assert.equal(geometry.index.count, 6);
        // The list order: the newest group first.
        assert.deepEqual(geometry.groups.map(({ start, count, materialIndex }) => [start, count, materialIndex]), [[0, 3, 2], [3, 3, 1]]);
        assert.deepEqual(mesh.material.map((m) => m.name), ["default", "red", "blue"]);
        assert.ok(mesh.material.every((m) => m instanceof MeshPhongMaterial && m.vertexColors));
        assert.equal(lines.geometry.index.count, 4);
        assert.equal(points.geometry.index.count, 1);
    }
});

test("MeshPhongMaterial takes the MTL's colours, shininess, emission, dissolve and maps", async () => {
    const group = await parse(join(folder, "two.obj"));
    const red = group.children[0].material[1];
    // The MTL's colours are sRGB, as three's getHex gives them back.
    assert.deepEqual([red.color.getHex(), red.specular.getHex(), red.emissive.getHex()], [0xff0000, 0x808080, 0x004000]);
    assert.equal(red.shininess, 64);
    assert.deepEqual([red.opacity, red.transparent], [0.5, true]);
    assert.deepEqual(red.userData.zelMaps, { diffuse: join(folder, "wood.png"), bump: join(folder, "bumps.png") });
    assert.equal(group.children[0].material[2].transparent, false);
});

test("a bad file rejects with a LoadError and its line", async () => {
    const file = join(folder, "bad.obj");
    writeFileSync(file, "v 0 0 0\nf 1 2 3\n");
    const error = await parse(file).then(() => null, (e) => e);
    assert.ok(error instanceof LoadError);
    assert.equal(error.line, 2);
});
