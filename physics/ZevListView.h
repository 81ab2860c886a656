// The typed views over the engine's lists live beside the lists themselves, in core.
#pragma once

#include "ZevList.h"
#include "ZevOwnerList.h"
