// The optional timing trace; see trace.h.
#include "trace.h"

#include <windows.h>

namespace {

struct TraceTarget {
    bool checked = false;
    bool enabled = false;
    char path[MAX_PATH] = {};
    LARGE_INTEGER frequency = {};
    LARGE_INTEGER start = {};
};

TraceTarget& Target() {
    static TraceTarget target;
    if (!target.checked) {
        target.checked = true;
        const DWORD length = GetEnvironmentVariableA("KOPIWA_TRACE", target.path, sizeof target.path);
        target.enabled = length > 0 && length < sizeof target.path &&
                         QueryPerformanceFrequency(&target.frequency) && target.frequency.QuadPart > 0 &&
                         QueryPerformanceCounter(&target.start);
    }
    return target;
}

}  // namespace

void TraceEvent(const char* event) {
    TraceTarget& target = Target();
    if (!target.enabled) return;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    // Microseconds since the first event, in whole numbers: wsprintfA formats
    // no floating point, and 32 bits of milliseconds last 49 days.
    const ULONGLONG ticks = static_cast<ULONGLONG>(now.QuadPart - target.start.QuadPart);
    const ULONGLONG perSecond = static_cast<ULONGLONG>(target.frequency.QuadPart);
    const ULONGLONG us = ticks / perSecond * 1000000 + ticks % perSecond * 1000000 / perSecond;
    char line[1024];  // wsprintfA never writes more than 1024 bytes
    const int length = wsprintfA(line, "%lu.%03lu %.200s\r\n", static_cast<unsigned long>(us / 1000),
                                 static_cast<unsigned long>(us % 1000), event);
    if (length <= 0) return;
    HANDLE file = CreateFileA(target.path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
}
