#include "ZevStream.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

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

TZevFile::TZevFile(const char* name, const char* mode)
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
    if (!handle) {
        ZevLogOpenFailure(name);
        return 0;
    }
    readOnly = mode[0] == 'r' && !std::strchr(mode, '+');
    // Our buffer takes the library's place: it would only copy every byte once more.
    if (readOnly)
        std::setvbuf(handle, nullptr, _IONBF, 0);
    else if (mode[0] == 'w' && !std::strchr(mode, '+'))
        UseWriteWindow();
    return 1;
}

void TZevFile::UseWriteWindow()
{
    if (!handle || readOnly)
        return;
    // Only a plain file is written at positions of our choosing; a pipe or a device keeps the library's buffer.
    struct stat info;
    if (fstat(fileno(handle), &info) != 0 || !S_ISREG(info.st_mode))
        return;
    std::setvbuf(handle, nullptr, _IONBF, 0);
    writeWindow = true;
    const long at = std::ftell(handle);
    windowStart = at < 0 ? 0 : at;
    handleAt = at < 0 ? -1 : at;
    windowLength = windowAt = 0;
}

bool TZevFile::WriteAt(std::int64_t at, const void* data, std::size_t n)
{
    if (handleAt != at) {
        if (std::fseek(handle, static_cast<long>(at), SEEK_SET) != 0) {
            handleAt = -1;
            return false;
        }
        handleAt = at;
    }
    const std::size_t done = std::fwrite(data, 1, n, handle);
    handleAt = done == n ? at + static_cast<std::int64_t>(n) : -1;
    return done == n;
}

bool TZevFile::FlushWrites()
{
    if (!writeWindow || windowLength == 0)
        return true;
    const bool ok = WriteAt(windowStart, window, static_cast<std::size_t>(windowLength));
    windowStart += windowAt;
    windowLength = windowAt = 0;
    return ok;
}

void TZevFile::Close()
{
    if (handle) {
        FlushWrites();
        std::fclose(handle);
        handle = nullptr;
    }
    writeWindow = false;
    std::free(window);
    window = nullptr;
    windowStart = 0;
    windowLength = windowAt = 0;
    handleAt = 0;
    length = -1;
    readOnly = false;
    written = false;
    std::free(readBuffer);
    readBuffer = nullptr;
    bufferCapacity = 0;
    bufferStart = 0;
    bufferLength = 0;
    bufferAt = 0;
}

int TZevFile::Seek(std::int32_t position)
{
    if (!handle || position < 0)
        return 0;
    if (readOnly) {
        if (position >= bufferStart && position <= bufferStart + bufferLength) {
            bufferAt = static_cast<std::int32_t>(position - bufferStart);
            return 1;
        }
        if (std::fseek(handle, position, SEEK_SET) != 0) {
            // Where the handle stands now is not known: the next read starts with a seek of its own.
            bufferStart = -1;
            bufferLength = bufferAt = 0;
            return 0;
        }
        bufferStart = position;
        bufferLength = bufferAt = 0;
        return 1;
    }
    if (writeWindow) {
        if (position >= windowStart && position <= windowStart + windowLength) {
            windowAt = static_cast<std::int32_t>(position - windowStart);
            return 1;
        }
        // A new window where the writes go on; the file itself moves when the window is written.
        if (!FlushWrites())
            return 0;
        windowStart = position;
        return 1;
    }
    return std::fseek(handle, position, SEEK_SET) == 0 ? 1 : 0;
}

std::int32_t TZevFile::Tell()
{
    if (!handle)
        return 0;
    const std::int64_t at = readOnly      ? (bufferStart < 0 ? -1 : bufferStart + bufferAt)
                            : writeWindow ? windowStart + windowAt
                                          : std::ftell(handle);
    return (at < 0 || at > INT32_MAX) ? 0 : static_cast<std::int32_t>(at);
}

bool TZevFile::Refill()
{
    if (!readBuffer) {
        // No larger than the file needs: most files read are small.
        const std::int64_t size = GetFileLength();
        bufferCapacity = size > 0 && size < ReadBufferSize ? (static_cast<std::int32_t>(size) + 4095) / 4096 * 4096
                                                           : ReadBufferSize;
        readBuffer = static_cast<char*>(std::malloc(static_cast<std::size_t>(bufferCapacity)));
        if (!readBuffer)
            return false;
    }
    const std::int64_t next = bufferStart + bufferLength;
    bufferStart = next;
    bufferLength = bufferAt = 0;
    const std::size_t got = std::fread(readBuffer, 1, static_cast<std::size_t>(bufferCapacity), handle);
    bufferLength = static_cast<std::int32_t>(got);
    return got > 0;
}

