// The contact pass of the world step: contact records become contact links (or keep or drop the link of their
// pair), then every contact link is re-tested against its two primitives; the contact preparation pass, whose
// stick test decides whether a contact point stays anchored on its face or slides.
#pragma once

#include <cstddef>
#include <vector>

class TZevContactLink;
class TZevPhscs2World;

// Makes, keeps and drops contact links for the contact records of the collision space, then re-tests every
// contact link.
void ZevContactPass(TZevPhscs2World* world);
// Re-tests one contact link against its two primitives: Keep and Active set when the contact still holds,
// otherwise Active cleared and RetestNeeded set.
void ZevRetestContactLink(TZevPhscs2World* world, TZevContactLink* link);
// ZevRetestContactLink for each of `n` links, spread over the world's worker threads when it has them: a re-test
// writes only its own link (its records and sub-contacts), so the order does not matter.
void ZevRetestContactLinks(TZevPhscs2World* world, TZevContactLink* const* links, std::size_t n);
// Every contact link of the world, in list order, in an array kept by the calling thread.
const std::vector<TZevContactLink*>& ZevContactLinkArray(TZevPhscs2World* world);
// Every contact link starts the iteration's force work: zero force, the world's step coefficient, its first
// re-test when new, and the stick test.
void ZevContactPreparePass(TZevPhscs2World* world);
// Whether the contact point stays anchored (sets RetestNeeded when it slides); false for a link that no longer
// holds.
bool ZevStickTest(TZevContactLink* link, float springScale, float staticScale);
