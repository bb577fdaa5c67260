/*
 * zel: a small polygon-model library.
 *
 * Reads Wavefront OBJ files with the MTL material libraries they name, measures and fits models,
 * computes facet and smoothed vertex normals, generates texture coordinates, welds near-coincident
 * vertices, writes OBJ/MTL files, draws models with OpenGL 1.1, makes meshes for vertex arrays
 * and GPU buffers, and reads binary PPM images.
 *
 * Quick start:
 *
 *     ZelModel* m = zelReadOBJ("data/f-16.obj");   // exits with status 1 if unreadable
 *     zelFitToUnitCube(m);                           // centre on the origin, largest size 2
 *     zelDraw(m, ZEL_WIREFRAME);                     // inside your GL frame
 *     zelFreeModel(m);
 *
 * Embedded in a program that must go on past a bad file, reading from memory, drawing with
 * vertex arrays:
 *
 *     ZelError error;
 *     ZelModel* m = zelLoadOBJMemory("ship.obj", bytes, size, NULL, &error);
 *     if (!m) { report(error.message, error.line); return; }  // nothing printed, nothing left
 *     ZelMesh* mesh = zelMakeMesh(m, ZEL_SMOOTH);              // one vertex per distinct corner
 *     zelFreeModel(m);
 *     zelDrawMesh(mesh, ZEL_SMOOTH);                            // or upload mesh->vertices/indices
 *     zelFreeMesh(mesh);
 *
 * Building with it: with CMake, find_package(zel) and link the target zel::zel (it brings OpenGL,
 * meshoptimizer and threads along); otherwise use `pkg-config --cflags --libs zel`. libzel.a is C++
 * inside, so C programs link the C++ runtime too (both ways above add it). Only the drawing
 * functions use OpenGL.
 *
 * Conventions:
 *  - The vertex, normal, texture-coordinate and facet-normal arrays are 1-based, as OBJ indices
 * are: element i of `vertices` is at vertices[3*i .. 3*i+2]; slot 0 is allocated and holds zero.
 *    Triangles, materials and each group's triangle list are 0-based.
 *  - Counts and indices are unsigned 32-bit; coordinates, colours and shininess are 32-bit floats.
 *  - Every string and array a model holds is its own copy, allocated with malloc and released by
 *    zelFreeModel.
 *  - Requests a model cannot honour print a one-line warning on standard output and go on without
 *    the offending flag. A file that cannot be opened (or an OBJ file with face indices outside its
 *    arrays) prints one line on standard error and ends the process with exit status 1; zelLoadPPM,
 *    zelLoadOBJ, zelLoadOBJMemory and zelSaveOBJ return the failure instead. A program that
 *    reports on its own terms (a binding, a server) has a quiet form of each printing call:
 *    zelCheckMode for the mode warnings, zelBuildMesh, zelLoadPPMFile and zelLoadPPMMemory.
 *  - A null model or a missing required array is a programming error: an assertion names the failed
 *    expression and aborts, in release builds too.
 *  - Memory that cannot be had is never a crash: the functions that end the process on a failure
 *    print one line "<function>() failed: out of memory..." on standard error and exit with
 *    status 1; zelLoadOBJ and zelLoadOBJMemory return the failure, and zelMakeMesh returns NULL
 *    after its line. Nothing is left allocated by a call that fails.
 *  - Angles are in degrees. Nothing is kept between calls; one model may be used by one thread at a
 *    time. The readers and zelMakeMesh may use several threads of their own inside one call.
 */
#ifndef ZEL_H
#define ZEL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Mode flags, combined with |, shared by zelDraw, zelMakeList, zelWriteOBJ and the mesh functions.
 * Other bits are ignored. */
#define ZEL_NONE 0u       /* positions only, triangles filled */
#define ZEL_FLAT 1u       /* facet normals */
#define ZEL_SMOOTH 2u     /* vertex normals */
#define ZEL_TEXTURE 4u    /* texture coordinates */
#define ZEL_COLOR 8u      /* each group's diffuse colour as the current colour */
#define ZEL_MATERIAL 16u  /* each group's full material */
#define ZEL_WIREFRAME 32u /* drawing only: each triangle as a closed line loop */
/* Each vertex's own colour (model->colors). Drawn, it is sent with each corner (glColor3fv, or a
 * colour array for a mesh) after the group's state: with ZEL_COLOR, which switches
 * GL_COLOR_MATERIAL on, the vertex colours replace the group's diffuse colour, lit or not; with
 * ZEL_MATERIAL, which switches it off, lighting uses the group's material and the vertex colours
 * show only where lighting is off; alone, GL_COLOR_MATERIAL is left as the caller set it. */
#define ZEL_VERTEXCOLOR 64u
/* Drawing only, with ZEL_MATERIAL: each group's emission (GL_EMISSION) is set too, and its
 * dissolve is the diffuse alpha; the opaque groups are drawn first, then those whose dissolve is
 * below 1, blended over them (GL_BLEND with GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA) without writing
 * depth, the blending and depth-mask state restored after them. Without ZEL_MATERIAL it does
 * nothing. */
#define ZEL_BLEND 256u
/* Writing only: each recorded polygon (ZelGroup.polygoncount) as one "f" line with its corners as
 * recorded, in the place of its triangles (under ZEL_FLAT every corner names the facet normal of
 * its first triangle); each group's lines ("l", with texture indices under ZEL_TEXTURE when every
 * corner has one) and points ("p", eight to a line) after its faces; and, when the model has
 * smoothing groups, an "s N" or "s off" line before each face whose group differs from the one
 * before it in the file (which starts off). Drawing and meshes ignore it. */
#define ZEL_POLYGONS 128u

/* One triangle: three corners, each with a vertex, a normal and a texture-coordinate index
 * (1-based, 0 when never assigned), and the 1-based index of its facet normal. */
typedef struct ZelTriangle {
    uint32_t vertexidx[3];
    uint32_t normalidx[3];
    uint32_t texcoordidx[3];
    uint32_t facetidx;
} ZelTriangle;

/* One corner of a recorded polygon or line: its 1-based vertex, texture-coordinate and normal
 * index, 0 where the statement gives none (a line's normalidx is always 0). */
typedef struct ZelCorner {
    uint32_t vertexidx;
    uint32_t texcoordidx;
    uint32_t normalidx;
} ZelCorner;

/* A named group of triangles drawn and written with one material.
 *
 * Beside its triangles a group may keep the shapes its statements wrote, each in arrays laid out
 * for a reader that counts first and then fills (all malloc'ed, freed by zelFreeModel):
 *  - Polygons, kept when the load asks for them (ZEL_LOAD_POLYGONS): each face as written, its
 *    corners in the file's order, and the triangles it became. Polygon p has the corners
 *    polygoncorners[polygonstart[p] .. polygonstart[p + 1] - 1] (n >= 3 of them) and became the
 *    n - 2 consecutive entries of triangleidx from triangleidx[polygontriangle[p]] on, whose
 *    triangles wind as its corners do. The polygons of a group follow each other in its triangle
 *    list: polygontriangle increases with p and no two polygons share an entry. Cost: 8 bytes per
 *    face and 12 per corner (56 bytes for a quad, beside the 88 of its two triangles and their
 *    list entries), plus 4 bytes per group.
 *  - Lines ("l" statements), kept on every load: line k is the polyline through the corners
 *    linecorners[linestart[k] .. linestart[k + 1] - 1] (vertex and, where the statement gives
 *    them, texture-coordinate indices).
 *  - Points ("p" statements), kept on every load: the 1-based vertex indices pointidx[0 ..
 *    pointcount - 1] in the file's order.
 * A group without one of them has count 0 and NULL arrays (linestart too). Corner indices are
 * resolved (negative file indices counted back) and within the model's arrays as the reader
 * leaves them. */
