// collectVersionInformationForFile over every file of the machine image's system32, against its
// floor: the version calls and the JNI work any implementation needs (the twelve strings with the
// language and code page names, one array per translation, Vector.add), and the records the
// export writes at the default level, written by the floors' plain writer (bench/FloorLog.h) into
// a log of their own, each as long as the export's: per translation and property the sub-block
// path ("Formatted string"), and its text ("Value") when the file has one; for a file without a
// translation list two more, the default pair's.
#include "bench/BenchSupport.h"
#include "bench/FloorLog.h"

#include "Common/LanguageNames.h"

#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WindowsExecutableMetadataFileInventoryAgent.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>

namespace {

const char* const kProperties[] = {
    "Comments",         "LegalTrademarks", "CompanyName",    "FileDescription", "InternalName",
    "OriginalFilename", "ProductName",     "ProductVersion", "FileVersion",     "LegalCopyright"};

std::vector<std::string> System32Files() {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(BenchPrefix() + "/drive_c/windows/system32", error)) {
        if (entry.is_regular_file()) {
            files.push_back("C:\\windows\\system32\\" + entry.path().filename().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

const std::vector<std::string>& Files() {
    static const std::vector<std::string> files = System32Files();
    return files;
}

void CollectVersionInformation(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    for (auto _ : state) {
        for (const std::string& file : Files()) {
            jstring name = env->NewStringUTF(file.c_str());
            jobject result =
                Java_com_quorvane_inventory_inventoryagent_WindowsExecutableMetadataFileInventoryAgent_collectVersionInformationForFile(
                    env, nullptr, name);
            env->DeleteLocalRef(result);
            env->DeleteLocalRef(name);
        }
    }
    state.counters["files"] = (double)Files().size();
}

constexpr char kSource[] = "NativeFileVersionInfo";
constexpr char kCollect[] = "Java_com_quorvane_inventory_inventoryagent_"
                            "WindowsExecutableMetadataFileInventoryAgent_"
                            "collectVersionInformationForFile";
const BYTE kDefaultPair[4] = {0x09, 0x04, 0, 0};

// The translation list, or the default pair for a file without one.
UINT Translations(const void* block, const char* file, LPVOID* list) {
    UINT length = 0;
    if (VerQueryValueA(block, "\\VarFileInfo\\Translation", list, &length) && *list != nullptr) {
        return length;
    }
    FloorRecord(kCollect, kSource, 86,
                "*****: Could not read the list of languages and code pages for file . %s.", file);
    FloorRecord(kCollect, kSource, 91, "Setting to default language and code page");
    *list = const_cast<BYTE*>(kDefaultPair);
    return sizeof kDefaultPair;
}

jstring PropertyString(JNIEnv* env, const void* block, const BYTE* pair, const char* property) {
    char path[1024];
    snprintf(path, sizeof path, "\\StringFileInfo\\%02x%02x%02x%02x\\%s", pair[1], pair[0], pair[3],
             pair[2], property);
    FloorRecord("GetFormattedPropertyValue", kSource, 169, "Formatted string : '%s'", path);
    LPVOID text = nullptr;
    UINT textLength = 0;
    if (!VerQueryValueA(block, path, &text, &textLength) || text == nullptr) {
        return env->NewStringUTF("");
    }
    FloorRecord(kCollect, kSource, 53, "Value : %s", static_cast<const char*>(text));
    return env->NewStringUTF(static_cast<const char*>(text));
}

void SetName(JNIEnv* env, jobjectArray strings, int index, const char* name) {
    jstring value = env->NewStringUTF(name);
    env->SetObjectArrayElement(strings, index, value);
    env->DeleteLocalRef(value);
}

// The same reads straight from the version functions, and the Java objects the result needs.
void CollectVersionInformationFloor(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    jclass vectorClass = env->FindClass("java/util/Vector");
    jmethodID init = env->GetMethodID(vectorClass, "<init>", "()V");
    jmethodID add = env->GetMethodID(vectorClass, "add", "(Ljava/lang/Object;)Z");
    jclass stringClass = env->FindClass("java/lang/String");
    for (auto _ : state) {
        for (const std::string& file : Files()) {
            jstring name = env->NewStringUTF(file.c_str());
            const char* chars = env->GetStringUTFChars(name, nullptr);
            DWORD handle = 0;
            DWORD size = GetFileVersionInfoSizeA(chars, &handle);
            void* block = size > 0 ? malloc(size) : nullptr;
            if (block != nullptr && GetFileVersionInfoA(chars, 0, size, block)) {
                jobject vector = env->NewObject(vectorClass, init);
                LPVOID list = nullptr;
                UINT length = Translations(block, chars, &list);
                for (UINT i = 0; i + 4 <= length; i += 4) {
                    const BYTE* pair = static_cast<const BYTE*>(list) + i;
                    jobjectArray strings = env->NewObjectArray(12, stringClass, nullptr);
                    for (int p = 0; p < 10; ++p) {
                        jstring value = PropertyString(env, block, pair, kProperties[p]);
                        env->SetObjectArrayElement(strings, p, value);
                        env->DeleteLocalRef(value);
                    }
                    SetName(env, strings, 10, LookupLanguageName((WORD)(pair[0] | pair[1] << 8)));
                    SetName(env, strings, 11, LookupCodePageName((WORD)(pair[2] | pair[3] << 8)));
                    env->CallBooleanMethod(vector, add, strings);
                    env->DeleteLocalRef(strings);
                }
                env->DeleteLocalRef(vector);
            }
            free(block);
            env->ReleaseStringUTFChars(name, chars);
            env->DeleteLocalRef(name);
        }
    }
    state.counters["files"] = (double)Files().size();
}

BENCHMARK(CollectVersionInformation)->Unit(benchmark::kMillisecond);
BENCHMARK(CollectVersionInformationFloor)->Unit(benchmark::kMillisecond);

// The largest result of one file.
int64_t LargestResultBytes(JNIEnv* env) {
    int64_t largest = -1;
    for (const std::string& file : Files()) {
        jstring name = env->NewStringUTF(file.c_str());
        jobject result =
            Java_com_quorvane_inventory_inventoryagent_WindowsExecutableMetadataFileInventoryAgent_collectVersionInformationForFile(
                env, nullptr, name);
        largest = std::max(largest, BenchJavaBytes(env, result));
        env->DeleteLocalRef(result);
        env->DeleteLocalRef(name);
    }
    return largest;
}

} // namespace

int main(int argc, char** argv) {
    OpenFloorLog("floor.LOG");
    BenchPair("CollectVersionInformation", "CollectVersionInformationFloor");
    BenchResultSize("CollectVersionInformation", LargestResultBytes);
    return RunBenchmarks(argc, argv);
}
