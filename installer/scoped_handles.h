// Owners of every handle the installer holds: each releases its handle when it
// goes, moves but never copies, and hands it over only through Detach().
#pragma once

#include <windows.h>
#include <objbase.h>

// The one shape of the owners below: a handle that is null when there is
// none, released by `Release`; moved, never copied, handed over by Detach().
template <class Handle, void (*Release)(Handle)>
class Owned {
public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    ~Owned() { Close(); }
    Owned(Owned&& other) noexcept : handle_(other.Detach()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = other.Detach();
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    Handle Detach() {
        Handle handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    void Close() {
        if (handle_) Release(handle_);
        handle_ = nullptr;
    }

protected:
    // For the calls that fill in a handle: the previous one goes first.
    Handle* Receive() {
        Close();
        return &handle_;
    }

private:
    Handle handle_ = nullptr;
};

inline void CloseKernelHandle(HANDLE handle) { CloseHandle(handle); }
inline void CloseRegKey(HKEY key) { RegCloseKey(key); }
inline void DeleteMemoryDC(HDC dc) { DeleteDC(dc); }
template <class Interface>
void ReleaseInterface(Interface* pointer) { pointer->Release(); }

// A kernel handle: a file, process, thread, mutex or access token.
class KernelHandle : public Owned<HANDLE, CloseKernelHandle> {
public:
    KernelHandle() = default;
    // INVALID_HANDLE_VALUE, the other way the system says "none", is none.
    explicit KernelHandle(HANDLE handle) : Owned(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
};

// A memory device context, from CreateCompatibleDC.
using MemoryDC = Owned<HDC, DeleteMemoryDC>;

// An open registry key; Create makes any missing keys above it.
class RegKey : public Owned<HKEY, CloseRegKey> {
public:
    LONG Open(HKEY root, const char* path, REGSAM access) { return RegOpenKeyExA(root, path, 0, access, Receive()); }
    LONG Create(HKEY root, const char* path, char* keyClass, REGSAM access) {
        DWORD disposition = 0;
        return RegCreateKeyExA(root, path, 0, keyClass, REG_OPTION_NON_VOLATILE, access, nullptr, Receive(),
                               &disposition);
    }
};

// A COM interface pointer.
template <class Interface>
class ComPtr : public Owned<Interface*, ReleaseInterface<Interface>> {
public:
    Interface* operator->() const { return this->Get(); }
    // For CoCreateInstance and QueryInterface.
    void** ReceiveInterface() { return reinterpret_cast<void**>(this->Receive()); }
};

// The component library, initialised for the owner's life.
class ComLibrary {
public:
    ComLibrary() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComLibrary() {
        if (initialised_) CoUninitialize();
    }
    ComLibrary(const ComLibrary&) = delete;
    ComLibrary& operator=(const ComLibrary&) = delete;

private:
    bool initialised_;
};

// An object selected into a device context; the previous one comes back.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~ScopedSelectObject() {
        if (previous_) SelectObject(dc_, previous_);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The painting of one WM_PAINT.
class ScopedPaint {
public:
    explicit ScopedPaint(HWND window) : window_(window), paint_(), dc_(BeginPaint(window, &paint_)) {}
    ~ScopedPaint() { EndPaint(window_, &paint_); }
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;

    HDC Get() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_;
    HDC dc_;
};
