// The optional timing trace; see trace.h.
#include "trace.h"

#include <windows.h>

#include <cstdio>

namespace {

struct TraceTarget {
    bool checked = false;
    bool enabled = false;
    char path[MAX_PATH] = {};
    LARGE_INTEGER frequency = {};
};

TraceTarget& Target() {
    static TraceTarget target;
    if (!target.checked) {
        target.checked = true;
        const DWORD length = GetEnvironmentVariableA("KOPIWA_TRACE", target.path, sizeof target.path);
        target.enabled = length > 0 && length < sizeof target.path &&
                         QueryPerformanceFrequency(&target.frequency) && target.frequency.QuadPart > 0;
    }
    return target;
}

}  // namespace

void TraceEvent(const char* event) {
    TraceTarget& target = Target();
    if (!target.enabled) return;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const double ms = static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(target.frequency.QuadPart);
    // The C runtime DLL's own formatter: the standard snprintf of this
    // compiler would link in a copy of a whole printf implementation. It
    // answers -1 for a line that does not fit, which is then left out.
    char line[160];
    const int length = _snprintf(line, sizeof line - 1, "%.3f %s\r\n", ms, event);
    if (length <= 0) return;
    line[sizeof line - 1] = '\0';
    HANDLE file = CreateFileA(target.path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(length < static_cast<int>(sizeof line) ? length : sizeof line - 1),
              &written, nullptr);
    CloseHandle(file);
}
