// Box, cylinder and grid meshes built directly into a body: the generated vertices and faces become the body's
// visual and collision mesh. Faces wind so that (P1 - P0) x (P2 - P0) points out of the solid, as the engine's
// contact normals expect.
#ifndef QE_MESH_GENERATORS_H
#define QE_MESH_GENERATORS_H

class TQEBody_Data;

// Grid point of row `row` and column `column`.
typedef void (*TQEGridPointFunction)(int row, int column, float* x, float* y, float* z, void* userData);

bool MakeBoxBody(TQEBody_Data& body, float x0, float y0, float z0, float x1, float y1, float z1);
// A closed cylinder along z, centred on the origin, then moved by `transform` (16 floats, row vectors).
bool MakeCylinderBody(TQEBody_Data& body, float length, float radius, int segments, const float* transform);
// Normals of the border points: those of the nearest inner point, or (Extend) from the points one row or column
// beyond the grid, for a point function defined there too (a height field that goes on).
enum class TQEGridBorder { NearestInner, Extend };

// columns x rows points; false when the grid has fewer than 2 x 2 points or more than 16-bit indices can address.
// keepBody: a body the holder has already gets the new mesh in place of being replaced by a new body.
bool MakeGridBody(TQEBody_Data& body, int columns, int rows, TQEGridPointFunction pointFunction, void* userData,
                  bool keepBody = false, TQEGridBorder border = TQEGridBorder::NearestInner);

#endif
