// The JavaScript API in Node: the arrays against the C library's reading, every load option, the
// failures and their lines, the module after a failure and after memory runs out, meshes.
import assert from "node:assert/strict";
import { readdirSync, readFileSync, writeFileSync, mkdirSync } from "node:fs";
import { join } from "node:path";
import { test } from "node:test";
import { createZel, LoadError } from "../zel.mjs";
import { assertMatches, cReading, generatedCases, repo, scratch } from "./support.mjs";

const text = (s) => new TextEncoder().encode(s);
const quiet = { onWarning: () => {} };
const builds = [
    ["one thread", await createZel({ threads: 1 })],
    ["threads", await createZel({ threads: 3 })],
];

test("both builds are there: the one-thread build and the threaded one", () => {
    assert.deepEqual(builds.map(([, zel]) => [zel.threaded, zel.threads]), [[false, 1], [true, 3]]);
});

test("the arrays equal the C library's, on generated files and on data/", async () => {
    const folder = scratch();
    const files = [
        ...generatedCases(folder, Array.from({ length: 30 }, (_, i) => i)),
        ...readdirSync(join(repo, "data")).filter((f) => f.endsWith(".obj")).map((f) => join(repo, "data", f)),
    ];
    for (const file of files) {
        const records = cReading(file);
        const facets = cReading(file, "facets");
        for (const [name, zel] of builds) {
            const model = await zel.loadFile(file, quiet);
            assertMatches(model, records, `${file} (${name})`);
            // The faces are the triangles' vertex indices, 0-based.
            for (let t = 0; t < model.faces.length / 3; t++)
                for (let c = 0; c < 3; c++) assert.equal(model.faces[3 * t + c], model.triangles[10 * t + c] - 1);
            assertMatches(model.computeFacetNormals(), facets, `${file} facets (${name})`);
            model.dispose();
        }
        // From memory, the library through the callback: the same model.
        const dir = file.slice(0, file.lastIndexOf("/") + 1);
        const asked = [];
        const library = async (path) => {
            asked.push(path);
            try { return readFileSync(path); } catch { return null; }
        };
        const model = await builds[0][1].load(readFileSync(file), { path: file, library, ...quiet });
        assertMatches(model, records, `${file} from memory`);
        assert.ok(asked.every((path) => path.startsWith(dir)), `${file}: libraries asked for in its folder`);
    }
});

// One file per option, and what the option changes in it.
const library = "newmtl red\nKd 1 0 0\nNs 10\nNi 1.5\n";
const options = [
    ["objects", "v 0 0 0\nv 1 0 0\nv 0 1 0\no thing\nf 1 2 3\n",
     { objects: true }, (m) => assert.equal(m.groups[0].name, "thing"),
     { objects: false }, (m) => assert.equal(m.groups[0].name, "default")],
    ["unknownKeywords", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvp 1 2\nf 1 2 3\n",
     {}, (m, warnings) => assert.match(warnings.join(), /vp/),
     { unknownKeywords: false }, LoadError],
    ["missingLibraries", "mtllib none.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
     {}, (m, warnings) => assert.match(warnings.join(), /none\.mtl/),
     { missingLibraries: false }, LoadError],
    ["wholeKeywords", "mtllib lib.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\n",
     // Ns 10 is shininess 1.28 on OpenGL's scale; without whole keywords "Ni" sets it too.
     {}, (m) => assert.deepEqual([m.materials[1].shininess, m.materials[1].ior], [Math.fround(1.28), 1.5]),
     { wholeKeywords: false }, (m) => assert.notEqual(m.materials[1].shininess, Math.fround(1.28))],
    ["documented", "v 0 0 0\nv 1 0 0\nv 0 1 0\ngroup g\nf 1 2 3\n",
     {}, (m) => assert.equal(m.groups[0].name, "default"),
     { documented: true }, (m) => assert.equal(m.groups[0].name, " g")],
    ["concavePolygons", "v 0 0 0\nv 2 0 0\nv 2 2 0\nv 1 0.5 0\nv 0 2 0\nf 1 2 3 4 5\n",
     {}, (m) => assert.notDeepEqual([...m.faces], [0, 1, 2, 0, 2, 3, 0, 3, 4]),
     { concavePolygons: false }, (m) => assert.deepEqual([...m.faces], [0, 1, 2, 0, 2, 3, 0, 3, 4])],
    ["polygons", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\nl 1 3\np 2\n",
     { polygons: true }, (m) => {
         const g = m.groups[0];
         assert.deepEqual([[...g.polygonStarts], [...g.polygonCorners].filter((_, i) => i % 3 === 0)], [[0, 4], [1, 2, 3, 4]]);
         assert.deepEqual([[...g.lineStarts], [...g.points]], [[0, 2], [2]]);
     },
     {}, (m) => assert.equal(m.groups[0].polygonStarts.length, 0)],
    ["confinedLibraries", "mtllib ../lib.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
     { confinedLibraries: true, missingLibraries: false }, LoadError,
     { missingLibraries: false }, (m) => assert.equal(m.materials.length, 2)],
    ["maxBytes", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
     { maxBytes: 16 }, LoadError,
     { maxBytes: 4096 }, (m) => assert.equal(m.faces.length, 3)],
    ["threads", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
     { threads: 1 }, (m) => assert.equal(m.faces.length, 3),
     { threads: 2 }, (m) => assert.equal(m.faces.length, 3)],
];

