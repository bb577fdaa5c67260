// The recording definitions of the GL, GLU and GLUT entry points (see gl_recorder.h). They carry
// the signatures of the system headers, so the code under test compiles against the real headers
// and links against these instead of Mesa and freeglut.
#include "gl_recorder.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/glut.h>

#include <map>
#include <vector>

namespace glrec {
namespace {

// One client-side array as glVertexPointer and its kin set it.
struct ClientArray {
    bool enabled = false;
    int size = 0;
    GLsizei stride = 0;
    const GLvoid* pointer = nullptr;
};

struct ClientState {
    ClientArray vertex, normal, texcoord, color;
    bool other = false;  // index or edge flag array enabled
};

struct Recorder {
    std::vector<std::string> calls;
    ClientState client;
    std::vector<ClientState> clientStack;
    std::map<unsigned, std::vector<std::string>> lists;
    unsigned nextList = 1;
    bool compiling = false;
    unsigned compilingList = 0;
};

Recorder& recorder() {
    static Recorder instance;
    return instance;
}

void record(const std::string& text) {
    Recorder& r = recorder();
    if (r.compiling)
        r.lists[r.compilingList].push_back(text);
    else
        r.calls.push_back(text);
}

std::string enumName(GLenum value) {
    switch (value) {
        case GL_TRIANGLES:
            return "GL_TRIANGLES";
        case GL_LINE_LOOP:
            return "GL_LINE_LOOP";
        case GL_COLOR_MATERIAL:
            return "GL_COLOR_MATERIAL";
        case GL_TEXTURE_2D:
            return "GL_TEXTURE_2D";
        case GL_DEPTH_TEST:
            return "GL_DEPTH_TEST";
        case GL_FRONT_AND_BACK:
            return "GL_FRONT_AND_BACK";
        case GL_AMBIENT:
            return "GL_AMBIENT";
        case GL_DIFFUSE:
            return "GL_DIFFUSE";
        case GL_SPECULAR:
            return "GL_SPECULAR";
        case GL_EMISSION:
            return "GL_EMISSION";
        case GL_BLEND:
            return "GL_BLEND";
        case GL_SRC_ALPHA:
            return "GL_SRC_ALPHA";
        case GL_ONE_MINUS_SRC_ALPHA:
            return "GL_ONE_MINUS_SRC_ALPHA";
        case GL_SHININESS:
            return "GL_SHININESS";
        case GL_MODELVIEW:
            return "GL_MODELVIEW";
        case GL_PROJECTION:
            return "GL_PROJECTION";
        case GL_COMPILE:
            return "GL_COMPILE";
        case GL_VERTEX_ARRAY:
            return "GL_VERTEX_ARRAY";
        case GL_NORMAL_ARRAY:
            return "GL_NORMAL_ARRAY";
        case GL_TEXTURE_COORD_ARRAY:
            return "GL_TEXTURE_COORD_ARRAY";
        case GL_COLOR_ARRAY:
            return "GL_COLOR_ARRAY";
        case GL_INDEX_ARRAY:
            return "GL_INDEX_ARRAY";
        case GL_EDGE_FLAG_ARRAY:
            return "GL_EDGE_FLAG_ARRAY";
        case GL_FLOAT:
            return "GL_FLOAT";
        case GL_UNSIGNED_INT:
            return "GL_UNSIGNED_INT";
        case GL_LINE:
            return "GL_LINE";
        case GL_FILL:
            return "GL_FILL";
        case GL_CULL_FACE:
            return "GL_CULL_FACE";
        case GL_POLYGON_OFFSET_LINE:
            return "GL_POLYGON_OFFSET_LINE";
        default: {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%X", value);
            return hex;
        }
    }
}

std::string bitsName(GLbitfield bits) {
    std::string text;
    const struct {
        GLbitfield bit;
        const char* name;
    } known[] = {
        {GL_COLOR_BUFFER_BIT, "GL_COLOR_BUFFER_BIT"},
        {GL_DEPTH_BUFFER_BIT, "GL_DEPTH_BUFFER_BIT"},
        {GL_STENCIL_BUFFER_BIT, "GL_STENCIL_BUFFER_BIT"},
        {GL_ACCUM_BUFFER_BIT, "GL_ACCUM_BUFFER_BIT"},
    };
    for (const auto& k : known) {
        if (!(bits & k.bit)) continue;
        if (!text.empty()) text += '|';
        text += k.name;
        bits &= ~k.bit;
    }
    if (bits || text.empty()) {
        if (!text.empty()) text += '|';
        text += arg(static_cast<unsigned>(bits));
    }
    return text;
}

std::string attribBitsName(GLbitfield bits) {
    if (bits == GL_CLIENT_VERTEX_ARRAY_BIT) return "GL_CLIENT_VERTEX_ARRAY_BIT";
    if (bits == GL_POLYGON_BIT) return "GL_POLYGON_BIT";
    if (bits == (GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT))
        return "GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT";
    return arg(static_cast<unsigned>(bits));
}

ClientArray* clientArray(GLenum array) {
    ClientState& c = recorder().client;
    switch (array) {
        case GL_VERTEX_ARRAY:
            return &c.vertex;
        case GL_NORMAL_ARRAY:
            return &c.normal;
        case GL_TEXTURE_COORD_ARRAY:
            return &c.texcoord;
        case GL_COLOR_ARRAY:
            return &c.color;
        default:
            return nullptr;
    }
}

// "{x, y, z}" of element `index` of a float array.
std::string element(const ClientArray& a, uint32_t index) {
    const GLsizei stride = a.stride ? a.stride : static_cast<GLsizei>(a.size * sizeof(float));
    const float* v = reinterpret_cast<const float*>(static_cast<const char*>(a.pointer) +
                                                    size_t{index} * stride);
    std::string text = "{";
    for (int i = 0; i < a.size; i++) text += (i ? ", " : "") + arg(v[i]);
    return text + "}";
}

}  // namespace

const std::vector<std::string>& calls() {
    return recorder().calls;
}

const std::vector<std::string>& listCalls(unsigned list) {
    return recorder().lists[list];
}

void clear() {
    recorder() = Recorder{};
}

std::string arg(float value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

std::string arg(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string arg(int value) {
    return std::to_string(value);
}

std::string arg(unsigned value) {
    return std::to_string(value);
}

std::string fv(std::initializer_list<float> values) {
    std::string text = "{";
    for (float v : values) {
        if (text.size() > 1) text += ", ";
        text += arg(v);
    }
    return text + "}";
}

}  // namespace glrec

using glrec::arg;
using glrec::call;
using glrec::fv;
using glrec::record;

extern "C" {

// ---- GL -----------------------------------------------------------------------------------------

namespace {

// Primitive names apart from the other enums: GL_POINTS is 0, GL_LINES 1.
std::string primitiveName(GLenum mode) {
    switch (mode) {
        case GL_POINTS:
            return "GL_POINTS";
        case GL_LINES:
            return "GL_LINES";
        case GL_LINE_STRIP:
            return "GL_LINE_STRIP";
        default:
            return glrec::enumName(mode);
    }
}

}  // namespace

void GLAPIENTRY glBegin(GLenum mode) {
    record(call("glBegin", primitiveName(mode)));
}
void GLAPIENTRY glEnd(void) {
    record("glEnd()");
}
void GLAPIENTRY glVertex3fv(const GLfloat* v) {
    record(call("glVertex3fv", fv({v[0], v[1], v[2]})));
}
void GLAPIENTRY glNormal3fv(const GLfloat* v) {
    record(call("glNormal3fv", fv({v[0], v[1], v[2]})));
}
void GLAPIENTRY glTexCoord2fv(const GLfloat* v) {
    record(call("glTexCoord2fv", fv({v[0], v[1]})));
}
void GLAPIENTRY glColor3fv(const GLfloat* v) {
    record(call("glColor3fv", fv({v[0], v[1], v[2]})));
}
void GLAPIENTRY glColor3f(GLfloat r, GLfloat g, GLfloat b) {
    record(call("glColor3f", r, g, b));
}

void GLAPIENTRY glMaterialfv(GLenum face, GLenum pname, const GLfloat* params) {
    // Every parameter the library sends this way has four components.
    record(call("glMaterialfv", glrec::enumName(face), glrec::enumName(pname),
                fv({params[0], params[1], params[2], params[3]})));
}

void GLAPIENTRY glMaterialf(GLenum face, GLenum pname, GLfloat param) {
    record(call("glMaterialf", glrec::enumName(face), glrec::enumName(pname), param));
}

void GLAPIENTRY glBlendFunc(GLenum source, GLenum destination) {
    record(call("glBlendFunc", glrec::enumName(source), glrec::enumName(destination)));
}
void GLAPIENTRY glDepthMask(GLboolean flag) {
    record(call("glDepthMask", flag ? "GL_TRUE" : "GL_FALSE"));
}

void GLAPIENTRY glEnable(GLenum cap) {
    record(call("glEnable", glrec::enumName(cap)));
}
void GLAPIENTRY glDisable(GLenum cap) {
    record(call("glDisable", glrec::enumName(cap)));
}

GLuint GLAPIENTRY glGenLists(GLsizei range) {
    glrec::Recorder& r = glrec::recorder();
    const GLuint first = r.nextList;
    r.nextList += static_cast<GLuint>(range);
    record(call("glGenLists", static_cast<int>(range)));
    return first;
}

void GLAPIENTRY glNewList(GLuint list, GLenum mode) {
    record(call("glNewList", static_cast<unsigned>(list), glrec::enumName(mode)));
    glrec::Recorder& r = glrec::recorder();
    r.compiling = true;
    r.compilingList = list;
    r.lists[list].clear();
}

void GLAPIENTRY glEndList(void) {
    glrec::recorder().compiling = false;
    record("glEndList()");
}

void GLAPIENTRY glCallList(GLuint list) {
    record(call("glCallList", static_cast<unsigned>(list)));
}

void GLAPIENTRY glClear(GLbitfield mask) {
    record(call("glClear", glrec::bitsName(mask)));
}
void GLAPIENTRY glMatrixMode(GLenum mode) {
    record(call("glMatrixMode", glrec::enumName(mode)));
}
void GLAPIENTRY glLoadIdentity(void) {
    record("glLoadIdentity()");
}
void GLAPIENTRY glPushMatrix(void) {
    record("glPushMatrix()");
}
void GLAPIENTRY glPopMatrix(void) {
    record("glPopMatrix()");
}
void GLAPIENTRY glFlush(void) {
    record("glFlush()");
}

void GLAPIENTRY glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    record(call("glRotatef", angle, x, y, z));
}

void GLAPIENTRY glScalef(GLfloat x, GLfloat y, GLfloat z) {
    record(call("glScalef", x, y, z));
}

void GLAPIENTRY glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    record(call("glTranslatef", x, y, z));
}

void GLAPIENTRY glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    record(call("glViewport", static_cast<int>(x), static_cast<int>(y), static_cast<int>(width),
                static_cast<int>(height)));
}

