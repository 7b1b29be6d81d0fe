// Hostile PE files and version blocks: the reader refuses them without reading outside the file
// or the caller's buffer (these run under AddressSanitizer too, on buffers sized exactly).
#include "Platform/Posix/kernel32/Errors.h"
#include "Platform/Posix/common/PeResources.h"
#include "Platform/Posix/version/Version.h"
#include "tests/support/TestPrefix.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

void Put16(Bytes& b, size_t at, unsigned value) {
    b[at] = static_cast<BYTE>(value);
    b[at + 1] = static_cast<BYTE>(value >> 8);
}

void Put32(Bytes& b, size_t at, DWORD value) {
    Put16(b, at, value & 0xFFFF);
    Put16(b, at + 2, value >> 16);
}

// One node of a version block: header, key, value and children, each DWORD-aligned.
Bytes VersionNode(const char* key, const Bytes& value, WORD valueLength, bool text,
                  const std::vector<Bytes>& children = {}) {
    Bytes node(6);
    for (const char* p = key;; ++p) {
        node.push_back(static_cast<BYTE>(*p));
        node.push_back(0);
        if (*p == '\0') {
            break;
        }
    }
    node.resize((node.size() + 3) & ~size_t{3});
    node.insert(node.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        node.resize((node.size() + 3) & ~size_t{3});
        node.insert(node.end(), child.begin(), child.end());
    }
    Put16(node, 0, static_cast<unsigned>(node.size()));
    Put16(node, 2, valueLength);
    Put16(node, 4, text ? 1 : 0);
    return node;
}

Bytes Utf16(const char* text) {
    Bytes out;
    for (const char* p = text;; ++p) {
        out.push_back(static_cast<BYTE>(*p));
        out.push_back(0);
        if (*p == '\0') {
            return out;
        }
    }
}

Bytes SampleBlock() {
    Bytes fixed(52);
    Put32(fixed, 0, VS_FFI_SIGNATURE);
    Bytes company = VersionNode("CompanyName", Utf16("Hostile"), 8, true);
    Bytes table = VersionNode("040904B0", {}, 0, true, {company});
    Bytes strings = VersionNode("StringFileInfo", {}, 0, true, {table});
    return VersionNode("VS_VERSION_INFO", fixed, 52, false, {strings});
}

// Offsets of the image that the cases below corrupt.
constexpr size_t kPeHeader = 0x40;
constexpr size_t kSectionTable = kPeHeader + 24 + 240; // of a PE32+ image
constexpr size_t kRsrc = 0x200;
constexpr size_t kTypeDirectory = kRsrc;
constexpr size_t kNameDirectory = kRsrc + 0x18;
constexpr size_t kLanguageDirectory = kRsrc + 0x30;
constexpr size_t kDataEntry = kRsrc + 0x48;
constexpr size_t kData = kRsrc + 0x58;
constexpr DWORD kRsrcRva = 0x1000;

void PutDirectory(Bytes& b, size_t at, DWORD entryName, DWORD target) {
    Put16(b, at + 14, 1); // one id entry
    Put32(b, at + 16, entryName);
    Put32(b, at + 20, target);
}

