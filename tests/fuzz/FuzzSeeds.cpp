// fuzz_seeds DIR: writes seed inputs that only our own writers make (object streams, body files, saved values) into
// DIR/objstream, DIR/bodyfile and DIR/lispvalue, and the names a stream may carry into DIR/*.dict. The seeds in the
// tree were made with it (tools/fuzz.sh seeds).
#include "ZevBitmap.h"
#include "QEInit.h"
#include "ZevFrame.h"
#include "ZevLisp.h"
#include "ZevLSObj.h"
#include "ZevMesh.h"
#include "ZevNameTable.h"
#include "qe.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

bool SaveObject(TZevLSObj* object, const fs::path& file)
{
    TZevFile out;
    const bool ok = out.Open(file.c_str(), "wb") && object->Save(&out);
    out.Close();
    object->Release();
    return ok;
}

template <class T> T* Make(const char* className)
{
    return dynamic_cast<T*>(CreateObjectByName(className));
}

void WriteObjectStreams(const fs::path& dir)
{
    // Every core and scene class in its fresh state.
    for (const char* name : {"TZevLSObj", "TZevVTree", "TZevTree", "TZevStringTree", "TZevClassTree", "TZevVFrame",
                             "TZevFrame", "TZevVMesh", "TZevPolygonMesh", "TZevLPolygonMesh", "TZevVBitmap",
                             "TZevBitmap", "TZevBillBoard", "TZevLBillBoard", "TZevLineMesh", "TZevShadowMesh",
                             "TZevBmpLandMesh", "TZevMargin1Bmp2"}) {
        if (TZevLSObj* object = CreateObjectByName(name))
            SaveObject(object, dir / (std::string(name) + ".obj"));
    }
    // A named frame tree.
    auto* root = Make<TZevFrame>("TZevFrame");
    root->SetName("root");
    for (const char* child : {"left", "right"}) {
        auto* frame = Make<TZevFrame>("TZevFrame");
        frame->SetName(child);
        root->AddChild(frame);
    }
    SaveObject(root, dir / "frame_tree.obj");
    // A textured box mesh.
    auto* mesh = Make<TZevPolygonMesh>("TZevPolygonMesh");
    mesh->Clear();
    ZevMakeBoxMesh(mesh->Geometry, -1, -1, -1, 1, 2, 3);
    mesh->SetName("box");
    mesh->SetTextureName("tire.bmp");
    SaveObject(mesh, dir / "box_mesh.obj");
    // A pre-lit triangle.
    auto* lit = Make<TZevLPolygonMesh>("TZevLPolygonMesh");
    if (lit->SetFaceAndVertexCount(3, 1)) {
        TZevMeshData* g = lit->Geometry;
        for (int i = 0; i < 3; ++i) {
            g->LVertices()[i] = TZevLVertex{float(i), float(i == 1), 0, 0, 0xFF8040C0u, 0xFF000000u, 0.5f, 0.25f};
        }
        g->VertexCount = 3;
        g->SetFaceIndexCount(0, 3);
        for (uint16_t k = 0; k < 3; ++k)
            g->Faces[0].Indices[k] = k;
        g->FaceCount = 1;
    }
    SaveObject(lit, dir / "lit_triangle.obj");
    // A 4 x 4 bitmap.
    auto* bitmap = Make<TZevBitmap>("TZevBitmap");
    if (bitmap->CreateByDepth(4, 4, 32)) {
        for (int i = 0; i < 64; ++i)
            bitmap->GetBits()[i] = uint8_t(i * 4);
    }
    SaveObject(bitmap, dir / "bitmap.obj");
}

