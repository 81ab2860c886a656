// Geometry blocks: sizing, normals, transformation, the box and sphere makers, the collision clean-up
// pass, and the record pools.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "ZevDebug.h"
#include "ZevMeshData.h"
#include "ZevMeshPools.h"

namespace {

void SetVertices(TZevMeshData& d, std::initializer_list<TZevVector> points)
{
    ASSERT_TRUE(d.SetVertexCount(int32_t(points.size())));
    for (const TZevVector& p : points) {
        TZevVertex& v = d.Vertices()[d.VertexCount++];
        v.x = p.x;
        v.y = p.y;
        v.z = p.z;
    }
}

void SetFaces(TZevMeshData& d, std::initializer_list<std::initializer_list<uint16_t>> faces)
{
    ASSERT_TRUE(d.SetFaceCount(int32_t(faces.size())));
    for (const auto& f : faces) {
        ASSERT_TRUE(d.SetFaceIndexCount(d.FaceCount, uint32_t(f.size())));
        uint32_t k = 0;
        for (uint16_t i : f)
            d.Faces[d.FaceCount].Indices[k++] = i;
        ++d.FaceCount;
    }
}

// The log file lies in the working directory, which other test programs share when tests run in parallel (and
// their start-up empties it): a test that reads the log works in a directory of its own.
class PrivateDirectory {
public:
    PrivateDirectory()
        : previous(std::filesystem::current_path())
    {
        char name[] = "/tmp/qe_meshlog_XXXXXX";
        if (mkdtemp(name))
            path = name;
        std::filesystem::current_path(path.empty() ? previous : std::filesystem::path(path));
    }
    ~PrivateDirectory()
    {
        std::filesystem::current_path(previous);
        if (!path.empty())
            std::filesystem::remove_all(path);
    }

private:
    std::filesystem::path previous;
    std::string path;
};

std::string DebugLogText()
{
    std::ifstream in("ZevDebug.txt");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

size_t Occurrences(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(MeshData, SizingRefusesWhatIndicesCannotAddress)
{
    TZevMeshData d;
    EXPECT_TRUE(d.SetVertexCount(65536));
    EXPECT_EQ(d.VertexCapacity, 65536);
    EXPECT_EQ(d.VertexCount, 0);
    EXPECT_EQ(d.Vertices()[65535].x, 0.0f); // zeroed, never garbage
    EXPECT_FALSE(d.SetVertexCount(65537));
    EXPECT_EQ(d.VertexArray, nullptr);
    EXPECT_EQ(d.VertexCapacity, 0);
    EXPECT_FALSE(d.SetVertexCount(-1));
    EXPECT_FALSE(d.SetFaceCount(-1));
    EXPECT_TRUE(d.SetFaceCount(2));
    EXPECT_FALSE(d.SetFaceIndexCount(2, 3));
    EXPECT_TRUE(d.SetFaceIndexCount(1, 3));
    EXPECT_EQ(d.Faces[1].Count, 3u);
    EXPECT_EQ(d.Faces[0].Indices, nullptr);
}

TEST(MeshData, NormalsOfATriangleAndOfDegenerateFaces)
{
    TZevMeshData d;
    SetVertices(d, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}});
    SetFaces(d, {{0, 1, 2}, {3, 3, 0}}); // the second has two equal corners
    d.ComputeNormals();
    for (int i = 0; i < 3; ++i) {
        EXPECT_FLOAT_EQ(d.Vertices()[i].nz, 1.0f) << i;
        EXPECT_EQ(d.Vertices()[i].nx, 0.0f);
    }
    EXPECT_EQ(d.Vertices()[3].nx, 0.0f); // contributes nothing
    EXPECT_EQ(d.Vertices()[3].nz, 0.0f);
}

TEST(MeshData, NearlyFlatCornersGiveNoNaN)
{
    // Corners whose edges are almost parallel: the dot product of the unit edges rounds to 1 or past it.
    TZevMeshData d;
    SetVertices(d, {{0, 0, 0}, {1e6f, 1e-3f, 0}, {2e6f, 3e-3f, 0}, {1, 1e-7f, 0}, {3, 3.0000002e-7f, 1e-9f}});
    SetFaces(d, {{0, 1, 2}, {0, 3, 4}, {0, 1, 2, 3, 4}});
    d.ComputeNormals();
    for (int i = 0; i < d.VertexCount; ++i) {
        EXPECT_FALSE(std::isnan(d.Vertices()[i].nx) || std::isnan(d.Vertices()[i].ny) || std::isnan(d.Vertices()[i].nz))
            << i;
    }
}

TEST(MeshData, FacesPointingPastTheVerticesAreLeftOut)
{
    TZevMeshData d;
    SetVertices(d, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    SetFaces(d, {{0, 1, 2}, {0, 1, 2}});
    d.Faces[1].Indices[2] = 7;
    EXPECT_FALSE(d.IndicesInRange());
    d.ComputeNormals();
    EXPECT_FLOAT_EQ(d.Vertices()[0].nz, 1.0f);
    TZevMeshData out;
    EXPECT_FALSE(ZevMeshFaceDirectionPass(d, out));
    EXPECT_EQ(out.VertexCount, 0);
}

TEST(MeshData, TransformMovesPositionsAndTurnsNormals)
{
    TZevMeshData d;
    SetVertices(d, {{1, 0, 0}});
    d.Vertices()[0].nx = 1.0f;
    TZevMatrix m;
    ZevMatRotationZ(m, 1.5707964f);
    m[12] = 10.0f;
    d.Transform(m);
    EXPECT_NEAR(d.Vertices()[0].x, 10.0f, 1e-5f);
    EXPECT_NEAR(d.Vertices()[0].y, 1.0f, 1e-5f);
    EXPECT_NEAR(d.Vertices()[0].nx, 0.0f, 1e-5f);
    EXPECT_NEAR(d.Vertices()[0].ny, 1.0f, 1e-5f);
}

TEST(MeshData, BoxHasOutwardAxisNormals)
{
    TZevMeshData d;
    ASSERT_TRUE(ZevMakeBoxMesh(&d, TZevVector(0, 0, 0), TZevVector(1, 1, 1)));
    ASSERT_EQ(d.VertexCount, 24);
    ASSERT_EQ(d.FaceCount, 12);
    for (int i = 0; i < 24; ++i) {
        const TZevVertex& v = d.Vertices()[i];
        float n[3] = {v.nx, v.ny, v.nz};
        float p[3] = {v.x - 0.5f, v.y - 0.5f, v.z - 0.5f};
        int axes = 0;
        for (int a = 0; a < 3; ++a) {
            if (std::fabs(n[a]) > 0.5f) {
                ++axes;
                EXPECT_FLOAT_EQ(std::fabs(n[a]), 1.0f);
                EXPECT_GT(n[a] * p[a], 0.0f) << "vertex " << i << " axis " << a;
            } else {
                EXPECT_EQ(n[a], 0.0f);
            }
        }
        EXPECT_EQ(axes, 1) << i;
    }
    EXPECT_TRUE(ZevMeshFacesConsistent(d));
}

TEST(MeshData, Sphere)
{
    TZevMeshData d;
    ASSERT_TRUE(ZevMakeSphereMesh(&d, 5, 8));
    EXPECT_EQ(d.VertexCount, 40);
    EXPECT_EQ(d.FaceCount, 64);
    EXPECT_TRUE(d.IndicesInRange());
    for (int i = 0; i < d.VertexCount; ++i) {
        const TZevVertex& v = d.Vertices()[i];
        EXPECT_NEAR(v.x * v.x + v.y * v.y + v.z * v.z, 1.0f, 1e-5f);
        EXPECT_EQ(v.nx, v.x);
    }
    EXPECT_EQ(d.Vertices()[0].z, 1.0f);
    EXPECT_FALSE(ZevMakeSphereMesh(&d, 1, 8));
    EXPECT_FALSE(ZevMakeSphereMesh(&d, 300, 300)); // 90,000 vertices
    EXPECT_EQ(d.VertexCount, 0);
}

TEST(MeshData, OrientationCheck)
{
    TZevMeshData d;
    SetVertices(d, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    SetFaces(d, {{0, 1, 2}, {0, 2, 3}});
    EXPECT_TRUE(ZevMeshFacesConsistent(d)); // the shared edge runs 2 -> 0, then 0 -> 2
    d.Faces[1].Indices[1] = 3;
    d.Faces[1].Indices[2] = 2; // (0, 3, 2) runs 2 -> 0 like the first face
    EXPECT_FALSE(ZevMeshFacesConsistent(d));
}

TEST(MeshData, FaceDirectionPassWeldsAndDropsCollapsedTriangles)
{
    PrivateDirectory directory;
    TZevMeshData d;
    // A pentagon fan (3 triangles) plus a sliver triangle whose two corners 4 and 5 are 0.01 apart.
    SetVertices(d, {{0, 0, 0}, {2, 0, 0}, {3, 2, 0}, {1, 3, 0}, {-1, 2, 0}, {-1.01f, 2, 0}});
    SetFaces(d, {{0, 1, 2, 3, 4}, {0, 4, 5}, {2, 4}});
    TZevMeshData out;
    ASSERT_TRUE(ZevMeshFaceDirectionPass(d, out));
    EXPECT_EQ(out.VertexCount, 5); // vertex 5 joined vertex 4
    ASSERT_EQ(out.FaceCount, 3);   // three fan triangles; the sliver and the two-corner face are gone
    const uint16_t expected[3][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}};
    for (int f = 0; f < 3; ++f)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(out.Faces[f].Indices[k], expected[f][k]);
    EXPECT_EQ(out.Vertices()[4].x, -1.0f);
    EXPECT_FLOAT_EQ(out.Vertices()[0].nz, 1.0f);
    EXPECT_EQ(DebugLogText().find("CheckFaceDirection"), std::string::npos);

    // Two faces along one edge in the same direction are reported before and after.
    TZevMeshData bad;
    SetVertices(bad, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    SetFaces(bad, {{0, 1, 2}, {0, 1, 3}});
    ASSERT_TRUE(ZevMeshFaceDirectionPass(bad, out));
    std::string log = DebugLogText();
    EXPECT_EQ(Occurrences(log, "pre CheckFaceDirection\n"), 1u);
    EXPECT_EQ(Occurrences(log, "post CheckFaceDirection\n"), 1u);
}

TEST(MeshData, FaceDirectionPassOnAFlatMesh)
{
    // All vertices on one plane: an extent of 0 on one axis must not divide by zero.
    TZevMeshData d;
    SetVertices(d, {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0.02f, 0, 0}});
    SetFaces(d, {{0, 1, 2}});
    TZevMeshData out;
    ASSERT_TRUE(ZevMeshFaceDirectionPass(d, out));
    EXPECT_EQ(out.VertexCount, 3);
    EXPECT_EQ(out.FaceCount, 1);
}

TEST(MeshPools, RecordsAreRecycledPerThread)
{
    void* a = ZevPool20Alloc();
    void* b = ZevPool28Alloc();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ZevPool20Release(a);
    ZevPool28Release(b);
    int32_t before = NewCount.load();
    EXPECT_EQ(ZevPool20Alloc(), a);
    EXPECT_EQ(ZevPool28Alloc(), b);
    EXPECT_EQ(NewCount.load(), before);
    ZevPool20Release(a);
    ZevPool28Release(b);
    ZevFreePool20();
    ZevFreePool28();
    void* c = ZevPool20Alloc();
    ASSERT_NE(c, nullptr);
    ZevPool20Release(c);
}
