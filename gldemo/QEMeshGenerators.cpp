#include "QEMeshGenerators.h"

#include "QEBodyData.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct TMeshBuilder {
    std::vector<QE_Vertex> Vertices;
    std::vector<unsigned short> Indices;

    int AddVertex(float x, float y, float z, float nx, float ny, float nz, float u, float v)
    {
        Vertices.push_back(QE_Vertex{x, y, z, nx, ny, nz, u, v});
        return int(Vertices.size()) - 1;
    }
    void AddTriangle(int a, int b, int c)
    {
        Indices.push_back((unsigned short)a);
        Indices.push_back((unsigned short)b);
        Indices.push_back((unsigned short)c);
    }

    // MakeEmpty, the mesh, the shape's extra step, the inertia of the box and no spin: the steps of every shape.
    template <typename Extra> bool Apply(TQEBody_Data& body, Extra extra, bool keepBody = false)
    {
        std::vector<QE_Face> faces(Indices.size() / 3);
        for (size_t f = 0; f < faces.size(); ++f) {
            faces[f].indexCount = 3;
            faces[f].indices = &Indices[f * 3];
        }
        if (!(keepBody && body.GetHandle()) && !body.MakeEmpty())
            return false;
        body.SetCollisionVertices(int(Vertices.size()), Vertices.data(), int(faces.size()), faces.data());
        extra();
        body.SetInertiaFromBox();
        body.SetAngularVelocity(0.0f, 0.0f, 0.0f);
        return true;
    }
};

} // namespace

