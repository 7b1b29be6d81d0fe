// The indirect texts of services ("@<file>,-<id>"): loaded from the file or its language files on
// either kind of machine image, the loader's error when they cannot be, and every other value
// left to stand for itself.
#include "Platform/Posix/advapi32/ServiceTexts.h"
#include "Platform/Posix/common/WinError.h"
#include "Platform/Posix/kernel32/Environment.h"
#include "tests/support/TestPrefix.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::string kFixtures = PALLWICK_STRING_FIXTURES;

// The text a value stands for ("(itself)" when it is no indirect string), or the error.
std::string Load(const std::string& stored, DWORD* error) {
    char* text = nullptr;
    *error = LoadIndirectText(stored.c_str(), &text);
    std::string result = text != nullptr ? text : "(itself)";
    free(text);
    return result;
}

std::string Loaded(const std::string& stored) {
    DWORD error = 0;
    std::string text = Load(stored, &error);
    EXPECT_EQ(error, (DWORD)ERROR_SUCCESS) << stored;
    return text;
}

DWORD ErrorOf(const std::string& stored) {
    DWORD error = 0;
    Load(stored, &error);
    return error;
}

std::string Fixture(const char* name) {
    return "@Z:" + kFixtures + "/" + name;
}

class ServiceTextsTest : public ::testing::Test {
  protected:
    TestPrefix prefix_;
};

TEST_F(ServiceTextsTest, TextsComeFromTheFileOrElseItsLanguageFile) {
    EXPECT_EQ(Loaded(Fixture("ServiceStrings.dll,-1")), "Pallwick Fixture Service");
    EXPECT_EQ(Loaded(Fixture("ServiceStrings.dll,-16")), "First of the second block");
    // A comment after ';' is no part of the id, commas in it included.
    EXPECT_EQ(Loaded(Fixture("ServiceStrings.dll,-2;for the inventory, in tests")),
              "Caf\xE9 service, O edition");
    // The layer's language first; with no file of it, the one language file there is.
    EXPECT_EQ(Loaded(Fixture("LanguageNeutral.dll,-2")),
              "Description from the English language file");
    EXPECT_EQ(Loaded(Fixture("GermanOnly.dll,-1")), "Anzeigename aus der deutschen Sprachdatei");
}

TEST_F(ServiceTextsTest, TextsThatCannotBeLoadedGiveTheLoadersError) {
    EXPECT_EQ(ErrorOf(Fixture("Missing.dll,-1")), (DWORD)ERROR_MUI_FILE_NOT_FOUND);
    EXPECT_EQ(ErrorOf("@Q:\\nowhere\\Missing.dll,-1"), (DWORD)ERROR_MUI_FILE_NOT_FOUND);
    EXPECT_EQ(ErrorOf(Fixture("NoLanguageFile.dll,-1")), (DWORD)ERROR_MUI_FILE_NOT_FOUND);
    EXPECT_EQ(ErrorOf(Fixture("ServiceStrings.dll,-40")), (DWORD)ERROR_RESOURCE_NAME_NOT_FOUND);
    // The language file decides for a language-neutral file once it is there.
    EXPECT_EQ(ErrorOf(Fixture("LanguageNeutral.dll,-7")), (DWORD)ERROR_RESOURCE_NAME_NOT_FOUND);
    std::string versionOnly = std::string(PALLWICK_VERSION_FIXTURES) + "/AllStrings.dll,-1";
    EXPECT_EQ(ErrorOf("@" + versionOnly), (DWORD)ERROR_RESOURCE_TYPE_NOT_FOUND);
    std::ofstream(prefix_.DriveC() + "/notes.dll") << "not a PE file";
    EXPECT_EQ(ErrorOf("@C:\\notes.dll,-1"), (DWORD)ERROR_BAD_EXE_FORMAT);
}

TEST_F(ServiceTextsTest, ValuesNotOfTheIndirectFormStandForThemselves) {
    for (const char* stored :
         {"Plain name", "", "@", "@file.dll", "@file.dll,5", "@file.dll,-", "@file.dll,-12x",
          "@,-1", "@file.dll,-70000", "@wd.inf,%WdServiceDisplayName%;Watchdog Timer Driver"}) {
        DWORD error = 1;
        EXPECT_EQ(Load(stored, &error), "(itself)") << stored;
        EXPECT_EQ(error, (DWORD)ERROR_SUCCESS) << stored;
    }
    char* text = nullptr;
    EXPECT_EQ(LoadIndirectText(nullptr, &text), (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(text, nullptr);
}

TEST_F(ServiceTextsTest, DisplayNamesFallBackToTheStoredValue) {
    char* display = strdup(Fixture("ServiceStrings.dll,-1").c_str());
    ASSERT_TRUE(ResolveDisplayName(&display));
    EXPECT_STREQ(display, "Pallwick Fixture Service");
    free(display);
    for (const char* stored : {"@Q:\\nowhere\\Missing.dll,-1", "Plain name"}) {
        display = strdup(stored);
        ASSERT_TRUE(ResolveDisplayName(&display));
        EXPECT_STREQ(display, stored);
        free(display);
    }
    display = nullptr;
    EXPECT_TRUE(ResolveDisplayName(&display));
    EXPECT_EQ(display, nullptr);
}

// A bare file name is the system folder's, and variables expand as the process sees them; file
// names match ignoring case, on a prefix as on a Windows volume.
TEST_F(ServiceTextsTest, FilesAreFoundThroughTheImagesDriveMapAndEnvironment) {
    fs::path system32 = fs::path(prefix_.DriveC()) / "windows" / "system32";
    fs::create_directories(system32 / "en-US");
    fs::copy_file(kFixtures + "/ServiceStrings.dll", system32 / "servicestrings.dll");
    EXPECT_EQ(Loaded("@ServiceStrings.dll,-15"), "Last of the first block");
    EXPECT_EQ(Loaded("@%SystemRoot%\\System32\\SERVICESTRINGS.DLL,-1"), "Pallwick Fixture Service");
    ASSERT_TRUE(SetEnvironmentVariableA("PALLWICK_STRINGS", "C:\\windows\\system32"));
    EXPECT_EQ(Loaded("@%PALLWICK_STRINGS%\\servicestrings.dll,-16"), "First of the second block");
    SetEnvironmentVariableA("PALLWICK_STRINGS", nullptr);

    char pattern[] = "/tmp/pallwick-volume-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    fs::path volume = pattern;
    fs::path volumeSystem = volume / "Windows" / "System32";
    fs::create_directories(volumeSystem / "en-US");
    fs::copy_file(kFixtures + "/LanguageNeutral.dll", volumeSystem / "LanguageNeutral.dll");
    fs::copy_file(kFixtures + "/en-US/LanguageNeutral.dll.mui",
                  volumeSystem / "en-US" / "LanguageNeutral.dll.mui");
    setenv("PALLWICK_WINDOWS_ROOT", volume.c_str(), 1);
    EXPECT_EQ(Loaded("@%SystemRoot%\\system32\\languageneutral.dll,-1"),
              "Display name from the English language file");
    // The volume is C: and no other drive: the prefix's copy is out of reach.
    EXPECT_EQ(ErrorOf("@ServiceStrings.dll,-1"), (DWORD)ERROR_MUI_FILE_NOT_FOUND);
    unsetenv("PALLWICK_WINDOWS_ROOT");
    fs::remove_all(volume);
}

} // namespace
