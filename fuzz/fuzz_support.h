// What the fuzz targets share: the check that stops a run, the split of an input into an OBJ text
// and the MTL library it may name, the model invariants every successful read must hold, and a
// memory-backed file so that the file readers can be run on the same bytes as the memory readers.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zel_internal.h"

// A failed check is a finding: it reports the expression and aborts, which libFuzzer records as a
// crash together with the input.
#define FUZZ_CHECK(expr) ((expr) ? (void)0 : fuzz::checkFailed(#expr, __FILE__, __LINE__))

namespace fuzz {

[[noreturn]] inline void checkFailed(const char* expr, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, expr);
    std::abort();
}

// The OBJ part of an input runs up to a line "#MTL"; what follows that line is the text of the
// material library, served under any name the OBJ part gives. Without the line, no library can be
// opened. The OBJ part keeps the line end before the separator.
struct ObjInput {
    std::string obj;
    std::string mtl;
    bool hasMtl = false;
};

inline ObjInput splitObjMtl(const uint8_t* data, size_t size) {
    static const char kSeparator[] = "#MTL\n";
    const size_t separatorLength = sizeof kSeparator - 1;
    std::string text(reinterpret_cast<const char*>(data), size);
    ObjInput input;
    size_t at = 0;
    for (;;) {
        at = text.find(kSeparator, at);
        if (at == std::string::npos) {
            input.obj = text;
            return input;
        }
        if (at == 0 || text[at - 1] == '\n') break;
        at++;
    }
    input.obj = text.substr(0, at);
    input.mtl = text.substr(at + separatorLength);
    input.hasMtl = true;
    return input;
}

// The library provider for an input: every name gets the MTL part (when there is one). Counts the
// requests, so a target can tell whether the OBJ text named a library at all.
struct MtlServer {
    const ObjInput* input;
    int requests = 0;

    zel::TextProvider provider() {
        return [this](const std::string&, std::string& text) {
            requests++;
            if (!input->hasMtl) return false;
            text = input->mtl;
            return true;
        };
    }
};

// A failure is one diagnostic line. The one exception: a library named by a line that holds no
// word is the rest of that line, line end included, and the can't-open line quotes that path.
inline void checkFailureLine(const zel::Status& status) {
    FUZZ_CHECK(!status.ok);
    const std::string& m = status.message;
    FUZZ_CHECK(!m.empty() && m.back() == '\n');
    FUZZ_CHECK(m.find('\n') == m.size() - 1 ||
               m.compare(0, 47, "zelReadMTL() failed: can't open material file \"") == 0);
}

