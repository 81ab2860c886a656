// Byte streams: the interface that object streams, bitmap and text readers work through, and its file, growable
// memory and fixed buffer implementations.
#pragma once

#include "ZevDebug.h"
#include "ZevList.h"

#include <cstdint>
#include <cstdio>

// Read and Write move all n bytes or nothing: they return 1 when the whole request was done (also for n = 0) and
// 0, without moving, when it was not. Positions and sizes are 32-bit, as in the file formats.
class TZevStream : public TZevAllocated {
public:
    virtual ~TZevStream() = default;
    // Moves to an absolute position; 1 when the position is the one asked for, 0 when it was refused or bounded.
    virtual int Seek(std::int32_t position) = 0;
    virtual std::int32_t Tell() = 0;
    virtual int Read(void* buffer, std::int32_t n) = 0;
    virtual int Write(const void* buffer, std::int32_t n) = 0;
    virtual std::int32_t GetSize() = 0;

    // Writes the characters of a zero-terminated text without the terminator (nothing for null).
    int WriteText(const char* text);
};

// The debug log's line for a file that cannot be opened: the fixed text, the name between double quotes, CR LF.
void ZevLogOpenFailure(const char* name);

// A file through the standard input/output library.
class TZevFile : public TZevStream {
public:
    TZevFile() : handle(nullptr) {}
    // Opens at once as Open does; handle stays null on failure.
    TZevFile(const char* name, const char* mode);
    ~TZevFile() override;
    TZevFile(const TZevFile&) = delete;
    TZevFile& operator=(const TZevFile&) = delete;

    int Seek(std::int32_t position) override;
    std::int32_t Tell() override;
    int Read(void* buffer, std::int32_t n) override;
    int Write(const void* buffer, std::int32_t n) override;
    std::int32_t GetSize() override;

    // Closes any open file, then opens `name` with the standard mode text ("rb", "wb", "at+", "wt", "at").
    // 1 on success; 0 and a line in the debug log on failure.
    virtual int Open(const char* name, const char* mode);
    virtual void Close();

    // Length of the open file (position kept); 0 when no file is open or it cannot be measured.
    std::int32_t GetFileLength();
    bool IsOpen() const { return handle != nullptr; }

    std::FILE* handle;
};

// Growable memory stream of 1,024-byte blocks. Its size is the highest byte written; reads stop there and seeks
// are bounded to [0, size]; a write grows the stream by as many blocks as it needs.
class TZevMemStream : public TZevStream {
public:
    static constexpr std::int32_t BlockSize = 1024;

    TZevMemStream();
    ~TZevMemStream() override;
    TZevMemStream(const TZevMemStream&) = delete;
    TZevMemStream& operator=(const TZevMemStream&) = delete;

    int Seek(std::int32_t position) override;
    std::int32_t Tell() override { return position; }
    int Read(void* buffer, std::int32_t n) override;
    int Write(const void* buffer, std::int32_t n) override;
    std::int32_t GetSize() override { return size; }

    std::int32_t GetCapacity() const { return capacity; }
    int GetBlockCount() const { return blocks.GetCount(); }

    std::int32_t position;
    std::int32_t capacity; // blocks * 1,024
    std::int32_t size;     // highest byte written
    TZevCursorList blocks; // 1,024-byte blocks from ZevAlloc
};

// A fixed buffer (plain heap, not counted): reads and writes beyond its size are refused whole.
class TZevBufferStream : public TZevStream {
public:
    TZevBufferStream() : data(nullptr), position(0), size(0) {}
    // A new buffer of n bytes (contents undefined); below 1, the empty stream.
    explicit TZevBufferStream(std::int32_t n);
    ~TZevBufferStream() override;
    TZevBufferStream(const TZevBufferStream&) = delete;
    TZevBufferStream& operator=(const TZevBufferStream&) = delete;

    // Bounded to [0, size].
    int Seek(std::int32_t position) override;
    std::int32_t Tell() override { return position; }
    int Read(void* buffer, std::int32_t n) override;
    int Write(const void* buffer, std::int32_t n) override;
    std::int32_t GetSize() override { return size; }

    // A new buffer of n bytes (copied from source when it is not null), position 0.
    void SetData(const void* source, std::int32_t n);
    // The whole file ("rb") as the buffer; 0 when it cannot be opened or is empty.
    int LoadFile(const char* name);

    char* data;
    std::int32_t position;
    std::int32_t size;
};
