// The shapes a model keeps beside its triangles (polygons, lines, points, smoothing groups): the
// upkeep of the records through weld, flip and normals,
// smoothing-group normals, and the writer's ZEL_POLYGONS mode read back by another reader
// (tinyobjloader).
#include <gtest/gtest.h>
#include <tiny_obj_loader.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "hand_models.h"
#include "polygon.h"
#include "temp_dir.h"
#include "zel_internal.h"

namespace {

using zeltest::Corners;
using zeltest::handModel;
using zeltest::Vec3;

using Polygon = std::vector<ZelCorner>;

template <class T>
T* copyOf(const std::vector<T>& values) {
    T* out = static_cast<T*>(std::malloc((values.size() + 1) * sizeof(T)));
    std::copy(values.begin(), values.end(), out);
    return out;
}

// Records `shapes` as a group's polygons or lines: the offsets and the corners.
void record(const std::vector<Polygon>& shapes, uint32_t* count, uint32_t** start,
            ZelCorner** corners) {
    std::vector<uint32_t> offsets{0};
    std::vector<ZelCorner> all;
    for (const Polygon& shape : shapes) {
        all.insert(all.end(), shape.begin(), shape.end());
        offsets.push_back(static_cast<uint32_t>(all.size()));
    }
    *count = static_cast<uint32_t>(shapes.size());
    *start = copyOf(offsets);
    *corners = copyOf(all);
}

Polygon cornersOf(std::vector<uint32_t> vertices) {
    Polygon out;
    for (uint32_t v : vertices) out.push_back({v, v, 0});
    return out;
}

std::vector<Corners> fanOf(const std::vector<uint32_t>& v) {
    std::vector<Corners> fan;
    for (size_t i = 1; i + 1 < v.size(); i++) fan.push_back({v[0], v[i], v[i + 1]});
    return fan;
}

// An L (vertices 1-6, its fan as triangles 0-3), a square (7-10, triangles 4-5), a loose triangle
// (1 2 7, triangle 6), a line 11 12 13 with texture coordinates and one 13 11 without, and points
// 12 and 13, all in "default"; a texture coordinate per vertex, corners pointing at their
// vertex's; smoothing groups 1 for the L, 2 for the square, 0 for the loose triangle.
ZelModel* shapesModel() {
    const std::vector<Vec3> positions = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 3, 0},
                                         {0, 3, 0}, {5, 0, 0}, {6, 0, 0}, {6, 1, 0}, {5, 1, 0},
                                         {0, 0, 1}, {1, 0, 1}, {1, 1, 1}};
    const std::vector<uint32_t> l = {1, 2, 3, 4, 5, 6}, square = {7, 8, 9, 10};
    std::vector<Corners> triangles = fanOf(l);
    for (Corners c : fanOf(square)) triangles.push_back(c);
    triangles.push_back({1, 2, 7});
    ZelModel* model = handModel(positions, triangles);
    model->texcoordcount = model->vertexcount;
    model->texcoords = static_cast<float*>(std::calloc(2 * (model->vertexcount + 1), 4));
    for (uint32_t v = 1; v <= model->vertexcount; v++) model->texcoords[2 * v] = 0.125f * v;
    for (uint32_t t = 0; t < model->trianglecount; t++)
        for (int k = 0; k < 3; k++)
            model->triangles[t].texcoordidx[k] = model->triangles[t].vertexidx[k];
    ZelGroup* group = model->groups;
    record({cornersOf(l), cornersOf(square)}, &group->polygoncount, &group->polygonstart,
           &group->polygoncorners);
    group->polygontriangle = copyOf(std::vector<uint32_t>{0, 4});
    record({cornersOf({11, 12, 13}), {{13, 0, 0}, {11, 0, 0}}}, &group->linecount,
           &group->linestart, &group->linecorners);
    group->pointcount = 2;
    group->pointidx = copyOf(std::vector<uint32_t>{12, 13});
    model->smoothinggroups = copyOf(std::vector<uint32_t>{1, 1, 1, 1, 2, 2, 0});
    return model;
}

std::vector<uint32_t> polygonVertices(const ZelGroup* group, uint32_t p) {
    std::vector<uint32_t> out;
    for (uint32_t i = group->polygonstart[p]; i < group->polygonstart[p + 1]; i++)
        out.push_back(group->polygoncorners[i].vertexidx);
    return out;
}

