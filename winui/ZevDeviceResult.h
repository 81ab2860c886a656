// The result of the last call into the device layer, program-wide, as the texture stores and renderers record it.
// They branch on a result only where a failure changes their course; the rest is kept for whoever looks.
#pragma once

#include <atomic>
#include <cstdint>

inline std::atomic<std::int32_t> LastHResult{0};

// Records a device call's result in LastHResult and hands it on.
inline std::int32_t ZevDeviceCall(std::int32_t result)
{
    LastHResult.store(result, std::memory_order_relaxed);
    return result;
}
