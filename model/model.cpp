// The model records: group and material lookup, deletion, and the directory part of a path.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zel_internal.h"

ZelGroup* zelGroupByName(ZelModel* model, const char* name) {
    ZEL_REQUIRE(model);
    for (ZelGroup* group = model->groups; group; group = group->next)
        if (std::strcmp(group->name, name) == 0) return group;
    return nullptr;
}

ZelGroup* zelAddGroupNamed(ZelModel* model, const char* name) {
    ZelGroup* group = zelGroupByName(model, name);
    return group ? group : zel::newGroup(model, name);
}

ZelGroup* zel::newGroup(ZelModel* model, const char* name) {
    ZelGroup* group = static_cast<ZelGroup*>(std::calloc(1, sizeof(ZelGroup)));
    group->name = strdup(name);
    group->next = model->groups;
    model->groups = group;
    model->groupcount++;
    return group;
}

uint32_t zelFindMaterial(ZelModel* model, const char* name) {
    for (uint32_t i = 0; i < model->materialcount; i++)
        if (std::strcmp(model->materials[i].name, name) == 0) return i;
    std::fputs(zel::materialNotFound(name).c_str(), stdout);
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
    if (model->materials) {
        for (uint32_t i = 0; i < model->materialcount; i++) std::free(model->materials[i].name);
        std::free(model->materials);
    }
    while (model->groups) {
        ZelGroup* group = model->groups;
        model->groups = group->next;
        std::free(group->name);
        std::free(group->triangleidx);
        std::free(group);
    }
    std::free(model);
}

char* zelDirName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    size_t length = slash ? static_cast<size_t>(slash - path) + 1 : 0;
    char* dir = static_cast<char*>(std::malloc(length + 1));
    std::memcpy(dir, path, length);
    dir[length] = '\0';
    return dir;
}