TEST(Shapes, WeldFlipAndNewCornerIndicesKeepTheRecordsTrue) {
    ZelModel* model = shapesModel();
    // Vertex 11 moves onto vertex 1: after the weld it is 1, and later vertices move down one.
    model->vertices[3 * 11 + 2] = 0;
    zelWeldVertices(model, 1e-4f);
    const ZelGroup* group = model->groups;
    EXPECT_EQ(polygonVertices(group, 1), (std::vector<uint32_t>{7, 8, 9, 10}));
    EXPECT_EQ(group->linecorners[0].vertexidx, 1u);
    EXPECT_EQ(group->linecorners[1].vertexidx, 11u);
    EXPECT_EQ(group->pointidx[1], 12u);

    zelFlipWinding(model);
    EXPECT_EQ(polygonVertices(group, 0), (std::vector<uint32_t>{1, 6, 5, 4, 3, 2}));
    zelFlipWinding(model);
    EXPECT_EQ(polygonVertices(group, 0), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));

    // New normal and texture indices reach the polygon corners; lines follow the coordinates.
    zelComputeFacetNormals(model);
    zelVertexNormals(model, 90);
    zelSphereTexCoords(model);
    for (uint32_t p = 0; p < group->polygoncount; p++) {
        const uint32_t t = group->triangleidx[group->polygontriangle[p]];
        EXPECT_EQ(group->polygoncorners[group->polygonstart[p]].normalidx,
                  model->triangles[t].normalidx[0]);
        EXPECT_EQ(group->polygoncorners[group->polygonstart[p]].texcoordidx,
                  model->triangles[t].texcoordidx[0]);
    }
    EXPECT_EQ(group->linecorners[0].texcoordidx, 0u);
    zelPlanarTexCoords(model);
    EXPECT_EQ(group->linecorners[1].texcoordidx, group->linecorners[1].vertexidx);
    zelFreeModel(model);
}

