// Owners for Windows handles: each frees its handle when it goes, moves but
// never copies, and hands the handle over explicitly with Detach().
#pragma once

#include <windows.h>

namespace kfw {

// A global memory block (usually movable), freed with GlobalFree.
class GlobalMemory {
public:
    GlobalMemory() noexcept = default;
    explicit GlobalMemory(HGLOBAL handle) noexcept : m_handle(handle) {}
    ~GlobalMemory() { Reset(); }
    GlobalMemory(GlobalMemory&& other) noexcept : m_handle(other.Detach()) {}
    GlobalMemory& operator=(GlobalMemory&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }
    GlobalMemory(const GlobalMemory&) = delete;
    GlobalMemory& operator=(const GlobalMemory&) = delete;

    // A movable, zero-filled block; empty when the allocation fails.
    static GlobalMemory Allocate(SIZE_T bytes) noexcept {
        return GlobalMemory(GlobalAlloc(GHND, bytes));
    }

    HGLOBAL Get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle != nullptr; }
    SIZE_T Size() const noexcept { return m_handle ? GlobalSize(m_handle) : 0; }
    HGLOBAL Detach() noexcept {
        HGLOBAL handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    void Reset(HGLOBAL handle = nullptr) noexcept {
        if (m_handle && m_handle != handle) GlobalFree(m_handle);
        m_handle = handle;
    }

private:
    HGLOBAL m_handle = nullptr;
};

// A lock on a global memory block for the guard's lifetime.
template <class T = void>
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL handle) noexcept
        : m_handle(handle), m_pointer(handle ? static_cast<T*>(GlobalLock(handle)) : nullptr) {}
    ~GlobalLockGuard() {
        if (m_pointer) GlobalUnlock(m_handle);
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;

    T* Get() const noexcept { return m_pointer; }
    T* operator->() const noexcept { return m_pointer; }
    explicit operator bool() const noexcept { return m_pointer != nullptr; }

private:
    HGLOBAL m_handle;
    T* m_pointer;
};

// A kernel object handle closed with CloseHandle; null means none.
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(HANDLE handle) noexcept : m_handle(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Detach()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle != nullptr; }
    HANDLE Detach() noexcept {
        HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    void Reset(HANDLE handle = nullptr) noexcept {
        if (m_handle && m_handle != handle) CloseHandle(m_handle);
        m_handle = handle;
    }

private:
    HANDLE m_handle = nullptr;
};

// An open registry key.
class RegKey {
public:
    RegKey() noexcept = default;
    ~RegKey() { Close(); }
    RegKey(RegKey&& other) noexcept : m_key(other.m_key) { other.m_key = nullptr; }
    RegKey& operator=(RegKey&& other) noexcept {
        if (this != &other) {
            Close();
            m_key = other.m_key;
            other.m_key = nullptr;
        }
        return *this;
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    LONG Open(HKEY parent, const char* path, REGSAM access) noexcept {
        Close();
        return RegOpenKeyExA(parent, path, 0, access, &m_key);
    }
    // Creates the key when missing: non-volatile, with the given class string.
    LONG Create(HKEY parent, const char* path, const char* keyClass, REGSAM access) noexcept {
        Close();
        DWORD disposition = 0;
        return RegCreateKeyExA(parent, path, 0, const_cast<char*>(keyClass), REG_OPTION_NON_VOLATILE,
                               access, nullptr, &m_key, &disposition);
    }
    HKEY Get() const noexcept { return m_key; }
    explicit operator bool() const noexcept { return m_key != nullptr; }
    void Close() noexcept {
        if (m_key) RegCloseKey(m_key);
        m_key = nullptr;
    }

private:
    HKEY m_key = nullptr;
};

// A device context made with CreateDC or CreateCompatibleDC, deleted with DeleteDC.
class OwnedDC {
public:
    OwnedDC() noexcept = default;
    explicit OwnedDC(HDC dc) noexcept : m_dc(dc) {}
    ~OwnedDC() { Reset(); }
    OwnedDC(OwnedDC&& other) noexcept : m_dc(other.Detach()) {}
    OwnedDC& operator=(OwnedDC&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }
    OwnedDC(const OwnedDC&) = delete;
    OwnedDC& operator=(const OwnedDC&) = delete;

    HDC Get() const noexcept { return m_dc; }
    explicit operator bool() const noexcept { return m_dc != nullptr; }
    HDC Detach() noexcept {
        HDC dc = m_dc;
        m_dc = nullptr;
        return dc;
    }
    void Reset(HDC dc = nullptr) noexcept {
        if (m_dc && m_dc != dc) DeleteDC(m_dc);
        m_dc = dc;
    }

private:
    HDC m_dc = nullptr;
};

// A window's device context from GetDC/GetWindowDC, released to its window.
class WindowDC {
public:
    WindowDC(HWND window, HDC dc) noexcept : m_window(window), m_dc(dc) {}
    ~WindowDC() {
        if (m_dc) ReleaseDC(m_window, m_dc);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC Get() const noexcept { return m_dc; }
    explicit operator bool() const noexcept { return m_dc != nullptr; }

private:
    HWND m_window;
    HDC m_dc;
};

// A GDI object (bitmap, brush, font, palette, ...) deleted with DeleteObject.
template <class T>
class GdiObject {
public:
    GdiObject() noexcept = default;
    explicit GdiObject(T object) noexcept : m_object(object) {}
    ~GdiObject() { Reset(); }
    GdiObject(GdiObject&& other) noexcept : m_object(other.Detach()) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    T Get() const noexcept { return m_object; }
    explicit operator bool() const noexcept { return m_object != nullptr; }
    T Detach() noexcept {
        T object = m_object;
        m_object = nullptr;
        return object;
    }
    void Reset(T object = nullptr) noexcept {
        if (m_object && m_object != object) DeleteObject(m_object);
        m_object = object;
    }

private:
    T m_object = nullptr;
};

// Selects an object into a device context and selects the previous one back.
class SelectObjectGuard {
public:
    SelectObjectGuard(HDC dc, HGDIOBJ object) noexcept
        : m_dc(dc), m_previous(object ? SelectObject(dc, object) : nullptr) {}
    ~SelectObjectGuard() {
        if (m_previous) SelectObject(m_dc, m_previous);
    }
    SelectObjectGuard(const SelectObjectGuard&) = delete;
    SelectObjectGuard& operator=(const SelectObjectGuard&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

}  // namespace kfw
