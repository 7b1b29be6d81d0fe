#include "Platform/Posix/RegistryText.h"

#include "Platform/Posix/AnsiCodePage.h"

namespace {

// Windows-1252 bytes 0x80..0x9F; the five bytes the code page leaves undefined map to the C1
// control of the same number, as Windows maps them.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t AnsiByteToUnit(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) {
        return kHighControls[byte - 0x80];
    }
    return byte;
}

// Latin Extended-A pairs an upper-case letter with the lower-case one after it, starting on an
// even unit in two runs and on an odd unit in the other two.
char16_t UpcaseLatinExtendedA(char16_t unit) {
    bool evenUpper = (unit >= 0x100 && unit <= 0x137) || (unit >= 0x14A && unit <= 0x177);
    bool oddUpper = (unit >= 0x139 && unit <= 0x148) || (unit >= 0x179 && unit <= 0x17E);
    if ((evenUpper && unit % 2 == 1) || (oddUpper && unit % 2 == 0)) {
        return static_cast<char16_t>(unit - 1);
    }
    return unit;
}

} // namespace

std::u16string AnsiToUtf16(const char* text, size_t length) {
    std::u16string result;
    result.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        result.push_back(AnsiByteToUnit(static_cast<unsigned char>(text[i])));
    }
    return result;
}

char Utf16UnitToAnsi(char16_t unit) {
    return Utf16UnitToAnsiBestFit(unit);
}

void Utf16ToAnsi(const char16_t* text, size_t count, char* out) {
    for (size_t i = 0; i < count; ++i) {
        out[i] = Utf16UnitToAnsi(text[i]);
    }
}

char16_t UpcaseUnit(char16_t unit) {
    if (unit < 0x80) {
        return unit >= 'a' && unit <= 'z' ? static_cast<char16_t>(unit - 0x20) : unit;
    }
    if (unit >= 0xE0 && unit <= 0xFE && unit != 0xF7) {
        return static_cast<char16_t>(unit - 0x20);
    }
    if (unit == 0xFF) {
        return 0x178;
    }
    if (unit >= 0x100 && unit <= 0x17F) {
        return UpcaseLatinExtendedA(unit);
    }
    bool greek = (unit >= 0x3B1 && unit <= 0x3CB && unit != 0x3C2);
    bool cyrillic = unit >= 0x430 && unit <= 0x44F;
    if (greek || cyrillic) {
        return static_cast<char16_t>(unit - 0x20);
    }
    if (unit >= 0x450 && unit <= 0x45F) {
        return static_cast<char16_t>(unit - 0x50);
    }
    return unit;
}

std::u16string UpcaseName(const std::u16string& name) {
    std::u16string result(name);
    for (char16_t& unit : result) {
        unit = UpcaseUnit(unit);
    }
    return result;
}