// Body files and saved values are made by scripts, as scenes make them.
void WriteScriptSeeds(const fs::path& bodies, const fs::path& values)
{
    QE_PhOnlyInit();
    TZevLispTextInterpreter host;
    host.Init();
    LispHost = &host;
    const std::string b = bodies.string() + "/", v = values.string() + "/";
    const std::string script =
        "(AddXPhObjectPath \"" QE_DATA_DIR "/\") (AddXPhObjectPath \"" QE_DATA_DIR "/objects/\")\n"
        "(SaveLispObject \"" + v + "integer.val\" 42)\n"
        "(SaveLispObject \"" + v + "float.val\" -2.5)\n"
        "(SaveLispObject \"" + v + "string.val\" \"text\")\n"
        "(SaveLispObject \"" + v + "symbol.val\" 'name)\n"
        "(SaveLispObject \"" + v + "list.val\" '(1 2.5 \"three\" (four (5)) . 6))\n"
        "(def shared '(s h))\n"
        "(SaveLispObject \"" + v + "shared.val\" (list shared shared))\n"
        "(SaveLispObject \"" + v + "lambda.val\" '(lambda (x) (+ x 1)))\n"
        "(def p (LoadXPhBody \"lbox.x\"))\n"
        "(def c (LoadXPhBody \"lbox.x\"))\n"
        "(SetXPhBodyMat c '((1 0 0) (0 1 0) (0 0 1) (3 0 0)))\n"
        "(def j (XPhBodyAddJointChild p c '(0 0 0) '(0 0 1) '(1 0 0) 0.5))\n"
        "(XPhBodySetData p '(data 1 2.5 \"s\"))\n"
        "(SaveLispObject \"" + v + "body.val\" p)\n"
        // A list of bodies, one of them in its own data: the fuzz check also tries its every cut and flipped byte.
        "(def a (LoadXPhBody \"lbox.x\"))\n"
        "(def b (LoadXPhBody \"lbox.x\"))\n"
        "(XPhBodySetData a (list 1 \"two\" a))\n"
        "(SaveLispObject \"" + v + "bodies.val\" (list a 3 b \"end\"))\n"
        "(SaveLispObject \"" + v + "joint.val\" j)\n"
        "(SaveLispObject \"" + v + "pid.val\" (XPhPIDMake))\n"
        "(SaveLispObject \"" + v + "land.val\" (XPhLoadLand \"blue.BMP\" \"blue.BMP\"))\n"
        "(def chair (LoadXPhBody \"chair.x\"))\n"
        "(XPhObjSaveLoadTest chair \"" + b + "chair.body\")\n"
        "(def q (LoadXPhBody \"lbox.x\"))\n"
        "(XPhObjSaveLoadTest q \"" + b + "box.body\")\n"
        "(def p (LoadXPhBody \"lbox.x\"))\n"
        "(def c (LoadXPhBody \"lbox.x\"))\n"
        "(def d (LoadXPhBody \"lbox.x\"))\n"
        "(XPhBodyAddJointChild p c '(0 0 0) '(0 0 1) '(1 0 0) 0.5)\n"
        "(XPhBodyAddFixedChild p d)\n"
        "(XPhBodySetData p '(1 \"two\"))\n"
        "(XPhObjSaveLoadTest p \"" + b + "jointed.body\")\n";
    host.SendCommand(script.c_str());
    std::fputs(host.GetAnswer() ? host.GetAnswer() : "", stdout);
    LispHost = nullptr;
    QE_PhOnlyFinal();
}

// The names a stream may give its readers, for the dictionaries of the stream targets.
void WriteNameDictionary(const fs::path& file)
{
    std::set<std::string> names;
    GetFunctionDictionary()->ForEach([&](const TZevNameEntry* e) {
        if ((e->flags & ZevNameStreamFunction) && e->name.CStr())
            names.insert(e->name.CStr());
    });
    std::ofstream out(file);
    out << "# Names of the readers a stream may name (written by fuzz_seeds).\n";
    for (const std::string& name : names)
        out << '"' << name << "\"\n";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    ZevEngineInit();
    const fs::path dir = fs::absolute(argv[1]);
    for (const char* sub : {"objstream", "bodyfile", "lispvalue"})
        fs::create_directories(dir / sub);
    WriteObjectStreams(dir / "objstream");
    WriteScriptSeeds(dir / "bodyfile", dir / "lispvalue");
    WriteNameDictionary(dir / "names.dict");
    return 0;
}
