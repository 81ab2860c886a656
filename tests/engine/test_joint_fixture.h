// Shared by the joint tests: boxes loaded from "lbox.x" along x, and a hinge of a child under its parent.
#pragma once

#include "test_camera_fixture.h"

class JointTest : public EngineScriptTest {
protected:
    static constexpr const char* BoxFile = QE_DATA_DIR "/lbox.x";

    // A box at (x, 0, 0).
    QE_XPhBody* Box(float x)
    {
        QE_XPhBody* body = QE_LoadXPhBody(BoxFile);
        EXPECT_NE(body, nullptr);
        const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, 0, 0, 1};
        if (body) {
            EXPECT_EQ(QE_SetXPhBodyMat(body, m), 1);
        }
        return body;
    }
    // A joint of `child` under `parent` about z (second axis x) through the parent's origin.
    QE_XPhJoint* Hinge(QE_XPhBody* parent, QE_XPhBody* child, float size = 0.5f)
    {
        const float anchor[3] = {0, 0, 0}, axis1[3] = {0, 0, 1}, axis2[3] = {1, 0, 0};
        return QE_XPhBodyAddJointChild(parent, child, anchor, axis1, axis2, size);
    }
};