typedef struct ZelGroup {
    char* name;             /* compared byte for byte, leading blanks included */
    uint32_t trianglecount; /* entries in triangleidx */
    uint32_t* triangleidx;  /* 0-based indices into the model's triangles */
    uint32_t material;      /* 0-based index into the model's materials */
    struct ZelGroup* next;  /* next group; the list runs newest first and ends with "default" */
    uint32_t polygoncount;
    uint32_t* polygonstart;    /* polygoncount + 1 offsets into polygoncorners, the first 0 */
    ZelCorner* polygoncorners; /* polygonstart[polygoncount] corners */
    uint32_t* polygontriangle; /* polygoncount positions in triangleidx */
    uint32_t linecount;
    uint32_t* linestart;    /* linecount + 1 offsets into linecorners, the first 0 */
    ZelCorner* linecorners; /* linestart[linecount] corners, at least 2 per line */
    uint32_t pointcount;
    uint32_t* pointidx; /* pointcount vertex indices */
} ZelGroup;

/* A texture map of a material, from an MTL line such as "map_Kd -s 2 2 1 -clamp on wood grain.png".
 * The library keeps names and paths, never pixels: decoding the image is the caller's business. */
typedef struct ZelTextureMap {
    char* name;           /* the file name as the line gives it, options removed, inner blanks kept;
                             NULL when the material has no such map (then path is NULL too) */
    char* path;           /* `name` with '/' for every '\', and, unless it is absolute, the
                             directory part of the MTL file's path in front: the file to open */
    float offset[3];      /* -o u v w (0 0 0 when absent; components not given are 0) */
    float scale[3];       /* -s u v w (1 1 1 when absent; components not given are 1) */
    uint32_t clamp;       /* 1 for "-clamp on", else 0 */
    float bumpmultiplier; /* -bm (1 when absent) */
    char* type;           /* -type, e.g. a reflection map's "sphere" (NULL when absent) */
    uint32_t inside;      /* 1 when `path` stays inside the model's folder (the directory part of
                             its path): relative, never climbing above it by "..", and, when the
                             file exists, still inside with its links resolved; else 0. Nothing
                             opens a map: a viewer or server that will should check this first */
} ZelTextureMap;

/* A material from an MTL library. Colours are R, G, B, A; shininess is on OpenGL's 0..128 scale.
 * The alpha components are always 1: the transparency the file gives is `dissolve`. */
typedef struct ZelMaterial {
    char* name;
    float diffuse[4];
    float ambient[4];
    float specular[4];
    float shininess;
    float dissolve;             /* opacity: "d", else 1 - "Tr", else 1 ("d" wins over "Tr") */
    ZelTextureMap ambientmap;   /* map_Ka */
    ZelTextureMap diffusemap;   /* map_Kd */
    ZelTextureMap specularmap;  /* map_Ks */
    ZelTextureMap shininessmap; /* map_Ns */
    ZelTextureMap alphamap;     /* map_d */
    ZelTextureMap bumpmap;      /* map_bump, map_Bump or bump */
    /* What the MTL convention and its PBR extension add, read under either dialect (keywords
     * matched whole; values that cannot be read leave the statement to `statements`): */
    float emission[3];             /* Ke r g b (0 0 0 when absent) */
    float ior;                     /* Ni, index of refraction (1 when absent) */
    int32_t illum;                 /* illum, illumination model as given (-1 when absent, so that a
                                      file's 0 is told apart) */
    float transmission[3];         /* Tf, transmission filter r g b (1 1 1 when absent: all light
                                      passes) */
    float roughness;               /* Pr (0 when absent) */
    float metallic;                /* Pm (0 when absent) */
    float sheen;                   /* Ps (0 when absent) */
    float clearcoat;               /* Pc, clearcoat thickness (0 when absent) */
    float clearcoatroughness;      /* Pcr (0 when absent) */
    float anisotropy;              /* aniso (0 when absent) */
    float anisotropyrotation;      /* anisor (0 when absent) */
    ZelTextureMap emissionmap;     /* map_Ke */
    ZelTextureMap normalmap;       /* norm (under ZEL_LOAD_WHOLE_KEYWORDS only: in the default
                                      dialect "norm" opens a material) */
    ZelTextureMap displacementmap; /* disp */
    ZelTextureMap decalmap;        /* decal */
    ZelTextureMap reflectionmap;   /* refl; its -type in reflectionmap.type */
    ZelTextureMap roughnessmap;    /* map_Pr */
    ZelTextureMap metallicmap;     /* map_Pm */
    ZelTextureMap sheenmap;        /* map_Ps */
    /* Every other statement of the material (Km, sharpness, an exporter's own), in file order:
     * each the line as the file gives it, keyword first, without its line end (and the carriage
     * returns before it); zelWriteMTL writes them back after the material's other lines. Comments
     * are not kept, nor statements the reading gives a meaning to (in the default dialect every
     * keyword starting with "n", "N", "Ka", "Kd" or "Ks"). */
    uint32_t statementcount; /* entries in statements */
    char** statements;       /* statementcount strings, or NULL when there are none */
} ZelMaterial;

/* A polygonal model and everything read from its file. */
typedef struct ZelModel {
    char* path;   /* the OBJ path as given to zelReadOBJ */
    char* mtllib; /* material library named by the last "mtllib", or NULL */
    uint32_t vertexcount;
    float* vertices; /* 3 * (vertexcount + 1) floats, always allocated */
    float* colors;   /* 3 * (vertexcount + 1) floats, r g b of each vertex laid out like
                        vertices (1, 1, 1 for a vertex whose line gives none), or NULL
                        when no "v" line of the file gives a colour */
    uint32_t normalcount;
    float* normals; /* 3 * (normalcount + 1) floats, or NULL */
    uint32_t texcoordcount;
    float* texcoords; /* 2 * (texcoordcount + 1) floats, or NULL */
    uint32_t facetnormcount;
    float* facetnorms; /* 3 * (facetnormcount + 1) floats, or NULL */
    uint32_t trianglecount;
    ZelTriangle* triangles; /* trianglecount entries */
    uint32_t materialcount; /* 0 when no material library was read */
    ZelMaterial* materials; /* material 0 is the built-in "default"; NULL without a library */
    uint32_t groupcount;
    ZelGroup* groups;  /* head of the group list, newest first */
    float position[3]; /* (0, 0, 0) when read; free for the caller's use */
    /* The smoothing group of each triangle, as the "s" statement before its face gave it ("s N"
     * is N, "s off" and "s 0" are 0, faces before any "s" are 0): trianglecount entries, or NULL
     * when the file has no "s" statement. Used by zelSmoothingGroupNormals and written by
     * ZEL_POLYGONS. */
    uint32_t* smoothinggroups;
} ZelModel;

