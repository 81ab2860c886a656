#include "QEFollowCamera.h"

#include "QEWorldData.h"

TQEFollowCamera_Data::TQEFollowCamera_Data()
{
    Offset[0] = -Distance;
    Offset[1] = 0.1f * Distance;
    Offset[2] = -Distance;
}

void TQEFollowCamera_Data::Attach(TQEBody_Data* body)
{
    Followed = body;
    if (!body)
        return;
    float p[3];
    body->GetPosition(p);
    for (int k = 0; k < 3; ++k)
        LookPoint[k] = p[k];
    EyePoint[0] = p[0];
    EyePoint[1] = p[1] + 3.0f;
    EyePoint[2] = p[2] - 10.0f;
}

void TQEFollowCamera_Data::Step()
{
    if (!Followed)
        return;
    float p[3];
    Followed->GetPosition(p);
    if (Mode == 2 || Mode == 1) {
        for (int k = 0; k < 3; ++k)
            LookPoint[k] = 0.9f * LookPoint[k] + 0.1f * p[k];
        float wanted[3];
        if (Mode == 2) {
            for (int k = 0; k < 3; ++k)
                wanted[k] = LookPoint[k] + Offset[k];
        } else {
            float away[3] = {EyePoint[0] - LookPoint[0], EyePoint[1] - LookPoint[1], EyePoint[2] - LookPoint[2]};
            NormalizeVector(away);
            for (int k = 0; k < 3; ++k)
                wanted[k] = LookPoint[k] + Distance * away[k];
        }
        for (int k = 0; k < 3; ++k)
            EyePoint[k] = 0.9f * EyePoint[k] + 0.1f * wanted[k];
    }
    if (Enabled) {
        const float eye[3] = {EyePoint[0], EyePoint[1] + 0.25f * Distance, EyePoint[2]};
        const float up[3] = {0.0f, 1.0f, 0.0f};
        SetCameraLookAt(eye, LookPoint, up);
    }
}
