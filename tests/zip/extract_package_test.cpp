#include "zip/extract_package.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "support/test_files.h"
#include "support/zip_builder.h"
#include "zip/unzip_file.h"
#include "zip/zip_test_util.h"

using namespace tqtest;
using testing_support::ReadFileBytes;
using testing_support::RemoveTree;
using testing_support::TempDir;
using testing_support::WriteFileBytes;
using ziptest::CauseOf;

namespace {

std::string Pattern(size_t size) {
    std::string out(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        out[i] = static_cast<char>('a' + (i * 7 + i / 97) % 26);
    }
    return out;
}

class ExtractPackageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::CreateFolder(m_work / L"in");
        platform::CreateFolder(m_outside);
    }

    // Saves the archive and extracts it into the destination folder.
    bool Extract(const ZipBuilder& builder) {
        builder.Save(m_package);
        return ExtractPackage(m_package, m_dest);
    }
    std::string Content(const std::wstring& relative) {
        return ReadFileBytes(m_work / (L"out/" + relative));
    }
    bool ExistsInDest(const std::wstring& relative) {
        return platform::Exists(m_work / (L"out/" + relative));
    }

    TempDir m_work;
    std::wstring m_package = m_work / L"in/package.zip";
    // Two levels deep, so that a name climbing out lands in a folder the test watches.
    std::wstring m_outside = m_work / L"out";
    std::wstring m_dest = m_work / L"out/dest";
    std::wstring DestRelative(const std::wstring& r) { return L"dest/" + r; }
};

TEST_F(ExtractPackageTest, MissingPackageCreatesNothing) {
    EXPECT_FALSE(ExtractPackage(m_work / L"in/missing.zip", m_dest));
    EXPECT_FALSE(platform::Exists(m_dest));
}

TEST_F(ExtractPackageTest, PackageThatIsNoArchiveFailsBeforeTheDestinationExists) {
    WriteFileBytes(m_package, "");
    EXPECT_EQ(CauseOf([&] { ExtractPackage(m_package, m_dest); }), CZipException::kBadZipFile);
    EXPECT_FALSE(platform::Exists(m_dest));
}

TEST_F(ExtractPackageTest, WritesTheTreeWithEitherSeparatorAndAnyFolderEntries) {
    const std::string big = Pattern(204800 * 2 + 17);
    struct Case {
        const char* what;
        std::vector<ZipItem> items;
    };
    const Case cases[] = {
        {"folder entry first",
         {{"a/", "", kZipStored}, {"a/b.txt", "bee"}, {"a/c/d.bin", big, kZipStored}}},
        {"no folder entries", {{"a/b.txt", "bee"}, {"a/c/d.bin", big}}},
        {"backslashes", {{"a\\b.txt", "bee", kZipStored}, {"a\\c\\d.bin", big}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTree(m_outside);
        ZipBuilder builder;
        for (const ZipItem& item : c.items) {
            builder.Add(item);
        }
        ASSERT_TRUE(Extract(builder));
        EXPECT_EQ(Content(DestRelative(L"a/b.txt")), "bee");
        EXPECT_EQ(Content(DestRelative(L"a/c/d.bin")), big);
        EXPECT_TRUE(platform::IsFolder(m_work / L"out/dest/a/c"));
    }
}

TEST_F(ExtractPackageTest, ChunkBoundariesAndEmptyFiles) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{204799}, size_t{204800}, size_t{409600}}) {
        SCOPED_TRACE(size);
        const std::string data = Pattern(size);
        ASSERT_TRUE(Extract(ZipBuilder()
                                .AddFile("stored.bin", data, kZipStored)
                                .AddFile("deflated.bin", data, kZipDeflated)));
        EXPECT_EQ(Content(DestRelative(L"stored.bin")), data);
        EXPECT_EQ(Content(DestRelative(L"deflated.bin")), data);
    }
}

TEST_F(ExtractPackageTest, FolderEntryMakesOnlyAFolder) {
    ASSERT_TRUE(Extract(ZipBuilder().AddFolder("x/").AddFolder("y\\z\\")));
    EXPECT_TRUE(platform::IsFolder(m_work / L"out/dest/x"));
    EXPECT_TRUE(platform::IsFolder(m_work / L"out/dest/y/z"));
    EXPECT_EQ(platform::ListFolder(m_work / L"out/dest/x").size(), 0u);
}

TEST_F(ExtractPackageTest, DestinationWithOrWithoutTrailingSeparator) {
    for (const std::wstring& dest : {m_dest, m_dest + platform::kPathSep}) {
        RemoveTree(m_dest);
        ZipBuilder().AddFile("f.txt", "eff").Save(m_package);
        ASSERT_TRUE(ExtractPackage(m_package, dest));
        EXPECT_EQ(Content(DestRelative(L"f.txt")), "eff");
    }
}