void GLAPIENTRY glEnableClientState(GLenum array) {
    record(call("glEnableClientState", glrec::enumName(array)));
    if (glrec::ClientArray* a = glrec::clientArray(array))
        a->enabled = true;
    else
        glrec::recorder().client.other = true;
}

void GLAPIENTRY glDisableClientState(GLenum array) {
    record(call("glDisableClientState", glrec::enumName(array)));
    if (glrec::ClientArray* a = glrec::clientArray(array))
        a->enabled = false;
    else
        glrec::recorder().client.other = false;
}

// The pointers themselves are not recorded (they differ from run to run): glDrawElements records
// what they point at instead.
void GLAPIENTRY glVertexPointer(GLint size, GLenum type, GLsizei stride, const GLvoid* pointer) {
    record(call("glVertexPointer", static_cast<int>(size), glrec::enumName(type),
                static_cast<int>(stride)));
    glrec::recorder().client.vertex = {glrec::recorder().client.vertex.enabled, size, stride,
                                       pointer};
}

void GLAPIENTRY glNormalPointer(GLenum type, GLsizei stride, const GLvoid* pointer) {
    record(call("glNormalPointer", glrec::enumName(type), static_cast<int>(stride)));
    glrec::recorder().client.normal = {glrec::recorder().client.normal.enabled, 3, stride, pointer};
}

