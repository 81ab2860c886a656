#include "Zev3DRenderer.h"

#include "ZevFrame.h"
#include "ZevMesh.h"
#include "ZevMeshData.h"
#include "ZevMeshPools.h"

#include <algorithm>
#include <cmath>

TZev3DRenderer::TZev3DRenderer()
    : ProjectionMatrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, -1, 0),
      // Until the device supplies its own, the camera setup divides by the default perspective scales of 1.
      DeviceProjection(ProjectionMatrix), ViewMatrix(),
      ViewSettings{1, 0, 0, 0, 1, 0, 1, 0, 0, 0, 1, 0, 50, -50, 50, 1}, ViewPlaneScale(1.0f), Light0Direction(),
      FrustumNormals{}, CameraPosition(), Additive(0), Translucent(0), ShadowVolume(0), StencilShadows(0),
      FogEnable(0), FogStart(10.0f), FogEnd(200.0f), BackgroundColor(0)
{
}

TZev3DRenderer::~TZev3DRenderer()
{
    ZevDetachTextures(this, false);
}

void TZev3DRenderer::SetProjectionMatrix(const float* elements)
{
    ProjectionMatrix = TZevMatrix(elements);
}

void TZev3DRenderer::DrawLineList(TZevList* list)
{
    if (!list)
        return;
    for (const TZevLineRecord* line : ZevItems<const TZevLineRecord>(*list)) {
        if (!line)
            continue;
        const TZevPoint2D points[2] = {{ZevFloatToInt(line->x1 + 0.5f), ZevFloatToInt(line->y1 + 0.5f)},
                                       {ZevFloatToInt(line->x2 + 0.5f), ZevFloatToInt(line->y2 + 0.5f)}};
        DrawPolylineColor(line->Color, points, 2);
    }
}

void TZev3DRenderer::DrawPolylineColor(std::uint32_t, const TZevPoint2D* points, int count)
{
    DrawPolyline(points, count);
}

bool TZev3DRenderer::ProjectToScreen(const TZevVector& camera, TZevPoint2D* out)
{
    if (!(camera.z > 1.0f))
        return false;
    const float width = static_cast<float>(GetWidth());
    const float height = static_cast<float>(GetHeight());
    const float scale = height / camera.z;
    out->x = ZevFloatToInt(scale * camera.x + width / 2.0f);
    out->y = ZevFloatToInt(height - (scale * camera.y + height / 2.0f));
    return true;
}

void TZev3DRenderer::DrawLines3D(const TZevMatrix& matrix, TZevList* segments)
{
    if (!segments)
        return;
    TZevMatrix toCamera;
    ZevMatMultiply(toCamera, matrix, ViewMatrix);
    for (const TZevSegmentRecord* s : ZevItems<const TZevSegmentRecord>(*segments)) {
        if (!s)
            continue;
        TZevVector a, b;
        ZevVecTransform(a, TZevVector(s->x1, s->y1, s->z1), toCamera);
        ZevVecTransform(b, TZevVector(s->x2, s->y2, s->z2), toCamera);
        TZevPoint2D points[2];
        if (ProjectToScreen(a, &points[0]) && ProjectToScreen(b, &points[1]))
            DrawPolyline(points, 2);
    }
}

void TZev3DRenderer::DrawMeshEdges(const TZevMatrix& matrix, const TZevMeshData* mesh, bool lit)
{
    if (!mesh || !mesh->VertexArray || !mesh->Faces)
        return;
    TZevMatrix toCamera;
    ZevMatMultiply(toCamera, matrix, ViewMatrix);
    const std::int32_t faceCount = std::min(mesh->FaceCount, mesh->FaceCapacity);
    const std::int32_t vertexCount = std::min(mesh->VertexCount, mesh->VertexCapacity);
    auto position = [&](std::uint16_t index) {
        if (lit) {
            const TZevLVertex& v = mesh->LVertices()[index];
            return TZevVector(v.x, v.y, v.z);
        }
        const TZevVertex& v = mesh->Vertices()[index];
        return TZevVector(v.x, v.y, v.z);
    };
    for (std::int32_t f = 0; f < faceCount; ++f) {
        const TZevMeshFace& face = mesh->Faces[f];
        if (!face.Indices)
            continue;
        // The outline of the face, edge by edge; an edge with an end at or before the near distance is left out.
        for (std::uint32_t i = 0; i < face.Count; ++i) {
            const std::uint16_t ia = face.Indices[i];
            const std::uint16_t ib = face.Indices[(i + 1) % face.Count];
            if (ia >= vertexCount || ib >= vertexCount)
                continue;
            TZevVector a, b;
            ZevVecTransform(a, position(ia), toCamera);
            ZevVecTransform(b, position(ib), toCamera);
            TZevPoint2D points[2];
            if (ProjectToScreen(a, &points[0]) && ProjectToScreen(b, &points[1]))
                DrawPolyline(points, 2);
        }
    }
}

void TZev3DRenderer::DrawMaterialMesh(TZevTextureName*, const TZevMaterial*, const TZevMatrix& matrix,
                                      TZevMeshData* mesh)
{
    DrawMeshEdges(matrix, mesh, false);
}

void TZev3DRenderer::DrawMesh(TZevTextureName*, const TZevMatrix& matrix, TZevMeshData* mesh)
{
    DrawMeshEdges(matrix, mesh, true);
}