TEST_F(ExtractPackageTest, ReplacesExistingFiles) {
    ASSERT_TRUE(Extract(ZipBuilder().AddFile("f.txt", "a much longer first version")));
    ASSERT_TRUE(Extract(ZipBuilder().AddFile("f.txt", "second")));
    EXPECT_EQ(Content(DestRelative(L"f.txt")), "second");
}

TEST_F(ExtractPackageTest, NamesMatchExistingFilesAndFoldersWithoutRegardToCase) {
    CreateFolderPath(m_work / L"out/dest/Bin/Sub");
    WriteFileBytes(m_work / L"out/dest/Bin/Sub/Readme.TXT", "old text that is longer");
    ASSERT_TRUE(Extract(ZipBuilder()
                            .AddFile("bin/sub/README.txt", "new")
                            .AddFile("BIN/SUB/added.dll", "dll")
                            .AddFile("bin/Other/x.txt", "x")));
    EXPECT_EQ(Content(DestRelative(L"Bin/Sub/Readme.TXT")), "new");
    EXPECT_EQ(Content(DestRelative(L"Bin/Sub/added.dll")), "dll");
    EXPECT_EQ(Content(DestRelative(L"Bin/Other/x.txt")), "x");
    EXPECT_EQ(platform::ListFolder(m_dest).size(), 1u);
    EXPECT_EQ(platform::ListFolder(m_work / L"out/dest/Bin/Sub").size(), 2u);
}

TEST_F(ExtractPackageTest, ReadOnlyExistingFileIsSkipped) {
    CreateFolderPath(m_dest);
    const std::wstring locked = m_work / L"out/dest/locked.txt";
    WriteFileBytes(locked, "old");
    ASSERT_TRUE(platform::SetAttributes(locked, platform::kAttrReadOnly));
    {
        platform::File probe;
        if (probe.TryOpen(locked, platform::File::Mode::kCreateWrite)) {
            probe.Abort();
            platform::SetAttributes(locked, platform::kAttrNormal);
            GTEST_SKIP() << "this user may write read-only files (running as root)";
        }
    }
    ASSERT_TRUE(Extract(ZipBuilder().AddFile("locked.txt", "new").AddFile("after.txt", "ok")));
    EXPECT_EQ(Content(DestRelative(L"locked.txt")), "old");
    EXPECT_EQ(Content(DestRelative(L"after.txt")), "ok");
}

TEST_F(ExtractPackageTest, WrittenFilesGetTheEntryTimeAsLocalTimeAndItsAttributes) {
    struct Case {
        int year, month, day, hour, minute, second;
    };
    // Winter and summer, for zones with daylight saving.
    for (const Case& c : {Case{2019, 1, 10, 8, 30, 14}, Case{2022, 7, 3, 23, 59, 58}}) {
        ZipItem item{"timed.txt", "t", kZipDeflated};
        item.dosDateTime = DosDateTime(c.year, c.month, c.day, c.hour, c.minute, c.second);
        item.externalAttributes = platform::kAttrReadOnly | platform::kAttrArchive;
        ZipItem plain{"plain.txt", "p", kZipStored};
        plain.dosDateTime = item.dosDateTime;
        RemoveTree(m_outside);
        ASSERT_TRUE(Extract(ZipBuilder().Add(item).Add(plain)));

        std::tm tm{};
        tm.tm_year = c.year - 1900;
        tm.tm_mon = c.month - 1;
        tm.tm_mday = c.day;
        tm.tm_hour = c.hour;
        tm.tm_min = c.minute;
        tm.tm_sec = c.second;
        tm.tm_isdst = -1;
        const std::time_t expected = std::mktime(&tm);
        EXPECT_EQ(platform::GetWriteTime(m_work / L"out/dest/timed.txt"), expected);
        EXPECT_EQ(platform::GetWriteTime(m_work / L"out/dest/plain.txt"), expected);
        EXPECT_NE(platform::GetAttributes(m_work / L"out/dest/timed.txt") & platform::kAttrReadOnly,
                  0u);
        EXPECT_EQ(platform::GetAttributes(m_work / L"out/dest/plain.txt") & platform::kAttrReadOnly,
                  0u);
    }
}

TEST_F(ExtractPackageTest, LocalHeaderMismatchLeavesAnEmptyFileBehind) {
    ZipBuilder builder;
    builder.AddFile("first.txt", "written").AddFile("second.txt", "never");
    builder.Corrupt([](std::string& b, const ZipLayout& l) {
        PutLE32(b, l.local[1] + zipfield::kLocalCrc, 0xDEADBEEF);
    });
    EXPECT_EQ(CauseOf([&] { Extract(builder); }), CZipException::kBadZipFile);
    EXPECT_EQ(Content(DestRelative(L"first.txt")), "written");
    ASSERT_TRUE(ExistsInDest(DestRelative(L"second.txt")));
    EXPECT_EQ(Content(DestRelative(L"second.txt")), "");
}

