// ZelLoader (three.mjs).
import { Group, Loader, LoadingManager } from "three";
import { LoadError, LoadOptions } from "./zel.js";

export { LoadError };

export interface ZelLoaderOptions extends Omit<LoadOptions, "path" | "library" | "onWarning"> {
    /** Read in a Web Worker (default true). */
    worker?: boolean;
    onWarning?: (message: string) => void;
}

export interface ZelLoadReport {
    counts: { vertices: number; triangles: number; normals: number; texcoords: number; groups: number;
              materials: number; lineSegments: number; points: number };
    mtllib: string | null;
    warnings: string[];
    milliseconds: number;
    threads: number;
}

export class ZelLoader extends Loader<Group> {
    constructor(manager?: LoadingManager, options?: ZelLoaderOptions);
    lastLoad: ZelLoadReport | null;
    load(url: string, onLoad: (group: Group) => void, onProgress?: (event: ProgressEvent) => void,
         onError?: (error: unknown) => void): void;
    parse(buffer: ArrayBuffer, path?: string, onLoad?: (group: Group) => void,
          onError?: (error: unknown) => void): Promise<Group>;
    dispose(): void;
}
