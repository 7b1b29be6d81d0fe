// Folders and attributes: what agent code sees of the folders it creates for its logs and data.
#include "PlatformTestSupport.h"

#include <string.h>
#include <string>

namespace {

using AttributesTest = ScratchFolderTest;
using FolderTest = ScratchFolderTest;
using ShellFolderTest = ScratchFolderTest;

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The shell call wants an absolute path.
std::string AbsolutePath(const std::string& path) {
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), sizeof(full), full, NULL);
    EXPECT_GT(length, 0u);
    EXPECT_LT(length, (DWORD)sizeof(full));
    return full;
}

TEST_F(AttributesTest, FoldersAndFilesAndMissingNames) {
    DWORD folder = GetFileAttributesA(folder_.c_str());
    ASSERT_NE(folder, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(folder & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(folder & FILE_ATTRIBUTE_READONLY, 0u);

    WriteTextFile("a.log", "text");
    DWORD file = GetFileAttributesA(PathOf("a.log").c_str());
    ASSERT_NE(file, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(file & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY), 0u);
    EXPECT_NE(file & FILE_ATTRIBUTE_ARCHIVE, 0u) << "new files are marked for backup";

    EXPECT_EQ(GetFileAttributesA(PathOf("missing.log").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesA(PathOf("missing\\a.log").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(AttributesTest, ReadOnlyAndHiddenRoundTrip) {
    WriteTextFile("a.log", "text");
    std::string path = PathOf("a.log");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_NE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);

    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
    DWORD hidden = GetFileAttributesA(path.c_str());
    EXPECT_EQ(hidden & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_NE(hidden & FILE_ATTRIBUTE_HIDDEN, 0u);

    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY),
              0u);
    EXPECT_TRUE(DeleteFileA(path.c_str()));

    EXPECT_FALSE(SetFileAttributesA(PathOf("missing.log").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

TEST_F(FolderTest, CreateReportsExistingAndMissingFolders) {
    std::string sub = PathOf("sub");
    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), NULL));
    EXPECT_NE(GetFileAttributesA(sub.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_FALSE(CreateDirectoryA(sub.c_str(), NULL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);

    WriteTextFile("a.log", "text");
    EXPECT_FALSE(CreateDirectoryA(PathOf("a.log").c_str(), NULL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryA(PathOf("no\\sub").c_str(), NULL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(CreateDirectoryA(PathOf("a.log\\sub").c_str(), NULL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(FolderTest, RemoveRefusesFilesAndFullFolders) {
    std::string sub = PathOf("sub");
    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), NULL));
    WriteTextFile("sub\\a.log", "text");
    EXPECT_FALSE(RemoveDirectoryA(sub.c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DIR_NOT_EMPTY);
    EXPECT_FALSE(RemoveDirectoryA(PathOf("sub\\a.log").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DIRECTORY);

    ASSERT_TRUE(DeleteFileA(PathOf("sub\\a.log").c_str()));
    EXPECT_TRUE(RemoveDirectoryA(sub.c_str()));
    EXPECT_FALSE(Exists(sub));

    EXPECT_FALSE(RemoveDirectoryA(sub.c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(RemoveDirectoryA(PathOf("no\\sub").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(ShellFolderTest, CreatesTheWholeChainOnce) {
    std::string chain = AbsolutePath(PathOf("a\\b\\c"));
    EXPECT_EQ(SHCreateDirectoryExA(NULL, chain.c_str(), NULL), ERROR_SUCCESS);
    EXPECT_NE(GetFileAttributesA(chain.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(SHCreateDirectoryExA(NULL, chain.c_str(), NULL), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(SHCreateDirectoryExA(NULL, (chain + "\\d\\").c_str(), NULL), ERROR_SUCCESS);
    EXPECT_TRUE(Exists(chain + "\\d"));
}

TEST_F(ShellFolderTest, RefusesRelativeMissingAndBlockedPaths) {
    EXPECT_EQ(SHCreateDirectoryExA(NULL, PathOf("rel\\x").c_str(), NULL), ERROR_BAD_PATHNAME);
    EXPECT_FALSE(Exists(PathOf("rel")));

    WriteTextFile("f", "text");
    std::string file = AbsolutePath(PathOf("f"));
    EXPECT_EQ(SHCreateDirectoryExA(NULL, file.c_str(), NULL), ERROR_ALREADY_EXISTS);
    // The shell creates what it can along the way and answers for the last folder.
    EXPECT_EQ(SHCreateDirectoryExA(NULL, (file + "\\x\\y").c_str(), NULL), ERROR_PATH_NOT_FOUND);

    EXPECT_EQ(SHCreateDirectoryExA(NULL, "Q:\\pallwick\\x", NULL), ERROR_PATH_NOT_FOUND);
}

TEST_F(ShellFolderTest, RefusesPathsLongerThanMaxPath) {
    std::string deep = AbsolutePath(folder_);
    while (deep.size() < MAX_PATH + 10) {
        deep += "\\abcdefghi";
    }
    EXPECT_EQ(SHCreateDirectoryExA(NULL, deep.c_str(), NULL), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_FALSE(Exists(AbsolutePath(PathOf("abcdefghi"))));
}

} // namespace
