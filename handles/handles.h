// Owners of the Windows handles both programs and their tests hold: each
// releases its handle when it goes, moves but never copies, and hands the
// handle over only through Detach().
#pragma once

#include <windows.h>
#include <objbase.h>

// The one shape of the owners below: a handle that is null when there is
// none, released by `Release`.
template <class Handle, void (*Release)(Handle)>
class Owned {
public:
    Owned() noexcept = default;
    explicit Owned(Handle handle) noexcept : handle_(handle) {}
    ~Owned() { Reset(); }
    Owned(Owned&& other) noexcept : handle_(other.Detach()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle Get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }
    Handle Detach() noexcept {
        Handle handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    // Takes `handle` in place of the one held, which is released unless it is
    // the same handle.
    void Reset(Handle handle = nullptr) noexcept {
        if (handle_ && handle_ != handle) Release(handle_);
        handle_ = handle;
    }
    void Close() noexcept { Reset(); }

protected:
    // For the calls that fill in a handle: the previous one goes first.
    Handle* Receive() noexcept {
        Reset();
        return &handle_;
    }

private:
    Handle handle_ = nullptr;
};

namespace handle_release {
inline void Kernel(HANDLE handle) { CloseHandle(handle); }
inline void Key(HKEY key) { RegCloseKey(key); }
inline void DeviceContext(HDC dc) { DeleteDC(dc); }
inline void Global(HGLOBAL memory) { GlobalFree(memory); }
template <class Object>
void Gdi(Object object) { DeleteObject(object); }
template <class Interface>
void Com(Interface* pointer) { pointer->Release(); }
}  // namespace handle_release

// A kernel handle: a file, process, thread, mutex or access token.
class KernelHandle : public Owned<HANDLE, handle_release::Kernel> {
public:
    KernelHandle() noexcept = default;
    // INVALID_HANDLE_VALUE, the other way the system says "none", is none.
    explicit KernelHandle(HANDLE handle) noexcept : Owned(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
};

// A device context made with CreateDC or CreateCompatibleDC.
using OwnedDC = Owned<HDC, handle_release::DeviceContext>;

// A GDI object (bitmap, brush, font, palette, ...).
template <class Object>
using GdiObject = Owned<Object, handle_release::Gdi<Object>>;

// A global memory block (usually movable).
class GlobalMemory : public Owned<HGLOBAL, handle_release::Global> {
public:
    using Owned::Owned;
    // A movable, zero-filled block; empty when the allocation fails.
    static GlobalMemory Allocate(SIZE_T bytes) noexcept { return GlobalMemory(GlobalAlloc(GHND, bytes)); }
    SIZE_T Size() const noexcept { return Get() ? GlobalSize(Get()) : 0; }
};

// An open registry key; Create makes any missing keys above it.
class RegKey : public Owned<HKEY, handle_release::Key> {
public:
    LONG Open(HKEY parent, const char* path, REGSAM access) noexcept {
        return RegOpenKeyExA(parent, path, 0, access, Receive());
    }
    LONG Create(HKEY parent, const char* path, const char* keyClass, REGSAM access) noexcept {
        DWORD disposition = 0;
        return RegCreateKeyExA(parent, path, 0, const_cast<char*>(keyClass), REG_OPTION_NON_VOLATILE, access,
                               nullptr, Receive(), &disposition);
    }
};

// A COM interface pointer.
template <class Interface>
class ComPtr : public Owned<Interface*, handle_release::Com<Interface>> {
public:
    Interface* operator->() const noexcept { return this->Get(); }
    // For CoCreateInstance and QueryInterface.
    void** ReceiveInterface() noexcept { return reinterpret_cast<void**>(this->Receive()); }
};

// The component library, initialised for the owner's life.
class ComLibrary {
public:
    ComLibrary() noexcept : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComLibrary() {
        if (initialised_) CoUninitialize();
    }
    ComLibrary(const ComLibrary&) = delete;
    ComLibrary& operator=(const ComLibrary&) = delete;

private:
    bool initialised_;
};

// A lock on a global memory block for the guard's life.
template <class T = void>
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL handle) noexcept
        : handle_(handle), pointer_(handle ? static_cast<T*>(GlobalLock(handle)) : nullptr) {}
    ~GlobalLockGuard() {
        if (pointer_) GlobalUnlock(handle_);
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;

    T* Get() const noexcept { return pointer_; }
    T* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

private:
    HGLOBAL handle_;
    T* pointer_;
};

// A window's device context from GetDC or GetWindowDC, given back to its window.
class WindowDC {
public:
    WindowDC(HWND window, HDC dc) noexcept : window_(window), dc_(dc) {}
    ~WindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC Get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// The painting of one WM_PAINT.
class ScopedPaint {
public:
    explicit ScopedPaint(HWND window) noexcept : window_(window), paint_(), dc_(BeginPaint(window, &paint_)) {}
    ~ScopedPaint() { EndPaint(window_, &paint_); }
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;

    HDC Get() const noexcept { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_;
    HDC dc_;
};

// An object selected into a device context; the previous one comes back.
// Selecting no object selects nothing.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
    ~ScopedSelectObject() {
        if (previous_) SelectObject(dc_, previous_);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};
