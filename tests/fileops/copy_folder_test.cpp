// CopyFolder: what is copied, in which order it is logged, and how failures stop the copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fileops/copy_folder.h"
#include "fileops/scratch_folder.h"
#include "platform/debug.h"

namespace {

using tqtest::Join;
using tqtest::ReadBytes;
using tqtest::ScratchFolder;
using tqtest::WriteBytes;

std::string FolderLine(const std::wstring& source, const std::wstring& destination) {
    return platform::WideToAnsi(L"copy folder, src folder path \"" + source +
                                L"\", dest folder path \"" + destination + L"\"");
}

std::string FileLine(const std::wstring& source, const std::wstring& destination) {
    return platform::WideToAnsi(L"copy file, src file path \"" + source + L"\", dest file path \"" +
                                destination + L"\"");
}

// The texts of the log's lines, each checked for its "hh:mm:ss: " stamp.
std::vector<std::string> LogTexts(const std::wstring& logFolder) {
    std::vector<std::string> texts;
    for (const std::string& line : tqtest::ReadLines(Join(logFolder, L"Update2.log"))) {
        const bool stamped = line.size() >= 10 && line[2] == ':' && line[5] == ':' &&
                             line[8] == ':' && line[9] == ' ';
        EXPECT_TRUE(stamped) << line;
        texts.push_back(stamped ? line.substr(10) : line);
    }
    return texts;
}

class CopyFolderTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::SetUnattended(true); }

    ScratchFolder m_scratch;
    std::wstring m_source = m_scratch / L"source";
    std::wstring m_destination = m_scratch / L"destination";
    std::wstring m_logFolder = m_scratch / L"log";
};

TEST_F(CopyFolderTest, CopiesTheTreeOverTheDestinationAndLogsFilesBeforeSubfolders) {
    ASSERT_TRUE(platform::CreateFolder(m_source));
    WriteBytes(Join(m_source, L"a.txt"), "new a");
    WriteBytes(Join(m_source, L"b.bin"), std::string("\0\1\2\r\n", 5));
    ASSERT_TRUE(platform::CreateFolder(Join(m_source, L"one")));
    WriteBytes(Join(Join(m_source, L"one"), L"c.txt"), "c");
    ASSERT_TRUE(platform::CreateFolder(Join(Join(m_source, L"one"), L"deep")));
    WriteBytes(Join(Join(Join(m_source, L"one"), L"deep"), L"d.txt"), "d");
    ASSERT_TRUE(platform::CreateFolder(Join(m_source, L"two")));
    WriteBytes(Join(Join(m_source, L"two"), L"e.txt"), "e");

    ASSERT_TRUE(platform::CreateFolder(m_destination));
    WriteBytes(Join(m_destination, L"a.txt"), "old a, longer than the new one");
    WriteBytes(Join(m_destination, L"only_here.txt"), "kept");

    ASSERT_TRUE(CopyFolder(m_destination, m_source, m_destination));

    EXPECT_EQ(ReadBytes(Join(m_destination, L"a.txt")), "new a");
    EXPECT_EQ(ReadBytes(Join(m_destination, L"b.bin")), std::string("\0\1\2\r\n", 5));
    EXPECT_EQ(ReadBytes(Join(Join(m_destination, L"one"), L"c.txt")), "c");
    EXPECT_EQ(ReadBytes(Join(Join(Join(m_destination, L"one"), L"deep"), L"d.txt")), "d");
    EXPECT_EQ(ReadBytes(Join(Join(m_destination, L"two"), L"e.txt")), "e");
    EXPECT_EQ(ReadBytes(Join(m_destination, L"only_here.txt")), "kept");

    // Expected order: the folder, its files (in listing order), then each subfolder depth first.
    const auto block = [](const std::wstring& source, const std::wstring& destination,
                          const std::vector<std::wstring>& files) {
        std::vector<std::string> lines{FolderLine(source, destination)};
        for (const std::wstring& name : files) {
            lines.push_back(FileLine(Join(source, name), Join(destination, name)));
        }
        return lines;
    };
    std::vector<std::string> expected = block(m_source, m_destination, {});
    for (const platform::DirEntry& entry : platform::ListFolder(m_source)) {
        if (!entry.IsFolder()) {
            expected.push_back(
                FileLine(Join(m_source, entry.name), Join(m_destination, entry.name)));
        }
    }
    const std::wstring one = Join(m_source, L"one"), oneTo = Join(m_destination, L"one");
    std::vector<std::string> oneBlock = block(one, oneTo, {L"c.txt"});
    for (const std::string& line : block(Join(one, L"deep"), Join(oneTo, L"deep"), {L"d.txt"})) {
        oneBlock.push_back(line);
    }
    const std::vector<std::string> twoBlock =
        block(Join(m_source, L"two"), Join(m_destination, L"two"), {L"e.txt"});
    for (const platform::DirEntry& entry : platform::ListFolder(m_source)) {
        if (entry.IsFolder()) {
            const auto& sub = entry.name == L"one" ? oneBlock : twoBlock;
            expected.insert(expected.end(), sub.begin(), sub.end());
        }
    }
    EXPECT_EQ(LogTexts(m_destination), expected);
}

