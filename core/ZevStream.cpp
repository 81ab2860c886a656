#include "ZevStream.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// Seek of a stream held in memory: a position outside 0..size is refused and bounded to the nearer end.
int SeekWithin(std::int32_t& position, std::int32_t size, std::int32_t to)
{
    if (to < 0) {
        position = 0;
        return 0;
    }
    if (to > size) {
        position = size;
        return 0;
    }
    position = to;
    return 1;
}

} // namespace

int TZevStream::WriteText(const char* text)
{
    if (!text)
        return 0;
    const std::size_t n = std::strlen(text);
    if (n > static_cast<std::size_t>(INT32_MAX))
        return 0;
    return Write(text, static_cast<std::int32_t>(n));
}

// ---- TZevFile ----

void ZevLogOpenFailure(const char* name)
{
    const char* shown = name ? name : "";
    const char* prefix = "ファイルのオープンに失敗しました FileName… \"";
    const std::size_t length = std::strlen(prefix) + std::strlen(shown) + 4;
    if (char* line = static_cast<char*>(std::malloc(length))) {
        std::snprintf(line, length, "%s%s\"\r\n", prefix, shown);
        ZevDebugLog(line);
        std::free(line);
    }
}

TZevFile::TZevFile(const char* name, const char* mode) : handle(nullptr)
{
    // Not the virtual Open: a derived class is not constructed yet.
    TZevFile::Open(name, mode);
}

TZevFile::~TZevFile()
{
    TZevFile::Close();
}

int TZevFile::Open(const char* name, const char* mode)
{
    Close();
    if (name && mode)
        handle = std::fopen(name, mode);
    if (handle)
        return 1;
    ZevLogOpenFailure(name);
    return 0;
}

void TZevFile::Close()
{
    if (handle) {
        std::fclose(handle);
        handle = nullptr;
    }
}

int TZevFile::Seek(std::int32_t position)
{
    if (!handle || position < 0)
        return 0;
    return std::fseek(handle, position, SEEK_SET) == 0 ? 1 : 0;
}

std::int32_t TZevFile::Tell()
{
    if (!handle)
        return 0;
    const long at = std::ftell(handle);
    return (at < 0 || at > INT32_MAX) ? 0 : static_cast<std::int32_t>(at);
}

int TZevFile::Read(void* buffer, std::int32_t n)
{
    if (!handle || n < 0 || (n > 0 && !buffer))
        return 0;
    if (n == 0)
        return 1;
    return std::fread(buffer, static_cast<std::size_t>(n), 1, handle) == 1 ? 1 : 0;
}

int TZevFile::Write(const void* buffer, std::int32_t n)
{
    if (!handle || n < 0 || (n > 0 && !buffer))
        return 0;
    if (n == 0)
        return 1;
    return std::fwrite(buffer, static_cast<std::size_t>(n), 1, handle) == 1 ? 1 : 0;
}

std::int32_t TZevFile::GetFileLength()
{
    if (!handle)
        return 0;
    const long at = std::ftell(handle);
    if (at < 0 || std::fseek(handle, 0, SEEK_END) != 0)
        return 0;
    const long length = std::ftell(handle);
    std::fseek(handle, at, SEEK_SET);
    return (length < 0 || length > INT32_MAX) ? 0 : static_cast<std::int32_t>(length);
}

std::int32_t TZevFile::GetSize()
{
    return GetFileLength();
}

// ---- TZevMemStream ----

TZevMemStream::TZevMemStream() : position(0), capacity(0), size(0) {}

TZevMemStream::~TZevMemStream()
{
    for (TZevListNode* n = blocks.Head.next; n != &blocks.Head; n = n->next)
        ZevFree(n->data);
    blocks.FreeNodes();
}

int TZevMemStream::Seek(std::int32_t to)
{
    return SeekWithin(position, size, to);
}

