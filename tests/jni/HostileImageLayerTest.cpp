// Machine images made to break the readers: a system.reg that is cut short, garbage, huge, deep
// or wide; a sparse 4 GB DLL; a PE file whose resource directory leads back into itself; event
// log files whose offsets go round in a cycle. Every export that reads such data answers with a
// defined result, does work in proportion to the image and holds memory in proportion to what it
// hands back, whatever the image claims. Images are built at run time, never kept in the tree.
// Linux only: the bounds are read from this process's /proc entry.
#include "tests/jni/EventLogFixture.h"

#include "InventoryAgents/NativeWinNTServices/NativeWinNTServices.h"
#include "Platform/Posix/advapi32/EventLogTestHooks.h"
#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/Handles.h"

#include "com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent.h"
#include "com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent.h"
#include "com_quorvane_inventory_inventoryagent_WindowsExecutableMetadataFileInventoryAgent.h"
#include "com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent.h"

#include <fcntl.h>
#include <malloc.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace {

constexpr double kMegabyte = 1024.0 * 1024.0;

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer pads every allocation and keeps up to 256 MB of freed memory in quarantine.
constexpr double kAllocatorOverhead = 3;
constexpr double kQuarantineMb = 256;
#else
constexpr double kAllocatorOverhead = 1;
constexpr double kQuarantineMb = 0;
#endif

// A bound on memory growth of mb as the plain allocator counts it.
double BoundMb(double mb) {
    return mb * kAllocatorOverhead + kQuarantineMb;
}

// Peak resident memory gained since construction, from the kernel's high-water mark, which the
// constructor resets to the present. What earlier cases freed goes back to the system first, so
// that the growth is not hidden in pages the allocator kept.
class PeakMemory {
  public:
    PeakMemory() {
        malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5";
        start_ = Read("VmRSS:");
    }
    double GrowthMb() const { return (Read("VmHWM:") - start_) / kMegabyte; }

  private:
    static double Read(const char* field) {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind(field, 0) == 0) {
                return atof(line.c_str() + strlen(field)) * 1024.0;
            }
        }
        return 0;
    }
    double start_ = 0;
};

double ThreadSeconds() {
    struct timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

constexpr char kUninstall[] = "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall";

// A small image that every export finds something in: a program, a service, an event log and its
// source, and a vendor key with values of each kind. Written in Wine's own layout.
std::string SmallImage() {
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
                       "#arch=win64\n\n";
    text += std::string("[") + kUninstall +
            "\\\\Program] 1700000000\n#time=1da0000aaaabbbb\n"
            "\"DisplayName\"=\"A hostile program\"\n\"Language\"=dword:00000409\n\n";
    text += "[System\\\\CurrentControlSet\\\\Services\\\\HostileService] 1700000000\n"
            "\"DisplayName\"=\"Hostile service\"\n\"ImagePath\"=str(2):\"C:\\\\h.exe\"\n"
            "\"Start\"=dword:00000003\n\"Type\"=dword:00000010\n\n";
    text += "[System\\\\CurrentControlSet\\\\Services\\\\EventLog\\\\Application\\\\Hostile] "
            "1700000000\n\"EventMessageFile\"=\"C:\\\\windows\\\\system32\\\\huge.dll\"\n\n";
    text += "[Software\\\\Vendor] 1700000000\n@=\"default text\"\n\"Text\"=\"some text\"\n"
            "\"Binary\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
            "  16,17,18,19,1a\n\"Many\"=str(7):\"one\\0two\\0\"\n\n";
    text += "[Software\\\\Vendor\\\\Child] 1700000000\n\n";
    return text;
}

using Strings = std::optional<std::vector<std::string>>;

void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), file));
    fclose(file);
}

