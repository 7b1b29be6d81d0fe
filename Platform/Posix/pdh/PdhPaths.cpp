#include "Platform/Posix/pdh/PdhPaths.h"

#include <cctype>
#include <cstring>

namespace {

enum class IndexText { None, Index, TooLarge };

// What follows the last '#': an index only when it is all digits, else part of the name.
IndexText ReadIndex(const std::string& text, DWORD* index) {
    if (text.empty()) {
        return IndexText::None;
    }
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            return IndexText::None;
        }
    }
    unsigned long long value = 0;
    for (char c : text) {
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 0xFFFFFFFFull) {
            return IndexText::TooLarge;
        }
    }
    *index = static_cast<DWORD>(value);
    return IndexText::Index;
}

// `parent/instance#index`: an instance name may hold '#' itself, so only a trailing run of
// digits is an index. An index past a DWORD is refused rather than wrapped, which would name
// another instance.
bool SplitInstance(const std::string& text, CounterPath* path) {
    std::string rest = text;
    size_t slash = rest.find('/');
    if (slash != std::string::npos) {
        path->hasParent = true;
        path->parent = rest.substr(0, slash);
        rest = rest.substr(slash + 1);
    }
    size_t hash = rest.rfind('#');
    if (hash != std::string::npos) {
        IndexText index = ReadIndex(rest.substr(hash + 1), &path->index);
        if (index == IndexText::TooLarge) {
            return false;
        }
        if (index == IndexText::Index) {
            path->hasIndex = true;
            rest.resize(hash);
        }
    }
    path->instance = rest;
    path->hasInstance = true;
    return true;
}

} // namespace

bool ParseCounterPath(const char* text, CounterPath* path) {
    *path = CounterPath();
    std::string rest = text;
    if (rest.compare(0, 2, "\\\\") == 0) {
        size_t end = rest.find('\\', 2);
        if (end == std::string::npos || end == 2) {
            return false;
        }
        path->machine = rest.substr(0, end);
        rest = rest.substr(end);
    }
    if (rest.size() < 2 || rest[0] != '\\') {
        return false;
    }
    // The counter follows the last backslash; instance names may hold parentheses and slashes.
    size_t counterStart = rest.rfind('\\');
    if (counterStart == 0 || counterStart + 1 >= rest.size()) {
        return false;
    }
    path->counter = rest.substr(counterStart + 1);
    std::string object = rest.substr(1, counterStart - 1);
    size_t open = object.find('(');
    if (open != std::string::npos) {
        if (object.back() != ')' || open == 0) {
            return false;
        }
        if (!SplitInstance(object.substr(open + 1, object.size() - open - 2), path)) {
            return false;
        }
        object.resize(open);
    }
    if (object.empty() || object.find(')') != std::string::npos) {
        return false;
    }
    path->object = object;
    return true;
}

std::string MakeCounterPath(const std::string& machine, const std::string& object, bool hasInstance,
                            const std::string& parent, const std::string& instance, DWORD index,
                            const std::string& counter) {
    std::string path = machine + "\\" + object;
    if (hasInstance) {
        path += "(";
        if (!parent.empty()) {
            path += parent + "/";
        }
        path += instance;
        if (index > 0) {
            path += "#" + std::to_string(index);
        }
        path += ")";
    }
    return path + "\\" + counter;
}

bool WildcardMatches(const char* pattern, const char* text) {
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*text != '\0') {
        if (*pattern == '*') {
            star = pattern++;
            resume = text;
        } else if (std::tolower(static_cast<unsigned char>(*pattern)) ==
                   std::tolower(static_cast<unsigned char>(*text))) {
            ++pattern;
            ++text;
        } else if (star != nullptr) {
            pattern = star + 1;
            text = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') {
        ++pattern;
    }
    return *pattern == '\0';
}
