// Root directories and version metadata of files.
#include "tests/host/FolderListing.h"
#include "tests/host/HostJni.h"
#include "tests/host/JavaText.h"
#include "tests/host/ResultPrinter.h"
#include "tests/host/Scenarios.h"

#include "com_quorvane_inventory_inventoryagent_BasicFileInventoryAgent.h"
#include "com_quorvane_inventory_inventoryagent_WindowsExecutableMetadataFileInventoryAgent.h"

#include <stdlib.h>

#include <string>
#include <string.h>

namespace {

using CheckRootDirectoryFunction = EXPORT_FUNCTION_TYPE(BasicFileInventoryAgent,
                                                        checkRootDirectory);
using CollectVersionFunction = EXPORT_FUNCTION_TYPE(WindowsExecutableMetadataFileInventoryAgent,
                                                    collectVersionInformationForFile);

constexpr const char kSystemFolder[] = "C:\\windows\\system32";

// The windres fixtures: PALLWICK_VERSION_FIXTURES when set, so that two builds can read the
// same files, else the ones this build made.
std::string FixtureFolder() {
    const char* folder = getenv("PALLWICK_VERSION_FIXTURES");
    return folder != nullptr ? folder : PALLWICK_VERSION_FIXTURES;
}

void CheckRoot(Session& session, jobject agent, const char* path) {
    auto check = session.exports.Get<CheckRootDirectoryFunction>(Export::CheckRootDirectory);
    jstring argument = NewJavaString(session.env, path);
    jboolean result = JNI_FALSE;
    CallExport(session, [&] {
        result = check(session.env, agent, argument);
        return nullptr;
    });
    PrintLine("checkRootDirectory(" + JavaStringText(session.env, argument) + ") -> " +
              BooleanText(result));
    session.env->DeleteLocalRef(argument);
}

// label stands for the path in what is printed: a path of the build tree differs by build.
void CollectVersion(Session& session, jobject agent, const char* path, const std::string& label) {
    auto collect = session.exports.Get<CollectVersionFunction>(Export::CollectVersionInformation);
    jstring argument = NewJavaString(session.env, path);
    jobject vector = CallExport(session, [&] { return collect(session.env, agent, argument); });
    PrintVectorOfStringArrays(session.env, "collectVersionInformationForFile(" + label + ")",
                              vector);
    session.env->DeleteLocalRef(vector);
    session.env->DeleteLocalRef(argument);
}

void CollectVersion(Session& session, jobject agent, const char* path) {
    jstring argument = NewJavaString(session.env, path);
    std::string label = JavaStringText(session.env, argument);
    session.env->DeleteLocalRef(argument);
    CollectVersion(session, agent, path, label);
}

void CollectFolder(Session& session, jobject agent, const std::string& folder,
                   const std::string& label) {
    for (const std::string& name : FileNamesOf(folder)) {
        CollectVersion(session, agent, (folder + "\\" + name).c_str(), label + "\\" + name);
    }
}

} // namespace

void RootDirectoryScenario(Session& session) {
    jobject agent =
        NewJavaObject(session.env, "com/quorvane/inventory/inventoryagent/BasicFileInventoryAgent");
    // The prefix's own drives, its drives marked network, CD-ROM and floppy, a letter it lacks,
    // folders named with and without the trailing separator, and what is no root at all.
    for (const char* path :
         {"C:\\", "Z:\\", "c:\\", "z:\\", "N:\\", "O:\\", "P:\\", "K:\\", "C:\\windows\\",
          "C:\\windows", "C:\\no-such-folder\\", "C", "C:", "", "\\", "CC:\\"}) {
        CheckRoot(session, agent, path);
    }
    CheckRoot(session, agent, nullptr);
    // Longer than any buffer of MAX_PATH on the way.
    CheckRoot(session, agent, ("C:\\" + std::string(300, 'a') + "\\").c_str());
}

void VersionInformationScenario(Session& session) {
    jobject agent = NewJavaObject(
        session.env,
        "com/quorvane/inventory/inventoryagent/WindowsExecutableMetadataFileInventoryAgent");
    CollectFolder(session, agent, kSystemFolder, kSystemFolder);
    CollectFolder(session, agent, FixtureFolder(), "<fixtures>");
    // The product DLL itself, when the run names it: the Linux build reads it through the layer,
    // the DLL under Wine reads its own file, and the two must agree.
    if (const char* product = getenv("PALLWICK_PRODUCT_DLL")) {
        CollectVersion(session, agent, product, "<Pallwick.dll>");
    }
    for (const char* path : {"", "C:\\windows\\system32\\no-such-file.dll", "C:\\windows",
                             "C:\\windows\\win.ini", "C:\\windows\\system32\\"}) {
        CollectVersion(session, agent, path);
    }
    CollectVersion(session, agent, nullptr);
    CollectVersion(session, agent, ("C:\\windows\\" + std::string(300, 'a') + ".dll").c_str());
}