/* ---- Records -------------------------------------------------------------------------------- */

/* The texture maps of a material by number, 0 to ZEL_MAP_COUNT - 1, in the order the writer
 * writes them: 0 ambientmap, 1 diffusemap, 2 specularmap, 3 shininessmap, 4 alphamap, 5 bumpmap,
 * 6 emissionmap, 7 normalmap, 8 displacementmap, 9 decalmap, 10 reflectionmap, 11 roughnessmap,
 * 12 metallicmap, 13 sheenmap. */
#define ZEL_MAP_COUNT 14u

/* The keyword of map `index` as zelWriteMTL writes it ("map_Ka", "map_Kd", "map_Ks", "map_Ns",
 * "map_d", "map_bump", "map_Ke", "norm", "disp", "decal", "refl", "map_Pr", "map_Pm", "map_Ps"),
 * or NULL when `index` is not below ZEL_MAP_COUNT. The string is static. */
const char* zelMapKeyword(uint32_t index);

/* Map `index` of `material` (not NULL), or NULL when `index` is not below ZEL_MAP_COUNT. */
ZelTextureMap* zelMaterialMap(ZelMaterial* material, uint32_t index);

/* Returns the group of `model` (not NULL) whose name equals `name` (not NULL) byte for byte, or
 * NULL when there is none. Changes nothing; `name` is not kept. */
ZelGroup* zelGroupByName(ZelModel* model, const char* name);

/* Returns the group of `model` (not NULL) named `name` (not NULL). When there is none, first
 * creates it (with a copy of `name`, material 0 and no triangles) at the head of the group list and
 * adds 1 to groupcount. Never returns NULL; the group belongs to the model. */
ZelGroup* zelAddGroupNamed(ZelModel* model, const char* name);

/* Returns the 0-based index into model->materials of the first material whose name equals `name`
 * (not NULL) byte for byte. When none does (also when the model has no materials), prints
 * "zelFindMaterial():  can't find material "<name>"." on standard output and returns 0, the
 * built-in "default". `model` is not NULL; nothing is changed. */
uint32_t zelFindMaterial(ZelModel* model, const char* name);

/* Frees `model` (not NULL) and everything it owns: its arrays, strings, groups (with their
 * polygons, lines and points) and materials.
 * Display lists made from it are not affected. The model must not be used afterwards. */
void zelFreeModel(ZelModel* model);

/* ---- Readers -------------------------------------------------------------------------------- */

/* Reads the OBJ file at `path` (not NULL; copied into model->path) and the material library it
 * names, looked up in the directory part of `path`, into a new model owned by the caller (free it
 * with zelFreeModel). The model holds the vertices (always allocated, even when there are none),
 * the triangles, the groups (newest first, ending with "default"), and the normals, texture
 * coordinates and materials when the file has them; facet normals are made by
 * zelComputeFacetNormals, not read. A "v" line whose line holds three more numbers after the
 * position gives its vertex a colour (model->colors; further numbers are ignored). Faces are
 * fan-triangulated; negative face indices count back from the latest element read. Returns only
 * on success: an unreadable OBJ or MTL file, a face index outside its array or memory that cannot
 * be had prints one line on standard error, a keyword starting with "v" other than "v", "vn" and
 * "vt" one line on standard output, and the process ends with status 1 (zelLoadOBJ returns these
 * failures instead). A file of a few MiB or more is read on one thread per processor the process
 * may run on; the model, and what is printed, is the same on any number. */
ZelModel* zelReadOBJ(const char* path);

/* Reads the MTL library `name` (not NULL; as an OBJ file's "mtllib" gives it, relative to the
 * directory part of model->path) into model->materials and materialcount of `model` (not NULL),
 * replacing any materials the model held. Material 0 is the built-in "default". Besides the
 * colours and the shininess it reads "d" (or "d -halo"), "Tr", and the maps map_Ka, map_Kd,
 * map_Ks, map_Ns, map_d and map_bump (also map_Bump, bump) with their options: -o, -s and -t take
 * one to three numbers, -blendu, -blendv, -cc and -clamp on or off, -mm two words, -bm, -boost,
 * -texres, -imfchan and -type one; the rest of the line is the file name. It also reads the
 * statements and maps ZelMaterial lists after bumpmap (a keyword starting with "N" still sets the
 * shininess, "Ni" the ior too) and keeps every other statement in `statements`. The library is
 * read in the default dialect (zelLoadOBJ's ZEL_LOAD_WHOLE_KEYWORDS reads it by whole keywords).
 * An unreadable library prints one line on standard error and ends the process with status 1. */
void zelReadMTL(ZelModel* model, const char* name);

/* Returns a new string (the caller frees it) holding `path` (not NULL) up to and including its last
 * '/', or the empty string when it has none. Only '/' separates directories. */
char* zelDirName(const char* path);

/* ---- Loading and saving without ending the process --------------------------------------------
 */

/* What went wrong in a call that returns its failure: zelLoadOBJ, zelLoadOBJMemory, zelSaveOBJ,
 * zelBuildMesh, zelLoadPPMFile and zelLoadPPMMemory. */
typedef struct ZelError {
    /* The line zelReadOBJ (or zelWriteOBJ) would have printed, without its line end; cut short,
     * and always NUL-terminated, if it does not fit. */
    char message[4608];
    /* The 1-based line of the file the failure is about (a face with a bad index, an unknown
     * keyword, the "mtllib" of a library that cannot be opened), or 0 when it is about none. */
    uint32_t line;
    /* Where the reason begins in `message`: past the "PATH: " of a failure that starts with the
     * file it is about (zelLoadPPMFile's "dir/sky.ppm: Not a raw PPM file" gives 13), else 0. So
     * message + reason is the reason alone, for a caller that names the file its own way. */
    uint32_t reason;
    /* 1 when the failure is memory that could not be had, else 0. */
    uint32_t outofmemory;
} ZelError;

/* Receives one warning line (without its line end) of a call that reports its warnings instead of
 * printing them; `user` is the pointer given beside it. */
typedef void (*ZelWarningFunc)(void* user, const char* message);

/* How zelLoadOBJ and zelLoadOBJMemory read. A zero-initialised struct, or NULL, means the
 * defaults. */
typedef struct ZelLoadOptions {
    /* Threads to read with: 0 for one per processor the process may run on (files below a few MiB
     * take one), 1 for the calling thread alone. The model is the same whatever the number. */
    uint32_t threads;
    /* Supplies a material library instead of the disk: called with `path`, the file the reader
     * would open (the directory part of the model's path followed by the name the OBJ file
     * gives); returns 1 after pointing *data and *size at the library's bytes, which must stay
     * valid until the next call or the load's return, or 0 when there is no such library (the
     * load then fails as for a library that cannot be opened). NULL: libraries are read from
     * disk. */
    int (*library)(void* user, const char* path, const char** data, size_t* size);
    /* Receives each "can't find material" line (without its line end) in file order, as it is
     * found, also in a load that fails later, and the warnings of the ZEL_LOAD_* flags (a library
     * that cannot be read, "zelReadMTL() warning: ..."; an unknown keyword, "zelReadOBJ()
     * warning: ...", once per keyword with the line of its first use), which come before the
     * not-found lines. NULL: the lines go to standard output once the load has succeeded (a load
     * that fails prints nothing), unless `quiet` is nonzero. */
    void (*warning)(void* user, const char* message);
    uint32_t quiet;
    void* user; /* passed to `library` and `warning` */
    /* ZEL_LOAD_* flags for what real files hold beyond the dialect zelReadOBJ reads; 0 reads
     * exactly as zelReadOBJ does. */
    uint32_t flags;
    /* When not 0, the most bytes the model's arrays (vertices, colours, normals, texture
     * coordinates, triangles and the groups' triangle lists) may need: a file whose counts need
     * more fails, before any of them is allocated, with a line saying how many it needs. */
    uint64_t maxbytes;
} ZelLoadOptions;

