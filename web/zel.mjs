// zel for JavaScript: Wavefront OBJ models with their MTL materials, read by the zel library built
// to WebAssembly, as typed arrays. Works in browsers (a page or a worker) and in Node.
//
//     import { createZel } from "zel";
//     const zel = await createZel();               // threads when the page may have them
//     const model = await zel.load(bytes, { path: "ship.obj", library: fetchLibrary });
//     model.vertices;                               // Float32Array, x y z per vertex, 0-based
//     const mesh = model.mesh({ normals: "smooth", texture: true });
//
// The file is handed to the library as bytes: no string is ever made of it. Arrays are copied out
// of the module's memory once, so they stay valid after later loads and memory growth, and can be
// transferred to another thread.

const inNode =
    typeof process == "object" && typeof process.versions == "object" &&
    typeof process.versions.node == "string";

// Load flags (zel.h's ZEL_LOAD_*) and mode flags (ZEL_*).
const LOAD = {
    objects: 1, missingLibraries: 2, unknownKeywords: 4, wholeKeywords: 8, concavePolygons: 16,
    confinedLibraries: 32, polygons: 64,
};
const REAL_FILES = ["objects", "missingLibraries", "unknownKeywords", "wholeKeywords",
                    "concavePolygons"];
const MODE = { flat: 1, smooth: 2, texture: 4, vertexColor: 64 };

// The JavaScript names of the maps, by the keyword the library writes each under.
const MAP_NAMES = {
    map_Ka: "ambientMap", map_Kd: "diffuseMap", map_Ks: "specularMap", map_Ns: "shininessMap",
    map_d: "alphaMap", map_bump: "bumpMap", map_Ke: "emissionMap", norm: "normalMap",
    disp: "displacementMap", decal: "decalMap", refl: "reflectionMap", map_Pr: "roughnessMap",
    map_Pm: "metallicMap", map_Ps: "sheenMap",
};

const decoder = new TextDecoder();
let warmup = null;

/** A file that could not be read: `message` is the library's line, `line` the 1-based line of the
 * file it is about (0 when none), `outOfMemory` true when memory ran out. */
export class LoadError extends Error {
    constructor(message, line = 0, outOfMemory = false) {
        super(message);
        this.name = "LoadError";
        this.line = line;
        this.outOfMemory = outOfMemory;
    }
}

function processors() {
    if (inNode) return globalThis.__zelProcessors ?? 1;
    return globalThis.navigator?.hardwareConcurrency || 1;
}

/** Whether this context may run the threaded build: SharedArrayBuffer is there (always in Node;
 * in a browser only on a cross-origin isolated page and its workers). */
export function threadsAvailable() {
    return typeof SharedArrayBuffer == "function" &&
           typeof WebAssembly.Memory == "function" &&
           (inNode || globalThis.crossOriginIsolated === true);
}

/**
 * Starts the module. `threads`: 0 (the default) for one per processor when threads are
 * available, else 1; 1 for the one-thread build; n for n threads. `maximumMemory`: the most bytes
 * the module's memory may grow to (default and most 4 GiB); a load that needs more fails with an
 * out-of-memory LoadError.
 */
export async function createZel({ threads = 0, maximumMemory = 4 * 2 ** 30 } = {}) {
    if (inNode && globalThis.__zelProcessors === undefined)
        globalThis.__zelProcessors = (await import("node:os")).availableParallelism();
    let count = threads > 0 ? Math.floor(threads) : processors();
    const threaded = count > 1 && threadsAvailable();
    if (!threaded) count = 1;
    const zel = new Zel(threaded, count, Math.min(maximumMemory, 4 * 2 ** 30));
    await zel._start();
    return zel;
}

class Zel {
    constructor(threaded, threads, maximumMemory) {
        /** Whether the threaded build runs. */
        this.threaded = threaded;
        /** The threads a load runs on. */
        this.threads = threads;
        this.maximumMemory = maximumMemory;
        this._wasm = null;
        this._queue = Promise.resolve();
    }

