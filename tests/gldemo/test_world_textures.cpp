// A body's texture is uploaded to OpenGL once and drawn from then on: the world keeps one texture per texture
// name, pixels and size, and uploads again only for other pixels.
#include "GldemoTestSupport.h"

#include "ZevGLPrivateServer.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

#include <cstdint>
#include <vector>

namespace {

class WorldTextureTest : public GldemoTest {
protected:
    void SetUp() override
    {
        GldemoTest::SetUp();
        if (!ZevGLStartPrivateServer())
            GTEST_SKIP() << "Xvfb is not installed";
        Display_ = XOpenDisplay(nullptr);
        ASSERT_NE(Display_, nullptr);
        int attributes[] = {GLX_DRAWABLE_TYPE, GLX_PBUFFER_BIT, GLX_RENDER_TYPE, GLX_RGBA_BIT, None};
        int count = 0;
        GLXFBConfig* configs = glXChooseFBConfig(Display_, DefaultScreen(Display_), attributes, &count);
        ASSERT_TRUE(configs && count > 0);
        const int size[] = {GLX_PBUFFER_WIDTH, 4, GLX_PBUFFER_HEIGHT, 4, None};
        Pbuffer = glXCreatePbuffer(Display_, configs[0], size);
        Context = glXCreateNewContext(Display_, configs[0], GLX_RGBA_TYPE, nullptr, True);
        XFree(configs);
        ASSERT_TRUE(Context && glXMakeContextCurrent(Display_, Pbuffer, Pbuffer, Context));
        ZevGLKeepDriverLoaded();
    }
    void TearDown() override
    {
        World.reset();
        if (Display_) {
            glXMakeContextCurrent(Display_, None, None, nullptr);
            if (Context)
                glXDestroyContext(Display_, Context);
            if (Pbuffer)
                glXDestroyPbuffer(Display_, Pbuffer);
            XCloseDisplay(Display_);
        }
    }

    // The RGBA texels OpenGL holds in the texture.
    static std::vector<std::uint8_t> Texels(unsigned int texture, int width, int height)
    {
        std::vector<std::uint8_t> texels(static_cast<std::size_t>(width * height * 4));
        glBindTexture(GL_TEXTURE_2D, texture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        return texels;
    }

    Display* Display_ = nullptr;
    GLXPbuffer Pbuffer = 0;
    GLXContext Context = nullptr;
    std::unique_ptr<TQEWorld_Data> World = std::make_unique<TQEWorld_Data>();
};

TEST_F(WorldTextureTest, ATextureIsUploadedOnceAndOtherPixelsGetTheirOwn)
{
    std::vector<std::uint8_t> tire(2 * 2 * 4), rock(2 * 2 * 4), wide(4 * 2 * 4);
    for (std::size_t i = 0; i < tire.size(); ++i) {
        tire[i] = static_cast<std::uint8_t>(10 + i);
        rock[i] = static_cast<std::uint8_t>(200 - i);
    }
    QE_RenderData data{};
    data.textureName = "tire.bmp";
    data.texturePixels = tire.data();
    data.textureWidth = 2;
    data.textureHeight = 2;
    const unsigned int first = World->TextureOf(data);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(Texels(first, 2, 2), tire);

    // Drawn again (frame after frame): the same texture, not uploaded again (a change of the pixels in place is
    // not seen).
    const std::vector<std::uint8_t> uploaded = tire;
    tire[0] = 255;
    EXPECT_EQ(World->TextureOf(data), first);
    EXPECT_EQ(Texels(first, 2, 2), uploaded);

    struct {
        const char* name;
        const void* pixels;
        int width;
    } others[] = {{"rocka.bmp", tire.data(), 2}, {"tire.bmp", rock.data(), 2}, {"tire.bmp", wide.data(), 4}};
    for (const auto& other : others) {
        QE_RenderData changed = data;
        changed.textureName = other.name;
        changed.texturePixels = other.pixels;
        changed.textureWidth = other.width;
        const unsigned int texture = World->TextureOf(changed);
        EXPECT_NE(texture, 0u);
        EXPECT_NE(texture, first) << other.name << " " << other.width;
        EXPECT_EQ(World->TextureOf(changed), texture);
    }
    EXPECT_EQ(World->TextureOf(data), first);
}

} // namespace