bool MakeBoxBody(TQEBody_Data& body, float x0, float y0, float z0, float x1, float y1, float z1)
{
    TMeshBuilder mesh;
    const float lo[3] = {x0, y0, z0};
    const float hi[3] = {x1, y1, z1};
    // One pass per axis: the two sides across it. (b, c) follow a cyclically, so e_b x e_c = e_a.
    for (int a = 0; a < 3; ++a) {
        const int b = (a + 1) % 3;
        const int c = (a + 2) % 3;
        for (int side = 0; side < 2; ++side) {
            const float sign = side ? 1.0f : -1.0f;
            // Corners in (b, c) parameters; the negative side runs the other way round.
            static const int up[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
            static const int down[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
            const int(*order)[2] = side ? up : down;
            int first = -1;
            for (int k = 0; k < 4; ++k) {
                float p[3];
                float n[3] = {0.0f, 0.0f, 0.0f};
                p[a] = side ? hi[a] : lo[a];
                p[b] = order[k][0] ? hi[b] : lo[b];
                p[c] = order[k][1] ? hi[c] : lo[c];
                n[a] = sign;
                const int index = mesh.AddVertex(p[0], p[1], p[2], n[0], n[1], n[2], float(order[k][0]),
                                                 float(order[k][1]));
                if (k == 0)
                    first = index;
            }
            mesh.AddTriangle(first, first + 1, first + 2);
            mesh.AddTriangle(first, first + 2, first + 3);
        }
    }
    return mesh.Apply(body, [] {});
}

bool MakeCylinderBody(TQEBody_Data& body, float length, float radius, int segments, const float* transform)
{
    if (segments < 3 || 4 * (segments + 1) > 65536)
        return false;
    TMeshBuilder mesh;
    const float h = length / 2.0f;
    const double step = 2.0 * 3.14159265358979323846 / segments;
    // Side: two rings with radial normals; the seam repeats the first column for its texture coordinate.
    const int side = int(mesh.Vertices.size());
    for (int ring = 0; ring < 2; ++ring) {
        for (int k = 0; k <= segments; ++k) {
            const float c = float(std::cos(step * k));
            const float s = float(std::sin(step * k));
            mesh.AddVertex(radius * c, radius * s, ring ? h : -h, c, s, 0.0f, float(k) / float(segments),
                           float(ring));
        }
    }
    for (int k = 0; k < segments; ++k) {
        const int b0 = side + k, b1 = side + k + 1;
        const int t0 = side + segments + 1 + k, t1 = t0 + 1;
        mesh.AddTriangle(b0, b1, t1);
        mesh.AddTriangle(b0, t1, t0);
    }
    // Caps: a centre and a rim each, normals along -z and +z.
    for (int cap = 0; cap < 2; ++cap) {
        const float z = cap ? h : -h;
        const float nz = cap ? 1.0f : -1.0f;
        const int centre = mesh.AddVertex(0.0f, 0.0f, z, 0.0f, 0.0f, nz, 0.5f, 0.5f);
        for (int k = 0; k < segments; ++k) {
            const float c = float(std::cos(step * k));
            const float s = float(std::sin(step * k));
            mesh.AddVertex(radius * c, radius * s, z, 0.0f, 0.0f, nz, 0.5f + 0.5f * c, 0.5f + 0.5f * s);
        }
        for (int k = 0; k < segments; ++k) {
            const int p0 = centre + 1 + k;
            const int p1 = centre + 1 + (k + 1) % segments;
            if (cap)
                mesh.AddTriangle(centre, p0, p1);
            else
                mesh.AddTriangle(centre, p1, p0);
        }
    }
    return mesh.Apply(body, [&] { body.SetTransform(transform); });
}

bool MakeGridBody(TQEBody_Data& body, int columns, int rows, TQEGridPointFunction pointFunction, void* userData,
                  bool keepBody, TQEGridBorder border)
{
    if (!pointFunction || columns < 2 || rows < 2 || long(columns) * long(rows) > 65536)
        return false;
    TMeshBuilder mesh;
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < columns; ++i) {
            float x = 0.0f, y = 0.0f, z = 0.0f;
            pointFunction(j, i, &x, &y, &z, userData);
            mesh.AddVertex(x, y, z, 0.0f, 1.0f, 0.0f, float(i) / float(columns - 1), float(j) / float(rows - 1));
        }
    }
    struct TPoint {
        float x, y, z;
    };
    // A point of the grid, or (extending) one beyond its border from the point function.
    auto at = [&](int j, int i) -> TPoint {
        if (j >= 0 && j < rows && i >= 0 && i < columns) {
            const QE_Vertex& v = mesh.Vertices[size_t(j) * columns + i];
            return {v.x, v.y, v.z};
        }
        TPoint p{0.0f, 0.0f, 0.0f};
        pointFunction(j, i, &p.x, &p.y, &p.z, userData);
        return p;
    };
    // The cross product of the differences to the four neighbours.
    auto normal = [&](int j, int i, float* c) {
        const TPoint n = at(j - 1, i), s = at(j + 1, i), e = at(j, i + 1), w = at(j, i - 1);
        const float a[3] = {n.x - s.x, n.y - s.y, n.z - s.z};
        const float b[3] = {e.x - w.x, e.y - w.y, e.z - w.z};
        c[0] = a[1] * b[2] - a[2] * b[1];
        c[1] = a[2] * b[0] - a[0] * b[2];
        c[2] = a[0] * b[1] - a[1] * b[0];
        const float sq = c[0] * c[0] + c[1] * c[1] + c[2] * c[2];
        if (sq > 0.0f) {
            const float len = std::sqrt(sq);
            c[0] /= len;
            c[1] /= len;
            c[2] /= len;
        }
    };
    // Border points take the normal of the nearest inner point unless the grid extends; a grid without inner
    // points keeps the upward normal then.
    const bool extend = border == TQEGridBorder::Extend;
    if (extend || (columns >= 3 && rows >= 3)) {
        std::vector<float> normals(size_t(columns) * rows * 3);
        for (int j = 0; j < rows; ++j) {
            for (int i = 0; i < columns; ++i) {
                const bool inner = j >= 1 && j + 1 < rows && i >= 1 && i + 1 < columns;
                if (extend || inner)
                    normal(j, i, &normals[(size_t(j) * columns + i) * 3]);
            }
        }
        for (int j = 0; j < rows; ++j) {
            for (int i = 0; i < columns; ++i) {
                const int sj = extend ? j : std::clamp(j, 1, rows - 2);
                const int si = extend ? i : std::clamp(i, 1, columns - 2);
                const float* n = &normals[(size_t(sj) * columns + si) * 3];
                QE_Vertex& v = mesh.Vertices[size_t(j) * columns + i];
                v.nx = n[0];
                v.ny = n[1];
                v.nz = n[2];
            }
        }
    }
    for (int j = 0; j + 1 < rows; ++j) {
        for (int i = 0; i + 1 < columns; ++i) {
            const int a = j * columns + i;
            mesh.AddTriangle(a, a + 1, a + columns + 1);
            mesh.AddTriangle(a, a + columns + 1, a + columns);
        }
    }
    return mesh.Apply(body, [] {}, keepBody);
}
