// ZelLoader: OBJ models with their MTL materials for three.js, read by zel in a Web Worker.
//
//     import { ZelLoader } from "zel/three";
//     const group = await new ZelLoader().loadAsync("models/ship.obj");
//     scene.add(group);
//
// It follows three's loader conventions: load(url, onLoad, onProgress, onError), loadAsync,
// parse, a LoadingManager (its URL modifier reaches the model, its libraries and its images),
// setPath, setRequestHeader and setWithCredentials. The result is a Group holding one Mesh: one
// BufferGeometry over one interleaved vertex buffer, a geometry group per model group and an
// array of MeshPhongMaterials (one draw call per group, and no geometry copied per group), plus
// LineSegments and Points for the model's lines and points.
import {
    BufferAttribute, BufferGeometry, Color, FileLoader, Group, InterleavedBuffer,
    InterleavedBufferAttribute, LineBasicMaterial, Loader, Mesh, MeshPhongMaterial,
    LineSegments, Points, PointsMaterial, RepeatWrapping, ClampToEdgeWrapping, SRGBColorSpace,
    TextureLoader,
} from "three";
import { createZel, LoadError } from "./zel.mjs";
import { readForThree } from "./read.mjs";

export { LoadError };

let nextId = 1;
const inNode =
    typeof process == "object" && typeof process.versions == "object" &&
    typeof process.versions.node == "string";

export class ZelLoader extends Loader {
    /**
     * `options`: `worker` (default true where there are Web Workers: read in one; false reads on
     * this thread, as in Node),
     * `threads` (as createZel's), and any option of Zel.load (`documented`, `objects`,
     * `maxBytes` ...); `onWarning(message)` receives the load's warnings (console.warn by
     * default).
     */
    constructor(manager, options = {}) {
        super(manager);
        // Node gets no Web Worker (its global Worker, which the threaded module sets, is another).
        const { worker = !inNode && typeof Worker == "function", onWarning, ...loadOptions } = options;
        this.useWorker = worker;
        this.onWarning = onWarning ?? ((message) => console.warn(message));
        this.loadOptions = loadOptions;
        this._worker = null;
        this._zel = null;
        this._pending = new Map();
        /** What the last load reported: counts, warnings, milliseconds, threads. */
        this.lastLoad = null;
    }

    load(url, onLoad, onProgress, onError) {
        const fail = (error) => {
            if (onError) onError(error);
            else console.error(error);
            this.manager.itemError(url);
        };
        const loader = new FileLoader(this.manager);
        loader.setPath(this.path);
        loader.setResponseType("arraybuffer");
        loader.setRequestHeader(this.requestHeader);
        loader.setWithCredentials(this.withCredentials);
        const full = this.path + url;
        loader.load(
            url,
            (buffer) => {
                this.parse(buffer, absolute(full), onLoad, fail);
            },
            onProgress,
            fail,
        );
    }

    /**
     * Reads the OBJ bytes `buffer` (an ArrayBuffer; transferred to the worker, so it is detached
     * afterwards) whose URL is `path` (its libraries and images are fetched relative to it).
     * Calls onLoad(group) or onError(error), and returns the same as a promise.
     */
    parse(buffer, path = "model.obj", onLoad, onError) {
        const promise = this._read(buffer, absolute(path)).then((data) => this._build(data, path));
        promise.then(onLoad, onError ?? (() => {}));
        return promise;
    }

    /** Ends the worker (a new one starts with the next load). */
    dispose() {
        this._worker?.terminate();
        this._worker = null;
        this._zel?.terminate();
        this._zel = null;
    }

