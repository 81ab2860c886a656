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

// A file through the standard input/output library. A file opened for reading only is read through a buffer of
// its own, so that the seeks back and forth of the object stream readers (peeking at a record, skipping to a
// chunk's end) cost no system call while they stay within it; a file opened for writing only collects its writes
// in a window of its own in the same way, so that a writer going back to fill in a record's size does not flush
// every time. The file's length is measured once per open and then kept up to date by Write.
class TZevFile : public TZevStream {
public:
    TZevFile() = default;
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

    // The open file. A caller that moves or writes through it directly must not use the file's own operations
    // afterwards unless it was opened for writing (its length is then measured again after `LengthChanged`).
    std::FILE* handle = nullptr;
    // Forgets the known length: for a caller that wrote through `handle`.
    void LengthChanged() { length = -1; }
    // Hands what the write window holds to the file; false when that failed (the handle's error flag is set).
    bool FlushWrites();

protected:
    // Writes of a handle opened for writing only (not appending) go through the write window.
    void UseWriteWindow();

private:
    // Fills the read buffer from the file position that follows it; false at the end or on an error.
    bool Refill();

    static constexpr std::int32_t ReadBufferSize = 64 * 1024;

    std::int64_t length = -1; // -1 until measured
    bool readOnly = false;    // reads go through `readBuffer`
    bool written = false;     // written since opened: the library may hold bytes the file does not show yet
    // Read-only files: bytes [bufferStart, bufferStart + bufferLength) of the file, the position at bufferAt; the
    // handle stands at bufferStart + bufferLength. Plain heap, as the library's own buffers.
    char* readBuffer = nullptr;
    std::int32_t bufferCapacity = 0;
    std::int64_t bufferStart = 0;
    std::int32_t bufferLength = 0;
    std::int32_t bufferAt = 0;
    // Write-only files: bytes [windowStart, windowStart + windowLength) still to be written, the position at
    // windowAt; `handleAt` is where the handle stands (-1 when not known).
    bool writeWindow = false;
    char* window = nullptr;
    std::int64_t windowStart = 0;
    std::int32_t windowLength = 0;
    std::int32_t windowAt = 0;
    std::int64_t handleAt = 0;

    // Writes n bytes at the file position `at` through the handle.
    bool WriteAt(std::int64_t at, const void* data, std::size_t n);
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
