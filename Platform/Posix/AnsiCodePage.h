// Text from UTF-16 to the ANSI code page as the ANSI functions hand it out.
#pragma once

// The ANSI byte of one UTF-16 unit: the character itself where Windows-1252 has it, else the
// best-fit substitute WideCharToMultiByte picks (U+03A9 -> 'O'), else '?'.
char Utf16UnitToAnsiBestFit(char16_t unit);
