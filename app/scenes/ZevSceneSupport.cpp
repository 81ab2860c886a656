#include "ZevSceneSupport.h"

#include "ZevBBoxTree.h"
#include "ZevBitmap.h"
#include "ZevBodyUtil.h"
#include "ZevFrame.h"
#include "ZevJoint.h"
#include "ZevRigidLink.h"
#include "ZevSaveFile.h"
#include "ZevLandCTree.h"
#include "ZevLight.h"
#include "ZevLineMesh.h"
#include "ZevPhscs2World.h"
#include "ZevQueuedRenderer.h"

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

TZevFrame* ZevNewFrame()
{
    TZevLSObj* made = CreateObjectByName("TZevFrame");
    TZevFrame* frame = dynamic_cast<TZevFrame*>(made);
    if (frame == nullptr) {
        if (made != nullptr)
            made->Release();
        ZevDebugLog("scene: the frame class is missing\n");
    }
    return frame;
}

void ZevSetSceneLight(TZevQueuedRenderer* renderer, float diffuse, float ambient, float specular)
{
    if (renderer == nullptr)
        return;
    TZevLight light;
    for (int i = 0; i < 3; ++i) {
        light.Diffuse[i] = diffuse;
        light.Ambient[i] = ambient;
        light.Specular[i] = specular;
    }
    light.Diffuse[3] = light.Ambient[3] = light.Specular[3] = 1.0f;
    TZevVector d(1.0f, -1.0f, 1.0f);
    d.Normalize();
    light.Position[0] = light.Direction[0] = d.x;
    light.Position[1] = light.Direction[1] = d.y;
    light.Position[2] = light.Direction[2] = d.z;
    renderer->SetLight(0, &light);
}

TZevMatrix3 ZevBoxInertiaOf(TZevCollisionMeshObj* body, float mass)
{
    body->Refit();
    const auto& b = body->box;
    TZevMatrix3 tensor;
    CalcBoxInertiaTensor(tensor, b.Max.x - b.Min.x, b.Max.y - b.Min.y, b.Max.z - b.Min.z, mass);
    return tensor;
}

void ZevSetLandMaterial(TZevLandCTree* land)
{
    if (land == nullptr || land->landMesh == nullptr)
        return;
    TZevMaterial& m = land->landMesh->Material;
    for (int i = 0; i < 3; ++i) {
        m.Diffuse[i] = 0.9f;
        m.Ambient[i] = 0.1f;
        m.Specular[i] = 0.0f;
    }
    m.Diffuse[3] = m.Ambient[3] = 1.0f;
    m.Specular[3] = 0.0f;
    m.Power = 1.0f;
}

TZevLandCTree* ZevBuildLand(const char* heightMapFile, const char* textureFile, const TZevMatrix& placement,
                            float uStep, float vStep, std::int32_t w, std::int32_t h, std::int32_t useOctree)
{
    TZevLSObj* made = CreateObjectByName("TZevBitmap");
    TZevBitmap* bitmap = dynamic_cast<TZevBitmap*>(made);
    if (bitmap == nullptr) {
        if (made != nullptr)
            made->Release();
        return nullptr;
    }
    TZevLandCTree* land = nullptr;
    if (heightMapFile != nullptr && bitmap->LoadBmp(heightMapFile)) {
        land = new TZevLandCTree;
        land->useOctree = useOctree;
        if (land->SetUp(bitmap, placement, uStep, vStep, w, h)) {
            land->heightMapFile = heightMapFile;
            if (textureFile != nullptr) {
                land->landMesh->SetTextureName(textureFile);
                land->textureFile = textureFile;
            }
            land->AdvanceStep(0.0f);
            land->AdvanceStep(0.0f);
            land->SetRebuildFlag();
        } else {
            delete land;
            land = nullptr;
        }
    }
    bitmap->Release();
    if (land == nullptr) {
        const std::string line = std::string("land: cannot make a land from \"") +
                                 (heightMapFile != nullptr ? heightMapFile : "") + "\"\n";
        ZevDebugLog(line.c_str());
    }
    return land;
}

void ZevAddToScene(TZevCollisionMeshObj* body, TZevPhscs2World* world, TZevFrame* rootFrame)
{
    if (body == nullptr)
        return;
    // Into the world first: moving a tree between the space's roots may take its frame out of the frame tree.
    if (world != nullptr)
        world->AddBody(body);
    if (rootFrame != nullptr && body->visualFrame != nullptr && body->visualFrame->GetParent() != rootFrame)
        rootFrame->AddChild(body->visualFrame);
}

TZevJoint* ZevJoinChildHere(TZevGameChara* parent, TZevGameChara* child, const TZevJointSettings& settings)
{
    TZevMatrix inverse, relative;
    TZevJoint* joint = nullptr;
    if (ZevMatInverse(inverse, parent->MainPart->Matrix)) {
        ZevMatMultiply(relative, child->MainPart->Matrix, inverse);
        joint = parent->AttachChildByJoint(child, settings, relative);
    }
    if (joint == nullptr)
        ZevDebugLog("scene: a joint cannot be made\n");
    return joint;
}

void ZevSetJointAngle(TZevJoint* joint, TZevGameChara* body, float angle)
{
    if (joint == nullptr)
        return;
    SetJointAngle(joint, body, angle);
    for (TZevRigidLink* link : joint->Links) {
        if (link != nullptr) {
            link->Advance();
            link->Advance();
        }
    }
}

