#include "Platform/Posix/kernel32/MessageExpansion.h"

#include "Platform/Posix/common/WinError.h"

#include <string.h>

namespace {

constexpr size_t kMostDigits = 4;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads up to kMostDigits digits of conversion at *at into *value; false when there are more.
bool ReadNumber(const std::string& conversion, size_t* at, size_t* value) {
    size_t start = *at;
    *value = 0;
    while (*at < conversion.size() && IsDigit(conversion[*at])) {
        *value = *value * 10 + static_cast<size_t>(conversion[(*at)++] - '0');
    }
    return *at - start <= kMostDigits;
}

// A printf-style format, checked: flags, width, precision, length and conversion.
struct InsertFormat {
    bool left;
    bool plus;
    bool space;
    bool alternate;
    bool zero;
    size_t width;
    bool hasPrecision;
    size_t precision;
    bool wide; // a 64-bit number
    char conversion;
};

void ParseFlags(const std::string& conversion, size_t* at, InsertFormat* format) {
    for (; *at < conversion.size(); ++*at) {
        char c = conversion[*at];
        bool* flag = c == '-'   ? &format->left
                     : c == '+' ? &format->plus
                     : c == ' ' ? &format->space
                     : c == '#' ? &format->alternate
                     : c == '0' ? &format->zero
                                : nullptr;
        if (flag == nullptr) {
            return;
        }
        *flag = true;
    }
}

bool ParseFormat(const std::string& conversion, InsertFormat* format) {
    *format = InsertFormat{};
    size_t at = 0;
    ParseFlags(conversion, &at, format);
    if (!ReadNumber(conversion, &at, &format->width)) {
        return false;
    }
    if (at < conversion.size() && conversion[at] == '.') {
        ++at;
        format->hasPrecision = true;
        if (!ReadNumber(conversion, &at, &format->precision)) {
            return false;
        }
    }
    if (conversion.compare(at, 3, "I64") == 0 || conversion.compare(at, 2, "ll") == 0) {
        format->wide = true;
        at += conversion[at] == 'I' ? 3 : 2;
    } else if (at < conversion.size() && (conversion[at] == 'l' || conversion[at] == 'h')) {
        ++at;
    }
    if (at + 1 != conversion.size() || strchr("sdiuoxXc", conversion[at]) == nullptr) {
        return false;
    }
    format->conversion = conversion[at];
    return !(format->wide && (format->conversion == 's' || format->conversion == 'c'));
}

void AppendPadded(const InsertFormat& format, const std::string& prefix, const std::string& body,
                  std::string* out) {
    size_t used = prefix.size() + body.size();
    size_t padding = format.width > used ? format.width - used : 0;
    if (format.left) {
        out->append(prefix).append(body).append(padding, ' ');
    } else if (format.zero) {
        out->append(prefix).append(padding, '0').append(body);
    } else {
        out->append(padding, ' ').append(prefix).append(body);
    }
}

void AppendNumber(const InsertFormat& format, DWORD_PTR argument, std::string* out) {
    char conversion = format.conversion;
    bool isSigned = conversion == 'd' || conversion == 'i';
    long long value = format.wide ? static_cast<long long>(argument)
                      : isSigned  ? static_cast<int>(argument)
                                  : static_cast<long long>(static_cast<unsigned>(argument));
    bool negative = isSigned && value < 0;
    unsigned long long magnitude = negative ? 0ull - static_cast<unsigned long long>(value)
                                            : static_cast<unsigned long long>(value);
    unsigned base = conversion == 'o' ? 8 : (conversion == 'x' || conversion == 'X') ? 16 : 10;
    const char* digits = conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string body;
    for (unsigned long long rest = magnitude; rest != 0; rest /= base) {
        body.insert(body.begin(), digits[rest % base]);
    }
    size_t minimum = format.hasPrecision ? format.precision : 1;
    if (body.size() < minimum) {
        body.insert(0, minimum - body.size(), '0');
    }
    std::string prefix;
    if (isSigned) {
        prefix = negative ? "-" : format.plus ? "+" : format.space ? " " : "";
    } else if (format.alternate && base == 16 && magnitude != 0) {
        prefix = conversion == 'X' ? "0X" : "0x";
    } else if (format.alternate && base == 8 && (body.empty() || body[0] != '0')) {
        prefix = "0";
    }
    AppendPadded(format, prefix, body, out);
}

void AppendInsert(const InsertFormat& format, DWORD_PTR argument, std::string* out) {
    if (format.conversion == 'c') {
        AppendPadded(format, "", std::string(1, static_cast<char>(argument)), out);
    } else if (format.conversion == 's') {
        const char* text = reinterpret_cast<const char*>(argument);
        if (text == nullptr) {
            text = "(null)";
        }
        size_t length = format.hasPrecision ? strnlen(text, format.precision) : strlen(text);
        AppendPadded(format, "", std::string(text, length), out);
    } else {
        AppendNumber(format, argument, out);
    }
}

// The insert whose number starts at message[*at]: one or two digits, then an optional
// format. Leaves *at on the insert's last character.
DWORD ExpandInsert(const std::string& message, size_t* at, const DWORD_PTR* arguments,
                   std::string* out) {
    size_t number = static_cast<size_t>(message[*at] - '0');
    if (*at + 1 < message.size() && IsDigit(message[*at + 1])) {
        number = number * 10 + static_cast<size_t>(message[++*at] - '0');
    }
    std::string conversion = "s";
    if (*at + 1 < message.size() && message[*at + 1] == '!') {
        size_t close = message.find('!', *at + 2);
        if (close == std::string::npos) {
            return ERROR_INVALID_PARAMETER;
        }
        conversion = message.substr(*at + 2, close - *at - 2);
        *at = close;
    }
    InsertFormat format;
    if (!ParseFormat(conversion, &format)) {
        return ERROR_INVALID_PARAMETER;
    }
    AppendInsert(format, arguments[number - 1], out);
    return ERROR_SUCCESS;
}

void AppendEscape(char escape, bool ignoreInserts, std::string* out) {
    if (escape == 'n') {
        out->append("\r\n");
    } else if (escape == 'r') {
        out->push_back('\r');
    } else if (escape == 't') {
        out->push_back('\t');
    } else {
        if (ignoreInserts) {
            out->push_back('%');
        }
        out->push_back(escape);
    }
}

} // namespace

DWORD ExpandMessageText(const std::string& message, bool unbroken, bool ignoreInserts,
                        const DWORD_PTR* arguments, std::string* out) {
    size_t length = message.size();
    for (size_t i = 0; i < length; ++i) {
        char c = message[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < length && message[i + 1] == '\n') {
                ++i;
            }
            out->append(unbroken ? " " : "\r\n");
        } else if (c != '%') {
            out->push_back(c);
        } else if (++i == length) {
            return ERROR_INVALID_PARAMETER;
        } else if (message[i] == '0') {
            break;
        } else if (message[i] < '1' || message[i] > '9') {
            AppendEscape(message[i], ignoreInserts, out);
        } else if (ignoreInserts) {
            out->push_back('%');
            out->push_back(message[i]);
        } else if (arguments == nullptr) {
            return ERROR_INVALID_PARAMETER;
        } else {
            DWORD error = ExpandInsert(message, &i, arguments, out);
            if (error != ERROR_SUCCESS) {
                return error;
            }
        }
    }
    return ERROR_SUCCESS;
}
