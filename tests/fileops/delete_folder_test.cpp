// DeleteFolder: everything goes, read-only and hidden files included; links are removed without
// touching what they point to; empty and missing folders are left alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fileops/copy_folder.h"
#include "fileops/scratch_folder.h"
#include "platform/fs_links.h"

namespace {

using tqtest::Join;
using tqtest::ReadBytes;
using tqtest::ScratchFolder;
using tqtest::WriteBytes;

TEST(DeleteFolderTest, RemovesTheTreeWithReadOnlyAndHiddenFiles) {
    ScratchFolder scratch;
    const std::wstring root = scratch / L"KData";
    ASSERT_TRUE(platform::CreateFolder(root));
    WriteBytes(Join(root, L"plain.dat"), "p");
    WriteBytes(Join(root, L"locked.dat"), "r");
    ASSERT_TRUE(platform::SetAttributes(Join(root, L"locked.dat"), platform::kAttrReadOnly));
    WriteBytes(Join(root, L".hidden"), "h");
    platform::SetAttributes(Join(root, L".hidden"), platform::kAttrHidden | platform::kAttrSystem |
                                                        platform::kAttrReadOnly);
    const std::wstring sub = Join(root, L"sub");
    ASSERT_TRUE(platform::CreateFolder(sub));
    ASSERT_TRUE(platform::CreateFolder(Join(sub, L"empty")));
    WriteBytes(Join(sub, L"deep.dat"), "d");
    ASSERT_TRUE(platform::SetAttributes(Join(sub, L"deep.dat"), platform::kAttrReadOnly));
    platform::SetAttributes(sub, platform::kAttrHidden | platform::kAttrReadOnly);

    DeleteFolder(root);

    EXPECT_FALSE(platform::Exists(root));
    EXPECT_TRUE(platform::IsFolder(scratch.Path()));
}

TEST(DeleteFolderTest, AnEmptyTextOrAMissingFolderChangesNothing) {
    ScratchFolder scratch;
    WriteBytes(scratch / L"stays.txt", "s");
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(std::filesystem::path(scratch.Path()));

    DeleteFolder(L"");
    DeleteFolder(scratch / L"missing");

    std::filesystem::current_path(previous);
    EXPECT_EQ(ReadBytes(scratch / L"stays.txt"), "s");
    EXPECT_EQ(platform::ListFolder(scratch.Path()).size(), 1u);
}

TEST(DeleteFolderTest, RemovesLinksButNotWhatTheyPointTo) {
    ScratchFolder scratch;
    const std::wstring outside = scratch / L"outside";
    ASSERT_TRUE(platform::CreateFolder(outside));
    WriteBytes(Join(outside, L"precious.dat"), "keep me");
    ASSERT_TRUE(platform::SetAttributes(Join(outside, L"precious.dat"), platform::kAttrReadOnly));

    const std::wstring root = scratch / L"KData";
    ASSERT_TRUE(platform::CreateFolder(root));
    WriteBytes(Join(root, L"own.dat"), "o");
    if (!platform::CreateFolderLink(Join(root, L"link"), outside)) {
        GTEST_SKIP() << "symbolic links to folders cannot be created here (error "
                     << platform::LastError() << ")";
    }
    ASSERT_TRUE(platform::CreateFolderLink(scratch / L"top_link", outside));

    DeleteFolder(root);
    EXPECT_FALSE(platform::Exists(root));

    // A link given as the folder itself: only the link goes.
    DeleteFolder(scratch / L"top_link");
    EXPECT_FALSE(platform::Exists(scratch / L"top_link"));

    EXPECT_EQ(ReadBytes(Join(outside, L"precious.dat")), "keep me");
    EXPECT_NE(platform::GetAttributes(Join(outside, L"precious.dat")) & platform::kAttrReadOnly,
              0u);
}

}  // namespace
