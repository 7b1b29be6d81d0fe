// Version resources through GetFileVersionInfoSizeA, GetFileVersionInfoA and VerQueryValueA, on
// small DLLs that windres built from tests/fixtures/version.
#include "PlatformTestSupport.h"

#ifdef _WIN32
#include <winver.h>
#endif

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

using VersionErrorTest = ScratchFolderTest;

std::vector<char> LoadBlock(const char* name) {
    std::string path = FixturePath(name);
    DWORD handle = 0xDEAD;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    EXPECT_GT(size, 0u) << path << " error " << GetLastError();
    EXPECT_EQ(handle, 0u);
    std::vector<char> block(size);
    if (size > 0) {
        EXPECT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data())) << GetLastError();
    }
    return block;
}

// The string at path, or "<none>" with the last error when VerQueryValueA refuses it.
std::string QueryString(const std::vector<char>& block, const char* path) {
    LPVOID value = nullptr;
    UINT length = 0xDEAD;
    if (!VerQueryValueA(block.data(), path, &value, &length)) {
        EXPECT_EQ(length, 0u);
        return "<none>";
    }
    const char* text = static_cast<const char*>(value);
    // The length counts the terminating null, as the resource stores it.
    EXPECT_EQ(length, strlen(text) + 1) << path;
    return text;
}

std::vector<DWORD> Translations(const std::vector<char>& block) {
    LPVOID value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length)) {
        return {};
    }
    std::vector<DWORD> pairs(length / sizeof(DWORD));
    memcpy(pairs.data(), value, pairs.size() * sizeof(DWORD));
    return pairs;
}

TEST(VersionInfoTest, SizeLeavesRoomForTheAnsiHalfBehindTheBlock) {
    std::vector<char> block = LoadBlock("AllStrings.dll");
    ASSERT_GE(block.size(), 6u);
    WORD length = 0;
    memcpy(&length, block.data(), sizeof length);
    // windres pads nothing, so the resource is exactly the block: twice it, plus the signature.
    EXPECT_EQ(block.size(), 2u * length + 4);
    EXPECT_EQ(std::string(block.data() + length, 4), "FE2X");
}

TEST(VersionInfoTest, Pe32FileGivesTheSameBlock) {
    EXPECT_EQ(LoadBlock("AllStrings32.dll"), LoadBlock("AllStrings.dll"));
}

TEST(VersionInfoTest, RootGivesTheFixedFileInfo) {
    std::vector<char> block = LoadBlock("AllStrings.dll");
    for (const char* root : {"\\", ""}) {
        LPVOID value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(block.data(), root, &value, &length)) << root;
        ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
        const VS_FIXEDFILEINFO* info = static_cast<const VS_FIXEDFILEINFO*>(value);
        EXPECT_EQ(info->dwSignature, (DWORD)VS_FFI_SIGNATURE);
        EXPECT_EQ(info->dwStrucVersion, (DWORD)VS_FFI_STRUCVERSION);
        EXPECT_EQ(info->dwFileVersionMS, 0x00010002u);
        EXPECT_EQ(info->dwFileVersionLS, 0x00030004u);
        EXPECT_EQ(info->dwProductVersionMS, 0x00050006u);
        EXPECT_EQ(info->dwProductVersionLS, 0x00070008u);
        EXPECT_EQ(info->dwFileFlagsMask, (DWORD)VS_FFI_FILEFLAGSMASK);
        EXPECT_EQ(info->dwFileFlags, (DWORD)(VS_FF_PRERELEASE | VS_FF_PATCHED));
        EXPECT_EQ(info->dwFileOS, (DWORD)VOS_NT_WINDOWS32);
        EXPECT_EQ(info->dwFileType, (DWORD)VFT_DLL);
        EXPECT_EQ(info->dwFileSubtype, (DWORD)VFT2_UNKNOWN);
    }
}

TEST(VersionInfoTest, EveryStandardStringInAnsi) {
    std::vector<char> block = LoadBlock("AllStrings.dll");
    const char* expected[][2] = {
        {"Comments", "Built for the version tests"},
        {"CompanyName", "Quorvane Fixtures Ltd."},
        {"FileDescription", "All ten strings"},
        {"FileVersion", "1.2.3.4"},
        {"InternalName", "AllStrings"},
        {"LegalCopyright", "Copyright \xA9 2024 Quorvane"},
        {"LegalTrademarks", "O is not in 1252"}, // best fit, as WideCharToMultiByte
        {"OriginalFilename", "AllStrings.dll"},
        {"ProductName", "Pallwick Fixtures"},
        {"ProductVersion", "5.6.7.8"},
    };
    for (const auto& pair : expected) {
        std::string path = std::string("\\StringFileInfo\\040904B0\\") + pair[0];
        EXPECT_EQ(QueryString(block, path.c_str()), pair[1]);
    }
    EXPECT_EQ(Translations(block), (std::vector<DWORD>{0x04B00409}));
}

