// Builds small ZIP archives in memory for tests: stored and deflated entries, data descriptors,
// bytes before the archive, an archive comment, folder entries and any name bytes. The layout of
// a built archive tells where every record lies, so that a test can damage any field with
// PutLE16/PutLE32 (directly or through a corruption hook) and see how the reader answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tqtest {

inline constexpr uint16_t kZipStored = 0;
inline constexpr uint16_t kZipDeflated = 8;

// A DOS date-time (date in the high half), seconds rounded down to even.
uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second);

struct ZipItem {
    std::string name;  // raw bytes, as they go into the archive
    std::string data;
    uint16_t method = kZipDeflated;
    bool dataDescriptor = false;  // flag bit 3: zeros in the local header, a record after the data
    uint32_t dosDateTime = DosDateTime(2021, 6, 15, 12, 34, 56);
    uint32_t externalAttributes = 0x20;
    uint16_t versionMadeBy = 20;
    std::string extra;    // written to the local header and the central record
    std::string comment;  // central record only
};

// Absolute offsets in the built bytes.
struct ZipLayout {
    std::vector<size_t> local;    // local header of each entry
    std::vector<size_t> data;     // first data byte of each entry
    std::vector<size_t> central;  // central record of each entry
    size_t centralStart = 0;
    size_t endRecord = 0;
};

// Field offsets inside the records.
namespace zipfield {
inline constexpr size_t kLocalFlags = 6;
inline constexpr size_t kLocalMethod = 8;
inline constexpr size_t kLocalTime = 10;
inline constexpr size_t kLocalCrc = 14;
inline constexpr size_t kLocalCompressed = 18;
inline constexpr size_t kLocalUncompressed = 22;
inline constexpr size_t kLocalNameLength = 26;
inline constexpr size_t kLocalExtraLength = 28;
inline constexpr size_t kCentralFlags = 8;
inline constexpr size_t kCentralMethod = 10;
inline constexpr size_t kCentralTime = 12;
inline constexpr size_t kCentralCrc = 16;
inline constexpr size_t kCentralCompressed = 20;
inline constexpr size_t kCentralUncompressed = 24;
inline constexpr size_t kCentralNameLength = 28;
inline constexpr size_t kCentralExtraLength = 30;
inline constexpr size_t kCentralCommentLength = 32;
inline constexpr size_t kCentralExternal = 38;
inline constexpr size_t kCentralLocalOffset = 42;
inline constexpr size_t kEndDisk = 4;
inline constexpr size_t kEndCentralDisk = 6;
inline constexpr size_t kEndEntriesOnDisk = 8;
inline constexpr size_t kEndEntries = 10;
inline constexpr size_t kEndCentralSize = 12;
inline constexpr size_t kEndCentralOffset = 16;
inline constexpr size_t kEndCommentLength = 20;
}  // namespace zipfield

class ZipBuilder {
  public:
    using Hook = std::function<void(std::string& bytes, const ZipLayout& layout)>;

    ZipBuilder& Add(ZipItem item);
    ZipBuilder& AddFile(std::string name, std::string data, uint16_t method = kZipDeflated);
    ZipBuilder& AddFolder(std::string name);  // name should end with a slash
    ZipBuilder& Prefix(std::string bytes);
    ZipBuilder& Comment(std::string text);
    // Runs on the finished bytes; hooks run in the order they were added.
    ZipBuilder& Corrupt(Hook hook);

    std::string Build(ZipLayout* layout = nullptr) const;
    // Builds and writes the archive to path, making its folders.
    void Save(const std::wstring& path) const;

  private:
    std::vector<ZipItem> m_items;
    std::string m_prefix;
    std::string m_comment;
    std::vector<Hook> m_hooks;
};

void PutLE16(std::string& bytes, size_t at, uint16_t value);
void PutLE32(std::string& bytes, size_t at, uint32_t value);
uint32_t GetLE32(std::string_view bytes, size_t at);
// Raw deflate data (no zlib header), as the archive holds it.
std::string DeflateRaw(std::string_view data);
uint32_t Crc32(std::string_view data);

}  // namespace tqtest