    async _start() {
        const name = this.threaded ? "zel-wasm-threads" : "zel-wasm";
        const { default: factory } = await import(`./dist/${name}.mjs`);
        const pages = Math.floor(this.maximumMemory / 65536);
        this._memory = new WebAssembly.Memory({ initial: 256, maximum: pages, shared: this.threaded });
        const settings = { wasmMemory: this._memory, zelPoolSize: this.threads - 1 };
        if (inNode) {
            // Node 20's fetch does not read files: the module gets its bytes from here.
            const fs = await import("node:fs/promises");
            settings.wasmBinary = this._binary ??= await fs.readFile(new URL(`./dist/${name}.wasm`, import.meta.url));
        }
        this._wasm = await factory(settings);
        // The pool's workers must not keep a Node process alive once its work is done.
        if (inNode) for (const worker of this._wasm.PThread?.unusedWorkers ?? []) worker.unref();
        await this._warm();
    }

    // The engine compiles the module's functions lazily, first without optimising: the first
    // large read would run mostly in that slow code (twice the time, measured). A few small reads
    // of the common statements have the hot functions optimised before a caller's read.
    async _warm() {
        warmup ??= new TextEncoder().encode(
            "v 0.5 1.25 -2\nvt 0.25 0.75\nvn 0 0 1\n".repeat(4000) +
            "g a\nf 1/1/1 2/2/2 3/3/3\nf 1//1 2//2 3//3 4//4\n".repeat(1000) +
            "o b\nf 1 2 3\nf -1/-1 -2/-2 -3/-3\n".repeat(1000));
        for (let i = 0; i < 3; i++) {
            const model = await this.load(warmup, { threads: 1, onWarning: () => {} });
            model.mesh({ normals: "smooth", texture: true }).vertices;
            model.dispose();
        }
    }

    // The module's exports, by their C names.
    _c(name, ...args) { return this._wasm[`_zw_${name}`](...args); }
    _bytes() { return new Uint8Array(this._memory.buffer); }
    _u32(address, count) { return new Uint32Array(this._memory.buffer, address, count); }
    _f32(address, count) { return new Float32Array(this._memory.buffer, address, count); }
    _text(address) {
        if (!address) return null;
        const bytes = this._bytes();
        let end = address;
        while (bytes[end]) end++;
        return decoder.decode(bytes.slice(address, end));
    }
    // Copies the Uint8Array `bytes` into a new block of the module's memory: its address, or 0
    // when memory cannot be had.
    _copyIn(bytes) {
        const at = this._wasm._malloc(Math.max(bytes.byteLength, 1));
        if (!at) return 0;
        this._bytes().set(bytes, at);
        return at;
    }
    _string(text) { return this._copyIn(new TextEncoder().encode(text + "\0")); }
    _strings(readCount, read) {
        const list = [];
        for (let i = 0, n = this._c(readCount); i < n; i++) list.push(this._text(this._c(read, i)));
        return list;
    }

    /**
     * Reads OBJ text (an ArrayBuffer or a typed array) into a Model. Options (all optional):
     * `path` names the model and the folder its libraries are looked up in ("memory.obj");
     * `library`, an async function from a library's path (the model's folder and the name the
     * file gives) to its bytes, or null when there is none (in Node the default reads the disk;
     * elsewhere none is found); `threads`; `documented` (read exactly as the library's zelReadOBJ);
     * `objects`, `missingLibraries`, `unknownKeywords`, `wholeKeywords`, `concavePolygons` (each
     * on by default, off with documented: true; true or false sets one either way);
     * `polygons` (keep each face as written), `confinedLibraries`; `maxBytes` (the most bytes the
     * model's arrays may need, 0 for no bound); `onWarning(message)` for each warning
     * (console.warn by default). Rejects with a LoadError.
     */
    load(data, options = {}) {
        // One load at a time: the library table and the reports in the module are one load's.
        const run = this._queue.then(() => this._load(data, options));
        this._queue = run.catch(() => {});
        return run;
    }

