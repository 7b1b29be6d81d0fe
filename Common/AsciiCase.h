// Case-insensitive comparison of names, ASCII letters only. Every name the library compares
// without case (value names such as "Language", host executable names) is matched against ASCII
// text of its own, and the C library's tolower follows whatever locale the hosting JVM set, so a
// byte above 0x7F would fold differently from one host to the next. Bytes above 0x7F compare
// exactly.
#pragma once

// The ASCII lower-case form of c; any other byte unchanged.
char AsciiToLower(char c);

// True when both texts are equal once their ASCII letters are folded.
bool EqualsIgnoringAsciiCase(const char* left, const char* right);

// Folds the ASCII letters of text to lower case in place.
void LowerAsciiInPlace(char* text);
