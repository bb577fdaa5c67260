// A plain stdio OBJ/MTL reader, written as directly as the reading rules read: fscanf for words,
// integers and floats, fgets for the rest of a line, two scans over the open file. It is slow and
// meant to be obviously right: the differential tests and the reader benchmark compare the
// library's fast reader against it.
//
// It is only an oracle for input inside the dialect: lines shorter than 128 characters (line end
// included), words shorter than 128, face indices that are valid and positive, LF or CR LF line
// ends. Like the library it strips a CR before the LF of a group name. It checks nothing else.
// Beyond the colours and shininess of a library it reads "d", "Tr" and texture maps written without
// options. It keeps "l" lines, "p" points, "s" smoothing groups and, under ZEL_LOAD_POLYGONS, the
// faces as written; under ZEL_LOAD_CONCAVE_POLYGONS it cuts each face of four corners or more with
// the library's own cutter (tested on its own), so what it checks there is which faces are cut and
// that their triangles stay where the fan put them.
#pragma once

#include "zel.h"

namespace zeltest {

// Reads the OBJ file at `path` (and the material libraries it names, looked up in the directory
// part of `path`) into a model laid out as zelReadOBJ lays it out: every array calloc'ed (slot 0
// and unassigned index triples zero), groups pushed at the head of the list with "default" created
// first. Free it with zelFreeModel. Returns null, printing nothing, when the OBJ file or a library
// cannot be opened, on a keyword "v?" other than "v", "vn", "vt", or when the two scans disagree
// (the filling scan meets more or fewer statements than the counting scan counted). `flags` are
// zelLoadOBJ's ZEL_LOAD_* flags: under them an "o" line is a group, and an unknown keyword or a
// library that cannot be opened is a warning printed on standard output as the counting scan
// meets it.
ZelModel* referenceReadOBJ(const char* path, uint32_t flags = 0);

}  // namespace zeltest
