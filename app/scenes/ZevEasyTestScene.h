// The easy-test scene: an empty, lit world with a fixed set of world parameters, for bodies that the user loads
// from the script console. It steps as the grab scene does.
#pragma once

#include "ZevGrabScene.h"

class TZevEasyTestScene : public TZevGrabScene {
public:
    TZevEasyTestScene() = default;
    ~TZevEasyTestScene() override = default;

    // The light, the shadow plane and the world parameters; no body.
    void Setup() override;
};
