// Fixture of the scene tests, built on the engine tests' one: the demo's script scenes run as the demo runs them
// (the load of "DefaultWorld.lsp" directly followed by the load of the scene's file, then one world step per frame),
// but in the physics-only world and without a display. The script and object search paths point into the tree's data/ folder, as the demo's scene
// points them into its application folder.
#pragma once

#include "../engine/EngineTestHost.h"
#include "QEContext.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

inline double Distance(const std::vector<double>& a, const std::vector<double>& b)
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}
// The distance seen from above: along the ground.
inline double Horizontal(const std::vector<double>& a, const std::vector<double>& b)
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[2] - b[2]) * (a[2] - b[2]));
}

class SceneTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        ObjectPathList.Clear();
        QE_PhOnlyInit();
        Run("(AddLispPath \"" QE_DATA_DIR "/LispLib/\")"
            "(AddLispPath \"" QE_DATA_DIR "/LispSource/\")"
            "(AddXPhObjectPath \"" QE_DATA_DIR "/objects/\")");
    }

    // Loads a scene the way the demo's view hands it to the console. Every form of both files must evaluate
    // without an error.
    void LoadScene(const std::string& file)
    {
        const std::string answer = Run("(load \"DefaultWorld.lsp\")(load \"" + file + "\")");
        ASSERT_EQ(answer.find("Error"), std::string::npos) << answer;
        // A file read to its end prints the end marker last; an unbalanced parenthesis swallows it.
        const std::string end = "\" ===== end of file ===== \"\nnil\n";
        ASSERT_TRUE(answer.size() >= end.size() && answer.compare(answer.size() - end.size(), end.size(), end) == 0)
            << "the scene's file does not read to its end:\n" << answer;
    }

    // n frames of the scene: one world step each.
    void Step(int n)
    {
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(QE_PhOnlyStep(), 1);
    }

    // The numbers of the answer to an expression, in order (nil gives none).
    std::vector<double> Numbers(const std::string& expression)
    {
        const std::string answer = Run(expression);
        std::vector<double> out;
        const char* p = answer.c_str();
        while (*p) {
            char* end = nullptr;
            const double v = std::strtod(p, &end);
            if (end != p && (*p == '-' || *p == '.' || (*p >= '0' && *p <= '9'))) {
                out.push_back(v);
                p = end;
            } else {
                ++p;
            }
        }
        return out;
    }
    double Number(const std::string& expression)
    {
        const std::vector<double> v = Numbers(expression);
        EXPECT_EQ(v.size(), 1u) << expression << " answered " << Run(expression);
        return v.empty() ? NAN : v[0];
    }
    // The position of a body that a global of the scene holds.
    std::vector<double> Position(const std::string& body)
    {
        std::vector<double> p = Numbers("(body-pos " + body + ")");
        EXPECT_EQ(p.size(), 3u) << body;
        p.resize(3, NAN);
        return p;
    }

    // Every body of the world: its count, and whether all their matrices are finite and within the world.
    struct BodyCensus {
        int count = 0;
        int broken = 0;
    };
    static BodyCensus Census()
    {
        BodyCensus census;
        QE_BodyEnumDesc desc{&census, [](QE_XPhBody* body, void* user) {
                                 auto* c = static_cast<BodyCensus*>(user);
                                 float m[16];
                                 ++c->count;
                                 if (!QE_GetXPhBodyMat(body, m))
                                     ++c->broken;
                                 for (float v : m)
                                     if (!std::isfinite(v) || std::fabs(v) > 1e5f) {
                                         ++c->broken;
                                         break;
                                     }
                                 return 1;
                             }};
        QE_GetXPhBodyEnume(&desc);
        return census;
    }
    // Steps the scene and checks after every block of frames that no body is broken.
    void StepChecked(int n, int block = 50)
    {
        for (int done = 0; done < n; done += block) {
            Step(std::min(block, n - done));
            const BodyCensus c = Census();
            ASSERT_EQ(c.broken, 0) << "after " << done + block << " frames";
        }
    }
};
