// Registry keys by path: walks of a few subtrees with every value, and each export's bad input.
#include "tests/host/HostJni.h"
#include "tests/host/JavaText.h"
#include "tests/host/ResultPrinter.h"
#include "tests/host/Scenarios.h"

namespace {

constexpr const char kAgentClass[] =
    "com/quorvane/inventory/inventoryagent/WindowsRegistryInventoryAgent";

// A key's names, values and results; each subkey gets a frame of its own.
constexpr jint kKeyFrameCapacity = 32;

// The subtrees walked: the sample programs, the prefix's drive marks, a few services.
constexpr const char* kWalkedKeys[] = {
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    "HKLM\\Software\\Wine\\Drives",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Eventlog",
    "HKLM\\System\\CurrentControlSet\\Services\\PlugPlay",
    "HKLM\\System\\CurrentControlSet\\Services\\MountMgr",
};

// The String[] export of one key path (getChildKeyNames, getChildValueNames, getDefaultValue)
// and what it returned.
template <Export which> std::vector<std::string> CallNames(Session& session, jstring path) {
    jobjectArray array = Call<which>(session, path);
    PrintLine(std::string(CatalogueEntry(which).method) + "(" + JavaStringText(session.env, path) +
              ") -> " + StringArrayText(session.env, array));
    return TakeJavaStringTexts(session.env, array);
}

void GetValue(Session& session, jstring path, const char* name) {
    jstring valueName = NewJavaString(session.env, name);
    std::string result = ResultText(session.env, Call<Export::GetValue>(session, path, valueName));
    PrintLine("getValue(" + JavaStringText(session.env, path) + ", " +
              JavaStringText(session.env, valueName) + ") -> " + result);
    session.env->DeleteLocalRef(valueName);
}

void GetLastModifiedTime(Session& session, jstring path) {
    std::string result = TextCallResult<Export::GetLastModifiedTime>(session, path);
    PrintLine("getLastModifiedTime(" + JavaStringText(session.env, path) + ") -> " + result);
}

void CheckInstanceExists(Session& session, const char* path) {
    PrintTextCall<Export::RegistryCheckInstanceExists>(session, path);
}

// Prints one key and its values; gives its subkey names.
std::vector<std::string> PrintKey(Session& session, const std::string& key) {
    jstring path = NewJavaString(session.env, key.c_str());
    std::vector<std::string> subkeys = CallNames<Export::GetChildKeyNames>(session, path);
    for (const std::string& value : CallNames<Export::GetChildValueNames>(session, path)) {
        GetValue(session, path, value.c_str());
        CheckInstanceExists(session, (key + "\\" + value).c_str());
    }
    CallNames<Export::GetDefaultValue>(session, path);
    GetLastModifiedTime(session, path);
    CheckInstanceExists(session, (key + "\\").c_str());
    session.env->DeleteLocalRef(path);
    return subkeys;
}

void Walk(Session& session, const std::string& key) {
    std::vector<std::string> subkeys;
    InHostFrame(session, kKeyFrameCapacity, [&] { subkeys = PrintKey(session, key); });
    for (const std::string& subkey : subkeys) {
        Walk(session, key + "\\" + subkey);
    }
}

// Paths no key has, or that name one in a form a caller may not expect to work.
constexpr const char* kOddPaths[] = {
    "",
    "HKEY_NOPE\\x",
    "HKEY_LOCAL_MACHINE",
    "HKLM",
    "HKEY_LOCAL_MACHINE\\",
    "HKEY_LOCAL_MACHINE\\\\Software\\Wine",
    "HKEY_LOCAL_MACHINE\\Software\\Wine\\",
    "HKEY_LOCAL_MACHINE\\Software\\\\Wine",
    "\\HKEY_LOCAL_MACHINE\\Software",
    "hkey_local_machine\\software\\wine",
    "HKLM\\NoSuchKey",
    "HKLM/Software/Wine",
    "HKEY_CURRENT_USER\\Software\\Wine",
    "HKCU\\Software",
    "HKCR\\.txt",
    "HKU\\.Default",
    "HKEY_CLASSES_ROOT",
    // Text the ANSI code page holds, and text it does not.
    "HKLM\\Software\\Caf\xC3\xA9",
    "HKLM\\Software\\\xCE\xA9mega",
};

void CallEveryKeyExport(Session& session, const char* key) {
    jstring path = NewJavaString(session.env, key);
    CallNames<Export::GetChildKeyNames>(session, path);
    CallNames<Export::GetChildValueNames>(session, path);
    CallNames<Export::GetDefaultValue>(session, path);
    GetValue(session, path, "NoSuchValue");
    GetLastModifiedTime(session, path);
    CheckInstanceExists(session, key);
    session.env->DeleteLocalRef(path);
}

} // namespace

void RegistryWalkScenario(Session& session) {
    session.agent = NewJavaObject(session.env, kAgentClass);
    for (const char* key : kWalkedKeys) {
        Walk(session, key);
    }
}

void RegistryBadInputScenario(Session& session) {
    session.agent = NewJavaObject(session.env, kAgentClass);
    for (const char* key : kOddPaths) {
        InHostFrame(session, kKeyFrameCapacity, [&] { CallEveryKeyExport(session, key); });
    }
    InHostFrame(session, kKeyFrameCapacity, [&] { CallEveryKeyExport(session, nullptr); });
    // Names longer than a key or value name may be, and than the buffers of MAX_PATH.
    std::string longKey = "HKLM\\Software\\" + std::string(300, 'k');
    InHostFrame(session, kKeyFrameCapacity, [&] { CallEveryKeyExport(session, longKey.c_str()); });
    std::string longValue(300, 'v');
    InHostFrame(session, kKeyFrameCapacity, [&] {
        jstring drives = NewJavaString(session.env, "HKLM\\Software\\Wine\\Drives");
        GetValue(session, drives, nullptr);
        GetValue(session, drives, "");
        GetValue(session, drives, "N:");
        GetValue(session, drives, "n:\\");
        GetValue(session, nullptr, "n:");
        GetValue(session, drives, longValue.c_str());
        session.env->DeleteLocalRef(drives);
    });
    for (const char* path : {"HKLM\\Software\\Wine\\Drives\\n:", "HKLM\\Software\\Wine\\Drives\\N:",
                             "HKLM\\Software\\Wine\\Drives\\q:", "HKLM\\Software\\Wine\\Drives\\",
                             "HKLM\\Software\\Wine\\Drives\\\\n:"}) {
        CheckInstanceExists(session, path);
    }
    CheckInstanceExists(session, ("HKLM\\Software\\Wine\\Drives\\" + longValue).c_str());
    CheckInstanceExists(session, (longKey + "\\").c_str());
}
