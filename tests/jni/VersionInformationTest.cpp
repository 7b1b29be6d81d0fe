#include "tests/jni/VersionInformationFixture.h"

#include "Common/DiagnosticLog.h"
#include "Platform/Win32.h"

#include <stdio.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST_F(VersionInformationTest, OneTranslationGivesTheTenStringsAndBothNames) {
    Translations result = Collect(Fixture("AllStrings.dll"));
    ASSERT_EQ(1u, result.size());
    const std::vector<std::string> expected = {
        "Built for the version tests",
        "O is not in 1252" /* the best-fit letter the ANSI form holds */,
        "Quorvane Fixtures Ltd.",
        "All ten strings",
        "AllStrings",
        "AllStrings.dll",
        "Pallwick Fixtures",
        "5.6.7.8",
        "1.2.3.4",
        "Copyright \xC2\xA9 2024 Quorvane",
        "English (United States)",
        "Unicode UCS-2 Little-Endian (BMP of ISO 10646)"};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i], result[0][i]) << "element " << i;
    }
    EXPECT_EQ(1u, CountMessages("Value : 1.2.3.4"));
    EXPECT_EQ(1u, CountMessages("Formatted string : '\\StringFileInfo\\040904b0\\Comments'"));
    EXPECT_EQ(0u, CountMessages("Seeking: " + Fixture("AllStrings.dll"))) << "level 1 is below 2";
}

// The library's own version resource as inventory tools meet it: Pallwick.dll itself under Wine;
// on Linux, which builds no DLL, a data DLL of that name built from the same script. A translation
// that names another block than the strings' would leave them all empty; both versions, the
// strings and the fixed numbers that Explorer shows, are the project's.
TEST_F(VersionInformationTest, TheLibraryCarriesTheProjectsVersion) {
    const std::string library = PALLWICK_VERSIONED_LIBRARY;
    Translations result = Collect(library);
    ASSERT_EQ(1u, result.size());
    const std::vector<std::string>& strings = result[0];
    EXPECT_EQ("Quorvane", strings[2]);
    EXPECT_NE("", strings[3]) << "a file description";
    EXPECT_EQ("Pallwick", strings[4]);
    EXPECT_EQ(library.substr(library.find_last_of("/\\") + 1), strings[5]);
    EXPECT_EQ("Pallwick", strings[6]);
    EXPECT_EQ(PALLWICK_VERSION, strings[7]);
    EXPECT_EQ(PALLWICK_VERSION, strings[8]);
    EXPECT_NE(std::string::npos, strings[9].find("Quorvane")) << strings[9];
    EXPECT_EQ("English (United States)", strings[10]);
    EXPECT_EQ("Unicode UCS-2 Little-Endian (BMP of ISO 10646)", strings[11]);

    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(3, sscanf(PALLWICK_VERSION, "%u.%u.%u", &major, &minor, &patch));
    DWORD size = GetFileVersionInfoSizeA(library.c_str(), nullptr);
    ASSERT_NE(0u, size);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(library.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<LPVOID*>(&fixed), &length));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
    const DWORD high = major << 16 | minor, low = patch << 16;
    EXPECT_EQ(high, fixed->dwFileVersionMS);
    EXPECT_EQ(low, fixed->dwFileVersionLS);
    EXPECT_EQ(high, fixed->dwProductVersionMS);
    EXPECT_EQ(low, fixed->dwProductVersionLS);
    EXPECT_EQ((DWORD)VFT_DLL, fixed->dwFileType);
}

TEST_F(VersionInformationTest, TranslationsComeInTheResourcesOrder) {
    Translations result = Collect(Fixture("TwoTranslations.dll"));
    ASSERT_EQ(2u, result.size());
    EXPECT_EQ("German (Standard)", result[0][10]);
    EXPECT_EQ("ANSI - Latin I ", result[0][11]);
    EXPECT_EQ("Pallwick Fixtures", result[0][6]);
    EXPECT_EQ("", result[0][0]) << "an absent property is empty, never null";
    EXPECT_EQ("English (United States)", result[1][10]);
    EXPECT_EQ("Quorvane Test Bench Inc.", result[1][2]);
    EXPECT_EQ("Two translations", result[1][3]);
}

TEST_F(VersionInformationTest, NoTranslationListFallsBackToEnglishAndCodePageZero) {
    Translations result = Collect(Fixture("NoTranslation.dll"));
    ASSERT_EQ(1u, result.size());
    EXPECT_EQ("English (United States)", result[0][10]);
    EXPECT_EQ("7-bit ASCII", result[0][11]);
    EXPECT_EQ("Quorvane No List", result[0][2]) << "strings stand under 04090000";
    EXPECT_EQ("3.0", result[0][8]);
    EXPECT_EQ(1u, CountMessages("Could not read the list of languages and code pages for file . " +
                                Fixture("NoTranslation.dll") + "."));
    EXPECT_EQ(1u, CountMessages("Setting to default language and code page"));
}

