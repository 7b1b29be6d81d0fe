// Prints a registry subtree through the Win32 API alone, so that the layer and Wine can be
// compared on the same prefix: every key in enumeration order, and its values sorted by name
// (Wine keeps values sorted where Windows keeps them in the order set). Usage:
//   registry_walk [-t] [-i] ROOT [PATH]     ROOT: HKLM, HKCU, HKCR, HKU or HKCC
// -t adds each key's last-write time, -i its RegQueryInfoKeyA counts and maxima.
#include "Platform/Win32.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct Options {
    bool times = false;
    bool info = false;
};

HKEY RootNamed(const char* name) {
    const struct {
        const char* shortName;
        const char* longName;
        HKEY key;
    } roots[] = {
        {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKU", "HKEY_USERS", HKEY_USERS},
        {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    };
    for (const auto& root : roots) {
        if (strcmp(name, root.shortName) == 0 || strcmp(name, root.longName) == 0) {
            return root.key;
        }
    }
    return nullptr;
}

std::string Escaped(const BYTE* data, DWORD size) {
    std::string text;
    char hex[8];
    for (DWORD i = 0; i < size; ++i) {
        BYTE c = data[i];
        if (c == '\\' || c == '"') {
            text += '\\';
            text += (char)c;
        } else if (c >= 0x20 && c < 0x7F) {
            text += (char)c;
        } else {
            snprintf(hex, sizeof hex, "\\x%02x", (unsigned)c);
            text += hex;
        }
    }
    return text;
}

std::string Hex(const BYTE* data, DWORD size) {
    std::string text;
    char hex[4];
    for (DWORD i = 0; i < size; ++i) {
        snprintf(hex, sizeof hex, i == 0 ? "%02x" : ",%02x", (unsigned)data[i]);
        text += hex;
    }
    return text;
}

std::string DataText(DWORD type, const BYTE* data, DWORD size) {
    char number[32];
    if (type == REG_DWORD && size == 4) {
        DWORD value;
        memcpy(&value, data, 4);
        snprintf(number, sizeof number, "dword:%u", (unsigned)value);
        return number;
    }
    if (type == REG_QWORD && size == 8) {
        unsigned long long value;
        memcpy(&value, data, 8);
        snprintf(number, sizeof number, "qword:%llu", value);
        return number;
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        snprintf(number, sizeof number, "str(%u):\"", (unsigned)type);
        return number + Escaped(data, size) + "\"";
    }
    snprintf(number, sizeof number, "hex(%x):", (unsigned)type);
    return number + Hex(data, size);
}

void PrintValue(HKEY key, const std::string& name) {
    DWORD type = 0, size = 0;
    LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size + 1);
    if (status == ERROR_SUCCESS) {
        status = RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size);
    }
    if (status != ERROR_SUCCESS) {
        printf("  \"%s\" error %d\n", name.c_str(), (int)status);
        return;
    }
    printf("  \"%s\"=%s\n", name.c_str(), DataText(type, data.data(), size).c_str());
}

std::string Upper(std::string text) {
    for (char& c : text) {
        c = (char)toupper((unsigned char)c);
    }
    return text;
}

void PrintValues(HKEY key) {
    std::vector<std::string> names;
    std::vector<char> name(16384);
    for (DWORD i = 0;; ++i) {
        DWORD size = (DWORD)name.size();
        LONG status = RegEnumValueA(key, i, name.data(), &size, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            if (status != ERROR_NO_MORE_ITEMS) {
                printf("  enum value %u: error %d\n", (unsigned)i, (int)status);
            }
            break;
        }
        names.push_back(std::string(name.data(), size));
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return Upper(a) < Upper(b); });
    for (const std::string& each : names) {
        PrintValue(key, each);
    }
}

void PrintKeyLine(HKEY key, const std::string& path, const Options& options) {
    DWORD subkeys = 0, maxSubkey = 0, maxClass = 0, values = 0, maxName = 0, maxData = 0;
    FILETIME time = {0, 0};
    LONG status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, &maxClass,
                                   &values, &maxName, &maxData, nullptr, &time);
    printf("[%s]", path.c_str());
    if (status != ERROR_SUCCESS) {
        printf(" info error %d", (int)status);
    } else {
        if (options.times) {
            printf(" time=%08x%08x", (unsigned)time.dwHighDateTime, (unsigned)time.dwLowDateTime);
        }
        if (options.info) {
            printf(" subkeys=%u maxsubkey=%u values=%u maxname=%u maxdata=%u", (unsigned)subkeys,
                   (unsigned)maxSubkey, (unsigned)values, (unsigned)maxName, (unsigned)maxData);
        }
    }
    printf("\n");
}

void Walk(HKEY key, const std::string& path, const Options& options) {
    PrintKeyLine(key, path, options);
    PrintValues(key);
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        LONG status = RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            if (status != ERROR_NO_MORE_ITEMS) {
                printf("  enum key %u: error %d\n", (unsigned)i, (int)status);
            }
            break;
        }
        std::string childPath = path.empty() ? name : path + "\\" + name;
        HKEY child = nullptr;
        status = RegOpenKeyExA(key, name, 0, KEY_READ, &child);
        if (status != ERROR_SUCCESS) {
            printf("[%s] open error %d\n", childPath.c_str(), (int)status);
            continue;
        }
        Walk(child, childPath, options);
        RegCloseKey(child);
    }
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    int next = 1;
    for (; next < argc && argv[next][0] == '-'; ++next) {
        options.times |= strcmp(argv[next], "-t") == 0;
        options.info |= strcmp(argv[next], "-i") == 0;
    }
    HKEY root = next < argc ? RootNamed(argv[next]) : nullptr;
    if (root == nullptr) {
        fprintf(stderr, "usage: registry_walk [-t] [-i] HKLM|HKCU|HKCR|HKU|HKCC [path]\n");
        return 2;
    }
    const char* path = next + 1 < argc ? argv[next + 1] : "";
    HKEY start = nullptr;
    LONG status = RegOpenKeyExA(root, path, 0, KEY_READ, &start);
    if (status != ERROR_SUCCESS) {
        fprintf(stderr, "cannot open %s\\%s: error %d\n", argv[next], path, (int)status);
        return 1;
    }
    Walk(start, path, options);
    RegCloseKey(start);
    return 0;
}
