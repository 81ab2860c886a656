// The two-dimensional sprite demo: a timed list of script commands plays textured quads that move, turn, grow or
// shrink and fade. The scene has no physics world. Its command file defines `Zev_Demo_Comand_Data_Stream` as a list
// of (time-in-milliseconds form) entries in time order; each form fires once the scene has run that long (wall
// clock, not frames). The forms call the sprite builtins, which act on the current demo.
//
// Ownership: the demo owns its sprite table and the sprites in it; each sprite holds one reference to its quad,
// and the sprite frame (under the host's root frame) holds another as its visual.
#pragma once

#include "ZevGMLoop.h"
#include "ZevLispValues.h"
#include "ZevMatrix.h"
#include "ZevMeshData.h"

#include <cstdint>

class TZevPolygonMesh;

// Sprite numbers run from 0 to this bound less 1; a script that names another is refused.
constexpr std::int32_t MaxGMDemoSprites = 65536;

// A textured quad with a two-dimensional affine transform for row vectors (x' = x m00 + y m10 + m20,
// y' = x m01 + y m11 + m21) and the rates that change it every frame.
class TZevGMDemoSprite : public TZevAllocated {
public:
    // Makes the quad: corners (+-0.5, +-0.5, 1), texture filling it, lit by ambient light alone, translucent.
    TZevGMDemoSprite();
    // Releases the quad.
    ~TZevGMDemoSprite();
    TZevGMDemoSprite(const TZevGMDemoSprite&) = delete;
    TZevGMDemoSprite& operator=(const TZevGMDemoSprite&) = delete;

    // One frame of dt seconds: the transform takes the rates, the corners follow it, the fade goes on.
    void Update(float dt);

    TZevPolygonMesh* Mesh = nullptr; // one reference; null when it could not be made
    TZevVertex BaseCorners[4] = {};
    TZevMatrix3 Transform;
    float Alpha = 1.0f;
    float AlphaRate = 0.0f;    // per millisecond
    float FadeTimeLeft = 0.0f; // milliseconds
    float VelocityX = 0.0f, VelocityY = 0.0f; // per second
    float ScaleRateX = 1.0f, ScaleRateY = 1.0f; // factor per second
    float AngularVelocity = 0.0f; // radians per second
};

class TZevGMDemo : public TZevGMBase {
public:
    // Becomes the current demo (a second live demo is written to the debug log).
    TZevGMDemo();
    // Frees what Shutdown has not; the current demo is cleared only when it is this one.
    ~TZevGMDemo() override;

    // Base Init, the texture folder, the sprite frame, the command file loaded and its list taken, the light.
    void Init(TZevQueuedRenderer* renderer, std::uint8_t* keys, TZevFrame* root, TZevFrame* camera,
              std::int32_t* quitFlag) override;
    // Forgets the script's list and frees the sprites.
    void Shutdown() override;
    // Fires the commands that are due, then moves every sprite by the time since the last frame.
    void Step() override;

    // The sprite of a number, or null (also outside the table).
    TZevGMDemoSprite* SpriteAt(std::int32_t index) const;
    // Grows the table to index + 1 slots (new ones empty); false when memory runs out.
    bool GrowTable(std::int32_t index);
    void FreeSprites();

    TZevFrame* SpriteFrame = nullptr; // child of the root frame
    TZevString CommandFileName;
    TZevLispRef CommandList;
    std::int32_t Finished = 0; // 1 once the command list is used up
    double StartTime = 0.0;    // milliseconds
    double LastTime = 0.0;
    std::int32_t SpriteCount = 0;
    TZevGMDemoSprite** Sprites = nullptr; // owned array; empty slots null
    // The millisecond clock the commands are timed by (tests set their own).
    double (*Clock)() = nullptr;

private:
    double Now() const;
};

// The demo the sprite builtins act on; null while none exists.
extern TZevGMDemo* CurrentGMDemo;

// Registers the sprite builtins (Sprite_Get_Comand_Data, Sprite_Load, Sprite_SetPos, Sprite_SetVelocity,
// Sprite_SetAlpha). Runs once.
void ZevGMDemoInit();
