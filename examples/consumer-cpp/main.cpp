// consumer_cpp: reads an OBJ file with the zel library, prints its counts and groups, then computes
// normals and texture coordinates and prints the counts again.
//
//     consumer_cpp [FILE.obj]
//
// Without an argument it writes a small model (a square pyramid) to consumer_cpp.obj in the current
// directory and reads that.
#include <zel.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

namespace {

// A model that frees itself.
struct ModelDeleter {
    void operator()(ZelModel* model) const { zelFreeModel(model); }
};
using ModelPtr = std::unique_ptr<ZelModel, ModelDeleter>;

std::string writeSample() {
    const std::string path = "consumer_cpp.obj";
    std::ofstream out(path);
    out << "v -1 0 -1\nv 1 0 -1\nv 1 0 1\nv -1 0 1\nv 0 1.5 0\n"
           "g base\nf 4 3 2 1\n"
           "g sides\nf 1 2 5\nf 2 3 5\nf 3 4 5\nf 4 1 5\n";
    return out ? path : std::string();
}

void printCounts(const char* when, const ZelModel& model) {
    std::printf(
        "%s: %u vertices, %u normals, %u texture coordinates, %u facet normals, "
        "%u triangles\n",
        when, model.vertexcount, model.normalcount, model.texcoordcount, model.facetnormcount,
        model.trianglecount);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : writeSample();
    if (path.empty()) {
        std::perror("consumer_cpp");
        return 1;
    }

    ModelPtr model(zelReadOBJ(path.c_str()));  // exits with status 1 if the file is unreadable
    printCounts(path.c_str(), *model);
    for (const ZelGroup* group = model->groups; group; group = group->next) {
        std::printf("  group \"%s\": %u triangles\n", group->name, group->trianglecount);
    }

    zelFitToUnitCube(model.get());
    zelComputeFacetNormals(model.get());
    zelVertexNormals(model.get(), 90.0f);
    zelPlanarTexCoords(model.get());
    printCounts("with normals and texture coordinates", *model);
    return 0;
}
