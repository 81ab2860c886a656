// Reading of DirectX text mesh files (.x) into plain records.
//
// The text is tokenised and checked here, with no scene objects involved, so that a file that is cut
// off, binary, or whose counts do not match its data is refused before anything is built. ZevLoadXFile
// (ZevXFile.h) turns the records into frames and meshes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Vertices are never more than 16-bit indices can address.
inline constexpr uint32_t ZevXMaxVertices = 65536;
// Frames nest no deeper than this; deeper files are refused rather than walked.
inline constexpr int ZevXMaxFrameDepth = 256;

// The material of the last load, for material references that this file cannot resolve.
struct TZevXLastMaterial {
    float Values[13] = {};   // in TZevMaterial order
    std::string TextureName; // the whole name as read, directory and all
};
extern TZevXLastMaterial ZevXLastMaterial;

// The material a mesh ends up with.
struct TZevXMeshMaterial {
    bool Present = false;    // false: the mesh keeps its default material and no texture entry
    float Values[13] = {};   // TZevMaterial order
    std::string TextureName; // as written, directory and all; empty: the registry entry of the empty name
};

struct TZevXMeshRecord {
    std::string Name;
    uint32_t VertexCount = 0;
    std::vector<float> Vertices;       // 8 floats a vertex: position, normal, u, v
    std::vector<uint32_t> FaceCounts;  // corners of each face
    std::vector<uint16_t> FaceIndices; // all corners, face after face
    TZevXMeshMaterial Material;
};

struct TZevXFrameRecord {
    std::string Name;
    float Matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::vector<TZevXMeshRecord> Meshes;
    std::vector<TZevXFrameRecord> Children;
};

struct TZevXFileContents {
    bool HasRoot = false;  // a top-level Frame or Mesh was read
    bool RootMade = false; // the root is an unnamed frame made to hold the top-level meshes and frames
    TZevXFrameRecord Root;
    std::vector<std::string> Warnings; // what was dropped from a file that is read nonetheless, one line each
};

// Parses a whole .x text. Every top-level Frame and Mesh is kept: a single top-level Frame is the root,
// anything else is held by a new unnamed root (the meshes as its own, the frames as its children).
// Returns false, with a reason in error, for binary or compressed files, text that ends inside a block,
// counts or indices that do not match the data, vertex counts over ZevXMaxVertices, and files that hold
// no mesh at all. Normals whose faces name normals beyond their list are dropped with a warning. The
// last-material store is read and, on success only, updated.
bool ZevParseXText(const char* text, size_t size, TZevXFileContents& out, std::string& error);