/* Load flags (ZelLoadOptions.flags), combined with |. */
#define ZEL_LOAD_OBJECTS 1u /* an "o" line starts a group as a "g" line would */
#define ZEL_LOAD_MISSING_LIBRARIES                                  \
    2u /* a material library that cannot be opened (or that the     \
          `library` callback does not supply) is a warning, and the \
          load goes on without its materials */
#define ZEL_LOAD_UNKNOWN_KEYWORDS                                  \
    4u /* a keyword starting with "v" other than v, vn and vt (vp, \
          vw ...) skips its line with a warning */
/* clang-format off */
/* Statements are read by their whole keywords, as the OBJ and MTL conventions write them, instead
 * of by their first letters, and names and lines whole. The two dialects side by side:
 *
 *   statement            documented dialect (flag off)       whole keywords (this flag)
 *   v, vn, vt, f         first letter ("vx" fails, "fo" is   the keyword exactly; another keyword
 *                        a face)                             starting with "v" as without the flag
 *   g, o, usemtl, mtllib first letter ("group" is g,         the keyword exactly ("group", "usemap",
 *                        "usemap" is usemtl, "mg" mtllib)    "maplib", "mg" are skipped)
 *   any other keyword    its line skipped                    its line skipped
 *   g / o name           the rest of the line, leading       the rest of the line, the blanks around
 *                        blanks kept, 127 bytes at most      it removed, inner blanks kept, any length
 *   usemtl, newmtl name  the second word, else the first     as g (so "usemtl Offset and scale" looks
 *                                                            up "Offset and scale")
 *   mtllib               the second word, else the first;    every word, in order, or the whole line
 *                        each library replaces the           when a library of that name (with its
 *                        materials read before               blanks) is there; each library adds its
 *                                                            materials after those read before (a
 *                                                            name defined twice: the first wins)
 *   MTL Ns / Ni          any "N..." sets the shininess       "Ns" the shininess, "Ni" only `ior`
 *                        ("Ni" sets `ior` too)
 *   MTL newmtl / norm    any "n..." opens a material         "newmtl" opens one; "norm" is normalmap
 *   MTL Ka, Kd, Ks       second letter; three numbers        the keyword exactly; one number sets
 *                                                            all three components, as Ke and Tf do
 *   MTL maps             every map of ZelMaterial, by its    the same, "norm" among them
 *                        keyword, but "norm" (see above)
 *   line length          127 bytes for names and MTL lines   any length
 *
 * Both dialects fill the same fields, and keep an MTL statement they do not read in `statements`.
 * The documented dialect is exact for files written for it; whole keywords read what other tools
 * write (Blender's "Ni 1.45" after "Ns 250", names with blanks). */
/* clang-format on */
#define ZEL_LOAD_WHOLE_KEYWORDS 8u
/* A material library whose name is absolute or climbs out of the model's folder (after ".." and,
 * for a file that is there, links are resolved) is not opened: the load fails with
 * "zelReadMTL() failed: material file "PATH" is outside the model's folder.", or, under
 * ZEL_LOAD_MISSING_LIBRARIES, warns and goes on without it. For services that load models they
 * did not write; texture maps say the same of themselves in ZelTextureMap.inside. */
#define ZEL_LOAD_CONFINED_LIBRARIES 32u
/* What zelview, zelobj and the Python package read with unless asked for the documented dialect:
 * files from anywhere, read by whole keywords, with "o" groups, with a library or a keyword that
 * cannot be used skipped with a warning, and with concave faces cut as they are. */
#define ZEL_LOAD_REAL_FILES                                                      \
    (ZEL_LOAD_OBJECTS | ZEL_LOAD_MISSING_LIBRARIES | ZEL_LOAD_UNKNOWN_KEYWORDS | \
     ZEL_LOAD_WHOLE_KEYWORDS | ZEL_LOAD_CONCAVE_POLYGONS)
/* A face of more than three corners that is not convex is cut into triangles that cover exactly
 * the polygon, instead of the fan from its first corner: by ear clipping in the plane of its
 * Newell normal, computed in double. A simple polygon of n corners gives n - 2 triangles, none
 * outside it, none flipped, none overlapping, each winding as the face; they take the places of
 * the fan's triangles. A convex face (no corner turning against the others in that plane) keeps
 * the fan, bit for bit, and so does a face that cannot be cut cleanly, so that no face is lost:
 * one without area, one whose corners lie farther apart across the plane than a quarter of its
 * size along it, one of up to 1024 corners whose edges cross, and one whose clipping runs past 64
 * ear tests per corner (which bounds the time a face takes: a long spiral strip of 100,000
 * corners gets the fan). */
#define ZEL_LOAD_CONCAVE_POLYGONS 16u
/* Each face is kept as written, in its group's polygon record (see ZelGroup), at 8 bytes per face
 * and 12 per corner. Without it the record is empty (lines, points and smoothing groups are kept
 * on every load, at the cost of what the file holds). The reader stores polygons, lines and points
 * in file order on one thread (its counting scan still runs on every core): a load that keeps them
 * takes longer on a machine of many cores, never on one. A line or point with an index that names
 * nothing (a texture index included) is dropped, as is a line of fewer than two corners; an "s"
 * line whose first word is not a whole number above 0 ("s off", "s 0") is group 0. */
#define ZEL_LOAD_POLYGONS 64u

/* Reads the OBJ file at `path` (not NULL) exactly as zelReadOBJ does, and returns the model. On any
 * failure returns NULL instead of ending the process: nothing is left allocated, nothing is
 * printed, and `error` (when not NULL) says what zelReadOBJ would have printed. That includes
 * memory that cannot be had: "zelReadOBJ() failed: out of memory reading "PATH"." `options` may
 * be NULL; its flags and maxbytes read beyond what zelReadOBJ reads. Safe to call from several
 * threads at once on different files. */
ZelModel* zelLoadOBJ(const char* path, const ZelLoadOptions* options, ZelError* error);

/* The same over the `size` bytes at `data` (not NULL unless size is 0), which the call only reads:
 * `path` (not NULL) names the model (its path field, and the directory in which material
 * libraries are looked for when no `library` callback supplies them). The same bytes read from a
 * file give the same model, bit for bit. */
ZelModel* zelLoadOBJMemory(const char* path, const char* data, size_t size,
                           const ZelLoadOptions* options, ZelError* error);

