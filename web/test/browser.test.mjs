// The package in a real browser: Debian's Chromium, headless, driven by puppeteer-core, over the
// package's own server (web/server.mjs, with the cross-origin isolation headers).
// ZEL_WEB_SHOT=FILE.png keeps the demo's screenshot (docs/web-demo.png is made so).
import assert from "node:assert/strict";
import { copyFileSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { after, before, test } from "node:test";
import puppeteer from "puppeteer-core";
import { serve } from "../server.mjs";
import { scratch } from "./support.mjs";

// A 24-bit BMP (browsers decode it, and it needs no compressor): `pixel(x, y)` gives [r, g, b].
function bmp(width, height, pixel) {
    const row = Math.ceil((width * 3) / 4) * 4;
    const out = Buffer.alloc(54 + row * height);
    out.write("BM");
    out.writeUInt32LE(out.length, 2);
    out.writeUInt32LE(54, 10);
    out.writeUInt32LE(40, 14);
    out.writeInt32LE(width, 18);
    out.writeInt32LE(height, 22);
    out.writeUInt16LE(1, 26);
    out.writeUInt16LE(24, 28);
    for (let y = 0; y < height; y++)
        for (let x = 0; x < width; x++) {
            const [r, g, b] = pixel(x, y);
            out.set([b, g, r], 54 + y * row + 3 * x);
        }
    return out;
}

const models = scratch();
// A square with a red and blue checker texture, lit by a material that keeps the image's colours.
writeFileSync(join(models, "checker.bmp"), bmp(64, 64, (x, y) => ((x < 32) === (y < 32) ? [255, 0, 0] : [0, 0, 255])));
writeFileSync(join(models, "square.mtl"), "newmtl checker\nKa 1 1 1\nKd 1 1 1\nKs 0 0 0\nmap_Kd checker.bmp\n");
writeFileSync(join(models, "square.obj"), "mtllib square.mtl\nv -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\n" +
    "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\nusemtl checker\nf 1/1/1 2/2/1 3/3/1 4/4/1\n");
writeFileSync(join(models, "bad.obj"), "v 0 0 0\nv 1 0 0\nf 1 2 7\n");
// A file of several MiB, which the threaded build reads in ranges on its threads.
{
    const lines = [];
    for (let i = 0; i < 120000; i++) lines.push(`v ${(i % 97) * 0.25} ${(i % 89) * 0.5} ${i * 1e-3}\nvt ${(i % 7) / 7} ${(i % 5) / 5}\n`);
    for (let i = 1; i + 3 <= 120000; i += 2) lines.push(`g part${i % 13}\nf ${i}/${i} ${i + 1}/${i + 1} ${i + 2}/${i + 2} ${i + 3}/${i + 3}\n`);
    writeFileSync(join(models, "medium.obj"), lines.join(""));
}

let browser, isolated, plain;
before(async () => {
    isolated = await serve({ extra: { "/models/": models } });
    plain = await serve({ extra: { "/models/": models }, isolation: false });
    browser = await puppeteer.launch({
        executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
        headless: true,
        args: ["--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader", "--window-size=800,600"],
    });
});
after(async () => {
    await browser?.close();
    isolated?.server.close();
    plain?.server.close();
});

async function demo(url) {
    const page = await browser.newPage();
    await page.setViewport({ width: 800, height: 600 });
    await page.goto(url);
    await page.waitForFunction(() => ["loaded", "failed"].includes(document.body.dataset.state), { timeout: 60000 });
    return page;
}

test("the demo shows a textured model read by ZelLoader in a worker", async () => {
    const page = await demo(`${isolated.url}demo/?model=/models/square.obj`);
    assert.equal(await page.evaluate(() => document.body.dataset.state), "loaded");
    assert.match(await page.$eval("#counts", (e) => e.textContent), /^4 vertices, 2 triangles, 1 normal, 4 texture coordinates, 1 group, 2 materials$/);
    assert.ok(await page.evaluate(() => performance.getEntriesByType("resource").some((e) => e.name.endsWith("/worker.mjs"))),
              "the model was read in the worker");
    await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
    const shot = join(models, "demo.png");
    await page.screenshot({ path: shot });
    if (process.env.ZEL_WEB_SHOT) copyFileSync(shot, process.env.ZEL_WEB_SHOT);
    // The canvas's pixels, counted by colour in the page: the checker's red and blue are there, lit.
    const counts = await page.evaluate(() => {
        const canvas = document.getElementById("view");
        const copy = Object.assign(document.createElement("canvas"), { width: canvas.width, height: canvas.height });
        const context = copy.getContext("2d");
        context.drawImage(canvas, 0, 0);
        const { data } = context.getImageData(0, 0, copy.width, copy.height);
        let red = 0, blue = 0;
        for (let i = 0; i < data.length; i += 4) {
            const [r, g, b] = [data[i], data[i + 1], data[i + 2]];
            if (r > 150 && g < 40 && b < 40) red++;
            if (b > 150 && r < 40 && g < 40) blue++;
        }
        return { red: red / (data.length / 4), blue: blue / (data.length / 4) };
    });
    assert.ok(counts.red > 0.05 && counts.blue > 0.05, `texture colours on screen: ${JSON.stringify(counts)}`);
    await page.close();
});

test("a bad file shows its error and line on the page", async () => {
    const page = await demo(`${isolated.url}demo/?model=/models/bad.obj`);
    assert.equal(await page.evaluate(() => document.body.dataset.state), "failed");
    const error = await page.$eval("#error", (e) => e.textContent);
    assert.match(error, /vertex index 7/);
    assert.match(error, /\(line 3\)/);
    await page.close();
});

// In the page: the medium file read by the one-thread build and by the threaded one (when the
// page may have it), compared array by array.
async function readTwice(url) {
    const page = await browser.newPage();
    await page.goto(`${url}demo/?model=/models/square.obj`);
    const result = await page.evaluate(async () => {
        const { createZel } = await import("/zel.mjs");
        const bytes = new Uint8Array(await (await fetch("/models/medium.obj")).arrayBuffer());
        const read = async (threads) => {
            const zel = await createZel({ threads });
            const model = await zel.load(bytes, { path: "/models/medium.obj", polygons: true });
            return { zel, model, mesh: model.mesh({ texture: true }) };
        };
        const one = await read(1);
        const many = await read(4);
        const same = (a, b) => a === b || (a && b && a.length === b.length && a.every((x, i) => Object.is(x, b[i])));
        const arrays = ["vertices", "texcoords", "normals", "colors", "triangles", "faces"];
        return {
            isolated: crossOriginIsolated,
            threaded: [one.zel.threaded, many.zel.threaded],
            triangles: one.model.faces.length / 3,
            differ: [
                ...arrays.filter((name) => !same(one.model[name], many.model[name])),
                ...(JSON.stringify(one.model.groups.map((g) => [g.name, [...g.triangles], [...g.polygonStarts]])) ===
                    JSON.stringify(many.model.groups.map((g) => [g.name, [...g.triangles], [...g.polygonStarts]])) ? [] : ["groups"]),
                ...(same(one.mesh.vertices, many.mesh.vertices) && same(one.mesh.indices, many.mesh.indices) ? [] : ["mesh"]),
            ],
        };
    });
    await page.close();
    return result;
}

test("the threaded build, on an isolated page, reads what one thread reads", async () => {
    const result = await readTwice(isolated.url);
    assert.deepEqual(result, { isolated: true, threaded: [false, true], triangles: 119998, differ: [] });
});

test("a page that is not isolated gets the one-thread build", async () => {
    const result = await readTwice(plain.url);
    assert.deepEqual(result, { isolated: false, threaded: [false, false], triangles: 119998, differ: [] });
});
