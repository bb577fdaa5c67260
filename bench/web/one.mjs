// One read of the web benchmark in this fresh Node process: `node one.mjs READER FILE`. Prints one
// JSON line: { seconds, peakKiB, triangles }. The file's bytes are read first, outside the time;
// the time runs from the bytes in memory to a three.js BufferGeometry (the zel rows and OBJLoader)
// or to typed arrays (zel-arrays, loaders.gl). Readers:
//   zel@1, zel        ZelLoader.parse on this thread, the one-thread build / every core
//   zel-arrays@1      Zel.load alone: the model's typed arrays
//   objloader         three.js's OBJLoader (the bytes decoded to a string, then parsed)
//   loaders.gl        @loaders.gl/obj's OBJLoader through @loaders.gl/core's parse
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";

const [reader, file] = process.argv.slice(2);
const web = new URL("../../web/", import.meta.url);
const require = createRequire(web);
const bytes = readFileSync(file);
let triangles = 0;
let run;

if (reader.startsWith("zel")) {
    const threads = reader.endsWith("@1") ? 1 : 0;
    if (reader.startsWith("zel-arrays")) {
        const { createZel } = await import(new URL("zel.mjs", web));
        const zel = await createZel({ threads });
        run = async () => {
            const model = await zel.load(bytes, { path: file });
            // The arrays a caller of Zel.load takes, copied out of the module.
            const { vertices, normals, texcoords, faces, groups } = model;
            triangles = faces.length / 3;
            model.release();
            return [vertices, normals, texcoords, groups];
        };
    } else {
        const { ZelLoader } = await import(new URL("three.mjs", web));
        const loader = new ZelLoader(undefined, { worker: false, threads, onWarning: () => {} });
        // The module starts once per page or process: that start is not in the time.
        await loader.parse(new TextEncoder().encode("v 0 0 0\n").buffer);
        run = async () => {
            const group = await loader.parse(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength), file);
            triangles = group.children[0].geometry.index.count / 3;
        };
    }
} else if (reader === "objloader") {
    const { OBJLoader } = await import(require.resolve("three/examples/jsm/loaders/OBJLoader.js"));
    run = async () => {
        const group = new OBJLoader().parse(new TextDecoder().decode(bytes));
        for (const mesh of group.children) triangles += mesh.geometry.attributes.position.count / 3;
    };
} else if (reader === "loaders.gl") {
    const { OBJLoader } = await import(new URL("node_modules/@loaders.gl/obj/dist/index.js", web));
    const { parse } = await import(new URL("node_modules/@loaders.gl/core/dist/index.js", web));
    run = async () => {
        const mesh = await parse(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength), OBJLoader, { worker: false });
        triangles = mesh.attributes.POSITION.value.length / 9;
    };
} else {
    console.error(`unknown reader ${reader}`);
    process.exit(2);
}

const start = performance.now();
await run();
const seconds = (performance.now() - start) / 1000;
console.log(JSON.stringify({ seconds, peakKiB: process.resourceUsage().maxRSS, triangles }));
process.exit(0);