    async _library(name) {
        if (inNode && !/^[a-z][a-z0-9+.-]*:/i.test(name)) {
            // Node's fetch reads no files: a path is read from the disk.
            const fs = await import("node:fs/promises");
            return fs.readFile(name).then((bytes) => bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength), () => null);
        }
        const loader = new FileLoader(this.manager);
        loader.setResponseType("arraybuffer");
        loader.setRequestHeader(this.requestHeader);
        loader.setWithCredentials(this.withCredentials);
        try {
            return await loader.loadAsync(name);
        } catch {
            return null;  // the load goes on without it, with a warning (or fails, as asked)
        }
    }

    async _read(buffer, path) {
        const bytes = buffer instanceof ArrayBuffer ? buffer : buffer.slice().buffer;
        if (!this.useWorker) {
            this._zel ??= await createZel({ threads: this.loadOptions.threads ?? 0 });
            const { threads, ...options } = this.loadOptions;
            return (await readForThree(this._zel, bytes, path, options, (name) => this._library(name))).result;
        }
        if (!this._worker) {
            this._worker = new Worker(new URL("./worker.mjs", import.meta.url), { type: "module" });
            this._worker.onmessage = (event) => this._receive(event.data);
            this._worker.onerror = (event) => {
                for (const { reject } of this._pending.values()) reject(new Error(`zel worker: ${event.message}`));
                this._pending.clear();
                this._worker = null;
            };
        }
        const id = nextId++;
        return new Promise((resolve, reject) => {
            this._pending.set(id, { resolve, reject });
            this._worker.postMessage({ id, bytes, path, options: this.loadOptions }, [bytes]);
        });
    }

    async _receive(data) {
        if (data.library !== undefined) {
            const bytes = await this._library(data.library);
            this._worker?.postMessage({ id: data.id, library: data.library, bytes }, bytes ? [bytes] : []);
            return;
        }
        const pending = this._pending.get(data.id);
        this._pending.delete(data.id);
        if (!pending) return;
        if (data.error) {
            const { name, message, line, outOfMemory } = data.error;
            pending.reject(name === "LoadError" ? new LoadError(message, line, outOfMemory) : new Error(message));
        } else {
            pending.resolve(data.result);
        }
    }

    _build({ mesh, counts, mtllib, warnings, milliseconds, threads }, path) {
        for (const message of warnings) this.onWarning(message);
        this.lastLoad = { counts, mtllib, warnings, milliseconds, threads };
        const buffer = new InterleavedBuffer(mesh.vertices, mesh.stride);
        const geometry = () => {
            const made = new BufferGeometry();
            made.setAttribute("position", new InterleavedBufferAttribute(buffer, 3, 0));
            if (mesh.normalOffset) made.setAttribute("normal", new InterleavedBufferAttribute(buffer, 3, mesh.normalOffset));
            if (mesh.texcoordOffset) made.setAttribute("uv", new InterleavedBufferAttribute(buffer, 2, mesh.texcoordOffset));
            if (mesh.colorOffset) made.setAttribute("color", new InterleavedBufferAttribute(buffer, 3, mesh.colorOffset));
            return made;
        };
        const group = new Group();
        group.name = path;
        const textures = new TextureLoader(this.manager);
        textures.setCrossOrigin(this.crossOrigin);
        textures.setRequestHeader?.(this.requestHeader);
        const materials = mesh.materials.length
            ? mesh.materials.map((material) => phongMaterial(material, textures, mesh.colorOffset !== 0, mesh.normalOffset === 0))
            : [new MeshPhongMaterial({ color: new Color().setRGB(0.8, 0.8, 0.8, SRGBColorSpace), vertexColors: mesh.colorOffset !== 0 })];
        const triangles = geometry();
        triangles.setIndex(new BufferAttribute(mesh.indices, 1));
        for (const g of mesh.groups) if (g.count) triangles.addGroup(g.first, g.count, mesh.materials.length ? g.material : 0);
        triangles.computeBoundingSphere();
        const solid = new Mesh(triangles, materials);
        solid.name = "triangles";
        group.add(solid);
        if (mesh.lineIndices.length) {
            const lines = geometry();
            lines.setIndex(new BufferAttribute(mesh.lineIndices, 1));
            group.add(Object.assign(new LineSegments(lines, new LineBasicMaterial({ vertexColors: mesh.colorOffset !== 0 })), { name: "lines" }));
        }
        if (mesh.pointIndices.length) {
            const points = geometry();
            points.setIndex(new BufferAttribute(mesh.pointIndices, 1));
            group.add(Object.assign(new Points(points, new PointsMaterial({ size: 2, sizeAttenuation: false, vertexColors: mesh.colorOffset !== 0 })), { name: "points" }));
        }
        group.userData.zel = this.lastLoad;
        return group;
    }
}

function absolute(path) {
    const base = globalThis.document?.baseURI ?? globalThis.location?.href;
    try {
        return base ? new URL(path, base).href : path;
    } catch {
        return path;
    }
}

function srgb([r, g, b]) {
    return new Color().setRGB(r, g, b, SRGBColorSpace);
}

// A MeshPhongMaterial from an MTL material: diffuse, specular, shininess, emission, dissolve, and
// the diffuse and bump maps (with their -o, -s and -clamp options).
function phongMaterial(material, textures, vertexColors, flatShading) {
    const texture = (map, colour) => {
        if (!map) return null;
        // Images are decoded by the page; where there is none (Node), the material keeps the
        // map's path for the caller in userData.zelMaps.
        if (typeof document == "undefined") {
            phong.userData.zelMaps = { ...phong.userData.zelMaps, [colour ? "diffuse" : "bump"]: map.path };
            return null;
        }
        const made = textures.load(map.path);
        if (colour) made.colorSpace = SRGBColorSpace;
        made.wrapS = made.wrapT = map.clamp ? ClampToEdgeWrapping : RepeatWrapping;
        made.repeat.set(map.scale[0], map.scale[1]);
        made.offset.set(map.offset[0], map.offset[1]);
        return made;
    };
    const phong = new MeshPhongMaterial({
        name: material.name,
        color: srgb(material.diffuse),
        specular: srgb(material.specular),
        shininess: material.shininess,
        emissive: srgb(material.emission),
        opacity: material.dissolve,
        transparent: material.dissolve < 1,
        vertexColors,
        flatShading,
    });
    const diffuse = texture(material.diffuseMap, true);
    if (diffuse) phong.map = diffuse;
    const bump = texture(material.bumpMap, false);
    if (bump) {
        phong.bumpMap = bump;
        phong.bumpScale = material.bumpMap.bumpMultiplier;
    }
    return phong;
}