// A DLL whose only section holds one version resource in US English.
Bytes Image(bool pe32, const Bytes& block) {
    size_t optionalSize = pe32 ? 224 : 240;
    size_t sectionTable = kPeHeader + 24 + optionalSize;
    Bytes b(kData + block.size());
    Put16(b, 0, 0x5A4D);
    Put32(b, 0x3C, kPeHeader);
    Put32(b, kPeHeader, 0x4550);
    Put16(b, kPeHeader + 4, pe32 ? 0x14C : 0x8664);
    Put16(b, kPeHeader + 6, 1);
    Put16(b, kPeHeader + 20, static_cast<unsigned>(optionalSize));
    size_t optional = kPeHeader + 24;
    Put16(b, optional, pe32 ? 0x10B : 0x20B);
    Put32(b, optional + (pe32 ? 92 : 108), 16);
    Put32(b, optional + (pe32 ? 96 : 112) + 16, kRsrcRva);
    Put32(b, optional + (pe32 ? 96 : 112) + 20, static_cast<DWORD>(b.size() - kRsrc));
    Put32(b, sectionTable + 8, static_cast<DWORD>(b.size() - kRsrc));
    Put32(b, sectionTable + 12, kRsrcRva);
    Put32(b, sectionTable + 16, static_cast<DWORD>(b.size() - kRsrc));
    Put32(b, sectionTable + 20, kRsrc);
    PutDirectory(b, kTypeDirectory, 16, 0x80000018);
    PutDirectory(b, kNameDirectory, 1, 0x80000030);
    PutDirectory(b, kLanguageDirectory, 0x409, 0x48);
    Put32(b, kDataEntry, kRsrcRva + 0x58);
    Put32(b, kDataEntry + 4, static_cast<DWORD>(block.size()));
    memcpy(b.data() + kData, block.data(), block.size());
    return b;
}

// Looks the version resource up in exactly these bytes, on a heap copy of their own size.
DWORD FindVersion(const Bytes& image, Bytes* data = nullptr) {
    std::unique_ptr<BYTE[]> exact(new BYTE[image.size() + 1]);
    if (!image.empty()) {
        memcpy(exact.get(), image.data(), image.size());
    }
    PeSource source = PeSourceOfMemory(exact.get(), image.size());
    PeResources resources;
    DWORD error = PeResourcesOpen(&source, &resources);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    PeResourceData found;
    error = PeFindResource(&resources, PeId(16), PeId(1), 0x409, &found);
    if (error == ERROR_SUCCESS && data != nullptr) {
        data->resize(found.size);
        EXPECT_EQ(PeReadResource(&resources, &found, data->data(), found.size), found.size);
    }
    PeResourcesRelease(&resources);
    return error;
}

TEST(PeResourcesTest, FindsTheResourceInPe32AndPe32Plus) {
    for (bool pe32 : {true, false}) {
        Bytes data;
        EXPECT_EQ(FindVersion(Image(pe32, SampleBlock()), &data), (DWORD)ERROR_SUCCESS);
        EXPECT_EQ(data, SampleBlock());
    }
}

TEST(PeResourcesTest, EveryTruncationIsRefusedCleanly) {
    Bytes image = Image(false, SampleBlock());
    for (size_t length = 0; length < image.size(); ++length) {
        Bytes cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_NE(FindVersion(cut), (DWORD)ERROR_SUCCESS) << length;
    }
    Bytes text = {'M', 'Z', 'x'};
    EXPECT_EQ(FindVersion(text), (DWORD)ERROR_BAD_EXE_FORMAT);
}

TEST(PeResourcesTest, HostileHeadersAndDirectoriesAreRefused) {
    struct Case {
        const char* what;
        void (*corrupt)(Bytes&);
        DWORD error;
    };
    const Case cases[] = {
        {"PE header past the end", [](Bytes& b) { Put32(b, 0x3C, 0x7FFFFFF0); },
         ERROR_BAD_EXE_FORMAT},
        {"section table past the end", [](Bytes& b) { Put16(b, kPeHeader + 6, 0xFFFF); },
         ERROR_BAD_EXE_FORMAT},
        {"directory outside every section",
         [](Bytes& b) { Put32(b, kPeHeader + 24 + 112 + 16, 0x9000); },
         ERROR_RESOURCE_DATA_NOT_FOUND},
        {"section data past the end", [](Bytes& b) { Put32(b, kSectionTable + 20, 0xFFFF0000); },
         ERROR_RESOURCE_DATA_NOT_FOUND},
        {"entry count overruns the directory",
         [](Bytes& b) { Put16(b, kTypeDirectory + 14, 0xFFFF); }, ERROR_RESOURCE_DATA_NOT_FOUND},
        {"type leads back to the root", [](Bytes& b) { Put32(b, kTypeDirectory + 20, 0x80000000); },
         ERROR_RESOURCE_NAME_NOT_FOUND},
        {"name directory points to itself",
         [](Bytes& b) { Put32(b, kNameDirectory + 20, 0x80000018); },
         ERROR_RESOURCE_LANG_NOT_FOUND},
        {"a fourth level", [](Bytes& b) { Put32(b, kLanguageDirectory + 20, 0x80000030); },
         ERROR_RESOURCE_DATA_NOT_FOUND},
        {"leaf past the directory", [](Bytes& b) { Put32(b, kLanguageDirectory + 20, 0x7FFFFFF0); },
         ERROR_RESOURCE_DATA_NOT_FOUND},
        {"data overruns its section", [](Bytes& b) { Put32(b, kDataEntry + 4, 0x7FFFFFFF); },
         ERROR_RESOURCE_DATA_NOT_FOUND},
        {"data outside every section", [](Bytes& b) { Put32(b, kDataEntry, 0xFFFFFFF0); },
         ERROR_RESOURCE_DATA_NOT_FOUND},
    };
    for (const Case& c : cases) {
        Bytes image = Image(false, SampleBlock());
        c.corrupt(image);
        EXPECT_EQ(FindVersion(image), c.error) << c.what;
    }
}

