#include "fuzz/FuzzMachine.h"

#include "Platform/Posix/advapi32/EventLogFile.h"
#include "Platform/Posix/common/WinError.h"
#include "fuzz/FuzzSupport.h"
#include "tests/standin/JniStandIn.h"
#include "tests/support/Machine.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

// A link to the Vendor key, in the form Wine's registry file keeps one: the layer's
// RegCreateKeyExA makes no links.
constexpr char kSystemReg[] = R"(WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\Machine

#arch=win64

[Software\\Fuzz\\Linked] 1700000000
#link
"SymbolicLinkValue"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,79,00,5c,00,4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,6f,00,66,00,74,00,77,00,61,00,72,00,65,00,5c,00,46,00,75,00,7a,00,7a,00,5c,00,56,00,65,00,6e,00,64,00,6f,00,72,00
)";

constexpr char kVendor[] = "Software\\Fuzz\\Vendor";

// The rest of the registry, put on through the machine library.
bool PutRegistry() {
    const std::string product = std::string(kVendor) + "\\Product";
    return SetText(kVendor, "", "default") && SetText(kVendor, "Version", "1.0") &&
           SetDword(kVendor, "Count", 7) &&
           SetValue(kVendor, "Blob", REG_BINARY, "\x01\x02\x03", 3) &&
           SetText(product, "Path", "%SystemRoot%\\fuzz", REG_EXPAND_SZ) &&
           PutEventLog("Application", "C:\\fuzz.evt",
                       {{"FuzzSource", "C:\\messages.dll", "C:\\missing.dll;C:\\messages.dll"}});
}

// Messages 1 to 4, ANSI entries of one block.
const char* const kMessages[] = {"Service %1 started.\r\n", "Parameter %1 text\r\n",
                                 "Value %%2 of %1\r\n", "Disk %1 at %%1 and %%9\r\n"};

std::string MessageTable() {
    std::string entries;
    for (const char* message : kMessages) {
        std::string text(message);
        text.resize((text.size() + 4) & ~size_t{3}, '\0');
        size_t length = text.size() + 4;
        entries += char(length & 0xFF);
        entries += char(length >> 8);
        entries += std::string(2, '\0') + text;
    }
    std::string table(16, '\0');
    table[0] = 1;                          // one block
    table[4] = 1;                          // ids from 1
    table[8] = char(std::size(kMessages)); // to 4
    table[12] = 16;                        // entries after the block
    return table + entries;
}

