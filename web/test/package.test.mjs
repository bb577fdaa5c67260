// The package as npm packs it: installed from its tarball into a fresh folder, it imports and reads
// a model there, in both builds, with its TypeScript declarations beside it.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { existsSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { test } from "node:test";
import { fileURLToPath } from "node:url";
import { scratch } from "./support.mjs";

const web = fileURLToPath(new URL("../", import.meta.url));

test("the packed package installs and imports in a fresh folder", () => {
    let tarball = process.env.ZEL_WEB_TARBALL;
    if (!tarball) {
        const packed = scratch();
        tarball = join(packed, execFileSync("npm", ["pack", "--silent", "--pack-destination", packed], { cwd: web }).toString().trim());
    }
    const fresh = scratch("zel-web-install-");
    writeFileSync(join(fresh, "package.json"), JSON.stringify({ name: "fresh", private: true, type: "module" }));
    execFileSync("npm", ["install", "--offline", "--no-audit", "--no-fund", tarball], { cwd: fresh, stdio: "pipe" });
    for (const file of ["zel.d.ts", "three.d.ts", "dist/zel-wasm.wasm", "dist/zel-wasm-threads.wasm"])
        assert.ok(existsSync(join(fresh, "node_modules/zel", file)), `${file} is in the package`);
    writeFileSync(join(fresh, "use.mjs"), `
import { createZel, LoadError } from "zel";
const out = [];
for (const threads of [1, 2]) {
    const zel = await createZel({ threads });
    const model = await zel.load(new TextEncoder().encode("v 0 0 0\\nv 1 0 0\\nv 0 1 0\\nf 1 2 3\\n"));
    out.push([zel.threaded, [...model.faces], model.vertices.length]);
    out.push(await zel.load(new Uint8Array([102, 32, 49])).catch((e) => e instanceof LoadError && e.line));
}
console.log(JSON.stringify(out));`);
    const out = JSON.parse(execFileSync("node", ["use.mjs"], { cwd: fresh }).toString());
    assert.deepEqual(out, [[false, [0, 1, 2], 9], 1, [true, [0, 1, 2], 9], 1]);
});
