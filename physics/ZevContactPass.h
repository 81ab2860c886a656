// The contact pass of the world step: contact records become contact links (or keep or drop the link of their
// pair), then every contact link is re-tested against its two primitives; the contact preparation pass, whose
// stick test decides whether a contact point stays anchored on its face or slides.
#pragma once

class TZevContactLink;
class TZevPhscs2World;

// Makes, keeps and drops contact links for the contact records of the collision space, then re-tests every
// contact link.
void ZevContactPass(TZevPhscs2World* world);
// Re-tests one contact link against its two primitives: Keep and Active set when the contact still holds,
// otherwise Active cleared and RetestNeeded set.
void ZevRetestContactLink(TZevPhscs2World* world, TZevContactLink* link);
// Every contact link starts the iteration's force work: zero force, the world's step coefficient, its first
// re-test when new, and the stick test.
void ZevContactPreparePass(TZevPhscs2World* world);
// Whether the contact point stays anchored (sets RetestNeeded when it slides); false for a link that no longer
// holds.
bool ZevStickTest(TZevContactLink* link, float springScale, float staticScale);
