// The web benchmark: zel's WebAssembly reader against three.js's OBJLoader and @loaders.gl/obj, in
// Node and in headless Chromium, on the read benchmark's files (a), (b), (c), with the native C
// reader on one core as the baseline for the one-thread rows.
//
//     node bench/web/run.mjs
//
// (after scripts/build-web; run from anywhere). Every read is a fresh Node process (one.mjs) or a
// fresh Chromium (page.html), the rows taken in turn and in reverse order every other round. Each
// time runs from the file's bytes in memory to a three.js BufferGeometry (zel, OBJLoader) or to
// typed arrays (zel-arrays, loaders.gl); zel's module is started beforehand, as a page or a
// server starts it once. The tables give medians; "peak" is the peak resident size of the whole
// Node process, or of the whole browser (every process, sampled every 20 ms). In Chromium the row
// "bytes" is a page that fetches the file and reads nothing: the last column compares each
// reader's peak above it with OBJLoader's.
//
// Environment:
//   RUNS       rounds (default 3)
//   MEGABYTES  size of the generated files (default 100)
//   DATA       folder of the generated files (default /tmp/zel-read-bench, as bench/run_read_bench.sh)
//   BUILD      the native build with bench/gen_obj and bench/bench_read_one (-DZEL_BUILD_BENCH=ON;
//              default build/)
//   WHERE      "node chromium" (default) or either
//   BIG        megabytes of the large file read in Chromium by zel and OBJLoader once (default
//              600; 0 skips it)
import { execFileSync, spawnSync } from "node:child_process";
import { existsSync, readFileSync, readdirSync, renameSync, statSync } from "node:fs";
import { join } from "node:path";
import { fileURLToPath } from "node:url";

const repo = fileURLToPath(new URL("../../", import.meta.url));
const web = join(repo, "web");
const runs = Number(process.env.RUNS ?? 3);
const megabytes = Number(process.env.MEGABYTES ?? 100);
const data = process.env.DATA ?? "/tmp/zel-read-bench";
const build = process.env.BUILD ?? join(repo, "build");
const where = (process.env.WHERE ?? "node chromium").split(/\s+/);
const big = Number(process.env.BIG ?? 600);
const gen = join(build, "bench/gen_obj");
const native = join(build, "bench/bench_read_one");

if (!existsSync(join(web, "dist/zel-wasm.wasm"))) throw new Error("run scripts/build-web first");
function file(kind, size) {
    const path = join(data, `${kind}-${size}.obj`);
    if (!existsSync(path)) {
        if (!existsSync(gen)) throw new Error(`${gen} is missing: build with -DZEL_BUILD_BENCH=ON (BUILD=...)`);
        execFileSync("mkdir", ["-p", data]);
        execFileSync(gen, [kind, `${path}.part`, String(size)], { stdio: ["ignore", "ignore", "inherit"] });
        renameSync(`${path}.part`, path);
    }
    return path;
}
const files = [["a: v/t/n triangles", file("vtn", megabytes)], ["b: v triangles", file("v", megabytes)],
               ["c: v/t/n quads", file("quad", megabytes)]];
const cpu = execFileSync("sh", ["-c", "taskset -cp $$"]).toString().replace(/.*: */, "").replace(/[-,].*/s, "").trim();

