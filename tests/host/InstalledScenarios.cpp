// Installed software: attribute collections with limits, instance checks, the release of the
// keys kept open, and what the Java side could pass wrongly.
#include "tests/host/HostJni.h"
#include "tests/host/JavaText.h"
#include "tests/host/ResultPrinter.h"
#include "tests/host/Scenarios.h"

namespace {

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

void Collect(Session& session, const Collection& collection) {
    JNIEnv* env = session.env;
    jobjectArray attributes =
        collection.nullAttributes ? nullptr : NewJavaStringArray(env, collection.attributes);
    jintArray codes = collection.nullCodes ? nullptr : NewJavaIntArray(env, collection.masterCodes);
    jobject vector = collection.nullVector ? nullptr : NewJavaObject(env, kResultVectorClass);
    jbyte result = Call<Export::GetAttributeValues>(session, attributes, codes, vector,
                                                    collection.abortOnLimit ? JNI_TRUE : JNI_FALSE,
                                                    collection.limit);
    PrintLine(std::string("getAttributeValues(") + collection.label + ") -> " + ByteText(result));
    PrintResultVector(env, "  results", vector);
    env->DeleteLocalRef(vector);
    env->DeleteLocalRef(codes);
    env->DeleteLocalRef(attributes);
}

void CheckInstances(Session& session) {
    for (const char* name : {"QuorvaneViewer", "quorvaneviewer", "quorvane.tools",
                             "{6F1C2A40-0D7B-4C1E-9B55-2A7D3E8F1001}", "QuorvaneUpdaterComponent",
                             "NoSuchProgram", "", "QuorvaneViewer\\", "..\\Uninstall"}) {
        PrintTextCall<Export::InstalledCheckInstance>(session, name);
    }
    PrintTextCall<Export::InstalledCheckInstance>(session, nullptr);
    // Longer than a registry key name may be.
    PrintTextCall<Export::InstalledCheckInstance>(session, std::string(300, 'a').c_str());
}

void ReleaseResources(Session& session) {
    PrintLine("releaseResources() -> " + BooleanText(Call<Export::ReleaseResources>(session)));
}

} // namespace

void InstalledSoftwareScenario(Session& session) {
    session.agent = NewJavaObject(session.env, kAgentClass);
    for (const Collection& collection : kCollections) {
        Collect(session, collection);
    }
    CheckInstances(session);
    // Released keys are opened again by the next call; a second release finds nothing open.
    ReleaseResources(session);
    ReleaseResources(session);
    PrintTextCall<Export::InstalledCheckInstance>(session, "QuorvaneViewer");
    Collect(session, kCollections[1]);
    ReleaseResources(session);
}