    async _load(data, options) {
        const bytes = data instanceof ArrayBuffer ? new Uint8Array(data)
                    : ArrayBuffer.isView(data) ? new Uint8Array(data.buffer, data.byteOffset, data.byteLength)
                    : null;
        if (!bytes && typeof SharedArrayBuffer == "function" && data instanceof SharedArrayBuffer)
            return this._load(new Uint8Array(data), options);
        if (!bytes) throw new TypeError("load takes an ArrayBuffer or a typed array, not " + typeof data);
        const path = options.path ?? "memory.obj";
        const library = options.library ?? (inNode ? readLibrary : null);
        const onWarning = options.onWarning ?? ((message) => console.warn(message));
        const flags = loadFlags(options);
        const threads = options.threads ? Math.min(Math.max(1, options.threads | 0), this.threads) : this.threads;
        const maxBytes = Number(options.maxBytes ?? 0);
        if (!(maxBytes >= 0)) throw new RangeError("maxBytes must be a number of bytes, 0 for no bound");
        // Libraries are fetched between attempts: a load that asks for one the table lacks is
        // tried again once it is there. Without `missingLibraries` an attempt stops at the first
        // library it lacks, after the counting scan.
        const table = new Map();
        this._c("library_clear");
        for (;;) {
            const strict = [...table.values()].every((found) => found);
            const attempt = this._attempt(bytes, path, threads, strict ? flags & ~LOAD.missingLibraries : flags, maxBytes);
            if (attempt.missing.length) {
                if (attempt.model) this._c("free_model", attempt.model);
                for (const name of attempt.missing) {
                    let found = library ? await library(name) : null;
                    if (found != null) found = toBytes(found, "the library function");
                    table.set(name, found != null);
                    const pathAt = this._string(name);
                    const at = found ? this._copyIn(found) : 0;
                    if (pathAt) this._c("library_add", pathAt, at, found ? found.byteLength : 0, found ? 1 : 0);
                    if (pathAt) this._wasm._free(pathAt);
                    if (at) this._wasm._free(at);
                    if (!pathAt || (found && !at)) {
                        this._c("library_clear");
                        throw new LoadError(`out of memory: the library "${name}" does not fit`, 0, true);
                    }
                }
                continue;
            }
            this._c("library_clear");
            for (const message of attempt.warnings) onWarning(message);
            if (!attempt.model) throw attempt.error;
            return new Model(this, attempt.model, onWarning);
        }
    }

    // One read: the model's address (0 on failure) and what the load reported. The bytes become a
    // file of the module's file system that holds the caller's array itself (MEMFS takes it
    // without a copy), read by zelLoadOBJ a buffer at a time: copying a whole file into the
    // module's memory first cost more than a third of a first read's time (fresh pages). Not in
    // the threaded build: there every read of a helper thread is handed to the calling thread,
    // which costs more than the copy (a first 100 MB read took 0.56 s instead of 0.31 s).
    _attempt(bytes, path, threads, flags, maxBytes) {
        const FS = this._wasm.FS;
        const pathAt = this._string(path);
        let file = null;
        let dataAt = 0;
        try {
            if (!pathAt) return this._outOfMemory(bytes, path);
            let model;
            if (!this.threaded) {
                try {
                    const slash = path.lastIndexOf("/");
                    if (slash > 0) FS.mkdirTree(path.slice(0, slash));
                    if (!FS.analyzePath(path).exists) {
                        FS.writeFile(path, bytes, { canOwn: true });
                        file = path;
                    }
                } catch {
                    file = null;  // a path the file system cannot take: the bytes go in whole
                }
            }
            if (file) {
                model = this._c("load_file", pathAt, threads, flags, maxBytes);
            } else {
                dataAt = this._copyIn(bytes);
                if (!dataAt) return this._outOfMemory(bytes, path);
                model = this._c("load", pathAt, dataAt, bytes.byteLength, threads, flags, maxBytes);
            }
            const result = {
                model,
                missing: this._strings("missing_count", "missing"),
                warnings: this._strings("warning_count", "warning"),
            };
            if (!model)
                result.error = new LoadError(this._text(this._c("error_message")), this._c("error_line"), this._c("error_out_of_memory") != 0);
            return result;
        } finally {
            if (file) FS.unlink(file);
            if (dataAt) this._wasm._free(dataAt);
            if (pathAt) this._wasm._free(pathAt);
        }
    }

