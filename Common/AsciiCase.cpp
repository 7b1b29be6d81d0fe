#include "Common/AsciiCase.h"

char AsciiToLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringAsciiCase(const char* left, const char* right) {
    for (; *left != '\0' && *right != '\0'; ++left, ++right) {
        if (AsciiToLower(*left) != AsciiToLower(*right)) {
            return false;
        }
    }
    return *left == *right;
}

void LowerAsciiInPlace(char* text) {
    for (; *text != '\0'; ++text) {
        *text = AsciiToLower(*text);
    }
}
