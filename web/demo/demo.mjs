// The demo: a model read by ZelLoader in a worker, lit, with orbit controls, its load time, counts
// and warnings. Drop an OBJ file with its MTL and images (or a folder), or choose files; without
// one it shows ?model=URL, else a model of the repository's data/. ?threads=N as createZel takes
// it. document.body.dataset.state becomes "loaded" or "failed" after each load (for the tests).
import * as THREE from "three";
import { OrbitControls } from "three/addons/controls/OrbitControls.js";
import { ZelLoader } from "../three.mjs";

const $ = (id) => document.getElementById(id);
const params = new URLSearchParams(location.search);
const threads = Number(params.get("threads") ?? 0);

const canvas = $("view");
const renderer = new THREE.WebGLRenderer({ canvas, antialias: false, preserveDrawingBuffer: true });
renderer.setPixelRatio(1);
const scene = new THREE.Scene();
scene.background = new THREE.Color(0x20232a);
const camera = new THREE.PerspectiveCamera(45, 1, 0.01, 1000);
camera.add(new THREE.DirectionalLight(0xffffff, 2.2).translateX(0.3).translateY(0.6).translateZ(1));
scene.add(camera, new THREE.AmbientLight(0xffffff, 0.9));
const controls = new OrbitControls(camera, canvas);
let shown = null;

function resize() {
    const { clientWidth: width, clientHeight: height } = canvas;
    renderer.setSize(width, height, false);
    camera.aspect = width / height;
    camera.updateProjectionMatrix();
}
addEventListener("resize", resize);
resize();
renderer.setAnimationLoop(() => {
    controls.update();
    renderer.render(scene, camera);
});

function frame(object) {
    const box = new THREE.Box3().setFromObject(object);
    const centre = box.getCenter(new THREE.Vector3());
    const radius = Math.max(box.getSize(new THREE.Vector3()).length() / 2, 1e-6);
    const distance = radius / Math.sin((camera.fov * Math.PI) / 360);
    camera.near = distance / 100;
    camera.far = distance * 100;
    camera.position.copy(centre).add(new THREE.Vector3(0.6, 0.5, 1).normalize().multiplyScalar(distance));
    camera.updateProjectionMatrix();
    controls.target.copy(centre);
}

async function show(url, manager, label) {
    document.body.dataset.state = "loading";
    $("status").textContent = `reading ${label}…`;
    $("error").textContent = $("warnings").textContent = "";
    const warnings = [];
    const loader = new ZelLoader(manager, { threads, onWarning: (message) => warnings.push(message) });
    const start = performance.now();
    try {
        const group = await loader.loadAsync(url);
        const total = performance.now() - start;
        if (shown) scene.remove(shown);
        shown = group;
        scene.add(group);
        frame(group);
        const { counts, milliseconds, threads: used } = loader.lastLoad;
        $("model").textContent = label;
        const some = (n, what) => `${n} ${what}${n === 1 ? "" : "s"}`;
        $("counts").textContent = [some(counts.vertices, "vertex"), some(counts.triangles, "triangle"),
            some(counts.normals, "normal"), some(counts.texcoords, "texture coordinate"), some(counts.groups, "group"),
            some(counts.materials, "material"), ...(counts.lineSegments ? [some(counts.lineSegments, "line segment")] : []),
            ...(counts.points ? [some(counts.points, "point")] : [])].join(", ").replace(/vertexs/, "vertices");
        $("time").textContent = `read in ${milliseconds.toFixed(1)} ms on ${used} thread${used > 1 ? "s" : ""} ` +
            `(${total.toFixed(1)} ms from the request to the scene)`;
        $("warnings").textContent = warnings.join("\n");
        // The images arrive after the geometry: the state says loaded once they are there too
        // (or after ten seconds without them).
        const maps = [group.children[0].material].flat().flatMap((m) => [m.map, m.bumpMap]).filter(Boolean);
        for (let waited = 0; waited < 10000 && maps.some((map) => !map.image); waited += 50)
            await new Promise((resolve) => setTimeout(resolve, 50));
        $("status").textContent = "loaded";
        document.body.dataset.state = "loaded";
    } catch (error) {
        $("status").textContent = "failed";
        $("error").textContent = error.line ? `${error.message}\n(line ${error.line})` : String(error.message ?? error);
        $("warnings").textContent = warnings.join("\n");
        document.body.dataset.state = "failed";
    } finally {
        loader.dispose();
    }
}

// Dropped or chosen files: the first .obj is the model; every file, by its name (and its path
// inside a dropped folder), is what a library or image URL of that name means.
function showFiles(files) {
    const urls = new Map();
    for (const { file, path } of files) {
        const url = URL.createObjectURL(file);
        urls.set(path, url);
        if (!urls.has(file.name)) urls.set(file.name, url);
    }
    const model = files.find(({ file }) => /\.obj$/i.test(file.name));
    if (!model) {
        $("error").textContent = "no .obj file among the dropped files";
        return;
    }
    const base = new URL("dropped/", location.href).href;
    const manager = new THREE.LoadingManager();
    manager.setURLModifier((url) => {
        if (!url.startsWith(base)) return url;
        const path = decodeURIComponent(url.slice(base.length));
        return urls.get(path) ?? urls.get(path.split("/").pop()) ?? url;
    });
    show(base + model.path, manager, model.path);
}

async function entries(entry, prefix = "") {
    if (entry.isFile) return [{ file: await new Promise((ok, fail) => entry.file(ok, fail)), path: prefix + entry.name }];
    const reader = entry.createReader();
    const found = [];
    for (;;) {
        const batch = await new Promise((ok, fail) => reader.readEntries(ok, fail));
        if (!batch.length) break;
        for (const child of batch) found.push(...(await entries(child, `${prefix}${entry.name}/`)));
    }
    return found;
}

addEventListener("dragover", (event) => {
    event.preventDefault();
    document.body.classList.add("dragging");
});
addEventListener("dragleave", () => document.body.classList.remove("dragging"));
addEventListener("drop", async (event) => {
    event.preventDefault();
    document.body.classList.remove("dragging");
    const items = [...event.dataTransfer.items].map((item) => item.webkitGetAsEntry?.()).filter(Boolean);
    const files = items.length
        ? (await Promise.all(items.map((entry) => entries(entry)))).flat()
        : [...event.dataTransfer.files].map((file) => ({ file, path: file.name }));
    showFiles(files);
});
$("files").addEventListener("change", (event) => {
    showFiles([...event.target.files].map((file) => ({ file, path: file.webkitRelativePath || file.name })));
});

const start = params.get("model") ?? "../data/f-16.obj";
show(start, new THREE.LoadingManager(), start);
