// Loading of DirectX text mesh files (.x) into frames and polygon meshes.
#pragma once

#include <cstddef>

class TZevFrame;

// Reads a .x text file into a new frame tree: the file's top-level Frame (the last one when there are
// several), or, for a file whose content is a top-level Mesh, a new unnamed frame holding that mesh.
// Meshes keep the normals written in the file (zero when it has none, or after vertex splitting): callers
// that draw or collide with them compute normals themselves. Null when the file cannot be read, is empty,
// binary, damaged or cut off, or holds neither a Frame nor a Mesh; nothing is left allocated then. The
// caller owns the result.
TZevFrame* ZevLoadXFile(const char* fileName);
// The same from text in memory.
TZevFrame* ZevReadXText(const char* text, size_t size);