TEST_F(CopyFolderTest, ReplacesAReadOnlyFileInTheDestination) {
    if (!tqtest::ReadOnlyIsEnforced(m_scratch.Path())) {
        GTEST_SKIP() << "this platform lets the current user write read-only files (root on "
                        "Linux and under Wine), so replacing one proves nothing";
    }
    ASSERT_TRUE(platform::CreateFolder(m_source));
    ASSERT_TRUE(platform::CreateFolder(m_destination));
    WriteBytes(Join(m_source, L"client.dll"), "new");
    const std::wstring target = Join(m_destination, L"client.dll");
    WriteBytes(target, "old");
    ASSERT_TRUE(platform::SetAttributes(target, platform::kAttrReadOnly | platform::kAttrHidden));

    EXPECT_TRUE(CopyFolder(m_destination, m_source, m_destination));
    EXPECT_EQ(ReadBytes(target), "new");
    EXPECT_EQ(platform::GetAttributes(target) & platform::kAttrReadOnly, 0u);
}

TEST_F(CopyFolderTest, ReplacesAFileSpelledInAnotherCase) {
    ASSERT_TRUE(platform::CreateFolder(m_source));
    ASSERT_TRUE(platform::CreateFolder(m_destination));
    WriteBytes(Join(m_source, L"client.dll"), "new");
    WriteBytes(Join(m_destination, L"CLIENT.DLL"), "old");
    ASSERT_TRUE(
        platform::SetAttributes(Join(m_destination, L"CLIENT.DLL"), platform::kAttrReadOnly));

    EXPECT_TRUE(CopyFolder(m_logFolder, m_source, m_destination));

    const std::vector<platform::DirEntry> entries = platform::ListFolder(m_destination);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(platform::WideToUtf8(entries[0].name), "CLIENT.DLL");
    EXPECT_EQ(ReadBytes(Join(m_destination, L"CLIENT.DLL")), "new");
}

TEST_F(CopyFolderTest, AMissingSourceCreatesTheDestinationAndSucceeds) {
    struct Case {
        const char* name;
        bool logIntoDestination;
    };
    for (const Case& c : {Case{"separate log folder", false}, Case{"log in destination", true}}) {
        SCOPED_TRACE(c.name);
        const std::wstring destination = m_scratch / platform::Utf8ToWide(c.name);
        const std::wstring logFolder = c.logIntoDestination ? destination : m_logFolder;
        platform::CreateFolder(m_logFolder);
        testing::internal::CaptureStderr();
        EXPECT_TRUE(CopyFolder(logFolder, m_scratch / L"no_such_source", destination));
        const std::string shown = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(platform::IsFolder(destination));
        if (c.logIntoDestination) {
            // The folder line came before the folder existed: it is reported, not written.
            EXPECT_NE(shown.find("CreateFile error(3)"), std::string::npos) << shown;
            EXPECT_FALSE(platform::Exists(Join(destination, L"Update2.log")));
        } else {
            EXPECT_EQ(LogTexts(logFolder), std::vector<std::string>{FolderLine(
                                               m_scratch / L"no_such_source", destination)});
        }
        DeleteFolder(m_logFolder);
    }
}

TEST_F(CopyFolderTest, ADestinationWhoseParentIsMissingFailsWithPathNotFound) {
    ASSERT_TRUE(platform::CreateFolder(m_source));
    ASSERT_TRUE(platform::CreateFolder(m_logFolder));
    WriteBytes(Join(m_source, L"a.txt"), "a");
    const std::wstring destination = Join(m_scratch / L"missing_parent", L"destination");

    EXPECT_FALSE(CopyFolder(m_logFolder, m_source, destination));

    EXPECT_FALSE(platform::Exists(m_scratch / L"missing_parent"));
    EXPECT_EQ(
        LogTexts(m_logFolder),
        (std::vector<std::string>{FolderLine(m_source, destination),
                                  FileLine(Join(m_source, L"a.txt"), Join(destination, L"a.txt")),
                                  "CopyFile error 3"}));
}