    _outOfMemory(bytes, path) {
        return { model: 0, missing: [], warnings: [], error: new LoadError(`out of memory: ${bytes.byteLength} bytes of "${path}" do not fit`, 0, true) };
    }

    /** Stops the module's threads; the Zel cannot be used afterwards. */
    terminate() {
        this._wasm?.PThread?.terminateAllThreads();
        this._wasm = null;
    }

    /** Node: reads the OBJ file at `path` and its libraries from the disk; options as for load. */
    async loadFile(path, options = {}) {
        const fs = await import("node:fs/promises");
        return this.load(await fs.readFile(path), { ...options, path: String(path) });
    }
}

async function readLibrary(path) {
    const fs = await import("node:fs/promises");
    try {
        return await fs.readFile(path);
    } catch (error) {
        if (error.code === "ENOENT" || error.code === "EISDIR" || error.code === "ENOTDIR") return null;
        throw error;
    }
}

function toBytes(data, what) {
    if (data instanceof ArrayBuffer) return new Uint8Array(data);
    if (ArrayBuffer.isView(data)) return new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
    if (typeof data == "string") return new TextEncoder().encode(data);
    throw new TypeError(`${what} must give an ArrayBuffer, a typed array, a string or null`);
}

function loadFlags(options) {
    let flags = 0;
    for (const name of REAL_FILES) {
        const given = options[name];
        if (given === undefined || given === null ? !options.documented : given) flags |= LOAD[name];
    }
    if (options.polygons) flags |= LOAD.polygons;
    if (options.confinedLibraries) flags |= LOAD.confinedLibraries;
    return flags;
}

const released = typeof FinalizationRegistry == "function"
    ? new FinalizationRegistry(({ zel, model }) => { if (zel._wasm) zel._c("free_model", model); })
    : null;

/** A model read by Zel.load: plain typed arrays and objects, copied out of the module once, when
 * first asked for (so that a caller who wants a mesh alone does not pay for the rest). */
class Model {
    constructor(zel, handle, onWarning) {
        this._zel = zel;
        this._handle = handle;
        this._onWarning = onWarning;
        this._cache = new Map();
        this._readLayout();
        /** The OBJ path as given to load. */
        this.path = zel._text(this._layout[12]);
        /** The material library named by the last mtllib line, or null. */
        this.mtllib = zel._text(this._layout[13]);
        released?.register(this, { zel, model: handle }, this);
    }

    _readLayout() {
        const zel = this._zel;
        const at = zel._wasm._malloc(14 * 4);
        zel._c("model_layout", this._handle, at);
        this._layout = zel._u32(at, 14).slice();
        zel._wasm._free(at);
    }

    // The array `name`, copied on first use by make(layout).
    _array(name, make) {
        if (!this._cache.has(name)) {
            if (!this._handle) throw new Error("the model has been disposed");
            this._cache.set(name, make(this._layout, this._zel));
        }
        return this._cache.get(name);
    }

