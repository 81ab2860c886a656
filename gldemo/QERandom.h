// The demo's own random numbers: a fixed seed, so every run of a scene builds the same terrain.
#ifndef QE_RANDOM_H
#define QE_RANDOM_H

#include <cstdint>

class TQERandom {
public:
    explicit TQERandom(std::uint32_t seed = 1) : State(seed) {}
    void Seed(std::uint32_t seed) { State = seed; }
    // 0 to 32767, like the C library's rand() range.
    int Next()
    {
        State = State * 1103515245u + 12345u;
        return int((State >> 16) & 0x7fffu);
    }

private:
    std::uint32_t State;
};

#endif
