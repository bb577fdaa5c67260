// The recording definitions of the GL, GLU and GLUT entry points (see gl_recorder.h). They carry
// the signatures of the system headers, so the code under test compiles against the real headers
// and links against these instead of Mesa and freeglut.
#include "gl_recorder.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/glut.h>

#include <map>

namespace glrec {
namespace {

struct Recorder {
    std::vector<std::string> calls;
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
        case GL_SHININESS:
            return "GL_SHININESS";
        case GL_MODELVIEW:
            return "GL_MODELVIEW";
        case GL_PROJECTION:
            return "GL_PROJECTION";
        case GL_COMPILE:
            return "GL_COMPILE";
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

void GLAPIENTRY glBegin(GLenum mode) {
    record(call("glBegin", glrec::enumName(mode)));
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
