// collectVersionInformationForFile over every file of the machine image's system32, against its
// floor: the version calls and the JNI work any implementation needs (the strings, one array per
// translation, Vector.add).
#include "bench/BenchSupport.h"

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

// The same reads straight from the version functions, and the Java objects the result needs.
void CollectVersionInformationFloor(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    jclass vectorClass = env->FindClass("java/util/Vector");
    jmethodID init = env->GetMethodID(vectorClass, "<init>", "()V");
    jmethodID add = env->GetMethodID(vectorClass, "add", "(Ljava/lang/Object;)Z");
    jclass stringClass = env->FindClass("java/lang/String");
    char path[1024];
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
                UINT length = 0;
                VerQueryValueA(block, "\\VarFileInfo\\Translation", &list, &length);
                for (UINT i = 0; list != nullptr && i + 4 <= length; i += 4) {
                    const BYTE* pair = static_cast<const BYTE*>(list) + i;
                    jobjectArray strings = env->NewObjectArray(12, stringClass, nullptr);
                    for (int p = 0; p < 10; ++p) {
                        snprintf(path, sizeof path, "\\StringFileInfo\\%02x%02x%02x%02x\\%s",
                                 pair[1], pair[0], pair[3], pair[2], kProperties[p]);
                        LPVOID text = nullptr;
                        UINT textLength = 0;
                        jstring value = env->NewStringUTF(
                            VerQueryValueA(block, path, &text, &textLength) && text != nullptr
                                ? static_cast<const char*>(text)
                                : "");
                        env->SetObjectArrayElement(strings, p, value);
                        env->DeleteLocalRef(value);
                    }
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
    BenchPair("CollectVersionInformation", "CollectVersionInformationFloor");
    BenchResultSize("CollectVersionInformation", LargestResultBytes);
    return RunBenchmarks(argc, argv);
}