/* Writes `model` (not NULL; not changed) to `path` (not NULL) exactly as zelWriteOBJ writes it,
 * warnings on standard output included, and returns 1. Returns 0 with `error` (when not NULL)
 * filled when the OBJ or MTL file cannot be created or a write fails (a full disk, which
 * zelWriteOBJ does not notice). The files are written under temporary names beside their targets
 * and renamed into place only once both are complete, so a failure leaves neither a half-written
 * file nor a changed one under their names. */
int zelSaveOBJ(const ZelModel* model, const char* path, uint32_t mode, ZelError* error);

/* ---- Mode checks ------------------------------------------------------------------------------
 */

/* The flags a mode may ask for are checked against what is there before anything is drawn, built
 * or written; zelDraw, zelMakeList, zelMakeMesh, zelDrawMesh and zelWriteOBJ run these checks, and
 * a binding that reports warnings its own way runs them first with a callback, then calls the
 * library with the mode they return (which passes without a warning). */

/* What zelCheckMode's warnings speak of: drawing ("... render mode requested ...", the texts of
 * zelDraw, zelMakeMesh and zelDrawMesh) or writing ("... output requested ...", zelWriteOBJ's). */
#define ZEL_USE_DRAW 0u
#define ZEL_USE_WRITE 1u

/* The ZEL_* flags `model` (not NULL) has data for: ZEL_FLAT with facet normals, ZEL_SMOOTH with
 * vertex normals, ZEL_TEXTURE with texture coordinates, ZEL_COLOR and ZEL_MATERIAL with
 * materials, ZEL_VERTEXCOLOR with vertex colours, ZEL_POLYGONS when a group keeps polygons, lines
 * or points or the model keeps smoothing groups (the mode a program saves with to keep them), and
 * ZEL_WIREFRAME always. */
uint32_t zelModelHolds(const ZelModel* model);

/* Returns `mode` without the flags that `holds` (ZEL_* flags, as zelModelHolds or zelMeshHolds
 * give them) cannot honour or that exclude each other, checked in this order, each against the
 * mode the ones before it left: ZEL_FLAT without facet normals, ZEL_SMOOTH without normals,
 * ZEL_TEXTURE without texture coordinates, ZEL_FLAT beside ZEL_SMOOTH (smooth wins), ZEL_COLOR and
 * ZEL_MATERIAL without materials, ZEL_COLOR beside ZEL_MATERIAL (material wins), ZEL_VERTEXCOLOR
 * without colours. Each cleared flag is one line "<operation>() warning: <text>", with the texts
 * of `use` (ZEL_USE_DRAW or ZEL_USE_WRITE) and `operation` (not NULL) the function to name, e.g.
 * "zelMakeMesh": handed to `warning` with `user`, or, with `warning` NULL, printed on standard
 * output. Other bits pass through. */
uint32_t zelCheckMode(uint32_t mode, uint32_t holds, uint32_t use, const char* operation,
                      ZelWarningFunc warning, void* user);

/* ---- Bounds, unit fit and scaling ------------------------------------------------------------ */

/* Writes the size of `model` (not NULL, with its vertices) along x, y and z into dimensions[0..2]
 * (`dimensions` not NULL); the size of an axis is |max| + |min| of its coordinates, which is the
 * true extent when the axis's range contains 0. A model with no vertices has size 0 on every axis.
 * Changes nothing. */
void zelExtents(ZelModel* model, float* dimensions);

/* Moves the centre of the bounding box of `model` (not NULL, with its vertices) to the origin and
 * scales it by 2 / (largest size, as zelExtents gives it), changing only the vertices: normals keep
 * their directions. Returns the factor. A model with no vertices, or whose largest size is
 * 0 or not finite (or so small that 2 / size overflows), is only centred (when it has vertices, and
 * only along the axes whose centre is finite) and 1 is returned. */
float zelFitToUnitCube(ZelModel* model);

/* Multiplies every vertex coordinate of `model` (not NULL) by `scale`. Changes only the vertices;
 * normals and facet normals are left as they are. */
void zelScaleModel(ZelModel* model, float scale);

/* Adds offset[0..2] (`offset` not NULL: x, y, z) to every vertex of `model` (not NULL). Changes
 * only the vertices. */
void zelTranslateModel(ZelModel* model, const float* offset);

/* Turns `model` (not NULL) inside out: reverses the winding of every triangle (corners 0 and 2
 * trade places in vertexidx, and in normalidx and texcoordidx when the model has normals or texture
 * coordinates) and negates every facet and vertex normal. Each recorded polygon's corners after its
 * first are reversed too (corner 0 stays first), so that it winds as its triangles again; lines and
 * points are left as they are. Applying it twice restores the model. */
void zelFlipWinding(ZelModel* model);

/* ---- Normals ----------------------------------------------------------------------------------
 */

/* Computes one unit normal per triangle of `model` (not NULL, with its vertices) into facetnorms,
 * replacing any (facetnormcount becomes trianglecount), and sets each triangle's facetidx to its
 * index + 1. The normal is (P1 - P0) x (P2 - P0), normalised: it points to the side from which
 * corners 0, 1, 2 run counter-clockwise. A degenerate triangle, or one naming a vertex outside
 * 1..vertexcount, gets the zero vector. */
void zelComputeFacetNormals(ZelModel* model);

/* Computes smoothed normals for `model` (not NULL) into normals, replacing any, and sets every
 * corner's normalidx. Needs facet normals: run zelComputeFacetNormals on the current triangles
 * first. At each vertex the reference is the facet normal of the highest-numbered triangle using
 * it; the facet normals of its triangles that lie within `angle` degrees of the reference (dot
 * product strictly above the cosine) are summed into one unit normal that their corners share, and
 * every other corner gets a copy of its own facet normal. So edges sharper than `angle` stay sharp:
 * 90 is a common choice, 180 smooths all but exactly opposite facets. normalcount becomes the
 * number of normals made, at most 3 * trianglecount; no normal is shared between vertices. A vertex
 * used by no triangle gets no normal and prints "zelVertexNormals(): vertex w/o a triangle" on
 * standard error. A sum that cancels gives the zero vector. A triangle naming one vertex at two
 * corners gets a normal at both (the same averaged one, or one copy of its facet normal each). A
 * corner naming a vertex outside 1..vertexcount gets normalidx 0; a triangle whose facetidx lies
 * outside 1..facetnormcount counts as having a zero facet normal. Each recorded polygon corner
 * takes the normal index of a corner of the polygon's triangles that names its vertex. */
void zelVertexNormals(ZelModel* model, float angle);

/* zelVertexNormals within smoothing groups: a corner shares its normal only with the corners at
 * its vertex whose triangles are in the same non-zero smoothing group (model->smoothinggroups) and
 * whose facet normals lie within `angle` degrees of that group's reference there (the facet normal
 * of the group's highest-numbered triangle at the vertex); every corner of group 0 ("s off") and
 * every corner outside the angle gets a copy of its own facet normal. At each vertex the shared
 * normals come first, by group in the order of their reference triangles from the highest, then the
 * copies. A model without smoothing groups (NULL) gets exactly what zelVertexNormals gives. Needs
 * facet normals; changes what zelVertexNormals changes, and prints its line for a vertex without
 * a triangle. */
void zelSmoothingGroupNormals(ZelModel* model, float angle);

/* ---- Texture coordinates ----------------------------------------------------------------------
 */

