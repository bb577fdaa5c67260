// The model records: group and material lookup, deletion, and the directory part of a path.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "polygon.h"
#include "zel_internal.h"

ZelGroup* zelGroupByName(ZelModel* model, const char* name) {
    ZEL_REQUIRE(model);
    for (ZelGroup* group = model->groups; group; group = group->next)
        if (std::strcmp(group->name, name) == 0) return group;
    return nullptr;
}

ZelGroup* zelAddGroupNamed(ZelModel* model, const char* name) {
    ZelGroup* group = zelGroupByName(model, name);
    return group ? group : zel::exitOnOutOfMemory("zelAddGroupNamed", [&] {
        return zel::newGroup(model, name);
    });
}

ZelGroup* zel::newGroup(ZelModel* model, const char* name) {
    ZelGroup* group = static_cast<ZelGroup*>(allocateZeroed(1, sizeof(ZelGroup)));
    try {
        group->name = copyString(name);
    } catch (...) {
        std::free(group);
        throw;
    }
    group->next = model->groups;
    model->groups = group;
    model->groupcount++;
    return group;
}

namespace zel {

const ZelTextureMap kNoTextureMap = {nullptr, nullptr, {0, 0, 0}, {1, 1, 1}, 0, 1.0f, nullptr, 0};

const MapField kMapFields[ZEL_MAP_COUNT] = {
    {"map_Ka", &ZelMaterial::ambientmap, nullptr, nullptr},
    {"map_Kd", &ZelMaterial::diffusemap, nullptr, nullptr},
    {"map_Ks", &ZelMaterial::specularmap, nullptr, nullptr},
    {"map_Ns", &ZelMaterial::shininessmap, nullptr, nullptr},
    {"map_d", &ZelMaterial::alphamap, nullptr, nullptr},
    {"map_bump", &ZelMaterial::bumpmap, "map_Bump", "bump"},
    {"map_Ke", &ZelMaterial::emissionmap, nullptr, nullptr},
    {"norm", &ZelMaterial::normalmap, nullptr, nullptr},
    {"disp", &ZelMaterial::displacementmap, nullptr, nullptr},
    {"decal", &ZelMaterial::decalmap, nullptr, nullptr},
    {"refl", &ZelMaterial::reflectionmap, nullptr, nullptr},
    {"map_Pr", &ZelMaterial::roughnessmap, nullptr, nullptr},
    {"map_Pm", &ZelMaterial::metallicmap, nullptr, nullptr},
    {"map_Ps", &ZelMaterial::sheenmap, nullptr, nullptr},
};

const NumberField kPbrFields[7] = {
    {"Pr", &ZelMaterial::roughness},
    {"Pm", &ZelMaterial::metallic},
    {"Ps", &ZelMaterial::sheen},
    {"Pc", &ZelMaterial::clearcoat},
    {"Pcr", &ZelMaterial::clearcoatroughness},
    {"aniso", &ZelMaterial::anisotropy},
    {"anisor", &ZelMaterial::anisotropyrotation},
};

std::array<ZelTextureMap*, ZEL_MAP_COUNT> textureMaps(ZelMaterial& m) {
    std::array<ZelTextureMap*, ZEL_MAP_COUNT> maps;
    for (uint32_t k = 0; k < ZEL_MAP_COUNT; k++) maps[k] = &(m.*kMapFields[k].field);
    return maps;
}

std::array<const ZelTextureMap*, ZEL_MAP_COUNT> textureMaps(const ZelMaterial& m) {
    std::array<const ZelTextureMap*, ZEL_MAP_COUNT> maps;
    for (uint32_t k = 0; k < ZEL_MAP_COUNT; k++) maps[k] = &(m.*kMapFields[k].field);
    return maps;
}

void freeTextureMap(ZelTextureMap* map) {
    std::free(map->name);
    std::free(map->path);
    std::free(map->type);
    *map = kNoTextureMap;
}

void freeMaterials(ZelMaterial* materials, uint32_t count) {
    if (!materials) return;
    for (uint32_t i = 0; i < count; i++) {
        std::free(materials[i].name);
        for (ZelTextureMap* map : textureMaps(materials[i])) freeTextureMap(map);
        for (uint32_t k = 0; k < materials[i].statementcount; k++)
            std::free(materials[i].statements[k]);
        std::free(materials[i].statements);
    }
    std::free(materials);
}

ZelMaterial* copyMaterials(const ZelMaterial* materials, uint32_t count) {
    ZelMaterial* copy = static_cast<ZelMaterial*>(allocateZeroed(count, sizeof(ZelMaterial)));
    uint32_t made = 0;
    try {
        for (; made < count; made++) {
            const ZelMaterial& from = materials[made];
            ZelMaterial& to = copy[made];
            to = from;
            to.name = nullptr;
            for (ZelTextureMap* map : textureMaps(to)) map->name = map->path = map->type = nullptr;
            to.statements = nullptr;
            to.statementcount = 0;
            to.name = copyString(from.name);
            auto source = textureMaps(from);
            auto target = textureMaps(to);
            for (size_t k = 0; k < target.size(); k++) {
                if (source[k]->name) target[k]->name = copyString(source[k]->name);
                if (source[k]->path) target[k]->path = copyString(source[k]->path);
                if (source[k]->type) target[k]->type = copyString(source[k]->type);
            }
            if (from.statementcount) {
                to.statements =
                    static_cast<char**>(allocateZeroed(from.statementcount, sizeof(char*)));
                to.statementcount = from.statementcount;
                for (uint32_t k = 0; k < from.statementcount; k++)
                    to.statements[k] = copyString(from.statements[k]);
            }
        }
    } catch (...) {
        freeMaterials(copy, made + 1);
        throw;
    }
    return copy;
}

}  // namespace zel

uint32_t zelFindMaterial(ZelModel* model, const char* name) {
    for (uint32_t i = 0; i < model->materialcount; i++)
        if (std::strcmp(model->materials[i].name, name) == 0) return i;
    zel::exitOnOutOfMemory("zelFindMaterial",
                           [&] { std::fputs(zel::materialNotFound(name).c_str(), stdout); });
    return 0;
}

std::string zel::materialNotFound(const char* name) {
    return std::string("zelFindMaterial():  can't find material \"") + name + "\".\n";
}

void zelFreeModel(ZelModel* model) {
    ZEL_REQUIRE(model);
    std::free(model->path);
    std::free(model->mtllib);
    std::free(model->vertices);
    std::free(model->normals);
    std::free(model->texcoords);
    std::free(model->facetnorms);
    std::free(model->triangles);
    std::free(model->colors);
    std::free(model->smoothinggroups);
    zel::freeMaterials(model->materials, model->materialcount);
    while (model->groups) {
        ZelGroup* group = model->groups;
        model->groups = group->next;
        std::free(group->name);
        std::free(group->triangleidx);
        zel::freeShapes(group);
        std::free(group);
    }
    std::free(model);
}

std::string zel::dirName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return std::string(path, slash ? static_cast<size_t>(slash - path) + 1 : 0);
}

char* zelDirName(const char* path) {
    return zel::exitOnOutOfMemory("zelDirName",
                                  [&] { return zel::copyString(zel::dirName(path).c_str()); });
}

const char* zelMapKeyword(uint32_t index) {
    return index < ZEL_MAP_COUNT ? zel::kMapFields[index].keyword : nullptr;
}

ZelTextureMap* zelMaterialMap(ZelMaterial* material, uint32_t index) {
    ZEL_REQUIRE(material);
    return index < ZEL_MAP_COUNT ? &(material->*zel::kMapFields[index].field) : nullptr;
}
