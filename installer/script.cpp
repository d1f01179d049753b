// The setup script's lexical rules, keyword table and variable expansion.
#include "script.h"

#include "run_state.h"

const Keyword KeywordTable[36] = {
    {"appname", 0},           {"defaultdirfromreg", 0}, {"defaultdirchk", 0},
    {"welcome", 0},           {"chkclassexec", 0},      {"startinstall", 0},
    {"endinstall", 0},        {"startuninstall", 0},    {"enduninstall", 0},
    {"startmeter", 0},        {"endmeter", 0},          {"copy", FileSizeWeight},
    {"move", FileSizeWeight}, {"del", 1024},            {"mkdir", 1024},
    {"rmdir", 1024},          {"regcreatekey", 1024},   {"regdeletekey", 1024},
    {"regsetvalue", 1024},    {"end", 0},               {"ddestart", 0},
    {"creategroup", 1024},    {"deletegroup", 1024},    {"addicon", 1024},
    {"deleteicon", 1024},     {"cleanupinstall", 0},    {"cleanupuninstall", 0},
    {"chkostype", 0},         {"chkosversion", 0},      {"if95", 0},
    {"endif95", 0},           {"ifnt", 0},              {"endifnt", 0},
    {"moveatreboot", 0},      {"regdelvalue", 1024},    {nullptr, 0},
};

const char kLineSeparators[] = " \t";

int FindKeyword(const char* token) {
    if (!token) return -1;
    for (int i = 0; KeywordTable[i].keyword; ++i)
        if (lstrcmpiA(token, KeywordTable[i].keyword) == 0) return i;
    return -1;
}

namespace {

char* g_tokenCursor = nullptr;

bool IsSeparator(char c, const char* separators) {
    for (const char* s = separators; *s; ++s)
        if (*s == c) return true;
    return false;
}

// One whole character forward; a lead byte followed by the terminator counts
// as one byte so that a cut-off character never carries the walk past the end.
char* NextChar(char* p) {
    if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0') return p + 2;
    return p + 1;
}

}  // namespace

char* NextToken(char* text, const char* separators) {
    char* p = text ? text : g_tokenCursor;
    if (!p) return nullptr;
    while (*p && IsSeparator(*p, separators)) p = NextChar(p);
    if (!*p) {
        g_tokenCursor = p;
        return nullptr;
    }
    char* token;
    if (*p == '"') {
        token = p + 1;
        p = token;
        while (*p && *p != '"') p = NextChar(p);
    } else {
        token = p;
        while (*p && !IsSeparator(*p, separators)) p = NextChar(p);
    }
    if (*p) {
        // The closing quote or the separator ends the token; the next one
        // starts right after it.
        *p = '\0';
        g_tokenCursor = p + 1;
    } else {
        g_tokenCursor = p;
    }
    return token;
}

int ReadNumber(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    unsigned int value = 0;
    while (*p >= '0' && *p <= '9') value = value * 10 + static_cast<unsigned>(*p++ - '0');
    return negative ? -static_cast<int>(value) : static_cast<int>(value);
}

void CutAtLastBackslash(char* path) {
    // CharPrevA lands on character starts only, so the 0x5C trail byte of a
    // double-byte character is never taken for a backslash.
    char* p = path + lstrlenA(path);
    while (p > path) {
        p = CharPrevA(path, p);
        if (*p == '\\') {
            *p = '\0';
            return;
        }
    }
    *path = '\0';
}

const char* GetProgramFilesDir() {
    static char dir[kPathSize];
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    const BOOL known = GetVersionExA(&version);
    if (known && (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ||
                  (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 4))) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ,
                          &key) == ERROR_SUCCESS) {
            DWORD size = sizeof dir - 1;
            DWORD type = 0;
            LONG rc = RegQueryValueExA(key, "ProgramFilesDir", nullptr, &type,
                                       reinterpret_cast<BYTE*>(dir), &size);
            RegCloseKey(key);
            if (rc == ERROR_SUCCESS && size > 0) {
                dir[size < sizeof dir ? size : sizeof dir - 1] = '\0';
                return dir;
            }
        }
    }
    char windows[kPathSize];
    GetWindowsDirectoryA(windows, sizeof windows);
    dir[0] = windows[0];
    dir[1] = windows[1];
    dir[2] = '\0';
    lstrcatA(dir, "\\Program Files");
    return dir;
}

namespace {

// Appends `text` to `out` (capacity kPathSize) whole characters at a time;
// FALSE when something did not fit.
BOOL Append(char* out, int* length, const char* text) {
    for (const char* p = text; *p;) {
        const int width = (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) ? 2 : 1;
        if (*length + width > kPathSize - 1) return FALSE;
        for (int i = 0; i < width; ++i) out[(*length)++] = *p++;
        out[*length] = '\0';
    }
    return TRUE;
}

bool EndsWithBackslash(const char* text) {
    const int length = lstrlenA(text);
    return length > 0 && *CharPrevA(text, text + length) == '\\';
}

// The value of the variable whose name starts at `p` ("%NAME%"), and the name's
// length; nullptr when `p` starts none of them.
const char* VariableValue(const char* p, int* nameLength, char* scratch) {
    static const char* const names[] = {"%PRGDIR%", "%DEFDIR%", "%SYSDIR%",
                                        "%WINDIR%", "%TMPDIR%", "%SRCDIR%"};
    for (int i = 0; i < 6; ++i) {
        const int n = lstrlenA(names[i]);
        if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, p, n, names[i], n) != CSTR_EQUAL) continue;
        *nameLength = n;
        switch (i) {
        case 0: return GetProgramFilesDir();
        case 1: return DefaultDir;
        case 2: GetSystemDirectoryA(scratch, kPathSize); return scratch;
        case 3: GetWindowsDirectoryA(scratch, kPathSize); return scratch;
        case 4:
            GetTempPathA(kPathSize, scratch);
            CutAtLastBackslash(scratch);
            return scratch;
        default:
            GetModuleFileNameA(nullptr, scratch, kPathSize);
            scratch[kPathSize - 1] = '\0';
            CutAtLastBackslash(scratch);
            return scratch;
        }
    }
    return nullptr;
}

}  // namespace

BOOL ExpandVariables(char* output, const char* input) {
    int length = 0;
    output[0] = '\0';
    char scratch[kPathSize];
    for (const char* p = input; *p;) {
        int nameLength = 0;
        const char* value = *p == '%' ? VariableValue(p, &nameLength, scratch) : nullptr;
        if (value) {
            p += nameLength;
            if (!Append(output, &length, value)) return FALSE;
            // A folder always ends in a backslash, never two.
            if (*p != '\\' && !EndsWithBackslash(output) && !Append(output, &length, "\\")) return FALSE;
            continue;
        }
        // Any other byte, an unknown "%" included, is copied as it stands.
        char one[3] = {*p, '\0', '\0'};
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) one[1] = p[1];
        if (!Append(output, &length, one)) return FALSE;
        p += lstrlenA(one);
    }
    return TRUE;
}