// Whether a record's texts hold text anywhere.
bool Holds(const std::vector<std::string>& texts, const char* text) {
    for (const std::string& each : texts) {
        if (each.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// What every export that reads the registry answers over the current image.
struct RegistryAnswers {
    Strings keys, values, value, defaultValue, logNames;
    jlong time = 0;
    int exists = 0;
    jbyte collected = 0;
    jint programs = 0;
    jboolean program = JNI_FALSE;
    jboolean servicesCollected = JNI_FALSE;
    jint services = 0;
    jbyte service = 0;
    jlong log = 0;
};

class HostileImageTest : public JvmTest {
  protected:
    void SetUp() override {
        JvmTest::SetUp();
        RestoreTestServices({});
        std::filesystem::create_directories(prefix.DriveC() + "/windows/system32");
    }
    void TearDown() override {
        Release();
        StopTestFaults();
        RestoreTestServices({});
        JvmTest::TearDown();
    }

    // The image's system.reg, read afresh at the next registry call.
    void UseImage(const std::string& text) {
        WriteFile(prefix.Root() + "/system.reg", text);
        Release();
        RestoreTestServices({});
    }
    void Release() {
        Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_releaseResources(
            env, nullptr);
    }

    Strings Take(jobjectArray array) {
        DropTexts();
        EXPECT_FALSE(env->ExceptionCheck());
        if (array == nullptr) {
            return std::nullopt;
        }
        return TakeJavaStrings(env, array);
    }
    // Java texts for one export call; DropTexts deletes them, so that a case makes any number of
    // calls within the local frame a native method is granted.
    jstring Text(const char* text) {
        texts_.push_back(env->NewStringUTF(text));
        return texts_.back();
    }
    void DropTexts() {
        for (jstring each : texts_) {
            env->DeleteLocalRef(each);
        }
        texts_.clear();
    }

    jint VectorSize(jobject vector) {
        jclass vectorClass = env->GetObjectClass(vector);
        jint size = env->CallIntMethod(vector, env->GetMethodID(vectorClass, "size", "()I"));
        EXPECT_FALSE(env->ExceptionCheck());
        env->DeleteLocalRef(vectorClass);
        return size;
    }
    jobject NewObject(const char* className) {
        jclass found = env->FindClass(className);
        jobject object = env->NewObject(found, env->GetMethodID(found, "<init>", "()V"));
        env->DeleteLocalRef(found);
        return object;
    }

    jbyte CollectPrograms(jint* count) {
        jclass stringClass = env->FindClass("java/lang/String");
        jobjectArray names = env->NewObjectArray(2, stringClass, nullptr);
        env->SetObjectArrayElement(names, 0, Text("DisplayName"));
        env->SetObjectArrayElement(names, 1, Text("Language"));
        DropTexts();
        jintArray codes = env->NewIntArray(2);
        jint values[] = {1, 2};
        env->SetIntArrayRegion(codes, 0, 2, values);
        jobject vector = NewObject("com/quorvane/inventory/inventoryagent/InventoryResultVector");
        jbyte result =
            Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_getAttributeValues(
                env, nullptr, names, codes, vector, JNI_FALSE, 0x7FFFFFFF);
        EXPECT_FALSE(env->ExceptionCheck());
        *count = VectorSize(vector);
        for (jobject local : {(jobject)stringClass, (jobject)names, (jobject)codes, vector}) {
            env->DeleteLocalRef(local);
        }
        return result;
    }

    // Calls each of them once; keyPath is the key the registry agent is asked about.
    RegistryAnswers ReadEveryRegistryExport(const char* keyPath = "HKLM\\Software\\Vendor") {
        RegistryAnswers answers;
        answers.keys = Take(
            Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildKeyNames(
                env, nullptr, Text(keyPath)));
        answers.values = Take(
            Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildValueNames(
                env, nullptr, Text(keyPath)));
        answers.value =
            Take(Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getValue(
                env, nullptr, Text(keyPath), Text("Binary")));
        answers.defaultValue = Take(
            Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getDefaultValue(
                env, nullptr, Text(keyPath)));
        answers.time =
            Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getLastModifiedTime(
                env, nullptr, Text(keyPath));
        DropTexts();
        answers.exists =
            Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_checkInstanceExists(
                env, nullptr, Text(keyPath));
        DropTexts();
        answers.collected = CollectPrograms(&answers.programs);
        answers.program =
            Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_checkInstance(
                env, nullptr, Text("Program"));
        DropTexts();
        Release();
        jobject services = NewObject("java/util/Vector");
        answers.servicesCollected =
            Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_getServices__Ljava_util_Vector_2(
                env, nullptr, services);
        answers.services = VectorSize(services);
        env->DeleteLocalRef(services);
        answers.service =
            Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_checkInstance(
                env, nullptr, Text("HostileService"));
        DropTexts();
        answers.logNames = Take(
            Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_getAllLogFileNames(
                env, nullptr));
        answers.log =
            Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_openEventLog(
                env, nullptr, Text("Application"));
        DropTexts();
        if (answers.log != 0) {
            EXPECT_NE(
                0,
                Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_closeEventLog(
                    env, nullptr, answers.log));
        }
        EXPECT_FALSE(env->ExceptionCheck());
        return answers;
    }

    TestPrefix prefix;
    std::vector<jstring> texts_;
};

bool IsSubset(const Strings& part, const Strings& whole) {
    if (!part.has_value()) {
        return true;
    }
    for (const std::string& each : *part) {
        if (!whole.has_value() || std::find(whole->begin(), whole->end(), each) == whole->end()) {
            return false;
        }
    }
    return true;
}

// Cut anywhere, the image loads as far as it goes: each answer is the whole image's, a part of
// it, or the export's failure value, and nothing the cut left open is kept open.
TEST_F(HostileImageTest, ImageCutShortAtEveryPlace) {
    const std::string image = SmallImage();
    UseImage(image);
    const RegistryAnswers whole = ReadEveryRegistryExport();
    ASSERT_EQ(Strings({"Child"}), whole.keys);
    ASSERT_EQ(1, whole.programs / 2);
    ASSERT_EQ(1, whole.services);
    size_t open = HandleOpenCount();
    for (size_t cut = 24; cut < image.size(); cut += 3) {
        UseImage(image.substr(0, cut));
        const RegistryAnswers part = ReadEveryRegistryExport();
        EXPECT_TRUE(IsSubset(part.keys, whole.keys)) << cut;
        EXPECT_TRUE(IsSubset(part.values, whole.values)) << cut;
        EXPECT_TRUE(IsSubset(part.logNames, whole.logNames)) << cut;
        // A hex value cut short keeps the bytes before the cut.
        if (part.value.has_value() && part.value->at(1) != "0") {
            EXPECT_EQ(0u, whole.value->at(0).rfind(part.value->at(0), 0)) << cut;
        }
        EXPECT_LE(part.programs, whole.programs) << cut;
        EXPECT_LE(part.services, whole.services) << cut;
        EXPECT_EQ(open, HandleOpenCount()) << cut;
    }
}

// Random bytes, after the header and without it, and random lines made of the format's own
// characters: loaded as far as they make sense, never past the text.
TEST_F(HostileImageTest, GarbageImages) {
    std::mt19937 random(20261208);
    const std::string header = "WINE REGISTRY Version 2\n";
    const std::string alphabet = "[]\\\"=@#:,-()hexstrdwor0123456789abcdefABCDEF \t\r\n\n\n";
    for (int round = 0; round < 6; ++round) {
        std::string bytes(256 * 1024, '\0');
        for (char& each : bytes) {
            each = round % 2 == 0 ? (char)(random() & 0xFF) : alphabet[random() % alphabet.size()];
        }
        UseImage(round < 4 ? header + SmallImage().substr(header.size()) + bytes : bytes);
        const RegistryAnswers answers = ReadEveryRegistryExport();
        if (round >= 4) {
            EXPECT_EQ(std::nullopt, answers.keys) << "no header, no keys";
        }
        EXPECT_LE(answers.services, 1) << round;
    }
}

// One million keys in one place, written last to first, the order that costs a sorted list the
// most. The load reads each byte a bounded number of times and sorts once: ten times the keys
// cost about ten times the processor time, never a hundred. Memory: the tree at a few hundred
// bytes a key and the names handed to Java. Too slow under AddressSanitizer to stay within a
// minute: the million runs in the plain build, the sanitizer build checks the same at a tenth.
TEST_F(HostileImageTest, MillionKeysLoadInLinearTime) {
#if defined(__SANITIZE_ADDRESS__)
    const int large = 100000;
#else
    const int large = 1000000;
#endif
    double seconds[2] = {0, 0};
    const int counts[2] = {large / 10, large};
    for (int i = 0; i < 2; ++i) {
        std::string image = "WINE REGISTRY Version 2\n\n#arch=win64\n\n";
        image.reserve((size_t)counts[i] * 80);
        char section[160];
        for (int key = counts[i] - 1; key >= 0; --key) {
            snprintf(section, sizeof section, "[%s\\\\App%07d] 1700000000\n\n", kUninstall, key);
            image += section;
        }
        UseImage(image);
        image = std::string();
        PeakMemory memory;
        double start = ThreadSeconds();
        const RegistryAnswers answers = ReadEveryRegistryExport(
            "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
        seconds[i] = ThreadSeconds() - start;
        ASSERT_TRUE(answers.keys.has_value());
        EXPECT_EQ((size_t)counts[i], answers.keys->size());
        EXPECT_EQ("App0000000", answers.keys->front());
        EXPECT_TRUE(std::is_sorted(answers.keys->begin(), answers.keys->end()));
        EXPECT_EQ(0, answers.programs) << "no program has a display name";
        EXPECT_LT(memory.GrowthMb(), BoundMb(counts[i] * 1000.0 / kMegabyte + 64)) << counts[i];
        printf("%d keys: %.2f s of processor time, %.0f MB at most\n", counts[i], seconds[i],
               memory.GrowthMb());
    }
    EXPECT_LT(seconds[1], 30 * seconds[0] + 1.0);
}

// A 100 MB binary value, as Wine writes one (25 bytes a line), in a file of over 300 MB: the load
// holds the value and the buffer it was parsed into, never the file. The export then holds the
// value in the tree, its copy, its hex text (twice the value) and the JVM's string of that text,
// which the JVM builds through UTF-16 (four times the value for a while): under twelve times.
TEST_F(HostileImageTest, HundredMegabyteValue) {
    const size_t size = 100u * 1024 * 1024;
    std::string path = prefix.Root() + "/system.reg";
    {
        FILE* file = fopen(path.c_str(), "wb");
        ASSERT_NE(nullptr, file);
        fputs("WINE REGISTRY Version 2\n\n[Software\\\\Vendor] 1700000000\n\"Binary\"=hex:", file);
        static const char kDigits[] = "0123456789abcdef";
        std::string line;
        for (size_t i = 0; i < size; ++i) {
            BYTE byte = (BYTE)(i * 7);
            line += kDigits[byte >> 4];
            line += kDigits[byte & 15];
            if (i + 1 < size) {
                line += (i % 25 == 24) ? ",\\\n  " : ",";
            }
            if (line.size() > 65536) {
                fwrite(line.data(), 1, line.size(), file);
                line.clear();
            }
        }
        line += "\n\"Text\"=\"after\"\n";
        fwrite(line.data(), 1, line.size(), file);
        fclose(file);
    }
    Release();
    RestoreTestServices({});
    PeakMemory memory;
    HKEY vendor = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vendor", 0, KEY_READ, &vendor));
    RegCloseKey(vendor);
    double loaded = memory.GrowthMb();
    printf("loading a 100 MB value: %.0f MB at most\n", loaded);
    EXPECT_LT(loaded, BoundMb(3 * size / kMegabyte)) << "the file is read a line at a time";
    jobjectArray exported =
        Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getValue(
            env, nullptr, Text("HKLM\\Software\\Vendor"), Text("Binary"));
    double growth = memory.GrowthMb(); // before this test's own copies of the text
    printf("a 100 MB value through the export: %.0f MB at most\n", growth);
    EXPECT_LT(growth, BoundMb(12 * size / kMegabyte));
    Strings value = Take(exported);
    ASSERT_TRUE(value.has_value());
    ASSERT_EQ(2u, value->size());
    EXPECT_EQ(size * 2, value->at(0).size());
    EXPECT_EQ("00070E", value->at(0).substr(0, 6));
    EXPECT_EQ(
        Strings({"Binary", "Text"}),
        Take(
            Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildValueNames(
                env, nullptr, Text("HKLM\\Software\\Vendor"))));
}

// A key path of 10,000 levels: the layer keeps Windows' 512 levels and drops the rest of the
// section with its values, without recursing once per level anywhere; the exports answer a path
// that deep with their failure values.
TEST_F(HostileImageTest, KeyPathTenThousandLevelsDeep) {
    std::string deep;
    for (int level = 0; level < 10000; ++level) {
        deep += "\\\\d";
    }
    UseImage(SmallImage() + "[Software\\\\Vendor\\\\Child" + deep +
             "] 1700000000\n\"Lost\"=\"x\"\n");
    EXPECT_EQ(Strings({"Child"}), ReadEveryRegistryExport().keys);
    std::string path = "HKLM\\Software\\Vendor\\Child";
    for (int level = 0; level < 10000; ++level) {
        path += "\\d";
    }
    const RegistryAnswers answers = ReadEveryRegistryExport(path.c_str());
    EXPECT_EQ(std::nullopt, answers.keys);
    EXPECT_EQ(Strings({"", "0"}), answers.value);
    EXPECT_EQ(-1, answers.exists);
    // The deepest key the layer kept is there, one level short of Windows' limit of 512.
    HKEY key = HKEY_LOCAL_MACHINE;
    int levels = 0;
    for (const char* name : {"Software", "Vendor", "Child"}) {
        HKEY next = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key, name, 0, KEY_READ, &next));
        RegCloseKey(key);
        key = next;
    }
    for (HKEY next = nullptr; RegOpenKeyExA(key, "d", 0, KEY_READ, &next) == ERROR_SUCCESS;
         ++levels) {
        RegCloseKey(key);
        key = next;
    }
    RegCloseKey(key);
    EXPECT_EQ(512 - 4, levels) << "Machine, Software, Vendor and Child below the root";
}

// Little-endian fields of hand-made files.
void Put16(std::string* bytes, size_t at, unsigned value) {
    (*bytes)[at] = (char)(value & 0xFF);
    (*bytes)[at + 1] = (char)((value >> 8) & 0xFF);
}
void Put32(std::string* bytes, size_t at, unsigned value) {
    Put16(bytes, at, value & 0xFFFF);
    Put16(bytes, at + 2, value >> 16);
}

constexpr size_t kSectionFileOffset = 0x200;
constexpr unsigned kSectionRva = 0x1000;

// A PE32+ file of one section whose first bytes are the resource directory given; the section
// claims rawSize bytes of the file.
std::string PeFile(const std::string& directory, unsigned rawSize) {
    std::string bytes(kSectionFileOffset, '\0');
    Put16(&bytes, 0, 0x5A4D);
    Put32(&bytes, 0x3C, 0x40);
    Put32(&bytes, 0x40, 0x00004550);
    Put16(&bytes, 0x44, 0x8664);
    Put16(&bytes, 0x46, 1);    // one section
    Put16(&bytes, 0x54, 0xF0); // optional header size
    const size_t optional = 0x58;
    Put16(&bytes, optional, 0x20B);
    Put32(&bytes, optional + 108, 16); // data directories
    Put32(&bytes, optional + 112 + 16, kSectionRva);
    Put32(&bytes, optional + 112 + 20, (unsigned)directory.size());
    const size_t section = optional + 0xF0;
    memcpy(&bytes[section], ".rsrc", 5);
    Put32(&bytes, section + 8, rawSize);
    Put32(&bytes, section + 12, kSectionRva);
    Put32(&bytes, section + 16, rawSize);
    Put32(&bytes, section + 20, kSectionFileOffset);
    return bytes + directory;
}

// A directory of id entries (id, target) at offset of the resource bytes.
void PutDirectory(std::string* bytes, size_t at,
                  std::initializer_list<std::pair<unsigned, unsigned>> entries) {
    Put16(bytes, at + 14, (unsigned)entries.size());
    size_t entry = at + 16;
    for (const auto& each : entries) {
        Put32(bytes, entry, each.first);
        Put32(bytes, entry + 4, each.second);
        entry += 8;
    }
}

constexpr unsigned kSubdirectory = 0x80000000u;

// Resources of a version block and a message table that claim 2 GB each: the message table holds
// message 1, "Hostile", at its start.
std::string ResourcesClaimingGigabytes() {
    std::string resources(0x200, '\0');
    PutDirectory(&resources, 0x00, {{11, kSubdirectory | 0x20}, {16, kSubdirectory | 0x38}});
    PutDirectory(&resources, 0x20, {{1, kSubdirectory | 0x50}});
    PutDirectory(&resources, 0x38, {{1, kSubdirectory | 0x68}});
    PutDirectory(&resources, 0x50, {{0x409, 0x80}});
    PutDirectory(&resources, 0x68, {{0x409, 0x90}});
    Put32(&resources, 0x80, kSectionRva + 0x100); // the message table
    Put32(&resources, 0x84, 0x7FFFFFF0);
    Put32(&resources, 0x90, kSectionRva + 0x180); // the version block
    Put32(&resources, 0x94, 0x7FFFFFF0);
    Put32(&resources, 0x100, 1);
    Put32(&resources, 0x104, 1);
    Put32(&resources, 0x108, 1);
    Put32(&resources, 0x10C, 16);
    Put16(&resources, 0x110, 16);
    memcpy(&resources[0x114], "Hostile\r\n", 9);
    return resources;
}

// C:\windows\system32\huge.dll: 4 GB, nearly all of it a hole, with the headers given at its
// start.
std::string HugeDll(const TestPrefix& prefix, const std::string& start) {
    std::filesystem::create_directories(prefix.DriveC() + "/windows/system32");
    std::string path = prefix.DriveC() + "/windows/system32/huge.dll";
    int descriptor = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    EXPECT_LE(0, descriptor);
    EXPECT_EQ((ssize_t)start.size(), write(descriptor, start.data(), start.size()));
    EXPECT_EQ(0, ftruncate(descriptor, 0x100000000LL));
    close(descriptor);
    return "C:\\windows\\system32\\huge.dll";
}

jobject CollectVersions(JNIEnv* env, const std::string& path) {
    jstring name = env->NewStringUTF(path.c_str());
    jobject result =
        Java_com_quorvane_inventory_inventoryagent_WindowsExecutableMetadataFileInventoryAgent_collectVersionInformationForFile(
            env, nullptr, name);
    env->DeleteLocalRef(name);
    return result;
}

// A 4 GB file named like a DLL: a hole is no PE file; with headers whose version resource claims
// 2 GB, the version block read stays within the 64 KB a version block can describe.
TEST_F(HostileImageTest, FourGigabyteSparseDll) {
    const std::string dll = HugeDll(prefix, "");
    PeakMemory memory;
    EXPECT_EQ(nullptr, CollectVersions(env, dll));
    HugeDll(prefix, PeFile(ResourcesClaimingGigabytes(), 0xFFFFFC00u));
    jobject versions = CollectVersions(env, dll);
    EXPECT_FALSE(env->ExceptionCheck());
    ASSERT_NE(nullptr, versions);
    env->DeleteLocalRef(versions);
    printf("a 4 GB DLL: %.0f MB at most\n", memory.GrowthMb());
    EXPECT_LT(memory.GrowthMb(), BoundMb(64));
}

// Event logs built for the hostile cases: records written by the layer, then the bytes changed.
class HostileEventLogTest : public EventLogTest {
  protected:
    std::string LogFile() const { return prefix_.DriveC() + "/PallwickTest.evt"; }
    std::string ReadLogFile() const {
        std::ifstream in(LogFile(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void WriteLogFile(const std::string& bytes) const {
        std::ofstream(LogFile(), std::ios::binary | std::ios::trunc) << bytes;
    }
    // Reads forwards on a new handle until the export answers null; the number of records read.
    size_t ReadUntilTheEnd(size_t most) {
        jlong handle = Open();
        EXPECT_NE(0, handle);
        size_t count = 0;
        while (count <= most && Read(handle).has_value()) {
            ++count;
        }
        EXPECT_NE(0, Close(handle));
        return count;
    }
};

// The message file of a record's source is the 4 GB DLL, whose message table claims 2 GB: the
// text is found at the table's start and no more of it is read than the lookup walks.
TEST_F(HostileEventLogTest, MessagesFromAFourGigabyteDll) {
    SetText(kLogKey + "\\" + kDescribed, "EventMessageFile",
            HugeDll(prefix_, PeFile(ResourcesClaimingGigabytes(), 0xFFFFFC00u)));
    ReportedEvent event;
    event.id = 1;
    ReportMachineEvent(event);
    PeakMemory memory;
    jlong handle = Open();
    EventRecordTexts record = Read(handle);
    EXPECT_NE(0, Close(handle));
    ASSERT_TRUE(record.has_value());
    EXPECT_TRUE(Holds(*record, "Hostile"));
    printf("a message from a 4 GB DLL: %.0f MB at most\n", memory.GrowthMb());
    EXPECT_LT(memory.GrowthMb(), BoundMb(64));
}

// A resource directory whose entries all lead back to itself: no version block, no message, and
// the walk ends after the tree's three levels.
TEST_F(HostileEventLogTest, ResourceDirectoryThatLoops) {
    std::string resources(0x100, '\0');
    PutDirectory(&resources, 0, {{1, kSubdirectory}, {11, kSubdirectory}, {16, kSubdirectory}});
    WriteFile(prefix_.DriveC() + "/loop.dll", PeFile(resources, 0x100));
    EXPECT_EQ(nullptr, CollectVersions(env, "C:\\loop.dll"));
    SetText(kLogKey + "\\" + kDescribed, "EventMessageFile", "C:\\loop.dll");
    ReportedEvent event;
    event.id = 1;
    event.strings = {"insert"};
    ReportMachineEvent(event);
    jlong handle = Open();
    EventRecordTexts record = Read(handle);
    EXPECT_NE(0, Close(handle));
    ASSERT_TRUE(record.has_value());
    EXPECT_FALSE(Holds(*record, "Hostile"));
}

// Offsets that lead round in a cycle: a record whose length brings the walk back to the first,
// a closing length that points back at its own record or round the ring, a dirty log whose
// end-of-file record names the oldest record as the end. Each read ends, each check answers.
TEST_F(HostileEventLogTest, OffsetsInACycle) {
    for (int record = 0; record < 3; ++record) {
        ReportedEvent event;
        event.id = 1000 + record;
        ReportMachineEvent(event);
    }
    const std::string key = ReadAll().at(0).at(0);
    const std::string clean = ReadLogFile();
    DWORD first = 0x30;
    DWORD length = 0;
    memcpy(&length, clean.data() + first, 4);
    const DWORD second = first + length;
    const DWORD ring = (DWORD)clean.size() - 0x30;
    struct Change {
        DWORD at;
        DWORD value;
    };
    const std::vector<std::vector<Change>> cycles = {
        {{second, ring - length}}, // the second record leads back to the first
        {{first, ring}},           // the first one leads round to itself
        {{second - 4, 0}},         // a closing length of nothing
        {{second - 4, ring}},      // ... or of the whole ring
        {{0x24, 0x1}, {(DWORD)clean.size() - 0x28 + 0x14, first}}, // dirty, ending at the start
        {{0x10, second}, {0x14, first}}, // the header's start after its end
    };
    for (size_t i = 0; i < cycles.size(); ++i) {
        std::string bytes = clean;
        for (const Change& change : cycles[i]) {
            memcpy(&bytes[change.at], &change.value, 4);
        }
        WriteLogFile(bytes);
        EXPECT_LE(ReadUntilTheEnd(3), 3u) << i;
        Check(key);
        EXPECT_FALSE(env->ExceptionCheck()) << i;
    }
}

// A log left dirty, as a service that stopped abruptly leaves it, is found by a scan of its whole
// file (8 MB here: 128 reads). Read record by record through one handle, the scan is made once,
// not at each read: a record then takes about 75 reads (itself, its neighbours, its message
// files), where a scan at each of its two reads would add over 250.
TEST_F(HostileEventLogTest, DirtyLogIsScannedOncePerHandle) {
    SetDword(kLogKey, "MaxSize", 16 * 1024 * 1024);
    const std::string text(1000, 'x');
    ReportedEvent event;
    event.strings = {text.c_str()};
    for (int record = 0; record < 4000; ++record) {
        EventLogLeaveDirtyForTests(record == 3999);
        ReportMachineEvent(event);
    }
    EventLogLeaveDirtyForTests(false);
    FaultPlanClear();
    EXPECT_EQ(4000u, ReadUntilTheEnd(4000));
    EXPECT_LT(FaultPlanCallCountOf(PosixCall::Pread), 4000u * 120);

    // A record appended while the handle reads is found: the layout it kept is dropped.
    jlong handle = Open();
    ASSERT_TRUE(Read(handle).has_value());
    EventLogLeaveDirtyForTests(true);
    ReportMachineEvent(event);
    EventLogLeaveDirtyForTests(false);
    size_t count = 1;
    while (count <= 4001 && Read(handle).has_value()) {
        ++count;
    }
    EXPECT_NE(0, Close(handle));
    EXPECT_EQ(4001u, count);
}

} // namespace