test("every load option does what it says, on and off", async () => {
    const folder = scratch();
    mkdirSync(join(folder, "inner"));
    writeFileSync(join(folder, "lib.mtl"), library);
    writeFileSync(join(folder, "inner/lib.mtl"), library);
    for (const [, zel] of builds) {
        for (const [name, obj, ...pairs] of options) {
            for (let i = 0; i < pairs.length; i += 2) {
                const [given, check] = [pairs[i], pairs[i + 1]];
                const warnings = [];
                const load = zel.load(text(obj), { path: join(folder, "inner/model.obj"), onWarning: (w) => warnings.push(w), ...given });
                if (check === LoadError) await assert.rejects(load, LoadError, `${name} ${JSON.stringify(given)}`);
                else check(await load, warnings);
            }
        }
    }
});

test("a failure rejects with the library's message and line, and the next load works", async () => {
    const cases = [
        ["v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n", 4, /vertex index 4/],
        ["v 0 0 0\n\n# c\nf 1 -2 1\n", 4, /index/],
        ["v 0 0 0\nvt 0 0\nf 1/2 1/1 1/1\n", 3, /texture/],
        ["v 0 0 0\nvx 1\n", 2, /vx/],
    ];
    for (const [, zel] of builds) {
        for (const [obj, line, message] of cases) {
            const error = await zel.load(text(obj), { documented: true, ...quiet }).then(() => null, (e) => e);
            assert.ok(error instanceof LoadError, `${JSON.stringify(obj)} should fail`);
            assert.deepEqual([error.line, error.outOfMemory], [line, false]);
            assert.match(error.message, message);
            const model = await zel.load(text("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
            assert.deepEqual([...model.faces], [0, 1, 2]);
        }
        // Paths that name no file the module could hold (a folder, nothing) still name the model.
        for (const path of ["folder/", "", "/"]) {
            const model = await zel.load(text("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"), { path });
            assert.deepEqual([model.path, [...model.faces]], [path, [0, 1, 2]]);
        }
        // A library function that throws ends the load with its error.
        await assert.rejects(zel.load(text("mtllib a.mtl\n"), { library: async () => { throw new Error("no way"); } }), /no way/);
        await assert.rejects(zel.load("v 0 0 0\n"), TypeError);
    }
});

test("memory that runs out fails the load, and the module goes on", async () => {
    // A face of 400,000 corners needs about 17 MB of triangles: more than 16 MiB of memory holds.
    const big = text("v 0 0 0\nv 1 0 0\nv 0 1 0\nf" + " 1 2 3".repeat(133334) + "\n");
    for (const threads of [1, 2]) {
        const zel = await createZel({ threads, maximumMemory: 24 * 2 ** 20 });
        for (const documented of [false, true]) {
            const error = await zel.load(big, { documented }).then(() => null, (e) => e);
            assert.ok(error instanceof LoadError && error.outOfMemory, `threads ${threads}: ${error?.message}`);
        }
        const model = await zel.load(text("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
        assert.deepEqual([...model.faces], [0, 1, 2]);
        zel.terminate();
    }
});

test("arrays stay valid after later loads grow the memory", async () => {
    for (const [, zel] of builds) {
        const first = await zel.loadFile(join(repo, "data/hang.obj"));
        const kept = [first.vertices.slice(), first.faces.slice()];
        const many = "v 1 2 3\n".repeat(200000) + "f 1 2 3\n".repeat(300000);
        (await zel.load(text(many))).dispose();
        first.dispose();
        assert.deepEqual([first.vertices, first.faces], kept);
    }
});

test("a mesh's vertices and indices give back each corner of the model", async () => {
    const folder = scratch();
    const [file] = generatedCases(folder, [5]);
    for (const [, zel] of builds) {
        const model = await zel.loadFile(file, quiet);
        for (const normals of [null, "flat", "smooth"]) {
            if (normals === "flat") model.computeFacetNormals();
            const warnings = [];
            const mesh = model.mesh({ normals, texture: true, colors: true, onWarning: (w) => warnings.push(w) });
            assert.equal(mesh.stride, 3 + (mesh.normalOffset ? 3 : 0) + (mesh.texcoordOffset ? 2 : 0) + (mesh.colorOffset ? 3 : 0));
            assert.equal(mesh.texcoordOffset !== 0, model.texcoords !== null);
            assert.equal(warnings.length, (model.texcoords ? 0 : 1) + (model.colors ? 0 : 1) + (normals === "smooth" && !model.normals ? 1 : 0));
            // Each group's range, in list order, holds its triangles' corners.
            let at = 0;
            mesh.groups.forEach((range, g) => {
                assert.deepEqual([range.name, range.first], [model.groups[g].name, at]);
                for (const [k, t] of model.groups[g].triangles.entries()) {
                    for (let c = 0; c < 3; c++) {
                        const v = mesh.indices[at + 3 * k + c] * mesh.stride;
                        const vertex = model.faces[3 * t + c];
                        assert.deepEqual([...mesh.vertices.subarray(v, v + 3)], [...model.vertices.subarray(3 * vertex, 3 * vertex + 3)]);
                        if (normals === "flat") {
                            const f = model.triangles[10 * t + 9] - 1;
                            assert.deepEqual([...mesh.vertices.subarray(v + 3, v + 6)], [...model.facetNormals.subarray(3 * f, 3 * f + 3)]);
                        }
                        if (mesh.texcoordOffset) {
                            const u = model.triangles[10 * t + 6 + c] - 1;
                            const got = [...mesh.vertices.subarray(v + mesh.texcoordOffset, v + mesh.texcoordOffset + 2)];
                            assert.deepEqual(got, u < 0 ? [0, 0] : [...model.texcoords.subarray(2 * u, 2 * u + 2)]);
                        }
                    }
                }
                at += range.count;
            });
            assert.equal(at, mesh.indices.length);
        }
        assert.throws(() => model.mesh({ normals: "round" }), TypeError);
        model.dispose();
        assert.throws(() => model.mesh(), /disposed/);
    }
});

test("loads started together each get their own libraries and warnings", async () => {
    const obj = (name) => text(`mtllib ${name}.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl ${name}\nf 1 2 3\n`);
    for (const [, zel] of builds) {
        const delays = { first: 30, second: 0 };
        const library = async (path) => {
            const name = path.replace(/\.mtl$/, "");
            await new Promise((resolve) => setTimeout(resolve, delays[name]));
            return `newmtl ${name}\nKd 0.5 0.5 0.5\n`;
        };
        const warnings = { first: [], second: [] };
        const models = await Promise.all(["first", "second"].map((name) =>
            zel.load(obj(name), { library, onWarning: (w) => warnings[name].push(w) })));
        assert.deepEqual(models.map((m) => m.materials.map((x) => x.name)), [["default", "first"], ["default", "second"]]);
        assert.deepEqual(warnings, { first: [], second: [] });
    }
});
