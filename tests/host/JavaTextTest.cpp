#include "tests/host/JavaText.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::string Quote(const std::vector<jchar>& units) {
    return QuoteUtf16(units.data(), units.size());
}

TEST(QuoteUtf16Test, PrintableAsciiStaysAndQuoteAndBackslashAreEscaped) {
    EXPECT_EQ("\"\"", Quote({}));
    EXPECT_EQ("\"C:\\\\x \\\"y\\\" ~\"",
              Quote({'C', ':', '\\', 'x', ' ', '"', 'y', '"', ' ', '~'}));
}

TEST(QuoteUtf16Test, ControlAndNonAsciiCharactersAreCodePoints) {
    EXPECT_EQ("\"\\u{0000}\\u{000A}\\u{007F}\\u{00E9}\\u{20AC}\"",
              Quote({0, '\n', 0x7F, 0xE9, 0x20AC}));
    // A pair is one character; a lone surrogate of either half stays visible as its unit.
    EXPECT_EQ("\"\\u{1F600}\"", Quote({0xD83D, 0xDE00}));
    EXPECT_EQ("\"\\u{D83D}a\\u{DE00}\\u{D83D}\"", Quote({0xD83D, 'a', 0xDE00, 0xD83D}));
}

} // namespace
