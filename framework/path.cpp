// Path and number helpers of the framework; see kfw/path.h.
#include "kfw/path.h"

#include <climits>
#include <cstring>

namespace kfw {

const char* FindFileName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; p = CharNextA(p)) {
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    }
    return name;
}

const char* FindExtension(const char* path) {
    const char* name = FindFileName(path);
    const char* dot = nullptr;
    const char* p = name;
    for (; *p; p = CharNextA(p)) {
        if (*p == '.') dot = p;
    }
    return dot ? dot : p;
}

BOOL CopyText(char* destination, size_t capacity, const char* source, size_t count) {
    if (capacity == 0) return FALSE;
    size_t length = 0;
    while (length < count && source[length]) ++length;
    if (length >= capacity) {
        destination[0] = '\0';
        return FALSE;
    }
    std::memcpy(destination, source, length);
    destination[length] = '\0';
    return TRUE;
}

BOOL AppendText(char* destination, size_t capacity, const char* source) {
    const size_t used = std::strlen(destination);
    const size_t extra = std::strlen(source);
    if (used + extra >= capacity) return FALSE;
    std::memcpy(destination + used, source, extra + 1);
    return TRUE;
}

BOOL ProgramNameFromPath(const char* path, char* name, size_t capacity) {
    const char* start = FindFileName(path);
    const char* end = FindExtension(path);
    return CopyText(name, capacity, start, static_cast<size_t>(end - start));
}

BOOL ReplaceExtension(const char* path, const char* extension, char* result, size_t capacity) {
    const char* end = FindExtension(path);
    if (!CopyText(result, capacity, path, static_cast<size_t>(end - path))) return FALSE;
    if (!AppendText(result, capacity, extension)) {
        result[0] = '\0';
        return FALSE;
    }
    return TRUE;
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

BOOL ParseInteger(const char* text, int* value) {
    const char* p = text;
    while (IsBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    if (*p < '0' || *p > '9') return FALSE;
    // Accumulated in 64 bits and stopped early, so a long run of digits
    // is refused rather than wrapped around.
    long long magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1) return FALSE;
    }
    while (IsBlank(*p)) ++p;
    if (*p != '\0') return FALSE;
    const long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT_MAX || signedValue < INT_MIN) return FALSE;
    *value = static_cast<int>(signedValue);
    return TRUE;
}

}  // namespace kfw