int TZevFile::Read(void* buffer, std::int32_t n)
{
    if (!handle || n < 0 || (n > 0 && !buffer))
        return 0;
    if (n == 0)
        return 1;
    if (writeWindow)
        return 0;
    if (!readOnly)
        return std::fread(buffer, static_cast<std::size_t>(n), 1, handle) == 1 ? 1 : 0;

    if (bufferStart < 0)
        return 0;
    if (n <= bufferLength - bufferAt) {
        std::memcpy(buffer, readBuffer + bufferAt, static_cast<std::size_t>(n));
        bufferAt += n;
        return 1;
    }
    // Across the buffer's end: a failed read leaves the position where it was.
    const std::int64_t from = bufferStart + bufferAt;
    char* to = static_cast<char*>(buffer);
    std::int32_t left = n;
    const std::int32_t inBuffer = bufferLength - bufferAt;
    if (inBuffer > 0) {
        std::memcpy(to, readBuffer + bufferAt, static_cast<std::size_t>(inBuffer));
        to += inBuffer;
        left -= inBuffer;
    }
    bool ok;
    if (left >= ReadBufferSize || (readBuffer && left >= bufferCapacity)) {
        // A large block goes straight to the caller.
        const std::size_t got = std::fread(to, 1, static_cast<std::size_t>(left), handle);
        bufferStart += bufferLength + static_cast<std::int64_t>(got);
        bufferLength = bufferAt = 0;
        ok = got == static_cast<std::size_t>(left);
    } else {
        ok = Refill() && bufferLength >= left;
        if (ok) {
            std::memcpy(to, readBuffer, static_cast<std::size_t>(left));
            bufferAt = left;
        }
    }
    if (!ok)
        Seek(static_cast<std::int32_t>(from));
    return ok ? 1 : 0;
}

int TZevFile::Write(const void* buffer, std::int32_t n)
{
    if (!handle || n < 0 || (n > 0 && !buffer) || readOnly)
        return 0;
    if (n == 0)
        return 1;
    written = true;
    if (writeWindow) {
        bool done = true;
        if (n > ReadBufferSize - windowAt) {
            // Past the window's room: what it holds goes first, and a large block goes straight to the file.
            done = FlushWrites();
            if (done && n >= ReadBufferSize) {
                done = WriteAt(windowStart, buffer, static_cast<std::size_t>(n));
                if (done)
                    windowStart += n;
            }
        }
        if (done && n < ReadBufferSize) {
            if (!window) {
                window = static_cast<char*>(std::malloc(ReadBufferSize));
                done = window != nullptr;
            }
            if (done) {
                std::memcpy(window + windowAt, buffer, static_cast<std::size_t>(n));
                windowAt += n;
                if (windowAt > windowLength)
                    windowLength = windowAt;
            }
        }
        if (done && length >= 0 && windowStart + windowAt > length)
            length = windowStart + windowAt;
        else if (!done)
            length = -1;
        return done ? 1 : 0;
    }
    const bool done = std::fwrite(buffer, static_cast<std::size_t>(n), 1, handle) == 1;
    if (length >= 0) {
        // The position after the write (the end, in append modes) may lie past the known end. A failed write
        // may have written part: measure again when asked.
        const long at = done ? std::ftell(handle) : -1;
        if (at < 0)
            length = -1;
        else if (at > length)
            length = at;
    }
    return done ? 1 : 0;
}

std::int32_t TZevFile::GetFileLength()
{
    if (!handle)
        return 0;
    if (length < 0) {
        // The size the system knows, once what was written has reached it; seeking to the end and back is left
        // for what is not a plain file.
        struct stat info;
        if ((!written || (FlushWrites() && std::fflush(handle) == 0)) && fstat(fileno(handle), &info) == 0 &&
            S_ISREG(info.st_mode)) {
            length = info.st_size;
        } else {
            // The handle stands where the reads left it (after the read buffer): it goes back there.
            handleAt = -1;
            const long at = std::ftell(handle);
            if (at < 0 || std::fseek(handle, 0, SEEK_END) != 0)
                return 0;
            const long end = std::ftell(handle);
            std::fseek(handle, at, SEEK_SET);
            if (end < 0)
                return 0;
            length = end;
        }
    }
    return length > INT32_MAX ? 0 : static_cast<std::int32_t>(length);
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
        char* block = ZevItemAt<char>(blocks, at / BlockSize);
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
        const char* block = ZevItemAt<const char>(blocks, at / BlockSize);
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
