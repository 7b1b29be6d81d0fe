#include "Platform/Posix/version/Version.h"

#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/PeResources.h"
#include "Platform/Posix/common/Utf16Text.h"

#include <string.h>
#include <unistd.h>

namespace {

constexpr WORD kVersionType = 16; // RT_VERSION
// Marks a block whose ANSI half is in place; VerQueryValueA writes strings only behind it.
constexpr char kSignature[4] = {'F', 'E', '2', 'X'};
constexpr DWORD kNodeHeaderSize = 6; // wLength, wValueLength, wType
// Windows' version functions under Wine's default English locale take the neutral language,
// then US English, then English of no region, and else whichever language the file lists first.
constexpr WORD kPreferredLanguages[] = {0x0000, 0x0409, 0x0009};

WORD Le16(const BYTE* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

void PutLe16(BYTE* p, WORD value) {
    p[0] = static_cast<BYTE>(value & 0xFF);
    p[1] = static_cast<BYTE>(value >> 8);
}

DWORD Align4(DWORD value) {
    return (value + 3) & ~3u;
}

// The version resource's language as Windows chooses it.
DWORD ChooseVersionResource(const PeResources* resources, PeResourceData* data) {
    for (WORD language : kPreferredLanguages) {
        DWORD error =
            PeFindResource(resources, PeId(kVersionType), PeId(VS_VERSION_INFO), language, data);
        if (error == ERROR_SUCCESS) {
            return ERROR_SUCCESS;
        }
        if (error == ERROR_RESOURCE_TYPE_NOT_FOUND || error == ERROR_RESOURCE_NAME_NOT_FOUND) {
            return error;
        }
    }
    WORD first = 0;
    DWORD count = 0;
    DWORD error = PeResourceLanguages(resources, PeId(kVersionType), PeId(VS_VERSION_INFO), &first,
                                      1, &count);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    return PeFindResource(resources, PeId(kVersionType), PeId(VS_VERSION_INFO), first, data);
}

// Finds the version resource of an open file and copies up to capacity bytes of it to out.
// Every way a file can lack one (not a PE file, no resources, no version resource among them)
// ends in ERROR_RESOURCE_DATA_NOT_FOUND, as Wine reports it.
DWORD ReadVersionResource(int descriptor, ULONGLONG fileSize, void* out, DWORD capacity,
                          DWORD* resourceSize, DWORD* copied) {
    PeSource source = PeSourceOfDescriptor(descriptor, fileSize);
    PeResources resources;
    DWORD error = PeResourcesOpen(&source, &resources);
    if (error != ERROR_SUCCESS) {
        return error == ERROR_NOT_ENOUGH_MEMORY ? error : ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    PeResourceData data;
    error = ChooseVersionResource(&resources, &data);
    if (error == ERROR_SUCCESS) {
        *resourceSize = data.size;
        *copied = out == nullptr ? 0 : PeReadResource(&resources, &data, out, capacity);
    }
    PeResourcesRelease(&resources);
    return error == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_RESOURCE_DATA_NOT_FOUND;
}

DWORD LoadVersionResource(const char* dosPath, void* out, DWORD capacity, DWORD* resourceSize,
                          DWORD* copied) {
    int descriptor = -1;
    ULONGLONG fileSize = 0;
    DWORD error = PeOpenFile(dosPath, &descriptor, &fileSize);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    error = ReadVersionResource(descriptor, fileSize, out, capacity, resourceSize, copied);
    close(descriptor);
    return error;
}

// After the copy. A buffer smaller than the size GetFileVersionInfoSizeA gave gets a block that
// claims no more than the buffer holds together with its ANSI half, so that VerQueryValueA never
// reaches past the caller's buffer; a buffer of the right size keeps the block as it is.
void FinishBlock(BYTE* block, DWORD capacity, DWORD copied) {
    if (copied < 2) {
        // A resource too short to hold its own length: the block claims nothing, rather than
        // whatever the byte after the copy says.
        if (capacity >= 2) {
            PutLe16(block, 0);
        }
        return;
    }
    DWORD length = Le16(block);
    DWORD fits = capacity < sizeof kSignature ? 0 : (capacity - sizeof kSignature) / 2;
    if (length > copied) {
        length = copied;
    }
    if (length > fits) {
        length = fits;
    }
    if (length != Le16(block)) {
        PutLe16(block, static_cast<WORD>(length));
    }
    // A block shorter than its own header holds no tree; a signature there would land on the
    // header and turn its length into "FE", a block of 17,734 bytes that no buffer holds.
    if (length >= kNodeHeaderSize && length * 2 + sizeof kSignature <= capacity) {
        memcpy(block + length, kSignature, sizeof kSignature);
    }
}

// One node of the block's tree: where it starts and how many bytes it claims, relative to the
// block, never reaching past its parent.
struct Node {
    DWORD offset;
    DWORD length;
};

// The node's key in UTF-16 units and where its value starts, or false when the key does not end
// inside the node.
bool ReadKey(const BYTE* block, const Node& node, DWORD* keyUnits, DWORD* valueOffset) {
    DWORD position = node.offset + kNodeHeaderSize;
    DWORD end = node.offset + node.length;
    for (DWORD units = 0; position + 2 <= end; ++units, position += 2) {
        if (Le16(block + position) == 0) {
            *keyUnits = units;
            *valueOffset = node.offset + Align4(position + 2 - node.offset);
            return true;
        }
    }
    return false;
}

bool KeyMatches(const BYTE* block, const Node& node, const char* name, DWORD nameLength) {
    DWORD keyUnits = 0;
    DWORD valueOffset = 0;
    if (!ReadKey(block, node, &keyUnits, &valueOffset) || keyUnits != nameLength) {
        return false;
    }
    for (DWORD i = 0; i < nameLength; ++i) {
        char16_t unit = static_cast<char16_t>(Le16(block + node.offset + kNodeHeaderSize + i * 2));
        char16_t expected = AnsiByteToUnit(static_cast<unsigned char>(name[i]));
        if (UpcaseUnit(unit) != UpcaseUnit(expected)) {
            return false;
        }
    }
    return true;
}

DWORD ValueBytes(const BYTE* block, const Node& node) {
    WORD valueLength = Le16(block + node.offset + 2);
    WORD type = Le16(block + node.offset + 4);
    return type != 0 ? valueLength * 2u : valueLength;
}

// The child of parent named name (nameLength bytes); a child that claims to reach past its
// parent ends the search.
bool FindChild(const BYTE* block, const Node& parent, const char* name, DWORD nameLength,
               Node* child) {
    DWORD keyUnits = 0;
    DWORD position = 0;
    if (!ReadKey(block, parent, &keyUnits, &position)) {
        return false;
    }
    position += Align4(ValueBytes(block, parent));
    DWORD end = parent.offset + parent.length;
    while (position < end && end - position >= kNodeHeaderSize) {
        Node candidate{position, Le16(block + position)};
        if (candidate.length == 0 || candidate.length > end - position) {
            return false;
        }
        if (KeyMatches(block, candidate, name, nameLength)) {
            *child = candidate;
            return true;
        }
        position += Align4(candidate.length);
    }
    return false;
}

// Follows the backslash-separated path from the root; empty components are skipped, as
// Windows skips them.
bool FindNode(const BYTE* block, const char* path, Node* node) {
    *node = Node{0, Le16(block)};
    while (*path != '\0') {
        const char* end = strchr(path, '\\');
        size_t length = end == nullptr ? strlen(path) : static_cast<size_t>(end - path);
        if (length > 0 && !FindChild(block, *node, path, static_cast<DWORD>(length), node)) {
            return false;
        }
        path += length;
        if (*path == '\\') {
            ++path;
        }
    }
    return true;
}

bool HasAnsiHalf(const BYTE* block) {
    return memcmp(block + Le16(block), kSignature, sizeof kSignature) == 0;
}

// Bytes of the node from offset to its end; none when offset lies past it.
DWORD RemainingIn(const Node& node, DWORD offset) {
    DWORD end = node.offset + node.length;
    return offset < end ? end - offset : 0;
}

// Puts the ANSI form of a string value where Windows puts it: at the same offset in the half
// behind the signature. Returns the number of bytes written, as WideCharToMultiByte counts them.
UINT ConvertString(BYTE* block, const Node& node, DWORD valueOffset, LPVOID* out) {
    Node root{0, Le16(block)};
    DWORD units = Le16(block + node.offset + 2);
    DWORD available = RemainingIn(node, valueOffset) / 2;
    if (units > available) {
        units = available;
    }
    char* target = reinterpret_cast<char*>(block) + root.length + sizeof kSignature + valueOffset;
    DWORD capacity = RemainingIn(root, valueOffset);
    *out = target;
    if (units == 0 || units > capacity) {
        if (capacity > 0) {
            *target = '\0';
        }
        return 0;
    }
    for (DWORD i = 0; i < units; ++i) {
        target[i] = Utf16UnitToAnsi(static_cast<char16_t>(Le16(block + valueOffset + i * 2)));
    }
    return units;
}

BOOL FailQuery(PUINT length, DWORD error) {
    if (length != nullptr) {
        *length = 0;
    }
    SetLastError(error);
    return FALSE;
}

} // namespace

extern "C" {

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle) {
    if (lpdwHandle != nullptr) {
        *lpdwHandle = 0;
    }
    if (!FaultAllows(LayerCall::GetFileVersionInfoSizeA)) {
        return 0;
    }
    if (lptstrFilename == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (*lptstrFilename == '\0') {
        SetLastError(ERROR_BAD_PATHNAME);
        return 0;
    }
    DWORD size = 0;
    DWORD copied = 0;
    DWORD error = LoadVersionResource(lptstrFilename, nullptr, 0, &size, &copied);
    if (error == ERROR_SUCCESS && size > (0xFFFFFFFFu - sizeof kSignature) / 2) {
        error = ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return 0;
    }
    SetLastError(ERROR_SUCCESS);
    return size * 2 + sizeof kSignature;
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData) {
    if (!FaultAllows(LayerCall::GetFileVersionInfoA)) {
        return FALSE;
    }
    if (lpData == nullptr) {
        return FailWith(ERROR_INVALID_DATA);
    }
    if (lptstrFilename == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    DWORD size = 0;
    DWORD copied = 0;
    DWORD error = LoadVersionResource(lptstrFilename, lpData, dwLen, &size, &copied);
    if (error != ERROR_SUCCESS) {
        return FailWith(error);
    }
    FinishBlock(static_cast<BYTE*>(lpData), dwLen, copied);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen) {
    DWORD fault = FaultCheck(LayerCall::VerQueryValueA);
    if (fault != ERROR_SUCCESS) {
        return FailQuery(puLen, fault);
    }
    if (pBlock == nullptr || lplpBuffer == nullptr) {
        return FALSE;
    }
    BYTE* block = static_cast<BYTE*>(const_cast<void*>(pBlock));
    // Only the 32-bit form comes out of PE files; its wType leaves this byte below a space.
    if (Le16(block) < kNodeHeaderSize || block[4] >= ' ') {
        return FailQuery(puLen, ERROR_RESOURCE_TYPE_NOT_FOUND);
    }
    Node node;
    if (!FindNode(block, lpSubBlock == nullptr ? "" : lpSubBlock, &node)) {
        return FailQuery(puLen, ERROR_RESOURCE_TYPE_NOT_FOUND);
    }
    DWORD keyUnits = 0;
    DWORD valueOffset = 0;
    if (!ReadKey(block, node, &keyUnits, &valueOffset)) {
        return FailQuery(puLen, ERROR_RESOURCE_TYPE_NOT_FOUND);
    }
    UINT length = Le16(block + node.offset + 2);
    if (Le16(block + node.offset + 4) != 0) {
        if (!HasAnsiHalf(block)) {
            return FailQuery(puLen, ERROR_INVALID_DATA);
        }
        length = ConvertString(block, node, valueOffset, lplpBuffer);
    } else {
        *lplpBuffer = block + valueOffset;
        DWORD available = RemainingIn(node, valueOffset);
        length = length < available ? length : available;
    }
    if (puLen != nullptr) {
        *puLen = length;
    }
    return TRUE;
}

} // extern "C"