void TZev3DRenderer::AddRenderItem(TZevVFrame* frame, TZevVMesh* visual)
{
    DeferredList.Add(frame);
    DeferredList.Add(visual);
}

void TZev3DRenderer::GetFirstRenderItem(TZevVFrame** frame, TZevVMesh** visual)
{
    TZevListNode* first = DeferredList.First();
    const bool havePair = first != DeferredList.End() && first->next != DeferredList.End();
    if (frame)
        *frame = havePair ? ZevItem<TZevVFrame>(first) : nullptr;
    if (visual)
        *visual = havePair ? ZevItem<TZevVMesh>(first->next) : nullptr;
}

void TZev3DRenderer::SetCameraFrame(TZevVFrame* root, TZevVFrame* cameraFrame)
{
    TZevMatrix world;
    if (cameraFrame)
        cameraFrame->GetWorldMatrix(&world);
    // A camera matrix that cannot be inverted leaves the view at the identity.
    (void)ZevMatInverse(ViewMatrix, world);

    float a = 1.0f / DeviceProjection.m[0];
    float b = 1.0f / DeviceProjection.m[5];
    if (!std::isfinite(a))
        a = 1.0f;
    if (!std::isfinite(b))
        b = 1.0f;
    const TZevVector cameraCorners[4] = {{-a, -b, 1}, {-a, b, 1}, {a, b, 1}, {a, -b, 1}};
    TZevVector corners[4];
    for (int i = 0; i < 4; ++i)
        ZevVecRotate(corners[i], cameraCorners[i], world);
    TZevVector axis;
    ZevVecRotate(axis, TZevVector(0, 0, 1), world);
    for (int i = 0; i < 4; ++i) {
        TZevVector n;
        ZevVecCross(n, corners[i], corners[(i + 1) % 4]);
        n.Normalize();
        // Outward: the view axis lies inside the pyramid (a mirrored camera matrix would turn the products in).
        if (ZevVecDot(n, axis) > 0.0f)
            n = TZevVector(-n.x, -n.y, -n.z);
        FrustumNormals[i] = n;
    }
    CameraPosition = TZevVector(world.m[12], world.m[13], world.m[14]);

    DeferredList.Clear();
    if (root)
        RenderVisual(root, IdentityMatrix.m);
    RenderDeferredVisuals();
}

void TZev3DRenderer::RenderVisual(TZevVFrame* root, const float* matrix)
{
    if (root)
        root->Traverse(this, TZevMatrix(matrix));
}

int TZev3DRenderer::IsBoxVisible(const TZevMatrix& matrix, const TZevBox& box)
{
    TZevMatrix inverse;
    if (!ZevMatInverse(inverse, matrix))
        return 1; // a flattened frame: nothing to decide against, so draw it
    TZevVector eye;
    ZevVecTransform(eye, CameraPosition, inverse);
    const float* m = matrix.m;
    for (const TZevVector& n : FrustumNormals) {
        // The plane's normal in the box's frame: turned by the transpose of the frame's 3x3 part, which keeps the
        // side of every point also under a scaling that differs per axis.
        const TZevVector local(m[0] * n.x + m[1] * n.y + m[2] * n.z, m[4] * n.x + m[5] * n.y + m[6] * n.z,
                               m[8] * n.x + m[9] * n.y + m[10] * n.z);
        const TZevVector nearCorner(local.x > 0 ? box.Min.x : box.Max.x, local.y > 0 ? box.Min.y : box.Max.y,
                                    local.z > 0 ? box.Min.z : box.Max.z);
        const TZevVector farCorner(local.x > 0 ? box.Max.x : box.Min.x, local.y > 0 ? box.Max.y : box.Min.y,
                                   local.z > 0 ? box.Max.z : box.Min.z);
        TZevVector toNear, toFar;
        ZevVecSub(toNear, nearCorner, eye);
        ZevVecSub(toFar, farCorner, eye);
        if (ZevVecDot(toNear, local) > 0.0f && ZevVecDot(toFar, local) > 0.0f)
            return 0;
    }
    return 1;
}

TZevTextureName* TZev3DRenderer::LoadTextureByName(const char* name)
{
    TZevTextureName* entry = GetTextureName(name);
    // Loaded by this renderer already, the device is not asked again; other renderers keep their own textures.
    if (ZevRendererTexture(this, entry) == 0) {
        // Only this caller's reference goes: meshes that hold the entry keep it.
        entry->Release();
        return nullptr;
    }
    return entry;
}

void TZev3DRenderer::ReleaseAllTextures()
{
    ZevDetachTextures(this, true);
}

void TZev3DRenderer::ScreenToWorld(const TZevVector&, TZevVector* direction, TZevVector* origin)
{
    if (direction)
        *direction = TZevVector();
    if (origin)
        *origin = TZevVector();
}

void TZev3DRenderer::SetLight(int, const TZevLight*) {}

void TZev3DRenderer::RenderDeferredVisuals()
{
    // Pairs that a visual adds while it draws are drawn in the same pass; a lone last entry is no pair.
    for (TZevListNode* n = DeferredList.First(); n != DeferredList.End() && n->next != DeferredList.End();
         n = n->next->next) {
        TZevVMesh* visual = ZevItem<TZevVMesh>(n->next);
        if (visual)
            visual->Render(this, ZevItem<TZevVFrame>(n));
    }
}
