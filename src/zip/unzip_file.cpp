#include "zip/unzip_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr uint32_t kCentralRecordSignature = 0x02014B50;
constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint64_t kCentralRecordSize = 46;
constexpr uint64_t kLocalHeaderSize = 30;
constexpr uint32_t kMethodStored = 0;
constexpr uint32_t kMethodDeflated = 8;
constexpr uint32_t kFlagDataDescriptor = 0x8;
constexpr uint64_t kEndSearchLimit = 65535;
constexpr uint64_t kEndSearchStep = 1024;
constexpr size_t kEndSearchBlock = 1028;

// The DOS date-time as local time, daylight saving decided by the calendar. False for values
// the calendar rejects (month 0 or 13..15, day 0, hour 24.., minute 60.., second 60..).
bool DosDateTimeToTime(uint32_t dosDateTime, int64_t& result) {
    const uint32_t time = dosDateTime & 0xFFFF;
    const uint32_t date = dosDateTime >> 16;
    std::tm tm{};
    tm.tm_sec = static_cast<int>((time & 0x1F) * 2);
    tm.tm_min = static_cast<int>((time >> 5) & 0x3F);
    tm.tm_hour = static_cast<int>(time >> 11);
    tm.tm_mday = static_cast<int>(date & 0x1F);
    tm.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
    tm.tm_year = static_cast<int>(80 + (date >> 9));
    tm.tm_isdst = -1;
    if (tm.tm_sec > 59 || tm.tm_min > 59 || tm.tm_hour > 23 || tm.tm_mday < 1 || tm.tm_mon < 0 ||
        tm.tm_mon > 11) {
        return false;
    }
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) {
        return false;
    }
    result = static_cast<int64_t>(t);
    return true;
}

}  // namespace

// --- zlib memory ------------------------------------------------------------------------------

CZUBaseFile::~CZUBaseFile() {
    for (void* block : m_zlibBlocks) {
        std::free(block);
    }
}

voidpf CZUBaseFile::ZlibAlloc(voidpf opaque, uInt items, uInt size) {
    if (size != 0 && items > SIZE_MAX / size) {
        return Z_NULL;
    }
    void* block = std::malloc(static_cast<size_t>(items) * size);
    if (block != nullptr && opaque != nullptr) {
        try {
            static_cast<std::vector<void*>*>(opaque)->push_back(block);
        } catch (...) {
            // zlib is C: report the failure as out of memory rather than throw through it.
            std::free(block);
            return Z_NULL;
        }
    }
    return block;
}

void CZUBaseFile::ZlibFree(voidpf opaque, voidpf block) {
    if (opaque != nullptr) {
        auto& blocks = *static_cast<std::vector<void*>*>(opaque);
        const auto it = std::find(blocks.begin(), blocks.end(), block);
        if (it != blocks.end()) {
            blocks.erase(it);
        }
    }
    std::free(block);
}

// --- archive ----------------------------------------------------------------------------------

CUnzipFile::CUnzipFile(const std::wstring& path) {
    m_file = &m_archive;
    OpenArchive(path);
}

CUnzipFile::~CUnzipFile() {
    // The inflater is not ended here: its memory is tracked and freed by the base class, which
    // also covers a stream left half-initialised by an exception.
    m_readState.reset();
    if (IsArchiveOpen()) {
        m_archive.Abort();
    }
}

std::wstring CUnzipFile::ArchivePath() const {
    return IsArchiveOpen() ? m_archive.Path() : std::wstring();
}

void CUnzipFile::ThrowError(int code) const {
    ThrowZipError(code, ArchivePath());
}

uint32_t CUnzipFile::ReadUInt16() {
    uint8_t low = 0;
    uint8_t high = 0;
    if (!m_archive.ReadByte(low) || !m_archive.ReadByte(high)) {
        ThrowError(kZipBadZipFile);
    }
    return static_cast<uint32_t>(low) | (static_cast<uint32_t>(high) << 8);
}

uint32_t CUnzipFile::ReadUInt32() {
    const uint32_t low = ReadUInt16();
    return low | (ReadUInt16() << 16);
}

