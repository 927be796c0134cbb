// Read-only view of an archive file with a small read cache, for the ZIP reader.
//
// The reader takes every header field a byte at a time and jumps between the central directory
// and the entries' data. Two cached windows, one that tends to follow the central directory and
// one the entry data, turn those byte reads and seeks into memory copies; the disk is read a
// window at a time, and the system's file position is only moved when a window must be filled
// from elsewhere. The file is opened read-only and denies writers, so the cache cannot go stale.
// Single thread; errors of the file layer pass through as platform::FileException.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/fs.h"

namespace zip {

class ArchiveFile {
  public:
    ArchiveFile() = default;
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;

    // Opens read-only, denying writers (throws platform::FileException).
    void Open(const std::wstring& path);
    bool IsOpen() const { return m_file.IsOpen(); }
    const std::wstring& Path() const { return m_file.Path(); }
    void Close();
    void Abort() noexcept;

    uint64_t Length();
    // Moves the read position; positions past the end are allowed and read nothing.
    void Seek(uint64_t position) { m_position = position; }
    uint64_t Position() const { return m_position; }
    // Reads up to size bytes at the read position and advances it; fewer only at the end.
    size_t Read(void* buffer, size_t size);
    // One byte, or false at the end of the file.
    bool ReadByte(uint8_t& value) {
        for (Window& w : m_windows) {
            if (m_position >= w.start && m_position - w.start < w.size) {
                value = w.data[m_position - w.start];
                w.lastUse = ++m_useCounter;
                ++m_position;
                return true;
            }
        }
        return Read(&value, 1) == 1;
    }

  private:
    static constexpr size_t kWindowSize = 64 * 1024;
    struct Window {
        std::unique_ptr<uint8_t[]> data;
        uint64_t start = 0;
        size_t size = 0;
        uint64_t lastUse = 0;
    };

    // Bytes of the file at position that a window holds, or nullptr.
    const uint8_t* Cached(uint64_t position, size_t& available);
    // Reads straight from the file at position.
    size_t ReadAt(uint64_t position, void* buffer, size_t size);
    void Forget();

    platform::File m_file;
    Window m_windows[2];
    uint64_t m_useCounter = 0;
    uint64_t m_position = 0;
    uint64_t m_filePosition = UINT64_MAX;  // where the system's position stands, when known
    uint64_t m_length = UINT64_MAX;        // file length, once asked
};

}  // namespace zip
