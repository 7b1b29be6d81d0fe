// FormatMessageA(FROM_SYSTEM) over machine images that hold the system's message table or not. The
// message fixtures stand in for the image's system DLL, so that the texts are known whatever Wine
// words its own (the differential test holds the layer to Wine's).
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/Handles.h"
#include "Platform/Posix/kernel32/SystemMessages.h"
#include "Platform/Win32.h"
#include "tests/fixtures/messages/FixtureMessageIds.h"
#include "tests/support/TestPrefix.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <stdio.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kSystemFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
constexpr WORD kGerman = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);

// A fixture's Unix path: the build names its folder as a DOS path on drive Z:.
std::string Fixture(const char* folder, const char* name) {
    return std::string(folder + 2) + "/" + name;
}

std::string MessageFixture(const char* name) {
    return Fixture(PALLWICK_MESSAGE_FIXTURES, name);
}

// The system's text, or "<error N>".
std::string System(DWORD id, DWORD language = 0) {
    char* text = nullptr;
    SetLastError(0);
    DWORD length = FormatMessageA(kSystemFlags, nullptr, id, language,
                                  reinterpret_cast<LPSTR>(&text), 0, NULL);
    if (length == 0) {
        return "<error " + std::to_string(GetLastError()) + ">";
    }
    std::string result(text, length);
    LocalFree(text);
    return result;
}

class SystemMessagesTest : public ::testing::Test {
  protected:
    void SetUp() override { std::filesystem::create_directories(SystemFolder()); }

    std::string SystemFolder() const { return prefix_.DriveC() + "/windows/system32"; }

    // Puts a copy of file in the image's system folder as name, a new file in its place as an
    // update writes one; the table read before is kept unless told to forget it, as a process
    // started after the update would.
    void Install(const std::string& file, const char* name, bool forget = true) {
        std::string target = SystemFolder() + "/" + name;
        std::string next = target + ".new";
        std::filesystem::copy_file(file, next, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::rename(next, target);
        if (forget) {
            SystemMessagesResetForTests();
        }
    }

    TestPrefix prefix_;
};

TEST_F(SystemMessagesTest, AnImageWithoutTheTableGetsTheBuiltInTexts) {
    EXPECT_EQ("Access is denied.\r\n", System(ERROR_ACCESS_DENIED)) << "no system DLL";
    EXPECT_EQ("<error 1815>", System(ERROR_ACCESS_DENIED, kGerman));
    EXPECT_EQ("<error 317>", System(kNowhereId));
    std::filesystem::create_directories(SystemFolder() + "/kernelbase.dll");
    FILE* text = fopen((SystemFolder() + "/kernel32.dll").c_str(), "w");
    ASSERT_NE(nullptr, text);
    fputs("no PE file", text);
    fclose(text);
    SystemMessagesResetForTests();
    EXPECT_EQ("Access is denied.\r\n", System(ERROR_ACCESS_DENIED)) << "a folder, no PE file";
    std::filesystem::remove(SystemFolder() + "/kernelbase.dll");
    Install(Fixture(PALLWICK_VERSION_FIXTURES, "AllStrings.dll"), "kernelbase.dll");
    EXPECT_EQ("Access is denied.\r\n", System(ERROR_ACCESS_DENIED)) << "no message table";
    EXPECT_EQ("Access is denied.\r\n", System(0x80070005)) << "a Win32 error's HRESULT";
}

// What the image's table holds is what the system says, in the table's words; a number it lacks
// has no text even where the built-in list has one.
TEST_F(SystemMessagesTest, TheImagesTableDecides) {
    Install(MessageFixture("EventMessages.dll"), "kernel32.dll");
    EXPECT_EQ("Plain text without inserts.\r\n", System(1003)) << "kernel32.dll alone";
    EXPECT_EQ("<error 317>", System(ERROR_ACCESS_DENIED));
    Install(MessageFixture("SecondMessages.dll"), "kernelbase.dll");
    EXPECT_EQ("Only the second file holds message %1.\r\n", System(kSecondFileOnlyId))
        << "kernelbase.dll before kernel32.dll";
    EXPECT_EQ("<error 317>", System(1003));
    EXPECT_EQ("<error 317>", System(kNowhereId));
    // An HRESULT of a Win32 error is that error; other HRESULTs are numbers of their own.
    Install(MessageFixture("EventMessages.dll"), "kernelbase.dll");
    EXPECT_EQ(System(1003), System(0x800703EB));
    EXPECT_EQ("<error 317>", System(0x800803EB)) << "another facility";
    EXPECT_EQ("<error 317>", System(0x000703EB)) << "no severity";
}

TEST_F(SystemMessagesTest, LanguagesAreChosenAsForAModule) {
    Install(MessageFixture("GermanAndEnglish.dll"), "kernelbase.dll");
    EXPECT_EQ("English text.\r\n", System(10));
    EXPECT_EQ("Deutscher Text.\r\n", System(10, kGerman));
    EXPECT_EQ("<error 1815>", System(10, MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH)));
    EXPECT_EQ("<error 1815>", System(kNowhereId, MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH)))
        << "the language is found before the message";
    Install(MessageFixture("NeutralSublanguages.dll"), "kernelbase.dll");
    EXPECT_EQ("English text.\r\n", System(10));
    EXPECT_EQ("Deutscher Text.\r\n", System(10, kGerman));
    Install(MessageFixture("GermanAndFrench.dll"), "kernelbase.dll");
    EXPECT_EQ("Deutscher Text.\r\n", System(10)) << "the first language";
}

