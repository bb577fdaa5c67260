// What the web package's tests share: the C library's own reading of a file (zel_dump, built by the
// project's CMake build with its tests, as the Python package's tests use it), the Python tests'
// generated OBJ files, and a comparison of a model with the C reading.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { existsSync, mkdtempSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { fileURLToPath } from "node:url";

export const repo = fileURLToPath(new URL("../../", import.meta.url));
export const zelDumpPath = process.env.ZEL_DUMP ?? join(repo, "build/python/test-support/zel_dump");

export function scratch(prefix = "zel-web-") {
    return mkdtempSync(join(tmpdir(), prefix));
}

/** zel_dump's records for `file` after `operations`: a map from key to a list of Buffers. */
export function cReading(file, ...operations) {
    if (!existsSync(zelDumpPath))
        assert.fail(`${zelDumpPath} is missing: build the target zel_dump, or set ZEL_DUMP`);
    const out = execFileSync(zelDumpPath, [file, ...operations], { maxBuffer: 1 << 30 });
    const records = new Map();
    for (let at = 0; at < out.length;) {
        const end = out.indexOf(10, at);
        const [key, size] = out.subarray(at, end).toString().split(" ");
        const body = out.subarray(end + 1, end + 1 + Number(size));
        if (!records.has(key)) records.set(key, []);
        records.get(key).push(body);
        at = end + 1 + Number(size);
    }
    return records;
}

/** The Python tests' generated cases (python/tests/objgen.py), written into `folder`: returns the
 * OBJ paths. */
export function generatedCases(folder, seeds) {
    const script = `
import json, sys, objgen
out = {}
for seed in json.loads(sys.argv[1]):
    out[seed] = objgen.case(seed)
print(json.dumps(out))`;
    const python = existsSync("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    const cases = JSON.parse(execFileSync(python, ["-c", script, JSON.stringify(seeds)], {
        env: { ...process.env, PYTHONPATH: join(repo, "python/tests") }, maxBuffer: 1 << 28,
    }));
    return seeds.map((seed) => {
        const [obj, libraries] = cases[seed];
        const dir = join(folder, `case${seed}`);
        execFileSync("mkdir", ["-p", dir]);
        for (const [name, text] of Object.entries(libraries)) writeFileSync(join(dir, name), text);
        writeFileSync(join(dir, "model.obj"), obj);
        return join(dir, "model.obj");
    });
}

const bytesOf = (array) => (array ? Buffer.from(array.buffer, array.byteOffset, array.byteLength) : undefined);

/** Asserts that `model` holds exactly what the C library read (records from cReading). */
export function assertMatches(model, records, what) {
    const one = (key) => records.get(key)?.[0];
    assert.equal(model.path, one("path").toString(), `${what}: path`);
    assert.equal(model.mtllib, one("mtllib")?.toString() ?? null, `${what}: mtllib`);
    for (const [key, array] of [["vertices", model.vertices], ["colors", model.colors],
                                ["normals", model.normals], ["texcoords", model.texcoords],
                                ["facetnorms", model.facetNormals], ["triangles", model.triangles]]) {
        const expected = one(key);
        if (!expected) assert.ok(!array || array.length === 0, `${what}: ${key} should be absent`);
        else assert.ok(bytesOf(array)?.equals(expected), `${what}: ${key} differ`);
    }
    const names = records.get("group") ?? [];
    assert.deepEqual(model.groups.map((g) => g.name), names.map((n) => n.toString()), `${what}: groups`);
    model.groups.forEach((group, i) => {
        assert.equal(group.material, records.get("group.material")[i].readUInt32LE(0), `${what}: group ${i} material`);
        assert.ok(bytesOf(group.triangles).equals(records.get("group.triangles")[i]), `${what}: group ${i} triangles`);
    });
    const materials = records.get("material") ?? [];
    assert.deepEqual(model.materials.map((m) => m.name), materials.map((n) => n.toString()), `${what}: materials`);
    model.materials.forEach((m, i) => {
        const values = new Float32Array([...m.diffuse, ...m.ambient, ...m.specular, m.shininess, m.dissolve]);
        assert.ok(bytesOf(values).equals(records.get("material.values")[i]), `${what}: material ${m.name}`);
    });
}
