#include "GlobalLock.h"

constinit TZevCriticalSection GlobalLock;