// The table is read once for an image and kept, as Windows keeps its own for the life of a
// process, and read again for another image (a WINEPREFIX of its own), then for this one again.
TEST_F(SystemMessagesTest, TheTableIsKeptForItsImageAndReadAgainForAnother) {
    size_t handles = HandleOpenCount();
    Install(MessageFixture("EventMessages.dll"), "kernelbase.dll");
    EXPECT_EQ("Plain text without inserts.\r\n", System(1003));
    EXPECT_EQ(handles, HandleOpenCount()) << "the kept table holds no handle";
    Install(MessageFixture("SecondMessages.dll"), "kernelbase.dll", false);
    EXPECT_EQ("Plain text without inserts.\r\n", System(1003)) << "kept";
    {
        TestPrefix other;
        std::filesystem::create_directories(other.DriveC() + "/windows/system32");
        std::filesystem::copy_file(MessageFixture("GermanAndEnglish.dll"),
                                   other.DriveC() + "/windows/system32/kernelbase.dll");
        EXPECT_EQ("English text.\r\n", System(10));
        EXPECT_EQ("<error 317>", System(1003));
    }
    EXPECT_EQ("Only the second file holds message %1.\r\n", System(kSecondFileOnlyId))
        << "this image again, read as it is now";
    std::filesystem::remove(SystemFolder() + "/kernelbase.dll");
    SystemMessagesResetForTests();
    EXPECT_EQ("Access is denied.\r\n", System(ERROR_ACCESS_DENIED)) << "no table any more";
}

// The image's files are the machine's own, as its registry files are: the fault plan fails the
// calls on files the caller names, not the system's table; FormatMessageA itself still fails.
TEST_F(SystemMessagesTest, TheFaultPlanFailsTheCallNotTheImagesTable) {
    Install(MessageFixture("EventMessages.dll"), "kernelbase.dll");
    for (PosixCall call : {PosixCall::Open, PosixCall::Pread, PosixCall::Stat, PosixCall::Fstat}) {
        FaultPlanFailEveryCall(call, EIO);
    }
    EXPECT_EQ("Plain text without inserts.\r\n", System(1003));
    FaultPlanClear();
    FaultPlanFailEveryCall(LayerCall::FormatMessageA, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ("<error 8>", System(1003));
    FaultPlanClear();
}

// Threads ask while the kept table is dropped and the file replaced under them: each gets one
// table's text whole.
TEST_F(SystemMessagesTest, ThreadsAskWhileTheTableIsReplaced) {
    Install(MessageFixture("EventMessages.dll"), "kernelbase.dll");
    std::atomic<bool> done(false);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 300 || !done.load(); ++i) {
                std::string text = System(1003);
                EXPECT_TRUE(text == "Plain text without inserts.\r\n" || text == "<error 317>")
                    << text;
            }
        });
    }
    for (int i = 0; i < 20; ++i) {
        Install(MessageFixture(i % 2 == 0 ? "SecondMessages.dll" : "EventMessages.dll"),
                "kernelbase.dll");
    }
    done.store(true);
    for (std::thread& thread : threads) {
        thread.join();
    }
}

} // namespace