/* Generates planar texture coordinates for `model` (not NULL, with its vertices), replacing any:
 * one per vertex (texcoordcount becomes vertexcount), u = (s * x + 1) / 2 and v = (s * z + 1) / 2
 * with s = 2 / (largest size, as zelExtents gives it); y is not used. Positions are not re-centred:
 * x = 0 maps to u = 0.5, and on a model fitted by zelFitToUnitCube u and v lie within 0..1. Points
 * each corner's texcoordidx at its vertex's coordinate. A model whose largest size is 0 (or too
 * small to invert) is taken unscaled, so a single point at the origin maps to (0.5, 0.5).
 * Triangles are reached through the groups; a group entry beyond trianglecount is skipped. Each
 * recorded line corner's texcoordidx becomes its vertexidx, and each polygon corner takes the
 * index of a corner of its polygon's triangles that names its vertex. */
void zelPlanarTexCoords(ZelModel* model);

/* Generates sphere-map texture coordinates for `model` (not NULL, with normals: read from the file
 * or made by zelVertexNormals), replacing any: one per normal (texcoordcount becomes normalcount),
 * u from the normal's elevation towards +y and v from its angle to +x, both within 0..1. Points
 * each corner's texcoordidx, for every triangle of every group, at its normal's coordinate. Normals
 * differing only in the sign of z get the same coordinate; the zero normal maps to (0, 0). Recorded
 * polygon corners follow their triangles' corners (as in zelPlanarTexCoords); line corners, which
 * have no normals, get texcoordidx 0. */
void zelSphereTexCoords(ZelModel* model);

/* ---- Welding ----------------------------------------------------------------------------------
 */

/* Welds the 1-based positions[3..3*count+2] (`positions` and `count` not NULL): each position goes
 * to the lowest-numbered earlier welded position within `epsilon` on every axis (strictly,
 * |float(u - v)| < epsilon), or becomes a new welded position. Returns a new malloc'ed array of
 * count + 1 triples holding the welded positions at 1..new count, sets *count to their number, and
 * overwrites the x entry of every input position with the 1-based index of its welded position (as
 * a float: exact up to 16777216 welded positions). An epsilon of 0 or below, or NaN, merges
 * nothing; a position with a NaN or infinite coordinate is never merged. Runs in about linear time
 * (a hash grid). */
float* zelWeldPositions(float* positions, uint32_t* count, float epsilon);

/* Welds the vertices of `model` (not NULL) within `epsilon` (as zelWeldPositions), replacing
 * vertices and vertexcount with the welded positions, and renumbers every triangle's vertexidx,
 * exactly for any vertex count. An index outside 1..vertexcount is left as it is. When the model
 * has vertex colours they are replaced too: a welded vertex keeps the colour of its
 * lowest-numbered vertex, whose position it has. The vertex indices of the recorded polygons, lines
 * and points are renumbered the same way. Nothing else of the model changes. */
void zelWeldVertices(ZelModel* model, float epsilon);

/* ---- Drawing (needs a current OpenGL context) --------------------------------------------------
 */

/* Sends `model` (not NULL, with its vertices) to OpenGL in immediate mode, group by group in list
 * order, under `mode` (ZEL_* flags; other bits are ignored): filled triangles (one
 * glBegin(GL_TRIANGLES) per group) or, with ZEL_WIREFRAME, one GL_LINE_LOOP per triangle.
 * ZEL_FLAT sends each triangle's facet normal, ZEL_SMOOTH each corner's normal, ZEL_TEXTURE each
 * corner's texture coordinate, ZEL_VERTEXCOLOR each corner's vertex colour (in that order, before
 * the vertex). After its triangles each group's lines are drawn, one GL_LINE_STRIP each, and its
 * points, in one GL_POINTS, with their corners' texture coordinates (lines only) and vertex
 * colours under those flags, and no normals; ZEL_COLOR enables GL_COLOR_MATERIAL and sets each
 * group's diffuse colour with glColor3fv; ZEL_MATERIAL disables GL_COLOR_MATERIAL and sets each
 * group's ambient, diffuse, specular and shininess for GL_FRONT_AND_BACK. A flag the model has no
 * data for is cleared for this call with a "zelDraw() warning: ..." line on standard output (on
 * every call); so are ZEL_FLAT beside ZEL_SMOOTH (smooth wins) and ZEL_COLOR beside ZEL_MATERIAL
 * (material wins), and ZEL_VERTEXCOLOR on a model without colours, checked last. Needs a current
 * OpenGL context, outside glBegin/glEnd. Matrices, lights, the lighting and texturing switches,
 * glColorMaterial's face and mode, the polygon mode and the colour before the call are the
 * caller's; nothing is restored afterwards. */
void zelDraw(ZelModel* model, uint32_t mode);

/* Records what zelDraw(model, mode) sends into a new display list (glGenLists, GL_COMPILE) and
 * returns its name. Warnings are printed once, now, not when the list is replayed. The list belongs
 * to the caller (glCallList, glDeleteLists) and keeps its own copy of the drawing: later changes to
 * the model, or freeing it, do not reach it. Needs a current OpenGL context. */
unsigned int zelMakeList(ZelModel* model, uint32_t mode);

/* zelDraw, with each group's texture bound: under ZEL_TEXTURE (once its checks have passed),
 * glBindTexture(GL_TEXTURE_2D, textures[m]) is called before each group's triangles, m the
 * group's material (0 for every group of a model without materials). `textures` holds a texture
 * name the caller made (glGenTextures, glTexImage2D) for each of the model's materials, or 0 for
 * a material without an image (0 binds the default texture object, which has none, so the group
 * is drawn untextured); it has materialcount entries, or 1 when the model has no materials. A
 * usual way to fill it: decode materials[m].diffusemap.path when its name is not NULL. NULL
 * draws exactly as zelDraw. Texturing itself (glEnable(GL_TEXTURE_2D)) is the caller's. */
void zelDrawTextured(ZelModel* model, uint32_t mode, const unsigned int* textures);

/* zelMakeList for zelDrawTextured: the list holds the texture bindings too (glBindTexture is
 * compiled into display lists), so the textures must still exist when it is called. */
unsigned int zelMakeListTextured(ZelModel* model, uint32_t mode, const unsigned int* textures);

/* ---- Meshes ---------------------------------------------------------------------------------- */

/* A mesh is a model as vertex arrays and GPU buffers take it: one interleaved vertex per distinct
 * corner, three 32-bit indices per triangle ordered for the GPU's vertex cache, and one index range
 * per group. It holds its own copies of everything (the model's materials too), so it stays valid
 * after the model is changed or freed. The mesh functions use meshoptimizer: the CMake package and
 * zel.pc add it to the link. */

/* One group's triangles, lines and points in a mesh. */
typedef struct ZelMeshGroup {
    char* name;          /* a copy of the model group's name */
    uint32_t first;      /* the group's first entry in the mesh's indices */
    uint32_t count;      /* its entries in the indices: 3 per triangle */
    uint32_t material;   /* the model group's material, a 0-based index into the mesh's materials */
    uint32_t linefirst;  /* the group's first entry in the mesh's lineindices */
    uint32_t linecount;  /* its entries there: 2 per segment of its lines */
    uint32_t pointfirst; /* the group's first entry in the mesh's pointindices */
    uint32_t pointcount; /* its entries there: 1 per point */
} ZelMeshGroup;