void WriteOrStop(const std::string& path, const std::string& bytes) {
    if (!WriteFuzzFile(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) {
        abort();
    }
}

void Put16(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    out[at] = uint8_t(value);
    out[at + 1] = uint8_t(value >> 8);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    Put16(out, at, value & 0xFFFF);
    Put16(out, at + 2, value >> 16);
}

// The PE file: headers, one section at RVA 0x1000 and file offset 0x200 whose resource tree has
// one leaf, RT_MESSAGETABLE / 1 / English (US), and whose data follows the tree.
constexpr uint32_t kPeHeader = 0x40;
constexpr uint32_t kOptionalHeader = kPeHeader + 4 + 20;
constexpr uint32_t kOptionalSize = 240;
constexpr uint32_t kSectionTable = kOptionalHeader + kOptionalSize;
constexpr uint32_t kSectionOffset = 0x200;
constexpr uint32_t kSectionRva = 0x1000;
constexpr uint32_t kTableInSection = 0x58;

// One directory of one entry at offset in the section; target as the entry holds it.
void PutDirectory(std::vector<uint8_t>& out, uint32_t offset, uint32_t name, uint32_t target) {
    Put16(out, kSectionOffset + offset + 14, 1);
    Put32(out, kSectionOffset + offset + 16, name);
    Put32(out, kSectionOffset + offset + 20, target);
}

// Three records, numbered 1 to 3, written as the service writes them.
void WriteLog(const std::string& path) {
    int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FuzzCheck(descriptor >= 0, "the log file opens");
    EvtLayout layout;
    FuzzCheck(EvtLoadLayout(descriptor, &layout) == ERROR_SUCCESS, "an empty log loads");
    const char* strings[] = {"Alpha", "Beta", "1"};
    const BYTE sid[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    for (DWORD number = 1; number <= 3; ++number) {
        EvtNewRecord parts = {number,
                              1700000000 + number,
                              1700000001 + number,
                              number,
                              4,
                              WORD(number),
                              "FuzzSource",
                              "FUZZHOST",
                              sid,
                              sizeof sid,
                              WORD(number),
                              strings,
                              strings[0],
                              5};
        FuzzCheck(EvtAppend(descriptor, &layout, EvtBuildRecord(parts), 1700000010, false) ==
                      ERROR_SUCCESS,
                  "a record appends");
    }
    close(descriptor);
}

} // namespace

std::vector<uint8_t> MessageTablePeFile(const uint8_t* table, size_t size) {
    uint32_t rawSize = uint32_t((kTableInSection + size + 3) & ~size_t{3});
    std::vector<uint8_t> out(kSectionOffset + rawSize, 0);
    Put16(out, 0, 0x5A4D);
    Put32(out, 0x3C, kPeHeader);
    Put32(out, kPeHeader, 0x00004550);
    Put16(out, kPeHeader + 4, 0x8664);
    Put16(out, kPeHeader + 6, 1);
    Put16(out, kPeHeader + 20, kOptionalSize);
    Put16(out, kOptionalHeader, 0x20B);
    Put32(out, kOptionalHeader + 108, 16);
    Put32(out, kOptionalHeader + 112 + 2 * 8, kSectionRva);
    Put32(out, kOptionalHeader + 112 + 2 * 8 + 4, rawSize);
    memcpy(&out[kSectionTable], ".rsrc", 5);
    Put32(out, kSectionTable + 8, rawSize);
    Put32(out, kSectionTable + 12, kSectionRva);
    Put32(out, kSectionTable + 16, rawSize);
    Put32(out, kSectionTable + 20, kSectionOffset);
    PutDirectory(out, 0x00, 11, 0x80000018);
    PutDirectory(out, 0x18, 1, 0x80000030);
    PutDirectory(out, 0x30, 0x0409, 0x48);
    Put32(out, kSectionOffset + 0x48, kSectionRva + kTableInSection);
    Put32(out, kSectionOffset + 0x4C, uint32_t(size));
    if (size > 0) {
        memcpy(&out[kSectionOffset + kTableInSection], table, size);
    }
    return out;
}

const std::string& FuzzMachine() {
    static const std::string prefix = [] {
        std::string folder = FuzzPrefix(kSystemReg);
        std::string table = MessageTable();
        std::vector<uint8_t> file =
            MessageTablePeFile(reinterpret_cast<const uint8_t*>(table.data()), table.size());
        WriteOrStop(folder + "/drive_c/messages.dll", std::string(file.begin(), file.end()));
        WriteLog(folder + "/drive_c/fuzz.evt");
        FuzzCheck(PutRegistry(), "the registry is put on");
        return folder;
    }();
    return prefix;
}

void CallWithJavaString(const uint8_t* data, size_t size, std::initializer_list<ExportCall> calls) {
    // The stand-in keeps every object and deleted reference it ever handed out, to tell a stale
    // one when it comes back: one kept for the whole run grew by a string and its references per
    // input until the fuzzer's memory limit stopped it after some three million inputs. A fresh
    // one per input cost three quarters of the executions, so a fresh one comes every so often.
    constexpr unsigned kInputsPerStandIn = 4096;
    static std::unique_ptr<JniStandIn> kept;
    static unsigned inputs = 0;
    if (kept == nullptr || ++inputs % kInputsPerStandIn == 0) {
        kept.reset();
        kept = std::make_unique<JniStandIn>();
    }
    JniStandIn& standIn = *kept;
    JNIEnv* env = standIn.env();
    std::vector<jchar> units(data, data + size);
    jstring text = env->NewString(units.data(), jsize(units.size()));
    FuzzCheck(text != nullptr, "the stand-in makes the string");
    for (ExportCall call : calls) {
        standIn.EnterNativeMethod();
        call(env, text);
        FuzzCheck(!env->ExceptionCheck(), "no exception is left pending");
        standIn.LeaveNativeMethod(nullptr);
        for (const std::string& breach : standIn.TakeBreaches()) {
            fprintf(stderr, "JNI stand-in: %s\n", breach.c_str());
            abort();
        }
    }
    env->DeleteLocalRef(text);
}