TEST_F(CopyFolderTest, AFailureInASubfolderStopsEverythingAndKeepsWhatWasCopied) {
    // source: top.txt, sub/x.txt, sub/y.txt, sub/inner/z.txt. In the destination "sub" is a
    // file, so nothing can be copied into it.
    ASSERT_TRUE(platform::CreateFolder(m_source));
    WriteBytes(Join(m_source, L"top.txt"), "top");
    const std::wstring sub = Join(m_source, L"sub");
    ASSERT_TRUE(platform::CreateFolder(sub));
    WriteBytes(Join(sub, L"x.txt"), "x");
    WriteBytes(Join(sub, L"y.txt"), "y");
    ASSERT_TRUE(platform::CreateFolder(Join(sub, L"inner")));
    WriteBytes(Join(Join(sub, L"inner"), L"z.txt"), "z");
    ASSERT_TRUE(platform::CreateFolder(m_destination));
    WriteBytes(Join(m_destination, L"sub"), "in the way");

    EXPECT_FALSE(CopyFolder(m_destination, m_source, m_destination));

    EXPECT_EQ(ReadBytes(Join(m_destination, L"top.txt")), "top");
    EXPECT_EQ(ReadBytes(Join(m_destination, L"sub")), "in the way");
    const std::vector<std::string> texts = LogTexts(m_destination);
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts[2], FolderLine(sub, Join(m_destination, L"sub")));
    // The first file of the subfolder fails; its sibling and the inner folder are not tried.
    EXPECT_EQ(texts[3].rfind("copy file, src file path \"" + platform::WideToAnsi(sub), 0), 0u);
    EXPECT_EQ(texts[4], "CopyFile error 3");
}

TEST_F(CopyFolderTest, AFailedFileStopsTheRemainingFilesOfItsFolder) {
    // Every file of the folder fails (each target is a folder), so the first in listing order
    // is the only one tried and no subfolder is entered.
    ASSERT_TRUE(platform::CreateFolder(m_source));
    ASSERT_TRUE(platform::CreateFolder(m_destination));
    for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt"}) {
        WriteBytes(Join(m_source, name), "x");
        ASSERT_TRUE(platform::CreateFolder(Join(m_destination, name)));
    }
    ASSERT_TRUE(platform::CreateFolder(Join(m_source, L"sub")));
    WriteBytes(Join(Join(m_source, L"sub"), L"d.txt"), "d");

    EXPECT_FALSE(CopyFolder(m_destination, m_source, m_destination));

    const std::vector<std::string> texts = LogTexts(m_destination);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[2], "CopyFile error 5");
    EXPECT_FALSE(platform::Exists(Join(m_destination, L"sub")));
}

TEST_F(CopyFolderTest, EmptyFolderTextsNeverAddressTheRootFolder) {
    ASSERT_TRUE(platform::CreateFolder(m_source));
    ASSERT_TRUE(platform::CreateFolder(m_logFolder));
    WriteBytes(Join(m_source, L"tq_copy_probe.txt"), "x");
    const std::wstring rootFile = std::wstring(platform::kPathSepStr) + L"tq_copy_probe.txt";
    ASSERT_FALSE(platform::Exists(rootFile));

    EXPECT_FALSE(CopyFolder(m_logFolder, m_source, L""));
    EXPECT_FALSE(platform::Exists(rootFile));
    EXPECT_EQ(LogTexts(m_logFolder).back(), "CopyFile error 3");

    // An empty source lists nothing (not the root folder): nothing to copy, success.
    EXPECT_TRUE(CopyFolder(m_logFolder, L"", m_destination));
    EXPECT_TRUE(platform::ListFolder(m_destination).empty());
}

TEST_F(CopyFolderTest, ALogTextLongerThanTheBufferIsCut) {
    ASSERT_TRUE(platform::CreateFolder(m_logFolder));
    const std::wstring source = m_scratch / std::wstring(1100, L's');
    EXPECT_TRUE(CopyFolder(m_logFolder, source, m_scratch / L"short"));
    const std::vector<std::string> texts = LogTexts(m_logFolder);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].size(), 1023u);
    EXPECT_EQ(texts[0], FolderLine(source, L"").substr(0, 1023));
}

}  // namespace
