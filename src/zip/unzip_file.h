// Reading the update package: a single-disk ZIP archive with stored and deflated entries, walked
// entry by entry in central directory order. Every failure is thrown: CZipException for the
// archive's content, platform::FileException for the file layer. One thread per reader; the
// archive is read through a cached file view (archive_file.h), entry data through one 16 KB input
// buffer per open entry; inflating and CRC-32 come from zlib.
//
// Calling order: construct (opens; the first entry is current) -> per entry ReadEntryInfo,
// OpenEntry, ReadEntry until it answers less than asked, NextEntry -> CloseArchive -> destroy.
// Opening an entry closes the one open before, which checks that entry's CRC-32 when it was read
// to its end. After any exception the object can still be destroyed and releases everything.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "zip/archive_file.h"
#include "zip/zip_exception.h"

// One entry as its central directory record describes it.
struct ZipEntryInfo {
    uint32_t versionMadeBy = 0;
    uint32_t versionNeeded = 0;
    uint32_t flags = 0;
    uint32_t method = 0;
    uint32_t dosDateTime = 0;  // time in the low 16 bits, date in the high 16 bits
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint32_t nameLength = 0;
    uint32_t extraLength = 0;
    uint32_t commentLength = 0;
    uint32_t diskNumberStart = 0;
    uint32_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    int64_t timeStamp = 0;  // seconds since 1970: the DOS date-time read as local time
};

// What reading one open entry needs.
struct EntryReadState {
    std::unique_ptr<uint8_t[]> input;  // kInputBufferSize bytes
    z_stream stream{};
    uint64_t nextCompressed = 0;  // next compressed byte, relative to the archive's start
    bool streamInitialised = false;
    uint64_t localExtraOffset = 0;
    uint32_t localExtraSize = 0;
    uint32_t localExtraPosition = 0;
    uint32_t crc = 0;
    uint32_t expectedCrc = 0;
    uint32_t compressedLeft = 0;
    uint32_t uncompressedLeft = 0;
    uint32_t method = 0;
    uint64_t bytesBefore = 0;
};

// Holds the archive's file object and the memory handed to zlib, so that an inflater abandoned
// by an exception is reclaimed with the reader.
class CZUBaseFile {
  public:
    CZUBaseFile(const CZUBaseFile&) = delete;
    CZUBaseFile& operator=(const CZUBaseFile&) = delete;
    virtual ~CZUBaseFile();

  protected:
    CZUBaseFile() = default;

    bool IsArchiveOpen() const { return m_file != nullptr && m_file->IsOpen(); }
    // The opaque value for zlib: the tracking list while tracking is on.
    void* ZlibOpaque() { return m_trackAllocations ? &m_zlibBlocks : nullptr; }
    static voidpf ZlibAlloc(voidpf opaque, uInt items, uInt size);
    static void ZlibFree(voidpf opaque, voidpf block);

    bool m_trackAllocations = true;
    std::vector<void*> m_zlibBlocks;
    zip::ArchiveFile* m_file = nullptr;
};

class CUnzipFile : public CZUBaseFile {
  public:
    static constexpr uint32_t kInputBufferSize = 16384;

    // Opens the archive; throws as OpenArchive does.
    explicit CUnzipFile(const std::wstring& path);
    ~CUnzipFile() override;

    // Opens the archive read-only, denying writers, and makes the first entry current. Does
    // nothing when an archive is open already.
    void OpenArchive(const std::wstring& path);
    // Reads the current entry's central record into info and, when name is given, its raw name:
    // zero-terminated when shorter than nameSize, else the first nameSize bytes unterminated.
    void ReadEntryInfo(ZipEntryInfo& info, char* name, uint32_t nameSize);
    // False at the last entry or without a current entry; the current entry then stays.
    bool NextEntry();
    void OpenEntry();
    // Up to length uncompressed bytes of the open entry; 0 for a zero length or null buffer.
    uint32_t ReadEntry(void* buffer, uint32_t length);
    // Ends reading the open entry; -105 when it was read to its end and its CRC-32 differs.
    void CloseEntry();
    // Closes an output file just written and gives it the entry's times and attributes.
    void ApplyEntryStatus(platform::File& output, const ZipEntryInfo& info);
    void CloseArchive();

    // The archive's path while it is open, else empty.
    std::wstring ArchivePath() const;

  private:
    [[noreturn]] void ThrowError(int code) const;
    uint32_t ReadUInt16();
    uint32_t ReadUInt32();
    void ReadBytes(void* buffer, uint32_t size);
    uint64_t FindEndRecord();
    void FirstEntry();
    // Reads the central record at the archive-relative position.
    void ReadCentralRecord(uint64_t position, ZipEntryInfo& info, uint32_t& localHeaderOffset,
                           char* name, uint32_t nameSize);
    void CheckLocalHeader(EntryReadState& state);

    zip::ArchiveFile m_archive;
    uint32_t m_entryCount = 0;
    uint32_t m_commentLength = 0;
    // Archive offsets are 32-bit; the positions made from them are kept in 64 bits so that no
    // sum of hostile values can wrap around to a plausible one.
    uint64_t m_bytesBefore = 0;
    uint32_t m_entryIndex = 0;
    uint64_t m_centralPosition = 0;
    bool m_entryValid = false;
    uint64_t m_endRecordPosition = 0;
    uint32_t m_centralSize = 0;
    uint32_t m_centralOffset = 0;
    ZipEntryInfo m_entryInfo;
    uint32_t m_localHeaderOffset = 0;
    std::unique_ptr<EntryReadState> m_readState;
    // The last date-time converted: entries of a package mostly share one, and each is read twice.
    uint32_t m_lastDosDateTime = 0;
    int64_t m_lastTimeStamp = 0;
    bool m_haveLastTime = false;
};
