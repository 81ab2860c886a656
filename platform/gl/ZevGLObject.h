// Reference-counted root of the device layer's objects: drivers, surfaces, devices, clippers and palettes live
// while someone holds them, as the renderers expect of the objects they were written against.
#pragma once

#include <atomic>
#include <cstdint>

class TZevGLObject {
public:
    TZevGLObject() = default;
    TZevGLObject(const TZevGLObject&) = delete;
    TZevGLObject& operator=(const TZevGLObject&) = delete;

    std::uint32_t AddRef() { return ++RefCount; }
    // Destroys the object when the last reference goes; returns the references left.
    std::uint32_t Release()
    {
        const std::uint32_t left = --RefCount;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~TZevGLObject() = default;

private:
    std::atomic<std::uint32_t> RefCount{1};
};

// Releases and clears a held object; nothing for null.
template <class T> void ZevGLRelease(T*& object)
{
    if (object)
        object->Release();
    object = nullptr;
}

// Holds one reference to `object` in `slot` (null for none), letting go of the one held before.
template <class T> void ZevGLHold(T*& slot, T* object)
{
    if (object)
        object->AddRef();
    ZevGLRelease(slot);
    slot = object;
}