// What the reader promises about every model it returns, whatever the input: each index a triangle
// holds names an element of its array (or is 0 where the face gave none), every triangle is in
// exactly one group, the group list ends with the built-in "default", every group's material
// exists, and every map has both a name and a path or neither. `flags` are the load's.
inline void checkModel(const ZelModel* m, uint32_t flags = 0) {
    FUZZ_CHECK(m != nullptr);
    FUZZ_CHECK(m->path != nullptr);
    FUZZ_CHECK(m->vertices != nullptr);
    FUZZ_CHECK(m->triangles != nullptr);
    FUZZ_CHECK((m->normalcount == 0) == (m->normals == nullptr));
    FUZZ_CHECK((m->texcoordcount == 0) == (m->texcoords == nullptr));
    FUZZ_CHECK(m->facetnormcount == 0 && m->facetnorms == nullptr);
    for (uint32_t t = 0; t < m->trianglecount; t++) {
        const ZelTriangle& tri = m->triangles[t];
        for (int k = 0; k < 3; k++) {
            FUZZ_CHECK(tri.vertexidx[k] >= 1 && tri.vertexidx[k] <= m->vertexcount);
            if (m->normals) FUZZ_CHECK(tri.normalidx[k] <= m->normalcount);
            if (m->texcoords) FUZZ_CHECK(tri.texcoordidx[k] <= m->texcoordcount);
        }
    }

    std::vector<uint8_t> seen(m->trianglecount, 0);
    uint64_t grouped = 0;
    uint32_t groups = 0;
    const ZelGroup* last = nullptr;
    for (const ZelGroup* g = m->groups; g; g = g->next) {
        FUZZ_CHECK(g->name != nullptr);
        FUZZ_CHECK(g->triangleidx != nullptr);
        FUZZ_CHECK(m->materialcount == 0 ? g->material == 0 : g->material < m->materialcount);
        for (uint32_t i = 0; i < g->trianglecount; i++) {
            FUZZ_CHECK(g->triangleidx[i] < m->trianglecount);
            FUZZ_CHECK(seen[g->triangleidx[i]] == 0);
            seen[g->triangleidx[i]] = 1;
        }
        grouped += g->trianglecount;
        groups++;
        last = g;
        // Shapes: corners name elements; each polygon's triangles lie in the list, in order.
        FUZZ_CHECK(g->polygoncount == 0 || (flags & ZEL_LOAD_POLYGONS));
        for (uint32_t p = 0; p < g->polygoncount; p++) {
            const uint32_t corners = g->polygonstart[p + 1] - g->polygonstart[p];
            FUZZ_CHECK(corners >= 3);
            FUZZ_CHECK(uint64_t{g->polygontriangle[p]} + corners - 2 <= g->trianglecount);
            FUZZ_CHECK(p == 0 || g->polygontriangle[p] >= g->polygontriangle[p - 1]);
            for (uint32_t i = g->polygonstart[p]; i < g->polygonstart[p + 1]; i++)
                FUZZ_CHECK(g->polygoncorners[i].vertexidx >= 1 &&
                           g->polygoncorners[i].vertexidx <= m->vertexcount);
        }
        for (uint32_t k = 0; k < g->linecount; k++) {
            FUZZ_CHECK(g->linestart[k + 1] - g->linestart[k] >= 2);
            for (uint32_t i = g->linestart[k]; i < g->linestart[k + 1]; i++)
                FUZZ_CHECK(g->linecorners[i].vertexidx >= 1 &&
                           g->linecorners[i].vertexidx <= m->vertexcount &&
                           g->linecorners[i].texcoordidx <= m->texcoordcount);
        }
        for (uint32_t i = 0; i < g->pointcount; i++)
            FUZZ_CHECK(g->pointidx[i] >= 1 && g->pointidx[i] <= m->vertexcount);
    }
    FUZZ_CHECK(groups == m->groupcount);
    FUZZ_CHECK(last != nullptr && std::strcmp(last->name, "default") == 0);
    FUZZ_CHECK(grouped == m->trianglecount);

    FUZZ_CHECK((m->materialcount == 0) == (m->materials == nullptr));
    // A library that cannot be read leaves a named library without materials, when that may be.
    if (m->mtllib == nullptr || !(flags & ZEL_LOAD_MISSING_LIBRARIES))
        FUZZ_CHECK((m->mtllib == nullptr) == (m->materials == nullptr));
    if (m->materials) {
        FUZZ_CHECK(std::strcmp(m->materials[0].name, "default") == 0);
        for (uint32_t i = 0; i < m->materialcount; i++) {
            const ZelMaterial& material = m->materials[i];
            FUZZ_CHECK(material.name != nullptr);
            FUZZ_CHECK(material.diffuse[3] == 1.0f && material.ambient[3] == 1.0f);
            for (uint32_t k = 0; k < ZEL_MAP_COUNT; k++) {
                const ZelTextureMap& map = *zelMaterialMap(const_cast<ZelMaterial*>(&material), k);
                FUZZ_CHECK((map.name == nullptr) == (map.path == nullptr));
                FUZZ_CHECK(map.name || !map.type);
            }
            // A kept statement is a line that starts with its keyword, is no comment, and has no
            // meaning the dialect gives: by first letters, no "n", "N", "Ka", "Kd" or "Ks".
            FUZZ_CHECK((material.statementcount == 0) == (material.statements == nullptr));
            for (uint32_t k = 0; k < material.statementcount; k++) {
                const char* line = material.statements[k];
                FUZZ_CHECK(line != nullptr && line[0] != '\0' && line[0] != '#');
                FUZZ_CHECK(!std::strchr(" \t\n\v\f\r", line[0]) && !std::strchr(line, '\n'));
                FUZZ_CHECK(std::strlen(line) == 0 || line[std::strlen(line) - 1] != '\r');
                if (flags & ZEL_LOAD_WHOLE_KEYWORDS) {
                    FUZZ_CHECK(std::strncmp(line, "newmtl", 6) != 0 ||
                               !std::strchr(" \t\v\f\r", line[6]) || line[6] == '\0');
                    FUZZ_CHECK(std::strcmp(line, "newmtl") != 0);
                } else {
                    FUZZ_CHECK(line[0] != 'n' && line[0] != 'N');
                    FUZZ_CHECK(line[0] != 'K' || !std::strchr("das", line[1]) || line[1] == '\0');
                }
            }
        }
    }
}

// An anonymous in-memory file, reachable by a path, holding the bytes given last.
class MemoryFile {
public:
    MemoryFile() {
        fd_ = memfd_create("zel-fuzz", 0);
        FUZZ_CHECK(fd_ >= 0);
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemoryFile() { close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    const char* set(const void* data, size_t size) {
        FUZZ_CHECK(ftruncate(fd_, 0) == 0);
        const char* p = static_cast<const char*>(data);
        for (size_t done = 0; done < size;) {
            ssize_t n = pwrite(fd_, p + done, size - done, static_cast<off_t>(done));
            FUZZ_CHECK(n > 0);
            done += static_cast<size_t>(n);
        }
        return path_.c_str();
    }
    const char* path() const { return path_.c_str(); }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace fuzz