TEST_F(VersionInformationTest, UnknownLanguageStillCollectsTheStrings) {
    Translations result = Collect(Fixture("RareLanguage.dll"));
    ASSERT_EQ(1u, result.size());
    EXPECT_EQ("Unknown language", result[0][10]);
    EXPECT_NE("", result[0][3]);
}

TEST_F(VersionInformationTest, FilesWithoutVersionResourceGiveNull) {
    log.SetThreshold(kLogDetail);
    std::string text = "versioninfo-" + std::to_string(getpid()) + "/notes.txt";
    std::ofstream(text) << "just text";
    const std::string paths[] = {Fixture("OtherResources.dll"), Fixture("NoResources.dll"), text,
                                 Fixture("missing.dll")};
    for (const std::string& path : paths) {
        EXPECT_TRUE(CollectsNull(path.c_str())) << path;
        EXPECT_EQ(1u, CountMessages("No info: " + path)) << path;
        EXPECT_EQ(1u, CountMessages("Seeking: " + path)) << path;
    }
}

TEST_F(VersionInformationTest, NullAndEmptyNamesGiveNull) {
    EXPECT_EQ(
        nullptr,
        Java_com_quorvane_inventory_inventoryagent_WindowsExecutableMetadataFileInventoryAgent_collectVersionInformationForFile(
            env, nullptr, nullptr));
    EXPECT_TRUE(CollectsNull(""));
    std::vector<std::string> messages = log.Messages();
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ("Assert failed: fileName != NULL", messages[0]);
    EXPECT_EQ("Empty filename", messages[1]);
}

// A path in the ANSI code page is found from Java's text, under the UTF-8 name the file has on
// disk; one the code page cannot hold is refused with its own record.
TEST_F(VersionInformationTest, AnsiPathsAreFoundAndForeignOnesRefused) {
    std::string folder = "versioninfo-" + std::to_string(getpid());
    std::error_code failed;
    std::filesystem::copy_file(Fixture("AllStrings.dll").substr(2),
                               std::filesystem::u8path(folder + "/Caf\xC3\xA9.dll"), failed);
    ASSERT_FALSE(failed) << failed.message();
    Translations result = Collect(folder + "/CAF\xC3\x89.dll");
    ASSERT_EQ(1u, result.size());
    EXPECT_EQ("AllStrings", result[0][4]);
    EXPECT_TRUE(CollectsNull((folder + "/\xCE\xA9.dll").c_str()));
    EXPECT_EQ(1u, CountMessages("Text not representable in the ANSI code page"));
}

// Whatever the JVM refuses, the export gives null and leaves the exception for Java.
TEST_F(VersionInformationTest, JvmRefusalsGiveNullWithTheExceptionPending) {
    const JniFault faults[] = {{JniCall::GetStringUTFChars},
                               {JniCall::FindClass, "java/util/Vector"},
                               {JniCall::GetMethodID, "add"},
                               {JniCall::GetMethodID, "<init>"},
                               {JniCall::NewObject},
                               {JniCall::FindClass, "java/lang/String"},
                               {JniCall::NewObjectArray},
                               {JniCall::NewStringUTF, "", 5},
                               {JniCall::SetObjectArrayElement, "", 11},
                               {JniCall::CallBooleanMethod, "add"}};
    jstring path = JavaString(Fixture("AllStrings.dll").c_str());
    for (const JniFault& fault : faults) {
        FailingJniEnv failing(env);
        failing.Fail(fault);
        EXPECT_EQ(
            nullptr,
            Java_com_quorvane_inventory_inventoryagent_WindowsExecutableMetadataFileInventoryAgent_collectVersionInformationForFile(
                failing.env(), nullptr, path));
        EXPECT_EQ(1, failing.Failures());
        EXPECT_TRUE(env->ExceptionCheck());
        env->ExceptionClear();
    }
}

// Calls keep their state to themselves: several threads at once get what one thread gets.
TEST_F(VersionInformationTest, ConcurrentCallsGiveTheSameResults) {
    const Translations expected = Collect(Fixture("TwoTranslations.dll"));
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            ThreadJniEnv attached;
            JNIEnv* jni = attached.env();
            if (jni == nullptr) {
                ++mismatches;
                return;
            }
            for (int i = 0; i < 25; ++i) {
                Translations result;
                jni->PushLocalFrame(32);
                if (!Collect(jni, Fixture("TwoTranslations.dll"), &result) || result != expected) {
                    ++mismatches;
                }
                jni->PopLocalFrame(nullptr);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, mismatches.load());
}

} // namespace
