#include "Platform/Posix/common/MessageTables.h"

#include "Platform/Posix/common/Utf16Text.h"
#include "Platform/Posix/common/WinError.h"

namespace {

constexpr WORD kLayerLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

constexpr size_t kBlockSize = 12;
constexpr size_t kEntryHeaderSize = 4;

DWORD Le16(const BYTE* p) {
    return static_cast<DWORD>(p[0] | (p[1] << 8));
}

DWORD Le32(const BYTE* p) {
    return Le16(p) | (Le16(p + 2) << 16);
}

struct Block {
    DWORD lowId;
    DWORD highId;
    size_t entries;
};

// Block index of the table, or false when the count or the block lies outside it.
bool ReadBlock(const BYTE* table, size_t size, DWORD index, Block* block) {
    if (size < 4 || index >= (size - 4) / kBlockSize) {
        return false;
    }
    const BYTE* at = table + 4 + static_cast<size_t>(index) * kBlockSize;
    block->lowId = Le32(at);
    block->highId = Le32(at + 4);
    block->entries = Le32(at + 8);
    return block->lowId <= block->highId;
}

// A count of more blocks than the table can hold marks it as damaged as a whole.
DWORD BlockCount(const BYTE* table, size_t size) {
    if (size < 4 || Le32(table) > (size - 4) / kBlockSize) {
        return 0;
    }
    return Le32(table);
}

// The entry at offset, and the offset of the one after it; false for an entry that is shorter
// than its header (which would never advance) or reaches past the table.
bool ReadEntry(const BYTE* table, size_t size, size_t offset, MessageTableText* text,
               size_t* next) {
    if (offset > size || size - offset < kEntryHeaderSize) {
        return false;
    }
    size_t length = Le16(table + offset);
    if (length < kEntryHeaderSize || length > size - offset) {
        return false;
    }
    text->unicode = (Le16(table + offset + 2) & MESSAGE_RESOURCE_UNICODE) != 0;
    text->offset = offset + kEntryHeaderSize;
    text->length = length - kEntryHeaderSize;
    *next = offset + length;
    return true;
}

// The text up to its first NUL character, as the entry's padding ends it.
void TrimAtNul(const BYTE* table, MessageTableText* text) {
    const BYTE* start = table + text->offset;
    size_t unit = text->unicode ? 2 : 1;
    size_t used = 0;
    while (used + unit <= text->length &&
           !(start[used] == 0 && (unit == 1 || start[used + 1] == 0))) {
        used += unit;
    }
    text->length = used;
}

} // namespace

DWORD MessageTableFind(const BYTE* table, size_t size, DWORD id, MessageTableText* text) {
    DWORD count = BlockCount(table, size);
    for (DWORD index = 0; index < count; ++index) {
        Block block;
        if (!ReadBlock(table, size, index, &block)) {
            break;
        }
        if (id < block.lowId || id > block.highId) {
            continue;
        }
        size_t offset = block.entries;
        for (DWORD skip = id - block.lowId;; --skip) {
            MessageTableText entry;
            size_t next = 0;
            if (!ReadEntry(table, size, offset, &entry, &next)) {
                return ERROR_MR_MID_NOT_FOUND;
            }
            if (skip == 0) {
                TrimAtNul(table, &entry);
                *text = entry;
                return ERROR_SUCCESS;
            }
            offset = next;
        }
    }
    return ERROR_MR_MID_NOT_FOUND;
}

std::string MessageTableAnsiText(const BYTE* table, const MessageTableText& entry) {
    const char* start = reinterpret_cast<const char*>(table) + entry.offset;
    if (!entry.unicode) {
        return std::string(start, entry.length);
    }
    size_t count = entry.length / 2;
    std::u16string units(count, u'\0');
    for (size_t i = 0; i < count; ++i) {
        units[i] = static_cast<char16_t>(static_cast<BYTE>(start[2 * i]) |
                                         (static_cast<BYTE>(start[2 * i + 1]) << 8));
    }
    std::string text(count, '\0');
    Utf16ToAnsi(units.data(), count, &text[0]);
    return text;
}

bool MessageTableLanguage(const WORD* languages, DWORD count, DWORD languageId, WORD* chosen) {
    WORD asked = static_cast<WORD>(languageId);
    WORD primary = PRIMARYLANGID(asked);
    bool neutral = primary == LANG_NEUTRAL;
    const WORD wanted[] = {asked,
                           static_cast<WORD>(MAKELANGID(primary, SUBLANG_NEUTRAL)),
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                           kLayerLanguage,
                           MAKELANGID(PRIMARYLANGID(kLayerLanguage), SUBLANG_NEUTRAL),
                           MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)};
    size_t tried = neutral ? sizeof(wanted) / sizeof(wanted[0]) : 3;
    for (size_t w = 0; w < tried; ++w) {
        for (DWORD i = 0; i < count; ++i) {
            if (languages[i] == wanted[w]) {
                *chosen = wanted[w];
                return true;
            }
        }
    }
    if (neutral && count > 0) {
        *chosen = languages[0];
        return true;
    }
    return false;
}