void CUnzipFile::ReadBytes(void* buffer, uint32_t size) {
    if (m_archive.Read(buffer, size) != size) {
        ThrowError(kZipBadZipFile);
    }
}

void CUnzipFile::OpenArchive(const std::wstring& path) {
    if (IsArchiveOpen()) {
        return;
    }
    m_archive.Open(path);

    const uint64_t endPosition = FindEndRecord();
    m_archive.Seek(endPosition);
    ReadUInt32();  // the signature, found by the search
    const uint32_t disk = ReadUInt16();
    const uint32_t centralDisk = ReadUInt16();
    const uint32_t entriesOnDisk = ReadUInt16();
    const uint32_t totalEntries = ReadUInt16();
    if (totalEntries != entriesOnDisk || disk != 0 || centralDisk != 0) {
        ThrowError(kZipBadZipFile);
    }
    m_entryCount = totalEntries;
    m_centralSize = ReadUInt32();
    m_centralOffset = ReadUInt32();
    m_commentLength = ReadUInt16();
    const uint64_t centralEnd = static_cast<uint64_t>(m_centralOffset) + m_centralSize;
    if (endPosition < centralEnd) {
        ThrowError(kZipBadZipFile);
    }
    m_bytesBefore = endPosition - centralEnd;
    m_endRecordPosition = endPosition;
    FirstEntry();
}

uint64_t CUnzipFile::FindEndRecord() {
    const uint64_t size = m_archive.Length();
    const uint64_t maxBack = std::min(size, kEndSearchLimit);
    const auto block = std::make_unique_for_overwrite<uint8_t[]>(kEndSearchBlock);
    uint64_t back = 4;
    uint64_t found = 0;
    // Blocks overlap by four bytes, so a signature across a block boundary is seen. Position 0
    // is no result: an archive has at least one central record before its end record.
    while (back < maxBack && found == 0) {
        back = std::min(back + kEndSearchStep, maxBack);
        const uint64_t readPosition = size - back;
        const size_t readSize = static_cast<size_t>(std::min<uint64_t>(kEndSearchBlock, back));
        m_archive.Seek(readPosition);
        const size_t got = m_archive.Read(block.get(), readSize);
        // The end record's signature 0x06054B50, little-endian; the highest match counts.
        for (size_t i = got >= 4 ? got - 3 : 0; i-- > 0;) {
            if (block[i] == 0x50 && block[i + 1] == 0x4B && block[i + 2] == 0x05 &&
                block[i + 3] == 0x06) {
                found = readPosition + i;
                break;
            }
        }
    }
    if (found == 0) {
        ThrowError(kZipBadZipFile);
    }
    return found;
}

void CUnzipFile::FirstEntry() {
    m_entryIndex = 0;
    m_centralPosition = m_centralOffset;
    ReadCentralRecord(m_centralPosition, m_entryInfo, m_localHeaderOffset, nullptr, 0);
    m_entryValid = true;
}

void CUnzipFile::ReadCentralRecord(uint64_t position, ZipEntryInfo& info,
                                   uint32_t& localHeaderOffset, char* name, uint32_t nameSize) {
    m_archive.Seek(m_bytesBefore + position);
    if (ReadUInt32() != kCentralRecordSignature) {
        ThrowError(kZipBadZipFile);
    }
    info.versionMadeBy = ReadUInt16();
    info.versionNeeded = ReadUInt16();
    info.flags = ReadUInt16();
    info.method = ReadUInt16();
    info.dosDateTime = ReadUInt32();
    if (!m_haveLastTime || info.dosDateTime != m_lastDosDateTime) {
        // The calendar's conversion looks at the time zone file on every call.
        if (!DosDateTimeToTime(info.dosDateTime, m_lastTimeStamp)) {
            ThrowError(kZipBadZipFile);
        }
        m_lastDosDateTime = info.dosDateTime;
        m_haveLastTime = true;
    }
    info.timeStamp = m_lastTimeStamp;
    info.crc = ReadUInt32();
    info.compressedSize = ReadUInt32();
    info.uncompressedSize = ReadUInt32();
    info.nameLength = ReadUInt16();
    info.extraLength = ReadUInt16();
    info.commentLength = ReadUInt16();
    info.diskNumberStart = ReadUInt16();
    info.internalAttributes = ReadUInt16();
    info.externalAttributes = ReadUInt32();
    localHeaderOffset = ReadUInt32();
    if (name != nullptr && nameSize > 0) {
        ReadBytes(name, std::min(info.nameLength, nameSize));
        if (info.nameLength < nameSize) {
            name[info.nameLength] = '\0';
        }
    }
}

