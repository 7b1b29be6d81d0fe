// The performance counter exports' fixture: each call goes through the export as the Java side
// makes it, and the diagnostic log of the test's own process is read back.
#pragma once

#include "tests/support/JvmHarness.h"
#include "tests/support/LogCapture.h"

#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent.h"

#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

using Strings = std::optional<std::vector<std::string>>;

inline constexpr char kProcessorTime[] = "\\Processor(_Total)\\% Processor Time";
inline constexpr char kProcessCount[] = "\\System\\Processes";
inline constexpr char kBadPath[] = "\\NoSuchObject\\No Such Counter";
inline constexpr char kGoneProcess[] = "\\Process(pallwick_never_started)\\ID Process";

class PerfmonTest : public JvmTest {
  protected:
    Strings Expand(const char* path) {
        jobjectArray result =
            Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_getExpandedCounterPaths(
                env, nullptr, JavaString(path));
        return result != nullptr ? Strings(TakeJavaStrings(env, result)) : std::nullopt;
    }

    // The values of the paths; a null path stands for a null element.
    std::optional<std::vector<double>> Sample(const std::vector<const char*>& paths, jint delay) {
        jclass stringClass = env->FindClass("java/lang/String");
        jobjectArray array = env->NewObjectArray((jsize)paths.size(), stringClass, nullptr);
        for (size_t i = 0; i < paths.size(); ++i) {
            if (paths[i] != nullptr) {
                jstring path = JavaString(paths[i]);
                env->SetObjectArrayElement(array, (jsize)i, path);
                env->DeleteLocalRef(path);
            }
        }
        jdoubleArray result =
            Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_getCounterValues(
                env, nullptr, array, delay);
        if (result == nullptr) {
            return std::nullopt;
        }
        std::vector<double> values((size_t)env->GetArrayLength(result));
        env->GetDoubleArrayRegion(result, 0, (jsize)values.size(), values.data());
        env->DeleteLocalRef(result);
        return values;
    }

    // The four parts, "<null>" for a part the path lacks.
    Strings Parse(const char* path) {
        jobjectArray result =
            Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_parseCounterPath(
                env, nullptr, JavaString(path));
        if (result == nullptr) {
            return std::nullopt;
        }
        std::vector<std::string> parts;
        for (jsize i = 0; i < env->GetArrayLength(result); ++i) {
            auto part = static_cast<jstring>(env->GetObjectArrayElement(result, i));
            const char* chars = part != nullptr ? env->GetStringUTFChars(part, nullptr) : nullptr;
            parts.push_back(chars != nullptr ? chars : "<null>");
            if (chars != nullptr) {
                env->ReleaseStringUTFChars(part, chars);
            }
            env->DeleteLocalRef(part);
        }
        env->DeleteLocalRef(result);
        return parts;
    }

    bool Check(const std::string& path) {
        return Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_checkInstanceExists(
                   env, nullptr, JavaString(path.c_str())) == JNI_TRUE;
    }

    size_t Count(const std::string& message) const {
        std::vector<std::string> messages = log_.Messages();
        return (size_t)std::count(messages.begin(), messages.end(), message);
    }
    size_t CountStartingWith(const std::string& prefix) const {
        std::vector<std::string> messages = log_.Messages();
        return (size_t)std::count_if(messages.begin(), messages.end(), [&](const std::string& m) {
            return m.compare(0, prefix.size(), prefix) == 0;
        });
    }

    LogCapture log_{"perfmon-" + std::to_string(getpid())};
};

// The Process instance of this program, as PDH names it: the image name without extension.
inline std::string OwnProcessInstance() {
    char image[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, image, MAX_PATH);
    std::string name = image;
    name = name.substr(name.find_last_of("\\/") + 1);
    return name.substr(0, name.rfind('.'));
}