void ZevCollectWorldBodies(TZevPhscs2World* world, TZevList& out, bool withChildren)
{
    if (world == nullptr)
        return;
    for (TZevCTree* t = world->activeRoot->FirstChildTree(); t != nullptr; t = t->NextSiblingTree()) {
        TZevCollisionMeshObj* body = t->IsMeshTree() ? dynamic_cast<TZevCollisionMeshObj*>(t) : nullptr;
        if (body == nullptr)
            continue;
        if (withChildren)
            CollectBodyTree(body, out);
        else
            out.Add(body);
    }
}

void ZevDrawBoxEdges(TZevLineMesh* lines, const TZevVector& min, const TZevVector& max, std::uint32_t color)
{
    if (lines == nullptr || min.x > max.x)
        return;
    const TZevVector& a = min;
    const TZevVector& b = max;
    const TZevVector c[8] = {{a.x, a.y, a.z}, {b.x, a.y, a.z}, {b.x, b.y, a.z}, {a.x, b.y, a.z},
                             {a.x, a.y, b.z}, {b.x, a.y, b.z}, {b.x, b.y, b.z}, {a.x, b.y, b.z}};
    static const int edges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                     {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    for (const auto& e : edges)
        lines->AddLine(color, c[e[0]], c[e[1]]);
}

void ZevTreeDepthRange(const TZevBoxNode* root, int* minDepth, int* maxDepth)
{
    int lo = 9999999;
    int hi = 0;
    if (root != nullptr) {
        // Wide and deep trees are walked with a stack of their own, never by recursion.
        std::vector<std::pair<const TZevBoxNode*, int>> stack{{root, 0}};
        while (!stack.empty()) {
            auto [node, depth] = stack.back();
            stack.pop_back();
            const TZevBoxNode* child = node->FirstChild();
            if (child == nullptr) {
                lo = depth < lo ? depth : lo;
                hi = depth > hi ? depth : hi;
            }
            for (; child != nullptr; child = child->NextSibling())
                stack.emplace_back(child, depth + 1);
        }
    } else {
        lo = 0;
    }
    if (minDepth)
        *minDepth = lo;
    if (maxDepth)
        *maxDepth = hi;
}

namespace {

// The 8-bit value of a channel of a pixel.
std::uint8_t ChannelByte(std::uint32_t pixel, std::uint32_t mask)
{
    if (mask == 0)
        return 0;
    const std::uint32_t value = (pixel & mask) >> __builtin_ctz(mask);
    const std::uint32_t top = mask >> __builtin_ctz(mask);
    return static_cast<std::uint8_t>(top == 0xFFu ? value : value * 255u / top);
}

} // namespace

bool ZevSaveBmp24(TZevVBitmap* bitmap, const char* path)
{
    const std::int32_t width = bitmap != nullptr ? bitmap->GetWidth() : 0;
    const std::int32_t height = bitmap != nullptr ? bitmap->GetHeight() : 0;
    if (width <= 0 || height <= 0)
        return false;
    const std::uint32_t pitch = (static_cast<std::uint32_t>(width) * 3u + 3u) & ~3u;
    const std::uint32_t pixels = pitch * static_cast<std::uint32_t>(height);
    std::vector<std::uint8_t> image(54 + pixels, 0);
    auto put16 = [&](std::size_t at, std::uint32_t v) {
        image[at] = static_cast<std::uint8_t>(v);
        image[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        put16(at, v & 0xFFFFu);
        put16(at + 2, v >> 16);
    };
    image[0] = 'B';
    image[1] = 'M';
    put32(2, 54 + pixels);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    put16(26, 1);
    put16(28, 24);
    put32(34, pixels);
    put32(38, 2835); // 72 dots per inch
    put32(42, 2835);
    if (bitmap->GetBits() == nullptr)
        return false;
    {
        TZevBitmapAccess access(bitmap);
        for (std::int32_t y = 0; y < height; ++y) {
            std::uint8_t* row = image.data() + 54 + pitch * static_cast<std::uint32_t>(y);
            for (std::int32_t x = 0; x < width; ++x) {
                const std::uint32_t v = access.ReadPixel(x, y);
                row[3 * x] = ChannelByte(v, access.blueMask);
                row[3 * x + 1] = ChannelByte(v, access.greenMask);
                row[3 * x + 2] = ChannelByte(v, access.redMask);
            }
        }
    }
    TZevSaveFile file;
    if (!file.Open(path, "wb"))
        return false;
    if (file.Write(image.data(), static_cast<std::int32_t>(image.size())) != 1 || !file.Commit()) {
        ZevDebugLog((std::string("bmp: cannot write \"") + path + "\"\n").c_str());
        return false;
    }
    return true;
}

std::string ZevFormatFloat(double value)
{
    // Room for every digit of the largest double: a measurement is never cut short.
    char text[DBL_MAX_10_EXP + 16];
    if (!std::isfinite(value))
        return std::isnan(value) ? "nan" : value < 0.0 ? "-inf" : "inf";
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    return std::string(text, end.ptr);
}

bool ZevMakeFolders(const char* path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (std::filesystem::is_directory(path, error))
        return true;
    const std::string line = std::string("folder: cannot create \"") + path + "\"\n";
    ZevDebugLog(line.c_str());
    return false;
}