int TZevMemStream::Write(const void* buffer, std::int32_t n)
{
    if (n < 0 || (n > 0 && !buffer))
        return 0;
    if (n == 0)
        return 1;
    const std::int64_t end = static_cast<std::int64_t>(position) + n;
    if (end > INT32_MAX - BlockSize) // the capacity, a whole number of blocks, must stay a 32-bit value
        return 0;
    // Grow by every block the write needs before copying, so a failed allocation writes nothing.
    while (capacity < end) {
        void* block = ZevAlloc(BlockSize);
        if (!block)
            return 0;
        blocks.Add(block);
        capacity += BlockSize;
    }
    const char* from = static_cast<const char*>(buffer);
    std::int32_t at = position;
    std::int32_t left = n;
    while (left > 0) {
        const std::int32_t offset = at % BlockSize;
        const std::int32_t part = left < BlockSize - offset ? left : BlockSize - offset;
        char* block = static_cast<char*>(blocks.GetAt(at / BlockSize));
        std::memcpy(block + offset, from, static_cast<std::size_t>(part));
        from += part;
        at += part;
        left -= part;
    }
    position = at;
    if (position > size)
        size = position;
    return 1;
}

int TZevMemStream::Read(void* buffer, std::int32_t n)
{
    if (n < 0 || (n > 0 && !buffer))
        return 0;
    if (n == 0)
        return 1;
    if (static_cast<std::int64_t>(position) + n > size)
        return 0;
    char* to = static_cast<char*>(buffer);
    std::int32_t at = position;
    std::int32_t left = n;
    while (left > 0) {
        const std::int32_t offset = at % BlockSize;
        const std::int32_t part = left < BlockSize - offset ? left : BlockSize - offset;
        const char* block = static_cast<const char*>(blocks.GetAt(at / BlockSize));
        std::memcpy(to, block + offset, static_cast<std::size_t>(part));
        to += part;
        at += part;
        left -= part;
    }
    position = at;
    return 1;
}

// ---- TZevBufferStream ----

TZevBufferStream::TZevBufferStream(std::int32_t n) : data(nullptr), position(0), size(0)
{
    if (n < 1)
        return;
    data = static_cast<char*>(std::malloc(static_cast<std::size_t>(n)));
    if (data)
        size = n;
}

TZevBufferStream::~TZevBufferStream()
{
    std::free(data);
}

int TZevBufferStream::Seek(std::int32_t to)
{
    return SeekWithin(position, size, to);
}

int TZevBufferStream::Read(void* buffer, std::int32_t n)
{
    if (n < 0 || (n > 0 && !buffer))
        return 0;
    if (static_cast<std::int64_t>(position) + n > size)
        return 0;
    if (n > 0)
        std::memcpy(buffer, data + position, static_cast<std::size_t>(n));
    position += n;
    return 1;
}

int TZevBufferStream::Write(const void* buffer, std::int32_t n)
{
    if (n < 0 || (n > 0 && !buffer))
        return 0;
    if (static_cast<std::int64_t>(position) + n > size)
        return 0;
    if (n > 0)
        std::memcpy(data + position, buffer, static_cast<std::size_t>(n));
    position += n;
    return 1;
}

void TZevBufferStream::SetData(const void* source, std::int32_t n)
{
    std::free(data);
    data = nullptr;
    position = 0;
    size = 0;
    if (n < 1)
        return;
    data = static_cast<char*>(std::malloc(static_cast<std::size_t>(n)));
    if (!data)
        return;
    size = n;
    if (source)
        std::memcpy(data, source, static_cast<std::size_t>(n));
}

int TZevBufferStream::LoadFile(const char* name)
{
    TZevFile file(name, "rb");
    const std::int32_t length = file.GetSize();
    if (length <= 0)
        return 0;
    SetData(nullptr, length);
    if (size != length || !file.Read(data, length)) {
        SetData(nullptr, 0);
        return 0;
    }
    return 1;
}
