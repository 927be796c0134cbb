#include "zip/archive_file.h"

#include <algorithm>
#include <cstring>

namespace zip {

void ArchiveFile::Open(const std::wstring& path) {
    Forget();
    m_file = platform::File(path, platform::File::Mode::kRead);
}

void ArchiveFile::Close() {
    Forget();
    m_file.Close();
}

void ArchiveFile::Abort() noexcept {
    Forget();
    m_file.Abort();
}

void ArchiveFile::Forget() {
    for (Window& w : m_windows) {
        w.size = 0;
        w.start = 0;
    }
    m_position = 0;
    m_filePosition = UINT64_MAX;
    m_length = UINT64_MAX;
}

uint64_t ArchiveFile::Length() {
    if (m_length == UINT64_MAX) {
        m_length = m_file.Length();
    }
    return m_length;
}

const uint8_t* ArchiveFile::Cached(uint64_t position, size_t& available) {
    for (Window& w : m_windows) {
        if (position >= w.start && position - w.start < w.size) {
            w.lastUse = ++m_useCounter;
            const size_t offset = static_cast<size_t>(position - w.start);
            available = w.size - offset;
            return w.data.get() + offset;
        }
    }
    return nullptr;
}

size_t ArchiveFile::ReadAt(uint64_t position, void* buffer, size_t size) {
    if (position != m_filePosition) {
        // Positions come from the archive and may lie anywhere; the file layer takes signed ones.
        if (position > static_cast<uint64_t>(INT64_MAX)) {
            return 0;
        }
        m_filePosition =
            m_file.Seek(static_cast<int64_t>(position), platform::File::Origin::kBegin);
    }
    size_t done = 0;
    while (done < size) {
        const size_t got = m_file.Read(static_cast<uint8_t*>(buffer) + done, size - done);
        if (got == 0) {
            break;
        }
        done += got;
    }
    m_filePosition += done;
    return done;
}

size_t ArchiveFile::Read(void* buffer, size_t size) {
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < size) {
        size_t available = 0;
        if (const uint8_t* cached = Cached(m_position, available)) {
            const size_t n = std::min(available, size - done);
            std::memcpy(out + done, cached, n);
            done += n;
            m_position += n;
            continue;
        }
        if (m_position >= Length()) {
            break;
        }
        if (size - done >= kWindowSize) {
            // A large read gains nothing from the cache.
            const size_t got = ReadAt(m_position, out + done, size - done);
            done += got;
            m_position += got;
            break;
        }
        Window& w = m_windows[0].lastUse <= m_windows[1].lastUse ? m_windows[0] : m_windows[1];
        if (!w.data) {
            w.data = std::make_unique_for_overwrite<uint8_t[]>(kWindowSize);
        }
        w.size = 0;
        w.start = m_position;
        w.size = ReadAt(m_position, w.data.get(), kWindowSize);
        w.lastUse = ++m_useCounter;
        if (w.size == 0) {
            break;
        }
    }
    return done;
}

}  // namespace zip
