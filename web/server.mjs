// A small static server for the demo and the browser tests, on Node's http: the web package's
// folder at /, the repository's data/ at /data/, every response with the headers that make a page
// cross-origin isolated (so that it may use SharedArrayBuffer and the threaded build).
//
//     node web/server.mjs [--port N] [--host H] [--no-isolation]
//
// prints "zel demo: http://HOST:PORT/demo/" once it listens (port 0, the default, takes a free one).
import { createServer } from "node:http";
import { readFile, stat } from "node:fs/promises";
import { extname, join, normalize, sep } from "node:path";
import { fileURLToPath } from "node:url";

const TYPES = {
    ".html": "text/html; charset=utf-8", ".mjs": "text/javascript", ".js": "text/javascript",
    ".json": "application/json", ".wasm": "application/wasm", ".css": "text/css",
    ".png": "image/png", ".jpg": "image/jpeg", ".jpeg": "image/jpeg", ".bmp": "image/bmp",
    ".obj": "text/plain", ".mtl": "text/plain", ".map": "application/json",
};

const webRoot = fileURLToPath(new URL(".", import.meta.url));
const dataRoot = fileURLToPath(new URL("../data/", import.meta.url));

/** Starts the server; resolves to { server, url } once it listens. `extra` maps URL prefixes to
 * folders served beside the package (e.g. { "/models/": "/tmp/models" }). */
export function serve({ port = 0, host = "127.0.0.1", isolation = true, extra = {} } = {}) {
    const roots = { ...extra, "/data/": dataRoot, "/": webRoot };
    const server = createServer(async (request, response) => {
        const headers = isolation
            ? { "Cross-Origin-Opener-Policy": "same-origin", "Cross-Origin-Embedder-Policy": "require-corp",
                "Cross-Origin-Resource-Policy": "same-origin" }
            : {};
        try {
            const pathname = decodeURIComponent(new URL(request.url, "http://x").pathname);
            const prefix = Object.keys(roots).find((p) => pathname.startsWith(p));
            const root = roots[prefix];
            let file = normalize(join(root, pathname.slice(prefix.length)));
            if (!file.startsWith(normalize(root + sep)) && file !== normalize(root)) throw Object.assign(new Error("outside"), { code: "ENOENT" });
            if ((await stat(file)).isDirectory()) file = join(file, "index.html");
            const body = await readFile(file);
            response.writeHead(200, { ...headers, "Content-Type": TYPES[extname(file)] ?? "application/octet-stream",
                                      "Content-Length": body.length, "Cache-Control": "no-cache" });
            response.end(request.method === "HEAD" ? undefined : body);
        } catch (error) {
            const status = error.code === "ENOENT" || error.code === "ENOTDIR" ? 404 : 500;
            response.writeHead(status, { ...headers, "Content-Type": "text/plain" });
            response.end(status === 404 ? "not found\n" : `${error.message}\n`);
        }
    });
    return new Promise((resolve, reject) => {
        server.once("error", reject);
        server.listen(port, host, () => {
            const { port: bound } = server.address();
            resolve({ server, url: `http://${host}:${bound}/` });
        });
    });
}

if (process.argv[1] && fileURLToPath(import.meta.url) === normalize(process.argv[1])) {
    const argument = (name, fallback) => {
        const at = process.argv.indexOf(name);
        return at > 0 ? process.argv[at + 1] : fallback;
    };
    const { url } = await serve({
        port: Number(argument("--port", 0)), host: argument("--host", "127.0.0.1"),
        isolation: !process.argv.includes("--no-isolation"),
    });
    console.log(`zel demo: ${url}demo/`);
}
