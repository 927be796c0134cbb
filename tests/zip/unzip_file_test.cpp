#include "zip/unzip_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/test_files.h"
#include "support/zip_builder.h"
#include "zip/zip_test_util.h"

using namespace tqtest;
using testing_support::TempDir;
using testing_support::WriteFileBytes;
using ziptest::CauseOf;

namespace {

// Text that compresses, long enough to need several input buffers and output chunks.
std::string Compressible(size_t size) {
    std::string out;
    unsigned state = 1;
    while (out.size() < size) {
        state = state * 214013 + 2531011;
        out += "line " + std::to_string((state >> 16) % 1000) + " of the package\n";
    }
    out.resize(size);
    return out;
}

// Bytes that do not compress, so that the deflated form is larger than one input buffer.
std::string Noise(size_t size) {
    std::string out(size, '\0');
    unsigned state = 7;
    for (char& c : out) {
        state = state * 1103515245 + 12345;
        c = static_cast<char>(state >> 23);
    }
    return out;
}

std::string ReadAll(CUnzipFile& unzip, uint32_t chunk) {
    std::string out;
    std::vector<char> buffer(chunk);
    for (;;) {
        const uint32_t got = unzip.ReadEntry(buffer.data(), chunk);
        out.append(buffer.data(), got);
        if (got < chunk) {
            return out;
        }
    }
}

std::string NameOf(CUnzipFile& unzip, ZipEntryInfo& info) {
    char name[300];
    unzip.ReadEntryInfo(info, name, sizeof name);
    return name;
}

class UnzipFileTest : public ::testing::Test {
  protected:
    std::wstring Save(const ZipBuilder& builder) {
        WriteFileBytes(m_path, builder.Build());
        return m_path;
    }
    std::wstring SaveBytes(const std::string& bytes) {
        WriteFileBytes(m_path, bytes);
        return m_path;
    }

