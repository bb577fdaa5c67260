// zelview's OpenGL side: the lights, the textures, the display list, the mesh and one frame.
#pragma once

#include <cstdint>
#include <vector>

#include "viewer.h"

namespace zelview {

struct Renderer {
    // The texture name each material is drawn with (zelDrawTextured's `textures`): one of the
    // texture objects made from a TextureSet, or 0 for none.
    std::vector<unsigned int> textures;
    unsigned int list = 0;    // the display list, 0 before the first
    uint32_t listMode = 0;    // the mode the list was made with
    bool listStale = true;    // the model changed since: make the list again
    ZelMesh* mesh = nullptr;  // the mesh, null before the first or when it could not be made
    uint32_t meshMode = 0;    // the flags it was made with (meshMode of the drawing mode)
    bool meshStale = true;    // the model changed since: make the mesh again
};

// Sets up depth test, one light, two-sided lighting and a texture object for each texture of
// `set`, and fills renderer->textures from set.textureOf. Needs the window's context.
void initRenderer(Renderer* renderer, const TextureSet& set);

// The projection for a window of this size.
void reshapeView(int width, int height);

// Draws one frame of `model` under `state` (without swapping buffers). On the list path the list is
// made again first when the mode changed or the model was marked stale; on the mesh path the mesh
// is, when the normals or texture coordinates it must hold changed or the model was marked stale.
void drawFrame(Renderer* renderer, ZelModel* model, const ViewState& state);

}  // namespace zelview