/* The vertices, indices, groups and materials of a mesh, all allocated with malloc and released by
 * zelFreeMesh. Vertex i is at vertices[stride * i .. stride * i + stride - 1]: x y z, then, when
 * mode has ZEL_FLAT or ZEL_SMOOTH, the normal nx ny nz, then, when mode has ZEL_TEXTURE, the
 * texture coordinate u v, then, when mode has ZEL_VERTEXCOLOR, the colour r g b. The offsets say
 * where each attribute starts within a vertex, so that a caller need not work the layout out. */
typedef struct ZelMesh {
    uint32_t mode;   /* what the vertices hold: ZEL_FLAT or ZEL_SMOOTH (not both),
                        ZEL_TEXTURE and ZEL_VERTEXCOLOR */
    uint32_t stride; /* floats per vertex: 3 to 11 */
    uint32_t vertexcount;
    float* vertices;     /* stride * vertexcount floats, always allocated; no two are equal */
    uint32_t indexcount; /* 3 per triangle */
    uint32_t* indices;   /* indexcount 0-based vertex indices, always allocated */
    uint32_t groupcount;
    ZelMeshGroup* groups;    /* groupcount groups in the model's list order, always allocated;
                                their ranges follow each other and cover the indices */
    uint32_t materialcount;  /* 0 when the model had no materials */
    ZelMaterial* materials;  /* a copy of the model's materials, names and maps included, or
                                NULL */
    uint32_t normaloffset;   /* floats from a vertex's start to its normal; 0 without normals */
    uint32_t texcoordoffset; /* ... to its texture coordinate; 0 without texture coordinates */
    uint32_t coloroffset;    /* ... to its colour; 0 without colours */
    /* The groups' lines as GL_LINES pairs (a line of k corners gives k - 1 pairs) and their
     * points as GL_POINTS, indices into the same vertices, each group's in its range; the counts
     * are 0 and the arrays NULL when the model keeps no lines (or no points). A line or point
     * corner's vertex has the zero normal, its line corner's texture coordinate (a point's is
     * texture coordinate 0) and its vertex's colour, and shares a vertex with any corner whose
     * attributes are equal bit for bit. */
    uint32_t lineindexcount;
    uint32_t* lineindices;
    uint32_t pointindexcount;
    uint32_t* pointindices;
} ZelMesh;

/* The ZEL_* flags `mesh` (not NULL) has data for, as zelModelHolds gives them for a model:
 * mesh->mode's ZEL_FLAT, ZEL_SMOOTH, ZEL_TEXTURE and ZEL_VERTEXCOLOR, ZEL_COLOR and ZEL_MATERIAL
 * when it has materials, and ZEL_WIREFRAME always. */
uint32_t zelMeshHolds(const ZelMesh* mesh);

/* The mode flags that choose what a mesh's vertices hold (mesh->mode keeps those that passed);
 * ZEL_COLOR, ZEL_MATERIAL and ZEL_WIREFRAME matter only to drawing. A caller that makes a mesh to
 * draw it later with other flags masks the mode with these, so zelMakeMesh does not check flags
 * it has no use for. */
#define ZEL_MESH_ATTRIBUTES (ZEL_FLAT | ZEL_SMOOTH | ZEL_TEXTURE | ZEL_VERTEXCOLOR)

/* The vertex cache, in vertices, that zelMakeMesh orders each group's triangles for (a FIFO
 * cache, as meshoptimizer models it); for analysing a mesh with meshoptimizer's tools. */
#define ZEL_MESH_CACHE_SIZE 16u

/* How zelBuildMesh makes a mesh. A zero-initialised struct, or NULL, means what zelMakeMesh does,
 * its warnings printed. */
typedef struct ZelMeshOptions {
    /* Threads to make it with: 0 for one per processor the process may run on (small meshes take
     * one), 1 for the calling thread alone. The mesh is the same on any number. */
    uint32_t threads;
    /* Nonzero: each group's triangles keep the model's order, not reordered for the vertex cache
     * (vertices are still shared and numbered in the order their first corner is met). */
    uint32_t keeporder;
    /* Receives each "zelMakeMesh() warning: ..." line; NULL: they go to standard output, unless
     * `quiet` is nonzero. */
    ZelWarningFunc warning;
    uint32_t quiet;
    void* user; /* passed to `warning` */
} ZelMeshOptions;

/* Makes a new mesh, owned by the caller (free it with zelFreeMesh), from `model` (not NULL, with
 * its vertices; not changed). `mode` (ZEL_* flags; other bits are ignored) chooses what each
 * vertex holds besides its position: ZEL_FLAT the facet normal of its triangle, ZEL_SMOOTH the
 * corner's normal, ZEL_TEXTURE the corner's texture coordinate, ZEL_VERTEXCOLOR its vertex's
 * colour. The flags go through zelDraw's
 * checks, in its order and with its texts, the lines starting "zelMakeMesh() warning: " (on
 * standard output, on every call): a flag the model has no data for is dropped, ZEL_SMOOTH wins
 * over ZEL_FLAT and ZEL_MATERIAL over ZEL_COLOR. ZEL_COLOR, ZEL_MATERIAL and ZEL_WIREFRAME matter
 * only to zelDrawMesh; mesh->mode keeps the ZEL_FLAT, ZEL_SMOOTH, ZEL_TEXTURE and ZEL_VERTEXCOLOR
 * flags that passed.
 *
 * The triangles are taken through the groups, in list order (a triangle listed twice is there
 * twice). Each corner becomes an index; corners whose attributes are equal bit for bit share one
 * vertex (so 0.0 and -0.0 differ, and NaNs with equal bits are equal), and no two vertices are
 * equal. Vertices are numbered in the order their first corner is met. Within each group the
 * triangles are reordered, each keeping its corners in their order, for a FIFO vertex cache of 16
 * entries (meshoptimizer's meshopt_optimizeVertexCacheFifo over runs of at most 131072 triangles).
 * A large model is made on several threads, one per processor the process may run on; the mesh is
 * the same on any number. Index 0 (slot 0 of an array) is a valid corner
 * index. A group entry beyond the model's triangles, a group material beyond its materials (when
 * it has some), and a corner index beyond the array the mode reads (vertexidx beyond vertexcount;
 * normalidx beyond normalcount under ZEL_SMOOTH; facetidx beyond facetnormcount under ZEL_FLAT;
 * texcoordidx beyond texcoordcount under ZEL_TEXTURE) are precondition failures: such a model can
 * only have been built by hand. A model whose groups list more than 1431655765 triangles (whose
 * indices 32 bits cannot count), or that memory cannot be had for, gets no mesh: one line
 * "zelMakeMesh() failed: ..." on standard error, and NULL is returned. */
ZelMesh* zelMakeMesh(const ZelModel* model, uint32_t mode);

/* zelMakeMesh under `options` (may be NULL), with every failure returned instead of printed or
 * aborted on: returns NULL, with nothing left allocated and `error` (when not NULL) filled, when
 * zelMakeMesh would print its "zelMakeMesh() failed: ..." line (that line), and also when `model`
 * is one zelMakeMesh takes as a precondition failure: a group whose triangle list is missing, a
 * group entry beyond the triangles, a group material beyond the materials, or a corner index
 * beyond the array the mode reads, also in a line or a point ("zelMakeMesh() failed: group
 * "NAME": ..." saying which).
 * `model` itself must not be NULL and must have its vertices. Safe to call from several threads at
 * once on models that none of them changes. */