    /** Positions, x y z per vertex; vertex i of the file (1-based) is at 3 * (i - 1). */
    get vertices() { return this._array("vertices", (l, z) => floats(z, l[1], 3 * l[0]) ?? new Float32Array(0)); }
    /** Vertex colours, r g b per vertex, or null when no "v" line gives one. */
    get colors() { return this._array("colors", (l, z) => floats(z, l[2], 3 * l[0])); }
    /** Vertex normals, x y z each, or null. */
    get normals() { return this._array("normals", (l, z) => floats(z, l[4], 3 * l[3])); }
    /** Texture coordinates, u v each, or null. */
    get texcoords() { return this._array("texcoords", (l, z) => floats(z, l[6], 2 * l[5])); }
    /** Facet normals (computeFacetNormals), or null. */
    get facetNormals() { return this._array("facetNormals", (l, z) => floats(z, l[8], 3 * l[7])); }
    /** The triangle records, 10 numbers each: the vertex, normal and texture coordinate indices of
     * its three corners (1-based as in the file, 0 when never given), and its facet normal's. */
    get triangles() { return this._array("triangles", (l, z) => (l[10] ? z._u32(l[10], 10 * l[9]).slice() : new Uint32Array(0))); }
    /** Each triangle's smoothing group ("s N"; 0 for "s off"), or null without "s" lines. */
    get smoothingGroups() { return this._array("smoothingGroups", (l, z) => (l[11] ? z._u32(l[11], l[9]).slice() : null)); }
    /** Each triangle's three vertex indices, 0-based. */
    get faces() {
        return this._array("faces", (l, z) => {
            if (!l[9]) return new Uint32Array(0);
            const at = z._c("model_faces", this._handle);
            if (!at) throw new LoadError("out of memory making the faces", 0, true);
            const faces = z._u32(at, 3 * l[9]).slice();
            z._wasm._free(at);
            return faces;
        });
    }
    /** The groups in the library's list order: newest first, "default" last. */
    get groups() { return this._array("groups", () => this._groups()); }
    /** The materials; material 0 is "default". Empty without a library. */
    get materials() { return this._array("materials", (l, z) => materialsFrom(z._text(z._c("model_materials", this._handle)))); }

    /** What the model has, without copying: counts of vertices, normals, texture coordinates,
     * facet normals and triangles, and whether it has vertex colours. */
    get counts() {
        const l = this._layout;
        return { vertices: l[0], normals: l[3], texcoords: l[5], facetNormals: l[7], triangles: l[9], colors: l[2] !== 0 };
    }

    // After an operation that replaces arrays: the copies made before are dropped.
    _changed(...names) {
        this._readLayout();
        for (const name of names) this._cache.delete(name);
    }

    _groups() {
        const zel = this._zel;
        const count = zel._c("group_count", this._handle);
        const at = zel._wasm._malloc(13 * 4 * Math.max(count, 1));
        zel._c("group_layout", this._handle, at);
        const rows = zel._u32(at, 13 * count).slice();
        zel._wasm._free(at);
        const u32 = (address, n) => (address && n ? zel._u32(address, n).slice() : new Uint32Array(0));
        const groups = [];
        for (let g = 0; g < count; g++) {
            const r = rows.subarray(13 * g, 13 * g + 13);
            const polygonStarts = r[4] ? u32(r[5], r[4] + 1) : new Uint32Array(0);
            const lineStarts = r[8] ? u32(r[9], r[8] + 1) : new Uint32Array(0);
            groups.push({
                name: zel._text(r[0]),
                material: r[1],
                triangles: u32(r[3], r[2]),
                polygonStarts,
                polygonCorners: u32(r[6], 3 * (r[4] ? polygonStarts[r[4]] : 0)),
                polygonTriangles: u32(r[7], r[4]),
                lineStarts,
                lineCorners: u32(r[10], 3 * (r[8] ? lineStarts[r[8]] : 0)),
                points: u32(r[12], r[11]),
            });
        }
        return groups;
    }

    _live() {
        if (!this._handle) throw new Error("the model has been disposed");
        return this._handle;
    }

    /** Computes one unit normal per triangle into facetNormals (and each triangle's facet index). */
    computeFacetNormals() {
        this._zel._c("compute_facet_normals", this._live());
        this._changed("facetNormals", "triangles");
        return this;
    }