TEST_F(ExtractPackageTest, DamagedEntriesStopTheExtractionAfterTheEarlierOnes) {
    struct Case {
        const char* what;
        ZipBuilder::Hook hook;
        int32_t cause;
    };
    const Case cases[] = {
        {"corrupt deflate data in the second entry",
         [](std::string& b, const ZipLayout& l) { b[l.data[1]] = static_cast<char>(0xFF); },
         CZipException::kDataError},
        {"CRC of the last entry, found when the archive is closed",
         [](std::string& b, const ZipLayout& l) {
             PutLE32(b, l.local[1] + zipfield::kLocalCrc, 1);
             PutLE32(b, l.central[1] + zipfield::kCentralCrc, 1);
         },
         CZipException::kBadCrc},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTree(m_outside);
        ZipBuilder builder;
        builder.AddFile("one.txt", Pattern(5000)).AddFile("two.txt", Pattern(6000)).Corrupt(c.hook);
        EXPECT_EQ(CauseOf([&] { Extract(builder); }), c.cause);
        EXPECT_EQ(Content(DestRelative(L"one.txt")), Pattern(5000));
    }
}

TEST_F(ExtractPackageTest, NamesLeavingTheDestinationAreRefusedBeforeAnythingIsWritten) {
    const char* names[] = {
        "../evil.txt",    "..\\evil.txt",   "a/../../evil.txt", "a\\..\\..\\evil.txt",
        "/rooted.txt",    "\\rooted.txt",   "C:/drive.txt",     "C:drive.txt",
        "a/.../evil.txt", "a/.. /evil.txt", "../up/",           "..",
    };
    for (const char* name : names) {
        SCOPED_TRACE(name);
        RemoveTree(m_outside);
        platform::CreateFolder(m_outside);
        ZipBuilder builder;
        builder.AddFile("good.txt", "fine").AddFile(name, "escaped").AddFile("later.txt", "no");
        EXPECT_EQ(CauseOf([&] { Extract(builder); }), CZipException::kBadZipFile);
        EXPECT_EQ(Content(DestRelative(L"good.txt")), "fine");
        EXPECT_FALSE(ExistsInDest(DestRelative(L"later.txt")));
        // Only the destination is in the folder above it, and the package beside that.
        const auto outside = platform::ListFolder(m_outside);
        ASSERT_EQ(outside.size(), 1u);
        EXPECT_EQ(outside[0].name, L"dest");
        EXPECT_EQ(platform::ListFolder(m_work / L"in").size(), 1u);
        EXPECT_EQ(platform::ListFolder(m_work.Path()).size(), 2u);
    }
}

TEST_F(ExtractPackageTest, HarmlessDotsAndLongNames) {
    const std::string name259 = std::string(120, 'n') + "/" + std::string(138, 'm');
    ASSERT_EQ(name259.size(), 259u);
    ASSERT_TRUE(Extract(ZipBuilder()
                            .AddFile("./dot.txt", "dot")
                            .AddFile("a..b.txt", "dots inside")
                            .AddFile(std::string("cut.txt\0../../x", 15), "cut at the zero")));
    EXPECT_EQ(Content(DestRelative(L"dot.txt")), "dot");
    EXPECT_EQ(Content(DestRelative(L"a..b.txt")), "dots inside");
    EXPECT_EQ(Content(DestRelative(L"cut.txt")), "cut at the zero");

    // 260 bytes do not fit the name buffer: refused, not cut to another name.
    RemoveTree(m_outside);
    const std::string name260 = name259 + "m";
    EXPECT_EQ(CauseOf([&] { Extract(ZipBuilder().AddFile(name260, "long")); }),
              CZipException::kBadZipFile);
    EXPECT_EQ(platform::ListFolder(m_dest).size(), 0u);
}

TEST(CreateFolderPathTest, CreatesEveryLevel) {
    TempDir work;
    CreateFolderPath(work / L"a/b/c");
    EXPECT_TRUE(platform::IsFolder(work / L"a/b/c"));
    CreateFolderPath(work / L"a/b/c/d/");
    EXPECT_TRUE(platform::IsFolder(work / L"a/b/c/d"));
    CreateFolderPath(work / L"a/b");  // existing: no harm
    EXPECT_TRUE(platform::IsFolder(work / L"a/b/c"));
}

}  // namespace
