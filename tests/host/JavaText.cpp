#include "tests/host/JavaText.h"

#include <stdio.h>

namespace {

bool IsHighSurrogate(jchar unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(jchar unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendEscaped(std::string& out, unsigned long codePoint) {
    char escaped[16];
    snprintf(escaped, sizeof escaped, "\\u{%04lX}", codePoint);
    out += escaped;
}

} // namespace

std::string QuoteUtf16(const jchar* units, size_t count) {
    std::string out = "\"";
    for (size_t i = 0; i < count; ++i) {
        jchar unit = units[i];
        if (unit == '"' || unit == '\\') {
            out += '\\';
            out += static_cast<char>(unit);
        } else if (unit >= 0x20 && unit < 0x7F) {
            out += static_cast<char>(unit);
        } else if (IsHighSurrogate(unit) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
            unsigned long high = unit - 0xD800u;
            unsigned long low = units[i + 1] - 0xDC00u;
            AppendEscaped(out, 0x10000u + (high << 10) + low);
            ++i;
        } else {
            AppendEscaped(out, unit);
        }
    }
    return out + "\"";
}

std::string JavaStringText(JNIEnv* env, jstring text) {
    if (text == nullptr) {
        return "null";
    }
    jsize length = env->GetStringLength(text);
    const jchar* units = env->GetStringChars(text, nullptr);
    if (units == nullptr) {
        return "<refused>";
    }
    std::string quoted = QuoteUtf16(units, length > 0 ? static_cast<size_t>(length) : 0);
    env->ReleaseStringChars(text, units);
    return quoted;
}
