// Writing of frames and their polygon meshes as DirectX text mesh files (.x), in the form that
// ZevLoadXFile and the format's other readers take.
#pragma once

class TZevFrame;
class TZevPolygonMesh;
class TZevStream;
class TZevVFrame;

// Writes the file: header line, the standard templates, a Header object, then the frame with its
// meshes and its child frames. False when the file cannot be opened, a frame is nested deeper than a
// reader follows, or a write fails (the debug log says which); an existing file is then left as it was.
bool ZevSaveXFile(TZevVFrame* frame, const char* fileName);
// One Frame object at `depth` tabs: its matrix, its plain polygon meshes and its child frames.
// False on a failed write or nesting beyond what the reader follows.
bool ZevWriteXFrame(TZevStream* stream, TZevVFrame* frame, int depth);
// One Mesh object at `depth` tabs: positions, faces, normals, texture coordinates and the mesh's
// material with its texture name. False on a failed write.
bool ZevSaveXMesh(TZevStream* stream, TZevPolygonMesh* mesh, int depth);
// n tab characters.
bool ZevWriteXIndent(TZevStream* stream, int n);
// The characters of the text without its terminator (nothing for null).
bool XFileWriteString(TZevStream* stream, const char* text);
// A float as the file holds it: six decimals ("%f") when they give the value back, else as many
// decimals as it takes. Non-finite values are written as 0. Returns the length written into `out`
// (at least 128 bytes).
int ZevXFormatFloat(float value, char* out);
