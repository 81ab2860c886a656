// Loading of DirectX text mesh files (.x) into frames and polygon meshes.
#pragma once

#include <cstddef>

class TZevFrame;

// Reads a .x text file into a new frame tree: the file's top-level Frame when it is the only top-level
// object; otherwise a new unnamed frame that holds every top-level Mesh as its visual and every top-level
// Frame as its child. Meshes keep the normals written in the file (zero when it has none, after vertex
// splitting, or when damaged normals were dropped with a line in the debug log): callers that draw or
// collide with them compute normals themselves. Null when the file cannot be read or is empty, and, with
// the reason in the debug log, when it is binary, damaged or cut off, or holds no mesh; nothing is left
// allocated then. The caller owns the result.
TZevFrame* ZevLoadXFile(const char* fileName);
// The same from text in memory.
TZevFrame* ZevReadXText(const char* text, size_t size);
