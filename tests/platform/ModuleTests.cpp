// Modules loaded as data files: PE files whose resources are read, never run, and the handles
// Windows gives them.
#include "PlatformTestSupport.h"

namespace {

using DataFileModuleTest = ScratchFolderTest;

// Windows tags such a module's handle: 1 for a data file, 2 for an image resource.
ULONG_PTR TagOf(HMODULE module) {
    return reinterpret_cast<ULONG_PTR>(module) & 3;
}

TEST_F(DataFileModuleTest, LoadsAPeFileTaggedAndFreesItOnce) {
    const struct {
        DWORD flags;
        ULONG_PTR tag;
    } cases[] = {{LOAD_LIBRARY_AS_DATAFILE, 1}, {LOAD_LIBRARY_AS_IMAGE_RESOURCE, 2}};
    for (const auto& each : cases) {
        HMODULE module = LoadLibraryExA(FixturePath("AllStrings.dll").c_str(), NULL, each.flags);
        ASSERT_NE(module, nullptr) << "flags " << each.flags << " error " << GetLastError();
        EXPECT_EQ(TagOf(module), each.tag);
        char name[MAX_PATH];
        EXPECT_EQ(GetModuleFileNameA(module, name, sizeof(name)), 0u) << "mapped, not loaded";
        EXPECT_TRUE(FreeLibrary(module));
        SetLastError(0);
        EXPECT_FALSE(FreeLibrary(module)) << "freed twice";
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_EXE_FORMAT);
    }
}

TEST_F(DataFileModuleTest, RefusesMissingEmptyAndNonPeFiles) {
    WriteTextFile("empty.dll", "");
    WriteTextFile("text.dll", "This file holds text, not a PE image.");
    const struct {
        const char* name;
        DWORD error;
    } cases[] = {
        {"missing.dll", ERROR_FILE_NOT_FOUND},
        {"missing\\folder.dll", ERROR_FILE_NOT_FOUND},
        {"empty.dll", ERROR_FILE_INVALID},
        {"text.dll", ERROR_BAD_EXE_FORMAT},
    };
    for (const auto& each : cases) {
        SetLastError(0);
        HMODULE module = LoadLibraryExA(PathOf(each.name).c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        EXPECT_EQ(module, nullptr) << each.name;
        EXPECT_EQ(GetLastError(), each.error) << each.name;
    }
}

} // namespace
