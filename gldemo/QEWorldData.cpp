#include "QEWorldData.h"

#include "QEBodyData.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>

TQEWorld_Data* CurrentWorldData = nullptr;

namespace {

// The step function every held body carries: the holder does its work in its own Step, before the engine step.
int BodyDataStep(QE_XPhBody*, void*)
{
    return 1;
}

void Cross(float* out, const float* a, const float* b)
{
    const float x = a[1] * b[2] - a[2] * b[1];
    const float y = a[2] * b[0] - a[0] * b[2];
    const float z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

} // namespace

TQEWorld_Data::TQEWorld_Data()
{
    CurrentWorldData = this;
    QE_PhOnlyInit();
    QE_RegisterFunction(TQEBody_Data::StepFunctionName, reinterpret_cast<QE_Function>(&BodyDataStep));
}

TQEWorld_Data::~TQEWorld_Data()
{
    for (const KeptTexture& kept : Textures)
        glDeleteTextures(1, &kept.texture);
    if (CurrentWorldData == this)
        CurrentWorldData = nullptr;
    QE_PhOnlyFinal();
}

void TQEWorld_Data::Register(TQEBody_Data* object)
{
    Registered.push_back(object);
}

void TQEWorld_Data::Unregister(TQEBody_Data* object)
{
    auto it = std::find(Registered.begin(), Registered.end(), object);
    if (it != Registered.end())
        Registered.erase(it);
}

unsigned int TQEWorld_Data::TextureOf(const QE_RenderData& data)
{
    const std::string name = data.textureName ? data.textureName : "";
    for (const KeptTexture& kept : Textures) {
        if (kept.pixels == data.texturePixels && kept.width == data.textureWidth &&
            kept.height == data.textureHeight && kept.name == name)
            return kept.texture;
    }
    // Pixels of textures let go by the engine may come back at the same address: a bound on those kept.
    if (Textures.size() >= 64) {
        for (const KeptTexture& kept : Textures)
            glDeleteTextures(1, &kept.texture);
        Textures.clear();
    }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    if (texture == 0)
        return 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, data.textureWidth, data.textureHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 data.texturePixels);
    Textures.push_back({name, data.texturePixels, data.textureWidth, data.textureHeight, texture});
    return texture;
}

void TQEWorld_Data::Step()
{
    // A Step may add or remove objects (a tile entering the world): walk a snapshot, skipping the removed ones.
    const std::vector<TQEBody_Data*> order = Registered;
    for (TQEBody_Data* object : order) {
        if (std::find(Registered.begin(), Registered.end(), object) != Registered.end())
            object->Step();
    }
    QE_PhOnlyStep();
}

void TQEWorld_Data::Draw()
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    float camera[16];
    float view[16];
    if (QE_GetXPhCameraMat(camera))
        AffineInverse(view, camera);
    else
        AffineInverse(view, nullptr);
    glLoadMatrixf(view);
    const GLfloat light[4] = {1.0f, 1.0f, -1.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    const std::vector<TQEBody_Data*> order = Registered;
    for (TQEBody_Data* object : order)
        object->Draw();
    QE_BodyEnumDesc desc{};
    desc.userData = this;
    desc.function = &DrawBodyCallback;
    QE_GetXPhBodyEnume(&desc);
    glPopMatrix();
}