ZelMesh* zelBuildMesh(const ZelModel* model, uint32_t mode, const ZelMeshOptions* options,
                      ZelError* error);

/* Frees `mesh` and everything it holds; NULL is ignored. The mesh must not be used afterwards. */
void zelFreeMesh(ZelMesh* mesh);

/* Draws `mesh` (not NULL, as zelMakeMesh made it; not changed) with OpenGL 1.1 vertex arrays
 * straight from its memory, under `mode` (ZEL_* flags; other bits are ignored). ZEL_FLAT and
 * ZEL_SMOOTH send the normals the mesh holds, ZEL_TEXTURE its texture coordinates; a flag the mesh
 * does not hold (as mesh->mode and mesh->materials tell) is cleared for this call with zelDraw's
 * line, starting "zelDrawMesh() warning: ", on standard output (on every call), and so are
 * ZEL_FLAT beside ZEL_SMOOTH and ZEL_COLOR beside ZEL_MATERIAL. ZEL_COLOR and ZEL_MATERIAL make the
 * same state changes as in zelDraw (GL_COLOR_MATERIAL switched on or off once, then per group its
 * diffuse colour with glColor3fv, or its ambient, diffuse, specular and shininess for
 * GL_FRONT_AND_BACK) and draw each group with its own glDrawElements(GL_TRIANGLES); without them
 * one glDrawElements draws every group. Lines and points follow the triangles they are drawn
 * with, as glDrawElements(GL_LINES) and glDrawElements(GL_POINTS) over the same ranges (group by
 * group, or all at once), each only when it has entries. ZEL_WIREFRAME draws the outlines of the
 * triangles, the lines zelDraw's GL_LINE_LOOP per triangle gives: glPolygonMode(GL_FRONT_AND_BACK,
 * GL_LINE), with face culling and GL_POLYGON_OFFSET_LINE off, inside
 * glPushAttrib(GL_POLYGON_BIT)/glPopAttrib, so the caller's polygon state comes back. (Lit outlines
 * differ in one way: with two-sided lighting on, a back-facing triangle's outline is lit as its
 * back is.) ZEL_VERTEXCOLOR sends the mesh's colours as the colour array. The client array state is
 * saved with glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT) and restored afterwards; inside, the
 * arrays the mesh does not supply (colour, index, edge flag too) are off. Needs a current OpenGL
 * context, outside glBegin/glEnd, with no buffer object bound (the arrays are client memory) and
 * the current edge flag GL_TRUE, as it starts. Matrices, lights, the lighting and texturing
 * switches, glColorMaterial's face and mode and the colour before the call are the caller's. A
 * group whose range or material lies outside the mesh's (a mesh changed by hand) is a precondition
 * failure. */
void zelDrawMesh(const ZelMesh* mesh, uint32_t mode);

/* zelDrawMesh, with each group's texture bound as zelDrawTextured binds it (`textures` indexed by
 * the mesh's materials, one entry when it has none): under ZEL_TEXTURE each group is drawn with
 * its own glDrawElements after glBindTexture(GL_TEXTURE_2D, textures[its material]). NULL draws
 * exactly as zelDrawMesh. */
void zelDrawMeshTextured(const ZelMesh* mesh, uint32_t mode, const unsigned int* textures);

/* ---- Writing ----------------------------------------------------------------------------------
 */

/* Writes `model` (not NULL; not changed) as the OBJ file `filename` (not NULL; created or
 * truncated) under `mode`: ZEL_SMOOTH adds the vertex normals, ZEL_FLAT the facet normals
 * (ZEL_SMOOTH wins when both are given), ZEL_TEXTURE the texture coordinates, ZEL_VERTEXCOLOR
 * each vertex's colour ("v x y z r g b"), ZEL_MATERIAL a "usemtl" line per group and, when
 * model->mtllib is set, an "mtllib" line and the materials written to that name in the directory
 * part of `filename`, ZEL_POLYGONS the recorded polygons, lines, points and smoothing groups (see
 * its definition). ZEL_COLOR and other bits add nothing. A
 * flag the model has no data for is reported on standard output and dropped. Faces are written v,
 * v/t, v//n or v/t/n; under ZEL_FLAT the normal index is the triangle's facetidx. Group names that
 * begin with white space follow the "g" directly, so names read from a file read back unchanged.
 * An unwritable OBJ or MTL file prints one line on standard error and ends the process with
 * status 1. */
void zelWriteOBJ(ZelModel* model, const char* filename, uint32_t mode);

/* Writes every material of `model` (not NULL), "default" included, to the file named by the
 * directory part of `filename` followed by `mtllibname` (not NULL): its colours and shininess,
 * then "d" when the dissolve is not 1 and each map it has (by its name as read, with the options
 * that differ from their defaults), so that reading the file back gives the same materials. A
 * field added after bumpmap is written only when it differs from its absent value: "Ni" just
 * before "Ns" (so that the default dialect, whose "Ni" sets the shininess too, reads both back),
 * the others and their maps after the maps above, then the kept statements as they stood. A
 * material with none of them is written as by the colours, shininess, dissolve and maps alone.
 * Called by zelWriteOBJ. An unwritable file prints one line on standard error and ends the process
 * with status 1. */
void zelWriteMTL(ZelModel* model, const char* filename, const char* mtllibname);

/* ---- Images -----------------------------------------------------------------------------------
 */

/* Reads the binary PPM (P6) image `filename`: the "P6" line, then width, height and maximum value
 * (which is not used: every sample is one byte), with '#' comment lines, then the pixels. Returns a
 * malloc'ed block of width * height * 3 bytes (RGB, top row first) that the caller frees, and
 * stores the size in *width and *height (both not NULL). Missing pixel bytes at the end read as
 * zero. Returns NULL after one line on standard error, leaving *width and *height alone, when the
 * file cannot be opened, is not a P6 file, ends within its header, gives a width or height below 1,
 * or gives a size far beyond what the file holds (over 1 MiB more than it holds, and more than
 * twice it). */
unsigned char* zelLoadPPM(const char* filename, int* width, int* height);

/* zelLoadPPM with its failure returned instead of printed: NULL, with `error` (when not NULL)
 * holding the line zelLoadPPM would print (error->reason skips the "FILENAME: " it starts with). */
unsigned char* zelLoadPPMFile(const char* filename, int* width, int* height, ZelError* error);

/* The same over the `size` bytes at `data` (not NULL unless size is 0), which the call only
 * reads; `name` (not NULL) stands for the file name in the failure's message. */
unsigned char* zelLoadPPMMemory(const char* name, const unsigned char* data, size_t size,
                                int* width, int* height, ZelError* error);

/* ---- Threads ----------------------------------------------------------------------------------
 */

/* The processors the process may run on (its affinity mask, as nproc counts it, so that taskset and
 * container limits are respected; at least 1): the number of threads the readers and zelMakeMesh
 * use by default. */
uint32_t zelProcessorCount(void);

#ifdef __cplusplus
}
#endif

#endif /* ZEL_H */
