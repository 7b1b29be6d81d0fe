// The message table resource (RT_MESSAGETABLE) of a PE file, read as bytes: a count of blocks,
// each naming a run of consecutive ids and where its entries start, and entries of a 16-bit
// length (its own four header bytes included), 16-bit flags and the text. The bytes come from
// files of any origin, so nothing is read outside them, whatever the counts, offsets and lengths
// say: a damaged table answers "no such message", never reads past its end.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

#include <stddef.h>

#include <string>

#define RT_MESSAGETABLE 11
#define MESSAGE_RESOURCE_UNICODE 0x0001

// The name (an id) of the one message table resource of a module.
constexpr WORD kMessageTableName = 1;

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

// The entry's text in the ANSI code page, as the A functions hand it out.
std::string MessageTableAnsiText(const BYTE* table, const MessageTableText& entry);

// Which of the languages a message table exists in (in its directory's order) answers a request
// for languageId, as the resource loader picks one: the language asked for, its primary language
// with the neutral sublanguage, then neutral; for a neutral request (0, or the user's or the
// system's default) also the thread's, the user's and the system's language (the layer has one
// locale, US English as Wine's default), English with the neutral sublanguage and US English,
// and failing all of them the first language the table has. False when none answers.
bool MessageTableLanguage(const WORD* languages, DWORD count, DWORD languageId, WORD* chosen);