TEST(VersionInfoTest, NamesMatchAsWindowsMatchesThem) {
    std::vector<char> block = LoadBlock("AllStrings.dll");
    const char* company = "Quorvane Fixtures Ltd.";
    EXPECT_EQ(QueryString(block, "\\stringfileinfo\\040904b0\\COMPANYNAME"), company);
    EXPECT_EQ(QueryString(block, "StringFileInfo\\040904B0\\CompanyName"), company);
    EXPECT_EQ(QueryString(block, "\\StringFileInfo\\\\040904B0\\CompanyName\\"), company);

    SetLastError(0);
    EXPECT_EQ(QueryString(block, "\\StringFileInfo\\040904B0\\CompanyNam"), "<none>");
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_RESOURCE_TYPE_NOT_FOUND);
    EXPECT_EQ(QueryString(block, "\\StringFileInfo\\040904B0\\CompanyNameX"), "<none>");
    EXPECT_EQ(QueryString(block, "\\StringFileInfo\\040904B0\\PrivateBuild"), "<none>");
    EXPECT_EQ(QueryString(block, "\\StringFileInfo\\040704B0\\CompanyName"), "<none>");
    EXPECT_EQ(QueryString(block, "\\CompanyName"), "<none>");
}

TEST(VersionInfoTest, TranslationsKeepTheirOrderAndCodePages) {
    std::vector<char> block = LoadBlock("TwoTranslations.dll");
    EXPECT_EQ(Translations(block), (std::vector<DWORD>{0x04E40407, 0x04B00409}));
    EXPECT_EQ(QueryString(block, "\\StringFileInfo\\040704E4\\CompanyName"), "Quorvane Pr\xFC"
                                                                             "fstand GmbH");
    EXPECT_EQ(QueryString(block, "\\StringFileInfo\\040704e4\\FileDescription"), "Zwei \xDC"
                                                                                 "bersetzungen");
    EXPECT_EQ(QueryString(block, "\\StringFileInfo\\040904B0\\CompanyName"),
              "Quorvane Test Bench Inc.");
    EXPECT_EQ(QueryString(block, "\\StringFileInfo\\040904E4\\CompanyName"), "<none>");
}

TEST(VersionInfoTest, StringsWithoutATranslationList) {
    std::vector<char> block = LoadBlock("NoTranslation.dll");
    LPVOID value = nullptr;
    UINT length = 0xDEAD;
    SetLastError(0);
    EXPECT_FALSE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_RESOURCE_TYPE_NOT_FOUND);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(QueryString(block, "\\StringFileInfo\\04090000\\CompanyName"), "Quorvane No List");
}

TEST(VersionInfoTest, LanguageOutsideCommonTables) {
    std::vector<char> block = LoadBlock("RareLanguage.dll");
    EXPECT_EQ(Translations(block), (std::vector<DWORD>{0x04B00462}));
    EXPECT_EQ(QueryString(block, "\\StringFileInfo\\046204b0\\CompanyName"), "Quorvane Frysl\xE2n");
}

// A file may carry the resource in several languages; the block is the one Windows chooses.
TEST(VersionInfoTest, ChoosesAmongResourceLanguagesAsWindowsDoes) {
    const char* cases[][2] = {
        {"GermanAndEnglish.dll", "English 0409"},
        {"GermanAndFrench.dll", "German 0407"},
        {"NeutralAndEnglish.dll", "Neutral 0000"},
        {"EnglishWithoutRegion.dll", "English 0009"},
    };
    for (const auto& pair : cases) {
        std::vector<char> block = LoadBlock(pair[0]);
        EXPECT_EQ(QueryString(block, "\\StringFileInfo\\040904B0\\FileDescription"), pair[1])
            << pair[0];
    }
}

TEST_F(VersionErrorTest, FilesWithoutAVersionResource) {
    WriteTextFile("notes.txt", "MZ is not enough to make a PE file\r\n");
    std::string text = PathOf("notes.txt");
    std::string noResources = FixturePath("NoResources.dll");
    std::string otherResources = FixturePath("OtherResources.dll");
    for (const std::string& path : {text, noResources, otherResources}) {
        DWORD handle = 0xDEAD;
        SetLastError(0);
        EXPECT_EQ(GetFileVersionInfoSizeA(path.c_str(), &handle), 0u) << path;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_RESOURCE_DATA_NOT_FOUND) << path;
        EXPECT_EQ(handle, 0u);
        char block[64];
        SetLastError(0);
        EXPECT_FALSE(GetFileVersionInfoA(path.c_str(), 0, sizeof block, block)) << path;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_RESOURCE_DATA_NOT_FOUND) << path;
    }
}

TEST_F(VersionErrorTest, MissingFilesAndBadArguments) {
    std::string missing = PathOf("missing.dll");
    EXPECT_EQ(GetFileVersionInfoSizeA(missing.c_str(), nullptr), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    char block[64];
    EXPECT_FALSE(GetFileVersionInfoA(missing.c_str(), 0, sizeof block, block));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    std::string missingFolder = PathOf("nowhere\\missing.dll");
    EXPECT_EQ(GetFileVersionInfoSizeA(missingFolder.c_str(), nullptr), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);

    EXPECT_EQ(GetFileVersionInfoSizeA("", nullptr), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_PATHNAME);
    std::string good = FixturePath("AllStrings.dll");
    EXPECT_FALSE(GetFileVersionInfoA(good.c_str(), 0, 64, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_DATA);
    LPVOID value = nullptr;
    UINT length = 0;
    EXPECT_FALSE(VerQueryValueA(nullptr, "\\", &value, &length));
}

} // namespace
