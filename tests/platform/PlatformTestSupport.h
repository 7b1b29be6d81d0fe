// A scratch folder under the current directory, so that the cases use relative DOS paths and run
// the same on Windows, under Wine and over the Linux layer.
#pragma once

#include "Platform/Win32.h"

#include <gtest/gtest.h>

#include <string>

// A PE fixture that windres built, as a DOS path; PALLWICK_VERSION_FIXTURES overrides the folder
// the build knows, for a run from another tree.
std::string FixturePath(const char* name);

class ScratchFolderTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // "<scratch>\name", with a backslash as agent code writes it.
    std::string PathOf(const char* name) const;

    // Creates or replaces a file holding text.
    void WriteTextFile(const char* name, const char* text);

    HANDLE Open(const char* name, DWORD access, DWORD share, DWORD disposition);

    std::string folder_;
};
