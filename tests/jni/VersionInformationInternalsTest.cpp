// The version information agent's own helpers, which the DLL does not export.
#include "tests/jni/VersionInformationFixture.h"

#include "InventoryAgents/NativeFileVersionInfo/NativeFileVersionInfo.h"

#include <string.h>

namespace {

TEST_F(VersionInformationTest, PropertyPathIsCutAtTheBufferAsStringCchPrintfDoes) {
    char buffer[1024];
    EXPECT_EQ(S_OK, GetFormattedPropertyValue(buffer, "FileVersion", 0x0409, 0x04B0));
    EXPECT_STREQ("\\StringFileInfo\\040904b0\\FileVersion", buffer);
    std::string longName(2000, 'n');
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER,
              GetFormattedPropertyValue(buffer, longName.c_str(), 0x0409, 0x04B0));
    EXPECT_EQ(1023u, strlen(buffer));
    EXPECT_EQ(1u, CountMessages("StringCchPrintf : STRSAFE_E_INSUFFICIENT_BUFFER"));
    EXPECT_EQ("GetFormattedPropertyValue", log.Records().back().function);
    EXPECT_EQ("NativeFileVersionInfo", log.Records().back().source);
}

} // namespace