void CUnzipFile::ReadEntryInfo(ZipEntryInfo& info, char* name, uint32_t nameSize) {
    if (!m_entryValid) {
        ThrowError(kZipParamError);
    }
    uint32_t localHeaderOffset = 0;
    ReadCentralRecord(m_centralPosition, info, localHeaderOffset, name, nameSize);
}

bool CUnzipFile::NextEntry() {
    if (!m_entryValid || m_entryIndex + 1 == m_entryCount) {
        return false;
    }
    m_centralPosition += kCentralRecordSize + m_entryInfo.nameLength + m_entryInfo.extraLength +
                         m_entryInfo.commentLength;
    ++m_entryIndex;
    ReadCentralRecord(m_centralPosition, m_entryInfo, m_localHeaderOffset, nullptr, 0);
    m_entryValid = true;
    return true;
}

// --- entry data -------------------------------------------------------------------------------

void CUnzipFile::CheckLocalHeader(EntryReadState& state) {
    m_archive.Seek(m_bytesBefore + m_localHeaderOffset);
    if (ReadUInt32() != kLocalHeaderSignature) {
        ThrowError(kZipBadZipFile);
    }
    ReadUInt16();  // version needed
    const uint32_t flags = ReadUInt16();
    const uint32_t method = ReadUInt16();
    if (method != m_entryInfo.method || (method != kMethodStored && method != kMethodDeflated)) {
        ThrowError(kZipBadZipFile);
    }
    ReadUInt32();  // date-time
    const uint32_t crc = ReadUInt32();
    const uint32_t compressedSize = ReadUInt32();
    const uint32_t uncompressedSize = ReadUInt32();
    // With a data descriptor the local header leaves these to the record after the data.
    if ((flags & kFlagDataDescriptor) == 0 &&
        (crc != m_entryInfo.crc || compressedSize != m_entryInfo.compressedSize ||
         uncompressedSize != m_entryInfo.uncompressedSize)) {
        ThrowError(kZipBadZipFile);
    }
    if (ReadUInt16() != m_entryInfo.nameLength) {
        ThrowError(kZipBadZipFile);
    }
    const uint32_t extraLength = ReadUInt16();
    state.localExtraOffset = m_localHeaderOffset + kLocalHeaderSize + m_entryInfo.nameLength;
    state.localExtraSize = extraLength;
    state.nextCompressed = state.localExtraOffset + extraLength;
    // Data said to reach past the end of the file can only be read short; refuse it here.
    if (m_bytesBefore + state.nextCompressed + m_entryInfo.compressedSize > m_archive.Length()) {
        ThrowError(kZipBadZipFile);
    }
}

