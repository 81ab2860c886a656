// Contact-link maker and the geometry of edge-edge contacts.
//
// The narrow phase leaves pairs of contact records that live for one collision pass. ZevCreateContactLink turns
// such a pair into a lasting contact link: the link takes both records over, records found on body-attached boxes
// are moved onto the mesh leaves the boxes stand for, the world's contact coefficients are copied in, the two
// bodies' pair record is registered, and the link is hooked into every list through which the world, the two
// bodies, the two primitives and the two dynamic objects find it. ZevBodyContactGeometry recomputes the normal and
// depth of an edge-edge contact each time it is re-tested.
#pragma once

#include "ZevContactLink.h"

#include <cstdint>

class TZevPhscs2World;

// Makes the contact link of the record pair (recordA, recordA->other); forceState is the initial state word of
// the contact force law. Null when the record has no partner. The caller lists the link in ContactLinks.
TZevContactLink* ZevCreateContactLink(TZevPhscs2World* world, TZevFMCTree_CFaceData* recordA, std::int32_t forceState);

// The end threshold of an edge leaf's collision link (0 for a leaf without one): within it of an end, an edge
// contact keeps one sub-contact.
float ZevEdgeEndThreshold(const TZevBoxNode* edge);
// Does the edge-edge contact of the link hold at the current positions? Orients the normal against the
// separation of the two contact points, requires both edges to be convex ridges, picks for each edge the adjacent
// face that faces the other body and remakes a sub-contact per edge measuring how deep the other edge's point lies
// below that face; one of the two is dropped when the contact lies near an end of its edges. 1 when it holds.
std::int32_t ZevBodyContactGeometry(TZevFMCTree_CFaceData* recordA, TZevFMCTree_CFaceData* recordB,
                                    TZevContactLink* link);
// The same for a link whose records are known to stand on edges (EdgeContact, as ZevCreateContactLink makes it):
// the re-test's call, which reads neither edge leaf to learn its class. `subsDropped` tells whether the run went
// as far as dropping the link's sub-contacts, which it then remakes with their points cleared.
std::int32_t ZevEdgeLinkGeometry(TZevFMCTree_CFaceData* recordA, TZevFMCTree_CFaceData* recordB,
                                 TZevContactLink* link, bool& subsDropped);
