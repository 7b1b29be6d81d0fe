// Installed software: attribute collections with limits, instance checks, the release of the
// keys kept open, and what the Java side could pass wrongly.
#include "tests/host/HostJni.h"
#include "tests/host/JavaText.h"
#include "tests/host/ResultPrinter.h"
#include "tests/host/Scenarios.h"

#include "com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent.h"

namespace {

using GetAttributeValuesFunction = EXPORT_FUNCTION_TYPE(InstalledSoftwaresAgent,
                                                        getAttributeValues);
using CheckInstanceFunction = EXPORT_FUNCTION_TYPE(InstalledSoftwaresAgent, checkInstance);
using ReleaseResourcesFunction = EXPORT_FUNCTION_TYPE(InstalledSoftwaresAgent, releaseResources);

constexpr const char kAgentClass[] =
    "com/quorvane/inventory/inventoryagent/InstalledSoftwaresAgent";
constexpr const char kResultVectorClass[] =
    "com/quorvane/inventory/inventoryagent/InventoryResultVector";

struct Collection {
    const char* label;
    std::vector<const char*> attributes;
    std::vector<jint> masterCodes;
    bool nullAttributes;
    bool nullCodes;
    bool nullVector;
    bool abortOnLimit;
    jint limit;
};

// Every value type the sample programs hold, and names that no program has.
const std::vector<const char*> kAllAttributes = {
    "DisplayName",   "DisplayVersion",  "Publisher",    "InstallLocation",
    "EstimatedSize", "Language",        "VersionMajor", "Comments",
    "Signature",     "UninstallString", "displayname",  "NoSuchAttribute"};
const std::vector<jint> kAllCodes = {101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112};

// A limit below the size keeps the walk from pausing: it aborts at once.
const Collection kCollections[] = {
    {"every attribute", kAllAttributes, kAllCodes, false, false, false, false, 1000},
    {"stopped at the limit", {"DisplayName", "Publisher"}, {1, 2}, false, false, false, true, 3},
    {"limit zero", {"DisplayName"}, {1}, false, false, false, true, 0},
    {"no attributes", {}, {}, false, false, false, false, 1000},
    {"null attributes", {}, {1}, true, false, false, false, 1000},
    {"null codes", {"DisplayName"}, {}, false, true, false, false, 1000},
    {"fewer codes", {"DisplayName", "Publisher"}, {1}, false, false, false, false, 1000},
    {"more codes", {"DisplayName"}, {1, 2}, false, false, false, false, 1000},
    {"null attribute name", {"DisplayName", nullptr}, {1, 2}, false, false, false, false, 1000},
    {"empty attribute name", {""}, {1}, false, false, false, false, 1000},
    {"null vector", {"DisplayName"}, {1}, false, false, true, false, 1000},
};

void Collect(Session& session, jobject agent, const Collection& collection) {
    JNIEnv* env = session.env;
    jobjectArray attributes =
        collection.nullAttributes ? nullptr : NewJavaStringArray(env, collection.attributes);
    jintArray codes = collection.nullCodes ? nullptr : NewJavaIntArray(env, collection.masterCodes);
    jobject vector = collection.nullVector ? nullptr : NewJavaObject(env, kResultVectorClass);
    auto get = session.exports.Get<GetAttributeValuesFunction>(Export::GetAttributeValues);
    jbyte result = 0;
    CallExport(session, [&] {
        result = get(env, agent, attributes, codes, vector,
                     collection.abortOnLimit ? JNI_TRUE : JNI_FALSE, collection.limit);
        return nullptr;
    });
    PrintLine(std::string("getAttributeValues(") + collection.label + ") -> " + ByteText(result));
    PrintResultVector(env, "  results", vector);
    env->DeleteLocalRef(vector);
    env->DeleteLocalRef(codes);
    env->DeleteLocalRef(attributes);
}

void CheckInstance(Session& session, jobject agent, const char* name) {
    auto check = session.exports.Get<CheckInstanceFunction>(Export::InstalledCheckInstance);
    jstring argument = NewJavaString(session.env, name);
    jboolean result = JNI_FALSE;
    CallExport(session, [&] {
        result = check(session.env, agent, argument);
        return nullptr;
    });
    PrintLine("checkInstance(" + JavaStringText(session.env, argument) + ") -> " +
              BooleanText(result));
    session.env->DeleteLocalRef(argument);
}

void CheckInstances(Session& session, jobject agent) {
    for (const char* name : {"QuorvaneViewer", "quorvaneviewer", "quorvane.tools",
                             "{6F1C2A40-0D7B-4C1E-9B55-2A7D3E8F1001}", "QuorvaneUpdaterComponent",
                             "NoSuchProgram", "", "QuorvaneViewer\\", "..\\Uninstall"}) {
        CheckInstance(session, agent, name);
    }
    CheckInstance(session, agent, nullptr);
    // Longer than a registry key name may be.
    CheckInstance(session, agent, std::string(300, 'a').c_str());
}

void ReleaseResources(Session& session, jobject agent) {
    auto release = session.exports.Get<ReleaseResourcesFunction>(Export::ReleaseResources);
    jboolean result = JNI_FALSE;
    CallExport(session, [&] {
        result = release(session.env, agent);
        return nullptr;
    });
    PrintLine("releaseResources() -> " + BooleanText(result));
}

} // namespace

void InstalledSoftwareScenario(Session& session) {
    jobject agent = NewJavaObject(session.env, kAgentClass);
    for (const Collection& collection : kCollections) {
        Collect(session, agent, collection);
    }
    CheckInstances(session, agent);
    // Released keys are opened again by the next call; a second release finds nothing open.
    ReleaseResources(session, agent);
    ReleaseResources(session, agent);
    CheckInstance(session, agent, "QuorvaneViewer");
    Collect(session, agent, kCollections[1]);
    ReleaseResources(session, agent);
}
