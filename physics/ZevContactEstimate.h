// Contact estimates and the contact re-test.
//
// Before every collision pass the collision links of every body due for a rebuild are brought up to date: each
// face link gets the unit normal of its triangle and the thresholds of two of its edges, each point link a vertex
// normal and an inset point (the vertex moved into the body by a distance derived from the world's
// InterferencePermitDistance), each edge link a threshold and the mean normal of its two faces; the corners of the
// body-attached boxes are placed from the point links. The re-test re-projects a contact link's point onto its
// face, or recomputes the closest points of its two edges, at the current positions.
#pragma once

#include <cstdint>

class TZevBoxNode;
class TZevContactLink;
class TZevPhscs2World;
class TZevXPhObj;

// Three walks over the body's linked leaves: face normals; point normals and inset points; face thresholds and
// edge links. The order carries data (points read face normals, the third walk reads both).
void ProcessBodyContacts(TZevPhscs2World* world, TZevXPhObj* body);
// The same with the interference permit distance given directly.
void ProcessBodyContacts(float permitDistance, TZevXPhObj* body);

// Each does nothing for a leaf without a collision link.
void EstimateFaceNormal(TZevBoxNode* leaf);
void EstimatePointNormal(float permitDistance, TZevBoxNode* leaf);
void EstimateFaceThresholds(float permitDistance, TZevBoxNode* leaf);
void EstimateEdgeLink(float permitDistance, TZevBoxNode* leaf);

// Brings the coordinates of the link's records, of the link (UV, DeltaUV) and of its sub-contacts to the current
// positions. Face against point: 0 when the point lies more than 0.0001 above the face along RecordA's normal, or
// when that distance is not a number; 1 otherwise (also when the system is singular, changing nothing). Edge
// against edge: always 1. 0 for a link without its two records.
std::int32_t RetestContact(TZevContactLink* link);