void CUnzipFile::OpenEntry() {
    if (!m_entryValid) {
        ThrowError(kZipParamError);
    }
    if (m_readState) {
        CloseEntry();
    }
    auto state = std::make_unique<EntryReadState>();
    CheckLocalHeader(*state);
    state->input = std::make_unique_for_overwrite<uint8_t[]>(kInputBufferSize);
    state->expectedCrc = m_entryInfo.crc;
    state->method = m_entryInfo.method;
    state->bytesBefore = m_bytesBefore;
    state->compressedLeft = m_entryInfo.compressedSize;
    state->uncompressedLeft = m_entryInfo.uncompressedSize;
    m_readState = std::move(state);

    if (m_entryInfo.method != kMethodStored && m_entryInfo.method != kMethodDeflated) {
        ThrowError(kZipBadZipFile);
    }
    if (m_entryInfo.method == kMethodDeflated) {
        z_stream& stream = m_readState->stream;
        stream.zalloc = &CZUBaseFile::ZlibAlloc;
        stream.zfree = &CZUBaseFile::ZlibFree;
        stream.opaque = ZlibOpaque();
        // Negative window bits: raw deflate data, no zlib header.
        const int result = inflateInit2(&stream, -MAX_WBITS);
        if (result != Z_OK && result != Z_NEED_DICT) {
            ThrowError(result);
        }
        m_readState->streamInitialised = result == Z_OK;
    }
}

uint32_t CUnzipFile::ReadEntry(void* buffer, uint32_t length) {
    if (!m_readState) {
        ThrowError(kZipParamError);
    }
    if (length == 0 || buffer == nullptr) {
        return 0;
    }
    EntryReadState& s = *m_readState;
    z_stream& stream = s.stream;
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t space = std::min(length, s.uncompressedLeft);
    uint32_t total = 0;
    while (space > 0) {
        if (stream.avail_in == 0 && s.compressedLeft > 0) {
            const uint32_t n = std::min(kInputBufferSize, s.compressedLeft);
            m_archive.Seek(s.bytesBefore + s.nextCompressed);
            if (m_archive.Read(s.input.get(), n) != n) {
                ThrowError(kZipBadZipFile);  // the archive ends inside the entry's data
            }
            s.nextCompressed += n;
            s.compressedLeft -= n;
            stream.next_in = s.input.get();
            stream.avail_in = n;
        }
        if (s.method == kMethodStored) {
            if (stream.avail_in == 0) {
                // Stored data shorter than the entry's size: no more input will come.
                ThrowError(kZipBadZipFile);
            }
            const uint32_t n = std::min(space, stream.avail_in);
            std::memcpy(out, stream.next_in, n);
            s.crc = static_cast<uint32_t>(crc32(s.crc, out, n));
            stream.next_in += n;
            stream.avail_in -= n;
            s.uncompressedLeft -= n;
            out += n;
            space -= n;
            total += n;
        } else {
            stream.next_out = out;
            stream.avail_out = space;
            const int result = inflate(&stream, Z_SYNC_FLUSH);
            const uint32_t produced = space - stream.avail_out;
            s.crc = static_cast<uint32_t>(crc32(s.crc, out, produced));
            s.uncompressedLeft -= produced;
            out += produced;
            space -= produced;
            total += produced;
            if (result == Z_STREAM_END) {
                if (s.uncompressedLeft != 0) {
                    // The stream ends short of the entry's size: the data is incomplete.
                    ThrowError(kZipBadZipFile);
                }
                return total;
            }
            if (result != Z_OK && result != Z_NEED_DICT) {
                ThrowError(result);
            }
        }
    }
    return total;
}

void CUnzipFile::CloseEntry() {
    if (!m_readState) {
        return;
    }
    if (m_readState->uncompressedLeft == 0 && m_readState->crc != m_readState->expectedCrc) {
        ThrowError(kZipCrcError);
    }
    if (m_readState->streamInitialised) {
        inflateEnd(&m_readState->stream);
    }
    m_readState.reset();
}

void CUnzipFile::ApplyEntryStatus(platform::File& output, const ZipEntryInfo& info) {
    const std::wstring path = output.Path();
    output.Close();
    const std::time_t now = std::time(nullptr);
    if (!platform::SetFileTimes(path, now, now, static_cast<std::time_t>(info.timeStamp))) {
        throw platform::FileException(platform::LastError(), path);
    }
    // As stored: attributes made on other systems carry their bits in the high half, which the
    // file layer ignores.
    platform::SetAttributes(path, info.externalAttributes);
}

void CUnzipFile::CloseArchive() {
    if (!IsArchiveOpen()) {
        return;
    }
    CloseEntry();
    m_entryValid = false;
    m_archive.Close();
}
