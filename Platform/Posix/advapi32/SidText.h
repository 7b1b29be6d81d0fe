// SIDs from their text form, for the layer's own readers of SIDs stored as text.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

// Eight bytes and at most 15 sub-authorities.
constexpr DWORD kLargestSidSize = 8 + 4 * 15;

// The binary SID of "S-1-<authority>-<sub>..." into out (kLargestSidSize bytes), its size into
// *length; false for text that is no SID.
bool ParseSid(const char* text, BYTE* out, DWORD* length);
