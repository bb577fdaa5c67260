// The property every mesh must have, checked against the model it was made from, for the unit tests
// and the round-trip fuzzer: the mode in force and the stride; each group's name (a copy), material
// and index range, in list order; each group's triangles, as the bits of their corners' attributes,
// those of the model's group (in some order, each with its corners in their order); every vertex
// used (by a triangle, a line or a point), and no two equal bit for bit; the materials copied.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "zel.h"

namespace zeltest {

// The flags zelMakeMesh keeps for a model, written out from its documentation.
inline uint32_t meshModeFor(const ZelModel* model, uint32_t mode) {
    uint32_t kept = 0;
    if ((mode & ZEL_SMOOTH) && model->normals)
        kept |= ZEL_SMOOTH;
    else if ((mode & ZEL_FLAT) && model->facetnorms)
        kept |= ZEL_FLAT;
    if ((mode & ZEL_TEXTURE) && model->texcoords) kept |= ZEL_TEXTURE;
    if ((mode & ZEL_VERTEXCOLOR) && model->colors) kept |= ZEL_VERTEXCOLOR;
    return kept;
}

// Returns "" when `mesh` is what zelMakeMesh(model, mode) promises, or what is wrong.
inline std::string meshMismatch(const ZelModel* model, uint32_t mode, const ZelMesh* mesh) {
    using Bits = std::vector<uint32_t>;
    mode = meshModeFor(model, mode);
    if (mesh->mode != mode) return "mode " + std::to_string(mesh->mode);
    const uint32_t stride = 3 + ((mode & (ZEL_FLAT | ZEL_SMOOTH)) ? 3 : 0) +
                            ((mode & ZEL_TEXTURE) ? 2 : 0) + ((mode & ZEL_VERTEXCOLOR) ? 3 : 0);
    if (mesh->stride != stride) return "stride " + std::to_string(mesh->stride);
    // The attributes follow the position in this order, each where the one before it ends.
    const uint32_t normalAt = (mode & (ZEL_FLAT | ZEL_SMOOTH)) ? 3 : 0;
    const uint32_t texcoordAt = (mode & ZEL_TEXTURE) ? (normalAt ? 6 : 3) : 0;
    const uint32_t colorAt = (mode & ZEL_VERTEXCOLOR) ? stride - 3 : 0;
    if (mesh->normaloffset != normalAt || mesh->texcoordoffset != texcoordAt ||
        mesh->coloroffset != colorAt)
        return "offsets " + std::to_string(mesh->normaloffset) + " " +
               std::to_string(mesh->texcoordoffset) + " " + std::to_string(mesh->coloroffset);

    auto append = [](Bits& bits, const float* values, int count) {
        for (int i = 0; i < count; i++) {
            uint32_t word;
            std::memcpy(&word, &values[i], 4);
            bits.push_back(word);
        }
    };
    auto cornerBits = [&](const ZelTriangle& t, int k) {
        Bits bits;
        append(bits, &model->vertices[3 * size_t{t.vertexidx[k]}], 3);
        if (mode & ZEL_FLAT) append(bits, &model->facetnorms[3 * size_t{t.facetidx}], 3);
        if (mode & ZEL_SMOOTH) append(bits, &model->normals[3 * size_t{t.normalidx[k]}], 3);
        if (mode & ZEL_TEXTURE) append(bits, &model->texcoords[2 * size_t{t.texcoordidx[k]}], 2);
        if (mode & ZEL_VERTEXCOLOR) append(bits, &model->colors[3 * size_t{t.vertexidx[k]}], 3);
        return bits;
    };
    auto vertexBits = [&](uint32_t index) {
        Bits bits;
        append(bits, &mesh->vertices[size_t{stride} * index], static_cast<int>(stride));
        return bits;
    };

    // Every vertex is used by a triangle's, a line's or a point's corner.
    std::vector<bool> used(mesh->vertexcount, false);
    const std::pair<const uint32_t*, uint32_t> lists[] = {
        {mesh->indices, mesh->indexcount},
        {mesh->lineindices, mesh->lineindexcount},
        {mesh->pointindices, mesh->pointindexcount}};
    for (const auto& [indices, count] : lists)
        for (uint32_t i = 0; i < count; i++) {
            if (indices[i] >= mesh->vertexcount) return "index beyond the vertices";
            used[indices[i]] = true;
        }
    if (std::find(used.begin(), used.end(), false) != used.end()) return "a vertex no corner uses";

    uint32_t g = 0;
    size_t first = 0;
    for (const ZelGroup* group = model->groups; group; group = group->next, g++) {
        if (g >= mesh->groupcount) return "too few groups";
        const ZelMeshGroup& out = mesh->groups[g];
        const std::string where = "group " + std::to_string(g) + ": ";
        if (std::strcmp(out.name, group->name) != 0 || out.name == group->name)
            return where + "name " + out.name;
        if (out.material != group->material) return where + "material";
        if (out.first != first || out.count != 3 * size_t{group->trianglecount})
            return where + "range " + std::to_string(out.first) + "+" + std::to_string(out.count);
        std::vector<std::array<Bits, 3>> expected, made;
        for (uint32_t e = 0; e < group->trianglecount; e++) {
            const ZelTriangle& t = model->triangles[group->triangleidx[e]];
            expected.push_back({cornerBits(t, 0), cornerBits(t, 1), cornerBits(t, 2)});
            const uint32_t* c = &mesh->indices[first + 3 * size_t{e}];
            made.push_back({vertexBits(c[0]), vertexBits(c[1]), vertexBits(c[2])});
        }
        std::sort(expected.begin(), expected.end());
        std::sort(made.begin(), made.end());
        if (made != expected) return where + "triangles differ";
        first += out.count;
    }
    if (g != mesh->groupcount) return "too many groups";
    if (first != mesh->indexcount) return "indices beyond the groups";

    std::vector<Bits> vertices;
    for (uint32_t i = 0; i < mesh->vertexcount; i++) vertices.push_back(vertexBits(i));
    std::sort(vertices.begin(), vertices.end());
    if (std::adjacent_find(vertices.begin(), vertices.end()) != vertices.end())
        return "two equal vertices";

    if ((mesh->materials == nullptr) != (model->materials == nullptr)) return "materials";
    if (mesh->materials && mesh->materialcount != model->materialcount) return "material count";
    for (uint32_t i = 0; mesh->materials && i < model->materialcount; i++) {
        const ZelMaterial &a = model->materials[i], &b = mesh->materials[i];
        // The colours and the shininess, which follow each other without padding.
        const size_t values = offsetof(ZelMaterial, shininess) + 4 - offsetof(ZelMaterial, diffuse);
        if (std::strcmp(a.name, b.name) != 0 || a.name == b.name ||
            std::memcmp(a.diffuse, b.diffuse, values) != 0 ||
            std::memcmp(&a.dissolve, &b.dissolve, sizeof a.dissolve) != 0)
            return "material " + std::to_string(i);
        auto same = [](const char* x, const char* y) {
            return x == nullptr ? y == nullptr : y != nullptr && x != y && std::strcmp(x, y) == 0;
        };
        // The parameters after the maps, which follow each other without padding.
        const size_t added =
            offsetof(ZelMaterial, anisotropyrotation) + 4 - offsetof(ZelMaterial, emission);
        if (std::memcmp(a.emission, b.emission, added) != 0)
            return "material " + std::to_string(i) + " parameters";
        // The maps: copies of the names, paths and types, the same options.
        for (uint32_t k = 0; k < ZEL_MAP_COUNT; k++) {
            const ZelTextureMap& am = *zelMaterialMap(const_cast<ZelMaterial*>(&a), k);
            const ZelTextureMap& bm = *zelMaterialMap(const_cast<ZelMaterial*>(&b), k);
            const size_t options =
                offsetof(ZelTextureMap, bumpmultiplier) + 4 - offsetof(ZelTextureMap, offset);
            if (!same(am.name, bm.name) || !same(am.path, bm.path) || !same(am.type, bm.type) ||
                std::memcmp(am.offset, bm.offset, options) != 0)
                return "material " + std::to_string(i) + " map " + std::to_string(k);
        }
        // The kept statements: copies.
        if (a.statementcount != b.statementcount)
            return "material " + std::to_string(i) + " statement count";
        for (uint32_t k = 0; k < a.statementcount; k++)
            if (!same(a.statements[k], b.statements[k]))
                return "material " + std::to_string(i) + " statement " + std::to_string(k);
    }
    return "";
}

}  // namespace zeltest
