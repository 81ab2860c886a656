// Moves the engine camera smoothly behind a body: eye and look point approach their goals by a tenth per step.
#ifndef QE_FOLLOW_CAMERA_H
#define QE_FOLLOW_CAMERA_H

#include "QEBodyData.h"

class TQEFollowCamera_Data : public TQEBody_Data {
public:
    TQEFollowCamera_Data();

    void Attach(TQEBody_Data* body);
    void Step() override;

    void SetMode(int mode) { Mode = mode; }
    void SetEnabled(bool enabled) { Enabled = enabled; }
    const float* Eye() const { return EyePoint; }
    const float* Look() const { return LookPoint; }

private:
    TQEBody_Data* Followed = nullptr;
    float EyePoint[3] = {};
    float LookPoint[3] = {};
    float Distance = 10.0f;
    int Enabled = 1;
    float Offset[3];
    int Mode = 2;
};

#endif
