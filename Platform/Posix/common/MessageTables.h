// The message table resource (RT_MESSAGETABLE) of a PE file, read as bytes: a count of blocks,
// each naming a run of consecutive ids and where its entries start, and entries of a 16-bit
// length (its own four header bytes included), 16-bit flags and the text. The bytes come from
// files of any origin, so nothing is read outside them, whatever the counts, offsets and lengths
// say: a damaged table answers "no such message", never reads past its end.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

#include <stddef.h>

#define RT_MESSAGETABLE 11
#define MESSAGE_RESOURCE_UNICODE 0x0001

// Where one message's text lies in the table: bytes [offset, offset + length), without the NUL
// padding that ends it; UTF-16 little-endian units when unicode is set, ANSI bytes otherwise.
struct MessageTableText {
    size_t offset;
    size_t length;
    bool unicode;
};

// The text of message id in the table of size bytes at table: ERROR_SUCCESS, or
// ERROR_MR_MID_NOT_FOUND for an id no block holds or an entry the table cannot hold whole. The
// first block whose range holds the id decides, so one lookup walks at most one block's entries.
DWORD MessageTableFind(const BYTE* table, size_t size, DWORD id, MessageTableText* text);
