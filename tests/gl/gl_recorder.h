// A recording stand-in for OpenGL, GLU and GLUT: every entry point the library's drawing and the
// scene call is defined here and appends one line describing the call and its exact arguments.
//
// A call reads like C: "glTranslatef(0, 1.54999995, 6)". Floats are printed with 9 significant
// digits and doubles with 17, so equal text means bit-equal values (signed zeros included); enums
// are printed by name ("glBegin(GL_LINE_LOOP)"). Calls made between glNewList and glEndList go into
// that list instead of the main record, as GL_COMPILE does. The client array state is tracked
// (glPushClientAttrib saves it, glPopClientAttrib restores it): glDrawElements is recorded with its
// indices, followed by one line per index with what each enabled array holds there, for example
// "> v{1, 2, 3} n{0, 0, 1} t{0.5, 0.5}".
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace glrec {

// Every call recorded since the last clear(), outside display lists.
const std::vector<std::string>& calls();
// The calls compiled into display list `list`.
const std::vector<std::string>& listCalls(unsigned list);
// Forgets every recorded call and list and restarts list names at 1.
void clear();

// Text of one argument, formatted as the recorder formats it.
std::string arg(float value);
std::string arg(double value);
std::string arg(int value);
std::string arg(unsigned value);
inline std::string arg(const char* text) {
    return text;
}
inline std::string arg(const std::string& text) {
    return text;
}
// A float array argument: "{1, 2, 3}".
std::string fv(std::initializer_list<float> values);

// Text of a call, for building expected sequences: call("glColor3f", 0.0f, 0.0f, 1.0f).
template <class... Args>
std::string call(const char* name, const Args&... args) {
    std::string text = name;
    text += '(';
    bool first = true;
    ((text += (first ? "" : ", ") + arg(args), first = false), ...);
    text += ')';
    return text;
}

}  // namespace glrec
