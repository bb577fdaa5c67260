// Put before the module Emscripten writes (--extern-pre-js), at the top level of the ES module: in
// Node that code reaches for `require` and `__dirname`, which an ES module lacks, so they are made
// here; elsewhere (browsers, their workers) they stay undefined, as that code expects there.
const zelInNode = typeof process == "object" && typeof process.versions == "object" &&
                  typeof process.versions.node == "string";
const require = zelInNode ? (await import("node:module")).createRequire(import.meta.url) : undefined;
const __dirname = zelInNode ? require("node:path").dirname(require("node:url").fileURLToPath(import.meta.url)) : undefined;
