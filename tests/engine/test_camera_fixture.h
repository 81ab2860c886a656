// Shared by the tests of the camera, joints, land, particles and picking bindings: a physics-only world with a
// text-command host, and a view without a device for the operations that need one.
#pragma once

#include "EngineTestHost.h"
#include "LispLSObj.h"
#include "QEContext.h"
#include "Zev3DRenderer.h"

#include <string>

// A renderer without a device: it only keeps what the engine stores in it.
class TTestView : public TZev3DRenderer {
public:
    int GetWidth() override { return 640; }
    int GetHeight() override { return 480; }
    void DrawPolyline(const TZevPoint2D*, int) override {}
    void Clear() override {}
    TZevTextureHandle LoadTexture(const char*) override { return TZevTextureHandle(); }
    void UnloadTexture(TZevTextureHandle) override {}
};

class EngineScriptTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        ASSERT_EQ(QE_PhOnlyInit(), 1);
    }
    void TearDown() override
    {
        CurrentView = nullptr;
        SimulationFlag = 1;
        EngineTest::TearDown();
    }
    // The value of a script variable.
    TZevLispRef Value(const char* variable)
    {
        TZevLispRef atom, value;
        LispIntern(atom, variable);
        LispAtom(atom)->GetValue(value);
        return value;
    }
    // The engine object wrapped by a script variable, or null.
    TZevLSObj* Object(const char* variable)
    {
        TZevLispRef v = Value(variable);
        return LispIsLSObj(v) ? LispLSObj(v)->Object : nullptr;
    }
    struct Case {
        const char* text;
        const char* answer;
    };
    template <size_t N> void RunCases(const Case (&cases)[N])
    {
        for (const Case& c : cases)
            EXPECT_EQ(Run(c.text), c.answer) << c.text;
    }

    TTestView view;
};
