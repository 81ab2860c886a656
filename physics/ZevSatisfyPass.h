// The satisfied test that ends the world step's retry loop and the satisfy pass that corrects contacts that are
// too deep and rigid links that are too long by repeated trial steps, in one of three modes; and the rigid-link
// length pass that both read.
#pragma once

#include <cstdint>

class TZevContactLink;
class TZevPhscs2World;

// How a satisfy pass corrects. The world's CollisionSatisfyMode chooses: 2, 1, any other value the line search.
enum class EZevSatisfyMode {
    LineSearch, // a trial correction scaled by its own size, then a backtracking search on its factor (0)
    MarkScaled, // each correction scaled by the number of corrections its parts took (1)
    PairShared, // the corrections of the items of one body pair share out one correction (2)
};
EZevSatisfyMode ZevSatisfyModeOf(std::int32_t mode);

// Every rigid link measures its length error and direction.
void ZevLinkLengthPass(TZevPhscs2World* world);
// Deeper than half the permitted interference distance?
bool ZevContactTooDeep(const TZevPhscs2World* world, const TZevContactLink* link);
// No contact link too deep and, while the link part is in force in retry iteration r, no rigid link too long.
bool ZevContactsSatisfied(TZevPhscs2World* world, std::int32_t r);
// One satisfy pass of retry iteration r with the sub-step h. The pass splits into islands (parts joined by contact
// and rigid links; fixed parts join none), which iterate on their own, side by side on the world's worker threads,
// and are merged in a fixed order: the results do not depend on the number of threads.
void ZevSatisfyPass(TZevPhscs2World* world, float h, std::int32_t r);
