#include "Platform/Posix/advapi32/RegistryHive.h"

#include "Platform/Posix/advapi32/RegistryPaths.h"
#include "Platform/Posix/common/DosPaths.h"
#include "Platform/Posix/common/Utf16Text.h"
#include "Platform/Posix/kernel32/Errors.h"
#include "Platform/ScopedResource.h"

#include <libregf.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <unordered_set>
#include <vector>

namespace {

struct HiveFileReleaser {
    void operator()(libregf_file_t* file) const {
        libregf_file_close(file, nullptr);
        libregf_file_free(&file, nullptr);
    }
};
struct HiveKeyReleaser {
    void operator()(libregf_key_t* key) const { libregf_key_free(&key, nullptr); }
};
struct HiveValueReleaser {
    void operator()(libregf_value_t* value) const { libregf_value_free(&value, nullptr); }
};
using ScopedHiveFile = ScopedResource<libregf_file_t*, HiveFileReleaser>;
using ScopedHiveKey = ScopedResource<libregf_key_t*, HiveKeyReleaser>;
using ScopedHiveValue = ScopedResource<libregf_value_t*, HiveValueReleaser>;

// libregf reports every failure through an error object that the caller frees; what it says is
// of no use here, since a damaged part is left out either way.
struct HiveError {
    libregf_error_t* error = nullptr;
    ~HiveError() { libregf_error_free(&error); }
    libregf_error_t** operator&() {
        libregf_error_free(&error);
        return &error;
    }
};

// A name libregf gives as UTF-16 with its terminator counted; empty for a value with no name.
template <typename Object>
bool Utf16Name(Object* object, int (*sizeOf)(Object*, size_t*, libregf_error_t**),
               int (*copy)(Object*, uint16_t*, size_t, libregf_error_t**), std::u16string* name) {
    HiveError error;
    size_t size = 0;
    int found = sizeOf(object, &size, &error);
    name->clear();
    if (found != 1 || size <= 1) {
        return found >= 0;
    }
    std::vector<uint16_t> units(size);
    if (copy(object, units.data(), size, &error) != 1) {
        return false;
    }
    size_t length = 0;
    while (length < size && units[length] != 0) {
        ++length;
    }
    name->assign(units.begin(), units.begin() + static_cast<ptrdiff_t>(length));
    return true;
}

// Windows keeps data of up to four bytes in the value's own cell, in the first bytes of the data
// offset field; libregf hands out the last bytes of that field instead for data shorter than
// four bytes (01 ab ff comes back as ab ff 00). Such data is read from the cell itself.
bool ReadInlineData(int hive, libregf_value_t* value, size_t size, std::vector<BYTE>* data) {
    HiveError error;
    off64_t offset = 0;
    BYTE cell[8]; // the data size, then the data offset field, after "vk" and the name's length
    if (libregf_value_get_offset(value, &offset, &error) != 1 ||
        pread(hive, cell, sizeof cell, offset + 4) != static_cast<ssize_t>(sizeof cell)) {
        return false;
    }
    uint32_t stored = 0;
    memcpy(&stored, cell, sizeof stored);
    if ((stored & 0x80000000u) == 0 || (stored & 0x7FFFFFFFu) != size) {
        return false; // not inline after all: the data libregf read stands
    }
    data->assign(cell + 4, cell + 4 + size);
    return true;
}

void LoadValues(int hive, libregf_key_t* source, RegKey& key) {
    HiveError error;
    int count = 0;
    if (libregf_key_get_number_of_values(source, &count, &error) != 1) {
        return;
    }
    for (int index = 0; index < count; ++index) {
        ScopedHiveValue value;
        std::u16string name;
        uint32_t type = 0;
        if (libregf_key_get_value(source, index, value.receive(), &error) != 1 ||
            !Utf16Name(value.get(), libregf_value_get_utf16_name_size, libregf_value_get_utf16_name,
                       &name) ||
            libregf_value_get_value_type(value.get(), &type, &error) != 1) {
            continue; // a value that cannot be read, its data running past the file say
        }
        std::vector<BYTE> data;
        if (!RegistryHiveValueData(hive, value.get(), &data)) {
            continue;
        }
        if (name.size() <= kMaxValueNameUnits) {
            RegStoreValue(key, name, type, std::move(data));
        }
    }
}

struct HiveLoader {
    int hive; // the file libregf reads, for what it reads wrongly
    // Every key cell loads once: a second reference to it, from a key list that loops back or
    // that two keys share (which Windows never writes), would make the walk endless or
    // exponential.
    std::unordered_set<off64_t> seen;
};

void LoadKey(HiveLoader& loader, libregf_key_t* source, RegKey& key);

struct HiveKeyDeleter {
    void operator()(libregf_key_t* key) const { libregf_key_free(&key, nullptr); }
};

// A subkey as libregf read it, kept from its naming to its loading: reading a key cell is most of
// a load's work, and each is read once.
struct NamedSubkey {
    std::u16string folded;
    std::u16string name;
    std::unique_ptr<libregf_key_t, HiveKeyDeleter> key;
};

// The subkeys of source, sorted as Windows enumerates them, one of each name.
std::vector<NamedSubkey> SubkeyNames(libregf_key_t* source) {
    std::vector<NamedSubkey> names;
    HiveError error;
    int count = 0;
    if (libregf_key_get_number_of_sub_keys(source, &count, &error) != 1) {
        return names;
    }
    names.reserve(static_cast<size_t>(count));
    for (int index = 0; index < count; ++index) {
        libregf_key_t* read = nullptr;
        if (libregf_key_get_sub_key(source, index, &read, &error) != 1) {
            continue;
        }
        std::unique_ptr<libregf_key_t, HiveKeyDeleter> subkey(read);
        std::u16string name;
        if (Utf16Name(subkey.get(), libregf_key_get_utf16_name_size, libregf_key_get_utf16_name,
                      &name) &&
            !name.empty() && name.size() <= kMaxKeyNameUnits) {
            std::u16string folded = UpcaseName(name);
            names.push_back({std::move(folded), std::move(name), std::move(subkey)});
        }
    }
    std::stable_sort(names.begin(), names.end(), [](const NamedSubkey& a, const NamedSubkey& b) {
        return a.folded < b.folded;
    });
    auto same = [](const NamedSubkey& a, const NamedSubkey& b) { return a.folded == b.folded; };
    names.erase(std::unique(names.begin(), names.end(), same), names.end());
    return names;
}

void LoadSubkeys(HiveLoader& loader, libregf_key_t* source, RegKey& key) {
    std::vector<NamedSubkey> named = SubkeyNames(source);
    std::vector<RegKey*> added;
    added.reserve(named.size());
    for (const NamedSubkey& subkey : named) {
        RegKey* listed = RegAddUnlistedSubkey(key, subkey.name, 0);
        if (listed == nullptr) {
            break; // past Windows' depth: the deeper keys are left out
        }
        added.push_back(listed);
    }
    RegListSubkeys(key, added);
    for (size_t i = 0; i < added.size(); ++i) {
        LoadKey(loader, named[i].key.get(), *added[i]);
        named[i].key.reset(); // its subtree is loaded: what libregf holds of it can go
    }
}

void LoadKey(HiveLoader& loader, libregf_key_t* source, RegKey& key) {
    HiveError error;
    off64_t offset = 0;
    if (libregf_key_get_offset(source, &offset, &error) != 1 ||
        !loader.seen.insert(offset).second) {
        return;
    }
    uint64_t written = 0;
    if (libregf_key_get_last_written_time(source, &written, &error) == 1) {
        key.lastWrite = written;
    }
    std::u16string className;
    if (Utf16Name(source, libregf_key_get_utf16_class_name_size, libregf_key_get_utf16_class_name,
                  &className) &&
        !className.empty()) {
        RegSetClass(key, className);
    }
    LoadValues(loader.hive, source, key);
    LoadSubkeys(loader, source, key);
}

// The hive file of a volume, found as Windows names it whatever case the copy keeps.
bool VolumeFile(const char* volume, const char* relative, char* out, size_t outSize) {
    return UnixPathBelowIgnoringCase(volume, relative, out, outSize);
}

// A REG_SZ or REG_EXPAND_SZ value as text, its terminator dropped.
std::u16string TextValue(RegKey& key, const char16_t* name) {
    RegValue* value = RegFindValue(key, UpcaseName(name));
    std::u16string text;
    if (value != nullptr) {
        text.assign(value->data.size() / 2, u'\0');
        if (!text.empty()) {
            memcpy(&text[0], value->data.data(), text.size() * 2);
        }
        text.resize(std::min(text.size(), text.find(u'\0')));
    }
    return text;
}

DWORD DwordValue(RegKey& key, const char16_t* name) {
    RegValue* value = RegFindValue(key, UpcaseName(name));
    DWORD number = 0;
    if (value != nullptr && value->data.size() >= sizeof number) {
        memcpy(&number, value->data.data(), sizeof number);
    }
    return number;
}

// CurrentControlSet is no key of the hive: Windows links it at boot to the control set that
// Select\Current names, and so does this.
void LinkCurrentControlSet(RegKey& registryRoot, RegKey& system) {
    RegKey* select = nullptr;
    if (FindPath(registryRoot, system, u"Select", false, &select) != ERROR_SUCCESS) {
        return;
    }
    char number[16];
    snprintf(number, sizeof number, "%03u", static_cast<unsigned>(DwordValue(*select, u"Current")));
    std::u16string target = u"\\Registry\\Machine\\SYSTEM\\ControlSet" + AnsiName(number);
    size_t index = 0;
    if (RegFindSubkey(system, u"CURRENTCONTROLSET", &index) != nullptr) {
        return;
    }
    RegKey* link = RegInsertSubkey(system, index, u"CurrentControlSet", system.lastWrite);
    if (link != nullptr) {
        link->isLink = true;
        RegStoreValue(*link, kSymbolicLinkValueName, 6 /* REG_LINK */,
                      reinterpret_cast<const BYTE*>(target.data()), target.size() * 2);
    }
}

// %SystemRoot% and %SystemDrive%, the only variables a profile path holds, as the volume has
// them; the result is a DOS path on C:.
std::string AnsiOf(const std::u16string& text) {
    std::string ansi(text.size(), '\0');
    Utf16ToAnsi(text.data(), text.size(), &ansi[0]);
    return ansi;
}

std::string ExpandProfilePath(const std::u16string& path, const std::u16string& systemRoot) {
    std::string text = AnsiOf(path);
    std::string root = AnsiOf(systemRoot);
    if (root.empty()) {
        root = "C:\\Windows";
    }
    const std::pair<const char*, std::string> variables[] = {{"%SYSTEMROOT%", root},
                                                             {"%SYSTEMDRIVE%", "C:"}};
    for (const auto& variable : variables) {
        size_t length = strlen(variable.first);
        if (text.size() >= length && strncasecmp(text.c_str(), variable.first, length) == 0) {
            text = variable.second + text.substr(length);
        }
    }
    return text;
}

void LoadHiveAt(const char* volume, const char* relative, RegKey& registryRoot,
                const char16_t* path) {
    char file[kPathCapacity];
    if (!VolumeFile(volume, relative, file, sizeof file)) {
        return; // a missing hive: its root key does not exist
    }
    RegKey* base = CreatePath(registryRoot, registryRoot, path, 0);
    if (base != nullptr) {
        RegistryLoadHive(file, *base);
    }
}

// The folder's last name, for choosing a profile by its user's folder.
std::u16string LastComponent(const std::u16string& path) {
    size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

// The Unix path of a file of a profile, when it is there.
bool ProfileFile(const std::string& profileFolder, const char* relative, char* unixPath) {
    std::string dos = profileFolder + relative;
    DWORD saved = GetLastError();
    bool mapped = DosPathToUnix(dos.c_str(), unixPath, kPathCapacity);
    SetLastError(saved);
    struct stat info;
    return mapped && stat(unixPath, &info) == 0;
}

// A user's own classes (UsrClass.dat) mount as HKU\<SID>_Classes, and the user's
// Software\Classes is a link to them, as the profile service makes it at logon.
void LoadUserClasses(RegKey& registryRoot, RegKey& user, const std::u16string& sid,
                     const std::string& profileFolder) {
    char unixPath[kPathCapacity];
    if (!ProfileFile(profileFolder, "\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat",
                     unixPath)) {
        return;
    }
    RegKey* classes = CreatePath(registryRoot, registryRoot, u"User\\" + sid + u"_Classes", 0);
    RegKey* software = CreatePath(registryRoot, user, u"Software", 0);
    if (classes == nullptr || !RegistryLoadHive(unixPath, *classes) || software == nullptr) {
        return;
    }
    size_t index = 0;
    RegKey* existing = RegFindSubkey(*software, u"CLASSES", &index);
    if (existing != nullptr && (!existing->subkeys.empty() || !existing->values.empty())) {
        return; // a hive that keeps classes of its own: they stay
    }
    if (existing != nullptr) {
        RegRemoveSubkey(*software, index);
    }
    std::u16string target = u"\\Registry\\User\\" + sid + u"_Classes";
    RegKey* link = RegInsertSubkey(*software, index, u"Classes", classes->lastWrite);
    if (link != nullptr) {
        link->isLink = true;
        RegStoreValue(*link, kSymbolicLinkValueName, 6 /* REG_LINK */,
                      reinterpret_cast<const BYTE*>(target.data()), target.size() * 2);
    }
}

void LoadProfiles(const char* volume, RegKey& registryRoot, std::u16string* currentUser) {
    const char* chosen = getenv("PALLWICK_WINDOWS_USER");
    std::u16string wanted = chosen != nullptr ? UpcaseName(AnsiName(chosen)) : std::u16string();
    RegKey* software = nullptr;
    RegKey* profiles = nullptr;
    if (FindPath(registryRoot, registryRoot, u"Machine\\SOFTWARE", false, &software) !=
            ERROR_SUCCESS ||
        FindPath(registryRoot, *software, u"Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
                 false, &profiles) != ERROR_SUCCESS) {
        return;
    }
    RegKey* version = nullptr;
    std::u16string systemRoot;
    if (FindPath(registryRoot, *software, u"Microsoft\\Windows NT\\CurrentVersion", false,
                 &version) == ERROR_SUCCESS) {
        systemRoot = TextValue(*version, u"SystemRoot");
    }
    for (RegKey* profile : std::vector<RegKey*>(profiles->subkeys)) {
        std::u16string folder = TextValue(*profile, u"ProfileImagePath");
        std::string profileFolder = ExpandProfilePath(folder, systemRoot);
        char unixPath[kPathCapacity];
        if (folder.empty() || !ProfileFile(profileFolder, "\\NTUSER.DAT", unixPath)) {
            continue;
        }
        std::u16string userPath = u"User\\" + profile->name;
        RegKey* base = CreatePath(registryRoot, registryRoot, userPath, 0);
        if (base == nullptr || !RegistryLoadHive(unixPath, *base)) {
            continue;
        }
        LoadUserClasses(registryRoot, *base, profile->name, profileFolder);
        if (!wanted.empty() &&
            (profile->folded == wanted || UpcaseName(LastComponent(folder)) == wanted)) {
            *currentUser = userPath;
        }
    }
}

} // namespace

bool RegistryHiveValueData(int hive, libregf_value_t* value, std::vector<BYTE>* data) {
    HiveError error;
    size_t size = 0;
    if (libregf_value_get_value_data_size(value, &size, &error) != 1) {
        return false;
    }
    data->resize(size);
    if (size > 0 && libregf_value_get_value_data(value, data->data(), size, &error) != 1) {
        return false;
    }
    if (size > 0 && size < 4) {
        ReadInlineData(hive, value, size, data);
    }
    return true;
}

bool RegistryLoadHive(const char* path, RegKey& base) {
    HiveError error;
    ScopedHiveFile file;
    if (libregf_file_initialize(file.receive(), &error) != 1) {
        return false;
    }
    ScopedHiveKey root;
    if (libregf_file_open(file.get(), path, LIBREGF_OPEN_READ, &error) != 1) {
        // An object that never opened is freed without a close.
        libregf_file_t* unopened = file.release();
        libregf_file_free(&unopened, nullptr);
        return false;
    }
    if (libregf_file_get_root_key(file.get(), root.receive(), &error) != 1) {
        return false;
    }
    HiveLoader loader;
    loader.hive = open(path, O_RDONLY | O_CLOEXEC);
    // The hive's root key is the mount point itself: its values and subkeys, and its time.
    LoadKey(loader, root.get(), base);
    if (loader.hive >= 0) {
        close(loader.hive);
    }
    return true;
}

void RegistryLoadVolume(const char* volume, RegKey& registryRoot, std::u16string* currentUser) {
    static const struct {
        const char* file;
        const char16_t* path;
    } kHives[] = {
        {"Windows/System32/config/SYSTEM", u"Machine\\SYSTEM"},
        {"Windows/System32/config/SOFTWARE", u"Machine\\SOFTWARE"},
        {"Windows/System32/config/SAM", u"Machine\\SAM"},
        {"Windows/System32/config/SECURITY", u"Machine\\SECURITY"},
        {"Windows/System32/config/DEFAULT", u"User\\.DEFAULT"},
    };
    CreatePath(registryRoot, registryRoot, u"Machine", 0);
    CreatePath(registryRoot, registryRoot, u"User", 0);
    for (const auto& hive : kHives) {
        LoadHiveAt(volume, hive.file, registryRoot, hive.path);
    }
    RegKey* system = nullptr;
    if (FindPath(registryRoot, registryRoot, u"Machine\\SYSTEM", false, &system) == ERROR_SUCCESS) {
        LinkCurrentControlSet(registryRoot, *system);
    }
    *currentUser = u"User\\.DEFAULT";
    LoadProfiles(volume, registryRoot, currentUser);
    CreatePath(registryRoot, registryRoot, *currentUser, 0);
    // HKEY_LOCAL_MACHINE and HKEY_USERS are no hive's keys: they were last written when the
    // newest hive below them was.
    for (RegKey* top : registryRoot.subkeys) {
        for (RegKey* hive : top->subkeys) {
            top->lastWrite = std::max(top->lastWrite, hive->lastWrite);
        }
    }
}
