// The small value types of 3D arithmetic in one include.
#pragma once

#include "ZevBox.h"
#include "ZevMatrix.h"
#include "ZevVector.h"