const median = (list) => {
    const sorted = [...list].sort((a, b) => a - b);
    const n = sorted.length;
    return n % 2 ? sorted[(n - 1) / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
};

function nodeRead(reader, path) {
    if (reader === "C zel@1") {
        if (!existsSync(native)) return { failed: `${native} is missing` };
        const out = execFileSync("taskset", ["-c", cpu, native, "zel", path]).toString();
        const [, seconds] = out.match(/seconds ([\d.]+)/);
        const [, peak] = out.match(/peak_kib (\d+)/);
        return { seconds: Number(seconds), peakKiB: Number(peak) };
    }
    const run = spawnSync("node", [join(repo, "bench/web/one.mjs"), reader, path], { cwd: web, maxBuffer: 1 << 20 });
    if (run.status !== 0) return { failed: run.stderr.toString().trim().split("\n").pop().slice(0, 120) };
    return JSON.parse(run.stdout.toString().trim().split("\n").pop());
}

// The resident size of process `pid` and its descendants, in KiB.
function treeKiB(pid) {
    let total = 0;
    const children = new Map();
    for (const entry of readdirSync("/proc")) {
        if (!/^\d+$/.test(entry)) continue;
        try {
            const stat = readFileSync(`/proc/${entry}/stat`, "utf8");
            const parent = Number(stat.slice(stat.lastIndexOf(")") + 2).split(" ")[1]);
            if (!children.has(parent)) children.set(parent, []);
            children.get(parent).push(Number(entry));
        } catch {}
    }
    const visit = (p) => {
        try {
            const status = readFileSync(`/proc/${p}/status`, "utf8");
            total += Number(status.match(/VmRSS:\s+(\d+)/)?.[1] ?? 0);
        } catch {}
        for (const child of children.get(p) ?? []) visit(child);
    };
    visit(pid);
    return total;
}

let puppeteer, server;
async function chromiumRead(reader, path) {
    puppeteer ??= (await import(join(web, "node_modules/puppeteer-core/lib/esm/puppeteer/puppeteer-core.js"))).default;
    if (!server) {
        const { serve } = await import(join(web, "server.mjs"));
        server = await serve({ extra: { "/bench/": join(repo, "bench/web"), "/files/": data } });
    }
    const browser = await puppeteer.launch({
        executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium", headless: true,
        args: ["--no-sandbox", "--js-flags=--max-old-space-size=8192"],
        protocolTimeout: 600000,
    });
    try {
        const page = await browser.newPage();
        await page.goto(`${server.url}bench/page.html`);
        await page.waitForFunction(() => window.benchReady === true);
        let peak = 0;
        const pid = browser.process().pid;
        const sampler = setInterval(() => (peak = Math.max(peak, treeKiB(pid))), 20);
        const url = `/files/${path.slice(data.length + 1)}`;
        const result = await page.evaluate((r, u) => window.benchRead(r, u), reader, url);
        clearInterval(sampler);
        peak = Math.max(peak, treeKiB(pid));
        return { ...result, peakKiB: peak };
    } finally {
        await browser.close();
    }
}

async function table(title, readers, read) {
    const results = new Map();
    for (const [label, path] of files) {
        for (let round = 0; round < runs; round++) {
            const order = round % 2 ? [...readers].reverse() : readers;
            for (const reader of order) {
                const result = await read(reader, path);
                const key = `${label}\t${reader}`;
                if (!results.has(key)) results.set(key, []);
                results.get(key).push(result);
                process.stderr.write(`${title} ${label} ${reader}: ${result.failed ?? result.seconds.toFixed(3) + " s"}\n`);
            }
        }
    }
    console.log(`\n${title}: ${runs} rounds, medians; ${Math.round(statSync(files[0][1]).size / 1e6)} MB files`);
    console.log("file                reader          seconds   peak MiB   x OBJLoader   peak/OBJLoader   x C zel@1   over bytes/OBJLoader's");
    for (const [label] of files) {
        const get = (reader) => {
            const list = results.get(`${label}\t${reader}`) ?? [];
            const ok = list.filter((r) => !r.failed);
            return ok.length ? { seconds: median(ok.map((r) => r.seconds)), peak: median(ok.map((r) => r.peakKiB)) / 1024 }
                             : { failed: list[0]?.failed ?? "not run" };
        };
        const objloader = get("objloader");
        const c = get("C zel@1");
        const held = get("bytes");
        for (const reader of readers) {
            const r = get(reader);
            if (r.failed) {
                console.log(`${label.padEnd(20)}${reader.padEnd(16)}failed: ${r.failed}`);
                continue;
            }
            const ratio = (a, b) => (b && !b.failed ? (a / b).toFixed(2) : "-");
            console.log(`${label.padEnd(20)}${reader.padEnd(16)}${r.seconds.toFixed(3).padStart(7)}   ${r.peak.toFixed(0).padStart(8)}` +
                `   ${(reader === "bytes" ? "-" : ratio(objloader.seconds, r.seconds)).padStart(11)}   ${ratio(r.peak, objloader.peak).padStart(14)}` +
                `   ${(reader.endsWith("@1") ? ratio(r.seconds, c.seconds) : "-").padStart(9)}` +
                `   ${(held.failed || reader === "bytes" || reader.startsWith("C ") ? "-" : ratio(r.peak - held.peak, objloader.peak - held.peak)).padStart(8)}`);
        }
    }
}

if (where.includes("node"))
    await table("Node", ["zel@1", "zel", "zel-arrays@1", "objloader", "loaders.gl", "C zel@1"], nodeRead);
if (where.includes("chromium")) {
    await table("Chromium", ["zel@1", "zel", "objloader", "loaders.gl", "bytes", "C zel@1"],
                (reader, path) => (reader === "C zel@1" ? nodeRead(reader, path) : chromiumRead(reader, path)));
    if (big) {
        const path = file("vtn", big);
        console.log(`\nChromium, one ${Math.round(statSync(path).size / 1e6)} MB file (a's kind), one read each:`);
        for (const reader of ["zel@1", "zel", "objloader"]) {
            const r = await chromiumRead(reader, path);
            console.log(`${reader.padEnd(12)}${r.failed ? "failed: " + r.failed : `${r.seconds.toFixed(3)} s, ${r.triangles} triangles`}` +
                `, peak ${(r.peakKiB / 1024).toFixed(0)} MiB`);
        }
    }
}
server?.server.close();
console.log(`\nmachine: ${readFileSync("/proc/cpuinfo", "utf8").match(/model name\s*:\s*(.*)/)?.[1]}, ` +
            `${execFileSync("nproc").toString().trim()} processors; Node ${process.version}; C zel@1 on cpu ${cpu}`);