TEST(PeResourcesTest, NamedEntriesMatchIgnoringCaseAndStayInBounds) {
    Bytes image = Image(false, SampleBlock());
    // The name level becomes one named entry "VI" whose string sits after the data entry.
    Put16(image, kNameDirectory + 12, 1);
    Put16(image, kNameDirectory + 14, 0);
    Put32(image, kNameDirectory + 16, 0x80000000 | 0x68);
    image.resize(image.size() + 0x20);
    size_t name = kRsrc + 0x68;
    memmove(image.data() + kData + 0x20, image.data() + kData, SampleBlock().size());
    Put32(image, kDataEntry, kRsrcRva + 0x78);
    Put16(image, name, 2);
    Put16(image, name + 2, 'V');
    Put16(image, name + 4, 'I');
    Put32(image, kSectionTable + 8, static_cast<DWORD>(image.size() - kRsrc));
    Put32(image, kSectionTable + 16, static_cast<DWORD>(image.size() - kRsrc));

    PeSource source = PeSourceOfMemory(image.data(), image.size());
    PeResources resources;
    ASSERT_EQ(PeResourcesOpen(&source, &resources), (DWORD)ERROR_SUCCESS);
    PeResourceData found;
    EXPECT_EQ(PeFindResource(&resources, PeId(16), PeName{0, "vi"}, 0x409, &found),
              (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(PeFindResource(&resources, PeId(16), PeName{0, "V"}, 0x409, &found),
              (DWORD)ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_EQ(PeFindResource(&resources, PeId(16), PeId(1), 0x409, &found),
              (DWORD)ERROR_RESOURCE_NAME_NOT_FOUND);
    Put16(image, name, 0xFFFF); // a name longer than the directory
    EXPECT_EQ(PeFindResource(&resources, PeId(16), PeName{0, "VI"}, 0x409, &found),
              (DWORD)ERROR_RESOURCE_NAME_NOT_FOUND);
    PeResourcesRelease(&resources);
}

class VersionBlockTest : public ::testing::Test {
  protected:
    // Writes the image as C:\name and loads its block into a buffer of exactly `size` bytes
    // (the size GetFileVersionInfoSizeA reports when 0).
    std::unique_ptr<char[]> Load(const Bytes& image, DWORD size = 0) {
        std::ofstream(prefix_.DriveC() + "/hostile.dll", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        DWORD needed = GetFileVersionInfoSizeA("C:\\hostile.dll", nullptr);
        EXPECT_EQ(needed, 2 * (image.size() - kData) + 4) << GetLastError();
        size = size == 0 ? needed : size;
        std::unique_ptr<char[]> block(new char[size]);
        EXPECT_TRUE(GetFileVersionInfoA("C:\\hostile.dll", 0, size, block.get()));
        return block;
    }

    static bool Query(const char* block, const char* path, std::string* value) {
        LPVOID found = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(block, path, &found, &length)) {
            return false;
        }
        *value = std::string(static_cast<const char*>(found), length);
        return true;
    }

    TestPrefix prefix_;
};

const char* const kCompany = "\\StringFileInfo\\040904B0\\CompanyName";

TEST_F(VersionBlockTest, StringLengthsThatOverrunTheirParentAreRefused) {
    Bytes block = SampleBlock();
    size_t strings = 40 + 52; // the root's key and fixed info
    std::string value;
    EXPECT_TRUE(Query(Load(Image(false, block)).get(), kCompany, &value));
    EXPECT_EQ(value, std::string("Hostile", 8));

    Bytes longer = block;
    Put16(longer, strings, 0xF000); // StringFileInfo claims more than the root holds
    EXPECT_FALSE(Query(Load(Image(false, longer)).get(), kCompany, &value));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_RESOURCE_TYPE_NOT_FOUND);

    Bytes empty = block;
    Put16(empty, strings, 0); // a zero-length child ends the search
    EXPECT_FALSE(Query(Load(Image(false, empty)).get(), kCompany, &value));

    Bytes wideValue = block;
    Put16(wideValue, block.size() - 48 + 2, 0x7FFF); // CompanyName's value length
    ASSERT_TRUE(Query(Load(Image(false, wideValue)).get(), kCompany, &value));
    EXPECT_EQ(value.substr(0, 8), std::string("Hostile", 8));
}

TEST_F(VersionBlockTest, SmallBuffersNeverLetQueriesReachPastThem) {
    Bytes image = Image(false, SampleBlock());
    DWORD full = static_cast<DWORD>(2 * SampleBlock().size() + 4);
    for (DWORD size : {full - 1, full / 2, DWORD{60}, DWORD{8}}) {
        std::unique_ptr<char[]> block = Load(image, size);
        const char* begin = block.get();
        // Whatever a query finds must lie wholly inside the buffer, also without a sanitizer.
        for (const char* path : {kCompany, "\\"}) {
            LPVOID found = nullptr;
            UINT length = 0;
            if (VerQueryValueA(block.get(), path, &found, &length)) {
                const char* at = static_cast<const char*>(found);
                EXPECT_TRUE(at >= begin && at + length <= begin + size) << path << " in " << size;
            }
        }
        std::string value;
        EXPECT_FALSE(Query(block.get(), "\\StringFileInfo\\040904B0\\Missing", &value));
    }
}

// String tables: the string of an id from the block that holds it, in the language a neutral
// request gets, within the block's bytes whatever its counts say.

// A string block of 16 entries, each a count of UTF-16 units and the units.
Bytes StringBlock(const std::vector<std::string>& strings) {
    Bytes block;
    for (size_t i = 0; i < 16; ++i) {
        const std::string text = i < strings.size() ? strings[i] : "";
        block.push_back(static_cast<BYTE>(text.size()));
        block.push_back(0);
        for (char c : text) {
            block.push_back(static_cast<BYTE>(c));
            block.push_back(0);
        }
    }
    return block;
}

// Image() with its one resource made block 1 of the string tables (ids 0-15).
Bytes StringImage(const Bytes& block) {
    Bytes image = Image(false, block);
    Put32(image, kTypeDirectory + 16, RT_STRING);
    return image;
}

// The string of id in exactly these bytes, or the lookup's error.
DWORD FindStringIn(const Bytes& image, WORD id, std::string* text) {
    std::unique_ptr<BYTE[]> exact(new BYTE[image.size() + 1]);
    memcpy(exact.get(), image.data(), image.size());
    PeSource source = PeSourceOfMemory(exact.get(), image.size());
    PeResources resources;
    DWORD error = PeResourcesOpen(&source, &resources);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    PeStringData data;
    error = PeFindString(&resources, id, &data);
    if (error == ERROR_SUCCESS) {
        char* found = PeReadAnsiString(&resources, &data);
        EXPECT_NE(found, nullptr);
        *text = found != nullptr ? found : "";
        free(found);
    }
    PeResourcesRelease(&resources);
    return error;
}

// The string of id in a fixture DLL, read from its file.
DWORD FindStringInFile(const std::string& path, WORD id, std::string* text) {
    int descriptor = -1;
    ULONGLONG size = 0;
    DWORD error = PeOpenFile(("Z:" + path).c_str(), &descriptor, &size);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    PeSource source = PeSourceOfDescriptor(descriptor, size);
    PeResources resources;
    error = PeResourcesOpen(&source, &resources);
    PeStringData data;
    if (error == ERROR_SUCCESS) {
        error = PeFindString(&resources, id, &data);
        if (error == ERROR_SUCCESS) {
            char* found = PeReadAnsiString(&resources, &data);
            EXPECT_NE(found, nullptr);
            *text = found != nullptr ? found : "";
            free(found);
        }
        PeResourcesRelease(&resources);
    }
    close(descriptor);
    return error;
}

const std::string kServiceStrings = std::string(PALLWICK_STRING_FIXTURES) + "/ServiceStrings.dll";

TEST(StringTableTest, StringsComeFromTheirBlockInTheLanguageANeutralRequestGets) {
    std::string text;
    // Block 1 is in German too, first in the directory: US English is taken all the same.
    ASSERT_EQ(FindStringInFile(kServiceStrings, 1, &text), (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(text, "Pallwick Fixture Service");
    ASSERT_EQ(FindStringInFile(kServiceStrings, 15, &text), (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(text, "Last of the first block");
    ASSERT_EQ(FindStringInFile(kServiceStrings, 16, &text), (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(text, "First of the second block");
    // As the A functions give it: the code page's own character, the best fit for another.
    ASSERT_EQ(FindStringInFile(kServiceStrings, 2, &text), (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(text, "Caf\xE9 service, O edition");
}

TEST(StringTableTest, AnEmptyEntryAMissingBlockAndNoTablesAreNoString) {
    std::string text;
    EXPECT_EQ(FindStringInFile(kServiceStrings, 3, &text), (DWORD)ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_EQ(FindStringInFile(kServiceStrings, 40, &text), (DWORD)ERROR_RESOURCE_NAME_NOT_FOUND);
    std::string versionOnly = std::string(PALLWICK_VERSION_FIXTURES).substr(2) + "/AllStrings.dll";
    EXPECT_EQ(FindStringInFile(versionOnly, 1, &text), (DWORD)ERROR_RESOURCE_TYPE_NOT_FOUND);
}

TEST(StringTableTest, CountsThatOverrunTheBlockAreRefused) {
    Bytes block = StringBlock({"", "ab", "", "last"});
    std::string text;
    ASSERT_EQ(FindStringIn(StringImage(block), 1, &text), (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(text, "ab");
    ASSERT_EQ(FindStringIn(StringImage(block), 3, &text), (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(text, "last");

    Bytes overrun = block;
    Put16(overrun, 2, 0xFFFF); // entry 1 claims more units than the block holds
    EXPECT_EQ(FindStringIn(StringImage(overrun), 1, &text), (DWORD)ERROR_RESOURCE_DATA_NOT_FOUND);
    EXPECT_EQ(FindStringIn(StringImage(overrun), 3, &text), (DWORD)ERROR_RESOURCE_DATA_NOT_FOUND);
    EXPECT_EQ(FindStringIn(StringImage(block), 0, &text), (DWORD)ERROR_RESOURCE_NAME_NOT_FOUND);

    // A block cut short anywhere (its leaf's size, the file beyond it) gives each id what the
    // bytes still hold or refuses it, never more.
    for (size_t length = 0; length < block.size(); ++length) {
        Bytes image = StringImage(block);
        Put32(image, kDataEntry + 4, static_cast<DWORD>(length));
        DWORD error = FindStringIn(image, 3, &text);
        bool whole = length >= 2 + 2 + 4 + 2 + 2 + 8;
        EXPECT_EQ(error, whole ? (DWORD)ERROR_SUCCESS : (DWORD)ERROR_RESOURCE_DATA_NOT_FOUND)
            << length;
    }
}

} // namespace