int DrawBodyCallback(QE_XPhBody* body, void* userData)
{
    float world[16];
    QE_RenderData data{};
    if (!QE_GetXPhBodyGMat(body, world) || !QE_GetXPhBodyRenderData(body, &data))
        return 1;
    glPushMatrix();
    glMultMatrixf(world);

    float diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    float specular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float power = 0.0f;
    QE_XPhBodyGetVisualMaterial(body, diffuse, ambient, specular, &power);

    TQEWorld_Data* owner = userData ? static_cast<TQEWorld_Data*>(userData) : CurrentWorldData;
    const GLuint texture = data.texturePixels && data.textureWidth > 0 && data.textureHeight > 0 && owner
                               ? owner->TextureOf(data)
                               : 0;
    if (texture) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glEnable(GL_TEXTURE_2D);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    for (GLenum side : {GLenum(GL_FRONT), GLenum(GL_BACK)}) {
        glMaterialfv(side, GL_AMBIENT, ambient);
        glMaterialfv(side, GL_DIFFUSE, diffuse);
        glMaterialfv(side, GL_SPECULAR, specular);
        // OpenGL refuses a shininess outside 0 to 128.
        glMaterialf(side, GL_SHININESS, std::clamp(power, 0.0f, 128.0f));
    }
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_TRIANGLES);
    for (int f = 0; f < data.faceCount && data.faces && data.vertices; ++f) {
        const QE_Face& face = data.faces[f];
        if (!face.indices)
            continue;
        for (unsigned int k = 1; k + 1 < face.indexCount; ++k) {
            const unsigned short corner[3] = {face.indices[0], face.indices[k], face.indices[k + 1]};
            for (unsigned short index : corner) {
                if (int(index) >= data.vertexCount)
                    continue;
                const QE_Vertex& v = data.vertices[index];
                glTexCoord2f(v.u, 1.0f - v.v);
                glNormal3f(v.nx, v.ny, v.nz);
                glVertex3f(v.x, v.y, v.z);
            }
        }
    }
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    glPopMatrix();
    return 1;
}

bool NormalizeVector(float* v)
{
    const float sq = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    if (!(sq > 0.0f))
        return false;
    const float len = std::sqrt(sq);
    v[0] /= len;
    v[1] /= len;
    v[2] /= len;
    return true;
}

void LookAtMatrix(float* m, const float* target, const float* up)
{
    const float eye[3] = {m[12], m[13], m[14]};
    float z[3] = {eye[0] - target[0], eye[1] - target[1], eye[2] - target[2]};
    NormalizeVector(z);
    float x[3];
    Cross(x, z, up);
    NormalizeVector(x);
    float y[3];
    Cross(y, x, z);
    NormalizeVector(y);
    const float rows[4][4] = {
        {-x[0], -x[1], -x[2], 0.0f}, {y[0], y[1], y[2], 0.0f}, {z[0], z[1], z[2], 0.0f}, {eye[0], eye[1], eye[2], 1.0f}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m[r * 4 + c] = rows[r][c];
}

int SetCameraLookAt(const float* eye, const float* target, const float* up)
{
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    m[12] = eye[0];
    m[13] = eye[1];
    m[14] = eye[2];
    LookAtMatrix(m, target, up);
    return QE_SetXPhCameraMat(m);
}

void AffineInverse(float* out, const float* m)
{
    static const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    if (!m) {
        std::copy(identity, identity + 16, out);
        return;
    }
    // 3x3 part by cofactors (rows are the images of the axes), so a scaled camera inverts too.
    const float a = m[0], b = m[1], c = m[2], d = m[4], e = m[5], f = m[6], g = m[8], h = m[9], i = m[10];
    const float c00 = e * i - f * h, c01 = c * h - b * i, c02 = b * f - c * e;
    const float c10 = f * g - d * i, c11 = a * i - c * g, c12 = c * d - a * f;
    const float c20 = d * h - e * g, c21 = b * g - a * h, c22 = a * e - b * d;
    const float det = a * c00 + b * c10 + c * c20;
    if (!(std::fabs(det) > 1e-20f) || !std::isfinite(det)) {
        std::copy(identity, identity + 16, out);
        return;
    }
    const float r[9] = {c00 / det, c01 / det, c02 / det, c10 / det, c11 / det, c12 / det,
                        c20 / det, c21 / det, c22 / det};
    const float t[3] = {m[12], m[13], m[14]};
    for (int row = 0; row < 3; ++row) {
        out[row * 4 + 0] = r[row * 3 + 0];
        out[row * 4 + 1] = r[row * 3 + 1];
        out[row * 4 + 2] = r[row * 3 + 2];
        out[row * 4 + 3] = 0.0f;
    }
    for (int col = 0; col < 3; ++col)
        out[12 + col] = -(t[0] * r[0 * 3 + col] + t[1] * r[1 * 3 + col] + t[2] * r[2 * 3 + col]);
    out[15] = 1.0f;
}