    TempDir m_folder;
    std::wstring m_path = m_folder / L"package.zip";
};

TEST_F(UnzipFileTest, ReadsEveryKindOfEntryInAnyChunkSize) {
    std::vector<ZipItem> items;
    items.push_back({"stored.txt", "plain stored bytes", kZipStored});
    items.push_back({"deflated.txt", Compressible(300000), kZipDeflated});
    items.push_back({"noise.bin", Noise(70000), kZipDeflated});
    items.push_back({"big-stored.bin", Noise(40000), kZipStored});
    items.push_back({"empty.txt", "", kZipDeflated});
    items.push_back({"folder/", "", kZipStored});
    ZipItem described{"descriptor.txt", Compressible(50000), kZipDeflated};
    described.dataDescriptor = true;
    items.push_back(described);
    ZipItem withExtra{"dir\\extra.txt", "extra and comment", kZipStored};
    withExtra.extra = std::string("\x55\x54\x05\x00\x01\x00\x00\x00\x00", 9);
    withExtra.comment = "entry comment";
    withExtra.externalAttributes = 0x81A40001;
    items.push_back(withExtra);

    ZipBuilder builder;
    for (const ZipItem& item : items) {
        builder.Add(item);
    }
    Save(builder);

    for (uint32_t chunk : {1u, 7u, 4096u, 16384u, 204800u, 1000000u}) {
        SCOPED_TRACE("chunk " + std::to_string(chunk));
        CUnzipFile unzip(m_path);
        for (size_t i = 0; i < items.size(); ++i) {
            SCOPED_TRACE(items[i].name);
            if (i > 0) {
                ASSERT_TRUE(unzip.NextEntry());
            }
            ZipEntryInfo info;
            EXPECT_EQ(NameOf(unzip, info), items[i].name);
            EXPECT_EQ(info.method, items[i].method);
            EXPECT_EQ(info.uncompressedSize, items[i].data.size());
            EXPECT_EQ(info.crc, Crc32(items[i].data));
            EXPECT_EQ(info.externalAttributes, items[i].externalAttributes);
            EXPECT_EQ(info.dosDateTime, items[i].dosDateTime);
            EXPECT_EQ(info.flags, items[i].dataDescriptor ? 8u : 0u);
            EXPECT_EQ(info.commentLength, items[i].comment.size());
            unzip.OpenEntry();
            EXPECT_EQ(ReadAll(unzip, chunk), items[i].data);
            unzip.CloseEntry();
        }
        EXPECT_FALSE(unzip.NextEntry());
        unzip.CloseArchive();
    }
}

TEST_F(UnzipFileTest, FindsTheEndRecordWhereverTheCommentPutsIt) {
    // The end record is 22 bytes; the search reads 1,028-byte blocks that overlap by 4 within
    // the last 65,535 bytes. These comment lengths put the signature at and across the block
    // boundaries and at the very limit; the prefix keeps the blocks from reaching the file's start.
    const std::string prefix(70000, 'p');
    for (size_t commentLength :
         {0u, 1u, 1005u, 1006u, 1007u, 1008u, 1009u, 1010u, 2030u, 2031u, 2033u, 40000u, 65513u}) {
        SCOPED_TRACE("comment " + std::to_string(commentLength));
        std::string comment(commentLength, 'c');
        Save(ZipBuilder().AddFile("a.txt", "alpha").Prefix(prefix).Comment(comment));
        CUnzipFile unzip(m_path);
        unzip.OpenEntry();
        EXPECT_EQ(ReadAll(unzip, 100), "alpha");
    }
}

TEST_F(UnzipFileTest, OffsetsCountFromTheArchiveStartAfterAPrefix) {
    const std::string prefix(70000, 'x');  // more than the end record search covers
    Save(ZipBuilder().Prefix(prefix).AddFile("one.txt", "first").AddFile("two.txt", "second"));
    CUnzipFile unzip(m_path);
    unzip.OpenEntry();
    EXPECT_EQ(ReadAll(unzip, 64), "first");
    ASSERT_TRUE(unzip.NextEntry());
    unzip.OpenEntry();
    EXPECT_EQ(ReadAll(unzip, 64), "second");
}

TEST_F(UnzipFileTest, NextEntryAtTheLastEntryKeepsIt) {
    Save(ZipBuilder().AddFile("one.txt", "1").AddFile("two.txt", "22"));
    CUnzipFile unzip(m_path);
    ASSERT_TRUE(unzip.NextEntry());
    EXPECT_FALSE(unzip.NextEntry());
    EXPECT_FALSE(unzip.NextEntry());
    ZipEntryInfo info;
    EXPECT_EQ(NameOf(unzip, info), "two.txt");
    unzip.OpenEntry();
    EXPECT_EQ(ReadAll(unzip, 10), "22");
}

TEST_F(UnzipFileTest, NameBufferIsTerminatedOnlyWhenTheNameFits) {
    Save(ZipBuilder().AddFile("abcdef", "x"));
    CUnzipFile unzip(m_path);
    struct Case {
        uint32_t size;
        std::string expected;  // buffer content up to the size
    };
    for (const Case& c : {Case{7, std::string("abcdef\0", 7)}, Case{6, "abcdef"}, Case{3, "abc"}}) {
        SCOPED_TRACE(c.size);
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        ZipEntryInfo info;
        unzip.ReadEntryInfo(info, buffer, c.size);
        EXPECT_EQ(std::string(buffer, c.size), c.expected);
        EXPECT_EQ(buffer[c.size], '#');
        EXPECT_EQ(info.nameLength, 6u);
    }
    ZipEntryInfo info;
    unzip.ReadEntryInfo(info, nullptr, 0);
    EXPECT_EQ(info.uncompressedSize, 1u);
}

TEST_F(UnzipFileTest, ZeroLengthReadChangesNothing) {
    Save(ZipBuilder().AddFile("a.txt", "content"));
    CUnzipFile unzip(m_path);
    unzip.OpenEntry();
    char buffer[16];
    EXPECT_EQ(unzip.ReadEntry(buffer, 0), 0u);
    EXPECT_EQ(unzip.ReadEntry(nullptr, 16), 0u);
    EXPECT_EQ(ReadAll(unzip, 16), "content");
}

TEST_F(UnzipFileTest, EntryOperationsWithoutAnOpenEntryAreCause10) {
    Save(ZipBuilder().AddFile("a.txt", "content"));
    CUnzipFile unzip(m_path);
    char buffer[16];
    EXPECT_EQ(CauseOf([&] { unzip.ReadEntry(buffer, 16); }), CZipException::kBadFuncParam);
    unzip.OpenEntry();
    unzip.CloseEntry();
    EXPECT_EQ(CauseOf([&] { unzip.ReadEntry(buffer, 16); }), CZipException::kBadFuncParam);
    unzip.CloseEntry();  // nothing open: no effect
    unzip.CloseArchive();
    EXPECT_EQ(CauseOf([&] { unzip.OpenEntry(); }), CZipException::kBadFuncParam);
}

TEST_F(UnzipFileTest, MissingArchiveRaisesAFileException) {
    EXPECT_THROW(CUnzipFile(m_folder / L"missing.zip"), platform::FileException);
}

// --- damaged archives -------------------------------------------------------------------------

enum class Stage { kOpen, kOpenEntry, kRead };

struct Damage {
    const char* what;
    ZipBuilder::Hook hook;
    Stage stage;
    int32_t cause;
    const char* data = "some content of the entry, some content of the entry";
    uint16_t method = kZipDeflated;
};

ZipBuilder::Hook Put16(size_t ZipLayout::*where, size_t field, uint16_t value) {
    return [=](std::string& b, const ZipLayout& l) { PutLE16(b, l.*where + field, value); };
}
ZipBuilder::Hook Put32(size_t ZipLayout::*where, size_t field, uint32_t value) {
    return [=](std::string& b, const ZipLayout& l) { PutLE32(b, l.*where + field, value); };
}
ZipBuilder::Hook Local16(size_t field, uint16_t value) {
    return [=](std::string& b, const ZipLayout& l) { PutLE16(b, l.local[0] + field, value); };
}
ZipBuilder::Hook Local32(size_t field, uint32_t value) {
    return [=](std::string& b, const ZipLayout& l) { PutLE32(b, l.local[0] + field, value); };
}
ZipBuilder::Hook Central32(size_t field, uint32_t value) {
    return [=](std::string& b, const ZipLayout& l) { PutLE32(b, l.central[0] + field, value); };
}
ZipBuilder::Hook Both32(size_t localField, size_t centralField, uint32_t value) {
    return [=](std::string& b, const ZipLayout& l) {
        PutLE32(b, l.local[0] + localField, value);
        PutLE32(b, l.central[0] + centralField, value);
    };
}
ZipBuilder::Hook DateTime(int year, int month, int day, int hour, int minute, int second) {
    return [=](std::string& b, const ZipLayout& l) {
        const uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
        const uint32_t time = static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
        PutLE32(b, l.central[0] + zipfield::kCentralTime, (date << 16) | time);
    };
}

using namespace zipfield;

const Damage kDamages[] = {
    {"disk number", Put16(&ZipLayout::endRecord, kEndDisk, 1), Stage::kOpen, 11},
    {"central directory disk", Put16(&ZipLayout::endRecord, kEndCentralDisk, 1), Stage::kOpen, 11},
    {"entries on this disk", Put16(&ZipLayout::endRecord, kEndEntriesOnDisk, 2), Stage::kOpen, 11},
    {"directory past the end record", Put32(&ZipLayout::endRecord, kEndCentralSize, 1000),
     Stage::kOpen, 11},
    {"offset and size wrap around 32 bits",
     [](std::string& b, const ZipLayout& l) {
         PutLE32(b, l.endRecord + kEndCentralOffset, 0xFFFFFFF0u);
         PutLE32(b, l.endRecord + kEndCentralSize, 0x20);
     },
     Stage::kOpen, 11},
    {"central signature", Put32(&ZipLayout::centralStart, 0, 0x02014B51), Stage::kOpen, 11},
    {"month 0", DateTime(2020, 0, 1, 0, 0, 0), Stage::kOpen, 11},
    {"month 13", DateTime(2020, 13, 1, 0, 0, 0), Stage::kOpen, 11},
    {"day 0", DateTime(2020, 5, 0, 0, 0, 0), Stage::kOpen, 11},
    {"hour 24", DateTime(2020, 5, 1, 24, 0, 0), Stage::kOpen, 11},
    {"minute 60", DateTime(2020, 5, 1, 0, 60, 0), Stage::kOpen, 11},
    {"second 60", DateTime(2020, 5, 1, 0, 0, 60), Stage::kOpen, 11},
    {"local header past the end", Central32(kCentralLocalOffset, 0x7FFFFFF0), Stage::kOpenEntry,
     11},
    {"local signature", Local32(0, 0x04034B51), Stage::kOpenEntry, 11},
    {"local method differs", Local16(kLocalMethod, 0), Stage::kOpenEntry, 11},
    {"method 12 in both headers",
     [](std::string& b, const ZipLayout& l) {
         PutLE16(b, l.local[0] + kLocalMethod, 12);
         PutLE16(b, l.central[0] + kCentralMethod, 12);
     },
     Stage::kOpenEntry, 11},
    {"local CRC differs", Local32(kLocalCrc, 1), Stage::kOpenEntry, 11},
    {"local compressed size differs", Local32(kLocalCompressed, 1), Stage::kOpenEntry, 11},
    {"local size differs", Local32(kLocalUncompressed, 1), Stage::kOpenEntry, 11},
    {"local name length differs", Local16(kLocalNameLength, 4), Stage::kOpenEntry, 11},
    {"compressed size past the end of the file",
     Both32(kLocalCompressed, kCentralCompressed, 0xFFFFFF00u), Stage::kOpenEntry, 11},
    {"stored data shorter than its size", Both32(kLocalUncompressed, kCentralUncompressed, 500),
     Stage::kRead, 11, "short", kZipStored},
    {"deflate stream ends before the size", Both32(kLocalUncompressed, kCentralUncompressed, 500),
     Stage::kRead, 11},
    {"deflate data cut short", Both32(kLocalCompressed, kCentralCompressed, 3), Stage::kRead, 8},
    {"corrupt deflate data",
     [](std::string& b, const ZipLayout& l) { b[l.data[0]] = static_cast<char>(0xFF); },
     Stage::kRead, 6},
};

TEST_F(UnzipFileTest, DamagedArchivesRaiseTheirCause) {
    for (const Damage& d : kDamages) {
        SCOPED_TRACE(d.what);
        ZipItem item{"entry.txt", d.data, d.method};
        Save(ZipBuilder().Add(item).Corrupt(d.hook));
        Stage reached = Stage::kOpen;
        const int32_t cause = CauseOf([&] {
            CUnzipFile unzip(m_path);
            reached = Stage::kOpenEntry;
            unzip.OpenEntry();
            reached = Stage::kRead;
            ReadAll(unzip, 1000);
            reached = Stage::kOpen;  // read through: wrong
        });
        EXPECT_EQ(cause, d.cause);
        EXPECT_EQ(reached, d.stage);
    }
}

TEST_F(UnzipFileTest, FilesThatAreNoArchiveAreCause11) {
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::string endOnly = ZipBuilder().Build();
    std::string longComment =
        ZipBuilder().AddFile("a", "b").Comment(std::string(65514, 'c')).Build();
    // A local header whose signature is the last four bytes of the file: its fields run off the
    // end.
    ZipLayout layout;
    std::string shortHeader = ZipBuilder().AddFile("a", "b").Comment("PK\x03\x04").Build(&layout);
    PutLE32(shortHeader, layout.central[0] + zipfield::kCentralLocalOffset,
            static_cast<uint32_t>(shortHeader.size() - 4));
    const Case cases[] = {
        {"empty file", ""},
        {"text", "this is not an archive at all"},
        {"no entries, end record at 0", endOnly},
        {"no entries after a prefix", "prefix" + endOnly},
        {"end record beyond the search", longComment},
        {"truncated before the end record", longComment.substr(0, 100)},
        {"header read past the end", shortHeader},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SaveBytes(c.bytes);
        EXPECT_EQ(CauseOf([&] {
                      CUnzipFile unzip(m_path);
                      unzip.OpenEntry();
                  }),
                  CZipException::kBadZipFile);
    }
}

TEST_F(UnzipFileTest, ErrorsCarryTheArchivePath) {
    SaveBytes("not an archive, long enough to be searched");
    try {
        CUnzipFile unzip(m_path);
        FAIL() << "no exception";
    } catch (const CZipException& e) {
        EXPECT_EQ(e.m_cause, CZipException::kBadZipFile);
        EXPECT_EQ(e.m_path, m_path);
    }
}

TEST_F(UnzipFileTest, CrcMismatchIsRaisedOnlyWhenAFullyReadEntryIsClosed) {
    ZipLayout layout;
    const std::string data = Compressible(30000);
    std::string bytes =
        ZipBuilder().AddFile("bad.txt", data).AddFile("next.txt", "n").Build(&layout);
    PutLE32(bytes, layout.local[0] + zipfield::kLocalCrc, 0x12345678);
    PutLE32(bytes, layout.central[0] + zipfield::kCentralCrc, 0x12345678);
    SaveBytes(bytes);

    enum class Closer { kCloseEntry, kNextOpenEntry, kCloseArchive };
    for (Closer closer : {Closer::kCloseEntry, Closer::kNextOpenEntry, Closer::kCloseArchive}) {
        SCOPED_TRACE(static_cast<int>(closer));
        CUnzipFile unzip(m_path);
        unzip.OpenEntry();
        std::string got;
        ASSERT_NO_THROW(got = ReadAll(unzip, 4096));
        EXPECT_EQ(got, data);
        EXPECT_EQ(CauseOf([&] {
                      switch (closer) {
                          case Closer::kCloseEntry:
                              unzip.CloseEntry();
                              break;
                          case Closer::kNextOpenEntry:
                              unzip.NextEntry();
                              unzip.OpenEntry();
                              break;
                          case Closer::kCloseArchive:
                              unzip.CloseArchive();
                              break;
                      }
                  }),
                  CZipException::kBadCrc);
    }

    // Read only in part: closed without a comparison.
    CUnzipFile unzip(m_path);
    unzip.OpenEntry();
    char buffer[100];
    EXPECT_EQ(unzip.ReadEntry(buffer, sizeof buffer), sizeof buffer);
    EXPECT_NO_THROW(unzip.CloseEntry());
    EXPECT_NO_THROW(unzip.CloseArchive());
}

TEST_F(UnzipFileTest, ReaderAbandonedInsideAnInflaterIsDestroyedCleanly) {
    // The sanitizer build checks that the inflater's memory goes with the reader, whether the
    // entry was left open or its reading ended in an exception.
    ZipLayout layout;
    std::string bytes = ZipBuilder().AddFile("a.txt", Compressible(100000)).Build(&layout);
    SaveBytes(bytes);
    {
        CUnzipFile unzip(m_path);
        unzip.OpenEntry();
        char buffer[16];
        EXPECT_EQ(unzip.ReadEntry(buffer, sizeof buffer), sizeof buffer);
    }
    bytes[layout.data[0]] = static_cast<char>(0xFF);
    SaveBytes(bytes);
    {
        CUnzipFile unzip(m_path);
        unzip.OpenEntry();
        EXPECT_EQ(CauseOf([&] { ReadAll(unzip, 4096); }), CZipException::kDataError);
    }
}

}  // namespace
