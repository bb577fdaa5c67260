// The Web Worker (or Node worker thread) that ZelLoader reads models in, so that the page never
// waits for a file: it loads the bytes it is sent, makes the mesh and sends the arrays back,
// transferred, not copied. Material libraries are asked of the page, which fetches them through
// its LoadingManager.
//
// Messages in:  { id, bytes, path, options }         a model to read (options as for Zel.load,
//                                                     without functions, and `threads`)
//               { id, library, bytes }                the answer to a library request (bytes null
//                                                     when there is none)
// Messages out: { id, library: path }                 a library request
//               { id, result } or { id, error }       the outcome, see readForThree
import { createZel, LoadError } from "./zel.mjs";
import { readForThree } from "./read.mjs";

const inNode =
    typeof process == "object" && typeof process.versions == "object" &&
    typeof process.versions.node == "string";
const port = inNode ? (await import("node:worker_threads")).parentPort : globalThis;
const post = (message, transfer) => port.postMessage(message, transfer);

let zel = null;
let zelThreads = -1;
const pendingLibraries = new Map();
let queue = Promise.resolve();

async function read({ id, bytes, path, options }) {
    const { threads = 0, ...loadOptions } = options ?? {};
    if (!zel || zelThreads !== threads) {
        zel?.terminate();
        zel = await createZel({ threads });
        zelThreads = threads;
    }
    const library = (name) =>
        new Promise((resolve) => {
            pendingLibraries.set(`${id} ${name}`, resolve);
            post({ id, library: name });
        });
    try {
        const { result, transfer } = await readForThree(zel, bytes, path, loadOptions, library);
        post({ id, result }, transfer);
    } catch (error) {
        post({ id, error: { name: error.name, message: error.message, line: error.line ?? 0, outOfMemory: error.outOfMemory ?? false } });
    }
}

function receive(data) {
    if (data.library !== undefined) {
        const key = `${data.id} ${data.library}`;
        pendingLibraries.get(key)?.(data.bytes);
        pendingLibraries.delete(key);
        return;
    }
    // One model at a time: the module is used by one load at once.
    queue = queue.then(() => read(data));
}

if (inNode) port.on("message", receive);
else port.onmessage = (event) => receive(event.data);

export { LoadError };