// A unit cube of 12 triangles, two per face; `groups` gives each face's smoothing group (or none).
ZelModel* cube(const std::vector<uint32_t>& groups) {
    const std::vector<Vec3> positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                         {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const uint32_t faces[6][4] = {{1, 4, 3, 2}, {5, 6, 7, 8}, {1, 2, 6, 5},
                                  {2, 3, 7, 6}, {3, 4, 8, 7}, {4, 1, 5, 8}};
    std::vector<Corners> triangles;
    for (const auto& f : faces) {
        triangles.push_back({f[0], f[1], f[2]});
        triangles.push_back({f[0], f[2], f[3]});
    }
    ZelModel* model = handModel(positions, triangles);
    if (!groups.empty()) {
        model->smoothinggroups = static_cast<uint32_t*>(std::malloc(12 * sizeof(uint32_t)));
        for (int t = 0; t < 12; t++) model->smoothinggroups[t] = groups[t / 2];
    }
    zelComputeFacetNormals(model);
    return model;
}

TEST(Shapes, SmoothingGroupNormalsShareOnlyWithinANonZeroGroup) {
    struct Case {
        const char* name;
        std::vector<uint32_t> groups;  // per cube face; empty: no smoothing groups
        float angle;
        uint32_t normals;  // normals made
    };
    const std::vector<Case> cases = {
        {"no groups: as zelVertexNormals", {}, 180, 8},
        {"one group", {1, 1, 1, 1, 1, 1}, 180, 8},
        {"one group, edges sharper than the angle", {1, 1, 1, 1, 1, 1}, 60, 32},
        {"each face its own group", {1, 2, 3, 4, 5, 6}, 180, 24},
        {"all off", {0, 0, 0, 0, 0, 0}, 180, 36},
        {"two groups of three and two faces", {1, 1, 1, 2, 2, 1}, 180, 14},
    };
    for (const Case& c : cases) {
        ZelModel* model = cube(c.groups);
        zelSmoothingGroupNormals(model, c.angle);
        EXPECT_EQ(model->normalcount, c.normals) << c.name;
        // No normal is shared across groups, nor by a corner of group 0.
        std::vector<int> owner(model->normalcount + 1, -1);
        for (uint32_t t = 0; t < model->trianglecount; t++) {
            const int group = c.groups.empty() ? 1 : static_cast<int>(c.groups[t / 2]);
            for (int k = 0; k < 3; k++) {
                int& seen = owner[model->triangles[t].normalidx[k]];
                EXPECT_TRUE(seen == -1 || (seen == group && group != 0)) << c.name;
                seen = group;
            }
        }
        ZelModel* plain = cube({});
        zelVertexNormals(plain, c.angle);
        const bool same = plain->normalcount == model->normalcount &&
                          std::memcmp(plain->normals, model->normals,
                                      3 * (plain->normalcount + 1) * sizeof(float)) == 0;
        const bool oneGroup =
            c.groups.empty() ||
            (c.groups[0] != 0 && std::count(c.groups.begin(), c.groups.end(), c.groups[0]) == 6);
        EXPECT_EQ(same, oneGroup) << c.name << ": as zelVertexNormals";
        zelFreeModel(plain);
        zelFreeModel(model);
    }
}

TEST(Shapes, PolygonModeWritesWhatAnotherReaderReadsAsTheRecordedShapes) {
    struct Case {
        const char* name;
        uint32_t mode;
        bool smoothing;
    };
    const std::vector<Case> cases = {
        {"positions", ZEL_POLYGONS, true},
        {"texture coordinates", ZEL_POLYGONS | ZEL_TEXTURE, true},
        {"no smoothing groups", ZEL_POLYGONS | ZEL_TEXTURE, false},
    };
    for (const Case& c : cases) {
        ZelModel* model = shapesModel();
        if (!c.smoothing) {
            std::free(model->smoothinggroups);
            model->smoothinggroups = nullptr;
        }
        zeltest::TempDir dir;
        const std::string path = dir.file("shapes.obj");
        zelWriteOBJ(model, path.c_str(), c.mode);

        tinyobj::attrib_t attrib;
        std::vector<tinyobj::shape_t> shapes;
        std::vector<tinyobj::material_t> materials;
        std::string warn, err;
        ASSERT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, path.c_str(),
                                     nullptr, false))
            << c.name << ": " << err;
        ASSERT_EQ(shapes.size(), 1u) << c.name;
        const tinyobj::shape_t& shape = shapes[0];
        const bool texture = c.mode & ZEL_TEXTURE;
        EXPECT_EQ(std::vector<int>(shape.mesh.num_face_vertices.begin(),
                                   shape.mesh.num_face_vertices.end()),
                  (std::vector<int>{6, 4, 3}))
            << c.name;
        std::vector<int> faces, faceTexcoords;
        for (const tinyobj::index_t& index : shape.mesh.indices) {
            faces.push_back(index.vertex_index + 1);
            faceTexcoords.push_back(index.texcoord_index + 1);
        }
        EXPECT_EQ(faces, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1, 2, 7})) << c.name;
        EXPECT_EQ(faceTexcoords, texture ? faces : std::vector<int>(13, 0)) << c.name;
        const std::vector<unsigned int> smoothing =
            c.smoothing ? std::vector<unsigned int>{1, 2, 0} : std::vector<unsigned int>(3, 0);
        EXPECT_EQ(shape.mesh.smoothing_group_ids, smoothing) << c.name;
        std::vector<int> lines, lineTexcoords;
        for (const tinyobj::index_t& index : shape.lines.indices) {
            lines.push_back(index.vertex_index + 1);
            lineTexcoords.push_back(index.texcoord_index + 1);
        }
        EXPECT_EQ(shape.lines.num_line_vertices, (std::vector<int>{3, 2})) << c.name;
        EXPECT_EQ(lines, (std::vector<int>{11, 12, 13, 13, 11})) << c.name;
        const std::vector<int> expected =
            texture ? std::vector<int>{11, 12, 13, 0, 0} : std::vector<int>(5, 0);
        EXPECT_EQ(lineTexcoords, expected) << c.name;
        std::vector<int> points;
        for (const tinyobj::index_t& index : shape.points.indices)
            points.push_back(index.vertex_index + 1);
        EXPECT_EQ(points, (std::vector<int>{12, 13})) << c.name;
        zelFreeModel(model);
    }
}

}  // namespace
