#include "Platform/Posix/advapi32/RegistryFile.h"

#include "Platform/Posix/advapi32/Registry.h"
#include "Platform/Posix/common/Utf16Text.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <utility>

namespace {

constexpr size_t kMaxFileBytes = size_t{1} << 30;

// Lines of a text in memory, or of a file read a chunk at a time: a file is never held whole,
// only its longest line, so that a value of a hundred megabytes costs about its own size. Either
// way no more than kMaxFileBytes of it are read.
struct LineReader {
    const char* text = nullptr;
    size_t length = 0;
    size_t position = 0;  // in the text, or bytes of the file read so far
    FILE* file = nullptr; // null for a text in memory
    std::string chunk;    // the file's bytes from chunkStart to chunkEnd not yet taken
    size_t chunkStart = 0;
    size_t chunkEnd = 0;
    std::string copied;    // the current line, terminated
    const char* line = ""; // the current line without its end-of-line characters
    size_t lineLength = 0;
};

// The size of the line of size bytes at start without its end-of-line characters.
size_t WithoutLineEnd(const char* start, size_t size) {
    if (size > 0 && start[size - 1] == '\n') {
        --size;
    }
    if (size > 0 && start[size - 1] == '\r') {
        --size;
    }
    return size;
}

bool RefillChunk(LineReader& reader) {
    size_t room = kMaxFileBytes - reader.position;
    size_t wanted = room < reader.chunk.size() ? room : reader.chunk.size();
    size_t got = wanted == 0 ? 0 : fread(&reader.chunk[0], 1, wanted, reader.file);
    reader.position += got;
    reader.chunkStart = 0;
    reader.chunkEnd = got;
    return got > 0;
}

bool ReadFileLine(LineReader& reader) {
    reader.copied.clear();
    bool any = false;
    while (reader.chunkStart < reader.chunkEnd || RefillChunk(reader)) {
        any = true;
        const char* start = reader.chunk.data() + reader.chunkStart;
        size_t available = reader.chunkEnd - reader.chunkStart;
        const void* found = memchr(start, '\n', available);
        size_t size = found != nullptr
                          ? static_cast<size_t>(static_cast<const char*>(found) - start) + 1
                          : available;
        reader.copied.append(start, size);
        reader.chunkStart += size;
        if (found != nullptr) {
            break;
        }
    }
    reader.lineLength = WithoutLineEnd(reader.copied.data(), reader.copied.size());
    reader.copied.resize(reader.lineLength);
    reader.line = reader.copied.c_str();
    return any;
}

// The next line without its end-of-line characters; false at the end of the text.
bool ReadLine(LineReader& reader) {
    if (reader.file != nullptr) {
        return ReadFileLine(reader);
    }
    if (reader.position >= reader.length) {
        return false;
    }
    const char* start = reader.text + reader.position;
    const void* found = memchr(start, '\n', reader.length - reader.position);
    size_t size = found != nullptr
                      ? static_cast<size_t>(static_cast<const char*>(found) - start) + 1
                      : reader.length - reader.position;
    reader.position += size;
    reader.lineLength = WithoutLineEnd(start, size);
    reader.copied.assign(start, reader.lineLength);
    reader.line = reader.copied.c_str();
    return true;
}

const char* SkipSpaces(const char* p) {
    while (*p != '\0' && isspace(static_cast<unsigned char>(*p))) {
        ++p;
    }
    return p;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    return tolower(static_cast<unsigned char>(c)) - 'a' + 10;
}

// "\x" followed by up to four hex digits; a bare "\x" is the letter x.
const char* ParseHexEscape(const char* p, std::u16string* out) {
    if (!isxdigit(static_cast<unsigned char>(*p))) {
        out->push_back(u'x');
        return p;
    }
    unsigned value = 0;
    for (int i = 0; i < 4 && isxdigit(static_cast<unsigned char>(*p)); ++i, ++p) {
        value = value * 16 + static_cast<unsigned>(HexDigit(*p));
    }
    out->push_back(static_cast<char16_t>(value));
    return p;
}

// Up to three octal digits, the first already known to be one.
const char* ParseOctalEscape(const char* p, std::u16string* out) {
    unsigned value = 0;
    for (int i = 0; i < 3 && *p >= '0' && *p <= '7'; ++i, ++p) {
        value = value * 8 + static_cast<unsigned>(*p - '0');
    }
    out->push_back(static_cast<char16_t>(value));
    return p;
}

// The escape after a backslash; null when the escape is no known one and the character after
// the backslash is to be taken as it is.
const char* ParseEscape(const char* p, std::u16string* out) {
    static const char kLetters[] = "abefnrtv";
    static const char16_t kCodes[] = {7, 8, 27, 12, 10, 13, 9, 11};
    const char* letter = *p != '\0' ? strchr(kLetters, *p) : nullptr;
    if (letter != nullptr) {
        out->push_back(kCodes[letter - kLetters]);
        return p + 1;
    }
    if (*p == 'x') {
        return ParseHexEscape(p + 1, out);
    }
    if (*p >= '0' && *p <= '7') {
        return ParseOctalEscape(p, out);
    }
    return nullptr;
}

// One UTF-8 sequence; an invalid one is dropped. Characters beyond the BMP become surrogates.
const char* ParseUtf8(const char* p, std::u16string* out) {
    unsigned char lead = static_cast<unsigned char>(*p++);
    int extra = lead >= 0xF0 && lead < 0xF8 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (extra == 0) {
        return p;
    }
    static const unsigned kMasks[] = {0x7F, 0x1F, 0x0F, 0x07};
    static const unsigned kMinimum[] = {0, 0x80, 0x800, 0x10000};
    unsigned value = lead & kMasks[extra];
    for (int i = 0; i < extra; ++i, ++p) {
        unsigned char next = static_cast<unsigned char>(*p) ^ 0x80;
        if (next >= 0x40) {
            return p;
        }
        value = (value << 6) | next;
    }
    if (value < kMinimum[extra] || value > 0x10FFFF) {
        return p;
    }
    if (value <= 0xFFFF) {
        out->push_back(static_cast<char16_t>(value));
    } else {
        value -= 0x10000;
        out->push_back(static_cast<char16_t>(0xD800 | (value >> 10)));
        out->push_back(static_cast<char16_t>(0xDC00 | (value & 0x3FF)));
    }
    return p;
}

// An escaped string up to endChar; returns the position after endChar, or null when the line
// ends first.
const char* ParseString(const char* p, char endChar, std::u16string* out) {
    out->clear();
    while (*p != '\0' && *p != endChar) {
        if (*p == '\\') {
            if (p[1] == '\0') {
                break;
            }
            const char* next = ParseEscape(p + 1, out);
            if (next != nullptr) {
                p = next;
                continue;
            }
            ++p;
        }
        if (static_cast<unsigned char>(*p) < 0x80) {
            out->push_back(static_cast<char16_t>(*p++));
        } else {
            p = ParseUtf8(p, out);
        }
    }
    return *p == endChar ? p + 1 : nullptr;
}

struct Loader {
    LineReader& reader;
    RegKey& base;
    RegKey& root;
    RegKey* current = nullptr;
    ULONGLONG sectionTime = 0;
    // Keys that sort before their parent's last listed subkey wait here, by parent and folded
    // name, and join the parent's list in one merge: a file whose sections come in any order
    // loads in n log n, where an insertion in place would move the whole list each time.
    std::map<RegKey*, std::map<std::u16string, RegKey*>> unlisted;
};

void ListWaitingSubkeys(Loader& loader) {
    for (auto& waiting : loader.unlisted) {
        std::vector<RegKey*> added;
        added.reserve(waiting.second.size());
        for (const auto& named : waiting.second) {
            added.push_back(named.second);
        }
        RegListSubkeys(*waiting.first, added);
    }
    loader.unlisted.clear();
}

RegKey* FindLoadedSubkey(Loader& loader, RegKey& key, const std::u16string& folded, size_t* index) {
    RegKey* found = RegFindSubkey(key, folded, index);
    auto waiting = found == nullptr ? loader.unlisted.find(&key) : loader.unlisted.end();
    if (waiting == loader.unlisted.end()) {
        return found;
    }
    auto named = waiting->second.find(folded);
    return named != waiting->second.end() ? named->second : nullptr;
}

// A new subkey: listed at once when it goes last, as in a file sorted the way Wine writes it.
RegKey* AddLoadedSubkey(Loader& loader, RegKey& key, size_t index, const std::u16string& name) {
    if (index == key.subkeys.size()) {
        return RegInsertSubkey(key, index, name, 0);
    }
    RegKey* added = RegAddUnlistedSubkey(key, name, 0);
    if (added != nullptr) {
        loader.unlisted[&key][added->folded] = added;
    }
    return added;
}

// Sets the time of a key created by the load, and of the parents the load created on the way.
void SettleKeyTime(RegKey* key, ULONGLONG time) {
    for (; key != nullptr && key->lastWrite == 0; key = key->parent) {
        key->lastWrite = time;
    }
}

RegKey* CreateKeyPath(Loader& loader, const std::u16string& path) {
    if (!path.empty() && path[0] == u'\\') {
        return nullptr;
    }
    RegKey* key = &loader.base;
    size_t position = 0;
    std::u16string token;
    while (key != nullptr && RegNextPathToken(path, &position, &token)) {
        if (token.size() > kMaxKeyNameUnits) {
            return nullptr;
        }
        size_t index = 0;
        RegKey* subkey = FindLoadedSubkey(loader, *key, UpcaseName(token), &index);
        if (subkey != nullptr && subkey->isLink) {
            ListWaitingSubkeys(loader); // a link's target is looked up in the listed tree
        }
        key = subkey != nullptr ? RegFollowLink(loader.root, subkey)
                                : AddLoadedSubkey(loader, *key, index, token);
    }
    return key;
}

// "[path] seconds": the section's key, created as needed.
void LoadSection(Loader& loader, const char* p) {
    if (loader.current != nullptr) {
        SettleKeyTime(loader.current, loader.sectionTime);
    }
    std::u16string path;
    const char* rest = ParseString(p + 1, ']', &path);
    loader.current = rest != nullptr ? CreateKeyPath(loader, path) : nullptr;
    unsigned seconds = 0;
    if (rest != nullptr && sscanf(rest, " %u", &seconds) == 1) {
        loader.sectionTime = (static_cast<ULONGLONG>(seconds) + 11644473600ULL) * 10000000ULL;
    } else {
        loader.sectionTime = RegistryNow();
    }
}

// "#time=", "#class=" and "#link" of the current key; anything else is ignored.
void LoadKeyOption(Loader& loader, const char* p) {
    RegKey& key = *loader.current;
    if (strncmp(p, "#time=", 6) == 0) {
        ULONGLONG time = 0;
        for (p += 6; isxdigit(static_cast<unsigned char>(*p)); ++p) {
            time = (time << 4) | static_cast<ULONGLONG>(HexDigit(*p));
        }
        SettleKeyTime(&key, time);
    } else if (strncmp(p, "#class=\"", 8) == 0) {
        std::u16string className;
        if (ParseString(p + 8, '"', &className) != nullptr) {
            RegSetClass(key, className);
        }
    } else if (strncmp(p, "#link", 5) == 0) {
        key.isLink = true;
    }
}

// Comma-separated hex bytes, continued over lines that end in a backslash.
bool ParseHexBytes(Loader& loader, const char* p, std::vector<BYTE>* out) {
    for (;;) {
        while (isxdigit(static_cast<unsigned char>(*p))) {
            char* end = nullptr;
            unsigned long byte = strtoul(p, &end, 16);
            if (end == p || byte > 0xFF) {
                return false;
            }
            out->push_back(static_cast<BYTE>(byte));
            p = SkipSpaces(end);
            p = SkipSpaces(*p == ',' ? p + 1 : p);
        }
        p = SkipSpaces(p);
        if (*p == '\0') {
            return true;
        }
        if (*p != '\\' || !ReadLine(loader.reader)) {
            return false;
        }
        p = SkipSpaces(loader.reader.line);
    }
}

std::vector<BYTE> Utf16Bytes(const std::u16string& text) {
    std::vector<BYTE> bytes;
    bytes.reserve(text.size() * 2 + 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    bytes.push_back(0); // the terminator is part of the stored data
    bytes.push_back(0);
    return bytes;
}

// The data after "=": returns false when it is malformed.
bool ParseData(Loader& loader, const char* p, DWORD* type, std::vector<BYTE>* data) {
    static const struct {
        const char* tag;
        DWORD type;
    } kStringTags[] = {{"\"", REG_SZ},
                       {"str:\"", REG_SZ},
                       {"str(2):\"", REG_EXPAND_SZ},
                       {"str(7):\"", REG_MULTI_SZ}};
    for (const auto& tag : kStringTags) {
        size_t tagLength = strlen(tag.tag);
        if (strncmp(p, tag.tag, tagLength) == 0) {
            std::u16string text;
            *type = tag.type;
            bool closed = ParseString(p + tagLength, '"', &text) != nullptr;
            *data = Utf16Bytes(text);
            return closed;
        }
    }
    if (strncmp(p, "dword:", 6) == 0) {
        DWORD value = static_cast<DWORD>(strtoul(p + 6, nullptr, 16));
        *type = REG_DWORD;
        data->assign(reinterpret_cast<BYTE*>(&value), reinterpret_cast<BYTE*>(&value) + 4);
        return true;
    }
    if (strncmp(p, "hex:", 4) == 0) {
        *type = REG_BINARY;
        return ParseHexBytes(loader, p + 4, data);
    }
    if (strncmp(p, "hex(", 4) == 0) {
        char* end = nullptr;
        *type = static_cast<DWORD>(strtoul(p + 4, &end, 16));
        return end != p + 4 && strncmp(end, "):", 2) == 0 && ParseHexBytes(loader, end + 2, data);
    }
    return false;
}

// '"name"=data' or '@=data'. A line whose name parses but whose data does not leaves the value
// empty and of type REG_NONE, as Wine does; a line whose name does not parse changes nothing.
void LoadValue(Loader& loader, const char* p) {
    std::u16string name;
    if (*p == '"') {
        p = ParseString(p + 1, '"', &name);
    } else {
        ++p;
    }
    if (p == nullptr || *(p = SkipSpaces(p)) != '=' || name.size() > kMaxValueNameUnits) {
        return;
    }
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (!ParseData(loader, SkipSpaces(p + 1), &type, &data)) {
        type = REG_NONE;
        data.clear();
    }
    RegStoreValue(*loader.current, name, type, std::move(data));
}

// "#arch=" before the first key; an unknown architecture makes the file unusable.
bool GlobalOptionAllowsLoad(const char* p) {
    if (strncmp(p, "#arch=", 6) != 0) {
        return true;
    }
    return strcmp(p + 6, "win32") == 0 || strcmp(p + 6, "win64") == 0;
}

void LoadLines(Loader& loader) {
    while (ReadLine(loader.reader)) {
        const char* p = SkipSpaces(loader.reader.line);
        if (*p == '[') {
            LoadSection(loader, p);
        } else if ((*p == '@' || *p == '"') && loader.current != nullptr) {
            LoadValue(loader, p);
        } else if (*p == '#' && loader.current != nullptr) {
            LoadKeyOption(loader, p);
        } else if (*p == '#' && !GlobalOptionAllowsLoad(p)) {
            break;
        }
    }
    if (loader.current != nullptr) {
        SettleKeyTime(loader.current, loader.sectionTime);
    }
}

bool LoadFrom(LineReader& reader, RegKey& base, RegKey& registryRoot) {
    Loader loader{reader, base, registryRoot, nullptr, 0, {}};
    static const char kHeader[] = "WINE REGISTRY Version 2";
    if (!ReadLine(reader) || reader.lineLength != sizeof kHeader - 1 ||
        memcmp(reader.line, kHeader, sizeof kHeader - 1) != 0) {
        return false;
    }
    LoadLines(loader);
    ListWaitingSubkeys(loader);
    return true;
}

// The file goes back however the load ends, memory running out included.
struct FileLineReader {
    FileLineReader() { reader.chunk.resize(64 * 1024); }
    ~FileLineReader() {
        if (reader.file != nullptr) {
            fclose(reader.file);
        }
    }
    LineReader reader;
};

} // namespace

bool RegistryLoadText(const char* text, size_t length, RegKey& base, RegKey& registryRoot) {
    LineReader reader;
    reader.text = text;
    reader.length = length;
    return LoadFrom(reader, base, registryRoot);
}

bool RegistryLoadFile(const char* path, RegKey& base, RegKey& registryRoot) {
    FileLineReader file;
    file.reader.file = fopen(path, "rb");
    return file.reader.file != nullptr && LoadFrom(file.reader, base, registryRoot);
}
