#include "ZevTypeInfo.h"

std::int32_t TypeInfoCounter = 0;

TZevTypeInfo::TZevTypeInfo(const char* className) : name(className), number(TypeInfoCounter++) {}

namespace {

struct TCollisionTypeRecords {
    TZevTypeInfo records[ZevCollisionTypeCount] = {
        TZevTypeInfo("TZevBBoxTree"),    TZevTypeInfo("TZevFaceBox"),      TZevTypeInfo("TZevFaceBoxVec"),
        TZevTypeInfo("TZevFaceBoxVecT"), TZevTypeInfo("TZevEdgeBoxVecT"),  TZevTypeInfo("TZevPointBoxVecT"),
        TZevTypeInfo("TZevFMCTTree"),    TZevTypeInfo("TZevLandCTree"),    TZevTypeInfo("TZevGameChara"),
    };
};

// Array elements are constructed in index order, so the numbers follow the enumeration.
TCollisionTypeRecords& Records()
{
    static TCollisionTypeRecords records;
    return records;
}

} // namespace

std::atomic<TZevTypeInfo*> ZevCollisionTypeRecords{nullptr};

TZevTypeInfo* ZevMakeCollisionTypeRecords()
{
    TZevTypeInfo* records = Records().records;
    ZevCollisionTypeRecords.store(records, std::memory_order_relaxed);
    return records;
}

void ZevTypeInfoInit()
{
    ZevMakeCollisionTypeRecords();
}

void ZevSetCollisionKinds()
{
    TZevTypeInfo* records = Records().records;
    records[ZevTypeBBoxTree].kind = 0;
    records[ZevTypeFaceBoxVecT].kind = 1;
    records[ZevTypeFaceBoxVecT].vertexCount = 3;
    records[ZevTypeEdgeBoxVecT].kind = 2;
    records[ZevTypeEdgeBoxVecT].vertexCount = 2;
    records[ZevTypePointBoxVecT].kind = 3;
    records[ZevTypePointBoxVecT].vertexCount = 1;
}