void GLAPIENTRY glTexCoordPointer(GLint size, GLenum type, GLsizei stride, const GLvoid* pointer) {
    record(call("glTexCoordPointer", static_cast<int>(size), glrec::enumName(type),
                static_cast<int>(stride)));
    glrec::recorder().client.texcoord = {glrec::recorder().client.texcoord.enabled, size, stride,
                                         pointer};
}

void GLAPIENTRY glColorPointer(GLint size, GLenum type, GLsizei stride, const GLvoid* pointer) {
    record(call("glColorPointer", static_cast<int>(size), glrec::enumName(type),
                static_cast<int>(stride)));
    glrec::recorder().client.color = {glrec::recorder().client.color.enabled, size, stride,
                                      pointer};
}

void GLAPIENTRY glBindTexture(GLenum target, GLuint texture) {
    record(call("glBindTexture", glrec::enumName(target), static_cast<unsigned>(texture)));
}

// Recorded with its indices, then one line per index with what the enabled arrays hold there:
// "> v{1, 2, 3} n{0, 0, 1} t{0.5, 0.5}". Only 32-bit indices and float arrays are taken.
void GLAPIENTRY glDrawElements(GLenum mode, GLsizei count, GLenum type, const GLvoid* indices) {
    const uint32_t* index = static_cast<const uint32_t*>(indices);
    std::string list = "{";
    for (GLsizei i = 0; i < count; i++) list += (i ? ", " : "") + arg(index[i]);
    record(call("glDrawElements", primitiveName(mode), static_cast<int>(count),
                glrec::enumName(type), list + "}"));
    const glrec::ClientState& c = glrec::recorder().client;
    if (c.other) record("> another array is enabled");
    for (GLsizei i = 0; i < count; i++) {
        std::string corner = ">";
        if (c.vertex.enabled) corner += " v" + glrec::element(c.vertex, index[i]);
        if (c.normal.enabled) corner += " n" + glrec::element(c.normal, index[i]);
        if (c.texcoord.enabled) corner += " t" + glrec::element(c.texcoord, index[i]);
        if (c.color.enabled) corner += " c" + glrec::element(c.color, index[i]);
        record(corner);
    }
}

