// Root directories and version metadata of files.
#include "tests/host/FolderListing.h"
#include "tests/host/HostJni.h"
#include "tests/host/JavaText.h"
#include "tests/host/ResultPrinter.h"
#include "tests/host/Scenarios.h"

#include <stdlib.h>

#include <string>
#include <string.h>

namespace {

constexpr const char kSystemFolder[] = "C:\\windows\\system32";

// The windres fixtures: PALLWICK_VERSION_FIXTURES when set, so that two builds can read the
// same files, else the ones this build made.
std::string FixtureFolder() {
    const char* folder = getenv("PALLWICK_VERSION_FIXTURES");
    return folder != nullptr ? folder : PALLWICK_VERSION_FIXTURES;
}

// label stands for the path in what is printed: a path of the build tree differs by build.
void CollectVersion(Session& session, const char* path, const std::string& label) {
    jstring argument = NewJavaString(session.env, path);
    jobject vector = Call<Export::CollectVersionInformation>(session, argument);
    PrintVectorOfStringArrays(session.env, "collectVersionInformationForFile(" + label + ")",
                              vector);
    session.env->DeleteLocalRef(vector);
    session.env->DeleteLocalRef(argument);
}

void CollectVersion(Session& session, const char* path) {
    jstring argument = NewJavaString(session.env, path);
    std::string label = JavaStringText(session.env, argument);
    session.env->DeleteLocalRef(argument);
    CollectVersion(session, path, label);
}

void CollectFolder(Session& session, const std::string& folder, const std::string& label) {
    for (const std::string& name : FileNamesOf(folder)) {
        CollectVersion(session, (folder + "\\" + name).c_str(), label + "\\" + name);
    }
}

} // namespace

void RootDirectoryScenario(Session& session) {
    session.agent =
        NewJavaObject(session.env, "com/quorvane/inventory/inventoryagent/BasicFileInventoryAgent");
    for (const char* path : kRootPaths) {
        PrintTextCall<Export::CheckRootDirectory>(session, path);
    }
    PrintTextCall<Export::CheckRootDirectory>(session, nullptr);
    // Longer than any buffer of MAX_PATH on the way.
    PrintTextCall<Export::CheckRootDirectory>(session,
                                              ("C:\\" + std::string(300, 'a') + "\\").c_str());
}

void VersionInformationScenario(Session& session) {
    session.agent = NewJavaObject(
        session.env,
        "com/quorvane/inventory/inventoryagent/WindowsExecutableMetadataFileInventoryAgent");
    CollectFolder(session, kSystemFolder, kSystemFolder);
    CollectFolder(session, FixtureFolder(), "<fixtures>");
    // The product DLL itself, when the run names it: the Linux build reads it through the layer,
    // the DLL under Wine reads its own file, and the two must agree.
    if (const char* product = getenv("PALLWICK_PRODUCT_DLL")) {
        CollectVersion(session, product, "<Pallwick.dll>");
    }
    for (const char* path : {"", "C:\\windows\\system32\\no-such-file.dll", "C:\\windows",
                             "C:\\windows\\win.ini", "C:\\windows\\system32\\"}) {
        CollectVersion(session, path);
    }
    CollectVersion(session, nullptr);
    CollectVersion(session, ("C:\\windows\\" + std::string(300, 'a') + ".dll").c_str());
}
