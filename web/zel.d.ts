// The web package's JavaScript API (zel.mjs).

/** A file that could not be read. */
export class LoadError extends Error {
    name: "LoadError";
    /** The 1-based line of the file the failure is about, or 0. */
    line: number;
    /** True when memory ran out. */
    outOfMemory: boolean;
    constructor(message: string, line?: number, outOfMemory?: boolean);
}

export interface CreateOptions {
    /** 0 (default): one per processor when threads are available, else 1; 1: the one-thread
     * build; n: n threads. */
    threads?: number;
    /** The most bytes the module's memory may grow to (default and most 4 GiB). */
    maximumMemory?: number;
}

export type Bytes = ArrayBuffer | ArrayBufferView;

export interface LoadOptions {
    /** Names the model and the folder its libraries are looked up in ("memory.obj"). */
    path?: string;
    /** A library's path (the model's folder and the name the file gives) to its bytes, or null
     * when there is none. Default: in Node the disk, elsewhere none. */
    library?: (path: string) => Promise<Bytes | string | null | undefined> | Bytes | string | null | undefined;
    threads?: number;
    /** Read exactly as the library's zelReadOBJ (the documented dialect). */
    documented?: boolean;
    objects?: boolean;
    missingLibraries?: boolean;
    unknownKeywords?: boolean;
    wholeKeywords?: boolean;
    concavePolygons?: boolean;
    /** Keep each face as written (Group.polygonStarts ...). */
    polygons?: boolean;
    /** Refuse a library outside the model's folder. */
    confinedLibraries?: boolean;
    /** The most bytes the model's arrays may need; 0 for no bound. */
    maxBytes?: number;
    /** Each warning (console.warn by default). */
    onWarning?: (message: string) => void;
}

export interface TextureMap {
    name: string;
    path: string;
    offset: [number, number, number];
    scale: [number, number, number];
    clamp: boolean;
    bumpMultiplier: number;
    type: string | null;
    inside: boolean;
}

export interface Material {
    name: string;
    diffuse: number[]; ambient: number[]; specular: number[]; emission: number[]; transmission: number[];
    shininess: number; dissolve: number; ior: number; illum: number;
    roughness: number; metallic: number; sheen: number; clearcoat: number; clearcoatRoughness: number;
    anisotropy: number; anisotropyRotation: number;
    statements: string[];
    ambientMap: TextureMap | null; diffuseMap: TextureMap | null; specularMap: TextureMap | null;
    shininessMap: TextureMap | null; alphaMap: TextureMap | null; bumpMap: TextureMap | null;
    emissionMap: TextureMap | null; normalMap: TextureMap | null; displacementMap: TextureMap | null;
    decalMap: TextureMap | null; reflectionMap: TextureMap | null; roughnessMap: TextureMap | null;
    metallicMap: TextureMap | null; sheenMap: TextureMap | null;
}

export interface Group {
    name: string;
    /** 0-based index into Model.materials. */
    material: number;
    /** 0-based triangle indices. */
    triangles: Uint32Array;
    polygonStarts: Uint32Array;
    /** 3 numbers per corner: vertex, texture coordinate and normal index (1-based, 0 if none). */
    polygonCorners: Uint32Array;
    polygonTriangles: Uint32Array;
    lineStarts: Uint32Array;
    lineCorners: Uint32Array;
    /** 1-based vertex indices. */
    points: Uint32Array;
}

export interface MeshGroup {
    name: string; first: number; count: number; material: number;
    lineFirst: number; lineCount: number; pointFirst: number; pointCount: number;
}

export interface Mesh {
    mode: number;
    /** Floats per vertex. */
    stride: number;
    vertexCount: number;
    /** Interleaved: x y z, then the normal, texture coordinate and colour the mesh holds. */
    vertices: Float32Array;
    indices: Uint32Array;
    groups: MeshGroup[];
    /** Floats from a vertex's start to its attribute; 0 when the mesh has not that attribute. */
    normalOffset: number; texcoordOffset: number; colorOffset: number;
    lineIndices: Uint32Array;
    pointIndices: Uint32Array;
    materials: Material[];
}

export interface MeshOptions {
    normals?: "flat" | "smooth" | null;
    texture?: boolean;
    colors?: boolean;
    threads?: number;
    onWarning?: (message: string) => void;
}

/** A model read by Zel.load. The arrays are copied out of the module when first read. */
export interface Model {
    path: string;
    mtllib: string | null;
    vertices: Float32Array;
    colors: Float32Array | null;
    normals: Float32Array | null;
    texcoords: Float32Array | null;
    facetNormals: Float32Array | null;
    /** 10 numbers per triangle: vertex, normal, texture coordinate indices (1-based) and facet index. */
    triangles: Uint32Array;
    /** 3 vertex indices per triangle, 0-based. */
    faces: Uint32Array;
    smoothingGroups: Uint32Array | null;
    groups: Group[];
    materials: Material[];
    /** Counts, without copying anything. */
    readonly counts: { vertices: number; normals: number; texcoords: number; facetNormals: number;
                       triangles: number; colors: boolean };
    computeFacetNormals(): this;
    vertexNormals(angle: number): this;
    mesh(options?: MeshOptions): Mesh;
    /** Copies the arrays not copied yet, then frees the module's copy of the model. */
    dispose(): void;
    /** Frees the module's copy of the model at once: arrays not copied yet are gone. */
    release(): void;
}

export interface Zel {
    readonly threaded: boolean;
    readonly threads: number;
    readonly maximumMemory: number;
    load(data: Bytes | SharedArrayBuffer, options?: LoadOptions): Promise<Model>;
    /** Node only. */
    loadFile(path: string, options?: LoadOptions): Promise<Model>;
    terminate(): void;
}

export function createZel(options?: CreateOptions): Promise<Zel>;
export function threadsAvailable(): boolean;