void GLAPIENTRY glPushClientAttrib(GLbitfield mask) {
    record(call("glPushClientAttrib", glrec::attribBitsName(mask)));
    glrec::recorder().clientStack.push_back(glrec::recorder().client);
}

void GLAPIENTRY glPopClientAttrib(void) {
    record("glPopClientAttrib()");
    glrec::Recorder& r = glrec::recorder();
    if (!r.clientStack.empty()) {
        r.client = r.clientStack.back();
        r.clientStack.pop_back();
    }
}

void GLAPIENTRY glPushAttrib(GLbitfield mask) {
    record(call("glPushAttrib", glrec::attribBitsName(mask)));
}
void GLAPIENTRY glPopAttrib(void) {
    record("glPopAttrib()");
}
void GLAPIENTRY glPolygonMode(GLenum face, GLenum mode) {
    record(call("glPolygonMode", glrec::enumName(face), glrec::enumName(mode)));
}

// ---- GLU ----------------------------------------------------------------------------------------

void GLAPIENTRY gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX,
                          GLdouble centerY, GLdouble centerZ, GLdouble upX, GLdouble upY,
                          GLdouble upZ) {
    record(call("gluLookAt", eyeX, eyeY, eyeZ, centerX, centerY, centerZ, upX, upY, upZ));
}

void GLAPIENTRY gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    record(call("gluPerspective", fovy, aspect, zNear, zFar));
}

// ---- GLUT ---------------------------------------------------------------------------------------

void FGAPIENTRY glutPostRedisplay(void) {
    record("glutPostRedisplay()");
}
void FGAPIENTRY glutSwapBuffers(void) {
    record("glutSwapBuffers()");
}

}  // extern "C"