    /** Computes smoothed vertex normals into normals (needs facet normals): edges sharper than
     * `angle` degrees stay sharp. */
    vertexNormals(angle) {
        if (!this.counts.facetNormals) throw new Error("vertexNormals needs facet normals: computeFacetNormals first");
        this._zel._c("vertex_normals", this._live(), angle);
        this._changed("normals", "triangles", "polygons", "groups");
        return this;
    }

    /**
     * The model as vertex buffers want it: one interleaved Float32Array (x y z, then as asked the
     * normal, "flat" or "smooth", the texture coordinate and the colour), a Uint32Array of three
     * indices per triangle, group by group, and each group's range. A request the model has no
     * data for is dropped with a warning.
     */
    mesh({ normals = null, texture = false, colors = false, threads, onWarning } = {}) {
        const zel = this._zel;
        const handle = this._live();
        if (normals !== null && normals !== undefined && !(normals in MODE) || normals === "texture" || normals === "vertexColor")
            throw new TypeError(`normals must be null, "flat" or "smooth", not ${JSON.stringify(normals)}`);
        let mode = (normals ? MODE[normals] : 0) | (texture ? MODE.texture : 0) | (colors ? MODE.vertexColor : 0);
        mode = zel._c("check_mode", handle, mode);
        for (const message of zel._strings("warning_count", "warning")) (onWarning ?? this._onWarning)(message);
        const mesh = zel._c("mesh", handle, mode, threads ? Math.min(threads, zel.threads) : zel.threads);
        if (!mesh) throw new LoadError(zel._text(zel._c("error_message")), 0, zel._c("error_out_of_memory") != 0);
        try {
            const at = zel._wasm._malloc(14 * 4);
            zel._c("mesh_layout", mesh, at);
            const l = zel._u32(at, 14).slice();
            zel._wasm._free(at);
            const groupsAt = zel._wasm._malloc(8 * 4 * Math.max(l[6], 1));
            zel._c("mesh_group_layout", mesh, groupsAt);
            const rows = zel._u32(groupsAt, 8 * l[6]).slice();
            zel._wasm._free(groupsAt);
            const groups = [];
            for (let g = 0; g < l[6]; g++) {
                const r = rows.subarray(8 * g, 8 * g + 8);
                groups.push({ name: zel._text(r[0]), first: r[1], count: r[2], material: r[3],
                              lineFirst: r[4], lineCount: r[5], pointFirst: r[6], pointCount: r[7] });
            }
            const u32 = (address, n) => (address && n ? zel._u32(address, n).slice() : new Uint32Array(0));
            return {
                mode: l[0],
                stride: l[1],
                vertexCount: l[2],
                vertices: zel._f32(l[3], l[1] * l[2]).slice(),
                indices: u32(l[5], l[4]),
                groups,
                normalOffset: l[7],
                texcoordOffset: l[8],
                colorOffset: l[9],
                lineIndices: u32(l[11], l[10]),
                pointIndices: u32(l[13], l[12]),
                materials: materialsFrom(zel._text(zel._c("mesh_materials", mesh))),
            };
        } finally {
            zel._c("free_mesh", mesh);
        }
    }

    /** Copies every array not copied yet, then frees the model's copy in the module (mesh() and
     * the operations need it). The garbage collector frees it when this is not called. */
    dispose() {
        if (!this._handle) return;
        for (const name of ["vertices", "colors", "normals", "texcoords", "facetNormals", "triangles",
                            "smoothingGroups", "faces", "groups", "materials"]) this[name];
        this.release();
    }

    /** Frees the model's copy in the module at once: arrays not copied yet are gone. */
    release() {
        if (!this._handle) return;
        released?.unregister(this);
        this._zel._c("free_model", this._handle);
        this._handle = 0;
    }
}

function floats(zel, address, count) {
    return address ? zel._f32(address, count).slice() : null;
}

function materialsFrom(json) {
    return JSON.parse(json).map(({ maps, ...material }) => {
        for (const [keyword, name] of Object.entries(MAP_NAMES)) material[name] = maps[keyword] ?? null;
        return material;
    });
}
